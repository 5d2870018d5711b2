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
// whole title, however short its text, and for its longest line as far as
// the screen allows.
std::unique_ptr<QMessageBox> MakeMessageBox(const Message& message, QWidget* parent);

// The window a message box centres on: the modal dialog in front, else the
// active window, else the program's main window.
QWidget* MessageOwner();

// Shows the message in a box centred on MessageOwner() and returns the
// answer; closing a box that has Cancel counts as Cancel.
MessageAnswer AskMessageBox(const Message& message);

}  // namespace kestrova
