#pragma once
// Standard input, for trying a show out: each line typed (Enter) is a
// trigger, named by the line's text or, for an empty line, by the
// trigger's own name.

#include "trigger.h"

#include <atomic>
#include <thread>

namespace kestrova::show {

class KeyTrigger : public TriggerSource {
public:
    KeyTrigger(TriggerInbox& inbox, std::string name, int fd = 0);
    ~KeyTrigger() override;
    bool Start(std::string& reason) override;
    std::string Describe() const override { return "Enter on standard input"; }

private:
    void Read();
    TriggerInbox& inbox_;
    std::string name_;
    int fd_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

}  // namespace kestrova::show
