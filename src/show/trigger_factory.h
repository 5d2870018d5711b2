#pragma once
// The trigger sources a show file names, ready to start.

#include "show_file.h"
#include "trigger.h"

#include <functional>
#include <memory>
#include <string>

namespace kestrova {
class SerialLink;
}

namespace kestrova::show {

struct TriggerContext {
    TriggerInbox& inbox;
    std::function<std::string()> statusJson;  // for HTTP's GET /status
    const SerialLink* link = nullptr;         // the show's port, whose modem lines a contact reads
    std::string portDevice;                   // its device, for the log
    int keyFd = 0;
    std::function<void(const std::string&)> problem;  // a contact's reader failing or back, from its thread
};

std::unique_ptr<TriggerSource> MakeTrigger(const TriggerSetup& setup, TriggerContext& context);

}  // namespace kestrova::show
