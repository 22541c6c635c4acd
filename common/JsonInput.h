#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace halvix {

// Reading JSON that came over the network: never an exception, never deep recursion.

// `payload` as a JSON object, or nothing with the reason in `problem`. Refused: more than
// `maxBytes`, nesting deeper than `maxDepth`, anything but an object, text that is not JSON.
std::optional<nlohmann::json> readJsonObject(std::string_view payload, std::size_t maxBytes,
                                             std::size_t maxDepth, std::string& problem);

// The field as a text, an unsigned number or an integer; nothing when absent or of another type.
std::optional<std::string> textField(const nlohmann::json& object, const char* key);
std::optional<std::uint64_t> unsignedField(const nlohmann::json& object, const char* key);
std::optional<std::int64_t> integerField(const nlohmann::json& object, const char* key);

// Reads each (key, where to) of `fields` as a text people will read (isShownText). Returns the key
// of the first that is absent or no such text, nullptr when all read.
const char* readShownTexts(const nlohmann::json& object,
                           std::initializer_list<std::pair<const char*, std::string*>> fields);

} // namespace halvix
