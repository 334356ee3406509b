#pragma once

#include <string>

namespace office {

// The value of one cell, as the automation model's Range.Value gives it.
// Dates are serial day numbers counted from 1899-12-30 (the 1900 date system), whatever the
// workbook's own date system: a reader of a 1904 workbook adds 1462 on the way in and a writer
// subtracts it on the way out, so values copied between workbooks keep their day.
class Value {
public:
    enum class Kind { Empty, Number, Text, Boolean, Error, Date };

    Value() = default;
    static Value number(double v);
    static Value text(std::string v);
    static Value boolean(bool v);
    static Value error(std::string code);  // "#DIV/0!", "#N/A", ...
    static Value date(double serial);

    Kind kind() const noexcept { return kind_; }
    bool isEmpty() const noexcept { return kind_ == Kind::Empty; }
    // True for an empty cell and for a cell holding the empty text: a cell whose value
    // compares equal to "".
    bool isBlank() const noexcept;

    // Valid for Number, Date and Boolean (1 or 0); 0 otherwise.
    double asNumber() const noexcept { return number_; }
    // The text of a Text value or the code of an Error value; empty otherwise.
    const std::string& asText() const noexcept { return text_; }
    bool asBoolean() const noexcept { return number_ != 0; }

    // A plain text form without number formatting: numbers in the shortest form that reads
    // back to the same double ("1.5", "12"), booleans as TRUE/FALSE, dates as yyyy-mm-dd.
    std::string toString() const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    Kind kind_ = Kind::Empty;
    double number_ = 0;
    std::string text_;
};

// A number in the shortest form that reads back as the same double ("1.5", "12", "1e+21"), as
// office files store numbers; "0" for what cannot be written.
std::string numberText(double v);

}  // namespace office
