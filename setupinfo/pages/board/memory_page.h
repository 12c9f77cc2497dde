// Memory controller, memory and integrated graphics facts: installed memory
// and its modules, link widths of the processor's PCI Express ports and of
// the hub link, memory code and video BIOS versions, graphics frequency and
// level, and the blanking of memory-frequency and graphics options the board
// cannot use.
#pragma once

#include "platform/memory_info.h"
#include "setupinfo/pages/board/memory_page_state.h"
#include "uefi/hii.h"

// Page-string initialiser (slot 4): the information page for class 0x20,
// the option blanking for classes 4, 2 and 1, the module templates for all.
VOID EFIAPI InitNorthBridgePage(EFI_HII_HANDLE HiiHandle, UINT16 Class);

void ShowPegLinks(EFI_HII_HANDLE HiiHandle);
void ShowDmiLink(EFI_HII_HANDLE HiiHandle);
void ShowNbPlatformFeatures(EFI_HII_HANDLE HiiHandle);
// EFI_NOT_FOUND without the memory module HOB.
EFI_STATUS ShowDimmDetails(EFI_HII_HANDLE HiiHandle);
void ShowDimmTemplate(EFI_HII_HANDLE HiiHandle, const MEMORY_MODULE_RECORD& Record, UINT16 TemplateId,
                      UINT16 RevisionId);

// The memory module HOB (its generic header), or null; EFI_NOT_FOUND also
// without a HOB list. Shared with the setting callbacks, which only test it.
EFI_STATUS FindMemoryModuleHob(const VOID** Hob);

// The memory-controller register window and one 32-bit register of it.
constexpr UINT64 MCHBAR_BASE = 0xFED10000;
UINT32 ReadMchBar32(UINT32 Offset);
constexpr UINT32 MCHBAR_GRAPHICS_RATIOS = 0x5998;  // 15:8 shown here, 7:0 the request floor
