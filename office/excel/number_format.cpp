#include "office/excel/number_format.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

namespace office::excel::detail {

namespace {

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

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(text[at + i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool isDateLetter(char c) {
    c = lower(c);
    return c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 's';
}

std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> sections;
    std::size_t start = 0;
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            quoted = c != '"';
            continue;
        }
        if (bracket) {
            bracket = c != ']';
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == ';') {
            sections.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(code.substr(start));
    return sections;
}

void addLiteral(std::vector<Token>& tokens, std::string_view text) {
    if (!tokens.empty() && tokens.back().kind == TokenKind::Literal) {
        tokens.back().text += text;
        return;
    }
    tokens.push_back({TokenKind::Literal, std::string(text)});
}

bool isElapsed(std::string_view inner) {
    if (inner.empty()) {
        return false;
    }
    const char first = lower(inner[0]);
    if (first != 'h' && first != 'm' && first != 's') {
        return false;
    }
    for (char c : inner) {
        if (lower(c) != first) {
            return false;
        }
    }
    return true;
}

// A bracketed item: a currency literal, an elapsed-time part, a condition; colours and locales
// show nothing.
void readBracket(std::string_view inner, Section& section) {
    if (isElapsed(inner)) {
        std::string text;
        for (char c : inner) {
            text += lower(c);
        }
        section.tokens.push_back({TokenKind::Elapsed, text});
        return;
    }
    if (!inner.empty() && inner[0] == '$') {
        const auto dash = inner.find('-');
        addLiteral(section.tokens,
                   inner.substr(1, dash == std::string_view::npos ? dash : dash - 1));
        return;
    }
    if (inner.empty() || (inner[0] != '<' && inner[0] != '>' && inner[0] != '=')) {
        return;
    }
    std::size_t length = 1;
    if (inner.size() > 1 && (inner[1] == '=' || inner[1] == '>')) {
        length = 2;
    }
    section.hasCondition = true;
    section.op = std::string(inner.substr(0, length));
    section.operand = std::atof(std::string(inner.substr(length)).c_str());
}

Section parseSection(std::string_view text) {
    Section section;
    auto& tokens = section.tokens;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const auto end = text.find('"', i + 1);
            const auto stop = end == std::string_view::npos ? text.size() : end;
            addLiteral(tokens, text.substr(i + 1, stop - i - 1));
            i = stop;
        } else if (c == '\\') {
            if (i + 1 < text.size()) {
                addLiteral(tokens, text.substr(++i, 1));
            }
        } else if (c == '_') {
            ++i;
            addLiteral(tokens, " ");
        } else if (c == '*') {
            ++i;
        } else if (c == '[') {
            const auto end = text.find(']', i);
            const auto stop = end == std::string_view::npos ? text.size() : end;
            readBracket(text.substr(i + 1, stop - i - 1), section);
            i = stop;
        } else if (startsWithNoCase(text, i, "AM/PM")) {
            tokens.push_back({TokenKind::AmPm, "AM/PM"});
            i += 4;
        } else if (startsWithNoCase(text, i, "A/P")) {
            tokens.push_back({TokenKind::AmPm, std::string(text.substr(i, 3))});
            i += 2;
        } else if (startsWithNoCase(text, i, "General")) {
            tokens.push_back({TokenKind::General, {}});
            i += 6;
        } else if (isDateLetter(c)) {
            std::size_t end = i;
            while (end < text.size() && lower(text[end]) == lower(c)) {
                ++end;
            }
            tokens.push_back({TokenKind::DatePart, std::string(end - i, lower(c))});
            i = end - 1;
        } else if ((c == 'E' || c == 'e') && i + 1 < text.size() &&
                   (text[i + 1] == '+' || text[i + 1] == '-')) {
            tokens.push_back({TokenKind::Exponent, std::string{'E', text[i + 1]}});
            ++i;
        } else if (c == '0' || c == '#' || c == '?') {
            tokens.push_back({TokenKind::Digit, std::string(1, c)});
        } else if (c == '.') {
            tokens.push_back({TokenKind::Point, "."});
        } else if (c == ',') {
            tokens.push_back({TokenKind::Comma, ","});
        } else if (c == '%') {
            tokens.push_back({TokenKind::Percent, "%"});
        } else if (c == '@') {
            tokens.push_back({TokenKind::TextAt, {}});
        } else {
            addLiteral(tokens, text.substr(i, 1));
        }
    }
    return section;
}

bool isDateSection(const Section& section) {
    for (const auto& token : section.tokens) {
        if (token.kind == TokenKind::DatePart || token.kind == TokenKind::AmPm ||
            token.kind == TokenKind::Elapsed) {
            return true;
        }
    }
    return false;
}

// ---- General ----

std::string trimZeros(std::string text) {
    if (text.find('.') == std::string::npos) {
        return text;
    }
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

// As a cell of standard width shows a number: at most 11 characters, else scientific.
std::string generalNumber(double x) {
    if (x == 0) {
        return "0";
    }
    const double magnitude = std::fabs(x);
    char buffer[64];
    if (magnitude >= 1e11 || magnitude < 1e-9) {
        std::snprintf(buffer, sizeof buffer, "%.5E", x);
        std::string text = buffer;
        const auto e = text.find('E');
        std::string mantissa = trimZeros(text.substr(0, e));
        std::string exponent = text.substr(e + 1);  // "+11", "-010"
        const char sign = exponent[0];
        exponent.erase(0, 1);
        while (exponent.size() > 2 && exponent[0] == '0') {
            exponent.erase(0, 1);
        }
        return mantissa + "E" + sign + exponent;
    }
    const int intDigits =
        magnitude < 1 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    int decimals = 10 - intDigits - (x < 0 ? 1 : 0);
    if (decimals < 0) {
        decimals = 0;
    }
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
    std::string text = trimZeros(buffer);
    return text == "-0" ? "0" : text;
}

// ---- dates ----

struct DateParts {
    int year = 1900, month = 1, day = 0, weekday = 0;
    long long hours = 0, minutes = 0, seconds = 0;  // of the day
    long long fraction = 0;                         // sub-second units
    long long totalDays = 0;
};

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

// Days are counted as the 1900 system does, with its 29 February 1900 (serial 60).
void civilDate(long long serial, DateParts& parts) {
    parts.weekday = static_cast<int>(((serial + 6) % 7 + 7) % 7);
    if (serial == 0) {
        return;
    }
    if (serial == 60) {
        parts.month = 2;
        parts.day = 29;
        return;
    }
    using namespace std::chrono;
    const auto base =
        serial < 60 ? sys_days(year(1899) / December / 31) : sys_days(year(1899) / December / 30);
    const year_month_day ymd(base + days(serial));
    parts.year = static_cast<int>(ymd.year());
    parts.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    parts.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
}

int subSecondDigits(const Section& section) {
    int digits = 0;
    for (const auto& token : section.tokens) {
        if (token.kind == TokenKind::SubSecond) {
            digits =
                std::max(digits, static_cast<int>(std::min<std::size_t>(token.text.size(), 3)));
        }
    }
    return digits;
}

// In a date section a point followed by zeros is a fraction of a second.
void markSubSeconds(Section& section) {
    auto& tokens = section.tokens;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Point) {
            continue;
        }
        std::string zeros;
        std::size_t j = i + 1;
        while (j < tokens.size() && tokens[j].kind == TokenKind::Digit && tokens[j].text == "0") {
            zeros += '0';
            ++j;
        }
        if (zeros.empty()) {
            tokens[i].kind = TokenKind::Literal;
            continue;
        }
        tokens[i] = {TokenKind::SubSecond, zeros};
        tokens.erase(tokens.begin() + static_cast<long>(i) + 1,
                     tokens.begin() + static_cast<long>(j));
    }
    for (auto& token : tokens) {
        if (token.kind == TokenKind::Digit || token.kind == TokenKind::Comma ||
            token.kind == TokenKind::Percent) {
            token.kind = TokenKind::Literal;
        }
    }
}

