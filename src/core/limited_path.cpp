#include "limited_path.h"

#include <algorithm>

namespace kestrova {

namespace {

// What playback sends; anything else it reports and leaves out.
bool Sendable(int32_t position) { return position >= 0 && position <= 255; }

template <typename Position>
LimitedPath Trace(int32_t frames, const Position& position, const Caps& caps, int framesPerSecond) {
    LimitedPath path;
    if (!caps.Any() || frames < 2) return path;
    Limiter limiter(caps, framesPerSecond);
    // While the servo stands still on a position the table holds, each
    // frame would put out that position and leave the limiter as it is.
    bool resting = Sendable(position(1));
    int32_t held = position(1);
    if (resting) limiter.Place(held);
    for (int32_t f = 1; f <= frames; ++f) {
        const int32_t wanted = position(f);
        if (resting && wanted == held) continue;
        if (!Sendable(wanted)) continue;  // passes as it is
        const int32_t output = limiter.Next(wanted);
        path.Add(f, wanted, output);
        resting = limiter.AtRest() && limiter.RestsAt(wanted);
        held = wanted;
    }
    return path;
}

}  // namespace

std::span<const LimitedPath::Span> LimitedPath::Within(int32_t first, int32_t last) const {
    const auto from = std::lower_bound(spans_.begin(), spans_.end(), first,
                                       [](const Span& span, int32_t frame) { return span.last < frame; });
    const auto to = std::lower_bound(from, spans_.end(), last + int64_t(1),
                                     [](const Span& span, int64_t frame) { return span.first < frame; });
    return {from, to};
}

int32_t LimitedPath::At(int32_t frame, int32_t tablePosition) const {
    const std::span<const Span> spans = Within(frame, frame);
    return spans.empty() ? tablePosition : In(spans.front(), frame);
}

void LimitedPath::Add(int32_t frame, int32_t wanted, int32_t output) {
    if (output == wanted) return;
    if (spans_.empty() || spans_.back().last != frame - 1) spans_.push_back(Span{frame, frame, positions_.size()});
    spans_.back().last = frame;
    positions_.push_back(output);
}

LimitedPath LimitPath(std::span<const int32_t> positions, const Caps& caps, int framesPerSecond) {
    return Trace(static_cast<int32_t>(positions.size()), [&](int32_t f) { return positions[size_t(f - 1)]; }, caps,
                 framesPerSecond);
}

LimitedPath LimitPath(const FrameTable& table, int servo, const Caps& caps, int framesPerSecond) {
    return Trace(table.UpperBound(), [&](int32_t f) { return table[f][servo]; }, caps, framesPerSecond);
}

}  // namespace kestrova
