#pragma once
// File > Export for Arduino...: the choices of an export (folder, output
// mode, frame rate, loop, trigger, channels, pulse range), remembered for the
// user between sessions, and the export itself with its report.

#include "core/messages.h"
#include "core/project.h"
#include "export/show_encoder.h"
#include "files/registry.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace kestrova {

struct ArduinoExportChoices {
    std::string folder;
    ExportOptions options;
};

// The user's last choices; defaults where none are stored.
ArduinoExportChoices LoadArduinoExportChoices(const StoreLocation& store);
void SaveArduinoExportChoices(const StoreLocation& store, const ArduinoExportChoices& choices);

class ArduinoExportDialog : public QDialog {
    Q_OBJECT
public:
    // chooseFolder asks for a folder (empty when cancelled); tests replace it.
    // A refused OK is explained through `messages` (by default a message box).
    using FolderChooser = std::function<QString(QWidget* owner, const QString& start)>;
    ArduinoExportDialog(const ArduinoExportChoices& choices, QWidget* parent = nullptr, FolderChooser chooseFolder = {},
                        MessageHandler messages = {});

    // The choices as the fields show them; false with a message when a field
    // holds something that cannot be exported.
    bool Choices(ArduinoExportChoices& choices, std::string& error) const;

    QLineEdit* folderEdit() const { return folder_; }
    QComboBox* modeBox() const { return mode_; }
    QSpinBox* fpsBox() const { return fps_; }
    QCheckBox* loopBox() const { return loop_; }
    QCheckBox* triggerBox() const { return trigger_; }
    QSpinBox* pinBox() const { return pin_; }
    QLineEdit* channelsEdit() const { return channels_; }
    QSpinBox* minPulseBox() const { return minPulse_; }
    QSpinBox* maxPulseBox() const { return maxPulse_; }

public slots:
    void accept() override;

private:
    void UpdateEnabled();

    FolderChooser chooseFolder_;
    MessageHandler messages_;
    QLineEdit* folder_;
    QComboBox* mode_;
    QSpinBox* fps_;
    QCheckBox* loop_;
    QCheckBox* trigger_;
    QSpinBox* pin_;
    QLineEdit* channels_;
    QSpinBox* minPulse_;
    QSpinBox* maxPulse_;
    QLabel* servoBoardCaption_;
};

// The whole command: builds when needed (build returns whether the animation
// is now built and unmodified), asks for the choices (exec runs the dialog;
// by default modally), exports, remembers the choices and reports the sizes
// or the reason of a refusal through `messages`. The choices are kept in
// `store`.
void ExportForArduino(QWidget* owner, Project& project, const std::function<bool()>& build,
                      const MessageHandler& messages, const StoreLocation& store,
                      const std::function<bool(ArduinoExportDialog&)>& exec = {});

}  // namespace kestrova
