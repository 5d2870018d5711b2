// The main window's status bar: the first error, the selected servo's
// frames, the show's length and the caret.

#include "kvx_edit_ctrl.h"
#include "main_window.h"
#include "program_diagnostics.h"
#include "execution/execution_window.h"
#include "timeline/timeline_geometry.h"

#include <QLabel>
#include <QSlider>
#include <QStatusBar>

namespace kestrova {

void frmMain::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbrMain"));
    auto label = [bar](const char* name, int stretch) {
        auto* l = new QLabel(bar);
        l->setObjectName(QString::fromLatin1(name));
        if (stretch) bar->addWidget(l, stretch);
        else bar->addPermanentWidget(l);
        return l;
    };
    statusError_ = label("lblStatusError", 1);
    statusFrames_ = label("lblStatusFrames", 0);
    statusShow_ = label("lblStatusShow", 0);
    statusCaret_ = label("lblStatusCaret", 0);
    UpdateStatusBar();
}

int frmMain::FrameRate() const { return exeWindow_ ? exeWindow_->Slider1()->value() : lastFrameRate_; }

void frmMain::UpdateStatusBar() {
    // The selected servo's error first, else the first servo with one.
    const int selected = project_.lServo;
    auto hasError = [this](int s) { return diagnostics_->Result(s) && diagnostics_->Result(s)->error; };
    int shown = hasError(selected) ? selected : -1;
    for (int s = 0; s < kServoCount && shown < 0; ++s) {
        if (hasError(s)) shown = s;
    }
    if (shown < 0) {
        statusError_->setText(QStringLiteral("No errors"));
        statusError_->setStyleSheet(QString());
    } else {
        const CompileError& error = *diagnostics_->Result(shown)->error;
        const auto [line, column] = rtb_[shown]->LineColumnOf(error.Start);
        QString where = QStringLiteral("Line %1, column %2: ").arg(line).arg(column);
        if (shown != selected)
            where = QStringLiteral("Servo \"%1\", line %2, column %3: ")
                        .arg(QString::fromStdString(project_.Servos[shown].Name))
                        .arg(line)
                        .arg(column);
        statusError_->setText(where + QString::fromStdString(error.message));
        statusError_->setStyleSheet(QStringLiteral("color: #c00000"));
    }
    const auto& own = diagnostics_->Result(selected);
    const int32_t frames = own ? own->frames : 1;
    statusFrames_->setText(QStringLiteral("Servo: %1 frame%2").arg(frames).arg(frames == 1 ? "" : "s"));
    const int32_t show = diagnostics_->ShowFrames();
    statusShow_->setText(QStringLiteral("Show: %1 frame%2, %3 at %4 fps")
                             .arg(show)
                             .arg(show == 1 ? "" : "s")
                             .arg(QString::fromStdString(DurationText(show, FrameRate())))
                             .arg(FrameRate()));
    UpdateCaretStatus();
}

void frmMain::UpdateCaretStatus() {
    const KvxEditCtrl* editor = rtb_[project_.lServo];
    statusCaret_->setText(QStringLiteral("Line %1, Col %2").arg(editor->CaretLine()).arg(editor->CaretColumn()));
}

}  // namespace kestrova
