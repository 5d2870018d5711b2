#pragma once
// The editor's end of the message seam: every message the program shows
// becomes a modal QMessageBox with the message's icon, buttons and title.

#include <memory>

class QMessageBox;
class QWidget;

namespace kestrova {

struct Message;

// The box that shows a message, not yet shown. It is wide enough for its
// whole title, however short its text.
std::unique_ptr<QMessageBox> MakeMessageBox(const Message& message, QWidget* parent);

// Installs the message box handler for the whole program.
void InstallMessageBoxHandler();

}  // namespace kestrova
