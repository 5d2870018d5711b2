// The main window's commands that open the other windows of the program.

#include "about_dialog.h"
#include "files/settings_store.h"
#include "main_window.h"
#include "playback/execution_window.h"
#include "servo_settings_dialog.h"
#include "timeline/wav_cue_dialog.h"

#include <QStatusBar>

namespace kestrova {

void frmMain::miServoSettings_Click() {
    frmServoSettings dialog(project_, [this] { UpdateServoSettings(); }, this);
    dialog.exec();
}

void frmMain::cmdWAV_Click() {
    frmWAV dialog(project_, this);
    dialog.exec();
}

void frmMain::miAbout_Click() {
    frmAbout dialog(this);
    dialog.exec();
}

void frmMain::ShowExecutionWindow() {
    // One execution window at a time; it deletes itself when closed.
    if (!exeWindow_) {
        exeWindow_ = new frmExe(project_, link_, [this] { BuildAnimation(); }, this);
        exeWindow_->SetSoundOffsetSource(&LoadSoundOffset);
        connect(exeWindow_, &frmExe::playbackRunning, this, [this](bool running) {
            if (running) statusBar()->showMessage(QStringLiteral("Playing the animation as it was built when Play was pressed"));
            else statusBar()->clearMessage();
        });
    }
    exeWindow_->UpdateGraph(true);
}

void frmMain::ReplacingProject(const std::function<bool()>& command) {
    if (exeWindow_) exeWindow_->SetProjectChanging(true);
    const bool replaced = command();
    if (!exeWindow_) return;
    exeWindow_->SetProjectChanging(false);
    if (replaced) exeWindow_->ProjectReplaced();
}

void frmMain::UpdateExecutionGraph(bool bDoChecks) {
    if (exeWindow_) exeWindow_->UpdateGraph(bDoChecks);
}

}  // namespace kestrova
