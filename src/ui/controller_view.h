#pragma once
// The controller view: the 16 servos as horns on their dials, with names,
// positions and the angles the positions stand for, as the controller
// received them. It looks at what arrived at most once per screen refresh
// and repaints only when something changed, so it costs playback nothing
// while nothing moves.

#include "core/project.h"
#include "link/virtual_controller.h"

#include <QPixmap>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

class QPainter;
class QTimer;

namespace kestrova {

// How one servo is drawn besides its position.
struct ServoLook {
    std::string name;
    // Not enabled, or not used by the animation last built: nothing of the
    // animation moves it.
    bool dimmed = false;
    bool operator==(const ServoLook&) const = default;
};

std::array<ServoLook, kServoCount> ServoLooks(const Project& project);

// The angle in degrees a position stands for when 0 to 255 spans `sweep`
// degrees.
double PositionAngle(int position, double sweep);

class ControllerView : public QWidget {
    Q_OBJECT
public:
    using StateSource = std::function<ControllerState()>;
    ControllerView(const Project& project, StateSource source, QWidget* parent = nullptr);

    // Degrees that positions 0 to 255 span; 180 unless set. The view's
    // context menu offers 90, 180 and 270 and tells the choice.
    void SetSweep(double degrees);
    double Sweep() const { return sweep_; }

    // Looks at the controller and the servos now; repaints when either
    // changed. The view's timer calls it once per screen refresh while the
    // view is visible.
    void Refresh();
    // Repaints asked for so far (tests and the benchmark).
    int RepaintRequests() const { return repaints_; }
    const ControllerState& Shown() const { return state_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void SweepChosen(double degrees);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Cell {
        QRectF box, name, caption;
        QPointF hub;
        double radius = 0;
    };
    Cell CellAt(int servo) const;
    // The line under the dials: synch byte, commands, bytes not understood.
    QRect FooterRect() const;
    void PaintDial(QPainter& painter, int servo);
    void PaintHorn(QPainter& painter, int servo);

    const Project& project_;
    StateSource source_;
    QTimer* timer_ = nullptr;
    ControllerState state_;
    std::array<ServoLook, kServoCount> looks_{};
    QPixmap background_;  // boxes, names and dials
    double sweep_ = 180.0;
    bool shownOnce_ = false;
    int repaints_ = 0;
};

}  // namespace kestrova
