// JSON that came over the network or from a file: refused whole when too big, too deep or no object.
#include "common/JsonInput.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace halvix {

TEST(JsonInput, ReadsOnlyAnObjectWithinItsBounds) {
    const struct {
        const char* what;
        std::string payload;
        const char* problem; // empty: read
    } cases[] = {
        {"an object", R"({"a":[1,{"b":2}]})", ""},
        {"at the depth bound", R"({"a":[{"b":1}]})", ""},
        {"at the size bound", "{\"a\":\"" + std::string(24, 'x') + "\"}", ""},
        {"a bracket inside a text is no depth", R"({"a":"[[[[[[[["})", ""},
        {"an escaped quote keeps the text open", R"({"a":"\"[[[[[["})", ""},
        {"one level too deep", R"({"a":[{"b":[1]}]})", "内容嵌套过深"},
        {"a million brackets", std::string(1000000, '['), "内容过大"},
        {"one byte too many", "{\"a\":\"" + std::string(25, 'x') + "\"}", "内容过大"},
        {"a list", "[1,2]", "内容不是 JSON 对象"},
        {"a number", "7", "内容不是 JSON 对象"},
        {"cut off", R"({"a":)", "内容不是有效的 JSON"},
        {"empty", "", "内容不是有效的 JSON"},
        {"two objects", "{}{}", "内容不是有效的 JSON"},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto object = readJsonObject(c.payload, 32, 3, problem);
        EXPECT_EQ(object.has_value(), std::string(c.problem).empty()) << c.what;
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << c.what << ": " << problem;
    }
}

TEST(JsonInput, FieldsOfTheirOwnTypeOnly) {
    const nlohmann::json object = nlohmann::json::parse(
        R"({"text":"上课","count":7,"negative":-3,"huge":18446744073709551615,"real":1.5,"flag":true})");
    EXPECT_EQ(textField(object, "text"), "上课");
    EXPECT_EQ(unsignedField(object, "count"), 7u);
    EXPECT_EQ(integerField(object, "count"), 7);
    EXPECT_EQ(integerField(object, "negative"), -3);
    EXPECT_EQ(unsignedField(object, "huge"), UINT64_MAX);
    for (const char* key : {"count", "real", "flag", "missing"})
        EXPECT_FALSE(textField(object, key)) << key;
    for (const char* key : {"negative", "real", "flag", "text", "missing"})
        EXPECT_FALSE(unsignedField(object, key)) << key;
    for (const char* key : {"huge", "real", "flag", "text", "missing"})
        EXPECT_FALSE(integerField(object, key)) << key;

    std::string event;
    std::string sound;
    EXPECT_EQ(readShownTexts(object, {{"text", &event}}), nullptr);
    EXPECT_EQ(event, "上课");
    const nlohmann::json escape = {{"event", "上课"}, {"sound", "\x1b[2J"}};
    EXPECT_STREQ(readShownTexts(escape, {{"event", &event}, {"sound", &sound}}), "sound");
    EXPECT_STREQ(readShownTexts(escape, {{"missing", &event}}), "missing");
}

} // namespace halvix
