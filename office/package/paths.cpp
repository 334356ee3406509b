#include "office/package/package.h"

#include <filesystem>
#include <string>
#include <vector>

#include "office/package/package_impl.h"

namespace office::package {

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

namespace {

std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string folderOf(std::string_view part) {
    const auto slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash));
}

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto slash = path.find('/', start);
        const auto end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start) {
            pieces.emplace_back(path.substr(start, end - start));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return pieces;
}

}  // namespace

std::string extensionOf(std::string_view part) {
    const auto dot = part.rfind('.');
    const auto slash = part.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return asciiLower(part.substr(dot + 1));
}

std::string relsPartName(std::string_view sourcePart) {
    if (sourcePart.empty()) {
        return "_rels/.rels";
    }
    const std::string folder = folderOf(sourcePart);
    const std::string file(sourcePart.substr(folder.empty() ? 0 : folder.size() + 1));
    return (folder.empty() ? std::string() : folder + "/") + "_rels/" + file + ".rels";
}

std::string resolveTarget(std::string_view sourcePart, std::string_view target) {
    const std::string decoded = percentDecoded(target);
    std::vector<std::string> pieces;
    std::string_view rest = decoded;
    if (rest.starts_with('/')) {
        rest.remove_prefix(1);
    } else {
        pieces = splitPath(folderOf(sourcePart));
    }
    for (auto& piece : splitPath(rest)) {
        if (piece == ".") {
            continue;
        }
        if (piece == "..") {
            if (!pieces.empty()) {
                pieces.pop_back();
            }
            continue;
        }
        pieces.push_back(std::move(piece));
    }
    std::string out;
    for (const auto& piece : pieces) {
        if (!out.empty()) {
            out += '/';
        }
        out += piece;
    }
    return out;
}

std::string relativeTarget(std::string_view sourcePart, std::string_view partName) {
    const auto from = splitPath(folderOf(sourcePart));
    const auto to = splitPath(partName);
    std::size_t common = 0;
    while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) {
        ++common;
    }
    std::string out;
    for (std::size_t i = common; i < from.size(); ++i) {
        out += "../";
    }
    for (std::size_t i = common; i < to.size(); ++i) {
        out += to[i] + (i + 1 < to.size() ? "/" : "");
    }
    return out;
}

}  // namespace office::package
