#include "take.h"

#include "core/frame_table.h"
#include "core/punch_in.h"

#include <algorithm>

namespace kestrova {

TakeOutcome FitTake(const Project& project, const TakeRecording& recording, bool complete, int32_t tolerance) {
    TakeOutcome outcome;
    const TakePlan& plan = recording.Plan();
    const int32_t last = recording.CoveredLast(complete);
    if (last < plan.first) return outcome;
    FitOptions options;
    options.tolerance = std::clamp(tolerance, 0, 10);
    for (int s = 0; s < kServoCount; ++s) {
        if (!plan.armed[size_t(s)]) continue;
        const ServoRecord& servo = project.Servos[size_t(s)];
        const std::string name = "Servo " + std::to_string(s + 1) + " (\"" + servo.Name + "\")";
        if (last > kMaxFrames) {
            outcome.refusals.push_back(name + ": the take reaches frame " + std::to_string(last) + ", beyond the " +
                                       std::to_string(kMaxFrames) + " frames an animation may have.");
            continue;
        }
        const std::vector<int32_t> trace = recording.Trace(s, complete);
        const auto [low, high] = std::minmax_element(trace.begin(), trace.end());
        if (*low < std::min(servo.Min, servo.Max) || *high > std::max(servo.Min, servo.Max)) {
            outcome.refusals.push_back(name + ": the take goes from " + std::to_string(*low) + " to " +
                                       std::to_string(*high) + ", outside the servo's limits " +
                                       std::to_string(servo.Min) + " to " + std::to_string(servo.Max) + ".");
            continue;
        }
        const PunchInResult result =
            PunchIn(servo, project.Programs[size_t(s)], plan.first, last, trace, options);
        if (!result.ok()) {
            outcome.refusals.push_back(name + ": " + result.error);
            continue;
        }
        outcome.programs[size_t(s)] = result.program;
    }
    return outcome;
}

}  // namespace kestrova
