#include "sound_player.h"

#include "sound_stream.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>

namespace kestrova::audio {

namespace {

using Clock = std::chrono::steady_clock;

// How much of a streamed sound the thread keeps converted ahead of the output.
constexpr int kAheadMs = 2000;
// Audio the output holds ahead: enough to ride over a scheduling hiccup,
// short enough that a start is heard soon after it is asked for.
constexpr int kBufferMs = 120;
// Room for the output's next read beyond what it holds.
constexpr int kReadMs = 40;
// How long the sound server takes to answer a closed output.
constexpr int kCloseSettleMs = 100;
// An output nobody keeps warm closes after this much silence.
constexpr int kIdleCloseMs = 3000;

struct Event {
    Clock::time_point at;
    std::shared_ptr<const PcmSound> sound;  // none: stop
};

}  // namespace

// The thread's side: the sink, the sound that plays and the waiting events.
// Everything here runs on the player's thread only.
class SoundPlayer::Worker : public QObject {
public:
    explicit Worker(SoundPlayer& owner) : owner_(owner) {}

    // Reads from the sound that plays, silence after it: the sink never runs dry.
    class Feed : public QIODevice {
    public:
        explicit Feed(Worker& worker) : worker_(worker) {}
        bool isSequential() const override { return true; }
        qint64 bytesAvailable() const override { return qint64(1) << 30; }

    protected:
        qint64 readData(char* data, qint64 maxSize) override { return worker_.Fill(data, maxSize); }
        qint64 writeData(const char*, qint64) override { return -1; }

    private:
        Worker& worker_;
    };

    void Open() {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) return;
        const QAudioFormat preferred = device.preferredFormat();
        format_.setSampleRate(preferred.sampleRate() > 0 ? preferred.sampleRate() : 48000);
        format_.setChannelCount(std::clamp(preferred.channelCount(), 1, 2));
        format_.setSampleFormat(QAudioFormat::Float);
        if (!device.isFormatSupported(format_)) format_.setSampleFormat(QAudioFormat::Int16);
        device_ = device;
        owner_.hasDevice_ = true;
        owner_.floatSamples_ = format_.sampleFormat() == QAudioFormat::Float;
        owner_.rate_ = format_.sampleRate();
        owner_.channels_ = format_.channelCount();
        idle_ = new QTimer(this);
        idle_->setSingleShot(true);
        idle_->setInterval(kIdleCloseMs);
        connect(idle_, &QTimer::timeout, this, [this] {
            if (!warm_ && !current_ && events_.empty()) CloseSink();
        });
    }

    void Warm() {
        warm_ = true;
        OpenSink();
    }

    void Schedule(Event event) {
        auto at = std::upper_bound(events_.begin(), events_.end(), event.at,
                                   [](Clock::time_point t, const Event& e) { return t < e.at; });
        // Without an open output nothing plays, so a stop has nothing to end.
        if (!event.sound && !sink_) return;
        events_.insert(at, std::move(event));
        OpenSink();
        UpdateBusy();
    }

    void Clear() {
        events_.clear();
        Switch(nullptr);
        UpdateBusy();
        if (idle_) idle_->start();
    }

    void DropWaiting() {
        events_.clear();
        UpdateBusy();
    }

    // Returns whether an output was open.
    bool Shutdown() {
        events_.clear();
        Switch(nullptr);
        const bool open = sink_ != nullptr;
        CloseSink();
        UpdateBusy();
        return open;
    }

