#pragma once
// Where a capped servo actually goes when the show plays from frame 1: the
// frame table's positions put through the very limiter playback sends them
// through, the servo standing still on frame 1's position before the start.
// Only the frames where that differs from the table are kept, in spans, so
// a servo that keeps up costs nothing to hold.

#include "frame_table.h"
#include "limiter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrova {

class LimitedPath {
public:
    // Frames first to last (1-based, inclusive) where the output is not the
    // table's position; the spans are in order and never touch.
    struct Span {
        int32_t first, last;
        size_t offset;  // of the span's first position in the path's store
    };

    const std::vector<Span>& Spans() const { return spans_; }
    bool Differs() const { return !spans_.empty(); }
    // The spans that reach into frames first to last.
    std::span<const Span> Within(int32_t first, int32_t last) const;
    // The output at `frame`, where the table holds `tablePosition` there.
    int32_t At(int32_t frame, int32_t tablePosition) const;
    // The output at a frame of `span`.
    int32_t In(const Span& span, int32_t frame) const { return positions_[span.offset + size_t(frame - span.first)]; }

    // Records the output of the next frame, `frame`, for the table's `wanted`.
    void Add(int32_t frame, int32_t wanted, int32_t output);

private:
    std::vector<Span> spans_;
    std::vector<int32_t> positions_;
};

// The limited output of frames 1 to N, from `positions` (frame 1 first) or
// from one servo's column of `table`, under `caps` at `framesPerSecond`.
// Positions outside 0 to 255 are never sent and pass as they are.
LimitedPath LimitPath(std::span<const int32_t> positions, const Caps& caps, int framesPerSecond);
LimitedPath LimitPath(const FrameTable& table, int servo, const Caps& caps, int framesPerSecond);

}  // namespace kestrova
