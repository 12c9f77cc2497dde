// The wiring of the pages into the loader. Each page puts its initialiser in
// the slot it owns; every other slot stays empty.
#include "setupinfo/core/page_initialisers.h"

#include "setupinfo/pages/board/memory_page.h"
#include "setupinfo/pages/board/processor_page.h"
#include "setupinfo/pages/board/super_io_page.h"
#include "setupinfo/pages/board/south_bridge_page.h"
#include "setupinfo/pages/platform/graphics_output.h"
#include "setupinfo/pages/platform/management_engine.h"
#include "setupinfo/pages/platform/network_page.h"
#include "setupinfo/pages/platform/nvme_devices.h"
#include "setupinfo/pages/platform/user_profiles.h"
#include "setupinfo/pages/platform/clock_control.h"
#include "setupinfo/pages/devices/usb_devices.h"
#include "setupinfo/pages/board/main_page.h"
#include "setupinfo/pages/devices/sata_port_strings.h"

VOID EFIAPI EmptyPageInitialiser(EFI_HII_HANDLE, UINT16) {}

namespace {

constexpr PAGE_STRING_INITIALISER InitialiserTable[PAGE_STRING_INITIALISER_SLOTS + 1] = {
    InitFixedVersionString,      // 0: fixed Super I/O version text
    InitSuperIoResourceStrings,  // 1: Super I/O resource strings
    InitProcessorPage,     // 2: processor page
    InitSouthBridgePage,   // 3: platform controller hub page
    InitNorthBridgePage,   // 4: memory controller, memory and integrated graphics
    InitGraphicsOutputPage,  // 5: graphics output selection
    InitOutputPlatformData,  // 6: graphics output properties
    InitLegacyAreaVersion,        // 7: legacy-area version string
    EmptyPageInitialiser,  // 8
    InitManagementEngineStrings,  // 9: management engine information
    InitClockControl,      // 10: clock control page
    InitNvmeDevicePage,    // 11: NVMe devices
    InitComponentVersions,  // 12: component versions
    InitUsbDevicePage,     // 13: USB device summary
    InitSataPortStrings,   // 14: SATA port strings
    InitNetworkPage,       // 15: network configuration page
    EmptyPageInitialiser,  // 16
    InitProfileNames,      // 17: user-default profile names
    InitStrapText,         // 18: strap texts
    InitConfigurationText, // 19: configuration texts
    EmptyPageInitialiser,  // 20
    EmptyPageInitialiser,  // 21
    EmptyPageInitialiser,  // 22
    EmptyPageInitialiser,  // 23
    InitMainPageSummary,   // 24: main page summary
    nullptr,
};

constexpr bool EverySlotFilled() {
  for (UINTN i = 0; i < PAGE_STRING_INITIALISER_SLOTS; ++i)
    if (InitialiserTable[i] == nullptr) return false;
  return InitialiserTable[PAGE_STRING_INITIALISER_SLOTS] == nullptr;
}
static_assert(EverySlotFilled(), "a slot is empty before the end of the table");

// Slots 8, 16 and 20-23 are reserved and stay empty; a page put into one of
// them, or an empty slot where a page belongs, fails here.
constexpr bool ReservedSlotsOnly() {
  for (UINTN i = 0; i < PAGE_STRING_INITIALISER_SLOTS; ++i) {
    const bool Reserved = i == 8 || i == 16 || (i >= 20 && i <= 23);
    if ((InitialiserTable[i] == EmptyPageInitialiser) != Reserved) return false;
  }
  return true;
}
static_assert(PAGE_STRING_INITIALISER_SLOTS == 25 && ReservedSlotsOnly(), "an initialiser is out of its slot");

}  // namespace

Span<const PAGE_STRING_INITIALISER> PageStringInitialisers() {
  return Span<const PAGE_STRING_INITIALISER>(InitialiserTable, ArrayCount(InitialiserTable));
}
