#pragma once

// Compound files: the storage of legacy binary documents, of OLE objects and of encrypted
// packages. They are read here, in time and memory that grow with the file's size, and written
// through libgsf. Before a file is read, its header and every chain it uses (DIFAT, FAT, mini
// FAT, directory, streams) are checked against the file's size, so that a broken or hostile file
// is refused with a clear error instead of looping or filling memory. Entries are listed as
// libgsf lists them: in each storage by name length, then by the upper-cased names.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace office::compound {

using Bytes = std::vector<std::uint8_t>;
using ClassId = std::array<std::uint8_t, 16>;

// True when the bytes begin with the compound-file signature D0 CF 11 E0 A1 B1 1A E1.
bool isCompoundFile(std::span<const std::uint8_t> head);

// True when the bytes are a compound file that holds an encrypted OOXML package (a root stream
// "EncryptedPackage"). False for anything else, a broken compound file included.
bool isEncryptedPackage(std::span<const std::uint8_t> bytes);

// A class id as registry text, "{00020830-0000-0000-C000-000000000046}".
std::string classIdText(const ClassId& id);

// A stream or storage name as text for messages: control characters (the "\1", "\2", "\5"
// prefixes of OLE's own streams) as a backslash and their number.
std::string printableName(std::string_view name);

// A new compound file that holds the streams (paths joined with '/', storages made as the
// paths need them) and the class ids of the storages named in classIds ("" is the root).
// Fails with InvalidArgument on a path that is empty or names a stream and a storage at once.
Bytes create(const std::map<std::string, Bytes>& streams,
             const std::map<std::string, ClassId>& classIds = {});

// A read-only view of one compound file. Movable, not copyable.
class File {
public:
    // Fails with office::Error naming displayName: NotADocument when the bytes are no compound
    // file, CorruptPart when its header, tables or directory are broken.
    static File openBytes(Bytes bytes, std::string displayName);
    // As openBytes; FileNotFound or FileAccess when the file cannot be read.
    static File openFile(const std::string& path);

    File(File&&) noexcept;
    File& operator=(File&&) noexcept;
    ~File();

    const std::string& displayName() const;

    // One storage or stream below the root.
    struct Entry {
        std::string path;  // names joined with '/': "ObjectPool/_1234/Workbook"
        bool storage = false;
        ClassId classId{};       // of a storage; zero for streams
        std::uint64_t size = 0;  // of a stream; zero for storages
    };
    // Every storage and stream below the root, depth first, each storage before what it holds.
    std::vector<Entry> entries() const;
    bool hasStream(std::string_view path) const;
    bool hasStorage(std::string_view path) const;
    // Fails with IndexOutOfRange when there is no such stream, CorruptPart when it cannot be
    // read; both name the file and the stream.
    Bytes readStream(std::string_view path) const;
    // The class id of a storage ("" is the root); zero when it has none. Fails with
    // IndexOutOfRange when there is no such storage.
    ClassId classId(std::string_view storagePath = "") const;
    // The cached presentation pictures ("\2OlePres000" and kin) directly in a storage: an object
    // whose content changed leaves them out of its rewrite, unless it draws them again.
    std::set<std::string> cachedPictures(std::string_view storagePath = "") const;

    // A new compound file holding every storage, stream and class id of this one, byte for
    // byte, except: streams in `replace` get the new bytes (added, with any storages their paths
    // need, when absent), streams and storages named in `remove` are left out. Fails with
    // InvalidArgument when a replaced path names a storage.
    Bytes rewrite(const std::map<std::string, Bytes>& replace,
                  const std::set<std::string>& remove = {}) const;

private:
    struct Impl;
    explicit File(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace office::compound
