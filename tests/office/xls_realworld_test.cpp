// Binary workbooks saved by Excel (../shared/realworld/xls): every one opens, and sheet names,
// kinds and order, cell values, number formats and borders agree with what the independent
// reader xlrd sees in the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "excel_test_support.h"
#include "office/error.h"
#include "office/excel.h"
#include "support/office_error.h"
#include "support/validator.h"

namespace {

using namespace office::excel;
using office::Value;
namespace fs = std::filesystem;

constexpr int kRows = 60;
constexpr int kColumns = 16;

std::string corpus() {
    return std::string(TABULON_REALWORLD_DIR) + "/xls";
}

using tabulon::testing::xlrdPresent;

std::string escaped(std::string text) {
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
        text.replace(at, 1, "\\n");
    }
    return text;
}

std::string valueText(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Number:
            return "number " + office::numberText(value.asNumber());
        case Value::Kind::Date:
            return "date " + office::numberText(value.asNumber());
        case Value::Kind::Text:
            return "text " + escaped(value.asText());
        case Value::Kind::Boolean:
            return std::string("boolean ") + (value.asBoolean() ? "TRUE" : "FALSE");
        case Value::Kind::Error:
            return "error " + value.asText();
        case Value::Kind::Empty:
            break;
    }
    return "empty";
}

// What our reader sees, in the form of tests/fixtures/xls/read_xls.py.
std::string ourDump(const std::string& path) {
    auto opened = excel_test::open(path);
    std::ostringstream out;
    auto sheets = opened.book->Sheets();
    for (int i = 1; i <= sheets->Count(); ++i) {
        auto sheet = sheets->Item(i);
        const bool worksheet = std::dynamic_pointer_cast<Worksheet>(sheet) != nullptr;
        out << "sheet " << i << " " << sheet->Name() << " " << (worksheet ? "worksheet" : "chart")
            << " visible\n";
    }
    auto worksheets = opened.book->Worksheets();
    for (int i = 1; i <= worksheets->Count(); ++i) {
        auto sheet = worksheets->Item(i);
        for (int row = 1; row <= kRows; ++row) {
            for (int column = 1; column <= kColumns; ++column) {
                auto cell = sheet->Cells(row, column);
                const Value value = cell->Value();
                const int edges[] = {
                    cell->Borders(xlEdgeLeft).LineStyle(), cell->Borders(xlEdgeRight).LineStyle(),
                    cell->Borders(xlEdgeTop).LineStyle(), cell->Borders(xlEdgeBottom).LineStyle()};
                const bool bordered = std::any_of(std::begin(edges), std::end(edges),
                                                  [](int edge) { return edge != xlNone; });
                if (value.isEmpty() && !bordered) {
                    continue;
                }
                out << "cell " << i << " " << row << " " << column << " " << valueText(value)
                    << " | " << cell->NumberFormat() << " |";
                for (int edge : edges) {
                    out << " " << edge;
                }
                out << "\n";
            }
        }
    }
    return out.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

// Fails the test where xlrd reads the file otherwise than our reader.
void expectSameAsXlrd(const std::string& path) {
    SCOPED_TRACE(fs::path(path).filename().string());
    const auto theirs = tabulon::testing::runCommand(
        "/usr/bin/python3 '" + std::string(TABULON_FIXTURES_DIR) + "/xls/read_xls.py' '" + path +
        "' " + std::to_string(kRows) + " " + std::to_string(kColumns));
    ASSERT_EQ(theirs.status, 0) << theirs.output;
    const auto expected = lines(theirs.output);
    const auto actual = lines(ourDump(path));
    std::size_t shown = 0;
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()) && shown < 8; ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        const std::string got = i < actual.size() ? actual[i] : "(nothing)";
        if (want != got) {
            ADD_FAILURE() << "line " << i + 1 << "\n  xlrd: " << want << "\n  ours: " << got;
            ++shown;
        }
    }
    EXPECT_EQ(expected.size(), actual.size());
}

TEST(XlsRealworld, EveryWorkbookAgreesWithAnIndependentReader) {
    if (!fs::exists(corpus())) {
        GTEST_SKIP() << "the real-world corpus is absent: " << corpus();
    }
    if (!xlrdPresent()) {
        GTEST_SKIP() << "python3-xlrd or python3-olefile is not installed";
    }
    int books = 0;
    for (const auto& entry : fs::directory_iterator(corpus())) {
        if (entry.path().extension() == ".xls") {
            expectSameAsXlrd(entry.path().string());
            EXPECT_GT(lines(ourDump(entry.path().string())).size(), 100u);
            ++books;
        }
    }
    EXPECT_EQ(books, 5);
}

// The fixtures that another office suite saved as .xls agree too.
TEST(XlsRealworld, WorkbooksOfAnotherWriterAgreeWithAnIndependentReader) {
    if (!xlrdPresent()) {
        GTEST_SKIP() << "python3-xlrd or python3-olefile is not installed";
    }
    const std::string fixtures = TABULON_FIXTURES_DIR;
    for (const auto* name : {"/xls/basic.xls", "/xls/date1904.xls", "/engine/blocks.xls"}) {
        expectSameAsXlrd(fixtures + name);
    }
}

// LibreOffice saved basic.xlsx as .xls encrypted (RC4) with the password that Excel gives
// write-protected workbooks: it reads as the plain one does.
TEST(XlsRealworld, AWorkbookEncryptedWithTheDefaultPasswordReadsAsThePlainOne) {
    const std::string fixtures = std::string(TABULON_FIXTURES_DIR) + "/xls/";
    const std::string plain = ourDump(fixtures + "basic.xls");
    EXPECT_GT(lines(plain).size(), 50u);
    EXPECT_EQ(ourDump(fixtures + "protected.xls"), plain);

    // With a password of the user's, the workbook is refused, naming the file.
    EXPECT_OFFICE_ERROR(excel_test::open(fixtures + "secret.xls"), office::ErrorCode::Encrypted,
                        "secret.xls: Workbook stream: the workbook is protected by a password");
}

}  // namespace
