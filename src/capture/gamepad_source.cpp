#include "gamepad_source.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

namespace kestrova {

struct GamepadSource::Device {
    SDL_Joystick* joystick = nullptr;
    int32_t instance = -1;
    std::string name;
    std::vector<int16_t> rest;
};

GamepadSource::GamepadSource(double deadZone) : deadZone_(std::clamp(deadZone, 0.0, 0.5)) {
    // Axes keep coming when no window of SDL's has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // SDL would otherwise take over SIGINT and SIGTERM, and the editor would
    // ignore a logout, a service manager or Ctrl+C for as long as it runs.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        problem_ = std::string("Gamepads are not available: ") + SDL_GetError();
        return;
    }
    started_ = true;
    // Devices present now come as "added" events at the first poll.
}

GamepadSource::~GamepadSource() {
    if (!started_) return;
    for (const auto& device : devices_) SDL_JoystickClose(device->joystick);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void GamepadSource::SetDeadZone(double deadZone) { deadZone_ = std::clamp(deadZone, 0.0, 0.5); }

double GamepadSource::AxisValue(int16_t raw, int16_t rest, double deadZone) {
    const double value = (double(raw) + 32768.0) / 65535.0;
    const double rested = (double(rest) + 32768.0) / 65535.0;
    return std::abs(value - rested) < deadZone ? rested : value;
}

void GamepadSource::Open(int index) {
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) return;
    auto device = std::make_unique<Device>();
    device->joystick = joystick;
    device->instance = SDL_JoystickInstanceID(joystick);
    const char* name = SDL_JoystickName(joystick);
    device->name = name && *name ? name : "Joystick";
    // Two pads of the same kind: the second is "Name (2)".
    const std::string base = device->name;
    for (int n = 2; std::any_of(devices_.begin(), devices_.end(), [&](const auto& d) { return d->name == device->name; });
         ++n) {
        device->name = base + " (" + std::to_string(n) + ")";
    }
    const int axes = std::max(0, SDL_JoystickNumAxes(joystick));
    device->rest.assign(size_t(axes), 0);
    for (int a = 0; a < axes; ++a) {
        Sint16 initial = 0;
        if (!SDL_JoystickGetAxisInitialState(joystick, a, &initial)) initial = SDL_JoystickGetAxis(joystick, a);
        device->rest[size_t(a)] = initial;
        table_.Set(ControlId{SourceKind::Gamepad, device->name, a},
                   AxisValue(SDL_JoystickGetAxis(joystick, a), initial, deadZone_));
    }
    devices_.push_back(std::move(device));
}

void GamepadSource::Close(int32_t instance) {
    const auto it =
        std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->instance == instance; });
    if (it == devices_.end()) return;
    table_.Remove((*it)->name);
    SDL_JoystickClose((*it)->joystick);
    devices_.erase(it);
}

void GamepadSource::Poll() {
    if (!started_) return;
    SDL_JoystickUpdate();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_JOYDEVICEADDED) {
            Open(event.jdevice.which);
        } else if (event.type == SDL_JOYDEVICEREMOVED) {
            Close(event.jdevice.which);
        } else if (event.type == SDL_JOYAXISMOTION) {
            for (const auto& device : devices_) {
                if (device->instance != event.jaxis.which || event.jaxis.axis >= device->rest.size()) continue;
                table_.Set(ControlId{SourceKind::Gamepad, device->name, event.jaxis.axis},
                           AxisValue(event.jaxis.value, device->rest[event.jaxis.axis], deadZone_));
            }
        }
    }
}

bool GamepadSource::Connected(const std::string& device) const {
    return std::any_of(devices_.begin(), devices_.end(), [&](const auto& d) { return d->name == device; });
}

std::vector<std::string> GamepadSource::Devices() const {
    std::vector<std::string> names;
    for (const auto& device : devices_) names.push_back(device->name);
    return names;
}

}  // namespace kestrova
