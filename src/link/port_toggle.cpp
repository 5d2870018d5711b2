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

void ServoSliderChanged(SerialLink& link, const ProjectSettings& settings, int servo, int value,
                        SliderView& view, const Caps& caps) {
    const bool sendable = value >= kLowestSendablePosition && value <= kHighestSendablePosition;
    view.SetPositionLabel(servo, std::to_string(value) + (sendable ? "" : "!"));
    view.SetPositionSendable(servo, sendable);
    if (!sendable || !link.IsOpen()) return;
    link.Live().Want(settings.SynchByte, servo, value, caps);
}

}  // namespace kestrova
