#pragma once

#include <string>

namespace halvix {

enum class MessageIcon { None, Question };

// A notice for the user. The window side shows it as a message box with an OK button.
struct UserMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
};

// Where the core reports failures and notices; the UI shows them, tests record them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const UserMessage& message) = 0;
};

// For callers that want failures turned into results only.
class SilentSink final : public MessageSink {
public:
    void show(const UserMessage&) override {}
};

} // namespace halvix
