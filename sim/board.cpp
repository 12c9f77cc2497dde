#include "sim/board.h"

#include <cstring>

#include "uefi/pi.h"

namespace sim {

namespace {
UINT32 AllOnes(UINT8 Width) { return Width >= 4 ? 0xFFFFFFFFu : (1u << (8 * Width)) - 1; }

void Apply(UINT8* Space, size_t SpaceSize, const RegisterWrite& W) {
  for (size_t I = 0; I < W.Bytes.size() && W.Offset + I < SpaceSize; ++I) Space[W.Offset + I] = W.Bytes[I];
}
}  // namespace

Board::Board(const BoardProfile& P) : MchBar_(MCH_BAR_SIZE, 0), Legacy_(LEGACY_SIZE, 0) {
  for (auto& L : P.Cpuid) SetCpuid(L.Leaf, L.Subleaf, L.Regs);
  Msrs_ = P.Msrs;
  for (auto& F : P.Pci) {
    AddPciFunction(F.Bus, F.Device, F.Function);
    for (auto& W : F.Config) Apply(Pci_[Bdf(F.Bus, F.Device, F.Function)]->data(), 4096, W);
  }
  SioPresent_ = P.SuperIo.Present;
  for (auto& [Reg, Value] : P.SuperIo.Globals)
    if (Reg < SioGlobals_.size()) SioGlobals_[Reg] = Value;
  for (auto& D : P.SuperIo.Devices) {
    auto& Regs = SioDevices_[D.Ldn];
    Regs.fill(0);
    for (auto& [Reg, Value] : D.Registers) Regs[Reg] = Value;
  }
  HwmonBankMask_ = P.Hwmon.BankMask;
  for (auto& B : P.Hwmon.Banks) {
    auto& Regs = HwmonBanks_[B.Bank];
    Regs.fill(0);
    for (auto& [Reg, Value] : B.Registers) Regs[Reg] = Value;
  }
  for (auto& W : P.Mmio) Apply(MchBar_.data(), MchBar_.size(), W);
  for (auto& W : P.LegacyArea) Apply(Legacy_.data(), Legacy_.size(), W);
  BuildHobList(P);
}

void Board::SetCpuid(UINT32 Leaf, std::optional<UINT32> Subleaf, std::array<UINT32, 4> Regs) {
  if (Subleaf)
    CpuidExact_[{Leaf, *Subleaf}] = Regs;
  else
    CpuidAnySubleaf_[Leaf] = Regs;
}

void Board::Cpuid(UINT32 Leaf, UINT32 Subleaf, UINT32 Regs[4]) {
  std::array<UINT32, 4> R{};
  if (auto It = CpuidExact_.find({Leaf, Subleaf}); It != CpuidExact_.end())
    R = It->second;
  else if (auto It2 = CpuidAnySubleaf_.find(Leaf); It2 != CpuidAnySubleaf_.end())
    R = It2->second;
  for (int I = 0; I < 4; ++I) Regs[I] = R[I];
}

UINT64 Board::ReadMsr(UINT32 Index) {
  auto It = Msrs_.find(Index);
  if (It != Msrs_.end()) return It->second;
  UnknownMsrs_.push_back(Index);
  return 0;
}

// ---- PCI configuration space --------------------------------------------

bool Board::PciPresent(UINT8 Bus, UINT8 Device, UINT8 Function) const {
  return Pci_.count(Bdf(Bus, Device, Function)) != 0;
}

void Board::AddPciFunction(UINT8 Bus, UINT8 Device, UINT8 Function) {
  auto& Slot = Pci_[Bdf(Bus, Device, Function)];
  if (!Slot) {
    Slot = std::make_unique<ConfigSpace>();
    Slot->fill(0);
  }
}

void Board::RemovePciFunction(UINT8 Bus, UINT8 Device, UINT8 Function) { Pci_.erase(Bdf(Bus, Device, Function)); }

void Board::PciWrite(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Offset, const void* Data, size_t Size) {
  auto It = Pci_.find(Bdf(Bus, Device, Function));
  if (It == Pci_.end()) return;
  for (size_t I = 0; I < Size && Offset + I < 4096; ++I) (*It->second)[Offset + I] = ((const UINT8*)Data)[I];
}

UINT32 Board::PciRead(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Offset, UINT8 Width) const {
  auto It = Pci_.find(Bdf(Bus, Device, Function));
  if (It == Pci_.end()) return AllOnes(Width);
  UINT32 V = 0;
  for (UINT8 I = 0; I < Width; ++I) {
    UINT32 B = Offset + I < 4096 ? (*It->second)[Offset + I] : 0xFF;
    V |= B << (8 * I);
  }
  return V;
}

// ---- Super I/O and hardware monitor ------------------------------------

UINT8 Board::SioDeviceRegister(UINT8 Ldn, UINT8 Reg) const {
  auto It = SioDevices_.find(Ldn);
  return It == SioDevices_.end() ? 0xFF : It->second[Reg];
}

void Board::SetSioDeviceRegister(UINT8 Ldn, UINT8 Reg, UINT8 Value) {
  auto It = SioDevices_.find(Ldn);
  if (It == SioDevices_.end()) {
    SioDevices_[Ldn].fill(0);
    It = SioDevices_.find(Ldn);
  }
  It->second[Reg] = Value;
}

UINT8 Board::HwmonBank() const { return HwmonBankSelect_ & HwmonBankMask_; }

UINT8 Board::HwmonRegister(UINT8 Bank, UINT8 Reg) const {
  if (Reg == HWMON_BANK_SELECT) return HwmonBankSelect_;
  auto It = HwmonBanks_.find(Bank);
  return It == HwmonBanks_.end() ? 0xFF : It->second[Reg];
}

void Board::SetHwmonRegister(UINT8 Bank, UINT8 Reg, UINT8 Value) {
  if (Reg == HWMON_BANK_SELECT) {
    HwmonBankSelect_ = Value;
    return;
  }
  auto It = HwmonBanks_.find(Bank);
  if (It == HwmonBanks_.end()) {
    HwmonBanks_[Bank].fill(0);
    It = HwmonBanks_.find(Bank);
  }
  It->second[Reg] = Value;
}

// ---- Ports ---------------------------------------------------------------

UINT32 Board::PortRead(UINT16 Port, UINT8 Width) {
  UINT32 V = DoPortRead(Port, Width) & AllOnes(Width);
  PortLog_.push_back(PortAccess{Port, Width, false, V});
  return V;
}

void Board::PortWrite(UINT16 Port, UINT8 Width, UINT32 Value) {
  Value &= AllOnes(Width);
  PortLog_.push_back(PortAccess{Port, Width, true, Value});
  DoPortWrite(Port, Width, Value);
}

UINT32 Board::DoPortRead(UINT16 Port, UINT8 Width) {
  if (Port == PCI_ADDRESS_PORT && Width == 4) return PciAddress_;
  if (Port >= 0xCFC && Port <= 0xCFF) {
    if (!(PciAddress_ & 0x80000000u)) return AllOnes(Width);
    UINT8 Bus = (PciAddress_ >> 16) & 0xFF, Dev = (PciAddress_ >> 11) & 0x1F, Fn = (PciAddress_ >> 8) & 7;
    UINT16 Reg = (UINT16)((PciAddress_ & 0xFC) | (Port & 3));
    return PciRead(Bus, Dev, Fn, Reg, Width);
  }
  if (SioPresent_ && Width == 1 && (Port == 0x2E || Port == 0x2F)) {
    if (!SioInConfigMode()) return 0xFF;
    if (Port == 0x2E) return SioIndex_;
    if (SioIndex_ < 0x30) return SioGlobals_[SioIndex_];
    return SioDeviceRegister(SioGlobals_[0x07], SioIndex_);
  }
  if (Width == 1 && Port == HWMON_INDEX_PORT) return HwmonIndex_;
  if (Width == 1 && Port == HWMON_DATA_PORT) return HwmonRegister(HwmonBank(), HwmonIndex_);
  return AllOnes(Width);
}

void Board::DoPortWrite(UINT16 Port, UINT8 Width, UINT32 Value) {
  if (Port == PCI_ADDRESS_PORT && Width == 4) {
    PciAddress_ = Value;
    return;
  }
  if (Port >= 0xCFC && Port <= 0xCFF) {
    if (!(PciAddress_ & 0x80000000u)) return;
    UINT8 Bus = (PciAddress_ >> 16) & 0xFF, Dev = (PciAddress_ >> 11) & 0x1F, Fn = (PciAddress_ >> 8) & 7;
    UINT16 Reg = (UINT16)((PciAddress_ & 0xFC) | (Port & 3));
    PciWrite(Bus, Dev, Fn, Reg, &Value, Width);
    return;
  }
  if (SioPresent_ && Width == 1 && (Port == 0x2E || Port == 0x2F)) {
    UINT8 B = (UINT8)Value;
    if (Port == 0x2E) {
      if (!SioInConfigMode()) {
        SioKeys_ = B == 0x87 ? SioKeys_ + 1 : 0;
      } else if (B == 0xAA) {
        SioKeys_ = 0;
      } else {
        SioIndex_ = B;
      }
      return;
    }
    if (!SioInConfigMode()) return;
    if (SioIndex_ < 0x30)
      SioGlobals_[SioIndex_] = B;
    else if (SioDevices_.count(SioGlobals_[0x07]))
      SioDevices_[SioGlobals_[0x07]][SioIndex_] = B;
    return;
  }
  if (Width == 1 && Port == HWMON_INDEX_PORT) {
    HwmonIndex_ = (UINT8)Value;
    return;
  }
  if (Width == 1 && Port == HWMON_DATA_PORT) {
    UINT8 Bank = HwmonBank();
    if (HwmonIndex_ == HWMON_BANK_SELECT || HwmonBanks_.count(Bank)) SetHwmonRegister(Bank, HwmonIndex_, (UINT8)Value);
    return;
  }
}

// ---- Physical memory -----------------------------------------------------

int Board::PhysicalByte(UINT64 A) const {
  if (A >= PCIE_WINDOW_BASE && A < PCIE_WINDOW_BASE + PCIE_WINDOW_SIZE) {
    UINT64 Off = A - PCIE_WINDOW_BASE;
    UINT8 Bus = (UINT8)(Off >> 20), Dev = (Off >> 15) & 0x1F, Fn = (Off >> 12) & 7;
    return (int)PciRead(Bus, Dev, Fn, Off & 0xFFF, 1);
  }
  if (A >= MCH_BAR_BASE && A < MCH_BAR_BASE + MCH_BAR_SIZE) return MchBar_[A - MCH_BAR_BASE];
  if (A >= LEGACY_BASE && A < LEGACY_BASE + LEGACY_SIZE) return Legacy_[A - LEGACY_BASE];
  return -1;
}

UINT32 Board::PhysicalRead(UINT64 Address, UINT8 Width) {
  UINT32 V = 0;
  for (UINT8 I = 0; I < Width; ++I) {
    int B = PhysicalByte(Address + I);
    V |= (UINT32)(B < 0 ? 0xFF : B) << (8 * I);
  }
  return V;
}

void Board::PhysicalWrite(UINT64 Address, const void* Data, size_t Size) {
  for (size_t I = 0; I < Size; ++I) {
    UINT64 A = Address + I;
    UINT8 B = ((const UINT8*)Data)[I];
    if (A >= PCIE_WINDOW_BASE && A < PCIE_WINDOW_BASE + PCIE_WINDOW_SIZE) {
      UINT64 Off = A - PCIE_WINDOW_BASE;
      PciWrite((UINT8)(Off >> 20), (Off >> 15) & 0x1F, (Off >> 12) & 7, Off & 0xFFF, &B, 1);
    } else if (A >= MCH_BAR_BASE && A < MCH_BAR_BASE + MCH_BAR_SIZE) {
      MchBar_[A - MCH_BAR_BASE] = B;
    } else if (A >= LEGACY_BASE && A < LEGACY_BASE + LEGACY_SIZE) {
      Legacy_[A - LEGACY_BASE] = B;
    }
  }
}

// ---- HOB list ------------------------------------------------------------

void Board::BuildHobList(const BoardProfile& P) {
  std::vector<UINT8> Bytes;
  auto Append = [&](const void* Data, size_t Size) {
    Bytes.insert(Bytes.end(), (const UINT8*)Data, (const UINT8*)Data + Size);
  };
  EFI_HOB_HANDOFF_INFO_TABLE Handoff{};
  Handoff.Header = EFI_HOB_GENERIC_HEADER{EFI_HOB_TYPE_HANDOFF, (UINT16)sizeof Handoff, 0};
  Handoff.Version = 0x0009;
  Handoff.BootMode = 0;  // full configuration
  Handoff.EfiMemoryTop = 0x80000000;
  Handoff.EfiMemoryBottom = 0x7C000000;
  Handoff.EfiFreeMemoryTop = 0x7F000000;
  Handoff.EfiFreeMemoryBottom = 0x7E000000;
  Append(&Handoff, sizeof Handoff);
  for (auto& H : P.Hobs) {
    size_t Length = (sizeof(EFI_HOB_GUID_TYPE) + H.Data.size() + 7) & ~(size_t)7;
    EFI_HOB_GUID_TYPE G{};
    G.Header = EFI_HOB_GENERIC_HEADER{EFI_HOB_TYPE_GUID_EXTENSION, (UINT16)Length, 0};
    G.Name = H.Guid;
    Append(&G, sizeof G);
    Append(H.Data.data(), H.Data.size());
    Bytes.resize(Bytes.size() + (Length - sizeof G - H.Data.size()), 0);
  }
  size_t EndOffset = Bytes.size();
  EFI_HOB_GENERIC_HEADER End{EFI_HOB_TYPE_END_OF_HOB_LIST, (UINT16)sizeof(EFI_HOB_GENERIC_HEADER), 0};
  Append(&End, sizeof End);
  HobList_.assign(Bytes.size() / 8, 0);
  std::memcpy(HobList_.data(), Bytes.data(), Bytes.size());
  auto* First = (EFI_HOB_HANDOFF_INFO_TABLE*)HobList_.data();
  First->EfiEndOfHobList = (EFI_PHYSICAL_ADDRESS)(uintptr_t)((UINT8*)HobList_.data() + EndOffset);
}

}  // namespace sim
