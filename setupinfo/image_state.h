// All mutable state of the setupinfo image, in one aggregate. Initialised at
// load by constant initialisation; the host build puts it back with
// SetupInfoResetState (a simulated reboot, or a fresh test).
#pragma once

#include "setupinfo/core/core_state.h"
#include "setupinfo/nbsetup/north_bridge_setup_state.h"
#include "setupinfo/pages/board/hardware_monitor_state.h"
#include "setupinfo/pages/board/memory_page_state.h"
#include "setupinfo/pages/board/processor_page_state.h"
#include "setupinfo/pages/board/south_bridge_page_state.h"
#include "setupinfo/pages/platform/management_engine_state.h"
#include "setupinfo/pages/platform/clock_control_state.h"
#include "setupinfo/pages/devices/usb_devices_state.h"
#include "setupinfo/pages/devices/sata_port_strings_state.h"
#include "setupinfo/pages/platform/network_page_state.h"
#include "setupinfo/pages/platform/user_profiles_state.h"
#include "setupinfo/pages/board/main_page_state.h"
#include "setupinfo/pages/platform/presets_state.h"
#include "setupinfo/secureboot/secure_boot_page_state.h"

struct SETUPINFO_STATE {
  CORE_STATE Core;
  PROCESSOR_PAGE_STATE Processor;
  HARDWARE_MONITOR_STATE HardwareMonitor;
  NORTH_BRIDGE_SETUP_STATE NorthBridgeSetup;
  SOUTH_BRIDGE_PAGE_STATE SouthBridge;
  MEMORY_PAGE_STATE Memory;
  MANAGEMENT_ENGINE_STATE ManagementEngine;
  CLOCK_CONTROL_STATE ClockControl;
  USB_DEVICES_STATE UsbDevices;
  NETWORK_PAGE_STATE Network;
  USER_PROFILES_STATE UserProfiles;
  MAIN_PAGE_STATE MainPage;
  SATA_PORT_STRINGS_STATE SataPorts;
  PRESETS_STATE Presets;
  SECURE_BOOT_PAGE_STATE SecureBootPage;
};

extern constinit SETUPINFO_STATE gSetupInfo;

// Host build: the whole image, support library included, back to load time.
void SetupInfoResetState();