// An "m" run means minutes right after an hour or right before a second.
std::vector<bool> minuteMarks(const std::vector<Token>& tokens) {
    std::vector<bool> minutes(tokens.size(), false);
    auto isTime = [&](std::size_t i, char letter) {
        const auto& token = tokens[i];
        return (token.kind == TokenKind::DatePart || token.kind == TokenKind::Elapsed) &&
               token.text[0] == letter;
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::DatePart || tokens[i].text[0] != 'm' ||
            tokens[i].text.size() > 2) {
            continue;
        }
        for (std::size_t j = i; j-- > 0;) {
            if (tokens[j].kind == TokenKind::DatePart || tokens[j].kind == TokenKind::Elapsed) {
                minutes[i] = isTime(j, 'h');
                break;
            }
        }
        for (std::size_t j = i + 1; j < tokens.size() && !minutes[i]; ++j) {
            if (tokens[j].kind == TokenKind::DatePart || tokens[j].kind == TokenKind::Elapsed) {
                minutes[i] = isTime(j, 's');
                break;
            }
        }
    }
    return minutes;
}

std::string twoDigits(long long v, bool pad) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, pad ? "%02lld" : "%lld", v);
    return buffer;
}

std::string renderDate(Section section, double serial) {
    if (serial < 0 || serial > 2958465.99999) {
        return "########";
    }
    markSubSeconds(section);
    const int digits = subSecondDigits(section);
    long long scale = 1;
    for (int i = 0; i < digits; ++i) {
        scale *= 10;
    }
    const long long perDay = 86400LL * scale;
    const long long units = std::llround(serial * static_cast<double>(perDay));
    DateParts parts;
    parts.totalDays = units / perDay;
    long long rest = units % perDay;
    parts.fraction = rest % scale;
    rest /= scale;
    parts.hours = rest / 3600;
    parts.minutes = rest / 60 % 60;
    parts.seconds = rest % 60;
    civilDate(parts.totalDays, parts);

    bool twelveHour = false;
    for (const auto& token : section.tokens) {
        twelveHour = twelveHour || token.kind == TokenKind::AmPm;
    }
    const auto minutes = minuteMarks(section.tokens);
    std::string out;
    for (std::size_t i = 0; i < section.tokens.size(); ++i) {
        const auto& token = section.tokens[i];
        const auto n = token.text.size();
        switch (token.kind) {
            case TokenKind::DatePart: {
                const char letter = token.text[0];
                if (letter == 'y') {
                    out += n <= 2 ? twoDigits(parts.year % 100, true) : std::to_string(parts.year);
                } else if (letter == 'm' && minutes[i]) {
                    out += twoDigits(parts.minutes, n == 2);
                } else if (letter == 'm') {
                    const std::string name = kMonths[parts.month - 1];
                    out += n <= 2   ? twoDigits(parts.month, n == 2)
                           : n == 3 ? name.substr(0, 3)
                           : n == 4 ? name
                                    : name.substr(0, 1);
                } else if (letter == 'd') {
                    const std::string name = kDays[parts.weekday];
                    out += n <= 2   ? twoDigits(parts.day, n == 2)
                           : n == 3 ? name.substr(0, 3)
                                    : name;
                } else if (letter == 'h') {
                    long long hour = parts.hours;
                    if (twelveHour) {
                        hour = hour % 12 == 0 ? 12 : hour % 12;
                    }
                    out += twoDigits(hour, n >= 2);
                } else {
                    out += twoDigits(parts.seconds, n >= 2);
                }
                break;
            }
            case TokenKind::Elapsed: {
                const long long seconds = parts.totalDays * 86400 + parts.hours * 3600 +
                                          parts.minutes * 60 + parts.seconds;
                const long long value = token.text[0] == 'h'   ? seconds / 3600
                                        : token.text[0] == 'm' ? seconds / 60
                                                               : seconds;
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%0*lld", static_cast<int>(n), value);
                out += buffer;
                break;
            }
            case TokenKind::SubSecond: {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "%0*lld", digits, parts.fraction);
                out += '.';
                out += std::string(buffer).substr(0, n);
                break;
            }
            case TokenKind::AmPm: {
                const bool pm = parts.hours >= 12;
                if (token.text.size() == 5) {
                    out += pm ? "PM" : "AM";
                } else {
                    const bool lowerCase = token.text[0] == 'a';
                    out += pm ? (lowerCase ? 'p' : 'P') : (lowerCase ? 'a' : 'A');
                }
                break;
            }
            case TokenKind::General:
                out += generalNumber(serial);
                break;
            case TokenKind::Literal:
            case TokenKind::Digit:
            case TokenKind::Point:
            case TokenKind::Comma:
            case TokenKind::Percent:
            case TokenKind::Exponent:
                out += token.text;
                break;
            case TokenKind::TextAt:
                break;
        }
    }
    return out;
}

