#include "office/compound/structure_check.h"

#include <algorithm>
#include <vector>

#include "office/binary/records.h"
#include "office/compound/compound_file.h"
#include "office/error.h"

namespace office::compound::detail {

namespace {

constexpr std::uint32_t kLastRegular = 0xFFFFFFFA;  // above it: end of chain, free and kin
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderDifat = 109;  // FAT sector ids held in the header itself
constexpr std::size_t kEntrySize = 128;
// The tree is read here without recursion, but readers that follow it recursively (libgsf, with
// some 250 bytes of stack a level) are common, and libgsf, which writes our files, writes the
// entries of a storage as one long sibling list. A tree deeper than this is refused, as those
// readers could not follow it with a few MB of stack either.
constexpr int kMaxTreeDepth = 16384;

enum EntryType : std::uint8_t { kStorage = 1, kStream = 2, kRoot = 5 };

// Little-endian fields at an offset that the caller checked.
std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return binary::le32(&b[at]);
}

std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return binary::le16(&b[at]);
}

// A directory entry's name (UTF-16LE, at most 32 code units, up to a zero) as UTF-8.
std::string entryName(std::span<const std::uint8_t> entry) {
    const std::size_t units = std::min<std::size_t>(u16(entry, 0x40) / 2, 32);
    std::size_t length = 0;
    while (length < units && u16(entry, 2 * length) != 0) {
        ++length;
    }
    std::string name;
    binary::appendUtf16(name, entry.first(2 * length));
    return printableName(name);
}

class Checker {
public:
    Checker(std::span<const std::uint8_t> bytes, const std::string& name)
        : bytes_(bytes), name_(name) {}

    Layout run() {
        readHeader();
        readFat();
        directory_ = chain(u32(bytes_, 0x30), "the directory chain");
        if (directory_.empty()) {
            fail("the directory is empty");
        }
        entryCount_ = directory_.size() * (sectorSize_ / kEntrySize);
        readMiniTables();
        walkTree();
        layout_.sectorSize = sectorSize_;
        layout_.miniSize = miniSize_;
        layout_.cutoff = cutoff_;
        layout_.directory = std::move(directory_);
        layout_.entryCount = entryCount_;
        return std::move(layout_);
    }

private:
    [[noreturn]] void fail(const std::string& problem) const {
        throw Error(ErrorCode::CorruptPart, name_ + ": " + problem);
    }

    // A sector of a table or of the directory, which must lie whole inside the file.
    std::span<const std::uint8_t> sector(std::uint32_t id) const {
        const std::size_t at = (static_cast<std::size_t>(id) + 1) * sectorSize_;
        if (at + sectorSize_ > bytes_.size()) {
            fail("sector " + std::to_string(id) + " is cut off by the end of the file");
        }
        return bytes_.subspan(at, sectorSize_);
    }

    void readHeader() {
        if (bytes_.size() < 512) {
            fail("the file is shorter than a compound-file header");
        }
        const unsigned shift = u16(bytes_, 0x1E);
        const unsigned miniShift = u16(bytes_, 0x20);
        if (shift < 7 || shift > 16 || miniShift < 1 || miniShift > shift) {
            fail("the header gives a sector size of 2^" + std::to_string(shift) +
                 " and a mini sector size of 2^" + std::to_string(miniShift));
        }
        sectorSize_ = std::size_t{1} << shift;
        miniSize_ = std::size_t{1} << miniShift;
        cutoff_ = u32(bytes_, 0x38);
        if (bytes_.size() < sectorSize_) {
            fail("the file is shorter than its header sector");
        }
        // The sectors after the header, a cut-off last one included: some writers do not pad
        // the end of the file, and a stream's last sector need not be whole.
        sectors_ = (bytes_.size() - 1) / sectorSize_;
        used_.assign(sectors_, false);
    }

    // The FAT sector ids, from the header and then along the DIFAT chain.
    std::vector<std::uint32_t> fatSectors() {
        const std::uint32_t count = u32(bytes_, 0x2C);
        if (count > sectors_) {
            fail("the header names " + std::to_string(count) + " FAT sectors, but the file has " +
                 std::to_string(sectors_) + " sectors");
        }
        std::vector<std::uint32_t> ids;
        for (std::size_t i = 0; i < std::min<std::size_t>(count, kHeaderDifat); ++i) {
            ids.push_back(u32(bytes_, 0x4C + 4 * i));
        }
        std::uint32_t next = u32(bytes_, 0x44);
        const std::size_t perSector = sectorSize_ / 4 - 1;
        for (std::size_t walked = 0; ids.size() < count; ++walked) {
            if (next >= sectors_) {
                fail("the DIFAT chain names " + std::to_string(ids.size()) + " of the " +
                     std::to_string(count) + " FAT sectors and leaves the file after " +
                     std::to_string(walked) + " sectors");
            }
            claim(next, "the DIFAT chain");
            const auto difat = sector(next);
            for (std::size_t i = 0; i < perSector && ids.size() < count; ++i) {
                ids.push_back(u32(difat, 4 * i));
            }
            next = u32(difat, 4 * perSector);
        }
        return ids;
    }

    void readFat() {
        for (std::uint32_t id : fatSectors()) {
            if (id >= sectors_) {
                fail("FAT sector " + std::to_string(id) + " lies beyond the end of the file");
            }
            claim(id, "the FAT");
            const auto table = sector(id);
            for (std::size_t at = 0; at < sectorSize_; at += 4) {
                fat_.push_back(u32(table, at));
            }
        }
    }

    // Marks a sector as taken by one table or chain; a sector taken twice is a loop, or two
    // chains that share it.
    void claim(std::uint32_t id, const std::string& what) {
        if (used_[id]) {
            fail(what + " reaches sector " + std::to_string(id) + " a second time");
        }
        used_[id] = true;
    }

