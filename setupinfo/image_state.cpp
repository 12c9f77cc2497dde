#include "setupinfo/image_state.h"

#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/callback_registry.h"
#include "setupinfo/core/form_sets.h"

namespace {

constexpr CORE_STATE InitialCoreState() {
  CORE_STATE Core{};
  Core.RegistryInterface = CallbackRegistryInterface();
  for (UINTN i = 0; i < FORM_SET_COUNT; ++i) {
    const FORM_SET_DESCRIPTION& Row = FormSetDescriptions[i];
    Core.ConfigAccess[i] = CONFIG_ACCESS_INSTANCE{{nullptr, nullptr, SetupCallback}, Row.Class, 0};
    Core.FormSets[i] = FORM_SET_INFO{&Row.PackageListGuid, &gSetupInfo.Core.ConfigAccess[i].Protocol, Row.Class, 0,
                                     nullptr};
  }
  return Core;
}

constexpr SETUPINFO_STATE InitialSetupInfoState() {
  SETUPINFO_STATE State{};
  State.Core = InitialCoreState();
  return State;
}

}  // namespace

constinit SETUPINFO_STATE gSetupInfo = InitialSetupInfoState();

void SetupInfoResetState() {
  gSetupInfo = InitialSetupInfoState();
  LibResetState();
}
