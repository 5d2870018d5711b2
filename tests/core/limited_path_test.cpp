#include "core/limited_path.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

using Spans = std::vector<std::pair<int32_t, int32_t>>;

Spans SpansOf(const LimitedPath& path) {
    Spans spans;
    for (const LimitedPath::Span& span : path.Spans()) spans.emplace_back(span.first, span.last);
    return spans;
}

// A servo holding `from`, told to be at `to` from frame 3 on, and back at
// `from` from frame `back` on (none when 0).
std::vector<int32_t> Jump(int32_t from, int32_t to, int32_t frames, int32_t back = 0) {
    std::vector<int32_t> positions(size_t(frames), from);
    for (int32_t f = 3; f <= frames && (back == 0 || f < back); ++f) positions[size_t(f - 1)] = to;
    return positions;
}

TEST(LimitedPath, DiffersOnlyWhereTheCapsHoldTheServoBack) {
    struct Case {
        const char* what;
        std::vector<int32_t> positions;
        Caps caps;
        Spans spans;
        std::vector<int32_t> firstSpan;
    };
    const Case cases[] = {
        {"no caps", Jump(20, 230, 20), {}, {}, {}},
        {"within the cap", Jump(20, 40, 20), {900, 0}, {}, {}},
        // 30 positions a frame: 210 takes 7 frames, the last one on the table.
        {"jump beyond the speed cap", Jump(20, 230, 20), {900, 0}, {{3, 8}}, {50, 80, 110, 140, 170, 200}},
        // 1, 2, 3, 3, 2, 1 positions a frame: 12 in 6 frames.
        {"speed and acceleration", Jump(0, 12, 12), {90, 900}, {{3, 7}}, {1, 3, 6, 9, 11}},
        // Out and back again: two spans.
        {"two moves", Jump(20, 230, 30, 15), {900, 0}, {{3, 8}, {15, 20}}, {50, 80, 110, 140, 170, 200}},
        // Never sent: passes as it is, the servo waits where it was.
        {"unsendable", Jump(20, 300, 10), {900, 0}, {}, {}},
    };
    for (const Case& c : cases) {
        const LimitedPath path = LimitPath(c.positions, c.caps, 30);
        EXPECT_EQ(SpansOf(path), c.spans) << c.what;
        EXPECT_EQ(path.Differs(), !c.spans.empty()) << c.what;
        for (size_t i = 0; i < c.firstSpan.size(); ++i)
            EXPECT_EQ(path.At(path.Spans()[0].first + int32_t(i), -1), c.firstSpan[i]) << c.what << " " << i;
    }
}

TEST(LimitedPath, IsWhatTheLimiterPutsOutFrameByFrame) {
    std::mt19937 random(7);
    std::vector<int32_t> positions(5000);
    for (size_t f = 0; f < positions.size(); ++f)
        positions[f] = f % 40 < 20 ? int32_t(random() % 255) : f % 977 == 0 ? 400 : positions[f - 1];
    const Caps caps{200, 900};
    const LimitedPath path = LimitPath(positions, caps, 25);

    Limiter limiter(caps, 25);
    limiter.Place(positions[0]);
    for (size_t f = 0; f < positions.size(); ++f) {
        const int32_t wanted = positions[f];
        const int32_t sent = wanted <= 255 ? limiter.Next(wanted) : wanted;
        ASSERT_EQ(path.At(int32_t(f + 1), wanted), sent) << f + 1;
    }
    EXPECT_GT(path.Spans().size(), 10u);

    // The same column of a frame table gives the same path.
    FrameTable table;
    table.Grow(int32_t(positions.size()));
    for (size_t f = 0; f < positions.size(); ++f) table[int32_t(f + 1)][5] = positions[f];
    EXPECT_EQ(SpansOf(LimitPath(table, 5, caps, 25)), SpansOf(path));
}

TEST(LimitedPath, WithinFindsTheSpansThatReachIntoFrames) {
    const LimitedPath path = LimitPath(Jump(20, 230, 30, 15), Caps{900, 0}, 30);  // spans 3-8 and 15-20
    for (auto [first, last, expected] : {std::tuple{1, 2, Spans{}}, {1, 3, Spans{{3, 8}}}, {8, 15, Spans{{3, 8}, {15, 20}}},
                                         {9, 14, Spans{}}, {20, 99, Spans{{15, 20}}}, {5, 5, Spans{{3, 8}}}}) {
        Spans found;
        for (const LimitedPath::Span& span : path.Within(first, last)) found.emplace_back(span.first, span.last);
        EXPECT_EQ(found, expected) << first << "-" << last;
    }
}

}  // namespace
}  // namespace kestrova
