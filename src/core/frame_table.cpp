#include "frame_table.h"

#include <algorithm>

namespace kestrova {

void FrameTable::Reset() {
    chunks_.clear();
    upper_ = 0;
    Grow(0);
}

void FrameTable::Grow(int32_t upper) {
    if (upper < upper_ && !chunks_.empty()) return;
    const size_t needed = (static_cast<size_t>(upper) >> kChunkShift) + 1;
    while (chunks_.size() < needed) {
        // Value-initialised: every slot of a new chunk is zero.
        chunks_.push_back(std::make_unique<int32_t[]>(static_cast<size_t>(kChunkFrames) * kFrameSlots));
    }
    if (upper > upper_) upper_ = upper;
}

void FrameTable::Shrink(int32_t upper) {
    upper = std::max(upper, 1);
    if (upper >= upper_) return;
    chunks_.resize((static_cast<size_t>(upper) >> kChunkShift) + 1);
    // Frames grown back later start at zero, as Grow promises.
    const int32_t chunkEnd = upper | kChunkMask;
    for (int s = 0; s < kFrameSlots; ++s) Fill(s, upper + 1, chunkEnd, 0);
    upper_ = upper;
}

void FrameTable::Fill(int slot, int32_t first, int32_t last, int32_t value) {
    while (first <= last) {
        const size_t chunk = static_cast<size_t>(first) >> kChunkShift;
        const int32_t offset = first & kChunkMask;
        const int32_t count = std::min(last - first + 1, kChunkFrames - offset);
        int32_t* row = &chunks_[chunk][static_cast<size_t>(slot) * kChunkFrames + offset];
        std::fill(row, row + count, value);
        first += count;
    }
}

size_t FrameTable::MemoryBytes() const {
    return chunks_.size() * sizeof(int32_t) * kFrameSlots * kChunkFrames;
}

}  // namespace kestrova
