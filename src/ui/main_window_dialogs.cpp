// The main window's commands that open the other windows of the program.

#include "about_dialog.h"
#include "core/messages.h"
#include "kvx_edit_ctrl.h"
#include "files/settings_store.h"
#include "main_window.h"
#include "capture_menu.h"
#include "mouth_moves_dialog.h"
#include "recording.h"
#include "execution/execution_window.h"
#include "servo_settings_dialog.h"
#include "timeline/wav_cue_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSlider>
#include <QStatusBar>

namespace kestrova {

void frmMain::miServoSettings_Click() {
    const auto before = project_.Servos;
    frmServoSettings dialog(project_, [this] { UpdateServoSettings(); }, this, messages_);
    dialog.exec();
    // Changed settings are unsaved work; the build does not go stale.
    if (project_.Servos != before) {
        project_.bNeedToSave = true;
        setWindowModified(true);
    }
}

void frmMain::cmdWAV_Click() {
    frmWAV dialog(project_, this, messages_);
    dialog.exec();
    setWindowModified(project_.bNeedToSave);
}

void frmMain::miAbout_Click() {
    frmAbout dialog(this);
    dialog.exec();
}

void frmMain::ShowExecutionWindow() {
    // The window compares the programs with those of a failed build.
    CommitEdits();
    // One execution window at a time; it deletes itself when closed.
    if (!exeWindow_) {
        exeWindow_ = new frmExe(project_, link_, [this] { BuildAnimation(); }, this, messages_);
        exeWindow_->SetSoundOffsetSource([this] { return LoadSoundOffset(store_); });
        CaptureMenu::Of(*this)->Attach(*exeWindow_);
        connect(exeWindow_, &frmExe::playbackRunning, this, [this](bool running) {
            if (running) statusBar()->showMessage(QStringLiteral("Playing the animation as it was built when Play was pressed"));
            else statusBar()->clearMessage();
        });
        exeWindow_->Slider1()->setValue(lastFrameRate_);
        // The status bar gives the show's length at the window's rate.
        connect(exeWindow_->Slider1(), &QSlider::valueChanged, this, [this](int rate) {
            lastFrameRate_ = rate;
            UpdateStatusBar();
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

namespace {

// The program text before the place where recorded lines go: up to the line
// break that ends the caret's line, or all of it (see InsertInstructionLine).
std::string TextBeforeInsertion(const KvxEditCtrl& editor) {
    const QList<uint> text =
        QString::fromStdString(editor.Text()).replace(QStringLiteral("\r\n"), QStringLiteral("\r")).toUcs4();
    int32_t caret = 0, end = 0;
    editor.GetSel(caret, end);
    qsizetype length = text.size();
    if (caret >= 1) {
        for (qsizetype k = caret - 1; k < text.size(); ++k) {
            if (text[k] == '\r') {
                length = k + 1;
                break;
            }
        }
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(text.constData()), length)
        .replace(QStringLiteral("\r"), QStringLiteral("\r\n"))
        .toStdString();
}

}  // namespace

void frmMain::miMouthMoves_Click() {
    const int servo = project_.lServo;
    KvxEditCtrl& editor = *rtb_[servo];
    audio::MouthOptions reach;
    std::string error;
    if (!ProgramReachAt(project_, servo, TextBeforeInsertion(editor), reach.at, reach.from, error)) {
        Tell({"The program above the caret does not build, so the moves cannot be placed:\r\n" + error,
              "Generate Moves from Sound", MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    const int fps = exeWindow_ ? exeWindow_->Slider1()->value() : 15;
    const std::string folder =
        project_.sFilename.find('/') == std::string::npos
            ? std::string()
            : QFileInfo(QString::fromStdString(project_.sFilename)).absolutePath().toStdString();
    frmMouthMoves dialog(project_, servo, fps, folder, [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Sound for the Moves..."), QString(),
                                            QStringLiteral("Sounds (*.wav *.flac *.ogg *.aiff *.aif);;All Files (*)"));
    }, this);
    while (dialog.exec() == QDialog::Accepted) {
        audio::MouthOptions options = dialog.Options();
        options.at = reach.at;
        options.from = reach.from;
        std::string text;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool made = audio::GenerateMouthMoves(dialog.SoundPath(), options, text, error);
        QApplication::restoreOverrideCursor();
        if (!made) {
            Tell({"The moves could not be made:\r\n" + error, "Generate Moves from Sound", MessageIcon::Critical,
                  MessageButtons::Ok});
            continue;
        }
        if (text.empty()) {
            Tell({"The sound gives no moves after the caret's frame.", "Generate Moves from Sound",
                  MessageIcon::Information, MessageButtons::Ok});
            return;
        }
        InsertInstructionLine(editor, text);
        return;
    }
}

}  // namespace kestrova
