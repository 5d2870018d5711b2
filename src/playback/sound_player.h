#pragma once
// WAV cues through QSoundEffect: one sound at a time, asynchronous, files
// loaded ahead of playback so a cue starts on its frame.

#include "playback_engine.h"

#include <QHash>
#include <QString>

#include <memory>

class QSoundEffect;

namespace kestrova {

class QtSoundOutput : public SoundOutput {
public:
    // Relative cue paths are taken from `baseFolder` (the project's folder).
    explicit QtSoundOutput(std::string baseFolder = {});
    ~QtSoundOutput() override;

    void Prepare(const std::vector<std::string>& paths) override;
    void Play(const std::string& path) override;
    void Stop() override;

    // The file a cue path names: absolute as it stands, relative to the base folder.
    QString Resolve(const std::string& path) const;
    // The sound playing now (empty when none), for tests.
    QString Playing() const;

private:
    QSoundEffect* Effect(const QString& file);

    std::string baseFolder_;
    QHash<QString, QSoundEffect*> effects_;
    QSoundEffect* current_ = nullptr;
};

}  // namespace kestrova
