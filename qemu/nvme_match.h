// How the NVMe check and its stand-in driver recognise OVMF's NVMe devices.
#pragma once

#include "uefi/device_path.h"
#include "uefi/pci_io.h"

// PCI class 01/08/02: an NVM Express controller.
bool IsNvmeClass(EFI_PCI_IO_PROTOCOL* PciIo);
// Whether the path holds an NVMe namespace node; bounded like any outside path.
bool HasNamespaceNode(const EFI_DEVICE_PATH_PROTOCOL* Node);
