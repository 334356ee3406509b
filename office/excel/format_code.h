#pragma once

// INTERNAL to the workbook code: a number format code as sections of tokens, and the renderers
// of each kind of section, shared by the files that number_format.h fronts (format_code.cpp
// parses, format_number.cpp renders numbers and fractions, format_date.cpp dates and times).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace office::excel::detail {

enum class TokenKind {
    Literal,
    Digit,  // 0 # ?
    Point,
    Comma,
    Percent,
    Exponent,   // text "E+" or "E-"
    DatePart,   // text: a run of one of y m d h s, lower case
    AmPm,       // text: "AM/PM", "A/P" or "a/p"
    Elapsed,    // text: "h", "mm", "ss" of [h], [mm], [ss]
    SubSecond,  // text: the zeros after the point
    TextAt,
    General,
};

struct Token {
    TokenKind kind;
    std::string text;
};

struct Section {
    std::vector<Token> tokens;
    bool hasCondition = false;
    std::string op;
    double operand = 0;
};

// The sections of a code, split at the semicolons outside quotes, brackets and escapes.
std::vector<std::string_view> splitSections(std::string_view code);
// One section as tokens, with its condition where it has one.
Section parseSection(std::string_view text);
// True when the section shows a date or a time.
bool isDateSection(const Section& section);

// A number as a cell of standard width shows it in the General format.
std::string generalNumber(double x);
// The number through a section of digits; withSign writes the minus of a negative number.
std::string renderNumber(const Section& section, double x, bool withSign);

// Where the parts of a fraction format lie: "# ??/??" has the whole part at token 0, the
// numerator's placeholders before the slash and the denominator's after it; "# ?/8" has a
// fixed denominator written after the slash.
struct FractionLayout {
    std::size_t slash = 0;           // the literal that starts with '/'
    std::size_t numeratorFirst = 0;  // first numerator placeholder
    std::size_t wholeEnd = 0;        // one past the whole part's last placeholder; 0: none
    std::string numerator;           // the placeholders, e.g. "??"
    std::string denominator;         // the placeholders, empty for a fixed denominator
    long long fixed = 0;             // the fixed denominator, 0 when placeholders give it
    std::size_t fixedLength = 0;     // its digits
    std::size_t tail = 1;            // where the slash literal goes on after the denominator
    std::size_t end = 0;             // the first token after the fraction
};

// True when the section is a fraction format, with where its parts lie.
bool isFraction(const Section& section, FractionLayout& layout);
// The number through a fraction section.
std::string renderFraction(const Section& section, const FractionLayout& layout, double x,
                           bool withSign);

// The serial (of the 1900 system) through a date or time section.
std::string renderDate(Section section, double serial);

}  // namespace office::excel::detail
