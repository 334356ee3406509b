#pragma once

// SpreadsheetML's escapes for the characters that XML 1.0 cannot hold in cell text: such a
// character is written "_xHHHH_" (its UTF-16 code in four hex digits), which spreadsheet
// readers turn back into the character; a literal underscore that would read as the start of
// an escape is itself written "_x005F_".

#include <cstdint>
#include <string>
#include <string_view>

#include "office/package/xml.h"

namespace office::excel {

// The text as SpreadsheetML holds it: characters XML cannot hold written "_xHHHH_", and an
// underscore that would otherwise be read as the start of such an escape written "_x005F_".
// Surrogates, code points beyond Unicode and bytes that are no UTF-8 are dropped.
std::string spreadsheetEscaped(std::string_view text);
// The inverse of spreadsheetEscaped: every "_xHHHH_" turned back into its character.
std::string spreadsheetUnescaped(std::string_view text);
// The escape of one character that XML cannot hold, as the XML layer asks for it: false for a
// character no escape can write (a surrogate, beyond the basic plane, no character at all).
bool escapeCharacter(std::string& out, std::uint32_t code);

// How the parts of a workbook keep what a character reference named that XML cannot hold: the
// SpreadsheetML parts as an escape; for Package::setTextEscape and parseXml.
inline constexpr package::TextEscape kSheetTextEscape{package::Namespace::Spreadsheet,
                                                      &escapeCharacter};

}  // namespace office::excel
