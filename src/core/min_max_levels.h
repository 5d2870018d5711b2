#pragma once
// Pyramids of minimum/maximum pairs: level 0 holds one pair per block of the
// data, each level above one pair per `factor` entries of the level below,
// so the envelope of any span reads a handful of entries.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace kestrova {

template <typename T>
struct MinMax {
    T lo{};
    T hi{};
    void Widen(const MinMax& other) {
        lo = std::min(lo, other.lo);
        hi = std::max(hi, other.hi);
    }
};

// The envelope of entries [from, to); `from` must be below `to`.
template <typename T>
MinMax<T> Envelope(const std::vector<MinMax<T>>& entries, size_t from, size_t to) {
    MinMax<T> out = entries[from];
    for (size_t i = from + 1; i < to; ++i) out.Widen(entries[i]);
    return out;
}

// Adds levels above the last one until the top holds at most `factor` entries.
template <typename T>
void StackLevels(std::vector<std::vector<MinMax<T>>>& levels, size_t factor) {
    while (levels.back().size() > factor) {
        const std::vector<MinMax<T>>& below = levels.back();
        std::vector<MinMax<T>> level((below.size() + factor - 1) / factor);
        for (size_t i = 0; i < level.size(); ++i) {
            const size_t from = i * factor;
            level[i] = Envelope(below, from, std::min(below.size(), from + factor));
        }
        levels.push_back(std::move(level));
    }
}

}  // namespace kestrova
