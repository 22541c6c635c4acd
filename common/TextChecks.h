#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace halvix {

// Checks of texts that arrive from the network or from a file (campus.ini, emergency.json). Each
// returns an empty text when the text is fine, otherwise why not, in Chinese.

// A display name (a node's, a zone's, who started an emergency): valid UTF-8, 1 to 64 bytes, no control
// character.
std::string displayNameProblem(std::string_view name);

// A sound named relative to voic/, as a snapshot lists it and a command asks for it: '/' between
// folders, no empty, "." or ".." part, not absolute, no '\\' or ':' (another system's separators),
// no control character, valid UTF-8, at most 200 bytes a part (room for the temporary name beside it) and
// 1024 in all, and no part that begins with '.' (hidden files, among them the program's own temporary files).
std::string soundNameProblem(std::string_view name);

// A text a node reports for people to read (an event, a day's decision, a reason): valid UTF-8 of
// at most `maxBytes`, no control character but line ends.
bool isShownText(std::string_view text, std::size_t maxBytes = 1024);

} // namespace halvix
