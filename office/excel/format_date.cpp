#include "office/excel/format_code.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace office::excel::detail {

// ---- dates ----

namespace {

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

}  // namespace

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

}  // namespace office::excel::detail
