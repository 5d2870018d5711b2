#pragma once
// WAV cues through the sound player: files decoded when playback starts,
// then started and stopped on the player's own thread, so a cue starts on
// its frame and never stutters however busy the caller is.

#include "audio/sound_player.h"
#include "playback_engine.h"

#include <QString>

#include <map>
#include <memory>

namespace kestrova {

class QtSoundOutput : public SoundOutput {
public:
    // Relative cue paths are taken from `baseFolder` (the project's folder).
    explicit QtSoundOutput(std::string baseFolder = {});
    ~QtSoundOutput() override;

    // Decodes every file; those that cannot be played are named in one
    // message (path and reason) and their cues are skipped. Without an
    // output device the message says so instead, the first time only.
    std::optional<Message> Prepare(const std::vector<std::string>& paths) override;
    void Play(const std::string& path, double delayMs) override;
    void Stop(double delayMs) override;
    void StopAll() override;
    void DropWaiting() override;
    double LeadMs() const override;

    // The file a cue path names: absolute as it stands, relative to the base folder.
    QString Resolve(const std::string& path) const;
    audio::SoundPlayer& Player() { return player_; }

private:
    std::string baseFolder_;
    audio::SoundPlayer player_;
    std::map<std::string, std::shared_ptr<const audio::PcmSound>> sounds_;  // by cue path; none: not playable
    bool toldNoDevice_ = false;
};

}  // namespace kestrova
