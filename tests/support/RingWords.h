#pragma once

#include "bell/RingResult.h"

#include <string>

namespace halvix::test {

// The ring log's stored word of `result`.
inline std::string word(RingResult result) {
    return std::string(resultWord(result));
}

} // namespace halvix::test
