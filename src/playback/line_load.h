#pragma once
// The line's load as the execution window and the command line show it:
// the bytes a frame of the project's servos takes in its controller's
// protocol, against the line's rate.

#include "core/controller_setup.h"
#include "core/project.h"
#include "line_model.h"

#include <string>

namespace kestrova {

// What each servo's command and each frame cost in the setup's protocol
// (Mini-SSC's when the protocol is unknown).
LineCost LineCostOf(const ControllerSetup& setup, double periodMs);

struct LineLoad {
    double percent = 0;
    std::string text;  // "Line: 40% of 9600 baud (Pololu compact)"
};

// The servos that are used and enabled, a frame each 1/fps seconds.
LineLoad ProjectLineLoad(const Project& project, int fps, int32_t baud);

}  // namespace kestrova
