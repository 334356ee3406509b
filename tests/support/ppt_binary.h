#pragma once

// Helpers of the tests of PowerPoint 97-2003 presentations: the real files of the corpus,
// writable copies of them, copies with damaged streams, and the independent reader
// (tests/office/ppt_binary_listing.py, olefile).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"
#include "support/validator.h"

namespace ppt_binary {

namespace fs = std::filesystem;
using office::compound::Bytes;

// The .ppt files of the corpus, sorted; none when the corpus is absent.
inline std::vector<fs::path> corpus() {
    std::vector<fs::path> files;
    const fs::path folder = fs::path(TABULON_REALWORLD_DIR) / "ppt";
    std::error_code absent;
    for (const auto& entry : fs::directory_iterator(folder, absent)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A writable copy of a corpus file in the test's folder.
inline fs::path copyOf(const fs::path& file, const fs::path& folder, const std::string& name) {
    const fs::path copy = folder / name;
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
    return copy;
}

// A copy of the file whose streams are replaced by what `change` makes of them.
inline fs::path damaged(const fs::path& file, const fs::path& target,
                        const std::function<void(Bytes& user, Bytes& document)>& change) {
    auto compound = office::compound::File::openFile(file.string());
    Bytes user = compound.readStream("Current User");
    Bytes document = compound.readStream("PowerPoint Document");
    change(user, document);
    const Bytes bytes =
        compound.rewrite({{"Current User", user}, {"PowerPoint Document", document}});
    std::ofstream(target, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return target;
}

inline std::uint32_t u32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

inline void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// What the independent reader prints of the file, with its arguments before the file's path;
// nothing when olefile is not installed.
inline std::optional<std::string> independentListing(const fs::path& path,
                                                     const std::string& mode = "") {
    const auto run = tabulon::testing::runCommand(
        "/usr/bin/python3 '" + std::string(TABULON_SOURCE_DIR) +
        "/tests/office/ppt_binary_listing.py' " + mode + " '" + path.string() + "'");
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 2) {
        return std::nullopt;
    }
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

// The number of pages LibreOffice draws of each deck (-1 for none); nothing without soffice.
inline std::optional<std::vector<int>> pagesDrawn(const fs::path& folder,
                                                  std::vector<fs::path> decks) {
    if (tabulon::testing::runCommand("command -v soffice").status != 0) {
        return std::nullopt;
    }
    std::string command = "cd '" + folder.string() +
                          "' && timeout 300 soffice --headless "
                          "--convert-to pdf";
    for (const auto& deck : decks) {
        command += " '" + deck.filename().string() + "'";
    }
    tabulon::testing::runCommand(command);
    std::vector<int> pages;
    for (fs::path& deck : decks) {
        const auto info = tabulon::testing::runCommand(
            "pdfinfo '" + deck.replace_extension(".pdf").string() + "'");
        const std::size_t at = info.output.find("Pages:");
        pages.push_back(at == std::string::npos ? -1 : std::atoi(info.output.c_str() + at + 6));
    }
    return pages;
}

}  // namespace ppt_binary
