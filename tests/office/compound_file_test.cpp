// Compound files through libgsf: what is written reads back whole (large streams, nested
// storages, class ids), a rewrite keeps what it does not change byte for byte, broken and
// hostile files are refused with a message that names the broken chain, and the real-world files
// go through unchanged as libgsf and olefile both read them.

#include "office/compound/compound_file.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <sys/wait.h>

#include "office/error.h"
#include "office/package/package.h"
#include "support/office_error.h"
#include "support/validator.h"

namespace {

namespace fs = std::filesystem;
using office::ErrorCode;
using office::compound::Bytes;
using office::compound::ClassId;
using office::compound::File;

// {00020830-0000-0000-C000-000000000046}, the class id of an embedded workbook.
constexpr ClassId kWorkbookId = {0x30, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr ClassId kOtherId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

Bytes pattern(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

fs::path scratch() {
    const fs::path folder = fs::path(TABULON_BINARY_DIR) / "compound_test";
    fs::create_directories(folder);
    return folder;
}

fs::path writeFile(const std::string& name, const Bytes& bytes) {
    const fs::path path = scratch() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// ---- the independent reader --------------------------------------------------------------

std::string hexOf(std::string_view text) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex.empty() ? "-" : hex;
}

std::string idText(const ClassId& id) {
    return id == ClassId{} ? "-" : office::compound::classIdText(id);
}

// The file as compound_listing.py prints it, from our reading of it.
std::string listing(const File& file) {
    std::vector<std::string> lines = {"R " + idText(file.classId()) + " 0 - -"};
    for (const auto& entry : file.entries()) {
        if (entry.storage) {
            lines.push_back("S " + idText(entry.classId) + " 0 - " + hexOf(entry.path));
            continue;
        }
        const Bytes data = file.readStream(entry.path);
        const QByteArray digest =
            QCryptographicHash::hash(
                QByteArrayView(data.data(), static_cast<qsizetype>(data.size())),
                QCryptographicHash::Sha256)
                .toHex();
        lines.push_back("T - " + std::to_string(data.size()) + " " + digest.toStdString() + " " +
                        hexOf(entry.path));
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

// The file as olefile reads it; nothing when python3 or olefile is missing.
std::optional<std::string> olefileListing(const fs::path& path) {
    const std::string script =
        std::string(TABULON_SOURCE_DIR) + "/tests/office/compound_listing.py";
    const auto run =
        tabulon::testing::runCommand("/usr/bin/python3 '" + script + "' '" + path.string() + "'");
    if (run.status == -1 || (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 2) ||
        (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 127)) {
        return std::nullopt;
    }
    EXPECT_EQ(run.status, 0) << run.output;
    std::string text = run.output;
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// ---- writing and reading back ------------------------------------------------------------

TEST(CompoundFile, KeepsNestedStoragesClassIdsAndEveryStreamSize) {
    const std::map<std::string, Bytes> streams = {
        {"Empty", {}},
        {"Below", pattern(4095, 1)},  // the largest stream of the mini stream
        {"Edge", pattern(4096, 2)},   // the smallest of the big sectors
        {"Store/Inner/Deep", pattern(70000, 3)},
        {"Store/Small", pattern(100, 4)},
        {"\x01Ole", pattern(20, 5)},
        {"Datenblatt \xC3\xA4\xE6\x95\xB0", pattern(10, 6)},  // a name beyond ASCII
    };
    const Bytes bytes =
        office::compound::create(streams, {{"", kWorkbookId}, {"Store/Inner", kOtherId}});
    const File file = File::openBytes(bytes, "made.bin");

    std::vector<std::string> paths;
    for (const auto& entry : file.entries()) {
        paths.push_back(entry.path);
        if (entry.storage) {
            EXPECT_EQ(entry.size, 0u);
            continue;
        }
        EXPECT_EQ(entry.size, streams.at(entry.path).size()) << entry.path;
        EXPECT_EQ(file.readStream(entry.path), streams.at(entry.path)) << entry.path;
    }
    EXPECT_EQ(paths.size(), 9u);
    // Depth first: a storage comes before what it holds.
    const auto at = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p); };
    EXPECT_LT(at("Store"), at("Store/Inner"));
    EXPECT_LT(at("Store/Inner"), at("Store/Inner/Deep"));
    // In each storage as libgsf lists them: shorter names first, then by upper-cased names.
    EXPECT_EQ(paths, (std::vector<std::string>{"\x01Ole", "Edge", "Below", "Empty", "Store",
                                               "Store/Inner", "Store/Inner/Deep", "Store/Small",
                                               "Datenblatt \xC3\xA4\xE6\x95\xB0"}));
    EXPECT_TRUE(file.hasStorage("Store/Inner"));
    EXPECT_FALSE(file.hasStream("Store/Inner"));
    EXPECT_TRUE(file.hasStream("Store/Inner/Deep"));
    EXPECT_EQ(file.classId(), kWorkbookId);
    EXPECT_EQ(file.classId("Store/Inner"), kOtherId);
    EXPECT_EQ(file.classId("Store"), ClassId{});

    const auto path = writeFile("made.bin", bytes);
    if (const auto other = olefileListing(path)) {
        EXPECT_EQ(*other, listing(file));
    }
}

TEST(CompoundFile, ATwentyMegabyteStreamSurvivesWriteAndRead) {
    // Beyond 109 FAT sectors the file needs DIFAT sectors to address its FAT.
    const Bytes big = pattern(20 * 1024 * 1024 + 7, 9);
    const Bytes bytes = office::compound::create({{"Big", big}, {"Nested/Small", pattern(9, 1)}});
    const File file = File::openBytes(bytes, "big.bin");
    EXPECT_EQ(file.readStream("Big"), big);
    EXPECT_EQ(file.readStream("Nested/Small"), pattern(9, 1));
    const File again = File::openBytes(file.rewrite({}), "again.bin");
    EXPECT_EQ(again.readStream("Big"), big);

    const auto path = writeFile("big.bin", bytes);
    if (const auto other = olefileListing(path)) {
        EXPECT_EQ(*other, listing(file));
    }
}

TEST(CompoundFile, OpensAFileFromDiskAndNamesWhatIsMissing) {
    const auto path = writeFile("disk.bin", office::compound::create({{"A", pattern(5, 1)}}));
    const File file = File::openFile(path.string());
    EXPECT_EQ(file.displayName(), "disk.bin");
    EXPECT_EQ(file.readStream("A"), pattern(5, 1));

    EXPECT_OFFICE_ERROR(file.readStream("B"), ErrorCode::IndexOutOfRange,
                        "disk.bin: there is no stream \"B\"");
    EXPECT_OFFICE_ERROR(file.classId("A"), ErrorCode::IndexOutOfRange,
                        "disk.bin: there is no storage \"A\"");
    EXPECT_OFFICE_ERROR(File::openFile((scratch() / "absent.bin").string()),
                        ErrorCode::FileNotFound, "absent.bin: the file does not exist");
    EXPECT_OFFICE_ERROR(File::openFile(scratch().string()), ErrorCode::FileAccess,
                        scratch().filename().string() + ": is a folder, not a compound file");
    EXPECT_OFFICE_ERROR(File::openBytes(Bytes{'P', 'K', 3, 4, 0, 0, 0, 0, 0}, "x.bin"),
                        ErrorCode::NotADocument, "x.bin: not a compound file");
}

TEST(CompoundFile, TellsEncryptedPackagesAndClassIdsApart) {
    const Bytes encrypted = office::compound::create(
        {{"EncryptionInfo", pattern(200, 1)}, {"EncryptedPackage", pattern(9000, 2)}});
    EXPECT_TRUE(office::compound::isEncryptedPackage(encrypted));
    EXPECT_FALSE(office::compound::isEncryptedPackage(
        office::compound::create({{"Workbook", pattern(10, 1)}})));
    // A stream of that name below the root is no encrypted package.
    EXPECT_FALSE(office::compound::isEncryptedPackage(
        office::compound::create({{"Box/EncryptedPackage", pattern(10, 1)}})));
    EXPECT_FALSE(
        office::compound::isEncryptedPackage(Bytes(encrypted.begin(), encrypted.begin() + 700)));
    EXPECT_FALSE(office::compound::isCompoundFile(Bytes{0xD0, 0xCF, 0x11, 0xE0}));

    EXPECT_EQ(office::compound::classIdText(kWorkbookId), "{00020830-0000-0000-C000-000000000046}");
    EXPECT_EQ(office::compound::printableName("\x02OlePres000"), "\\2OlePres000");
}

// ---- rewriting ---------------------------------------------------------------------------

File sampleObject() {
    return File::openBytes(
        office::compound::create({{"\x01Ole", pattern(20, 1)},
                                  {"\x01CompObj", pattern(90, 2)},
                                  {"\x02OlePres000", pattern(3000, 3)},
                                  {"\x02OlePres001", pattern(5000, 4)},
                                  {"Package", pattern(12000, 5)},
                                  {"ObjectPool/_1/\x02OlePres000", pattern(30, 6)},
                                  {"ObjectPool/_1/Contents", pattern(40, 7)}},
                                 {{"", kWorkbookId}, {"ObjectPool/_1", kOtherId}}),
        "object.bin");
}

TEST(CompoundFile, RewriteReplacesAddsAndRemovesOnlyWhatItIsTold) {
    const File source = sampleObject();
    EXPECT_EQ(listing(File::openBytes(source.rewrite({}), "same.bin")), listing(source));

    const std::set<std::string> pictures = source.cachedPictures();
    EXPECT_EQ(pictures, (std::set<std::string>{"\x02OlePres000", "\x02OlePres001"}));
    EXPECT_EQ(source.cachedPictures("ObjectPool/_1"),
              std::set<std::string>{"ObjectPool/_1/\x02OlePres000"});

    const Bytes package = pattern(300000, 8);
    const File out = File::openBytes(
        source.rewrite({{"Package", package}, {"New/Box/Added", pattern(7, 9)}}, pictures),
        "out.bin");
    EXPECT_EQ(out.readStream("Package"), package);
    EXPECT_EQ(out.readStream("New/Box/Added"), pattern(7, 9));
    EXPECT_FALSE(out.hasStream("\x02OlePres000"));
    EXPECT_FALSE(out.hasStream("\x02OlePres001"));
    EXPECT_EQ(out.classId(), kWorkbookId);
    EXPECT_EQ(out.classId("ObjectPool/_1"), kOtherId);
    for (const char* kept :
         {"\x01Ole", "\x01CompObj", "ObjectPool/_1/\x02OlePres000", "ObjectPool/_1/Contents"}) {
        EXPECT_EQ(out.readStream(kept), source.readStream(kept)) << kept;
    }

    const File pruned = File::openBytes(source.rewrite({}, {"ObjectPool"}), "pruned.bin");
    EXPECT_FALSE(pruned.hasStorage("ObjectPool"));
    EXPECT_FALSE(pruned.hasStream("ObjectPool/_1/Contents"));
    EXPECT_EQ(pruned.entries().size(), 5u);
}

TEST(CompoundFile, RewriteRefusesPathsThatCannotBeWritten) {
    const File source = sampleObject();
    EXPECT_OFFICE_ERROR(
        source.rewrite({{"ObjectPool/_1", {}}}), ErrorCode::InvalidArgument,
        "object.bin: \"ObjectPool/_1\" is a storage and cannot be replaced by a stream");
    EXPECT_OFFICE_ERROR(source.rewrite({{"Package/Inner", {}}}), ErrorCode::InvalidArgument,
                        "object.bin: \"Package\" is a stream and cannot hold \"Package/Inner\"");
    EXPECT_OFFICE_ERROR(source.rewrite({{"A//B", {}}}), ErrorCode::InvalidArgument,
                        "object.bin: cannot write a stream at \"A//B\"");
    EXPECT_OFFICE_ERROR(office::compound::create({{"A", {}}, {"A/B", {}}}),
                        ErrorCode::InvalidArgument,
                        "new compound file: \"A\" is a stream and cannot hold \"A/B\"");
    EXPECT_OFFICE_ERROR(office::compound::create({{"", {}}}), ErrorCode::InvalidArgument,
                        "new compound file: cannot write a stream at \"\"");
}

// ---- broken and hostile files ------------------------------------------------------------

// A compound file written by libgsf (512-byte sectors), with helpers to break its tables.
struct Raw {
    Bytes bytes;

    std::uint32_t get(std::size_t at) const {
        return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
               (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
    }
    void set(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    static std::size_t sector(std::uint32_t id) { return (std::size_t{id} + 1) * 512; }
    std::size_t fatEntry(std::uint32_t id) const {
        return sector(get(0x4C + 4 * (id / 128))) + 4 * (id % 128);
    }
    // The directory entry of the stream or storage with that (ASCII) name.
    std::size_t entry(std::string_view name) const {
        Bytes utf16;
        for (char c : name) {
            utf16.push_back(static_cast<std::uint8_t>(c));
            utf16.push_back(0);
        }
        utf16.insert(utf16.end(), {0, 0});
        for (auto it = bytes.begin();; ++it) {
            it = std::search(it, bytes.end(), utf16.begin(), utf16.end());
            if (it == bytes.end()) {
                ADD_FAILURE() << "no entry " << name;
                return 0;
            }
            const auto at = static_cast<std::size_t>(it - bytes.begin());
            if (at % 128 == 0) {
                return at;
            }
        }
    }
    // Gives an entry a new (ASCII) name, with its length in bytes and the closing zero.
    void rename(std::string_view name, std::string_view to) {
        const std::size_t at = entry(name);
        std::fill(bytes.begin() + at, bytes.begin() + at + 64, 0);
        for (std::size_t i = 0; i < to.size(); ++i) {
            bytes[at + 2 * i] = static_cast<std::uint8_t>(to[i]);
        }
        bytes[at + 0x40] = static_cast<std::uint8_t>(to.empty() ? 0 : 2 * (to.size() + 1));
    }
    std::uint32_t start(std::string_view name) const { return get(entry(name) + 0x74); }
    std::uint32_t lastSector(std::uint32_t id) const {
        while (get(fatEntry(id)) < 0xFFFFFFFA) {
            id = get(fatEntry(id));
        }
        return id;
    }
};

Raw hostileBase() {
    return {office::compound::create({{"Big", pattern(300000, 1)},
                                      {"Small", pattern(100, 2)},
                                      {"Store/Inner", pattern(5000, 3)}})};
}

// The file is refused as corrupt, with a message that names the file and says what is broken.
void expectRefused(const Raw& raw, const std::string& problem) {
    EXPECT_OFFICE_ERROR(File::openBytes(raw.bytes, "hostile.bin"), ErrorCode::CorruptPart,
                        "hostile.bin: " + problem);
}

TEST(CompoundFileHostile, TheBaseFileOpens) {
    const File file = File::openBytes(hostileBase().bytes, "hostile.bin");
    EXPECT_EQ(file.readStream("Store/Inner"), pattern(5000, 3));
}

TEST(CompoundFileHostile, RefusesADifatChainThatNamesTheSameSectorAgain) {
    // More FAT sectors than the header holds, and a DIFAT sector whose next link is itself:
    // a reader that follows it builds a FAT without end.
    Raw raw = hostileBase();
    const std::uint32_t loop = raw.start("Big") + 3;
    raw.set(0x2C, 500);
    raw.set(0x44, loop);
    raw.set(0x48, 400);
    raw.set(Raw::sector(loop) + 508, loop);
    expectRefused(raw, "the DIFAT chain reaches sector " + std::to_string(loop) + " a second time");
}

TEST(CompoundFileHostile, RefusesCountsBeyondTheFile) {
    Raw raw = hostileBase();
    raw.set(0x2C, 0x00FFFFFF);
    expectRefused(raw, "the header names 16777215 FAT sectors, but the file has");

    raw = hostileBase();
    raw.set(0x4C, 0x00FFFFFF);
    expectRefused(raw, "FAT sector 16777215 lies beyond the end of the file");

    raw = hostileBase();
    raw.set(0x1E, 40);  // a sector size of 2^40
    expectRefused(raw, "the header gives a sector size of 2^40");

    raw = hostileBase();
    raw.bytes.resize(1500);
    expectRefused(raw, "the header names 5 FAT sectors, but the file has 2 sectors");
}

TEST(CompoundFileHostile, RefusesStreamChainsThatLoopLeaveOrFallShort) {
    Raw raw = hostileBase();
    const std::uint32_t start = raw.start("Big");
    raw.set(raw.fatEntry(raw.lastSector(start)), start);
    expectRefused(raw, "the chain of stream \"Big\" reaches sector " + std::to_string(start) +
                           " a second time");

    raw = hostileBase();
    raw.set(raw.fatEntry(start), 0x00FFFF00);
    expectRefused(raw, "the chain of stream \"Big\" leaves the file at sector 16776960");

    raw = hostileBase();
    raw.set(raw.entry("Inner") + 0x78, 50000);
    expectRefused(raw, "stream \"Inner\" holds 50000 bytes but its chain 5120");
}

TEST(CompoundFileHostile, RefusesLoopsInTheDirectoryAndTheMiniStream) {
    Raw raw = hostileBase();
    const std::uint32_t directory = raw.get(0x30);
    raw.set(raw.fatEntry(raw.lastSector(directory)), directory);
    expectRefused(
        raw, "the directory chain reaches sector " + std::to_string(directory) + " a second time");

    raw = hostileBase();
    raw.set(raw.entry("Small") + 0x44, 0);  // a sibling link back to the root
    expectRefused(raw, "the directory loops: entry 0 is reached a second time");

    raw = hostileBase();
    raw.set(raw.entry("Root Entry") + 0x48, 1);  // the root's sibling: an entry of the tree
    expectRefused(raw, "the directory loops: entry 1 is reached a second time");

    raw = hostileBase();
    raw.bytes[raw.entry("Small") + 0x42] = 0x30;  // of no known kind, with a broken link
    raw.set(raw.entry("Small") + 0x44, 0x7FFFFFFF);
    expectRefused(raw, "the directory links to entry 2147483647 of its");

    raw = hostileBase();
    raw.set(raw.entry("Small") + 0x48, 0x7FFF);
    expectRefused(raw, "the directory links to entry 32767 of its");

    raw = hostileBase();
    const std::uint32_t mini = raw.start("Small");
    const std::size_t miniFat = Raw::sector(raw.get(0x3C));
    raw.set(miniFat + 4 * (mini + 1), mini);  // its second mini sector leads back to its first
    expectRefused(raw, "the chain of stream \"Small\" reaches mini sector " + std::to_string(mini) +
                           " a second time");

    raw = hostileBase();
    raw.set(raw.entry("Small") + 0x74, 5000);
    expectRefused(raw, "the chain of stream \"Small\" leaves the mini stream at mini sector 5000");
}

TEST(CompoundFileHostile, RefusesNamesThatAPathCannotTellApart) {
    // Names are the only way to an entry: two alike in one storage, or none, would make one
    // stream stand for another.
    Raw raw = hostileBase();
    raw.rename("Small", "Big");
    expectRefused(raw, "the root storage holds two entries named \"Big\"");

    raw = hostileBase();
    raw.rename("Inner", "");
    expectRefused(raw, "storage \"Store\" holds an entry without a name");

    raw = hostileBase();
    raw.rename("Inner", "a/b");
    expectRefused(raw, "storage \"Store\" holds an entry named \"a/b\"");
}

TEST(CompoundFileHostile, ReadsLongSiblingListsAndRefusesTreesDeeperThanLibgsfCanFollow) {
    // libgsf writes a storage's entries as one sibling list, and reads the tree recursively: a
    // list of some 35,000 entries overflows an 8 MB stack. Thousands are still read.
    std::map<std::string, Bytes> many;
    for (int i = 0; i < 5000; ++i) {
        many["S" + std::to_string(i)] = pattern(3, i);
    }
    const File file = File::openBytes(office::compound::create(many), "many.bin");
    EXPECT_EQ(file.entries().size(), 5000u);
    EXPECT_EQ(file.readStream("S4999"), pattern(3, 4999));

    for (int i = 5000; i < 17000; ++i) {
        many["S" + std::to_string(i)] = {};
    }
    expectRefused(Raw{office::compound::create(many)}, "the directory tree is deeper than 16384");
}

// ---- the real-world files ----------------------------------------------------------------

struct Sample {
    std::string name;
    Bytes bytes;
};

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Every .ppt and .xls file of the corpus, and every OLE object part of its .pptx files.
std::vector<Sample> realWorldCompoundFiles(const fs::path& root) {
    std::vector<Sample> samples;
    for (const char* folder : {"ppt", "xls"}) {
        for (const auto& item : fs::directory_iterator(root / folder)) {
            samples.push_back({item.path().filename().string(), readBytes(item.path())});
        }
    }
    for (const auto& item : fs::directory_iterator(root / "pptx-ole")) {
        auto package = office::package::Package::openFile(item.path().string(), "presentation");
        for (const std::string& part : package.partNames()) {
            if (part.starts_with("ppt/embeddings/oleObject") && part.ends_with(".bin")) {
                const std::string raw = package.read(part);
                samples.push_back(
                    {item.path().filename().string() + ": " + part, Bytes(raw.begin(), raw.end())});
            }
        }
    }
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.name < b.name; });
    return samples;
}

TEST(CompoundFileRealWorld, EveryFileGoesThroughARewriteUnchanged) {
    const fs::path root = TABULON_REALWORLD_DIR;
    if (!fs::exists(root / "ppt") || !fs::exists(root / "xls") || !fs::exists(root / "pptx-ole")) {
        GTEST_SKIP() << "../shared/realworld is absent";
    }
    const auto samples = realWorldCompoundFiles(root);
    EXPECT_GE(samples.size(), 14u);
    bool olefilePresent = true;
    int index = 0;
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.name);
        const File source = File::openBytes(sample.bytes, sample.name);
        const Bytes rewritten = source.rewrite({});
        const File back = File::openBytes(rewritten, sample.name + " (rewritten)");
        const std::string ours = listing(source);
        EXPECT_EQ(listing(back), ours);
        EXPECT_EQ(back.classId(), source.classId());
        EXPECT_NE(source.classId(), ClassId{});

        if (!olefilePresent) {
            continue;
        }
        ++index;
        const auto original = olefileListing(writeFile("in" + std::to_string(index), sample.bytes));
        const auto copy = olefileListing(writeFile("out" + std::to_string(index), rewritten));
        if (!original || !copy) {
            olefilePresent = false;
            continue;
        }
        EXPECT_EQ(*original, ours);
        EXPECT_EQ(*copy, ours);
    }
    if (!olefilePresent) {
        GTEST_SKIP() << "python3-olefile is missing: the rewrites were checked by libgsf only";
    }
}

}  // namespace
