#include "export/arduino_sketch.h"
#include "export/player_core.h"
#include "random_show.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kestrova::testing::BuiltShow;
using kestrova::testing::RandomShow;

namespace {

// Decodes the show and compares every frame of every exported servo with the
// table, twice over (the second pass after a rewind, as a loop plays it).
void ExpectPlaysTable(const Project& project, const ExportOptions& options = {}) {
    std::vector<uint8_t> show;
    std::string error;
    ASSERT_TRUE(EncodeShow(project, options, show, error)) << error;
    kva::ShowPlayer player;
    ASSERT_TRUE(player.Open(show.data(), static_cast<uint32_t>(show.size())));
    const std::vector<int> servos = ExportedServos(project);
    ASSERT_EQ(player.Tracks(), servos.size());
    ASSERT_EQ(player.Frames(), static_cast<uint32_t>(project.Frames.UpperBound()));
    for (int pass = 0; pass < 2; ++pass) {
        player.Rewind();
        for (int32_t f = 1; f <= project.Frames.UpperBound(); ++f) {
            if (f > 1) {
                ASSERT_TRUE(player.Advance());
            }
            for (size_t t = 0; t < servos.size(); ++t)
                ASSERT_EQ(player.Position(uint8_t(t)), project.Frames[f][servos[t]]) << "frame " << f << " track " << t;
        }
        EXPECT_FALSE(player.Advance());
    }
}

TEST(ShowEncoder, ReproducesEveryFrame) {
    const std::vector<std::vector<std::string>> shows = {
        {"Mov 254, 10\r\nWait 1\r\nMov 127, 10"},           // float steps that miss their target
        {"Mov 128, 10\r\nWait 2", "Mov 0, 4\r\nMov 254, 3"},  // moves that end early; full swings
        {"Wait 9000\r\nMov 0, 9000\r\nMov 254, 1"},         // ops longer than one op can hold
        {"Mov 130, 300\r\nMov 120, 7000"},                  // slow ramps
        {"", "Mov 10, 1\r\nMov 250, 1\r\nMov 0, 1"},        // largest jumps; an unused servo
    };
    for (const auto& programs : shows) ExpectPlaysTable(BuiltShow(programs));
    for (unsigned seed = 1; seed <= 5; ++seed) ExpectPlaysTable(RandomShow(seed, 16, 20, 30));
}

TEST(ShowEncoder, DisabledServosAreLeftOutAndStreamFollowsPlayback) {
    Project project = BuiltShow({"Mov 130, 3", "Mov 120, 2", "Mov 100, 3"}, 128);
    project.Servos[1].Enabled = false;
    ExpectPlaysTable(project);
    const std::vector<uint8_t> expected = {128, 0, 127, 128, 2, 127, 128, 0, 128, 128, 2, 118,
                                           128, 0, 129, 128, 2, 109, 128, 0, 130, 128, 2, 100};
    EXPECT_EQ(CommandStream(project), expected);
}

TEST(ShowEncoder, RefusesWhatCannotBePlayed) {
    using Change = void (*)(Project&, ExportOptions&);
    const std::pair<Change, const char*> cases[] = {
        {[](Project& p, ExportOptions&) { p.Built = false; }, "not been built"},
        {[](Project& p, ExportOptions&) { p.Servos[0].Enabled = false; }, "move nothing"},
        {[](Project& p, ExportOptions&) { p.Frames[3][0] = 300; }, "position 300 at frame 3"},
        {[](Project& p, ExportOptions&) { p.Settings.SynchByte = 256; }, "synch byte 256"},
        {[](Project& p, ExportOptions& o) { p.Servos[1].Used = true, o.mode = ExportMode::Pca9685, o.channels[1] = 0; },
         "channel 0"},
        {[](Project&, ExportOptions& o) { o.mode = ExportMode::Pca9685, o.triggerPin = 18; }, "I2C"},
        {[](Project&, ExportOptions& o) { o.maxPulseUs = 9000; }, "pulse"},
        {[](Project& p, ExportOptions&) { p = RandomShow(1, 16, 3600, 30); }, "servos 1 to "},
    };
    for (const auto& [change, message] : cases) {
        Project project = BuiltShow({"Mov 130, 3"});
        ExportOptions options;
        change(project, options);
        std::vector<uint8_t> show;
        std::string error;
        EXPECT_FALSE(EncodeShow(project, options, show, error)) << message;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

TEST(ShowEncoder, ParsesChannelLists) {
    const std::pair<const char*, int> cases[] = {{"15,14,13", 13}, {" 2 ", 2}, {"0,16", -1}, {"1,,2", -1},
                                                 {"0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,0", -1}};
    for (const auto& [text, servo3] : cases) {
        std::array<int, kServoCount> channels = ExportOptions{}.channels;
        std::string error;
        EXPECT_EQ(ParseChannels(text, channels, error), servo3 >= 0) << text;
        EXPECT_EQ(channels[2], servo3 >= 0 ? servo3 : 2) << text << ": a bad list changes nothing";
    }
}

TEST(ArduinoSketch, ThreeMinuteShowFitsAndAHugeOneIsRefused) {
    const kestrova::testing::TempDir folder;
    const std::filesystem::path& dir = folder.Dir();

    const SketchReport fits = ExportArduinoSketch(RandomShow(7, 16, 180, 15), {}, (dir / "fits").string(), "t.kva");
    ASSERT_TRUE(fits.ok) << fits.error;
    EXPECT_LE(fits.flashBytes, kUnoFlashBytes);
    EXPECT_TRUE(std::filesystem::exists(dir / "fits" / "fits.ino"));

    const SketchReport huge = ExportArduinoSketch(RandomShow(7, 16, 600, 30), {}, (dir / "huge").string(), "t.kva");
    EXPECT_FALSE(huge.ok);
    EXPECT_NE(huge.error.find(std::to_string(huge.showBytes) + " for the show"), std::string::npos) << huge.error;
    EXPECT_FALSE(std::filesystem::exists(dir / "huge"));

    // A folder of other files is left alone.
    std::filesystem::create_directories(dir / "busy");
    std::ofstream(dir / "busy" / "notes.txt") << "keep";
    EXPECT_FALSE(ExportArduinoSketch(BuiltShow({"Wait 2"}), {}, (dir / "busy").string(), "t.kva").ok);
}

}  // namespace
