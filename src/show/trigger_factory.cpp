#include "trigger_factory.h"

#include "key_trigger.h"
#include "osc_trigger.h"

namespace kestrova::show {

std::unique_ptr<TriggerSource> MakeTrigger(const TriggerSpec& spec, TriggerContext& context) {
    switch (spec.kind) {
    case TriggerKind::Key: return std::make_unique<KeyTrigger>(context.inbox, spec.name, context.keyFd);
    case TriggerKind::Osc:
        return std::make_unique<OscTrigger>(context.inbox, spec.name, spec.port, spec.fromAnywhere);
    case TriggerKind::Http:
    case TriggerKind::Modem:
    case TriggerKind::Gpio: break;
    }
    return nullptr;
}

}  // namespace kestrova::show
