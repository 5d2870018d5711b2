#pragma once
// OSC over UDP: "/kestrova/trigger" with an optional name as its first
// argument. Messages from other machines are taken only when the show file
// says so; the rest are counted and dropped.

#include "trigger.h"

#include <atomic>
#include <string>

namespace kestrova::show {

class OscTrigger : public TriggerSource {
public:
    OscTrigger(TriggerInbox& inbox, std::string name, int32_t port, bool fromAnywhere);
    ~OscTrigger() override;
    bool Start(std::string& reason) override;
    std::string Describe() const override;

    int64_t Refused() const { return refused_; }

private:
    friend struct OscHandler;
    void Receive(const char* name, bool fromLoopback);
    TriggerInbox& inbox_;
    std::string name_;
    int32_t port_;
    bool fromAnywhere_;
    void* server_ = nullptr;  // lo_server_thread
    std::atomic<int64_t> refused_{0};
};

}  // namespace kestrova::show
