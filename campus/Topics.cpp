#include "campus/Topics.h"

#include "campus/Sha256.h"

namespace halvix::campus {

namespace {

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

std::string Topics::soundHashOf(std::string_view topic) const {
    const std::string prefix = m_root + "/sound/";
    if (topic.substr(0, prefix.size()) != prefix)
        return {};
    const std::string_view hash = topic.substr(prefix.size());
    return isSha256Hex(hash) ? std::string(hash) : std::string();
}

bool isValidId(std::string_view id) {
    if (id.empty() || id.size() > kMaxIdLength || !isAsciiAlnum(id.front()))
        return false;
    for (char c : id)
        if (!isAsciiAlnum(c) && c != '-' && c != '_')
            return false;
    return true;
}

} // namespace halvix::campus
