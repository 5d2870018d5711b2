#include "sound_player.h"

#include "core/cue_path.h"

#include <QDir>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace kestrova {

QtSoundOutput::QtSoundOutput(std::string baseFolder) : baseFolder_(std::move(baseFolder)) {}

QtSoundOutput::~QtSoundOutput() {
    Stop();
    qDeleteAll(effects_);
}

QString QtSoundOutput::Resolve(const std::string& path) const {
    return QString::fromStdString(ResolveCuePath(path, baseFolder_));
}

QSoundEffect* QtSoundOutput::Effect(const QString& file) {
    if (QSoundEffect* effect = effects_.value(file)) return effect;
    // A file that is not there cannot be played: skipped silently.
    if (!QFileInfo(file).isFile()) return nullptr;
    auto* effect = new QSoundEffect;
    effect->setSource(QUrl::fromLocalFile(file));
    effects_.insert(file, effect);
    return effect;
}

void QtSoundOutput::Prepare(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) Effect(Resolve(path));
}

void QtSoundOutput::Play(const std::string& path) {
    Stop();
    QSoundEffect* effect = Effect(Resolve(path));
    if (!effect || effect->status() == QSoundEffect::Error) return;
    current_ = effect;
    current_->play();
}

void QtSoundOutput::Stop() {
    if (current_) current_->stop();
    current_ = nullptr;
}

QString QtSoundOutput::Playing() const { return current_ ? current_->source().toLocalFile() : QString(); }

}  // namespace kestrova
