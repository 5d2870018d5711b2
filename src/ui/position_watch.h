#pragma once
// Keeps the servo panel's "position unknown" marks in step with the link:
// a servo's position is known once a command for it went out on the open
// port, and unknown again when the port closes, another device opens or the
// pulses go off. Whoever sent (sliders, playback, a stop), a look a few
// times a second finds it.

#include <QObject>
#include <QTimer>

namespace kestrova {

class SerialLink;
class ServoPanel;

class PositionWatch : public QObject {
public:
    PositionWatch(ServoPanel& panel, SerialLink& link, QObject* parent = nullptr);

    // Brings the marks up to date now (the timer's work; tests call it).
    void Refresh();

    static constexpr int kIntervalMs = 100;

private:
    ServoPanel& panel_;
    SerialLink& link_;
    QTimer timer_;
};

}  // namespace kestrova
