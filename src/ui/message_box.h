#pragma once
// The editor's end of the message seam: every message the program shows
// becomes a modal QMessageBox with the message's icon, buttons and title.

namespace kestrova {

// Installs the message box handler for the whole program.
void InstallMessageBoxHandler();

}  // namespace kestrova
