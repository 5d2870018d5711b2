#include "take.h"

namespace kestrova {

// Built while the fitter is not part of the tree: every take is refused.
TakeOutcome FitTake(const Project&, const TakeRecording& recording, bool, int32_t) {
    TakeOutcome outcome;
    for (int s = 0; s < kServoCount; ++s)
        if (recording.Plan().armed[size_t(s)])
            outcome.refusals.push_back("Servo " + std::to_string(s + 1) + ": fitting is not available in this build.");
    return outcome;
}

}  // namespace kestrova
