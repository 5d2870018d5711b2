#pragma once
// The stop that stops: Escape in any window of the program, or the Stop
// button that floats above the window while anything moves, ends playback
// before its next frame and the sliders' stepping at once. Then the servos
// hold where they are, go Home within their caps, or lose their pulses, as
// the user's "After Stop" setting says. Escape reaches dialogs as usual
// while nothing moves.

#include "core/project.h"
#include "files/stop_setting.h"

#include <QObject>
#include <QPointer>

class QPushButton;
class QTimer;
class QWidget;

namespace kestrova {

class SerialLink;

class MotionStop : public QObject {
public:
    // Watches the whole application; the button rides on `anchor`'s top right.
    MotionStop(QWidget* anchor, SerialLink& link, const Project& project, StoreLocation store);
    ~MotionStop() override;

    // Whether playback or the sliders move anything now.
    bool Moving() const;
    // What Escape and the button do.
    void Stop();

    QPushButton* Button() const { return button_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Refresh();

    QPointer<QWidget> anchor_;
    SerialLink& link_;
    const Project& project_;
    StoreLocation store_;
    QPushButton* button_ = nullptr;
    QTimer* watch_ = nullptr;
};

}  // namespace kestrova
