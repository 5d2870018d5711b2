#pragma once
// The execution window's record controls: an arm toggle per servo, the
// lead-in, and Record, which plays the range between the start and stop
// markers with its sound while the armed servos follow their inputs. While
// a take runs the button and the window's caption turn red. At the end the
// armed servos' samples are fitted into their programs through the host;
// a take cut short (Stop, an unplugged device) offers its samples to keep
// or discard.

#include "capture/mapping.h"
#include "capture/take.h"
#include "core/messages.h"

#include <QGroupBox>

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kestrova {

class frmExe;

// What a take needs from the rest of the program.
class CaptureHost {
public:
    virtual ~CaptureHost() = default;
    virtual Mapping CurrentMapping() = 0;
    virtual CaptureSettings Settings() = 0;
    // The sources, started if they were not.
    virtual std::vector<InputSource*> Sources() = 0;
    virtual int32_t SliderPosition(int servo) = 0;
    // Puts the new programs into the editors (each one undo step) and rebuilds.
    virtual void ApplyPrograms(const std::array<std::optional<std::string>, kServoCount>& programs) = 0;
    virtual MessageAnswer Ask(const Message& message) = 0;
};

class RecordPanel : public QGroupBox {
    Q_OBJECT
public:
    RecordPanel(frmExe& window, Project& project);

    void SetHost(CaptureHost* host) { host_ = host; }
    // Records a take over the markers' range; false when it could not start.
    bool Record();
    bool Recording() const { return session_ != nullptr; }

    QCheckBox* Arm(int servo) const { return arms_[size_t(servo)]; }
    QPushButton* RecordButton() const { return record_; }
    QSpinBox* LeadIn() const { return leadIn_; }
    QLabel* Status() const { return status_; }
    // Names and enabled states from the servo records.
    void ShowServos();

private:
    void SetRecordingLook(bool recording);
    void Finish(const TakeRecording& take, bool complete, const std::string& unplugged);

    frmExe& window_;
    Project& project_;
    CaptureHost* host_ = nullptr;
    CaptureSession* session_ = nullptr;
    std::array<QCheckBox*, kServoCount> arms_{};
    QPushButton* record_ = nullptr;
    QSpinBox* leadIn_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace kestrova