    // Fills one read of the output. Each start or stop lands on the sample
    // that is heard at its time: the output tells how much it has played,
    // so the read's first sample is heard once what is queued before it has.
    qint64 Fill(char* data, qint64 maxSize) {
        // The first read fills the output before it starts; a second one
        // means it consumes: from now on a start is heard on time.
        if (++fills_ >= 2) owner_.running_ = true;
        const int bytesPerFrame = format_.bytesPerFrame();
        const qint64 frames = maxSize / bytesPerFrame;
        const Clock::duration ahead = QueuedAhead();
        const auto heard = Clock::now() + ahead;
        // The longest stretch queued ahead so far sets how early starts must come.
        const double aheadMs = std::chrono::duration<double, std::milli>(ahead).count();
        if (aheadMs > owner_.aheadMs_.load()) owner_.aheadMs_ = aheadMs;
        qint64 done = 0;  // frames of this read filled
        for (;;) {
            qint64 until = frames;
            const bool switching = !events_.empty() && OffsetOf(events_.front().at, heard) < frames;
            if (switching) until = std::max(done, OffsetOf(events_.front().at, heard));
            done = CopySound(data, done, until, bytesPerFrame);
            if (!switching) break;
            Switch(std::move(events_.front().sound));
            events_.pop_front();
        }
        written_ += frames;
        ScheduleReadAhead();
        UpdateBusy();
        if (idle_ && !current_ && events_.empty() && !idle_->isActive()) idle_->start();
        return frames * bytesPerFrame;
    }

private:
    // How long until a sample handed to the output now is heard.
    Clock::duration QueuedAhead() const {
        if (!sink_) return {};
        const int64_t writtenUs = written_ * 1'000'000 / format_.sampleRate();
        const int64_t aheadUs = std::clamp<int64_t>(writtenUs - sink_->processedUSecs(), 0, 1'000'000);
        return std::chrono::microseconds(aheadUs);
    }

    // The frame of a read whose first frame is heard at `heard` that is heard at `at`.
    qint64 OffsetOf(Clock::time_point at, Clock::time_point heard) const {
        if (at <= heard) return 0;
        const double seconds = std::chrono::duration<double>(at - heard).count();
        return qint64(std::min(seconds, 3600.0) * format_.sampleRate());
    }

    // Makes `sound` the one that plays, from its start.
    void Switch(std::shared_ptr<const PcmSound> sound) {
        current_ = std::move(sound);
        position_ = 0;
        ahead_ = {};
        aheadAt_ = 0;
        cursor_.reset();
        if (current_ && current_->rest) cursor_.emplace(current_->rest->Start());
    }

    // Reads one more piece of the streamed sound into what is held ahead.
    void ReadPiece() {
        ahead_.erase(ahead_.begin(), ahead_.begin() + aheadAt_);
        aheadAt_ = 0;
        if (!cursor_->ReadMore(ahead_)) cursor_.reset();
    }

    // Keeps the streamed sound converted ahead of the output, a piece per
    // turn of the thread's loop so that the output's reads come between.
    void ScheduleReadAhead() {
        if (readScheduled_ || !cursor_ || qint64(ahead_.size()) - aheadAt_ >= format_.bytesForDuration(kAheadMs * 1000))
            return;
        readScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            readScheduled_ = false;
            if (!cursor_) return;
            ReadPiece();
            ScheduleReadAhead();
        });
    }

    // Fills frames [from, to) of a read from the sound that plays, silence
    // after it; returns `to`.
    qint64 CopySound(char* data, qint64 from, qint64 to, int bytesPerFrame) {
        qint64 at = from * bytesPerFrame;
        const qint64 end = to * bytesPerFrame;
        if (current_) {
            const qint64 n = std::min(qint64(current_->bytes.size()) - position_, end - at);
            std::memcpy(data + at, current_->bytes.data() + position_, size_t(n));
            position_ += n;
            at += n;
            owner_.framesPlayed_ += n / bytesPerFrame;
            while (at < end && (aheadAt_ < qint64(ahead_.size()) || cursor_)) {
                // Should the reads ahead fall behind, the piece is read now
                // rather than a gap left in the sound.
                if (aheadAt_ >= qint64(ahead_.size())) {
                    ReadPiece();
                    continue;
                }
                const qint64 m = std::min(qint64(ahead_.size()) - aheadAt_, end - at);
                std::memcpy(data + at, ahead_.data() + aheadAt_, size_t(m));
                aheadAt_ += m;
                at += m;
                owner_.framesPlayed_ += m / bytesPerFrame;
            }
            if (position_ >= qint64(current_->bytes.size()) && aheadAt_ >= qint64(ahead_.size()) && !cursor_)
                Switch(nullptr);
        }
        std::memset(data + at, 0, size_t(end - at));
        return to;
    }

    void OpenSink() {
        if (sink_ || device_.isNull()) return;
        sink_ = new QAudioSink(device_, format_, this);
        sink_->setBufferSize(format_.bytesForDuration(kBufferMs * 1000));
        fills_ = 0;
        written_ = 0;
        feed_ = new Feed(*this);
        // Unbuffered: every read is the output's own, so its samples are
        // placed against what the output has queued, not a buffer between.
        feed_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_->start(feed_);
    }

    void CloseSink() {
        if (!sink_) return;
        sink_->stop();
        delete sink_;
        sink_ = nullptr;
        delete feed_;
        feed_ = nullptr;
        owner_.running_ = false;
    }

    void UpdateBusy() { owner_.busy_ = current_ != nullptr || !events_.empty(); }

    SoundPlayer& owner_;
    QAudioDevice device_;
    QAudioFormat format_;
    QAudioSink* sink_ = nullptr;
    Feed* feed_ = nullptr;
    QTimer* idle_ = nullptr;
    bool warm_ = false;
    int fills_ = 0;
    int64_t written_ = 0;  // frames handed to the output since it opened
    std::deque<Event> events_;
    std::shared_ptr<const PcmSound> current_;
    qint64 position_ = 0;  // bytes of its first part played
    // The rest of a streamed sound: its reader and what is converted ahead.
    std::optional<SoundStream::Cursor> cursor_;
    std::vector<char> ahead_;
    qint64 aheadAt_ = 0;  // bytes of it played
    bool readScheduled_ = false;
};

