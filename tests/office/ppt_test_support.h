#pragma once

#include "support/validator.h"

// Helpers shared by the presentation tests: fixture paths, scratch folders, and the independent
// reader (tests/fixtures/pptx/read_presentation.py, lxml) that judges what our code reads and
// writes.

#include <gtest/gtest.h>

#include <zip.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "office/error.h"
#include "office/powerpoint.h"

namespace ppt_test {

namespace fs = std::filesystem;

inline std::string fixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/pptx/" + name;
}

// An empty folder for one test, below the build folder.
inline fs::path scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path folder =
        fs::path(TABULON_BINARY_DIR) / "ppt_tests" / info->test_suite_name() / info->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

using tabulon::testing::CommandResult;

inline CommandResult run(const std::string& command) {
    return tabulon::testing::runCommand(command);
}

inline std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// The slides, tags and shapes of a file as the independent reader sees them.
inline CommandResult independentDump(const std::string& path) {
    return run("/usr/bin/python3 " + quoted(fixture("read_presentation.py")) + " dump " +
               quoted(path));
}

// The parts of b whose uncompressed bytes differ from a's; empty when all are identical.
inline CommandResult differingParts(const std::string& a, const std::string& b) {
    return run("/usr/bin/python3 " + quoted(fixture("read_presentation.py")) + " same " +
               quoted(a) + " " + quoted(b));
}

// Problems that the saved file has and the original does not.
using tabulon::testing::validateAgainst;
using tabulon::testing::validatorPresent;

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A copy of the zip `source` at `target` in which the entries named in `replace` get new bytes
// (std::nullopt drops the entry); made with libzip, not with our package code.
inline void rewriteZip(const std::string& source, const fs::path& target,
                       const std::map<std::string, std::optional<std::string>>& replace) {
    int error = 0;
    zip_t* in = zip_open(source.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(in, nullptr) << source;
    zip_t* out = zip_open(target.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(out, nullptr) << target;
    std::deque<std::string> kept;  // the buffers must live until zip_close
    auto add = [&](const std::string& name, const std::string& bytes) {
        kept.push_back(bytes);
        zip_source_t* data = zip_source_buffer(out, kept.back().data(), kept.back().size(), 0);
        zip_file_add(out, name.c_str(), data, ZIP_FL_ENC_UTF_8);
    };
    for (zip_int64_t i = 0; i < zip_get_num_entries(in, 0); ++i) {
        std::string name = zip_get_name(in, static_cast<zip_uint64_t>(i), 0);
        if (replace.contains(name) || name.ends_with("/")) {
            continue;
        }
        zip_stat_t stat;
        zip_stat_index(in, static_cast<zip_uint64_t>(i), 0, &stat);
        std::string bytes(stat.size, '\0');
        zip_file_t* file = zip_fopen_index(in, static_cast<zip_uint64_t>(i), 0);
        zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        add(name, bytes);
    }
    for (const auto& [name, bytes] : replace) {
        if (bytes) {
            add(name, *bytes);
        }
    }
    ASSERT_EQ(zip_close(out), 0);
    zip_discard(in);
}

// The uncompressed bytes of one entry of a zip; empty when it has none of that name.
inline std::optional<std::string> zipEntry(const std::string& path, const std::string& name) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!zip) {
        return std::nullopt;
    }
    zip_stat_t stat;
    std::optional<std::string> bytes;
    if (zip_stat(zip, name.c_str(), 0, &stat) == 0) {
        bytes.emplace(stat.size, '\0');
        zip_file_t* file = zip_fopen(zip, name.c_str(), 0);
        zip_fread(file, bytes->data(), stat.size);
        zip_fclose(file);
    }
    zip_discard(zip);
    return bytes;
}

// The same listing as independentDump, read through our object model.
inline std::string ourDump(office::ppt::Presentation& presentation) {
    std::string text;
    auto slides = presentation.Slides();
    for (int s = 1; s <= slides->Count(); ++s) {
        auto slide = slides->Item(s);
        text += "slide\t" + std::to_string(slide->SlideID()) + "\t" + slide->Name() + "\n";
        auto tags = slide->Tags();
        for (int t = 1; t <= tags->Count(); ++t) {
            text += "tag\t" + tags->Name(t) + "\t" + tags->Value(t) + "\n";
        }
        auto shapes = slide->Shapes();
        for (int i = 1; i <= shapes->Count(); ++i) {
            auto shape = shapes->Item(i);
            std::string progId = "-";
            try {
                progId = shape->OLEFormat()->ProgID();
            } catch (const office::Error& error) {
                EXPECT_EQ(error.code(), office::ErrorCode::TypeMismatch) << error.what();
            }
            text += "shape\t" + std::to_string(shape->Id()) + "\t" + shape->Name() + "\t" + progId +
                    "\n";
        }
    }
    return text;
}

}  // namespace ppt_test
