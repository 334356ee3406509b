// Zip packages whose headers contradict each other are refused, naming the part.
#include <gtest/gtest.h>
#include <zlib.h>

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

// One stored entry, and what its local header says.
struct Entry {
    Entry(std::string name, std::string data) : name(std::move(name)), data(std::move(data)) {}
    std::string name;
    std::string data;
    std::string localName;  // empty: the name
    std::uint16_t localMethod = 0;
    std::uint32_t localSizeDelta = 0;
};

// Appends `value` little-endian in `bytes` bytes.
void put(std::string& out, std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out += static_cast<char>(k < 4 ? (value >> (8 * k)) & 0xff : 0);
    }
}

// The header fields from "version needed" to the extra field's length: flags 0, the date
// 1980-01-01, no extra field.
void putFields(std::string& out, std::uint16_t method, const std::string& data, std::uint32_t size,
               std::size_t nameLength) {
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size());
    put(out, 20, 2), put(out, 0, 2), put(out, method, 2), put(out, 0x00210000, 4);
    put(out, static_cast<std::uint32_t>(crc), 4), put(out, size, 4), put(out, size, 4);
    put(out, static_cast<std::uint32_t>(nameLength), 2), put(out, 0, 2);
}

std::vector<std::uint8_t> zipOf(const std::vector<Entry>& entries) {
    std::string out;
    std::string directory;
    for (const Entry& e : entries) {
        const std::string local = e.localName.empty() ? e.name : e.localName;
        const auto size = static_cast<std::uint32_t>(e.data.size());
        put(directory, 0x02014b50, 4);
        put(directory, 20, 2);
        putFields(directory, 0, e.data, size, e.name.size());
        put(directory, 0, 10);  // comment length, disk, attributes
        put(directory, static_cast<std::uint32_t>(out.size()), 4);
        directory += e.name;
        put(out, 0x04034b50, 4);
        putFields(out, e.localMethod, e.data, size + e.localSizeDelta, local.size());
        out += local + e.data;
    }
    const auto offset = static_cast<std::uint32_t>(out.size());
    out += directory;
    put(out, 0x06054b50, 4), put(out, 0, 4);
    put(out, static_cast<std::uint32_t>(entries.size() * 0x10001), 4);  // on this disk, in all
    put(out, static_cast<std::uint32_t>(directory.size()), 4), put(out, offset, 4), put(out, 0, 2);
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
