#pragma once

#include "common/MessageSink.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace halvix::test {

// Whether a text the user reads holds a Latin letter outside a file's name or an absolute path
// (a folder to look in): the program speaks Chinese only.
inline bool hasLatinLetter(const std::string& text) {
    const std::string named = std::regex_replace(text, std::regex(R"((/[\w.+-]+)+/?)"), "");
    const std::string words = std::regex_replace(named, std::regex(R"([\w.-]+\.(mdb|db|csv|mp3|wav))"), "");
    return std::any_of(words.begin(), words.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// Keeps every message the core shows, in order.
class RecordingSink final : public MessageSink {
public:
    void show(const UserMessage& message) override { messages.push_back(message); }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages)
            out.push_back(m.text);
        return out;
    }
    bool saw(const std::string& text) const {
        for (const auto& m : messages)
            if (m.text == text)
                return true;
        return false;
    }
    void clear() { messages.clear(); }

    std::vector<UserMessage> messages;
};

} // namespace halvix::test
