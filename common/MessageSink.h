#pragma once

#include <string>
#include <vector>

namespace halvix {

// Which icon a message box shows: information for what went well, warning for input that was not
// taken, critical for what failed (data not read or written); a question only with a question.
enum class MessageIcon { None, Information, Warning, Critical, Question };

// A notice for the user. The window side shows it as a message box with an OK button.
struct UserMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::Information;

    bool operator==(const UserMessage&) const = default;
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

// Keeps what it is shown, for notices said elsewhere than in a box (the status line, the tray, a
// later report).
class CollectingSink final : public MessageSink {
public:
    void show(const UserMessage& message) override { messages.push_back(message); }
    std::vector<UserMessage> messages;
};

} // namespace halvix