// ---- numbers ----

struct NumberLayout {
    int integerPlaces = 0;
    int decimals = 0;
    int percent = 0;
    int scaleCommas = 0;
    bool grouping = false;
    bool exponent = false;
    int exponentDigits = 0;
    bool exponentPlus = false;
    std::vector<std::size_t> integerTokens;  // indices of the integer placeholders
};

// The magnitude with `decimals` digits after the point, rounded half up on its 15 significant
// decimal digits as the spreadsheet does: 1.005 gives "1.01" with two decimals although the
// double lies just below it.
std::string fixedDigits(double magnitude, int decimals) {
    if (!std::isfinite(magnitude)) {
        return "0";  // callers show such values as ########
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", magnitude);
    std::string significant;
    significant += buffer[0];
    significant.append(buffer + 2, 14);
    const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    const int point = exponent + 1;  // digits before the decimal point
    std::string integer;
    std::string fraction;
    if (point <= 0) {
        integer = "0";
        fraction = std::string(static_cast<std::size_t>(-point), '0') + significant;
    } else if (point >= 15) {
        integer = significant + std::string(static_cast<std::size_t>(point - 15), '0');
    } else {
        integer = significant.substr(0, static_cast<std::size_t>(point));
        fraction = significant.substr(static_cast<std::size_t>(point));
    }
    const auto wanted = static_cast<std::size_t>(decimals);
    bool carry = fraction.size() > wanted && fraction[wanted] >= '5';
    fraction.resize(wanted, '0');
    std::string all = integer + fraction;
    for (std::size_t i = all.size(); carry && i-- > 0;) {
        carry = all[i] == '9';
        all[i] = carry ? '0' : static_cast<char>(all[i] + 1);
    }
    if (carry) {
        all.insert(all.begin(), '1');
    }
    integer = all.substr(0, all.size() - wanted);
    fraction = all.substr(all.size() - wanted);
    const auto firstDigit = integer.find_first_not_of('0');
    integer = firstDigit == std::string::npos ? "0" : integer.substr(firstDigit);
    return wanted == 0 ? integer : integer + "." + fraction;
}

NumberLayout layoutOf(const std::vector<Token>& tokens) {
    NumberLayout layout;
    bool afterPoint = false;
    bool afterExponent = false;
    std::size_t lastDigit = std::string::npos;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const auto& token = tokens[i];
        if (token.kind == TokenKind::Percent) {
            ++layout.percent;
        } else if (token.kind == TokenKind::Point && !afterExponent) {
            afterPoint = true;
        } else if (token.kind == TokenKind::Exponent) {
            layout.exponent = true;
            layout.exponentPlus = token.text[1] == '+';
            afterExponent = true;
        } else if (token.kind == TokenKind::Digit) {
            lastDigit = i;
            if (afterExponent) {
                ++layout.exponentDigits;
            } else if (afterPoint) {
                ++layout.decimals;
            } else {
                ++layout.integerPlaces;
                layout.integerTokens.push_back(i);
            }
        }
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Comma) {
            continue;
        }
        const bool trailing = lastDigit != std::string::npos && i > lastDigit;
        bool followedByDigit = false;
        for (std::size_t j = i + 1; j < tokens.size(); ++j) {
            if (tokens[j].kind == TokenKind::Point || tokens[j].kind == TokenKind::Exponent) {
                break;
            }
            followedByDigit = followedByDigit || tokens[j].kind == TokenKind::Digit;
        }
        if (followedByDigit && !layout.integerTokens.empty() && i > layout.integerTokens.front()) {
            layout.grouping = true;
        } else if (!followedByDigit &&
                   (trailing || i + 1 == tokens.size() || tokens[i + 1].kind == TokenKind::Point)) {
            ++layout.scaleCommas;
        }
    }
    return layout;
}

