// NVMe device rows on the Advanced form set: for up to four namespaces, the
// name their driver reports and the PCI location of their controller, and
// NVMEData saying which rows are filled.
#pragma once

#include "uefi/device_path.h"
#include "uefi/hii.h"

// Page-string initialiser, slot 11; acts for class 4 only.
VOID EFIAPI InitNvmeDevicePage(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Location and name string of device row n.
constexpr UINT16 NvmeLocationStrings[] = {0x0B4C, 0x0B4E, 0x0B50, 0x0B52};
constexpr UINT16 NvmeNameStrings[] = {0x0B4D, 0x0B4F, 0x0B51, 0x0B53};

// Room for a row's text, in bytes of 8-bit text, terminator included.
constexpr UINTN NVME_TEXT_BYTES = 256;

// Whether a handle's path names an NVMe namespace: walked node by node up to
// the first namespace node or end-type node. A node Length below its header
// ends the walk with no namespace, since the walk could not go on.
bool IsNvmeNamespacePath(const EFI_DEVICE_PATH_PROTOCOL* Path);

// A driver's name as 8-bit text: the low byte of each character, at most
// NVME_TEXT_BYTES - 1 characters read, always terminated.
VOID NarrowDeviceName(const CHAR16* Name, CHAR8 (&Text)[NVME_TEXT_BYTES]);
