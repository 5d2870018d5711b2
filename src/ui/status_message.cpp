#include "status_message.h"

namespace kestrova {

StatusMessage PickStatusMessage(const std::array<std::optional<ProgramCheck>, kServoCount>& results, int selected,
                                int32_t caret) {
    auto error = [&](int s) -> StatusMessage {
        if (!results[s] || !results[s]->error) return {};
        return {s, results[s]->error->Start, results[s]->error->message, false};
    };
    auto warning = [&](int s, const ProgramWarning* w) -> StatusMessage {
        if (!w) return {};
        return {s, w->Start, w->message, true};
    };
    auto first = [&](int s) -> const ProgramWarning* {
        return results[s] && !results[s]->warnings.empty() ? &results[s]->warnings.front() : nullptr;
    };
    const bool valid = selected >= 0 && selected < kServoCount;
    StatusMessage shown = valid ? error(selected) : StatusMessage{};
    for (int s = 0; s < kServoCount && shown.servo < 0; ++s) shown = error(s);
    if (shown.servo < 0 && valid && results[selected]) shown = warning(selected, WarningAt(*results[selected], caret));
    if (shown.servo < 0 && valid) shown = warning(selected, first(selected));
    for (int s = 0; s < kServoCount && shown.servo < 0; ++s) shown = warning(s, first(s));
    return shown;
}

}  // namespace kestrova
