#pragma once
// The compiled animation: frames numbered 1 to UpperBound(), each holding
// one position per servo and the number of the WAV cue that starts there.
//
// Frames are kept in fixed-size chunks, so the table grows one frame at a
// time without ever copying what it holds: a table of a million frames
// needs its own size in memory and no more, even while it grows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrova {

constexpr int kFrameSlots = 17;
constexpr int kWavCueSlot = 16;
// The longest animation a build makes.
constexpr int32_t kMaxFrames = 1'000'000;

using FrameRecord = std::array<int32_t, kFrameSlots>;

class FrameTable {
public:
    FrameTable() { Reset(); }

    // Number of frames; element 0 exists and is never used.
    int32_t UpperBound() const { return upper_; }

    // Back to element 0 only.
    void Reset();

    // Grows the table to at least `upper` frames; new frames are all zero.
    void Grow(int32_t upper);

    FrameRecord& operator[](int32_t frame) {
        return chunks_[static_cast<size_t>(frame) >> kChunkShift][frame & kChunkMask];
    }
    const FrameRecord& operator[](int32_t frame) const {
        return chunks_[static_cast<size_t>(frame) >> kChunkShift][frame & kChunkMask];
    }

    // Bytes held for frames (allocated chunks).
    size_t MemoryBytes() const;

private:
    static constexpr int kChunkShift = 12;
    static constexpr int32_t kChunkFrames = 1 << kChunkShift;
    static constexpr int32_t kChunkMask = kChunkFrames - 1;

    std::vector<std::unique_ptr<FrameRecord[]>> chunks_;
    int32_t upper_ = 0;
};

}  // namespace kestrova
