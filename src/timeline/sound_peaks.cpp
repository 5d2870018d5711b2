#include "sound_peaks.h"

#include <QFileInfo>
#include <QMetaObject>

namespace kestrova {

SoundPeaks::SoundPeaks(QObject* parent) : QObject(parent) {
    // One file at a time: the other core stays with the window and playback.
    pool_.setMaxThreadCount(1);
}

SoundPeaks::~SoundPeaks() {
    cancel_->store(true);
    pool_.waitForDone();
}

std::shared_ptr<const SoundPeaks::Entry> SoundPeaks::Get(const QString& file) {
    const QFileInfo info(file);
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    auto found = entries_.find(file);
    if (found != entries_.end()) {
        const std::shared_ptr<Entry>& entry = found.value();
        const bool reading = entry->state.load() == State::Pending;
        if (reading || (entry->modified == modified && entry->size == size)) return entry;
    }
    auto entry = std::make_shared<Entry>();
    entry->modified = modified;
    entry->size = size;
    entries_.insert(file, entry);
    if (!info.exists()) {
        entry->error = QStringLiteral("The file was not found.");
        entry->state.store(State::Failed);
        return entry;
    }
    auto cancel = cancel_;
    const std::string path = QFile::encodeName(file).toStdString();
    pool_.start([this, entry, cancel, path, file] {
        std::string error;
        if (audio::ComputePeaks(path, entry->peaks, error, cancel.get())) {
            entry->state.store(State::Ready, std::memory_order_release);
        } else {
            entry->error = QString::fromStdString(error);
            entry->state.store(State::Failed, std::memory_order_release);
        }
        // The destructor waits for this task, so `this` is alive here.
        if (!cancel->load()) QMetaObject::invokeMethod(this, [this, file] { emit Ready(file); }, Qt::QueuedConnection);
    });
    return entry;
}

void SoundPeaks::WaitForAll() { pool_.waitForDone(); }

}  // namespace kestrova
