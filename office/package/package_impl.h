#pragma once

// What the files of the zip package share: the entries of an open package, the package's
// Impl, and the helpers that more than one of them calls. Internal to the package layer.

#include <zip.h>

#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

#include "office/ascii.h"
#include "office/error.h"
#include "office/package/background.h"
#include "office/package/package.h"
#include "office/package/spool.h"

namespace office::package {

inline constexpr std::string_view kContentTypesPart = "[Content_Types].xml";

// The file name of a path, for messages: "report.pptx".
std::string fileNameOf(const std::string& path);
// Throws an Error with the code and the text "file: problem".
[[noreturn]] void fail(ErrorCode code, std::string_view file, const std::string& problem);
// The lower-cased extension of a part name, without the dot; empty when it has none.
std::string extensionOf(std::string_view part);
// Whether a part's own format is compressed, so that it is stored rather than deflated.
bool isCompressedFormat(std::string_view part);
// True when the package is written in ISO Strict: the relationship to its main part has the
// Strict type. What the package layer adds to such a package (relationships, the namespaces of
// a part written whole) takes that flavour too.
bool isStrict(const Package& package);

struct Entry {
    std::string name;                              // as stored in the archive (or as added)
    zip_int64_t index = -1;                        // in the source archive; -1 for an added part
    std::optional<std::string> data;               // new contents, held in memory
    std::optional<detail::Spool::Record> spooled;  // new contents, in the package's spool
    std::shared_ptr<Package::Deferred> deferred;   // new contents, still to be made
    std::shared_ptr<detail::PendingPart> pending;  // new contents, being made in the background
    bool removed = false;
    bool storedInArchive = false;  // the source archive holds it uncompressed
    std::time_t mtime = 0;
    // Its bytes in the source archive were read whole and matched their CRC; an unchanged
    // part is copied into a saved package only so.
    mutable bool verified = false;

    bool fresh() const noexcept { return data || spooled || deferred || pending; }
    // Drops the new contents; a job making them is waited for, so that what it owned goes
    // here and not on the background thread.
    void forgetContents() {
        if (pending) {
            pending->done.wait();
            pending.reset();
        }
        data.reset();
        spooled.reset();
        deferred.reset();
    }
};

struct CachedXml {
    std::unique_ptr<pugi::xml_document> doc;
    bool dirty = false;
};

struct Package::Impl {
    std::string displayName;
    std::string kind;
    TextEscape textEscape;  // how its parts keep what a reference names that XML cannot hold
    std::vector<std::uint8_t> bytes;  // the archive, when it was opened from memory
    zip_t* archive = nullptr;
    // The file the archive is read from, when it was opened from one, and how it was when
    // opened: parts are read from it as they are asked for, so it must not change meanwhile.
    int fileDescriptor = -1;
    struct stat opened {};
    // Changed parts of a package opened from a file go to a spool, made on first use; a
    // package opened from memory is small and short-lived and keeps them in memory.
    bool spoolChanges = false;
    std::unique_ptr<detail::Spool> spool;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> byName;  // lower-cased part name -> entry
    std::unordered_map<std::string, CachedXml> xmlCache;  // lower-cased part name -> tree
    // Lower-cased part name (no leading slash) -> content type of its Override; rebuilt after
    // any change of [Content_Types].xml.
    std::optional<std::unordered_map<std::string, std::string>> overrides;
    // Parsed relationships parts, by lower-cased part name (an absent part as no
    // relationships); an entry goes when its part is written, removed or marked dirty. The same
    // few are asked for over and over while an object is filled, so a few dozen are kept.
    static constexpr std::size_t kRelsKept = 32;
    mutable std::unordered_map<std::string, Relationships> relsCache;
    // Trees that their users let go of (release), newest last: they stay parsed a little while,
    // since the next object of the same slide asks for the same parts again, and go (a dirty one
    // serialised) once more than kReleasedKept are waiting.
    static constexpr std::size_t kReleasedKept = 4;
    std::deque<std::string> released;

    // The part's contents changed: what was derived from them goes.
    void contentsChanged(const std::string& key) { relsCache.erase(key); }
    // The tree of the part is in use again, or gone: it is no longer waiting to be let go of.
    void stopWaiting(const std::string& key) { std::erase(released, key); }
    // Lets go of the tree of the part: a dirty one becomes the part's contents first.
    void dropTree(const std::string& key);
    // Parts whose contents are deferred, by lower-cased name, oldest first; once more than
    // kDeferredKept wait, the oldest is made.
    static constexpr std::size_t kDeferredKept = 2;
    std::deque<std::string> deferredParts;

