// Processor and port access: the only way page code reaches hardware.
// Firmware build: x64 instructions. Host build: the attached board model.
#pragma once

#include "uefi/base.h"

UINT8 PortRead8(UINT16 Port);
UINT16 PortRead16(UINT16 Port);
UINT32 PortRead32(UINT16 Port);
UINT8 PortWrite8(UINT16 Port, UINT8 Value);
UINT16 PortWrite16(UINT16 Port, UINT16 Value);
UINT32 PortWrite32(UINT16 Port, UINT32 Value);

// CPUID with EAX = Leaf and ECX = *Ecx (the subleaf); each register whose
// pointer is not null receives its result. Ecx must be given.
void ReadCpuid(UINT32 Leaf, UINT32* Eax, UINT32* Ebx, UINT32* Ecx, UINT32* Edx);

UINT64 ReadMsr(UINT32 Index);

UINT8 PhysicalRead8(UINT64 Address);
UINT16 PhysicalRead16(UINT64 Address);
UINT32 PhysicalRead32(UINT64 Address);

// ---- Chipset register access over the primitives above ------------------

constexpr UINT32 PCIE_WINDOW_BASE = 0xF8000000;
constexpr UINT16 PCI_CONFIG_ADDRESS_PORT = 0xCF8;
constexpr UINT16 PCI_CONFIG_DATA_PORT = 0xCFC;
constexpr UINT16 SIO_INDEX_PORT = 0x2E;
constexpr UINT16 SIO_DATA_PORT = 0x2F;
constexpr UINT8 SIO_ENTER_KEY = 0x87;
constexpr UINT8 SIO_EXIT_KEY = 0xAA;

UINT8 PciRead8(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register);
UINT16 PciRead16(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register);
UINT32 PciRead32(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register);
UINT8 SioRead(UINT8 Register);
void SioWrite(UINT8 Register, UINT8 Value);