std::string renderNumber(const Section& section, double x, bool withSign) {
    const auto& tokens = section.tokens;
    const NumberLayout layout = layoutOf(tokens);
    const bool negative = x < 0;
    double magnitude = std::fabs(x);
    for (int i = 0; i < layout.percent; ++i) {
        magnitude *= 100;
    }
    for (int i = 0; i < layout.scaleCommas; ++i) {
        magnitude /= 1000;
    }
    if (!std::isfinite(magnitude)) {
        return "########";  // scaled beyond what a double holds, as the cell shows it
    }
    int exponent = 0;
    if (layout.exponent && magnitude != 0) {
        exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        const int step = layout.integerPlaces > 1 ? layout.integerPlaces : 1;
        exponent = static_cast<int>(std::floor(static_cast<double>(exponent) / step)) * step;
        magnitude /= std::pow(10.0, exponent);
        if (layout.integerPlaces <= 1 && std::isfinite(magnitude)) {
            if (std::atof(fixedDigits(magnitude, layout.decimals).c_str()) >= 10) {
                magnitude /= 10;
                ++exponent;
            }
        }
    }
    if (!std::isfinite(magnitude)) {
        return "########";
    }
    const std::string digits = fixedDigits(magnitude, layout.decimals);
    const auto point = digits.find('.');
    std::string integer = digits.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : digits.substr(point + 1);
    if (integer == "0") {
        integer.clear();
    }
    std::size_t lastNonZero = std::string::npos;
    for (std::size_t i = 0; i < fraction.size(); ++i) {
        if (fraction[i] != '0') {
            lastNonZero = i;
        }
    }

    std::string out;
    if (negative && withSign && (!integer.empty() || lastNonZero != std::string::npos)) {
        out += '-';
    }
    const int places = layout.integerPlaces;
    int placeIndex = 0;  // among integer placeholders, from the left
    std::size_t decimalIndex = 0;
    int exponentIndex = 0;
    bool afterPoint = false;
    bool afterExponent = false;
    const int length = static_cast<int>(integer.size());
    auto emitPlace = [&](int place) {  // place value counted from the right, 0 = units
        if (place < length) {
            out += integer[length - 1 - place];
        }
        if (layout.grouping && place > 0 && place % 3 == 0 && place < length) {
            out += ',';
        }
    };
    std::string exponentText = std::to_string(std::abs(exponent));
    while (static_cast<int>(exponentText.size()) < layout.exponentDigits) {
        exponentText.insert(exponentText.begin(), '0');
    }
    for (const auto& token : tokens) {
        switch (token.kind) {
            case TokenKind::Digit: {
                const char c = token.text[0];
                if (afterExponent) {
                    if (exponentIndex++ == 0) {
                        out += exponentText;
                    }
                    break;
                }
                if (afterPoint) {
                    if (lastNonZero != std::string::npos && decimalIndex <= lastNonZero) {
                        out += fraction[decimalIndex];
                    } else if (c == '0') {
                        out += '0';
                    } else if (c == '?') {
                        out += ' ';
                    }
                    ++decimalIndex;
                    break;
                }
                const int place = places - 1 - placeIndex++;
                if (place == places - 1) {
                    for (int p = length - 1; p > place; --p) {
                        emitPlace(p);
                    }
                }
                if (place < length) {
                    emitPlace(place);
                } else if (c == '0') {
                    out += '0';
                } else if (c == '?') {
                    out += ' ';
                }
                break;
            }
            case TokenKind::Point:
                if (!afterExponent) {
                    afterPoint = true;
                }
                out += '.';
                break;
            case TokenKind::Exponent:
                afterExponent = true;
                out += 'E';
                if (exponent < 0) {
                    out += '-';
                } else if (layout.exponentPlus) {
                    out += '+';
                }
                break;
            case TokenKind::Comma:
                break;
            case TokenKind::Percent:
                out += '%';
                break;
            case TokenKind::General:
                out += generalNumber(magnitude);
                break;
            case TokenKind::Literal:
                out += token.text;
                break;
            case TokenKind::DatePart:
            case TokenKind::AmPm:
            case TokenKind::Elapsed:
            case TokenKind::SubSecond:
            case TokenKind::TextAt:
                break;
        }
    }
    return out;
}

