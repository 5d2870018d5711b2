#include "sound_player.h"

#include "core/cue_path.h"

#include <QDir>

namespace kestrova {

QtSoundOutput::QtSoundOutput(std::string baseFolder) : baseFolder_(std::move(baseFolder)) {
    // A new output takes a while before it plays: opened now, it is running
    // by the time a cue comes.
    player_.Warm();
}

QtSoundOutput::~QtSoundOutput() { player_.StopAll(); }

QString QtSoundOutput::Resolve(const std::string& path) const {
    return QString::fromStdString(ResolveCuePath(path, baseFolder_));
}

std::optional<Message> QtSoundOutput::Prepare(const std::vector<std::string>& paths) {
    sounds_.clear();
    std::string problems;
    for (const std::string& path : paths) {
        if (sounds_.count(path)) continue;
        std::string error;
        const QString file = Resolve(path);
        auto sound = file.isEmpty() ? nullptr : player_.Load(file.toStdString(), error);
        if (!sound) problems += "\r\n" + file.toStdString() + ": " + (error.empty() ? "no file named" : error);
        sounds_[path] = std::move(sound);
    }
    // Cues start on their frames only once the output plays.
    if (!paths.empty()) player_.WaitUntilRunning(3000);
    std::string text;
    if (!player_.HasDevice() && !paths.empty() && !toldNoDevice_) {
        // Said once; the servos play all the same.
        toldNoDevice_ = true;
        text = std::string(audio::kNoSoundOutput) + "\r\nThe servos play without their sounds.";
    }
    if (!problems.empty()) {
        if (!text.empty()) text += "\r\n";
        text += "These sound files cannot be played; their cues are skipped:" + problems;
    }
    if (text.empty()) return std::nullopt;
    return Message{text, "Sound Not Played", MessageIcon::Exclamation, MessageButtons::Ok};
}

void QtSoundOutput::Play(const std::string& path, double delayMs) {
    if (!player_.HasDevice()) return;
    auto found = sounds_.find(path);
    if (found == sounds_.end()) {
        // A cue not prepared (played without Prepare): decoded now, quietly.
        std::string error;
        found = sounds_.emplace(path, player_.Load(Resolve(path).toStdString(), error)).first;
    }
    if (found->second) player_.Play(found->second, delayMs);
}

void QtSoundOutput::Stop(double delayMs) { player_.Stop(delayMs); }

void QtSoundOutput::StopAll() { player_.StopAll(); }

void QtSoundOutput::DropWaiting() { player_.DropWaiting(); }

double QtSoundOutput::LeadMs() const { return player_.HasDevice() ? player_.LeadMs() : 0; }

}  // namespace kestrova
