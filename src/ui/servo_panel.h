#pragma once
// ServoPanel: the servo control pane on the left of the main window. Its
// caption strip holds "Servo Control" and the port check box chkCOM; below
// it stand 16 servo frames, each with a live slider, a position label and
// the Home, Min, Max and Log buttons.
//
// The panel shows servo records and reports what the user does with its
// controls. What a move, a jump or a Log means (output to the controller,
// recording, which editor comes to the front) is its owner's business.

#include "core/project.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace kestrova {

class ServoSlider;

// Height of the caption strips atop the main window's two panes (twips).
inline constexpr int kCaptionStripHeight = 300;

// The font of the main window's panes.
QFont PaneFont();

// Colours a pane's caption label as the active pane or an inactive one,
// from the colours of `base`.
void PaintPaneCaption(QLabel* label, const QPalette& base, bool active);

class ServoPanel : public QWidget {
    Q_OBJECT

public:
    // Where a jump button asks the slider to go.
    enum class Jump { Home, Min, Max };
    Q_ENUM(Jump)

    explicit ServoPanel(QWidget* parent = nullptr);

    // Frame captions, slider ranges and enabled states from the records.
    // This moves no servo and emits no position change: a slider whose
    // value falls outside its new range takes the nearest bound and its
    // label shows it, and the servos this happened to are returned, in
    // order, for the owner to decide what to send.
    std::vector<int> ShowServos(const std::array<ServoRecord, kServoCount>& servos);
    // Puts a slider at value (within its range) as the user would: a new
    // value emits positionChanged.
    void MoveSlider(int servo, int32_t value);
    int Position(int servo) const;

    // The position label: its text, and a warning (shown in red, the
    // warning as its tool tip) or none when empty.
    void SetPositionText(int servo, const QString& text);
    void SetPositionWarning(int servo, const QString& warning);
    // Whether the servo's position is known on the open port. Until it is,
    // "position unknown" stands in the frame's title row: the slider shows
    // where the servo is to go, not where it is.
    void SetPositionKnown(int servo, bool known);
    bool PositionKnown(int servo) const;

    // The port check box, set without counting as a click.
    void SetPortChecked(bool checked);
    void SetPortCaption(const QString& caption);

    // Colours the caption strip as the active pane or an inactive one.
    void SetCaptionActive(bool active);

    // The controls, for the owner and for tests.
    QGroupBox* frmServo(int servo) const { return frames_[servo].frame; }
    QScrollBar* hscServo(int servo) const;
    QLabel* lblPos(int servo) const { return frames_[servo].label; }
    QLabel* lblUnknown(int servo) const { return frames_[servo].unknown; }
    QPushButton* cmdHome(int servo) const { return frames_[servo].home; }
    QPushButton* cmdMin(int servo) const { return frames_[servo].min; }
    QPushButton* cmdMax(int servo) const { return frames_[servo].max; }
    QPushButton* cmdLog(int servo) const { return frames_[servo].log; }
    QCheckBox* chkCOM() const { return chkCOM_; }
    QLabel* lblServoControl() const { return lblServoControl_; }

signals:
    // A control of the servo's frame took the keyboard focus (its slider or
    // a button) or was clicked (the frame or the position label). Disabled
    // frames select nothing.
    void servoSelected(int servo);
    // Every change of a slider's value, whoever made it, and once more with
    // the final value when a drag ends.
    void positionChanged(int servo, int value);
    void jumpRequested(int servo, ServoPanel::Jump to);
    // Log: record the slider's position.
    void logRequested(int servo, int position);
    // A click on the port check box; checked is its new state.
    void portClicked(bool checked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Frame {
        QGroupBox* frame = nullptr;
        ServoSlider* slider = nullptr;
        QLabel* label = nullptr;
        QLabel* unknown = nullptr;
        QPushButton* home = nullptr;
        QPushButton* min = nullptr;
        QPushButton* max = nullptr;
        QPushButton* log = nullptr;
        QString name;
    };
    void BuildFrame(int servo);
    // The servo's name as the frame's title, shortened with "..." where it
    // would run into "position unknown".
    void ShowTitle(int servo);

    QWidget* picServoControl_ = nullptr;
    QLabel* lblServoControl_ = nullptr;
    QCheckBox* chkCOM_ = nullptr;
    std::array<Frame, kServoCount> frames_{};
};

}  // namespace kestrova
