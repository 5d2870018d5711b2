#include "curve_levels.h"

#include <algorithm>

namespace kestrova {

void CurveLevels::Build(const FrameTable& table) {
    frames_ = table.UpperBound();
    for (int s = 0; s < 16; ++s) BuildServo(table, s);
}

void CurveLevels::BuildServo(const FrameTable& table, int s) {
    const size_t blocks = size_t((frames_ + kBaseBlock - 1) / kBaseBlock);
    {
        auto& levels = levels_[size_t(s)];
        levels.assign(1, std::vector<Pair>(blocks));
        for (size_t b = 0; b < blocks; ++b) {
            const int32_t first = int32_t(b) * kBaseBlock + 1;
            const int32_t last = std::min(frames_, first + kBaseBlock - 1);
            Pair pair{table[first][s], table[first][s]};
            for (int32_t f = first + 1; f <= last; ++f) {
                const int32_t v = table[f][s];
                pair.lo = std::min(pair.lo, v);
                pair.hi = std::max(pair.hi, v);
            }
            levels[0][b] = pair;
        }
        while (levels.back().size() > size_t(kFactor)) {
            const std::vector<Pair>& below = levels.back();
            std::vector<Pair> level((below.size() + kFactor - 1) / kFactor);
            for (size_t i = 0; i < level.size(); ++i) {
                const size_t from = i * kFactor, to = std::min(below.size(), from + kFactor);
                Pair pair = below[from];
                for (size_t j = from + 1; j < to; ++j) {
                    pair.lo = std::min(pair.lo, below[j].lo);
                    pair.hi = std::max(pair.hi, below[j].hi);
                }
                level[i] = pair;
            }
            levels.push_back(std::move(level));
        }
    }
}

void CurveLevels::Range(const FrameTable& table, int servo, int32_t first, int32_t last, int32_t& lo,
                        int32_t& hi) const {
    if (last - first < 2 * kBaseBlock || !Built()) {
        lo = hi = table[first][servo];
        for (int32_t f = first + 1; f <= last; ++f) {
            const int32_t v = table[f][servo];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return;
    }
    const auto& levels = levels_[size_t(servo)];
    size_t level = 0;
    int64_t block = kBaseBlock;
    while (level + 1 < levels.size() && block * kFactor <= int64_t(last - first + 1)) {
        block *= kFactor;
        ++level;
    }
    // Blocks only: the frame table itself is far larger than any cache.
    const std::vector<Pair>& entries = levels[level];
    const size_t from = size_t((first - 1) / block);
    const size_t to = std::min(entries.size(), size_t((last - 1) / block) + 1);
    lo = entries[from].lo;
    hi = entries[from].hi;
    for (size_t i = from + 1; i < to; ++i) {
        lo = std::min(lo, entries[i].lo);
        hi = std::max(hi, entries[i].hi);
    }
}

}  // namespace kestrova
