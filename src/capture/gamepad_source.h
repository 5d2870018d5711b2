#pragma once
// Gamepads and joysticks through SDL: every axis of every device, triggers
// included (an axis of the joystick interface like the sticks), with
// devices coming and going while the program runs. An axis reads 0 at one
// end of its travel and 1 at the other. Within the dead zone around the
// position an axis rested at when its device was found, it reads that rest
// position, so a stick let go does not drift.

#include "capture/input_source.h"

#include <memory>

namespace kestrova {

class GamepadSource : public InputSource {
public:
    // Starts SDL's joystick part; a failure leaves the source without
    // devices and with the reason in Problem().
    explicit GamepadSource(double deadZone = 0.05);
    ~GamepadSource() override;
    GamepadSource(const GamepadSource&) = delete;
    GamepadSource& operator=(const GamepadSource&) = delete;

    SourceKind Kind() const override { return SourceKind::Gamepad; }
    void Poll() override;
    bool Connected(const std::string& device) const override;
    std::string Problem() const override { return problem_; }
    std::vector<std::string> Devices() const override;

    // Fraction of the travel, 0 to 0.5.
    void SetDeadZone(double deadZone);

    // The value an axis position reads as (exposed for the tests).
    static double AxisValue(int16_t raw, int16_t rest, double deadZone);

private:
    struct Device;
    void Open(int index);
    void Close(int32_t instance);

    std::vector<std::unique_ptr<Device>> devices_;
    std::string problem_;
    double deadZone_;
    bool started_ = false;
};

}  // namespace kestrova
