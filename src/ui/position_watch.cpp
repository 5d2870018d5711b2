#include "position_watch.h"

#include "servo_panel.h"
#include "link/live_output.h"
#include "link/serial_link.h"

namespace kestrova {

PositionWatch::PositionWatch(ServoPanel& panel, SerialLink& link, QObject* parent)
    : QObject(parent), panel_(panel), link_(link) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PositionWatch::Refresh);
    timer_.start();
    Refresh();
}

void PositionWatch::Refresh() {
    for (int s = 0; s < kServoCount; ++s) {
        const bool known = link_.IsOpen() && link_.Live().Motion().Known(s);
        if (known != panel_.PositionKnown(s)) panel_.SetPositionKnown(s, known);
    }
}

}  // namespace kestrova
