#include "trigger_factory.h"

#include "contact_trigger.h"
#include "http_trigger.h"
#include "key_trigger.h"
#include "osc_trigger.h"

namespace kestrova::show {

std::unique_ptr<TriggerSource> MakeTrigger(const TriggerSpec& spec, TriggerContext& context) {
    switch (spec.kind) {
    case TriggerKind::Key: return std::make_unique<KeyTrigger>(context.inbox, spec.name, context.keyFd);
    case TriggerKind::Osc:
        return std::make_unique<OscTrigger>(context.inbox, spec.name, spec.port, spec.fromAnywhere);
    case TriggerKind::Http:
        return std::make_unique<HttpTrigger>(context.inbox, spec.name, spec.address, spec.port, spec.secret,
                                             context.statusJson);
    case TriggerKind::Modem:
        return std::make_unique<ContactTrigger>(context.inbox, spec.name, spec.activeLow,
                                                MakeModemReader(context.portDevice, spec.line), context.problem);
    case TriggerKind::Gpio:
        return std::make_unique<ContactTrigger>(context.inbox, spec.name, spec.activeLow,
                                                MakeGpioReader(spec.chip, spec.offset), context.problem);
    }
    return nullptr;
}

}  // namespace kestrova::show
