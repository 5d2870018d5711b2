#pragma once
// Stand-ins for the playback engine's clock and sound output.
#include "playback/playback_engine.h"

#include <algorithm>
#include <string>

namespace kestrova::testing {

// Time passes only by waiting, exactly as the schedule asks, so a long show
// plays in no time.
struct InstantClock : PlaybackClock {
    double now = 0;
    double NowMs() override { return now; }
    void WaitUntil(double deadline) override { now = std::max(now, deadline); }
};

// A sound output that plays nothing.
struct Silence : SoundOutput {
    void Play(const std::string&, double) override {}
    void Stop(double) override {}
};

}  // namespace kestrova::testing
