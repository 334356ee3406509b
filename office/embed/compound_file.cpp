#include "office/embed/compound_file.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace office::embed {

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kSector = 512;
constexpr std::size_t kMini = 64;
constexpr std::uint32_t kCutoff = 4096;
constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::uint32_t u32(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) {
        return kEnd;
    }
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t u16(const Bytes& b, std::size_t at) {
    return at + 2 > b.size() ? 0 : static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Follows a chain of the table from `start`; nothing when it loops or leaves the table.
std::optional<std::vector<std::uint32_t>> chain(const std::vector<std::uint32_t>& table,
                                                std::uint32_t start) {
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t s = start; s != kEnd; s = table[s]) {
        if (s >= table.size() || sectors.size() > table.size()) {
            return std::nullopt;
        }
        sectors.push_back(s);
    }
    return sectors;
}

struct Reader {
    const Bytes& bytes;
    std::size_t sectorSize = kSector;
    std::vector<std::uint32_t> fat;

    std::optional<Bytes> read(std::uint32_t start, std::uint64_t size) const {
        const auto sectors = chain(fat, start);
        if (!sectors) {
            return std::nullopt;
        }
        Bytes out;
        for (std::uint32_t s : *sectors) {
            const std::size_t at = (static_cast<std::size_t>(s) + 1) * sectorSize;
            if (at + sectorSize > bytes.size() + sectorSize) {
                return std::nullopt;
            }
            const std::size_t end = std::min(bytes.size(), at + sectorSize);
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at, end)),
                       bytes.begin() + static_cast<std::ptrdiff_t>(end));
        }
        if (out.size() < size) {
            return std::nullopt;
        }
        out.resize(size);
        return out;
    }
};

std::string entryName(const Bytes& dir, std::size_t at) {
    const std::size_t length = std::min<std::size_t>(u16(dir, at + 64), 64);
    std::string name;
    for (std::size_t i = 0; i + 2 < length + 1 && i < 62; i += 2) {
        const std::uint16_t c = u16(dir, at + i);
        if (c == 0) {
            break;
        }
        // Stream names of OLE objects are ASCII (with control characters such as \1).
        name.push_back(static_cast<char>(c < 0x80 ? c : '?'));
    }
    return name;
}

}  // namespace

bool isCompoundFile(const Bytes& bytes) {
    return bytes.size() >= sizeof kSignature &&
           std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin());
}

