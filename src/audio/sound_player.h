#pragma once
// Plays decoded sounds through the default audio output on a thread of its
// own. The thread owns the audio sink and feeds it from memory, so neither a
// busy wait nor a blocked event loop of the caller can starve it. One sound
// plays at a time; a new one replaces it. Starts and stops can be given a
// delay: they then take effect that many milliseconds after the call, in
// the order they were asked for.
//
// The first seconds of a sound are decoded and converted to the output's
// format before it plays (Load), so that a start costs nothing but a pointer
// swap; the thread reads and converts the rest of a long sound from its file
// a little ahead of the output as it plays.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QThread;

namespace kestrova::audio {

class SoundStream;

// Why nothing is heard when no output device was found.
inline constexpr const char* kNoSoundOutput =
    "No sound output was found (is a sound server running?), so no sound can be played.";

// A sound in the output's format, ready to play.
struct PcmSound {
    // The whole sound, or its first part when `rest` is set.
    std::vector<char> bytes;
    // Frames of the whole sound (a file shorter than its header says ends sooner).
    int64_t frames = 0;
    // What follows `bytes`, read from the file (kept open) as it plays.
    std::shared_ptr<SoundStream> rest;
};

class SoundPlayer {
public:
    SoundPlayer();
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Opens `path` for this output and converts its first seconds (all of a
    // short sound); nothing and `error` set when the file cannot be read or
    // holds no sound. Never blocks on a file that lies about its length:
    // what is there is played, up to six hours, whatever its channels.
    std::shared_ptr<const PcmSound> Load(const std::string& path, std::string& error) const;

    // Starts `sound` after `delayMs` (0: now), replacing what plays then.
    void Play(std::shared_ptr<const PcmSound> sound, double delayMs = 0);
    // Stops what plays after `delayMs`; starts asked for later still happen.
    void Stop(double delayMs = 0);
    // Stops at once and drops every start or stop still waiting.
    void StopAll();
    // Drops every start or stop still waiting; what plays goes on.
    void DropWaiting();
    // How long before its time a start must be asked for to be heard on
    // its sample: the audio the output holds queued (the longest seen, at
    // least the buffer asked for), and one read more.
    double LeadMs() const;
    // Opens the output ahead of the first start and keeps it open (playing
    // silence) until the player goes, so starts are heard on time.
    void Warm();
    // Warm, then waits (at most `timeoutMs`) until the output consumes what
    // it is fed: a newly opened output takes a while before it plays.
    bool WaitUntilRunning(int timeoutMs);

    // An output device was found (without one every start is silent).
    bool HasDevice() const { return hasDevice_; }
    // True while a sound plays or a start waits.
    bool Busy() const { return busy_.load(); }
    // Frames of sound (not silence) handed to the output so far.
    int64_t FramesPlayed() const { return framesPlayed_.load(); }

    class Worker;

private:
    QThread* thread_ = nullptr;
    Worker* worker_ = nullptr;
    bool hasDevice_ = false;
    bool floatSamples_ = true;
    int rate_ = 48000;
    int channels_ = 2;
    std::atomic<bool> busy_{false};
    std::atomic<bool> running_{false};
    std::atomic<int64_t> framesPlayed_{0};
    std::atomic<double> aheadMs_{0};
};

// Converts a sound to `rate` and `channels`, as 32-bit floats or 16-bit
// integers (native byte order), as it is fed piece by piece: a long sound
// is never held decoded whole, only in the output's format. Each output
// frame lies between the two input frames around its time (linear).
class SoundConverter {
public:
    // `expectedFrames`: how many input frames are likely to come (room is
    // made for their output ahead); 0 when not known.
    SoundConverter(int fromChannels, int fromRate, int rate, int channels, bool floatSamples,
                   int64_t expectedFrames = 0);
    // Takes `count` interleaved input frames.
    void Feed(const float* frames, int64_t count);
    // Hands over the output made so far; what is fed later goes on from it.
    std::vector<char> Take();
    // The sound converted from all that was fed (its bytes: those not taken).
    PcmSound Finish();

private:
    float Channel(const float* frame, int channel) const;
    void Emit(const float* a, const float* b, float t);

    int fromChannels_, rate_, channels_;
    double step_;  // input frames per output frame
    size_t sampleBytes_;
    bool floatSamples_;
    bool valid_;
    std::vector<float> last_;  // the newest input frame
    int64_t in_ = 0;           // input frames fed
    int64_t fromRate_;
    PcmSound out_;
};

// Load for an output of `rate`, `channels` and sample type.
std::shared_ptr<const PcmSound> LoadSound(const std::string& path, int rate, int channels, bool floatSamples,
                                          std::string& error);

// Converts a decoded sound (interleaved floats) at once, as SoundConverter does.
PcmSound ConvertSound(const std::vector<float>& samples, int fromChannels, int fromRate, int rate, int channels,
                      bool floatSamples);

}  // namespace kestrova::audio
