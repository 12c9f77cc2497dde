// Firmware build: the instructions themselves.
#include "lib/hw/hw.h"

UINT8 PortRead8(UINT16 Port) {
  UINT8 Value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(Value) : "Nd"(Port));
  return Value;
}
UINT16 PortRead16(UINT16 Port) {
  UINT16 Value;
  __asm__ __volatile__("inw %w1, %w0" : "=a"(Value) : "Nd"(Port));
  return Value;
}
UINT32 PortRead32(UINT16 Port) {
  UINT32 Value;
  __asm__ __volatile__("inl %w1, %0" : "=a"(Value) : "Nd"(Port));
  return Value;
}
UINT8 PortWrite8(UINT16 Port, UINT8 Value) {
  __asm__ __volatile__("outb %b0, %w1" : : "a"(Value), "Nd"(Port));
  return Value;
}
UINT16 PortWrite16(UINT16 Port, UINT16 Value) {
  __asm__ __volatile__("outw %w0, %w1" : : "a"(Value), "Nd"(Port));
  return Value;
}
UINT32 PortWrite32(UINT16 Port, UINT32 Value) {
  __asm__ __volatile__("outl %0, %w1" : : "a"(Value), "Nd"(Port));
  return Value;
}

void ReadCpuid(UINT32 Leaf, UINT32* Eax, UINT32* Ebx, UINT32* Ecx, UINT32* Edx) {
  UINT32 A, B, C, D;
  __asm__ __volatile__("cpuid" : "=a"(A), "=b"(B), "=c"(C), "=d"(D) : "a"(Leaf), "c"(*Ecx));
  if (Eax) *Eax = A;
  if (Ebx) *Ebx = B;
  *Ecx = C;
  if (Edx) *Edx = D;
}

UINT64 ReadMsr(UINT32 Index) {
  UINT32 Low, High;
  __asm__ __volatile__("rdmsr" : "=a"(Low), "=d"(High) : "c"(Index));
  return ((UINT64)High << 32) | Low;
}

// Boot services run identity-mapped, so a physical address is a pointer.
UINT8 PhysicalRead8(UINT64 Address) { return *(volatile UINT8*)(UINTN)Address; }
UINT16 PhysicalRead16(UINT64 Address) { return *(volatile UINT16*)(UINTN)Address; }
UINT32 PhysicalRead32(UINT64 Address) { return *(volatile UINT32*)(UINTN)Address; }
