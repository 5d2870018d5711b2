#pragma once
// What the main window's port check box (chkCOM) and the live servo sliders
// do, apart from the widgets themselves. The window implements the small
// views below and calls these functions from its event handlers.

#include "core/messages.h"
#include "core/project.h"
#include "core/servo_caps.h"
#include "serial_link.h"

#include <optional>
#include <string>

namespace kestrova {

inline constexpr const char* kComOpenCaption = "COM Open";
inline constexpr const char* kComClosedCaption = "COM Closed";
inline constexpr const char* kComOpenErrorTitle = "COM Port Open Error";

// The port check box and the editor that gets the focus after a click.
class PortToggleView {
public:
    virtual ~PortToggleView() = default;
    // Sets the box's state without counting as a click.
    virtual void SetComChecked(bool checked) = 0;
    virtual void SetComCaption(const std::string& caption) = 0;
    // Gives the keyboard focus to the selected servo's instruction editor.
    virtual void FocusSelectedEditor() = 0;
};

// A click on the port check box, nowChecked being its new state. Checked:
// caption "COM Open", open the port; when that fails, the port closed, the
// box unchecked with the caption "COM Closed", and the critical message
// "COM Port Open Error" with the link's failure message ("COM" + n, the
// device in brackets, " - " and the reason; a setting the link cannot use
// alone) returned for the caller to show. Unchecked: caption "COM Closed",
// the port closed. Then the focus goes to the selected servo's editor.
[[nodiscard]] std::optional<Message> ComToggleClicked(SerialLink& link, bool nowChecked, PortToggleView& view);

// The position labels next to the servo sliders.
class SliderView {
public:
    virtual ~SliderView() = default;
    virtual void SetPositionLabel(int servo, const std::string& text) = 0;
    // Why the position shown does not go to the controller; empty when it does.
    virtual void SetPositionUnsent(int /*servo*/, const std::string& /*reason*/) {}
};

// The positions the controller takes.
constexpr int kLowestSendablePosition = 0;
constexpr int kHighestSendablePosition = 255;

// Why a slider's value cannot go to the controller: a position outside 0
// to 255 (possible with wide servo limits), or limits with Min above Max,
// which leave no position the servo may take. Empty when it can go.
std::string UnsentReason(const ServoRecord& servo, int value);

// Shows a slider's value without sending it: the label reads the value in
// decimal, followed by "!" when UnsentReason gives a reason.
void ShowSliderPosition(const ServoRecord& servo, int index, int value, SliderView& view);

// A change or scroll of servo's slider to value: the label shows it
// (ShowSliderPosition) and, when the port is open and the position can go,
// the servo command goes out. The servo's Enabled and Used flags and
// AutoDisable play no part; a closed port or a failed write shows nothing.
// The command goes through the servo's limiter with its caps (see
// live_output.h).
void ServoSliderChanged(SerialLink& link, const ProjectSettings& settings, const ServoRecord& servo, int index,
                        int value, SliderView& view);

}  // namespace kestrova
