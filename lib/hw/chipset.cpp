// PCI configuration and Super I/O configuration access. Each access is one
// complete port sequence; nothing else may drive these ports in between.
#include "lib/hw/hw.h"

namespace {
UINT32 PciWindowAddress(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  return PCIE_WINDOW_BASE + ((UINT32)Bus << 20) + ((UINT32)Device << 15) + ((UINT32)Function << 12) + Register;
}

void PciSelect(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  PortWrite32(PCI_CONFIG_ADDRESS_PORT, 0x80000000u | ((UINT32)Bus << 16) | ((UINT32)Device << 11) |
                                           ((UINT32)Function << 8) | (Register & 0xFCu));
}
}  // namespace

UINT8 PciRead8(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  if (Register >= 0x100) return PhysicalRead8(PciWindowAddress(Bus, Device, Function, Register));
  PciSelect(Bus, Device, Function, Register);
  return PortRead8((UINT16)(PCI_CONFIG_DATA_PORT | (Register & 3)));
}

UINT16 PciRead16(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  if (Register >= 0x100) return PhysicalRead16(PciWindowAddress(Bus, Device, Function, Register));
  PciSelect(Bus, Device, Function, Register);
  return PortRead16((UINT16)(PCI_CONFIG_DATA_PORT | (Register & 2)));
}

UINT32 PciRead32(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  if (Register >= 0x100) return PhysicalRead32(PciWindowAddress(Bus, Device, Function, Register));
  PciSelect(Bus, Device, Function, Register);
  return PortRead32(PCI_CONFIG_DATA_PORT);
}

UINT8 SioRead(UINT8 Register) {
  PortWrite8(SIO_INDEX_PORT, SIO_ENTER_KEY);
  PortWrite8(SIO_INDEX_PORT, SIO_ENTER_KEY);
  PortWrite8(SIO_INDEX_PORT, Register);
  UINT8 Value = PortRead8(SIO_DATA_PORT);
  PortWrite8(SIO_INDEX_PORT, SIO_EXIT_KEY);
  return Value;
}

void SioWrite(UINT8 Register, UINT8 Value) {
  PortWrite8(SIO_INDEX_PORT, SIO_ENTER_KEY);
  PortWrite8(SIO_INDEX_PORT, SIO_ENTER_KEY);
  PortWrite8(SIO_INDEX_PORT, Register);
  PortWrite8(SIO_DATA_PORT, Value);
  PortWrite8(SIO_INDEX_PORT, SIO_EXIT_KEY);
}
