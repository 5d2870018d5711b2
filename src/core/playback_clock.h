#pragma once
// The clock that paces playback: the time now and a wait for a deadline.
// The steady clock sleeps until shortly before the deadline and spins only
// the last stretch, so a frame leaves on time without holding a core busy
// for the whole period. Tests give the engine a clock of their own.

namespace kestrova {

class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    // Milliseconds since an origin of the clock's choosing.
    virtual double NowMs() = 0;
    // Returns once NowMs() has reached `deadlineMs` (at once when it has).
    virtual void WaitUntil(double deadlineMs) = 0;
};

class SteadyPlaybackClock : public PlaybackClock {
public:
    // `spinMs`: the stretch before a deadline spent polling instead of asleep.
    // It fits in the short time slice the playing thread asks for, so a busy
    // machine cannot preempt it half-way (a longer spin measurably can).
    explicit SteadyPlaybackClock(double spinMs = 0.1) : spinMs_(spinMs) {}
    double NowMs() override;
    void WaitUntil(double deadlineMs) override;

private:
    double spinMs_;
};

}  // namespace kestrova
