#include "office/excel/format_code.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

namespace office::excel::detail {

// ---- General ----

namespace {

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

}  // namespace

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

// ---- numbers ----

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace office::excel::detail
