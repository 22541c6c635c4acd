#include "campus/Topics.h"

#include "campus/Sha256.h"

namespace halvix::campus {

std::string Topics::soundHashOf(std::string_view topic) const {
    const std::string prefix = m_root + "/sound/";
    if (topic.substr(0, prefix.size()) != prefix)
        return {};
    const std::string_view hash = topic.substr(prefix.size());
    return isSha256Hex(hash) ? std::string(hash) : std::string();
}

} // namespace halvix::campus
