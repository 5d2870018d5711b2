#include "sound_player.h"

#include "sound_file.h"

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
#include <thread>

namespace kestrova::audio {

namespace {

using Clock = std::chrono::steady_clock;

// The longest sound decoded: five minutes at 48 kHz.
constexpr int64_t kMaxFrames = int64_t(48000) * 300;
// Audio the output holds ahead: enough to ride over a scheduling hiccup,
// short enough that a start is heard soon after it is asked for.
constexpr int kBufferMs = 120;
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
        timer_ = new QTimer(this);
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, [this] { Fire(); });
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
        events_.insert(at, std::move(event));
        Fire();
    }

    void Clear() {
        events_.clear();
        current_.reset();
        if (timer_) timer_->stop();
        UpdateBusy();
        if (idle_) idle_->start();
    }

    void Shutdown() {
        events_.clear();
        current_.reset();
        CloseSink();
        UpdateBusy();
    }

    qint64 Fill(char* data, qint64 maxSize) {
        // The first read fills the output before it starts; a second one
        // means it consumes: from now on a start is heard on time.
        if (++fills_ >= 2) owner_.running_ = true;
        qint64 done = 0;
        if (current_) {
            const qint64 left = qint64(current_->bytes.size()) - position_;
            const qint64 n = std::min(left, maxSize);
            std::memcpy(data, current_->bytes.data() + position_, size_t(n));
            position_ += n;
            done = n;
            owner_.framesPlayed_ += n / format_.bytesPerFrame();
            if (position_ >= qint64(current_->bytes.size())) {
                current_.reset();
                UpdateBusy();
                if (idle_ && events_.empty()) idle_->start();
            }
        }
        std::memset(data + done, 0, size_t(maxSize - done));
        return maxSize;
    }

private:
    void Fire() {
        if (!timer_) return;
        const auto now = Clock::now();
        while (!events_.empty() && events_.front().at <= now) {
            Event event = std::move(events_.front());
            events_.pop_front();
            current_ = std::move(event.sound);
            position_ = 0;
            if (current_) OpenSink();
        }
        UpdateBusy();
        if (!events_.empty()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(events_.front().at - now);
            timer_->start(int(std::max<int64_t>(0, wait.count())));
        }
    }

    void OpenSink() {
        if (sink_ || device_.isNull()) return;
        sink_ = new QAudioSink(device_, format_, this);
        sink_->setBufferSize(format_.bytesForDuration(kBufferMs * 1000));
        fills_ = 0;
        feed_ = new Feed(*this);
        feed_->open(QIODevice::ReadOnly);
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
    QTimer* timer_ = nullptr;
    QTimer* idle_ = nullptr;
    bool warm_ = false;
    int fills_ = 0;
    std::deque<Event> events_;
    std::shared_ptr<const PcmSound> current_;
    qint64 position_ = 0;
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
    QMetaObject::invokeMethod(worker_, [this] { worker_->Shutdown(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete worker_;
    delete thread_;
}

std::shared_ptr<const PcmSound> SoundPlayer::Load(const std::string& path, std::string& error) const {
    DecodedSound decoded;
    if (!DecodeSound(path, decoded, error, kMaxFrames)) return nullptr;
    if (decoded.channels <= 0 || decoded.sampleRate <= 0 || decoded.Frames() == 0) {
        error = "The file holds no sound.";
        return nullptr;
    }
    return std::make_shared<const PcmSound>(
        ConvertSound(decoded.samples, decoded.channels, decoded.sampleRate, rate_, channels_, floatSamples_));
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

PcmSound ConvertSound(const std::vector<float>& samples, int fromChannels, int fromRate, int rate, int channels,
                      bool floatSamples) {
    PcmSound out;
    if (fromChannels <= 0 || fromRate <= 0 || rate <= 0 || channels <= 0) return out;
    const int64_t inFrames = int64_t(samples.size()) / fromChannels;
    out.frames = inFrames == 0 ? 0 : std::max<int64_t>(1, int64_t(double(inFrames) * rate / fromRate));
    const size_t sampleBytes = floatSamples ? sizeof(float) : sizeof(int16_t);
    out.bytes.resize(size_t(out.frames) * size_t(channels) * sampleBytes);
    const double step = double(fromRate) / rate;
    // One output channel of an input frame: the same channel, the mix of
    // all for a mono output, the first for a channel the input lacks.
    auto at = [&](int64_t frame, int channel) {
        const float* f = &samples[size_t(frame) * size_t(fromChannels)];
        if (channels == 1 && fromChannels > 1) {
            float sum = 0;
            for (int c = 0; c < fromChannels; ++c) sum += f[c];
            return sum / float(fromChannels);
        }
        return channel < fromChannels ? f[channel] : f[0];
    };
    for (int64_t i = 0; i < out.frames; ++i) {
        const double x = double(i) * step;
        const int64_t a = std::min<int64_t>(int64_t(x), inFrames - 1);
        const int64_t b = std::min<int64_t>(a + 1, inFrames - 1);
        const float t = float(x - double(a));
        for (int c = 0; c < channels; ++c) {
            float v = at(a, c) + (at(b, c) - at(a, c)) * t;
            v = std::clamp(v, -1.0f, 1.0f);
            const size_t index = size_t(i) * size_t(channels) + size_t(c);
            if (floatSamples) {
                std::memcpy(&out.bytes[index * sizeof(float)], &v, sizeof(float));
            } else {
                const auto s = int16_t(std::lround(v * 32767.0f));
                std::memcpy(&out.bytes[index * sizeof(int16_t)], &s, sizeof(int16_t));
            }
        }
    }
    return out;
}

}  // namespace kestrova::audio
