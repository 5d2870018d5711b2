#include "servo_output_table.h"

#include "core/controller_setup.h"

#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>

namespace kestrova {

namespace {

QSpinBox* Spin(QWidget* parent, const QString& name, int low, int high, int value, const QString& suffix) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

}  // namespace

ServoOutputTable::ServoOutputTable(const Project& project, QWidget* parent)
    : QGroupBox(QStringLiteral("Controller Output"), parent) {
    setObjectName(QStringLiteral("servoOutput"));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    // Two blocks of eight servos side by side keep the dialog short.
    const QString us = QStringLiteral(" \u00b5s");
    for (int block = 0; block < 2; ++block) {
        const int col = block * 4;
        grid->addWidget(new QLabel(QStringLiteral("Servo"), this), 0, col);
        grid->addWidget(new QLabel(QStringLiteral("Channel"), this), 0, col + 1);
        grid->addWidget(new QLabel(QStringLiteral("Pulse at 0"), this), 0, col + 2);
        grid->addWidget(new QLabel(QStringLiteral("Pulse at 254"), this), 0, col + 3);
    }
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = project.Servos[s];
        const int row = 1 + s % 8, col = (s / 8) * 4;
        const QString n = QString::number(s + 1);
        channel_[s] = Spin(this, QStringLiteral("spnChannel") + n, 0, kHighestChannel, ChannelOf(servo, s), {});
        pulseMin_[s] = Spin(this, QStringLiteral("spnPulseMin") + n, kLowestPulse, kHighestPulse,
                            std::clamp(servo.PulseMin, kLowestPulse, kHighestPulse), us);
        pulseMax_[s] = Spin(this, QStringLiteral("spnPulseMax") + n, kLowestPulse, kHighestPulse,
                            std::clamp(servo.PulseMax, kLowestPulse, kHighestPulse), us);
        for (QSpinBox* box : {pulseMin_[s], pulseMax_[s]}) box->setSingleStep(10);
        grid->addWidget(new QLabel(n, this), row, col);
        grid->addWidget(channel_[s], row, col + 1);
        grid->addWidget(pulseMin_[s], row, col + 2);
        grid->addWidget(pulseMax_[s], row, col + 3);
    }
    setToolTip(QStringLiteral("Where each servo is plugged in on the controller, and the pulses its positions map "
                              "to (used by the Pololu and SSC-32 controllers and the PCA9685 export)"));
}

std::string ServoOutputTable::Problem() const {
    for (int s = 0; s < kServoCount; ++s) {
        if (pulseMin_[s]->value() >= pulseMax_[s]->value()) {
            return "The pulse at position 0 of servo " + std::to_string(s + 1) + " (" +
                   std::to_string(pulseMin_[s]->value()) + " \u00b5s) must be below its pulse at 254 (" +
                   std::to_string(pulseMax_[s]->value()) + " \u00b5s).";
        }
    }
    return {};
}

void ServoOutputTable::Apply(Project& project) const {
    for (int s = 0; s < kServoCount; ++s) {
        ServoRecord& servo = project.Servos[s];
        servo.Channel = channel_[s]->value() == s ? -1 : channel_[s]->value();
        servo.PulseMin = pulseMin_[s]->value();
        servo.PulseMax = pulseMax_[s]->value();
    }
}

}  // namespace kestrova
