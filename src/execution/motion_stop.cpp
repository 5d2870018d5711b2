#include "motion_stop.h"

#include "core/servo_caps.h"
#include "link/live_output.h"
#include "link/serial_link.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace kestrova {

MotionStop::MotionStop(QWidget* anchor, SerialLink& link, const Project& project, StoreLocation store)
    : QObject(anchor), anchor_(anchor), link_(link), project_(project), store_(std::move(store)) {
    button_ = new QPushButton(QStringLiteral("Stop"));
    button_->setObjectName(QStringLiteral("cmdStopAll"));
    button_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowDoesNotAcceptFocus);
    button_->setToolTip(QStringLiteral("Stop every servo now (Esc)"));
    button_->setStyleSheet(QStringLiteral("QPushButton { background: #c00000; color: white; font-weight: bold; "
                                          "padding: 8px 18px; border: 2px solid #700000; }"));
    connect(button_, &QPushButton::clicked, this, [this] { Stop(); });
    // The engine runs on this thread and pumps events each frame, so a check
    // a few times a frame keeps the button in step with playback.
    watch_ = new QTimer(this);
    watch_->setInterval(30);
    connect(watch_, &QTimer::timeout, this, [this] { Refresh(); });
    watch_->start();
    qApp->installEventFilter(this);
}

MotionStop::~MotionStop() {
    qApp->removeEventFilter(this);
    delete button_;
}

bool MotionStop::Moving() const {
    LiveOutput& live = link_.Live();
    return live.Moving() || (live.Motion().Playing() && !live.Motion().StopRequested());
}

void MotionStop::Stop() {
    LiveOutput& live = link_.Live();
    if (live.Motion().Playing()) live.Motion().RequestStop();
    live.Stop();
    switch (LoadAfterStop(store_)) {
        case AfterStop::Hold:
            break;
        case AfterStop::Home:
            // Once playback has ended: the sliders' output steps the servos home.
            QTimer::singleShot(0, this, [this] {
                LiveOutput& out = link_.Live();
                for (int s = 0; s < kServoCount; ++s) {
                    const ServoRecord& servo = project_.Servos[s];
                    if (servo.Enabled && out.Motion().Known(s)) {
                        out.Want(project_.Settings.SynchByte, s, servo.Home, ServoCaps(servo));
                    }
                }
            });
            break;
        case AfterStop::PulsesOff:
            QTimer::singleShot(0, this, [this] { link_.Live().PulsesOff(); });
            break;
    }
    Refresh();
}

bool MotionStop::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        watched->isWidgetType() && Moving()) {
        Stop();
        return true;  // the stop, not a dialog's cancel
    }
    return QObject::eventFilter(watched, event);
}

void MotionStop::Refresh() {
    const bool moving = Moving();
    if (moving && anchor_ && anchor_->isVisible()) {
        button_->adjustSize();
        const QRect frame = anchor_->frameGeometry();
        button_->move(frame.right() - button_->width() - 24, frame.top() + 40);
        if (!button_->isVisible()) button_->show();
        button_->raise();
    } else if (button_->isVisible()) {
        button_->hide();
    }
}

}  // namespace kestrova
