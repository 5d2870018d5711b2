#pragma once
// The compiled animation: frames numbered 1 to UpperBound(), each holding
// one position per servo (slots 0 to 15) and, in slot 16, the number of the
// WAV cue that starts there.
//
// Frames are kept in fixed-size chunks, so the table grows one frame at a
// time without ever copying what it holds: a table of a million frames needs
// its own size in memory and no more, even while it grows. Inside a chunk
// the slots are stored slot by slot, so the compiler, which fills one servo
// at a time, writes memory in order; frames[f][s] reads as a frame record.

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

// One frame's 17 slots as values.
using FrameRecord = std::array<int32_t, kFrameSlots>;

class FrameTable {
    static constexpr int kChunkShift = 12;
    static constexpr int32_t kChunkFrames = 1 << kChunkShift;
    static constexpr int32_t kChunkMask = kChunkFrames - 1;

public:
    // The slots of one frame: frames[f][s].
    template <typename Slot>
    class Frame {
    public:
        explicit Frame(Slot* first) : first_(first) {}
        Slot& operator[](int slot) const { return first_[static_cast<size_t>(slot) * kChunkFrames]; }
        FrameRecord Record() const {
            FrameRecord record;
            for (int s = 0; s < kFrameSlots; ++s) record[s] = (*this)[s];
            return record;
        }

    private:
        Slot* first_;
    };

    FrameTable() { Reset(); }

    // Number of frames; element 0 exists and is never used.
    int32_t UpperBound() const { return upper_; }

    // Back to element 0 only.
    void Reset();

    // Grows the table to at least `upper` frames; new frames are all zero.
    void Grow(int32_t upper);

    // Drops the frames after `upper` (at least 1) and the chunks they held.
    void Shrink(int32_t upper);

    Frame<int32_t> operator[](int32_t frame) {
        return Frame<int32_t>(&chunks_[static_cast<size_t>(frame) >> kChunkShift][frame & kChunkMask]);
    }
    Frame<const int32_t> operator[](int32_t frame) const {
        return Frame<const int32_t>(&chunks_[static_cast<size_t>(frame) >> kChunkShift][frame & kChunkMask]);
    }

    // Fills slot `slot` of frames first to last (inclusive) with `value`.
    void Fill(int slot, int32_t first, int32_t last, int32_t value);

    // Bytes held for frames (allocated chunks).
    size_t MemoryBytes() const;

private:
    std::vector<std::unique_ptr<int32_t[]>> chunks_;
    int32_t upper_ = 0;
};

}  // namespace kestrova
