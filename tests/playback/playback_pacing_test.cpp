// Pacing on a fake clock: late frames dropped, pause and step restarting the
// schedule, the line model when the line is slower than the show, the copy
// of the show taken at Play, and the sound offset. No real time passes.
#include "playback/playback_engine.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "support/playback_fakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace kestrova;
using kestrova::testing::InstantClock;

namespace {

struct Write {
    double at;
    int servo;
    int32_t position;
};

struct RecordingOutput : PlaybackOutput {
    InstantClock* clock = nullptr;
    std::vector<Write> writes;
    bool open = false;
    int32_t PortNumber() const override { return 1; }
    bool IsOpen() const override { return open; }
    bool Open(std::string&) override { return open = true; }
    void Close() override { open = false; }
    bool WriteCommands(const std::vector<uint8_t>& bytes, std::string&) override {
        for (size_t i = 0; i + 2 < bytes.size(); i += 3) writes.push_back({clock->now, bytes[i + 1], bytes[i + 2]});
        return true;
    }
};

struct RecordingSound : SoundOutput {
    std::vector<std::string> events;
    int32_t* frame = nullptr;
    double lead = 0;
    void Play(const std::string& path, double delay) override { Note(path, delay); }
    void Stop(double delay) override { Note("stop", delay); }
    void StopAll() override {}
    void DropWaiting() override { Note("drop", 0); }
    double LeadMs() const override { return lead; }
    void Note(const std::string& what, double delay) {
        events.push_back(what + "@" + std::to_string(*frame) + "+" + std::to_string(int(delay + 0.5)));
    }
};

// The window: `onPump(frame)` plays the user and the machine (stalls).
struct View : QuietPlaybackView {
    explicit View(int fps) : QuietPlaybackView(fps) {}
    int32_t frame = 0;
    std::function<void(int32_t)> onPump;
    void MovePlayMarker(int32_t f) override { frame = f; }
    void Pump() override {
        if (onPump) onPump(frame);
    }
    int loops = 0;  // passes that end with loop pressed
    bool LoopPressed() override { return loops-- > 0; }
};

class PacingTest : public ::testing::Test {
public:
    void Play(int fps, int32_t first, int32_t last) {
        view_ = std::make_unique<View>(fps);
        view_->loops = loops;
        view_->onPump = onPump;
        sound_.frame = &view_->frame;
        output_.clock = &clock_;
        engine_ = std::make_unique<PlaybackEngine>(project_, output_, sound_, *view_, &clock_);
        engine_->SetPrioritySetter([](int32_t) {});
        engine_->SetSoundOffset(offset);
        engine_->SetLineBaud(baud);
        engine_->SetFrameSentHook([](void* self, int32_t f) { static_cast<PacingTest*>(self)->sent_.push_back(f); },
                                  this);
        ASSERT_TRUE(engine_->PlayAnimation(first, last));
    }
    void Build() {
        StartNewProject(project_);
        for (int s = 0; s < kServoCount; ++s) project_.Programs[s] = programs[s];
        ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
    }

    using Script = std::function<void(PacingTest&, int32_t)>;
    // Pauses at `frame`'s pump point; the next pump, three seconds later, resumes.
    static Script PauseAt(int32_t frame) {
        return [frame](PacingTest& t, int32_t f) {
            if (f == frame && !t.engine_->bPause && t.clock_.now < 1000) t.engine_->bPause = true;
            else if (t.engine_->bPause) { t.clock_.now += 3000; t.engine_->bPause = false; }
        };
    }
    // Plays with the clock at 0, nothing recorded yet and `script` playing the user.
    void PlayScripted(const Script& script, int fps, int32_t first, int32_t last) {
        clock_.now = 0;
        output_.writes.clear();
        sound_.events.clear();
        sent_.clear();
        onPump = script ? [this, script](int32_t f) { script(*this, f); } : std::function<void(int32_t)>();
        Play(fps, first, last);
    }

