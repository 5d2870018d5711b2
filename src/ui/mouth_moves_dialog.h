#pragma once
// "Generate Moves from Sound": picks a sound (the cue list's sounds are
// offered), the rate and the servo's closed and open positions, and makes
// the Mov and Wait lines of a mouth track. The main window inserts them.

#include "audio/mouth_moves.h"
#include "core/project.h"

#include <QDialog>

#include <functional>
#include <string>

class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace kestrova {

// Where new text goes in a servo's program: the frame the program has
// reached there and the position the servo then holds. `prefix` is the
// program text before that point. False with `error` set when the prefix
// does not build.
bool ProgramReachAt(const Project& project, int servo, const std::string& prefix, int32_t& frame,
                    int32_t& position, std::string& error);

class frmMouthMoves : public QDialog {
    Q_OBJECT
public:
    // `folder` is where relative cue paths are looked up; `chooseFile`
    // answers the "..." button (an empty answer changes nothing).
    frmMouthMoves(const Project& project, int servo, int framesPerSecond, std::string folder,
                  std::function<QString()> chooseFile, QWidget* parent = nullptr);

    // The options as the boxes hold them (at and from come from the caller).
    audio::MouthOptions Options() const;
    // The sound file as a path to open.
    std::string SoundPath() const;

    QComboBox* cboSound() const { return sound_; }
    QSpinBox* spnFPS() const { return fps_; }
    QSpinBox* spnClosed() const { return closed_; }
    QSpinBox* spnOpen() const { return open_; }
    QSpinBox* spnStart() const { return start_; }

private:
    void SoundChosen(int index);

    const Project& project_;
    std::string folder_;
    std::function<QString()> chooseFile_;
    QComboBox* sound_ = nullptr;
    QSpinBox* fps_ = nullptr;
    QSpinBox* closed_ = nullptr;
    QSpinBox* open_ = nullptr;
    QDoubleSpinBox* threshold_ = nullptr;
    QSpinBox* smooth_ = nullptr;
    QSpinBox* lead_ = nullptr;
    QSpinBox* start_ = nullptr;
};

}  // namespace kestrova