    // The sectors of a FAT chain from `start` up to its end marker.
    std::vector<std::uint32_t> chain(std::uint32_t start, const std::string& what) {
        std::vector<std::uint32_t> ids;
        for (std::uint32_t id = start; id <= kLastRegular; id = fat_[id]) {
            if (id >= sectors_ || id >= fat_.size()) {
                fail(what + " leaves the file at sector " + std::to_string(id));
            }
            claim(id, what);
            ids.push_back(id);
        }
        return ids;
    }

    std::span<const std::uint8_t> entry(std::uint32_t id) const {
        const std::size_t perSector = sectorSize_ / kEntrySize;
        return sector(directory_[id / perSector])
            .subspan((id % perSector) * kEntrySize, kEntrySize);
    }

    void readMiniTables() {
        const auto root = entry(0);
        if (root[0x42] != kRoot && root[0x42] != kStorage) {
            fail("the directory's first entry is no root storage");
        }
        // An empty mini stream or mini FAT may start anywhere: some writers leave a zero there.
        const std::uint32_t streamSize = u32(root, 0x78);
        if (streamSize > 0) {
            auto stream = chain(u32(root, 0x74), "the mini stream's chain");
            if (stream.size() * sectorSize_ < streamSize) {
                fail("the mini stream holds " + std::to_string(streamSize) +
                     " bytes but its chain " + std::to_string(stream.size() * sectorSize_));
            }
            layout_.miniStream = std::move(stream);
            layout_.miniStreamSize = streamSize;
        }
        miniSectors_ = (streamSize + miniSize_ - 1) / miniSize_;
        miniUsed_.assign(miniSectors_, false);
        if (u32(bytes_, 0x40) == 0) {
            return;
        }
        for (std::uint32_t id : chain(u32(bytes_, 0x3C), "the mini FAT chain")) {
            const auto table = sector(id);
            for (std::size_t at = 0; at < sectorSize_; at += 4) {
                miniFat_.push_back(u32(table, at));
            }
        }
    }

    // The mini sectors of a mini FAT chain from `start`.
    std::vector<std::uint32_t> miniChain(std::uint32_t start, const std::string& what) {
        std::vector<std::uint32_t> ids;
        for (std::uint32_t id = start; id <= kLastRegular; id = miniFat_[id]) {
            if (id >= miniSectors_ || id >= miniFat_.size()) {
                fail(what + " leaves the mini stream at mini sector " + std::to_string(id));
            }
            if (miniUsed_[id]) {
                fail(what + " reaches mini sector " + std::to_string(id) + " a second time");
            }
            miniUsed_[id] = true;
            ids.push_back(id);
        }
        return ids;
    }

    void checkStream(std::uint32_t id, std::span<const std::uint8_t> stream) {
        const std::uint32_t size = u32(stream, 0x78);
        if (size == 0) {
            return;
        }
        const std::string what = "the chain of stream \"" + entryName(stream) + "\"";
        const std::uint32_t start = u32(stream, 0x74);
        const bool mini = size < cutoff_;
        auto ids = mini ? miniChain(start, what) : chain(start, what);
        const std::size_t length = ids.size() * (mini ? miniSize_ : sectorSize_);
        if (length < size) {
            fail("stream \"" + entryName(stream) + "\" holds " + std::to_string(size) +
                 " bytes but its chain " + std::to_string(length));
        }
        layout_.chains.emplace(id, std::move(ids));
    }

    // Every entry reachable from the root, once, no deeper than libgsf can follow: the sibling
    // links of every entry, the root's and unknown kinds' included, and the child link of every
    // storage.
    void walkTree() {
        struct Link {
            std::uint32_t id;
            int depth;
        };
        std::vector<bool> seen(entryCount_, false);
        std::vector<Link> todo = {{0, 0}};
        while (!todo.empty()) {
            const Link link = todo.back();
            todo.pop_back();
            if (link.id == kNoEntry) {
                continue;
            }
            if (link.id >= entryCount_) {
                fail("the directory links to entry " + std::to_string(link.id) + " of its " +
                     std::to_string(entryCount_));
            }
            if (seen[link.id]) {
                fail("the directory loops: entry " + std::to_string(link.id) +
                     " is reached a second time");
            }
            if (link.depth > kMaxTreeDepth) {
                fail("the directory tree is deeper than " + std::to_string(kMaxTreeDepth) +
                     " links");
            }
            seen[link.id] = true;
            const auto e = entry(link.id);
            const std::uint8_t type = e[0x42];
            todo.push_back({u32(e, 0x44), link.depth + 1});
            todo.push_back({u32(e, 0x48), link.depth + 1});
            if (type == kStorage || type == kRoot) {
                todo.push_back({u32(e, 0x4C), link.depth + 1});
            } else if (type == kStream) {
                checkStream(link.id, e);
            }
        }
    }

    std::span<const std::uint8_t> bytes_;
    const std::string& name_;
    std::size_t sectorSize_ = 512;
    std::size_t miniSize_ = 64;
    std::uint32_t cutoff_ = 4096;
    std::size_t sectors_ = 0;
    std::vector<bool> used_;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> directory_;
    std::size_t entryCount_ = 0;
    std::size_t miniSectors_ = 0;
    std::vector<std::uint32_t> miniFat_;
    std::vector<bool> miniUsed_;
    Layout layout_;
};

}  // namespace

Layout checkStructure(std::span<const std::uint8_t> bytes, const std::string& displayName) {
    return Checker(bytes, displayName).run();
}

}  // namespace office::compound::detail