    // The entry that new contents of the part go into (made when the part is new), with what
    // was derived from its old contents dropped.
    Entry& writable(std::string_view part);
    // Makes the deferred contents of the part and keeps them as written bytes.
    void settle(Entry& e) {
        collect(e);
        if (!e.deferred) {
            return;
        }
        std::string contents = e.deferred->contents();
        keep(e, std::move(contents));
    }
    // As settle, in the background where the maker allows it.
    void settleLater(Entry& e);
    // Makes every deferred part, as a save needs them all (and fails before writing anything).
    void settleAll() {
        for (Entry& e : entries) {
            settle(e);
        }
        deferredParts.clear();
        packing.clear();
        // Nothing waits for the background thread now: it goes, and what it kept for deflating
        // with it, before the save needs its own memory.
        background.reset();
    }

    // Parts being made in the background (see background.h), by lower-cased name, oldest
    // first; once more than kPackingKept are, the oldest is waited for, so that the jobs' trees
    // and models do not pile up when the background thread falls behind.
    static constexpr std::size_t kPackingKept = 4;
    std::deque<std::string> packing;
    // The background thread, started on first use; false when no thread can be started, and the
    // caller then does the work itself.
    bool startBackground();
    // Hands the making of the part's contents to the background thread (startBackground first).
    void pack(Entry& e, std::shared_ptr<detail::PendingPart> job);
    // Puts the part last in a line of parts that wait, once only; the part that falls out at
    // the front when more than `kept` wait.
    static std::optional<std::string> joinLine(std::deque<std::string>& line,
                                               const std::string& key, std::size_t kept) {
        std::erase(line, key);
        line.push_back(key);
        if (line.size() <= kept) {
            return std::nullopt;
        }
        std::string oldest = std::move(line.front());
        line.pop_front();
        return oldest;
    }
    // Waits for the part's job, if it has one, and keeps what it made as the part's contents;
    // fails as its maker did, which then waits again.
    void collect(Entry& e);

    ~Impl() {
        if (archive) {
            zip_discard(archive);  // closes the file too
        }
    }

    Entry* entry(std::string_view part) {
        auto it = byName.find(asciiLower(part));
        if (it == byName.end() || entries[it->second].removed) {
            return nullptr;
        }
        return &entries[it->second];
    }
    const Entry* entry(std::string_view part) const { return const_cast<Impl*>(this)->entry(part); }

    // Adds every part to the archive being written; an error text, or empty on success.
    // Trees that are serialised on the way are kept in `serialised` until the archive is
    // closed.
    std::string addEntries(zip_t* out, std::vector<std::string>& serialised) const;

    // Fails when another program has written into the file since it was opened: the parts
    // not read yet would come from a different file. A file replaced by a new one (as office
    // suites and this package's own saves do) leaves the opened one as it was.
    void checkUnchanged() const {
        if (fileDescriptor < 0) {
            return;
        }
        struct stat now {};
        if (::fstat(fileDescriptor, &now) != 0 || now.st_size != opened.st_size ||
            now.st_mtim.tv_sec != opened.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec) {
            fail(ErrorCode::FileAccess, displayName,
                 "was changed by another program while it was open; open it again");
        }
    }

    // The spool, made on first use for a package that spools its changes.
    void ensureSpool() {
        if (spoolChanges && !spool) {
            spool = detail::Spool::create();
            spoolChanges = spool != nullptr;
        }
    }

    // Sets the new contents of a part: in the spool when there is one, else in memory.
    void keep(Entry& e, std::string contents) {
        e.forgetContents();
        ensureSpool();
        if (spool) {
            e.spooled = spool->append(contents, !isCompressedFormat(e.name));
        }
        if (!e.spooled) {
            e.data = std::move(contents);
        }
    }

    // Sets a tree as the new contents of a part: deflated into the spool as it is written out
    // where it can be, so that a large part's text is never held whole; else as keep does.
    void keepXml(Entry& e, const pugi::xml_document& doc) {
        ensureSpool();
        if (spool && !isCompressedFormat(e.name)) {
            if (auto deflated = detail::deflateXml(doc)) {
                e.forgetContents();
                e.spooled = spool->append(*deflated);
                if (e.spooled) {
                    return;
                }
            }
        }
        keep(e, toXml(doc));
    }

    std::string readEntry(const Entry& e) const {
        if (e.data) {
            return *e.data;
        }
        if (e.spooled) {
            auto contents = spool->read(*e.spooled);
            if (!contents) {
                fail(ErrorCode::CorruptPart, displayName,
                     e.name + ": cannot be read back from the temporary file that holds it");
            }
            return std::move(*contents);
        }
        return readIndex(e);
    }

