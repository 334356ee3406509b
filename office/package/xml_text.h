#pragma once

// The characters XML 1.0 can hold, and text made fit for it: the one check that every value the
// office host writes into a part passes, and the UTF-8 walk it rests on. A format with an escape
// of its own for the other characters (SpreadsheetML's) hands it in as a CharacterEscape.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace office::package {

// The UTF-8 sequence at text[i] as a code point, with its length; a byte that starts no valid
// sequence gives length 1 and the code 0xFFFFFFFF, which is no character.
std::pair<std::uint32_t, std::size_t> decodeUtf8(std::string_view text, std::size_t i);
// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, std::uint32_t code);
// True when XML 1.0 may hold the character: not a control character other than tab, line feed
// and carriage return, no surrogate, not U+FFFE or U+FFFF, within Unicode.
bool allowedInXml(std::uint32_t code);

// A format's own way of writing a character that XML cannot hold: appends its escape of `code`
// to `out` and returns true, or returns false where it has none (the character is then dropped).
using CharacterEscape = bool (*)(std::string& out, std::uint32_t code);

// The text with every character that XML 1.0 does not allow removed (control characters other
// than tab, line feed and carriage return; surrogates, U+FFFE and U+FFFF; invalid UTF-8 bytes),
// ready to be set as the text or attribute of an element.
std::string xmlSafe(std::string_view text);
// The same, with the characters XML cannot hold written by `escape` where it can write them;
// the rest, escapes already in the text included, stays as it is. A null escape drops them all.
std::string xmlSafe(std::string_view text, CharacterEscape escape);
// True when every character of the text is one XML may hold.
bool holdsOnlyXml(std::string_view text);

// Appends text or an attribute value as XML holds it: xmlSafe() of it, with the characters that
// markup reserves written as references ('<', '>', '&' and, in an attribute, '"' and the line
// breaks and tabs that attribute reading would turn into spaces).
enum class Context { Text, Attribute };
void appendEscaped(std::string& out, std::string_view value, Context context);

}  // namespace office::package
