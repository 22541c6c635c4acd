#pragma once

#include <cstddef>
#include <string_view>

namespace halvix {

// UTF-8 as the program keeps all its text: well-formed sequences only, no overlong forms, no
// surrogates, nothing above U+10FFFF.

// Length of the well-formed sequence at the start of `text` (not empty), 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text);

bool isValidUtf8(std::string_view text);

} // namespace halvix
