#include "trigger_factory.h"

#include "contact_trigger.h"
#include "http_trigger.h"
#include "key_trigger.h"
#include "osc_trigger.h"

namespace kestrova::show {

std::unique_ptr<TriggerSource> MakeTrigger(const TriggerSetup& setup, TriggerContext& context) {
    switch (setup.kind) {
    case TriggerKind::Key: return std::make_unique<KeyTrigger>(context.inbox, setup.name, context.keyFd);
    case TriggerKind::Osc:
        return std::make_unique<OscTrigger>(context.inbox, setup.name, setup.port, setup.fromAnywhere);
    case TriggerKind::Http:
        return std::make_unique<HttpTrigger>(context.inbox, setup.name, setup.address, setup.port, setup.secret,
                                             context.statusJson);
    case TriggerKind::Modem:
        if (!context.link) return nullptr;
        return std::make_unique<ContactTrigger>(context.inbox, setup.name, setup.activeLow,
                                                MakeModemReader(*context.link, context.portDevice, setup.line),
                                                context.problem);
    case TriggerKind::Gpio:
        return std::make_unique<ContactTrigger>(context.inbox, setup.name, setup.activeLow,
                                                MakeGpioReader(setup.chip, setup.offset), context.problem);
    }
    return nullptr;
}

}  // namespace kestrova::show
