#pragma once

#include <string_view>

namespace halvix {

// The one rule by which every number is read from text: leading blanks are skipped, an optional
// sign and the decimal digits after it are taken, anything after them is ignored; a text without
// digits reads as 0. Values beyond the int range saturate instead of overflowing.
int readNumber(std::string_view text);

// The blanks of every text the program reads: space, tab, line feed, carriage return, vertical
// tab and form feed.
bool isBlank(char c);
// `text` without the blanks around it.
std::string_view trimBlanks(std::string_view text);

} // namespace halvix
