#include "audio/peaks.h"

#include "audio/sound_file.h"

#include <algorithm>

namespace kestrova::audio {

void PeakPyramid::Append(const float* samples, int64_t frames, int channels) {
    if (levels_.empty()) levels_.emplace_back();
    std::vector<PeakPair>& base = levels_[0];
    const size_t count = size_t(channels);
    for (int64_t f = 0; f < frames; ++f) {
        const float* frame = samples + size_t(f) * count;
        float lo = frame[0], hi = frame[0];
        for (size_t c = 1; c < count; ++c) {
            lo = std::min(lo, frame[c]);
            hi = std::max(hi, frame[c]);
        }
        if (pendingFrames_ == 0) {
            pending_ = {lo, hi};
        } else {
            pending_.lo = std::min(pending_.lo, lo);
            pending_.hi = std::max(pending_.hi, hi);
        }
        if (++pendingFrames_ == kBaseBlock) {
            base.push_back(pending_);
            pendingFrames_ = 0;
        }
    }
    frames_ += frames;
}

void PeakPyramid::Finish() {
    if (levels_.empty()) levels_.emplace_back();
    if (pendingFrames_ > 0) levels_[0].push_back(pending_);
    pendingFrames_ = 0;
    while (levels_.back().size() > size_t(kFactor)) {
        const std::vector<PeakPair>& below = levels_.back();
        std::vector<PeakPair> level((below.size() + kFactor - 1) / kFactor);
        for (size_t i = 0; i < level.size(); ++i) {
            const size_t from = i * kFactor, to = std::min(below.size(), from + kFactor);
            PeakPair pair = below[from];
            for (size_t j = from + 1; j < to; ++j) {
                pair.lo = std::min(pair.lo, below[j].lo);
                pair.hi = std::max(pair.hi, below[j].hi);
            }
            level[i] = pair;
        }
        levels_.push_back(std::move(level));
    }
}

bool PeakPyramid::Range(int64_t first, int64_t last, PeakPair& out) const {
    first = std::max<int64_t>(first, 0);
    last = std::min(last, frames_);
    if (levels_.empty() || levels_[0].empty() || last <= first) return false;
    // The coarsest level whose blocks are no longer than the span.
    size_t level = 0;
    int64_t block = kBaseBlock;
    while (level + 1 < levels_.size() && block * kFactor <= last - first) {
        block *= kFactor;
        ++level;
    }
    const std::vector<PeakPair>& entries = levels_[level];
    const size_t from = size_t(first / block);
    const size_t to = std::min(entries.size(), size_t((last - 1) / block) + 1);
    if (from >= to) return false;
    out = entries[from];
    for (size_t i = from + 1; i < to; ++i) {
        out.lo = std::min(out.lo, entries[i].lo);
        out.hi = std::max(out.hi, entries[i].hi);
    }
    return true;
}

bool ComputePeaks(const std::string& path, PeakPyramid& out, std::string& error,
                  const std::atomic<bool>* cancel) {
    out = PeakPyramid();
    SoundFile file;
    if (!file.Open(path)) {
        error = file.ErrorString();
        return false;
    }
    const int channels = file.Info().channels;
    out.SetSampleRate(file.Info().sampleRate);
    constexpr int64_t kChunk = 65536;
    std::vector<float> chunk(size_t(kChunk) * size_t(channels));
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            error = "cancelled";
            return false;
        }
        const int64_t got = file.Read(chunk.data(), kChunk);
        if (got < 0) {
            // What came before a read error is still the sound's start.
            if (out.Frames() > 0) break;
            error = file.ErrorString();
            return false;
        }
        if (got == 0) break;
        out.Append(chunk.data(), got, channels);
    }
    out.Finish();
    return true;
}

}  // namespace kestrova::audio
