#pragma once
// Triggers: every source (a key, OSC, HTTP, a modem status line, a GPIO
// line) posts what it sees to one inbox, from whatever thread it runs on.
// The runner waits on the inbox between frames, so a trigger is seen the
// moment it arrives, and takes the events in the order they came.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrova::show {

struct TriggerEvent {
    std::string trigger;  // the trigger's name from the show file
    std::string detail;   // what came in: "OSC from 127.0.0.1:5000", "DSR closed"...
    bool level = false;   // a contact: `active` tells closed or open
    bool active = true;
};

class TriggerInbox {
public:
    TriggerInbox();
    ~TriggerInbox();
    TriggerInbox(const TriggerInbox&) = delete;
    TriggerInbox& operator=(const TriggerInbox&) = delete;

    // From any thread. Past the bound, events are counted and dropped (a
    // flood cannot grow the queue); contacts have a bound of their own.
    void Post(TriggerEvent event);
    // Wakes a waiter without an event; safe from a signal handler.
    void Wake();
    // Waits until an event is posted, a wake or the time has passed; true
    // when woken.
    bool Wait(double ms);
    std::vector<TriggerEvent> Take();
    int64_t Dropped() const;
    // A descriptor that becomes readable when events wait (for poll).
    int WakeFd() const { return pipe_[0]; }

    static constexpr size_t kBound = 256;

private:
    mutable std::mutex mutex_;
    std::deque<TriggerEvent> queue_;
    int64_t dropped_ = 0;
    int pipe_[2] = {-1, -1};
};

// A source of triggers. Start() begins posting to the inbox (false with the
// reason when it cannot: a port in use, a device missing); the destructor
// stops it.
class TriggerSource {
public:
    virtual ~TriggerSource() = default;
    virtual bool Start(std::string& reason) = 0;
    // What the log calls it: "OSC on UDP port 9000".
    virtual std::string Describe() const = 0;
};

}  // namespace kestrova::show
