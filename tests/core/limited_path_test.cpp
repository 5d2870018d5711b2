#include "core/limited_path.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

using Spans = std::vector<std::pair<int32_t, int32_t>>;

Spans SpansOf(std::span<const LimitedPath::Span> spans) {
    Spans pairs;
    for (const LimitedPath::Span& span : spans) pairs.emplace_back(span.first, span.last);
    return pairs;
}

// A servo holding `from`, told to be at `to` from frame 3 on, and back at
// `from` from frame `back` on (none when 0).
std::vector<int32_t> Jump(int32_t from, int32_t to, int32_t frames, int32_t back = 0) {
    std::vector<int32_t> positions(size_t(frames), from);
    for (int32_t f = 3; f <= frames && (back == 0 || f < back); ++f) positions[size_t(f - 1)] = to;
    return positions;
}

TEST(LimitedPath, DiffersOnlyWhereTheCapsHoldTheServoBack) {
    // Positions, caps at 30 frames a second: the spans, and the first span's positions.
    const std::tuple<std::vector<int32_t>, Caps, Spans, std::vector<int32_t>> cases[] = {
        {Jump(20, 230, 20), {}, {}, {}},          // no caps
        {Jump(20, 40, 20), {900, 0}, {}, {}},     // within the cap
        // 30 positions a frame: 210 takes 7 frames, the last one on the table.
        {Jump(20, 230, 20), {900, 0}, {{3, 8}}, {50, 80, 110, 140, 170, 200}},
        // 1, 2, 3, 3, 2, 1 positions a frame: 12 in 6 frames.
        {Jump(0, 12, 12), {90, 900}, {{3, 7}}, {1, 3, 6, 9, 11}},
        {Jump(20, 230, 30, 15), {900, 0}, {{3, 8}, {15, 20}}, {50, 80, 110, 140, 170, 200}},  // out and back
        {Jump(20, 300, 10), {900, 0}, {}, {}},  // never sent: passes, the servo waits
    };
    for (const auto& [positions, caps, spans, firstSpan] : cases) {
        const LimitedPath path = LimitPath(positions, caps, 30);
        EXPECT_EQ(SpansOf(path.Spans()), spans) << positions[2];
        for (size_t i = 0; i < firstSpan.size(); ++i) EXPECT_EQ(path.At(3 + int32_t(i), -1), firstSpan[i]) << i;
    }
    const LimitedPath twice = LimitPath(Jump(20, 230, 30, 15), Caps{900, 0}, 30);
    EXPECT_EQ(SpansOf(twice.Within(9, 14)), Spans{});
    EXPECT_EQ(SpansOf(twice.Within(8, 15)), (Spans{{3, 8}, {15, 20}}));
}

TEST(LimitedPath, IsWhatTheLimiterPutsOutFrameByFrame) {
    std::mt19937 random(7);
    std::vector<int32_t> positions(5000);
    for (size_t f = 0; f < positions.size(); ++f)
        positions[f] = f % 40 < 20 ? int32_t(random() % 255) : f % 977 == 0 ? 400 : positions[f - 1];
    const LimitedPath path = LimitPath(positions, Caps{200, 900}, 25);
    Limiter limiter(Caps{200, 900}, 25);
    limiter.Place(positions[0]);
    for (size_t f = 0; f < positions.size(); ++f) {
        const int32_t wanted = positions[f];
        ASSERT_EQ(path.At(int32_t(f + 1), wanted), wanted <= 255 ? limiter.Next(wanted) : wanted) << f + 1;
    }
    EXPECT_GT(path.Spans().size(), 10u);
}

}  // namespace
}  // namespace kestrova