// ---- fractions ----

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

bool isFraction(const Section& section, FractionLayout& layout) {
    const auto& tokens = section.tokens;
    std::size_t slash = 0;
    while (slash < tokens.size() &&
           !(tokens[slash].kind == TokenKind::Literal && tokens[slash].text[0] == '/' &&
             slash > 0 && tokens[slash - 1].kind == TokenKind::Digit)) {
        ++slash;
    }
    if (slash == tokens.size()) {
        return false;
    }
    for (const auto& token : tokens) {
        if (token.kind == TokenKind::Point || token.kind == TokenKind::Exponent ||
            token.kind == TokenKind::General) {
            return false;
        }
    }
    layout.slash = slash;
    layout.numeratorFirst = slash;
    while (layout.numeratorFirst > 0 &&
           tokens[layout.numeratorFirst - 1].kind == TokenKind::Digit) {
        layout.numerator.insert(0, tokens[--layout.numeratorFirst].text);
    }
    for (std::size_t i = 0; i < layout.numeratorFirst; ++i) {
        if (tokens[i].kind == TokenKind::Digit) {
            layout.wholeEnd = i + 1;
        }
    }
    const std::string& after = tokens[slash].text;
    layout.tail = 1;
    while (layout.tail < after.size() && after[layout.tail] >= '0' && after[layout.tail] <= '9' &&
           layout.fixedLength < 7) {
        layout.fixed = layout.fixed * 10 + (after[layout.tail++] - '0');
        ++layout.fixedLength;
    }
    layout.end = slash + 1;
    if (layout.tail < after.size()) {
        return layout.fixed > 0;
    }
    // "/1" then zero placeholders is the fixed denominator 10 (or 100, ...).
    while (layout.fixed > 0 && layout.end < tokens.size() && layout.fixedLength < 7 &&
           tokens[layout.end].kind == TokenKind::Digit && tokens[layout.end].text == "0") {
        layout.fixed *= 10;
        ++layout.fixedLength;
        ++layout.end;
    }
    while (layout.fixedLength == 0 && layout.end < tokens.size() &&
           tokens[layout.end].kind == TokenKind::Digit) {
        layout.denominator += tokens[layout.end++].text;
    }
    return layout.fixedLength > 0 ? layout.fixed > 0 : !layout.denominator.empty();
}

