// The main window's commands that open the other windows of the program.

#include "about_dialog.h"
#include "main_window.h"
#include "playback/execution_window.h"
#include "servo_settings_dialog.h"
#include "timeline/wav_cue_dialog.h"

#include <QSlider>

namespace kestrova {

void frmMain::miServoSettings_Click() {
    const auto before = project_.Servos;
    frmServoSettings dialog(project_, [this] { UpdateServoSettings(); }, this);
    dialog.exec();
    // Changed settings are unsaved work; the build does not go stale.
    if (project_.Servos != before) {
        project_.bNeedToSave = true;
        setWindowModified(true);
    }
}

void frmMain::cmdWAV_Click() {
    frmWAV dialog(project_, this);
    dialog.exec();
    setWindowModified(project_.bNeedToSave);
}

void frmMain::miAbout_Click() {
    frmAbout dialog(this);
    dialog.exec();
}

void frmMain::ShowExecutionWindow() {
    // One execution window at a time; it deletes itself when closed.
    if (!exeWindow_) {
        exeWindow_ = new frmExe(project_, link_, [this] { BuildAnimation(); }, this);
        exeWindow_->Slider1()->setValue(lastFrameRate_);
        // The status bar gives the show's length at the window's rate.
        connect(exeWindow_->Slider1(), &QSlider::valueChanged, this, [this](int rate) {
            lastFrameRate_ = rate;
            UpdateStatusBar();
        });
    }
    exeWindow_->UpdateGraph(true);
}

void frmMain::UpdateExecutionGraph(bool bDoChecks) {
    if (exeWindow_) exeWindow_->UpdateGraph(bDoChecks);
}

}  // namespace kestrova
