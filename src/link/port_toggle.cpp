#include "port_toggle.h"

#include "live_output.h"

namespace kestrova {

namespace {

void UncheckedPath(SerialLink& link, PortToggleView& view) {
    view.SetComCaption(kComClosedCaption);
    if (link.IsOpen()) link.Close();
}

}  // namespace

std::optional<Message> ComToggleClicked(SerialLink& link, bool nowChecked, PortToggleView& view) {
    std::optional<Message> problem;
    if (nowChecked) {
        view.SetComCaption(kComOpenCaption);
        std::string reason;
        if (!link.Open(reason)) {
            problem = Message{link.FailureMessage(reason), kComOpenErrorTitle, MessageIcon::Critical,
                              MessageButtons::Ok};
            link.Close();
            // Unchecking the box is a click on it in its own right.
            view.SetComChecked(false);
            UncheckedPath(link, view);
        }
    } else {
        UncheckedPath(link, view);
    }
    view.FocusSelectedEditor();
    return problem;
}

std::string UnsentReason(const ServoRecord& servo, int value) {
    if (servo.Min > servo.Max) {
        return "Not sent: Min (" + std::to_string(servo.Min) + ") is above Max (" + std::to_string(servo.Max) +
               "). Mend the limits in Servo Settings.";
    }
    if (value < kLowestSendablePosition || value > kHighestSendablePosition) {
        return "Not sent: the controller takes positions " + std::to_string(kLowestSendablePosition) + " to " +
               std::to_string(kHighestSendablePosition) + ".";
    }
    return {};
}

void ShowSliderPosition(const ServoRecord& servo, int index, int value, SliderView& view) {
    const std::string reason = UnsentReason(servo, value);
    view.SetPositionLabel(index, std::to_string(value) + (reason.empty() ? "" : "!"));
    view.SetPositionUnsent(index, reason);
}

void ServoSliderChanged(SerialLink& link, const ProjectSettings& settings, const ServoRecord& servo, int index,
                        int value, SliderView& view) {
    ShowSliderPosition(servo, index, value, view);
    if (!UnsentReason(servo, value).empty() || !link.IsOpen()) return;
    link.Live().Want(settings.SynchByte, index, value, ServoCaps(servo));
}

}  // namespace kestrova