// The fraction closest to x (0 <= x < 1) whose denominator is at most `largest`; of two equally
// close, the one with the smaller denominator. Continued fractions give the best candidates: the
// last convergent within reach and the last semiconvergent after it.
std::pair<long long, long long> closestFraction(double x, long long largest) {
    long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double rest = x;
    for (int step = 0; step < 64; ++step) {
        const double a = std::floor(rest);
        if (q0 + a * static_cast<double>(q1) > static_cast<double>(largest)) {
            const long long k = (largest - q0) / q1;
            const long long pk = p0 + k * p1, qk = q0 + k * q1;
            const double semi = static_cast<double>(pk) / static_cast<double>(qk);
            const double convergent = static_cast<double>(p1) / static_cast<double>(q1);
            if (std::fabs(semi - x) < std::fabs(convergent - x)) {
                return {pk, qk};
            }
            break;
        }
        const auto whole = static_cast<long long>(a);
        const long long p2 = p0 + whole * p1, q2 = q0 + whole * q1;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        if (rest - a < 1e-12) {
            break;
        }
        rest = 1 / (rest - a);
    }
    return {p1, q1};
}

// Digits of v filling placeholders: missing ones become '0' for 0, a space for ?, nothing
// for #; numerators pad on the left, denominators on the right.
std::string padded(long long v, const std::string& places, bool left) {
    std::string digits = std::to_string(v);
    std::string pad;
    for (std::size_t i = digits.size(); i < places.size(); ++i) {
        const char c = places[left ? places.size() - 1 - i : i];
        pad += c == '0' ? "0" : c == '?' ? " " : "";
    }
    return left ? pad + digits : digits + pad;
}

std::string renderFraction(const Section& section, const FractionLayout& layout, double x,
                           bool withSign) {
    const auto& tokens = section.tokens;
    double magnitude = std::fabs(x);
    for (const auto& token : tokens) {
        magnitude *= token.kind == TokenKind::Percent ? 100 : 1;
    }
    if (!std::isfinite(magnitude) || magnitude >= 1e11) {  // numerators stay in range
        return "########";
    }
    double whole = layout.wholeEnd > 0 ? std::floor(magnitude) : 0;
    const double part = magnitude - whole;
    long long numerator = 0, denominator = 1;
    if (layout.fixed > 0) {
        denominator = layout.fixed;
        numerator = std::llround(part * static_cast<double>(denominator));
    } else {
        long long largest = 1;
        for (std::size_t i = 0; i < std::min<std::size_t>(layout.denominator.size(), 7); ++i) {
            largest *= 10;
        }
        std::tie(numerator, denominator) = closestFraction(part - std::floor(part), largest - 1);
        numerator += static_cast<long long>(std::floor(part)) * denominator;
    }
    if (layout.wholeEnd > 0 && numerator >= denominator) {
        whole += static_cast<double>(numerator / denominator);
        numerator %= denominator;
    }
    // A whole value shows its whole part and blanks where the fraction would be.
    const bool blankFraction = numerator == 0 && layout.wholeEnd > 0;
    std::string out;
    if (x < 0 && withSign && (whole > 0 || numerator > 0)) {
        out += '-';
    }
    if (layout.wholeEnd > 0) {
        Section head;
        head.tokens.assign(tokens.begin(), tokens.begin() + static_cast<long>(layout.wholeEnd));
        std::string text = renderNumber(head, whole, false);
        if (whole == 0 && blankFraction && !text.empty() && text.back() == ' ') {
            text.back() = '0';
        } else if (whole == 0 && blankFraction && text.empty()) {
            text = "0";
        }
        out += text;
    }
    for (std::size_t i = layout.wholeEnd; i < layout.numeratorFirst; ++i) {
        out += tokens[i].kind == TokenKind::Literal ? tokens[i].text : "";
    }
    std::string fraction = padded(numerator, layout.numerator, true) + "/" +
                           (layout.fixed > 0 ? std::to_string(layout.fixed)
                                             : padded(denominator, layout.denominator, false));
    if (blankFraction) {
        fraction.assign(fraction.size(), ' ');
    }
    out += fraction;
    out += tokens[layout.slash].text.substr(layout.tail);
    std::size_t i = layout.end;
    for (; i < tokens.size(); ++i) {
        out += tokens[i].kind == TokenKind::Literal   ? tokens[i].text
               : tokens[i].kind == TokenKind::Percent ? "%"
                                                      : "";
    }
    return out;
}