SoundPlayer::SoundPlayer() {
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("Sound"));
    worker_ = new Worker(*this);
    worker_->moveToThread(thread_);
    thread_->start(QThread::TimeCriticalPriority);
    QMetaObject::invokeMethod(worker_, [this] { worker_->Open(); }, Qt::BlockingQueuedConnection);
}

SoundPlayer::~SoundPlayer() {
    bool wasOpen = false;
    QMetaObject::invokeMethod(worker_, [this, &wasOpen] { wasOpen = worker_->Shutdown(); },
                              Qt::BlockingQueuedConnection);
    // The worker and its timer go on their own thread, as it finishes: a
    // timer stopped from any other thread is left running there.
    QObject::connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_->quit();
    thread_->wait();
    worker_ = nullptr;
    delete thread_;
    // The sound server answers a closed output a moment later. Qt's audio
    // connection, torn down when the program exits, crashes if such an
    // answer arrives while it goes (seen: one exit in about twenty under
    // load), so the answers are let in first.
    if (wasOpen) std::this_thread::sleep_for(std::chrono::milliseconds(kCloseSettleMs));
}

std::shared_ptr<const PcmSound> SoundPlayer::Load(const std::string& path, std::string& error) const {
    return LoadSound(path, rate_, channels_, floatSamples_, error);
}

void SoundPlayer::Play(std::shared_ptr<const PcmSound> sound, double delayMs) {
    if (!sound || !hasDevice_) return;
    busy_ = true;
    Event event{Clock::now() + std::chrono::microseconds(int64_t(std::max(0.0, delayMs) * 1000.0)), std::move(sound)};
    QMetaObject::invokeMethod(worker_, [this, event] { worker_->Schedule(event); });
}

void SoundPlayer::Stop(double delayMs) {
    if (!hasDevice_) return;
    Event event{Clock::now() + std::chrono::microseconds(int64_t(std::max(0.0, delayMs) * 1000.0)), nullptr};
    QMetaObject::invokeMethod(worker_, [this, event] { worker_->Schedule(event); });
}

void SoundPlayer::StopAll() {
    if (!hasDevice_) return;
    QMetaObject::invokeMethod(worker_, [this] { worker_->Clear(); }, Qt::BlockingQueuedConnection);
}

void SoundPlayer::DropWaiting() {
    if (!hasDevice_) return;
    QMetaObject::invokeMethod(worker_, [this] { worker_->DropWaiting(); }, Qt::BlockingQueuedConnection);
}

double SoundPlayer::LeadMs() const { return std::max<double>(kBufferMs, aheadMs_.load()) + kReadMs; }

