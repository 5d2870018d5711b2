#pragma once
// The waveform of a sound as a small pyramid of minimum/maximum levels, so
// that drawing any span of it at any scale reads a handful of entries per
// pixel column instead of the samples.
//
// Level 0 holds one pair per kBaseBlock sound frames (all channels mixed
// into one envelope); each level above holds one pair per kFactor entries
// of the level below. A ten-minute 44.1 kHz sound takes about 4 MB.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::audio {

struct PeakPair {
    float lo = 0.0f;
    float hi = 0.0f;
};

class PeakPyramid {
public:
    static constexpr int64_t kBaseBlock = 32;
    static constexpr int64_t kFactor = 4;

    // Adds interleaved samples; frames continue where the last call ended.
    void Append(const float* samples, int64_t frames, int channels);
    // Builds the upper levels; call once after the last Append.
    void Finish();

    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int rate) { sampleRate_ = rate; }
    // Sound frames added.
    int64_t Frames() const { return frames_; }
    size_t Levels() const { return levels_.size(); }

    // The envelope over sound frames [first, last), widened to whole blocks
    // of the coarsest level that still gives a few blocks to the span.
    // False when the span holds no sound.
    bool Range(int64_t first, int64_t last, PeakPair& out) const;

private:
    std::vector<std::vector<PeakPair>> levels_;
    PeakPair pending_{};
    int64_t pendingFrames_ = 0;
    int64_t frames_ = 0;
    int sampleRate_ = 0;
};

// Reads the file at `path` through to its end and fills `out`. False with
// `error` set when it cannot be opened or read; stops early (false, error
// "cancelled") when `cancel` becomes true.
bool ComputePeaks(const std::string& path, PeakPyramid& out, std::string& error,
                  const std::atomic<bool>* cancel = nullptr);

}  // namespace kestrova::audio
