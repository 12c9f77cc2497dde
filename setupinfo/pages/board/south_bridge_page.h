// Platform controller hub page: the hub's name, stepping and chipset
// version on every form set, and on the form set of class 4 one line per
// SATA port with the attached drive's model, capacity and feature status.
#pragma once

#include "setupinfo/pages/board/south_bridge_page_state.h"
#include "uefi/hii.h"

// Page-string initialiser (slot 3).
VOID EFIAPI InitSouthBridgePage(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Strings of the page.
constexpr UINT16 STR_PCH_VERSION = 0x0202;
constexpr UINT16 STR_PCH_NAME = 0x0205;
constexpr UINT16 STR_PCH_STEPPING = 0x0208;

// The hub's configuration: LPC bridge 0:31.0, SATA functions 2 and 5, and
// the SATA mode register read through the memory-mapped window.
constexpr UINT8 PCH_DEVICE = 31;
constexpr UINT8 PCH_LPC_FUNCTION = 0;
constexpr UINT8 PCH_SATA_FUNCTION = 2;
constexpr UINT8 PCH_SATA_SECOND_FUNCTION = 5;
constexpr UINT16 PCH_SATA_MODE_REGISTER = 0x90;
