#pragma once
// Messages as data: what a message box says, the buttons it offers and the
// answer it gets. Lower layers return their messages; windows show them
// through the handler they were given (the editor's message box, the command
// line's printer, a test's recorder).

#include <functional>
#include <string>
#include <vector>

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

using Messages = std::vector<Message>;
using MessageHandler = std::function<MessageAnswer(const Message&)>;

// The answer of a box nobody looked at: OK, or Yes where there is no OK.
MessageAnswer DefaultAnswer(MessageButtons buttons);

// Shows a message through handler; without one the default answer.
inline MessageAnswer Ask(const MessageHandler& handler, const Message& message) {
    return handler ? handler(message) : DefaultAnswer(message.buttons);
}

// Shows the messages in order.
inline void ShowAll(const MessageHandler& handler, const Messages& messages) {
    for (const Message& message : messages) Ask(handler, message);
}

}  // namespace kestrova
