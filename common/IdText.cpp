#include "common/IdText.h"

namespace halvix {

namespace {

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

bool isValidId(std::string_view id) {
    if (id.empty() || id.size() > kMaxIdLength || !isAsciiAlnum(id.front()))
        return false;
    for (char c : id)
        if (!isAsciiAlnum(c) && c != '-' && c != '_')
            return false;
    return true;
}

} // namespace halvix