    // Parts up to this size are inflated in one call.
    static constexpr std::uint64_t kWholeReadLimit = 1 << 20;

    // The part's bytes from the source archive, checked against the CRC the archive records;
    // a mismatch is an error, never data. Stored and deflated parts are read as they lie and
    // inflated here in one call; others (another method, encryption, a large part) through the
    // zip library.
    std::string readIndex(const Entry& e) const {
        checkUnchanged();
        zip_stat_t st;
        zip_stat_init(&st);
        const auto index = static_cast<zip_uint64_t>(e.index);
        if (zip_stat_index(archive, index, 0, &st) != 0) {
            fail(ErrorCode::CorruptPart, displayName, e.name + ": cannot be read");
        }
        const bool plain =
            (st.valid & ZIP_STAT_COMP_METHOD) && (st.valid & ZIP_STAT_COMP_SIZE) &&
            (st.valid & ZIP_STAT_CRC) &&
            (st.comp_method == ZIP_CM_STORE || st.comp_method == ZIP_CM_DEFLATE) &&
            (!(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method == ZIP_EM_NONE);
        // A large part goes through the zip library's stream, which inflates it into its
        // buffer without holding the compressed bytes beside it, and checks the CRC itself.
        if (!plain || st.size > kWholeReadLimit) {
            std::string data = readRaw(e, st.size, false);
            e.verified = true;
            return data;
        }
        std::string data = readPlain(e, st);
        if (detail::crcOf(data) != st.crc) {
            fail(ErrorCode::CorruptPart, displayName,
                 e.name +
                     ": is damaged: its bytes do not match the checksum (CRC) that the file "
                     "records for them");
        }
        e.verified = true;
        return data;
    }

    // The bytes of a zip entry as they lie in the archive (raw when `compressed`), read to
    // their end.
    std::string readRaw(const Entry& e, std::uint64_t size, bool compressed) const {
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(e.index),
                                           compressed ? ZIP_FL_COMPRESSED : 0);
        if (!file) {
            fail(ErrorCode::CorruptPart, displayName,
                 e.name + ": cannot be read (" + zip_strerror(archive) + ")");
        }
        std::string data(static_cast<std::size_t>(size), '\0');
        const zip_int64_t got = zip_fread(file, data.data(), size);
        char beyond = 0;
        // One more read must find nothing: the part ends where the archive says.
        const bool whole =
            got == static_cast<zip_int64_t>(size) && zip_fread(file, &beyond, 1) == 0;
        const bool crcMismatch =
            !whole && zip_error_code_zip(zip_file_get_error(file)) == ZIP_ER_CRC;
        std::string why = whole ? "" : zip_file_strerror(file);
        zip_fclose(file);
        if (crcMismatch) {
            fail(ErrorCode::CorruptPart, displayName,
                 e.name +
                     ": is damaged: its bytes do not match the checksum (CRC) that the file "
                     "records for them");
        }
        if (!whole) {
            fail(ErrorCode::CorruptPart, displayName, e.name + ": cannot be read (" + why + ")");
        }
        return data;
    }

    std::string readPlain(const Entry& e, const zip_stat_t& st) const {
        std::string packed = readRaw(e, st.comp_size, true);
        if (st.comp_method == ZIP_CM_STORE) {
            if (packed.size() != st.size) {
                fail(ErrorCode::CorruptPart, displayName,
                     e.name + ": cannot be read (its stored size is not its size)");
            }
            return packed;
        }
        auto data = detail::inflateRaw(packed, st.size);
        if (!data) {
            fail(ErrorCode::CorruptPart, displayName,
                 e.name + ": cannot be read (its compressed data is damaged)");
        }
        return std::move(*data);
    }

    // Reads every part that a save would copy unchanged and has not been read yet, so that a
    // damaged one fails the save before anything is written.
    void verifyUnchanged() const {
        for (const auto& e : entries) {
            const bool copied = !e.removed && !e.fresh() && e.index >= 0;
            const auto cached = xmlCache.find(asciiLower(e.name));
            const bool dirtyTree = cached != xmlCache.end() && cached->second.dirty;
            if (copied && !dirtyTree && !e.verified) {
                readIndex(e);
            }
        }
    }

    // Declared last, so that it stops (waiting for the job that runs) before the rest goes.
    std::unique_ptr<Worker> background;
};

}  // namespace office::package
