#pragma once

#include <string>
#include <string_view>

namespace halvix {

// Conversions at the CSV file boundary. Inside, the program's text is UTF-8; CSV files are
// code page 936 (GB18030), and UTF-8 files are accepted on import.
//
// Unconvertible input never stops a conversion and never drops text around it: each byte that
// cannot be converted becomes U+FFFD (the replacement character) and the conversion goes on with
// the next byte, so a separator or line end after a broken character survives.

bool hasUtf8Bom(std::string_view bytes);

// Code page 936 bytes to UTF-8. The single byte 0x80 reads as the euro sign, as it does in
// code page 936 files written on Windows.
std::string gb18030ToUtf8(std::string_view bytes);
// UTF-8 to code page 936 bytes; a byte that is not UTF-8 is written as U+FFFD in GB18030.
std::string utf8ToGb18030(std::string_view text);

// Text for a spreadsheet on a Chinese Windows PC, which opens a CSV file as code page 936 (GBK):
// code page 936 when every character has a two-byte code there. A character beyond it (a rare
// ideograph, an emoji, a byte that is not UTF-8) would open as other characters, so such a text
// is UTF-8 after a byte-order mark instead, which spreadsheets open as UTF-8.
std::string spreadsheetText(std::string_view text);

// Text of a file read whole: with a UTF-8 byte-order mark, the UTF-8 after it; without one, the
// bytes as they are when the whole file is valid UTF-8, otherwise the bytes read as code page 936.
std::string decodeFileText(std::string_view bytes);

} // namespace halvix
