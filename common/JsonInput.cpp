#include "common/JsonInput.h"

#include "common/TextChecks.h"

#include <nlohmann/json.hpp>

namespace halvix {

namespace {

// Counts brackets outside strings, so that a payload of a million '[' is refused before a parser
// or a destructor walks it.
bool nestsDeeperThan(std::string_view text, std::size_t maxDepth) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

} // namespace

std::optional<nlohmann::json> readJsonObject(std::string_view payload, std::size_t maxBytes,
                                             std::size_t maxDepth, std::string& problem) {
    if (payload.size() > maxBytes) {
        problem =
            "内容过大 (" + std::to_string(payload.size()) + " 字节, 最多 " + std::to_string(maxBytes) + ")";
        return std::nullopt;
    }
    if (nestsDeeperThan(payload, maxDepth)) {
        problem = "内容嵌套过深";
        return std::nullopt;
    }
    nlohmann::json value = nlohmann::json::parse(payload.begin(), payload.end(), nullptr, false);
    if (value.is_discarded()) {
        problem = "内容不是有效的 JSON";
        return std::nullopt;
    }
    if (!value.is_object()) {
        problem = "内容不是 JSON 对象";
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> textField(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

std::optional<std::uint64_t> unsignedField(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_unsigned())
        return std::nullopt;
    return it->get<std::uint64_t>();
}

std::optional<std::int64_t> integerField(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return std::nullopt;
    if (it->is_number_unsigned() && it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    return it->get<std::int64_t>();
}

const char* readShownTexts(const nlohmann::json& object,
                           std::initializer_list<std::pair<const char*, std::string*>> fields) {
    for (const auto& [key, out] : fields) {
        auto text = textField(object, key);
        if (!text || !isShownText(*text))
            return key;
        *out = std::move(*text);
    }
    return nullptr;
}

} // namespace halvix
