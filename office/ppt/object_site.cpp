#include "office/ppt/object_site.h"

#include <optional>
#include <span>
#include <utility>

#include "office/compound/compound_file.h"
#include "office/error.h"

namespace office::detail {

void OpenDocument::checkOpen() const {
    if (open) {
        return;
    }
    throw Error(ErrorCode::ObjectClosed,
                package.displayName() + ": object closed: the document was closed");
}

namespace {

// The root class ids of the objects that the host tells apart, as registry text.
constexpr std::pair<std::string_view, std::string_view> kClassIds[] = {
    {"{00020803-0000-0000-C000-000000000046}", "MSGraph.Chart.8"},
    {"{00020820-0000-0000-C000-000000000046}", "Excel.Sheet.8"},
    {"{00020830-0000-0000-C000-000000000046}", "Excel.Sheet.12"},
};

std::uint32_t readU32(const compound::Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// The ANSI ProgID of a CompObj stream: after its 28-byte header come the user type (a length
// and a string), the clipboard format (0 for none, 0xFFFFFFFF or 0xFFFFFFFE and a 4-byte
// format, else a length and a name) and then the ProgID (a length and a string ending in NUL).
std::string compObjProgId(const compound::Bytes& stream) {
    std::size_t at = 28;
    auto lengthAt = [&](std::size_t offset) -> std::optional<std::uint32_t> {
        if (offset + 4 > stream.size()) {
            return std::nullopt;
        }
        return readU32(stream, offset);
    };
    auto userType = lengthAt(at);
    if (!userType || *userType > stream.size()) {
        return {};
    }
    at += 4 + *userType;
    auto format = lengthAt(at);
    if (!format) {
        return {};
    }
    at += 4;
    if (*format == 0xFFFFFFFFU || *format == 0xFFFFFFFEU) {
        at += 4;
    } else if (*format <= stream.size()) {
        at += *format;
    } else {
        return {};
    }
    auto length = lengthAt(at);
    if (!length || *length == 0 || *length > stream.size() - at - 4) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(stream.data() + at + 4), *length);
    return text.substr(0, text.find('\0'));
}

}  // namespace

std::string storageProgId(const compound::Bytes& storage, const std::string& where) {
    try {
        compound::File file = compound::File::openBytes(storage, where);
        const std::string root = compound::classIdText(file.classId());
        for (const auto& [classId, progId] : kClassIds) {
            if (root == classId) {
                return std::string(progId);
            }
        }
        return file.hasStream("\1CompObj") ? compObjProgId(file.readStream("\1CompObj")) : "";
    } catch (const Error&) {
        return {};
    }
}

std::string recogniseProgId(const package::Package& package, const std::string& part) {
    try {
        const std::string type = package.contentType(part);
        if (type == "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet") {
            return "Excel.Sheet.12";
        }
        if (type == "application/vnd.ms-excel.sheet.macroEnabled.12") {
            return "Excel.SheetMacroEnabled.12";
        }
        const std::string bytes = package.read(part);
        const auto* head = reinterpret_cast<const std::uint8_t*>(bytes.data());
        if (!compound::isCompoundFile(std::span(head, bytes.size()))) {
            return {};
        }
        return storageProgId(compound::Bytes(bytes.begin(), bytes.end()), part);
    } catch (const Error&) {
        return {};
    }
}

std::string ObjectSite::where() const {
    std::string text = document ? document->package.displayName() : std::string("(no document)");
    text += ": slide " + std::to_string(slideIndex) + ", shape \"" + shapeName + "\"";
    return text;
}

}  // namespace office::detail
