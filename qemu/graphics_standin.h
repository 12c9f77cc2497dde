// Private protocol of the test graphics stand-in for OVMF: which real
// display controller, driver and output it found, the output it added below
// that controller, and the calls the page made into what it added.
#pragma once

#include "uefi/base.h"

struct GRAPHICS_STANDIN_CONTROL_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xE0D43EDB, 0x9532, 0x4221, {0x9C, 0xAC, 0x0B, 0xC9, 0x4C, 0x4A, 0x71, 0x92}};

  EFI_STATUS SetupStatus;  // of the stand-in's own set-up; the rest is valid only on success
  EFI_HANDLE Controller;   // the PCI display controller (base class 3)
  EFI_HANDLE Driver;       // OVMF's video driver that manages it
  EFI_HANDLE RealOutput;   // the driver's Graphics Output child: EDID Discovered, level and switch added
  EFI_HANDLE AddedOutput;  // a second output child of the controller, named by the stand-in
  UINTN VendorReads;       // vendor-ID reads through the controller's PCI I/O
  UINTN GetMaxLevelCalls, GetLevelCalls, SetLevelCalls;
  UINT32 Level;            // the output's level now
  UINTN SwitchOnCalls, SwitchOffCalls;
};

// The stand-in's level range and its output's starting level.
constexpr UINT32 STANDIN_MAX_LEVEL = 10;
constexpr UINT32 STANDIN_START_LEVEL = 4;
// The added output's node after the controller's path, and its name.
constexpr UINT32 STANDIN_ADDED_OUTPUT_ADR = 0x80010200;
inline constexpr CHAR16 STANDIN_ADDED_OUTPUT_NAME[] = u"Stand-in Output";
// What the stand-in answers for the controller's vendor ID.
constexpr UINT16 STANDIN_VENDOR_ID = 0x8086;
