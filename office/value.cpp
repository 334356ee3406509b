#include "office/value.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace office {

Value Value::number(double v) {
    Value value;
    value.kind_ = Kind::Number;
    value.number_ = v;
    return value;
}

Value Value::text(std::string v) {
    Value value;
    value.kind_ = Kind::Text;
    value.text_ = std::move(v);
    return value;
}

Value Value::boolean(bool v) {
    Value value;
    value.kind_ = Kind::Boolean;
    value.number_ = v ? 1 : 0;
    return value;
}

Value Value::error(std::string code) {
    Value value;
    value.kind_ = Kind::Error;
    value.text_ = std::move(code);
    return value;
}

Value Value::date(double serial) {
    Value value;
    value.kind_ = Kind::Date;
    value.number_ = serial;
    return value;
}

bool Value::isBlank() const noexcept {
    return kind_ == Kind::Empty || (kind_ == Kind::Text && text_.empty());
}

namespace {

// The 1900 system counts a 29 February 1900 (serial 60), so days before it lie one later
// than a count from 1899-12-30 gives.
std::string isoDate(double serial) {
    using namespace std::chrono;
    const long count = static_cast<long>(std::floor(serial));
    if (count == 60) {
        return "1900-02-29";
    }
    const auto base =
        count < 60 ? sys_days(year(1899) / December / 31) : sys_days(year(1899) / December / 30);
    const year_month_day ymd(base + days(count));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buffer;
}

}  // namespace

std::string Value::toString() const {
    switch (kind_) {
        case Kind::Empty:
            return {};
        case Kind::Number:
            return numberText(number_);
        case Kind::Text:
            return text_;
        case Kind::Boolean:
            return number_ != 0 ? "TRUE" : "FALSE";
        case Kind::Error:
            return text_;
        case Kind::Date:
            return isoDate(number_);
    }
    return {};
}

std::string numberText(double v) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    if (ec != std::errc()) {
        return "0";
    }
    return std::string(buffer, end);
}

}  // namespace office
