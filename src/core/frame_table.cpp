#include "frame_table.h"

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
        chunks_.push_back(std::make_unique<FrameRecord[]>(kChunkFrames));
    }
    if (upper > upper_) upper_ = upper;
}

size_t FrameTable::MemoryBytes() const {
    return chunks_.size() * sizeof(FrameRecord) * kChunkFrames;
}

}  // namespace kestrova
