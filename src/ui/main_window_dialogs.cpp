// The main window's commands that open the other windows of the program.

#include "main_window.h"
#include "servo_settings_dialog.h"
#include "timeline/wav_cue_dialog.h"

namespace kestrova {

void frmMain::miServoSettings_Click() {
    frmServoSettings dialog(project_, [this] { UpdateServoSettings(); }, this);
    dialog.exec();
}

void frmMain::cmdWAV_Click() {
    frmWAV dialog(project_, this);
    dialog.exec();
}

// The about box and the execution window are not part of the program yet:
// their commands are in place and do nothing.
void frmMain::miAbout_Click() {}

void frmMain::ShowExecutionWindow() {}

void frmMain::UpdateExecutionGraph(bool /*bDoChecks*/) {}

}  // namespace kestrova
