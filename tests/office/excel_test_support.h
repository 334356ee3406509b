#pragma once

// Helpers shared by the workbook tests: fixture paths, a scratch folder, and opening a
// workbook in a fresh application.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "office/excel.h"

namespace excel_test {

inline std::string fixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/xlsx/" + name;
}

// A file of the running test's own folder: ctest runs tests side by side, and two of them may
// pick the same name.
inline std::filesystem::path scratch(const std::string& name) {
    auto folder = std::filesystem::path(TABULON_BINARY_DIR) / "excel-test-scratch";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        folder = folder / info->test_suite_name() / info->name();
    }
    std::filesystem::create_directories(folder);
    return folder / name;
}

struct Opened {
    std::shared_ptr<office::excel::Application> app;
    std::shared_ptr<office::excel::Workbook> book;

    std::shared_ptr<office::excel::Worksheet> sheet(int index) {
        return book->Worksheets()->Item(index);
    }
};

inline Opened open(const std::string& path) {
    Opened opened;
    opened.app = office::excel::Application::Create();
    opened.book = opened.app->Workbooks()->Open(path);
    return opened;
}

}  // namespace excel_test
