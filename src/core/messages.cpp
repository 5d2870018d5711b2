#include "messages.h"

#include <utility>

namespace kestrova {

namespace {

MessageHandler& CurrentHandler() {
    static MessageHandler handler;
    return handler;
}

MessageAnswer DefaultAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Yes;
    }
    return MessageAnswer::Ok;
}

}  // namespace

MessageAnswer ShowMessage(const Message& message) {
    const MessageHandler& handler = CurrentHandler();
    if (handler) return handler(message);
    return DefaultAnswer(message.buttons);
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

}  // namespace kestrova
