// Builds arbitrary program texts: the build must end, stay within the frame
// limit and keep every position between the servo's limits.
#include "core/compiler.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Project project;
    StartNewProject(project);
    // The input is split over the servos at each '|'.
    std::string text(reinterpret_cast<const char*>(data), size);
    int servo = 0;
    for (char c : text) {
        if (c == '|') {
            if (++servo == kServoCount) break;
            continue;
        }
        project.Programs[servo].push_back(c);
    }
    project.Servos[1].Min = -100000;
    project.Servos[1].Max = 100000;
    project.Servos[1].Home = 0;
    project.WavCues.push_back(WavCue{3, 4, "x.wav"});

    const BuildResult result = BuildAnimation(project);
    const FrameTable& frames = project.Frames;
    if (frames.UpperBound() > kMaxFrames) std::abort();
    if (result.outcome == BuildOutcome::Failed) {
        const CompileError& e = result.error;
        if (e.servo < 0 || e.servo >= kServoCount || e.Start < 0 || e.End <= e.Start) std::abort();
        return 0;
    }
    for (int32_t f = 1; f <= frames.UpperBound(); ++f) {
        for (int s = 0; s < kServoCount; ++s) {
            const ServoRecord& r = project.Servos[s];
            if (frames[f][s] < r.Min || frames[f][s] > r.Max) std::abort();
        }
    }
    return 0;
}
