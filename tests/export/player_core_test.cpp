// The board's player on the host: its schedule, its trigger and loop, and
// what it writes to a PCA9685.
#include "export/player_core.h"
#include "export/show_encoder.h"
#include "random_show.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kestrova::testing::BuiltShow;

namespace {

struct FakeBoard {
    uint32_t now = 0;
    bool trigger = false;
    std::vector<std::pair<uint32_t, uint32_t>> shown;  // (time, frame)
    uint32_t Micros() { return now; }
    bool Triggered() { return trigger; }
    void Show(const kva::ShowPlayer& player, bool) { shown.push_back({now, player.Frame()}); }
};

std::vector<uint8_t> Encode(const Project& project, ExportOptions options = {}) {
    std::vector<uint8_t> show;
    std::string error;
    EXPECT_TRUE(EncodeShow(project, options, show, error)) << error;
    return show;
}

// Runs the runner with the clock stepping `step` microseconds per poll.
void RunFor(kva::ShowRunner<FakeBoard>& runner, FakeBoard& board, uint32_t micros, uint32_t step = 250) {
    for (uint32_t t = 0; t < micros; t += step) {
        board.now += step;
        runner.Poll();
    }
}

TEST(PlayerCore, FramesFollowAnAbsoluteScheduleAcrossLoopsAndClockWrap) {
    // 4 frames at 15 fps, looping; the clock starts just before it wraps.
    const std::vector<uint8_t> show = Encode(BuiltShow({"Mov 130, 3"}), {ExportMode::Ssc, 15, true});
    kva::ShowPlayer player;
    ASSERT_TRUE(player.Open(show.data(), uint32_t(show.size())));
    FakeBoard board;
    board.now = 0xFFFFFFFFu - 100000;
    const uint32_t start = board.now;
    kva::ShowRunner<FakeBoard> runner(board, player, false);
    runner.Begin();
    RunFor(runner, board, 3000000, 1);
    ASSERT_EQ(board.shown.size(), 46u);  // frames at 0 to 3 s
    for (size_t n = 0; n < board.shown.size(); ++n) {
        const uint32_t due = start + static_cast<uint32_t>(n * 1000000 / 15);
        EXPECT_EQ(board.shown[n].first, due) << n;
        EXPECT_EQ(board.shown[n].second, n % 4 + 1) << n;
    }
}

TEST(PlayerCore, PlaysOnceOrOncePerTrigger) {
    const std::vector<uint8_t> show = Encode(BuiltShow({"Mov 130, 3"}), {ExportMode::Ssc, 10, false});
    kva::ShowPlayer player;
    ASSERT_TRUE(player.Open(show.data(), uint32_t(show.size())));
    using Frames = std::vector<uint32_t>;
    auto frames = [](const FakeBoard& board) {
        Frames out;
        for (auto [time, frame] : board.shown) out.push_back(frame);
        return out;
    };

    FakeBoard once;
    kva::ShowRunner<FakeBoard> plain(once, player, false);
    plain.Begin();
    RunFor(plain, once, 2000000);
    EXPECT_EQ(frames(once), (Frames{1, 2, 3, 4}));
    EXPECT_TRUE(plain.Done());

    FakeBoard board;
    kva::ShowRunner<FakeBoard> triggered(board, player, true);
    triggered.Begin();
    RunFor(triggered, board, 2000000);
    EXPECT_EQ(frames(board), (Frames{1})) << "holds the first frame until triggered";
    board.trigger = true;
    const uint32_t pressed = board.now;
    RunFor(triggered, board, 250);
    board.trigger = false;
    RunFor(triggered, board, 2000000);
    EXPECT_EQ(frames(board), (Frames{1, 1, 2, 3, 4, 1}));
    EXPECT_EQ(board.shown[1].first, pressed + 250) << "the run starts when the pin goes low";
    EXPECT_EQ(board.shown[4].first, pressed + 250 + 300000);
    board.trigger = true;
    RunFor(triggered, board, 500);
    EXPECT_EQ(frames(board).size(), 7u) << "armed again after the run";
}

struct CountingBus {
    int writes = 0;
    void Write(const uint8_t*, uint8_t) { ++writes; }
};

// The registers themselves are checked on the simulated board.
TEST(PlayerCore, Pca9685PulsesAndWritesOnlyWhatChanged) {
    EXPECT_EQ(kva::PcaCount(0, 1000, 2000), 205);    // 1 ms of 20 ms in 4096 steps
    EXPECT_EQ(kva::PcaCount(255, 1000, 2000), 410);  // 2 ms
    EXPECT_EQ(kva::PcaCount(255, 500, 2500), 512);
    EXPECT_EQ(kva::PcaCount(0, 2000, 1000), 410);    // a reversed range turns the servo the other way
    EXPECT_EQ(kva::PcaCount(254, 500, 2500, 254), 512);  // a servo's own range tops out at 254
    EXPECT_EQ(kva::PcaCount(255, 500, 2500, 254), 512);

    const std::vector<uint8_t> show = Encode(BuiltShow({"Mov 0, 2\r\nWait 1", "Mov 254, 3"}), {ExportMode::Pca9685});
    kva::ShowPlayer player;
    ASSERT_TRUE(player.Open(show.data(), uint32_t(show.size())));
    kva::PcaOutput output;
    for (int expected : {2, 2, 2, 1}) {  // all at a run's start, then the channels that change
        CountingBus bus;
        output.Show(bus, player, player.Frame() == 1);
        EXPECT_EQ(bus.writes, expected) << "frame " << player.Frame();
        player.Advance();
    }
}

}  // namespace
