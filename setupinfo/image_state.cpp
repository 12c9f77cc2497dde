#include "setupinfo/image_state.h"

#include "setupinfo/core/callback_dispatch.h"

namespace {

// Every record starts from its own default member initialisers; the core's
// form-set rows and Config Access instances point at each other inside this
// very aggregate, so they are linked here.
constexpr SETUPINFO_STATE InitialSetupInfoState() {
  SETUPINFO_STATE State{};
  for (UINTN i = 0; i < FORM_SET_COUNT; ++i) {
    const FORM_SET_DESCRIPTION& Row = FormSetDescriptions[i];
    State.Core.ConfigAccess[i] = CONFIG_ACCESS_INSTANCE{{nullptr, nullptr, SetupCallback}, Row.Class, 0};
    State.Core.FormSets[i] =
        FORM_SET_INFO{Row.PackageListGuid, &gSetupInfo.Core.ConfigAccess[i].Protocol, Row.Class, 0, nullptr};
  }
  return State;
}

}  // namespace

constinit SETUPINFO_STATE gSetupInfo = InitialSetupInfoState();

CORE_STATE& CoreState() { return gSetupInfo.Core; }
PROCESSOR_PAGE_STATE& ProcessorPageState() { return gSetupInfo.Processor; }
HARDWARE_MONITOR_STATE& HardwareMonitorState() { return gSetupInfo.HardwareMonitor; }
NORTH_BRIDGE_SETUP_STATE& NorthBridgeSetupState() { return gSetupInfo.NorthBridgeSetup; }
SOUTH_BRIDGE_PAGE_STATE& SouthBridgePageState() { return gSetupInfo.SouthBridge; }
MANAGEMENT_ENGINE_STATE& ManagementEngineState() { return gSetupInfo.ManagementEngine; }
MEMORY_PAGE_STATE& MemoryPageState() { return gSetupInfo.Memory; }
CLOCK_CONTROL_STATE& ClockControlState() { return gSetupInfo.ClockControl; }
USB_DEVICES_STATE& UsbDevicesState() { return gSetupInfo.UsbDevices; }
NETWORK_PAGE_STATE& NetworkPageState() { return gSetupInfo.Network; }
USER_PROFILES_STATE& UserProfilesState() { return gSetupInfo.UserProfiles; }
MAIN_PAGE_STATE& MainPageState() { return gSetupInfo.MainPage; }
SATA_PORT_STRINGS_STATE& SataPortStringsState() { return gSetupInfo.SataPorts; }
PRESETS_STATE& PresetsState() { return gSetupInfo.Presets; }
SECURE_BOOT_PAGE_STATE& SecureBootPageState() { return gSetupInfo.SecureBootPage; }

void SetupInfoResetState() {
  gSetupInfo = InitialSetupInfoState();
  LibResetState();
}