bool meets(const Section& section, double x) {
    const auto& op = section.op;
    const double v = section.operand;
    if (op == "<")
        return x < v;
    if (op == "<=")
        return x <= v;
    if (op == ">")
        return x > v;
    if (op == ">=")
        return x >= v;
    if (op == "<>")
        return x != v;
    return x == v;
}

std::string renderSection(const Section& section, double x, bool withSign) {
    if (isDateSection(section)) {
        return renderDate(section, x);
    }
    FractionLayout fraction;
    if (isFraction(section, fraction)) {
        return renderFraction(section, fraction, x, withSign);
    }
    return renderNumber(section, x, withSign);
}

std::string formatNumber(double x, std::string_view code) {
    const auto texts = splitSections(code);
    std::vector<Section> sections;
    for (const auto& text : texts) {
        sections.push_back(parseSection(text));
    }
    if (sections.size() == 1 && sections[0].tokens.size() == 1 &&
        sections[0].tokens[0].kind == TokenKind::General) {
        return generalNumber(x);
    }
    if (sections[0].hasCondition) {
        if (meets(sections[0], x)) {
            return renderSection(sections[0], x, true);
        }
        if (sections.size() > 1 && (!sections[1].hasCondition || meets(sections[1], x))) {
            return renderSection(sections[1], x, !sections[1].hasCondition);
        }
        return renderSection(sections.size() > 2 ? sections[2] : sections[0], x, true);
    }
    if (x < 0 && sections.size() >= 2) {
        return renderSection(sections[1], -x, false);
    }
    if (x == 0 && sections.size() >= 3) {
        return renderSection(sections[2], x, false);
    }
    return renderSection(sections[0], x, true);
}

std::string formatText(const std::string& text, std::string_view code) {
    const auto texts = splitSections(code);
    Section section;
    if (texts.size() >= 4) {
        section = parseSection(texts[3]);
    } else {
        section = parseSection(texts[0]);
        bool hasAt = false;
        for (const auto& token : section.tokens) {
            hasAt = hasAt || token.kind == TokenKind::TextAt;
        }
        if (!hasAt) {
            return text;
        }
    }
    std::string out;
    for (const auto& token : section.tokens) {
        if (token.kind == TokenKind::TextAt) {
            out += text;
        } else if (token.kind == TokenKind::Literal) {
            out += token.text;
        }
    }
    return out;
}

}  // namespace