std::optional<std::map<std::string, Bytes>> readRootStreams(const Bytes& bytes) {
    if (!isCompoundFile(bytes) || bytes.size() < kSector) {
        return std::nullopt;
    }
    Reader reader{bytes, kSector, {}};
    const std::uint16_t shift = u16(bytes, 0x1E);
    if (shift != 9 && shift != 12) {
        return std::nullopt;
    }
    reader.sectorSize = std::size_t{1} << shift;
    const std::size_t perSector = reader.sectorSize / 4;
    // The sectors of the FAT: 109 in the header, the rest in the DIFAT chain.
    std::vector<std::uint32_t> fatSectors;
    for (int i = 0; i < 109; ++i) {
        const std::uint32_t s = u32(bytes, 0x4C + 4 * i);
        if (s < kFatSector) {
            fatSectors.push_back(s);
        }
    }
    std::uint32_t difat = u32(bytes, 0x44);
    for (std::set<std::uint32_t> seen; difat < kFatSector && seen.insert(difat).second;) {
        const std::size_t at = (difat + 1) * reader.sectorSize;
        for (std::size_t i = 0; i + 1 < perSector; ++i) {
            const std::uint32_t s = u32(bytes, at + 4 * i);
            if (s < kFatSector) {
                fatSectors.push_back(s);
            }
        }
        difat = u32(bytes, at + 4 * (perSector - 1));
    }
    for (std::uint32_t s : fatSectors) {
        const std::size_t at = (static_cast<std::size_t>(s) + 1) * reader.sectorSize;
        if (at + reader.sectorSize > bytes.size()) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < perSector; ++i) {
            reader.fat.push_back(u32(bytes, at + 4 * i));
        }
    }
    const auto dirChain = chain(reader.fat, u32(bytes, 0x30));
    if (!dirChain) {
        return std::nullopt;
    }
    const auto dir = reader.read(u32(bytes, 0x30), dirChain->size() * reader.sectorSize);
    if (!dir || dir->size() < 128) {
        return std::nullopt;
    }
    const std::uint32_t cutoff = u32(bytes, 0x38);
    std::vector<std::uint32_t> miniFat;
    if (u32(bytes, 0x3C) < kFatSector) {
        const auto mfChain = chain(reader.fat, u32(bytes, 0x3C));
        if (!mfChain) {
            return std::nullopt;
        }
        const auto raw = reader.read(u32(bytes, 0x3C), mfChain->size() * reader.sectorSize);
        for (std::size_t i = 0; raw && i + 4 <= raw->size(); i += 4) {
            miniFat.push_back(u32(*raw, i));
        }
    }
    const auto ministream = reader.read(u32(*dir, 116), u32(*dir, 120));

    // Walk the root's children: a binary tree through left and right siblings.
    std::map<std::string, Bytes> streams;
    const std::size_t entries = dir->size() / 128;
    std::vector<std::uint32_t> pending{u32(*dir, 76)};
    std::set<std::uint32_t> seen;
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream || id >= entries || !seen.insert(id).second) {
            continue;
        }
        const std::size_t at = id * 128;
        pending.push_back(u32(*dir, at + 68));
        pending.push_back(u32(*dir, at + 72));
        if ((*dir)[at + 66] != 2) {
            continue;
        }
        const std::uint32_t start = u32(*dir, at + 116);
        const std::uint32_t size = u32(*dir, at + 120);
        std::optional<Bytes> data;
        if (size < cutoff) {
            const auto sectors = chain(miniFat, start);
            if (!sectors || !ministream) {
                return std::nullopt;
            }
            data.emplace();
            for (std::uint32_t s : *sectors) {
                const std::size_t from = s * kMini;
                if (from + kMini > ministream->size() + kMini) {
                    return std::nullopt;
                }
                const std::size_t to = std::min(ministream->size(), from + kMini);
                data->insert(data->end(), ministream->begin() + static_cast<std::ptrdiff_t>(from),
                             ministream->begin() + static_cast<std::ptrdiff_t>(to));
            }
            if (data->size() < size) {
                return std::nullopt;
            }
            data->resize(size);
        } else {
            data = reader.read(start, size);
        }
        if (!data) {
            return std::nullopt;
        }
        streams[entryName(*dir, at)] = std::move(*data);
    }
    return streams;
}

namespace {

std::size_t sectorsFor(std::size_t size, std::size_t unit) {
    return (size + unit - 1) / unit;
}

// Compound-file order of names: shorter first, then by upper-case code units.
bool nameBefore(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int x = std::toupper(static_cast<unsigned char>(a[i]));
        const int y = std::toupper(static_cast<unsigned char>(b[i]));
        if (x != y) {
            return x < y;
        }
    }
    return false;
}

}  // namespace

