// Number formats rendered as the spreadsheet displays them. The real-world 1904 workbook holds
// the spreadsheet's own renderings (TEXT(value, format) cached in column A) to compare with.

#include <gtest/gtest.h>

#include <filesystem>

#include "excel_test_support.h"
#include "office/excel/number_format.h"

namespace {

using office::Value;
using office::excel::detail::builtinNumberFormat;
using office::excel::detail::formatValue;
using office::excel::detail::isDateFormat;

std::string show(double v, const char* code) {
    return formatValue(Value::number(v), code);
}

TEST(NumberFormat, General) {
    EXPECT_EQ(show(0, "General"), "0");
    EXPECT_EQ(show(-12, "General"), "-12");
    EXPECT_EQ(show(0.1 + 0.2, "General"), "0.3");
    EXPECT_EQ(show(1.0 / 3, "General"), "0.333333333");
    EXPECT_EQ(show(123456789012.0, "General"), "1.23457E+11");
    EXPECT_EQ(show(0.00000000012, "General"), "1.2E-10");
    EXPECT_EQ(show(12345678901.0, "General"), "12345678901");
}

TEST(NumberFormat, DigitsGroupingAndRounding) {
    EXPECT_EQ(show(1.005, "0.00"), "1.01") << "rounded at 15 significant digits";
    EXPECT_EQ(show(0.5, "#"), "1");
    EXPECT_EQ(show(0, "#"), "");
    EXPECT_EQ(show(0.25, "#.00"), ".25");
    EXPECT_EQ(show(7, "000"), "007");
    EXPECT_EQ(show(1234567, "#,##0"), "1,234,567");
    EXPECT_EQ(show(123, "#,##0"), "123");
    EXPECT_EQ(show(1234567, "#,##0,"), "1,235") << "a trailing comma scales by 1000";
    EXPECT_EQ(show(1.5, "0.0#"), "1.5");
    EXPECT_EQ(show(1.5, "0.0?"), "1.5 ");
    EXPECT_EQ(show(123456789, "000-00-0000"), "123-45-6789");
    EXPECT_EQ(show(12345678, "000-00-0000"), "012-34-5678");
    EXPECT_EQ(show(-0.004, "0.00"), "0.00") << "no minus sign on a value that rounds to zero";
}

TEST(NumberFormat, SectionsLiteralsAndPercent) {
    const char* accounting = "#,##0.00_);[Red](#,##0.00);\"-\"";
    EXPECT_EQ(show(1234.5, accounting), "1,234.50 ");
    EXPECT_EQ(show(-1234.5, accounting), "(1,234.50)");
    EXPECT_EQ(show(0, accounting), "-");
    EXPECT_EQ(show(0.5, "0.0%"), "50.0%");
    EXPECT_EQ(show(3, "0 \"pcs\""), "3 pcs");
    EXPECT_EQ(show(3, "\\$0"), "$3");
    EXPECT_EQ(show(3, "[$€-407] 0.00"), "€ 3.00");
    EXPECT_EQ(show(150, "[>100]\"big\";\"small\""), "big");
    EXPECT_EQ(show(50, "[>100]\"big\";\"small\""), "small");
    EXPECT_EQ(show(0.000123, "0.00E+00"), "1.23E-04");
    EXPECT_EQ(show(12345, "##0.0E+0"), "12.3E+3");
}

// Fractions: the closest one whose denominator has at most as many digits as the format asks
// for, or the format's own denominator; ? placeholders keep the slashes of a column aligned.
TEST(NumberFormat, Fractions) {
    EXPECT_EQ(show(1.25, "# ?/?"), "1 1/4");
    EXPECT_EQ(show(0.333, "?/?"), "1/3");
    EXPECT_EQ(show(1.25, "?/?"), "5/4") << "without a whole part the numerator takes it";
    EXPECT_EQ(show(3.14159, "# ?/?"), "3 1/7");
    EXPECT_EQ(show(3.14159, "# ?\?/?\?"), "3 14/99") << "a semiconvergent beats 22/7";
    EXPECT_EQ(show(3.14159, "# ?\?/?\?\?"), "3 16/113");
    EXPECT_EQ(show(1.5, "# ?\?/?\?"), "1  1/2 ");
    EXPECT_EQ(show(-1.25, "# ?/?"), "-1 1/4");
    EXPECT_EQ(show(2.5, "# ?/4"), "2 2/4");
    EXPECT_EQ(show(2.5, "?/4"), "10/4");
    EXPECT_EQ(show(0.3, "# ?/10"), " 3/10") << "the zero of 10 is no placeholder here";
    EXPECT_EQ(show(0.375, "# ?/8"), " 3/8");
    EXPECT_EQ(show(1.99, "# ?/?"), "2    ") << "rounds up to a whole number";
    EXPECT_EQ(show(1.25, "0 ?/? \"kg\""), "1 1/4 kg");
    EXPECT_EQ(show(1.25, builtinNumberFormat(12).c_str()), "1 1/4");
    EXPECT_EQ(show(45366, "m/d"), "3/15") << "a date is no fraction";
    EXPECT_EQ(show(1e300, "?/?????\?\?"), "########");
}

// Found by the fuzz target: scaling beyond a double, and the smallest subnormal.
TEST(NumberFormat, ValuesBeyondWhatADoubleHolds) {
    EXPECT_EQ(show(1e300, ("0" + std::string(200, '%')).c_str()), "########");
    EXPECT_EQ(show(5e-324, "0.00E+00"), "########");
    EXPECT_EQ(show(1e308, "#,##0").size(), 411u);
    EXPECT_EQ(show(1.5, ("0." + std::string(400, '0')).c_str()).size(), 402u);
}

TEST(NumberFormat, Texts) {
    EXPECT_EQ(formatValue(Value::text("abc"), "0.00"), "abc");
    EXPECT_EQ(formatValue(Value::text("abc"), "\"<\"@\">\""), "<abc>");
    EXPECT_EQ(formatValue(Value::text("abc"), "0;0;0;\"t:\"@"), "t:abc");
    EXPECT_EQ(formatValue(Value(), "0.00"), "");
}

TEST(NumberFormat, DatesAndTimes) {
    const double serial = 45366.5625;  // 2024-03-15 13:30, a Friday
    EXPECT_EQ(show(serial, "yyyy-mm-dd hh:mm:ss"), "2024-03-15 13:30:00");
    EXPECT_EQ(show(serial, "dddd d mmmm yy"), "Friday 15 March 24");
    EXPECT_EQ(show(serial, "ddd mmm"), "Fri Mar");
    EXPECT_EQ(show(serial, "h:mm AM/PM"), "1:30 PM");
    EXPECT_EQ(show(serial, "mmmmm"), "M");
    EXPECT_EQ(show(1.75, "[h]:mm"), "42:00");
    EXPECT_EQ(show(0.5 / 86400 * 3, "mm:ss.0"), "00:01.5");
    EXPECT_EQ(show(60, "yyyy-mm-dd"), "1900-02-29") << "the 1900 system's leap day";
    EXPECT_EQ(show(59, "yyyy-mm-dd"), "1900-02-28");
    EXPECT_EQ(show(61, "yyyy-mm-dd"), "1900-03-01");
    EXPECT_EQ(formatValue(Value::date(45366), "m/d/yyyy"), "3/15/2024");
}

TEST(NumberFormat, DateDetectionAndBuiltins) {
    EXPECT_TRUE(isDateFormat("yyyy-mm-dd"));
    EXPECT_TRUE(isDateFormat("[h]:mm:ss"));
    EXPECT_TRUE(isDateFormat("[$-409]mmm d"));
    EXPECT_TRUE(isDateFormat(builtinNumberFormat(14)));
    EXPECT_TRUE(isDateFormat(builtinNumberFormat(31)));
    EXPECT_FALSE(isDateFormat("General"));
    EXPECT_FALSE(isDateFormat("0.00E+00"));
    EXPECT_FALSE(isDateFormat("\"days\" 0"));
    EXPECT_FALSE(isDateFormat("[Red]0.00"));
    EXPECT_FALSE(isDateFormat("0;[Red]-0;\"d\""));
    EXPECT_EQ(builtinNumberFormat(10), "0.00%");
    EXPECT_EQ(builtinNumberFormat(200), "");
}

TEST(NumberFormat, Realworld1904WorkbookShowsWhatTheSpreadsheetShowed) {
    const std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/xlsx/poi__DateFormatTests_1904.xlsx";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << path;
    }
    auto opened = excel_test::open(path);
    EXPECT_TRUE(opened.book->Date1904());
    auto tests = opened.book->Worksheets()->Item(2);
    ASSERT_EQ(tests->Name(), "Tests");
    int compared = 0;
    for (int row = 2;; ++row) {
        const Value expected = tests->Cells(row, 1)->Value();
        if (expected.isBlank()) {
            break;
        }
        const Value date = tests->Cells(row, 3)->Value();
        ASSERT_EQ(date.kind(), Value::Kind::Date) << "row " << row;
        const std::string format = tests->Cells(row, 2)->Value().asText();
        EXPECT_EQ(formatValue(date, format), expected.asText()) << "row " << row << ": " << format;
        ++compared;
    }
    EXPECT_EQ(compared, 45);
    EXPECT_EQ(tests->Range("C2")->NumberFormat(), "dd\\-mmm\\-yyyy\\ hh:mm:ss.000");
    EXPECT_EQ(tests->Range("C2")->Text(), "11-Oct-1952 14:35:27.000");
}

}  // namespace

namespace {

TEST(ValueText, DatesOfThe1900SystemKeepItsLeapDay) {
    EXPECT_EQ(Value::date(1).toString(), "1900-01-01");
    EXPECT_EQ(Value::date(59).toString(), "1900-02-28");
    EXPECT_EQ(Value::date(60).toString(), "1900-02-29");
    EXPECT_EQ(Value::date(61).toString(), "1900-03-01");
    EXPECT_EQ(Value::date(45366.75).toString(), "2024-03-15");
    EXPECT_EQ(Value::number(1.5).toString(), "1.5");
}

}  // namespace
