#include "line_load.h"

#include "link/controller_protocol.h"

#include <algorithm>

namespace kestrova {

LineCost LineCostOf(const ControllerSetup& setup, double periodMs) {
    ControllerSetup known = setup;
    if (!KnownProtocol(known.protocol)) known.protocol = 0;
    const auto encoder = MakeEncoder(known, periodMs);
    LineCost cost;
    for (int s = 0; s < kLineServos; ++s) cost.commandBytes[s] = encoder->CommandBytes(s);
    cost.frameBytes = encoder->FrameBytes();
    return cost;
}

LineLoad ProjectLineLoad(const Project& project, int fps, int32_t baud) {
    fps = std::max(fps, 1);
    std::array<bool, kLineServos> sends{};
    for (int s = 0; s < kLineServos; ++s) sends[s] = project.Servos[s].Used && project.Servos[s].Enabled;
    const ControllerSetup setup = SetupOf(project);
    LineLoad load;
    load.percent = LineLoadPercent(sends, LineCostOf(setup, 1000.0 / fps), fps, baud);
    load.text = LineLoadText(load.percent, baud, ProtocolName(setup.protocol));
    return load;
}

}  // namespace kestrova
