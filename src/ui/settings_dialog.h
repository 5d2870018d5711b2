#pragma once
// The settings dialog: serial port, line speed, synch byte, controller mode,
// playback priority and auto-disable, with the device each port number
// stands for on this machine.

#include "core/project.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace kestrova {

class frmSettings : public QDialog {
    Q_OBJECT
public:
    // applyCommSettings puts the settings in force on the serial port.
    frmSettings(ProjectSettings& settings, std::function<void()> applyCommSettings, QWidget* parent = nullptr);

    QComboBox* cboCOMPort = nullptr;
    QComboBox* cboDevice = nullptr;
    QComboBox* cboBaudRate = nullptr;
    QComboBox* cboSynchByte = nullptr;
    QComboBox* cboSSCMode = nullptr;
    QComboBox* cboPriority = nullptr;
    QCheckBox* chkAutoDisable = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

public slots:
    // Stores the choices, applies them to the port and writes them to the
    // store; a store that cannot be written is reported once, and the
    // choices stay in force.
    void OK();

private:
    void ShowDeviceOfPort();

    ProjectSettings& settings_;
    std::function<void()> applyCommSettings_;
    QString shownDevice_;  // what the device list showed for the port
};

}  // namespace kestrova
