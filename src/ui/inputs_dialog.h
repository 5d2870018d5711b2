#pragma once
// Record > Inputs...: for each servo the control that drives it in a take
// (a gamepad axis, a MIDI controller, an OSC address, or its slider), invert,
// and Learn (move a control; it is picked), with each control's live value;
// below, the per-user capture settings.

#include "capture/input_source.h"
#include "capture/mapping.h"
#include "core/project.h"

#include <QDialog>

#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace kestrova {

class InputsDialog : public QDialog {
    Q_OBJECT
public:
    // `status`: the devices found and the sources that could not start.
    InputsDialog(const Project& project, const Mapping& mapping, const CaptureSettings& settings,
                 std::vector<InputSource*> sources, const QString& status, QWidget* parent = nullptr);

    Mapping ChosenMapping() const;
    CaptureSettings ChosenSettings() const;

    QComboBox* Source(int servo) const { return rows_[size_t(servo)].source; }
    QCheckBox* Invert(int servo) const { return rows_[size_t(servo)].invert; }
    QPushButton* Learn(int servo) const { return rows_[size_t(servo)].learn; }
    QLabel* LiveValue(int servo) const { return rows_[size_t(servo)].value; }
    // Polls the sources and shows the values (a timer does it while shown).
    void Refresh();

private:
    struct Row {
        QComboBox* source = nullptr;
        QCheckBox* invert = nullptr;
        QPushButton* learn = nullptr;
        QLabel* value = nullptr;
    };
    void FillChoices(int servo, const ControlId& current);
    void StartLearning(int servo);
    InputSource* SourceOf(const ControlId& control) const;

    const Project& project_;
    std::vector<InputSource*> sources_;
    std::array<Row, kServoCount> rows_{};
    int learning_ = -1;
    int learnTicks_ = 0;
    QTimer* timer_ = nullptr;
    QSpinBox* offset_ = nullptr;
    QSpinBox* leadIn_ = nullptr;
    QSpinBox* tolerance_ = nullptr;
    QSpinBox* deadZone_ = nullptr;
    QSpinBox* oscPort_ = nullptr;
    QLineEdit* oscAddress_ = nullptr;
};

}  // namespace kestrova
