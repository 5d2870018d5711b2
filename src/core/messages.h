#pragma once
// The one seam every message box of the program goes through. The editor
// installs a handler that shows a real message box; the command line prints
// the message; tests answer it. Without a handler a message is answered
// with its default button (OK, or Yes where there is no OK).

#include <functional>
#include <string>

namespace kestrova {

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct Message {
    std::string text;
    std::string title;  // empty: the application's default title
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

using MessageHandler = std::function<MessageAnswer(const Message&)>;

// Shows a message through the installed handler and returns the answer.
MessageAnswer ShowMessage(const Message& message);

// Installs a handler; returns the one it replaces. An empty handler restores
// the default answers.
MessageHandler SetMessageHandler(MessageHandler handler);

// Installs a handler for the lifetime of the object (tests, the command line).
class ScopedMessageHandler {
public:
    explicit ScopedMessageHandler(MessageHandler handler)
        : previous_(SetMessageHandler(std::move(handler))) {}
    ~ScopedMessageHandler() { SetMessageHandler(std::move(previous_)); }
    ScopedMessageHandler(const ScopedMessageHandler&) = delete;
    ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

private:
    MessageHandler previous_;
};

}  // namespace kestrova