void SoundPlayer::Warm() {
    if (hasDevice_) QMetaObject::invokeMethod(worker_, [this] { worker_->Warm(); });
}

bool SoundPlayer::WaitUntilRunning(int timeoutMs) {
    if (!hasDevice_) return false;
    Warm();
    const auto limit = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!running_ && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return running_;
}

SoundConverter::SoundConverter(int fromChannels, int fromRate, int rate, int channels, bool floatSamples,
                               int64_t expectedFrames)
    : fromChannels_(fromChannels), rate_(rate), channels_(channels),
      step_(rate > 0 ? double(fromRate) / rate : 0.0), sampleBytes_(floatSamples ? sizeof(float) : sizeof(int16_t)),
      floatSamples_(floatSamples), valid_(fromChannels > 0 && fromRate > 0 && rate > 0 && channels > 0),
      fromRate_(fromRate) {
    if (!valid_) return;
    last_.resize(size_t(fromChannels));
    const auto frames = int64_t(double(std::max<int64_t>(0, expectedFrames)) * rate / fromRate) + 1;
    out_.bytes.reserve(size_t(frames) * size_t(channels) * sampleBytes_);
}

// One output channel of an input frame: the same channel, the mix of all
// for a mono output, the first for a channel the input lacks.
float SoundConverter::Channel(const float* f, int channel) const {
    if (channels_ == 1 && fromChannels_ > 1) {
        float sum = 0;
        for (int c = 0; c < fromChannels_; ++c) sum += f[c];
        return sum / float(fromChannels_);
    }
    return channel < fromChannels_ ? f[channel] : f[0];
}

void SoundConverter::Emit(const float* a, const float* b, float t) {
    const size_t at = out_.bytes.size();
    out_.bytes.resize(at + size_t(channels_) * sampleBytes_);
    for (int c = 0; c < channels_; ++c) {
        float v = Channel(a, c) + (Channel(b, c) - Channel(a, c)) * t;
        v = std::clamp(v, -1.0f, 1.0f);
        char* to = &out_.bytes[at + size_t(c) * sampleBytes_];
        if (floatSamples_) {
            std::memcpy(to, &v, sizeof(float));
        } else {
            const auto s = int16_t(std::lround(v * 32767.0f));
            std::memcpy(to, &s, sizeof(int16_t));
        }
    }
    ++out_.frames;
}

void SoundConverter::Feed(const float* frames, int64_t count) {
    if (!valid_) return;
    for (int64_t k = 0; k < count; ++k, ++in_) {
        const float* frame = frames + size_t(k) * size_t(fromChannels_);
        // Output frames whose time lies between the last input frame and
        // this one can be made now.
        for (;;) {
            const double x = double(out_.frames) * step_;
            const auto a = int64_t(x);
            if (in_ == 0 || a != in_ - 1) break;
            Emit(last_.data(), frame, float(x - double(a)));
        }
        std::copy(frame, frame + fromChannels_, last_.begin());
    }
}

std::vector<char> SoundConverter::Take() {
    std::vector<char> taken;
    taken.swap(out_.bytes);
    return taken;
}

PcmSound SoundConverter::Finish() {
    if (!valid_ || in_ == 0) return {};
    const int64_t total = std::max<int64_t>(1, int64_t(double(in_) * rate_ / fromRate_));
    // Output frames after the last input frame's time hold that frame.
    while (out_.frames < total) Emit(last_.data(), last_.data(), 0.0f);
    // Frames made past the end (of the time of the last input frame) are dropped.
    const size_t extra = size_t(out_.frames - total) * size_t(channels_) * sampleBytes_;
    out_.bytes.resize(out_.bytes.size() - std::min(out_.bytes.size(), extra));
    out_.frames = total;
    return std::move(out_);
}

PcmSound ConvertSound(const std::vector<float>& samples, int fromChannels, int fromRate, int rate, int channels,
                      bool floatSamples) {
    if (fromChannels <= 0) return {};
    const int64_t frames = int64_t(samples.size()) / fromChannels;
    SoundConverter converter(fromChannels, fromRate, rate, channels, floatSamples, frames);
    converter.Feed(samples.data(), frames);
    return converter.Finish();
}

}  // namespace kestrova::audio