// Excel's own texts for the ids 0-49; 27-36 and 50-58 are the East Asian date and time formats,
// which Excel shows in the locale of the file, rendered here in one locale. Where the standard
// spells an id differently (37-40, 44, 47), looking a code up accepts both (kStandardSpellings).
std::string builtinNumberFormat(int id) {
    switch (id) {
        case 0:
            return "General";
        case 1:
            return "0";
        case 2:
            return "0.00";
        case 3:
            return "#,##0";
        case 4:
            return "#,##0.00";
        case 5:
            return "\"$\"#,##0_);\\(\"$\"#,##0\\)";
        case 6:
            return "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)";
        case 7:
            return "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)";
        case 8:
            return "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)";
        case 9:
            return "0%";
        case 10:
            return "0.00%";
        case 11:
            return "0.00E+00";
        case 12:
            return "# ?/?";
        case 13:
            return "# ?\?/?\?";
        case 14:
            return "m/d/yyyy";
        case 15:
            return "d-mmm-yy";
        case 16:
            return "d-mmm";
        case 17:
            return "mmm-yy";
        case 18:
            return "h:mm AM/PM";
        case 19:
            return "h:mm:ss AM/PM";
        case 20:
            return "h:mm";
        case 21:
            return "h:mm:ss";
        case 22:
            return "m/d/yyyy h:mm";
        case 27:
        case 36:
        case 50:
            return "yyyy\"年\"m\"月\"";
        case 28:
        case 29:
        case 51:
        case 56:
            return "m\"月\"d\"日\"";
        case 30:
            return "m-d-yy";
        case 31:
        case 52:
        case 53:
        case 57:
        case 58:
            return "yyyy\"年\"m\"月\"d\"日\"";
        case 32:
            return "h\"时\"mm\"分\"";
        case 33:
            return "h\"时\"mm\"分\"ss\"秒\"";
        case 34:
        case 54:
            return "上午/下午h\"时\"mm\"分\"";
        case 35:
        case 55:
            return "上午/下午h\"时\"mm\"分\"ss\"秒\"";
        case 37:  // the standard: #,##0 ;(#,##0)
            return "#,##0_);\\(#,##0\\)";
        case 38:  // the standard: #,##0 ;[Red](#,##0)
            return "#,##0_);[Red]\\(#,##0\\)";
        case 39:  // the standard: #,##0.00;(#,##0.00)
            return "#,##0.00_);\\(#,##0.00\\)";
        case 40:  // the standard: #,##0.00;[Red](#,##0.00)
            return "#,##0.00_);[Red]\\(#,##0.00\\)";
        case 41:
            return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
        case 42:
            return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
        case 43:
            return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
        case 44:  // the standard: _("$"* #,##0.00_)_("$"* \(#,##0.00\)_("$"* "-"??_)_(@_)
            return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
        case 45:
            return "mm:ss";
        case 46:
            return "[h]:mm:ss";
        case 47:  // the standard: mmss.0
            return "mm:ss.0";
        case 48:
            return "##0.0E+0";
        case 49:
            return "@";
        default:
            return {};
    }
}

namespace {

// Codes of built-in formats as the file-format standard spells them where Excel writes and
// shows another text for the same id.
struct StandardSpelling {
    int id;
    std::string_view code;
};
constexpr StandardSpelling kStandardSpellings[] = {
    // Excel pads the positive section with "_)" so that it lines up with the parenthesised
    // negatives; the standard writes a plain space there.
    {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"},
    // Excel again pads with "_)" and escapes the parentheses; the standard does neither.
    {39, "#,##0.00;(#,##0.00)"},
    {40, "#,##0.00;[Red](#,##0.00)"},
    // Excel's texts without the backslashes before the parentheses, which mean the same.
    {37, "#,##0_);(#,##0)"},
    {38, "#,##0_);[Red](#,##0)"},
    {39, "#,##0.00_);(#,##0.00)"},
    {40, "#,##0.00_);[Red](#,##0.00)"},
    // The standard's Accounting text lost its section separators; files written after its
    // table carry it so.
    {44, "_(\"$\"* #,##0.00_)_(\"$\"* \\(#,##0.00\\)_(\"$\"* \"-\"??_)_(@_)"},
    // Minutes and seconds with tenths: the standard leaves out the colon that Excel shows.
    {47, "mmss.0"},
};

}  // namespace

int builtinNumberFormatId(std::string_view code) {
    for (int id = 0; id <= 49; ++id) {
        const std::string builtin = builtinNumberFormat(id);
        if (!builtin.empty() && builtin == code) {
            return id;
        }
    }
    for (const auto& spelling : kStandardSpellings) {
        if (spelling.code == code) {
            return spelling.id;
        }
    }
    return -1;
}

bool isDateFormat(std::string_view code) {
    const auto sections = splitSections(code);
    return isDateSection(parseSection(sections[0]));
}

std::string formatValue(const Value& value, std::string_view code) {
    switch (value.kind()) {
        case Value::Kind::Empty:
            return {};
        case Value::Kind::Text:
            return formatText(value.asText(), code);
        case Value::Kind::Boolean:
            return value.asBoolean() ? "TRUE" : "FALSE";
        case Value::Kind::Error:
            return value.asText();
        case Value::Kind::Number:
        case Value::Kind::Date:
            return formatNumber(value.asNumber(), code);
    }
    return {};
}

}  // namespace office::excel::detail
