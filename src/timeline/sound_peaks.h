#pragma once
// The waveforms of the cued sounds, each read once on a worker thread and
// kept in memory by file name. Asking for a sound that is not known yet
// starts its reading and answers "pending"; Ready() is raised on the
// window's thread when a reading ends, well or not.

#include "audio/peaks.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace kestrova {

class SoundPeaks : public QObject {
    Q_OBJECT
public:
    enum class State { Pending, Ready, Failed };
    struct Entry {
        std::atomic<State> state{State::Pending};
        audio::PeakPyramid peaks;  // read only once state is Ready
        QString error;             // set once state is Failed
        QDateTime modified;
        qint64 size = -1;
    };

    explicit SoundPeaks(QObject* parent = nullptr);
    ~SoundPeaks() override;

    // The entry of `file` (an absolute path); starts reading it when it is
    // new or changed on disk since it was read.
    std::shared_ptr<const Entry> Get(const QString& file);
    // Waits for every reading started (tests, benchmarks).
    void WaitForAll();

signals:
    void Ready(const QString& file);

private:
    QThreadPool pool_;
    QHash<QString, std::shared_ptr<Entry>> entries_;
    std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace kestrova
