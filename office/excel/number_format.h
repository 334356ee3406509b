#pragma once

// Number formats as the spreadsheet displays them: built-in format ids, telling date formats
// apart, and rendering a value through a format code.

#include <string>
#include <string_view>

#include "office/value.h"

namespace office::excel::detail {

// The code of a built-in number format id; empty for an id that has none.
std::string builtinNumberFormat(int id);
// The built-in id (0-49) whose code is `code`, in Excel's own spelling or in the standard's
// where the two differ; -1 for a code that is no built-in one.
int builtinNumberFormatId(std::string_view code);
// True when the code's first section shows a date or a time (d, m, y, h, s outside literals).
bool isDateFormat(std::string_view code);
// The value rendered through the code. Dates are serials of the 1900 system (as Value holds
// them); numbers, dates and booleans use the numeric sections, texts the text section.
std::string formatValue(const Value& value, std::string_view code);

}  // namespace office::excel::detail
