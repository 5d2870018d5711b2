#pragma once
// The servo settings' "Controller Output" part: each servo's channel on
// the board and the pulse range its positions 0 to 254 span. A working
// copy; only Apply writes it into the servo records.

#include "core/project.h"

#include <QGroupBox>

#include <array>
#include <string>

class QSpinBox;

namespace kestrova {

class ServoOutputTable : public QGroupBox {
    Q_OBJECT
public:
    ServoOutputTable(const Project& project, QWidget* parent = nullptr);

    // Why the values cannot be kept, as a sentence; empty when they can.
    std::string Problem() const;
    void Apply(Project& project) const;

    QSpinBox* Channel(int servo) const { return channel_[servo]; }
    QSpinBox* PulseMin(int servo) const { return pulseMin_[servo]; }
    QSpinBox* PulseMax(int servo) const { return pulseMax_[servo]; }

private:
    std::array<QSpinBox*, kServoCount> channel_{}, pulseMin_{}, pulseMax_{};
};

}  // namespace kestrova
