// The main window's status bar: the first error or a cap warning, the
// selected servo's frames, the show's length and the caret.

#include "kvx_edit_ctrl.h"
#include "main_window.h"
#include "program_diagnostics.h"
#include "status_message.h"
#include "execution/execution_window.h"
#include "timeline/timeline_geometry.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QSlider>
#include <QStatusBar>

namespace kestrova {

namespace {

// A label that shortens its text with "..." where the bar is too narrow;
// text() and the tool tip keep the whole message.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    }
};

}  // namespace

void frmMain::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbrMain"));
    auto label = [bar](const char* name, int stretch) {
        QLabel* l = stretch ? new ElidedLabel(bar) : new QLabel(bar);
        l->setObjectName(QString::fromLatin1(name));
        if (stretch) bar->addWidget(l, stretch);
        else bar->addPermanentWidget(l);
        return l;
    };
    statusError_ = label("lblStatusError", 1);
    statusError_->setMinimumWidth(1);  // a long message is shortened and never widens the window
    statusFrames_ = label("lblStatusFrames", 0);
    statusShow_ = label("lblStatusShow", 0);
    statusCaret_ = label("lblStatusCaret", 0);
    UpdateStatusBar();
}

int frmMain::FrameRate() const { return exeWindow_ ? exeWindow_->Slider1()->value() : lastFrameRate_; }

void frmMain::UpdateStatusBar() {
    const int selected = project_.lServo;
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

    // An error anywhere first; else the warning under the caret, or the first one.
    const int32_t caret = editor->OffsetOfPosition(editor->textCursor().position());
    const StatusMessage shown = PickStatusMessage(diagnostics_->AllResults(), project_.lServo, caret);
    if (shown.servo < 0) {
        statusError_->setText(QStringLiteral("No errors"));
        statusError_->setStyleSheet(QString());
        statusError_->setToolTip(QString());
        return;
    }
    const auto [line, column] = rtb_[shown.servo]->LineColumnOf(shown.offset);
    QString where = QStringLiteral("Line %1, column %2: ").arg(line).arg(column);
    if (shown.servo != project_.lServo)
        where = QStringLiteral("Servo \"%1\", line %2, column %3: ")
                    .arg(QString::fromStdString(project_.Servos[shown.servo].Name))
                    .arg(line)
                    .arg(column);
    if (shown.warning) where += QStringLiteral("Warning: ");
    statusError_->setText(where + QString::fromStdString(shown.message));
    statusError_->setToolTip(statusError_->text());
    // Amber for a warning, as its underline; an error's red.
    statusError_->setStyleSheet(shown.warning ? QStringLiteral("color: #a86400") : QStringLiteral("color: #c00000"));
}

}  // namespace kestrova