    std::array<std::string, kServoCount> programs{};
    std::function<void(int32_t)> onPump;
    double offset = 0;
    int32_t baud = 9600;
    int loops = 0;
    Project project_;
    InstantClock clock_;
    RecordingOutput output_;
    RecordingSound sound_;
    std::unique_ptr<View> view_;
    std::unique_ptr<PlaybackEngine> engine_;
    std::vector<int32_t> sent_;
};

TEST_F(PacingTest, LateFramesAreDroppedNotBurstAndPauseOrStepRestartsTheSchedule) {
    struct Case {
        const char* name;
        Script pump;
        std::vector<int32_t> sent;
        int32_t dropped;
    };
    const Case cases[] = {
        {"on time", nullptr, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 0},
        // 1 s stall before frame 3 at 10 fps: frames 3 to 11 are a period
        // late or more; 12 leaves on schedule.
        {"stall", [](PacingTest& t, int32_t f) { if (f == 3 && t.clock_.now < 1000) t.clock_.now += 1000; },
         {1, 2, 12, 13, 14}, 9},
        // A stall at the last frame still sends it: the servos end where the show ends.
        {"stall at the end", [](PacingTest& t, int32_t f) { if (f == 14 && t.clock_.now < 5000) t.clock_.now += 5000; },
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 0},
        // A long pause: the frame that resumes starts a new schedule.
        {"pause", PauseAt(5), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 0},
        {"step", [](PacingTest& t, int32_t f) {
             if (t.engine_->bPause) { t.clock_.now += 3000; t.engine_->bPause = false; }
             else if (f == 4 && t.clock_.now < 1000) t.engine_->bStep = true;
         }, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 0},
    };
    programs[0] = "Mov 200, 13";
    Build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayScripted(c.pump, 10, 1, 14);
        EXPECT_EQ(sent_, c.sent);
        EXPECT_EQ(engine_->DroppedFrames(), c.dropped);
        // One servo, one command a frame: never two frames at one instant
        // (a burst), and never early.
        ASSERT_EQ(output_.writes.size(), c.sent.size());
        for (size_t i = 1; i < output_.writes.size(); ++i)
            EXPECT_GE(output_.writes[i].at - output_.writes[i - 1].at, 100.0 - 1e-6) << i;
        EXPECT_EQ(output_.writes.back().position, 200);
    }
}

TEST_F(PacingTest, TheLoopWrapIsAFrameLikeAnyOther) {
    // Each pump's display work takes 40 ms of a 66.7 ms period: the step
    // from the last frame back to the first still takes one period, and the
    // playback ends a period after its last frame. With a speed cap the
    // servo travels back at it before each pass and goes on after the last
    // frame until it arrives: those steps keep the same beat, nothing late.
    programs[0] = "Mov 200, 4";
    Build();
    for (const int32_t cap : {0, 300}) {
        SCOPED_TRACE(cap);
        project_.Servos[0].MaxSpeed = cap;
        loops = 3;
        PlayScripted([](PacingTest& t, int32_t) { t.clock_.now += 40; }, 15, 1, 5);
        ASSERT_EQ(sent_.size(), 20u);
        // 73 positions back at 20 a frame: three lead-in steps, the fourth is frame 1.
        EXPECT_EQ(output_.writes.size(), cap ? 20u + 3 * 3 : 20u);
        for (size_t i = 1; i < output_.writes.size(); ++i)
            EXPECT_NEAR(output_.writes[i].at - output_.writes[i - 1].at, 1000.0 / 15, 1e-6) << "write " << i;
        EXPECT_NEAR(clock_.now - output_.writes.back().at, 1000.0 / 15, 1e-6);
        EXPECT_EQ(output_.writes.back().position, project_.Frames[5][0]);
        EXPECT_EQ(engine_->DroppedFrames(), 0);
    }
}

TEST_F(PacingTest, ALineSlowerThanTheShowCarriesNewestPositionsInTurnAndEndsOnTheLastFrame) {
    // 16 servos moving every frame at 30 fps: 1440 bytes a second of the 960
    // that 9600 baud carries (32 bytes, 10 commands, a period).
    for (int s = 0; s < kServoCount; ++s) programs[s] = "Mov 20, 60\r\nMov 230, 60\r\nMov 100, 30";
    Build();
    Play(30, 1, 150);
    ASSERT_FALSE(output_.writes.empty());
    std::map<double, int> perFrame;
    std::array<int, kServoCount> count{};
    for (const Write& w : output_.writes) {
        ++perFrame[w.at];
        ++count[w.servo];
    }
    for (auto [at, commands] : perFrame) {
        if (at < output_.writes.back().at) {
            EXPECT_LE(commands, 10) << "at " << at;
        }
    }
    for (int s = 0; s < kServoCount; ++s) EXPECT_GE(count[s], 150 * 10 / 16 - 2) << "servo " << s << " starved";
    // Each command carries the position of the frame being sent.
    for (const Write& w : output_.writes) {
        const int32_t frame = 1 + int32_t(w.at / (1000.0 / 30) + 0.5);
        EXPECT_EQ(w.position, project_.Frames[frame][w.servo]) << "frame " << frame;
    }
    std::array<int32_t, kServoCount> final{};
    for (const Write& w : output_.writes) final[w.servo] = w.position;
    for (int s = 0; s < kServoCount; ++s) EXPECT_EQ(final[s], project_.Frames[150][s]);
    EXPECT_EQ(engine_->DroppedFrames(), 0);
}