Bytes writeCompoundFile(const std::map<std::string, Bytes>& streams) {
    std::vector<std::string> names;
    for (const auto& [name, data] : streams) {
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), nameBefore);

    // The mini stream holds the small streams in 64-byte pieces.
    Bytes mini;
    std::vector<std::uint32_t> miniFat;
    std::map<std::string, std::uint32_t> start;
    for (const std::string& name : names) {
        const Bytes& data = streams.at(name);
        if (data.size() >= kCutoff || data.empty()) {
            continue;
        }
        const auto first = static_cast<std::uint32_t>(miniFat.size());
        start[name] = first;
        const std::size_t count = sectorsFor(data.size(), kMini);
        for (std::size_t i = 0; i < count; ++i) {
            miniFat.push_back(i + 1 == count ? kEnd : first + static_cast<std::uint32_t>(i) + 1);
        }
        mini.insert(mini.end(), data.begin(), data.end());
        mini.resize(miniFat.size() * kMini, 0);
    }

    const std::size_t entries = names.size() + 1;
    const std::size_t dirSectors = sectorsFor(entries * 128, kSector);
    const std::size_t miniFatSectors = sectorsFor(miniFat.size() * 4, kSector);
    const std::size_t miniSectors = sectorsFor(mini.size(), kSector);
    std::size_t bigSectors = 0;
    for (const std::string& name : names) {
        if (streams.at(name).size() >= kCutoff) {
            bigSectors += sectorsFor(streams.at(name).size(), kSector);
        }
    }
    const std::size_t dataSectors = dirSectors + miniFatSectors + miniSectors + bigSectors;
    std::size_t fatSectors = 1;
    while (fatSectors * (kSector / 4) < dataSectors + fatSectors) {
        ++fatSectors;
    }
    const std::size_t total = dataSectors + fatSectors;

    std::vector<std::uint32_t> fat(fatSectors * (kSector / 4), kFree);
    std::uint32_t next = 0;
    auto allocate = [&](std::size_t count) {
        const std::uint32_t first = count ? next : kEnd;
        for (std::size_t i = 0; i < count; ++i, ++next) {
            fat[next] = i + 1 == count ? kEnd : next + 1;
        }
        return first;
    };
    const std::uint32_t dirStart = allocate(dirSectors);
    const std::uint32_t miniFatStart = allocate(miniFatSectors);
    const std::uint32_t miniStart = allocate(miniSectors);
    for (const std::string& name : names) {
        if (streams.at(name).size() >= kCutoff) {
            start[name] = allocate(sectorsFor(streams.at(name).size(), kSector));
        }
    }
    const std::uint32_t fatStart = next;
    for (std::size_t i = 0; i < fatSectors; ++i) {
        fat[fatStart + i] = kFatSector;
    }

    Bytes out((total + 1) * kSector, 0);
    std::copy(std::begin(kSignature), std::end(kSignature), out.begin());
    put16(out, 0x18, 0x003E);
    put16(out, 0x1A, 3);
    put16(out, 0x1C, 0xFFFE);
    put16(out, 0x1E, 9);
    put16(out, 0x20, 6);
    put32(out, 0x2C, static_cast<std::uint32_t>(fatSectors));
    put32(out, 0x30, dirStart);
    put32(out, 0x38, kCutoff);
    put32(out, 0x3C, miniFatSectors ? miniFatStart : kEnd);
    put32(out, 0x40, static_cast<std::uint32_t>(miniFatSectors));
    put32(out, 0x44, kEnd);
    for (int i = 0; i < 109; ++i) {
        put32(out, 0x4C + 4 * i, i < static_cast<int>(fatSectors) ? fatStart + i : kFree);
    }
    auto sectorAt = [](std::uint32_t s) { return (static_cast<std::size_t>(s) + 1) * kSector; };

    // Directory: the root, then the streams as a chain of right siblings in name order.
    auto writeEntry = [&](std::size_t index, const std::string& name, std::uint8_t type,
                          std::uint32_t right, std::uint32_t child, std::uint32_t first,
                          std::uint32_t size) {
        const std::size_t at = sectorAt(dirStart) + index * 128;
        for (std::size_t i = 0; i < name.size() && i < 31; ++i) {
            put16(out, at + 2 * i, static_cast<unsigned char>(name[i]));
        }
        put16(out, at + 64,
              static_cast<std::uint16_t>(2 * (std::min<std::size_t>(name.size(), 31) + 1)));
        out[at + 66] = type;
        out[at + 67] = 1;  // black
        put32(out, at + 68, kNoStream);
        put32(out, at + 72, right);
        put32(out, at + 76, child);
        put32(out, at + 116, first);
        put32(out, at + 120, size);
    };
    for (std::size_t i = entries; i < dirSectors * 4; ++i) {
        const std::size_t at = sectorAt(dirStart) + i * 128;
        put32(out, at + 68, kNoStream);
        put32(out, at + 72, kNoStream);
        put32(out, at + 76, kNoStream);
    }
    writeEntry(0, "Root Entry", 5, kNoStream, names.empty() ? kNoStream : 1,
               mini.empty() ? kEnd : miniStart, static_cast<std::uint32_t>(mini.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Bytes& data = streams.at(names[i]);
        const std::uint32_t right =
            i + 1 < names.size() ? static_cast<std::uint32_t>(i + 2) : kNoStream;
        const std::uint32_t first = data.empty() ? kEnd : start.at(names[i]);
        writeEntry(i + 1, names[i], 2, right, kNoStream, first,
                   static_cast<std::uint32_t>(data.size()));
        if (data.size() >= kCutoff) {
            std::copy(data.begin(), data.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(sectorAt(first)));
        }
    }
    for (std::size_t i = 0; i < miniFatSectors * (kSector / 4); ++i) {
        put32(out, sectorAt(miniFatStart) + 4 * i, i < miniFat.size() ? miniFat[i] : kFree);
    }
    if (!mini.empty()) {
        std::copy(mini.begin(), mini.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(sectorAt(miniStart)));
    }
    for (std::size_t i = 0; i < fat.size(); ++i) {
        put32(out, sectorAt(fatStart) + 4 * i, fat[i]);
    }
    return out;
}

}  // namespace office::embed
