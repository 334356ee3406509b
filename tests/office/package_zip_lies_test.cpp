// Zip packages whose headers contradict each other: a part name held twice (also when the two
// differ only in case), and a local header that names another part or gives other sizes or
// another method than the central directory. Each is refused, naming the part.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "office/error.h"
#include "office/package/package.h"
#include "support/office_error.h"

namespace {

using office::ErrorCode;
using office::package::Package;

const std::string kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";

// One stored entry, and what its local header says where it lies.
struct Entry {
    Entry(std::string name, std::string data) : name(std::move(name)), data(std::move(data)) {}
    std::string name;
    std::string data;
    std::string localName;     // empty: the name
    std::uint16_t method = 0;  // stored
    std::uint16_t localMethod = 0;
    std::uint32_t localSizeDelta = 0;
};

void put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

// CRC-32 as zip computes it, bit by bit: independent of the libraries under test.
std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xffffffff;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
        }
    }
    return ~crc;
}

// The header fields from "version needed" to the name's length.
void putFields(std::string& out, std::uint16_t method, std::uint32_t crc, std::uint32_t size,
               std::size_t nameLength) {
    put16(out, 20);
    put16(out, 0);  // flags
    put16(out, method);
    put32(out, 0x00210000);  // 1980-01-01 00:00
    put32(out, crc);
    put32(out, size);
    put32(out, size);
    put16(out, static_cast<std::uint32_t>(nameLength));
    put16(out, 0);  // extra field
}

std::vector<std::uint8_t> zipOf(const std::vector<Entry>& entries) {
    std::string out;
    std::string directory;
    for (const Entry& e : entries) {
        const std::string local = e.localName.empty() ? e.name : e.localName;
        const auto size = static_cast<std::uint32_t>(e.data.size());
        put32(directory, 0x02014b50);
        put16(directory, 20);
        putFields(directory, e.method, crc32(e.data), size, e.name.size());
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, static_cast<std::uint32_t>(out.size()));
        directory += e.name;
        put32(out, 0x04034b50);
        putFields(out, e.localMethod, crc32(e.data), size + e.localSizeDelta, local.size());
        out += local + e.data;
    }
    const auto offset = static_cast<std::uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directory.size()));
    put32(out, offset);
    put16(out, 0);
    return {out.begin(), out.end()};
}

Package openZip(const std::vector<Entry>& entries) {
    return Package::openBytes(zipOf(entries), "report.pptx", "presentation");
}

TEST(PackageZipLies, ContradictoryHeadersAreRefusedNamingThePart) {
    const Entry types{"[Content_Types].xml", kTypes};
    // Made the same way but telling no lie, the package opens and reads.
    EXPECT_EQ(openZip({types, {"doc/a.xml", "<a/>"}}).read("doc/a.xml"), "<a/>");

    EXPECT_OFFICE_ERROR(openZip({types, {"doc/a.xml", "<a/>"}, {"doc/a.xml", "<b/>"}}),
                        ErrorCode::CorruptPart,
                        "report.pptx: doc/a.xml: the package holds this part twice");
    EXPECT_OFFICE_ERROR(
        openZip({types, {"doc/a.xml", "<a/>"}, {"Doc/A.xml", "<b/>"}}), ErrorCode::CorruptPart,
        "report.pptx: Doc/A.xml: the package holds this part twice, also as \"doc/a.xml\" (part "
        "names do not differ by case alone)");

    Entry renamed{"doc/a.xml", "<a/>"};
    renamed.localName = "doc/b.xml";
    EXPECT_OFFICE_ERROR(openZip({types, renamed}), ErrorCode::CorruptPart,
                        "report.pptx: doc/a.xml: its local header names another part "
                        "(\"doc/b.xml\")");
    Entry resized{"doc/a.xml", "<a/>"};
    resized.localSizeDelta = 100;
    EXPECT_OFFICE_ERROR(openZip({types, resized}), ErrorCode::CorruptPart,
                        "report.pptx: doc/a.xml: its local header gives other sizes or another "
                        "CRC than the zip's directory");
    Entry remethod{"doc/a.xml", "<a/>"};
    remethod.localMethod = 8;
    EXPECT_OFFICE_ERROR(openZip({types, remethod}), ErrorCode::CorruptPart,
                        "report.pptx: doc/a.xml: its local header gives another compression "
                        "method than the zip's directory");
}

}  // namespace
