#include "qemu/nvme_match.h"

bool IsNvmeClass(EFI_PCI_IO_PROTOCOL* PciIo) {
  UINT8 ClassCode[3] = {};
  if (EFI_ERROR(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint8, 0x09, 3, ClassCode))) return false;
  return ClassCode[2] == 0x01 && ClassCode[1] == 0x08 && ClassCode[0] == 0x02;
}

bool HasNamespaceNode(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  for (UINTN Walked = 0; Node != nullptr && Walked < 64; ++Walked) {
    const UINT16 Length = DevicePathNodeLength(Node);
    if (Node->Type == MESSAGING_DEVICE_PATH && Node->SubType == MSG_NVME_NAMESPACE_DP) return true;
    if (Node->Type == END_DEVICE_PATH_TYPE || Length < 4) return false;
    Node = (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Node + Length);
  }
  return false;
}
