#pragma once
// How the editor shows a message: a modal QMessageBox with the message's
// icon, buttons and title. The windows take it as their message handler.

#include <memory>

class QMessageBox;
class QWidget;

namespace kestrova {

struct Message;
enum class MessageAnswer;

// The box that shows a message, not yet shown. It is wide enough for its
// whole title, however short its text.
std::unique_ptr<QMessageBox> MakeMessageBox(const Message& message, QWidget* parent);

// Shows the message in a box over the active window and returns the answer;
// closing a box that has Cancel counts as Cancel.
MessageAnswer AskMessageBox(const Message& message);

}  // namespace kestrova
