// Host build: every access goes to the attached board model.
#include "lib/hw/board_model.h"
#include "lib/hw/hw.h"

namespace {
// Wiring of the host process, not image state: the simulator attaches its
// board once per machine.
BoardModel* gBoard = nullptr;
}  // namespace

void AttachBoardModel(BoardModel* Board) { gBoard = Board; }
BoardModel* AttachedBoardModel() { return gBoard; }

UINT8 PortRead8(UINT16 Port) { return gBoard ? (UINT8)gBoard->PortRead(Port, 1) : 0xFF; }
UINT16 PortRead16(UINT16 Port) { return gBoard ? (UINT16)gBoard->PortRead(Port, 2) : 0xFFFF; }
UINT32 PortRead32(UINT16 Port) { return gBoard ? gBoard->PortRead(Port, 4) : 0xFFFFFFFF; }

UINT8 PortWrite8(UINT16 Port, UINT8 Value) {
  if (gBoard) gBoard->PortWrite(Port, 1, Value);
  return Value;
}
UINT16 PortWrite16(UINT16 Port, UINT16 Value) {
  if (gBoard) gBoard->PortWrite(Port, 2, Value);
  return Value;
}
UINT32 PortWrite32(UINT16 Port, UINT32 Value) {
  if (gBoard) gBoard->PortWrite(Port, 4, Value);
  return Value;
}

void ReadCpuid(UINT32 Leaf, UINT32* Eax, UINT32* Ebx, UINT32* Ecx, UINT32* Edx) {
  UINT32 Regs[4] = {0, 0, 0, 0};
  if (gBoard) gBoard->Cpuid(Leaf, *Ecx, Regs);
  if (Eax) *Eax = Regs[0];
  if (Ebx) *Ebx = Regs[1];
  *Ecx = Regs[2];
  if (Edx) *Edx = Regs[3];
}

UINT64 ReadMsr(UINT32 Index) { return gBoard ? gBoard->ReadMsr(Index) : 0; }

UINT8 PhysicalRead8(UINT64 Address) { return gBoard ? (UINT8)gBoard->PhysicalRead(Address, 1) : 0xFF; }
UINT16 PhysicalRead16(UINT64 Address) { return gBoard ? (UINT16)gBoard->PhysicalRead(Address, 2) : 0xFFFF; }
UINT32 PhysicalRead32(UINT64 Address) { return gBoard ? gBoard->PhysicalRead(Address, 4) : 0xFFFFFFFF; }
