#pragma once
// The lowest and highest position of each servo over spans of frames, kept
// as a small pyramid so that a zoomed-out graph paints one short vertical
// line per pixel column without reading every frame under it.

#include "core/frame_table.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kestrova {

class CurveLevels {
public:
    static constexpr int32_t kBaseBlock = 16;
    static constexpr int32_t kFactor = 4;

    // Builds the levels of servos 0 to 15 from frames 1 to N of `table`.
    void Build(const FrameTable& table);
    // Builds one servo's levels again, the table's length unchanged.
    void BuildServo(const FrameTable& table, int servo);
    void Clear() { frames_ = 0; }
    bool Built() const { return frames_ > 0; }

    // Lowest and highest position of `servo` over frames first to last
    // (inclusive, 1-based, within 1 to N): exact for short spans, widened
    // to whole blocks for long ones.
    void Range(const FrameTable& table, int servo, int32_t first, int32_t last, int32_t& lo, int32_t& hi) const;

private:
    struct Pair {
        int32_t lo, hi;
    };
    // levels_[servo][level][block]: level 0 blocks hold kBaseBlock frames.
    std::array<std::vector<std::vector<Pair>>, 16> levels_;
    int32_t frames_ = 0;
};

}  // namespace kestrova
