// Host build only: the board behind lib/hw. The simulator implements it; a
// test may attach a recording fake instead.
#pragma once

#include "uefi/base.h"

class BoardModel {
 public:
  virtual ~BoardModel() = default;
  virtual UINT32 PortRead(UINT16 Port, UINT8 Width) = 0;  // Width in bytes: 1, 2 or 4
  virtual void PortWrite(UINT16 Port, UINT8 Width, UINT32 Value) = 0;
  // Regs holds EAX, EBX, ECX, EDX results.
  virtual void Cpuid(UINT32 Leaf, UINT32 Subleaf, UINT32 Regs[4]) = 0;
  virtual UINT64 ReadMsr(UINT32 Index) = 0;
  virtual UINT32 PhysicalRead(UINT64 Address, UINT8 Width) = 0;
};

// Attaches the board that lib/hw reaches; null detaches (reads then give all
// ones, as an empty bus does, and writes go nowhere).
void AttachBoardModel(BoardModel* Board);
BoardModel* AttachedBoardModel();