TEST_F(PacingTest, ALineThatKeepsUpGetsEveryServoEveryFrame) {
    // 16 servos, 48 bytes a frame: at 20 fps exactly 960 bytes a second.
    for (int s = 0; s < kServoCount; ++s) programs[s] = "Wait 9";
    Build();
    Play(20, 1, 10);
    EXPECT_EQ(output_.writes.size(), 16u * 10);
    for (size_t i = 0; i < output_.writes.size(); ++i) EXPECT_EQ(output_.writes[i].servo, int(i % 16));
}

TEST_F(PacingTest, WhatPlaysIsTheShowAsItWasWhenPlayWasPressed) {
    programs[0] = "Mov 200, 9";
    programs[1] = "Mov 50, 9";
    Build();
    project_.WavCues.push_back(WavCue{4, 8, "a.wav"});
    project_.Frames[4][kWavCueSlot] = 1;
    Play(10, 1, 10);
    const auto undisturbed = output_.writes;
    const auto sounds = sound_.events;

    // During playback: a build that fails part-way, flags and cues edited.
    output_.writes.clear();
    sound_.events.clear();
    onPump = [this](int32_t f) {
        if (f != 3) return;
        project_.Programs[1] = "Mov 50, 9\r\nBogus";
        BuildAnimation(project_);
        project_.Servos[0].Enabled = false;
        project_.Servos[5].Used = true;
        project_.WavCues[1].Path = "other.wav";
        project_.Settings.SynchByte = 9;
    };
    Play(10, 1, 10);
    ASSERT_EQ(output_.writes.size(), undisturbed.size());
    for (size_t i = 0; i < undisturbed.size(); ++i) {
        EXPECT_EQ(output_.writes[i].servo, undisturbed[i].servo) << i;
        EXPECT_EQ(output_.writes[i].position, undisturbed[i].position) << i;
    }
    EXPECT_EQ(sound_.events, sounds);
}

TEST_F(PacingTest, CuesStartAndStopOnTheirFramesMovedByTheSoundOffset) {
    struct Case {
        double offset;
        std::vector<std::string> events;
    };
    // a.wav stops where b.wav starts; c.wav's stop frame lies before its
    // start, so the end of the range stops it.
    const Case cases[] = {
        // Handed over before the frame's wait, timed to its due time; the
        // range's end a period after its last frame.
        {0, {"a.wav@4+100", "stop@6+100", "b.wav@6+100", "c.wav@7+100", "stop@8+100"}},
        {30, {"a.wav@4+130", "stop@6+130", "b.wav@6+130", "c.wav@7+130", "stop@8+130"}},
        // 150 ms early at 10 fps: handed over two frames ahead.
        {-150, {"a.wav@2+150", "stop@4+150", "b.wav@4+150", "c.wav@5+150", "stop@8+0"}},
    };
    programs[0] = "Wait 7";
    Build();
    project_.WavCues = {WavCue{}, WavCue{4, 6, "a.wav"}, WavCue{6, 99, "b.wav"}, WavCue{7, 3, "c.wav"}};
    for (int32_t cue = 1; cue <= 3; ++cue) project_.Frames[project_.WavCues[cue].Start][kWavCueSlot] = cue;
    for (const Case& c : cases) {
        sound_.events.clear();
        offset = c.offset;
        Play(10, 1, 8);
        EXPECT_EQ(sound_.events, c.events) << "offset " << c.offset;
    }
}

TEST_F(PacingTest, CuesGoOutTheOutputsLeadAheadAndComeBackAfterAPause) {
    // An output that must be told 250 ms ahead; a cue at frame 3 at 10 fps.
    struct Case {
        const char* name;
        Script pump;
        double firstFrameAt;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        // Frame 1 waits 50 ms so that the cue 200 ms later is handed over 250 ms ahead.
        {"play", nullptr, 50, {"a.wav@1+250", "stop@8+100"}},
        // Paused before frame 3: the cue goes back and out again, its lead
        // ahead of the frame that resumes.
        {"pause", PauseAt(2), 50, {"a.wav@1+250", "drop@2+0", "a.wav@3+250", "stop@8+100"}},
    };
    programs[0] = "Wait 7";
    Build();
    project_.WavCues.push_back(WavCue{3, 99, "a.wav"});
    project_.Frames[3][kWavCueSlot] = 1;
    sound_.lead = 250;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayScripted(c.pump, 10, 1, 8);
        ASSERT_FALSE(output_.writes.empty());
        EXPECT_EQ(output_.writes.front().at, c.firstFrameAt);
        EXPECT_EQ(sound_.events, c.events);
    }
}

}  // namespace
