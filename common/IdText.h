#pragma once

#include <cstddef>
#include <string_view>

namespace halvix {

// Ids of buildings, zones and campuses: they become topic levels and broker user names, so they are
// ASCII and never hold '/', '+', '#' or anything a shell or an ACL file would read differently.
inline constexpr std::size_t kMaxIdLength = 32;

// 1 to 32 ASCII letters, digits, '-' and '_', beginning with a letter or a digit.
bool isValidId(std::string_view id);

} // namespace halvix
