#pragma once

#include "common/MessageSink.h"

#include <string>
#include <vector>

namespace halvix::test {

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
