// The SATA ports of the Advanced form set: six ports, each with its model,
// two texts, the Ultra DMA mode and a support note, as the platform's SATA
// driver reports them. The setup driver does not look at the disks: it
// installs the SATA port string protocol, and the SATA driver calls it with
// its own device-lookup interface.
#pragma once

#include "platform/sata_port_strings.h"
#include "setupinfo/pages/devices/sata_port_strings_state.h"
#include "uefi/hii.h"

// Page-string initialiser, slot 14, for every class: installs one more
// instance of the SATA port string protocol on a new handle.
VOID EFIAPI InitSataPortStrings(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// The protocol's function: asks SataInterface for each port's device and
// sets the port's strings on the class-4 package list. Every call shows the
// devices found by that call, starting from the package's texts.
VOID EFIAPI UpdateSataPortStrings(SATA_DEVICE_INTERFACE* SataInterface);

// One port: its name and the two lookup tuples (bus designator, device,
// function, byte A, byte B), the first tried first.
struct SATA_PORT_ROW {
  const CHAR8* Name;
  UINT8 Lookups[2][5];
};

inline constexpr SATA_PORT_ROW SataPortRows[SATA_PORT_STRING_PORTS] = {
    {"SATA3_0", {{0, 0x1F, 2, 0xF0, 0x00}, {0, 0x1F, 2, 0, 0xF0}}},
    {"SATA3_1", {{0, 0x1F, 2, 0xF0, 0x10}, {0, 0x1F, 2, 1, 0xF0}}},
    {"SATA3_2", {{0, 0x1F, 2, 0xF0, 0x01}, {0, 0x1F, 2, 2, 0xF0}}},
    {"SATA3_3", {{0, 0x1F, 2, 0xF0, 0x11}, {0, 0x1F, 2, 3, 0xF0}}},
    {"SATA3_4", {{0, 0x1F, 5, 0xF0, 0x00}, {0, 0x1F, 2, 4, 0xF0}}},
    {"SATA3_5", {{0, 0x1F, 5, 0xF0, 0x10}, {0, 0x1F, 2, 5, 0xF0}}},
};

// String IDs of port p: five per port from these, one per port from these.
constexpr UINT16 STR_SATA_MODEL = 3244;       // + 5p, own template, text 1
constexpr UINT16 STR_SATA_TEXT2 = 3245;       // + 5p, own template
constexpr UINT16 STR_SATA_TEXT3 = 3246;       // + 5p, own template, or " "
constexpr UINT16 STR_SATA_ULTRA_DMA = 3247;   // + 5p
constexpr UINT16 STR_SATA_NOTE = 3248;        // + 5p, a copy of STR_SATA_NOT_SUPPORTED
constexpr UINT16 STR_SATA_PORT_LINE = 3324;   // + p
constexpr UINT16 STR_SATA_LINE_COPY = 3228;   // + p, the finished port line
constexpr UINT16 STR_SATA_NOT_SUPPORTED = 3340;

constexpr UINT16 SataPortStringId(UINT16 First, UINTN Port) {
  return (UINT16)(First + (First >= STR_SATA_MODEL && First <= STR_SATA_NOTE ? 5 * Port : Port));
}

// Text 5 that asks for the support note.
inline constexpr CHAR8 SATA_NOT_SUPPORTED_TEXT[] = "Not Supported";
