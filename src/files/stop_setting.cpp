#include "stop_setting.h"

#include "settings_store.h"

namespace kestrova {

namespace {

cRegistry AfterStopValue(const StoreLocation& store) {
    cRegistry registry(store);
    registry.SetClassKey(kHkeyCurrentUser);
    registry.SetSectionKey(kProgramKey);
    registry.SetValueType(kRegNumber);
    registry.SetValueKey(kValueAfterStop);
    return registry;
}

}  // namespace

AfterStop LoadAfterStop(const StoreLocation& store) {
    const int32_t value = RegistryValueToInt32(AfterStopValue(store).Value());
    return value == 1 ? AfterStop::Home : value == 2 ? AfterStop::PulsesOff : AfterStop::Hold;
}

std::optional<RegistryError> SaveAfterStop(const StoreLocation& store, AfterStop after) {
    return AfterStopValue(store).SetValue(static_cast<int32_t>(after));
}

}  // namespace kestrova
