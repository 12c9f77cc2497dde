// The simulated board behind lib/hw: CPUID, MSRs, I/O port devices (PCI
// configuration ports, Super I/O, hardware monitor), physical memory and the
// HOB list.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "lib/hw/board_model.h"
#include "sim/board_profile.h"

namespace sim {

class Board : public BoardModel {
 public:
  static constexpr UINT64 PCIE_WINDOW_BASE = 0xF8000000, PCIE_WINDOW_SIZE = 0x04000000;
  static constexpr UINT64 MCH_BAR_BASE = 0xFED10000, MCH_BAR_SIZE = 0x8000;
  static constexpr UINT64 LEGACY_BASE = 0xF0000, LEGACY_SIZE = 0x10000;
  static constexpr UINT16 HWMON_INDEX_PORT = 0x295, HWMON_DATA_PORT = 0x296;
  static constexpr UINT8 HWMON_BANK_SELECT = 0x4E;
  static constexpr UINT16 PCI_ADDRESS_PORT = 0xCF8;

  struct PortAccess {
    UINT16 Port;
    UINT8 Width;  // bytes
    bool Write;
    UINT32 Value;
    bool operator==(const PortAccess&) const = default;
  };

  explicit Board(const BoardProfile& Profile);

  // BoardModel
  UINT32 PortRead(UINT16 Port, UINT8 Width) override;
  void PortWrite(UINT16 Port, UINT8 Width, UINT32 Value) override;
  void Cpuid(UINT32 Leaf, UINT32 Subleaf, UINT32 Regs[4]) override;
  UINT64 ReadMsr(UINT32 Index) override;
  UINT32 PhysicalRead(UINT64 Address, UINT8 Width) override;

  // Port access log, in order.
  const std::vector<PortAccess>& PortLog() const { return PortLog_; }
  void ClearPortLog() { PortLog_.clear(); }

  // MSR reads of registers the board does not have (a real processor faults).
  const std::vector<UINT32>& UnknownMsrReads() const { return UnknownMsrs_; }
  void SetMsr(UINT32 Index, UINT64 Value) { Msrs_[Index] = Value; }
  void SetCpuid(UINT32 Leaf, std::optional<UINT32> Subleaf, std::array<UINT32, 4> Regs);

  // PCI configuration space: 4 KiB per present function.
  bool PciPresent(UINT8 Bus, UINT8 Device, UINT8 Function) const;
  void AddPciFunction(UINT8 Bus, UINT8 Device, UINT8 Function);
  void RemovePciFunction(UINT8 Bus, UINT8 Device, UINT8 Function);
  void PciWrite(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Offset, const void* Data, size_t Size);
  UINT32 PciRead(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Offset, UINT8 Width) const;

  // Super I/O and hardware monitor registers, as the chip holds them.
  // Global registers are 0x00-0x2F only; a test that names another gets an exception.
  UINT8 SioGlobal(UINT8 Reg) const { return SioGlobals_.at(Reg); }
  void SetSioGlobal(UINT8 Reg, UINT8 Value) { SioGlobals_.at(Reg) = Value; }
  UINT8 SioDeviceRegister(UINT8 Ldn, UINT8 Reg) const;
  void SetSioDeviceRegister(UINT8 Ldn, UINT8 Reg, UINT8 Value);
  UINT8 SioSelectedDevice() const { return SioGlobals_[0x07]; }
  bool SioInConfigMode() const { return SioKeys_ >= 2; }
  UINT8 HwmonRegister(UINT8 Bank, UINT8 Reg) const;
  void SetHwmonRegister(UINT8 Bank, UINT8 Reg, UINT8 Value);
  UINT8 HwmonBank() const;

  // Memory-controller registers and legacy area (tests write them directly).
  void PhysicalWrite(UINT64 Address, const void* Data, size_t Size);

  // HOB list: handoff HOB, the profile's GUID HOBs, end marker.
  VOID* HobList() { return HobList_.data(); }
  size_t HobListSize() const { return HobList_.size() * sizeof(UINT64); }

 private:
  using ConfigSpace = std::array<UINT8, 4096>;
  static UINT32 Bdf(UINT8 Bus, UINT8 Device, UINT8 Function) {
    return ((UINT32)Bus << 8) | ((UINT32)(Device & 0x1F) << 3) | (Function & 7);
  }
  UINT32 ReadByteWise(UINT64 Address, UINT8 Width);
  int PhysicalByte(UINT64 Address) const;  // -1: nothing there
  void BuildHobList(const BoardProfile& Profile);
  UINT32 DoPortRead(UINT16 Port, UINT8 Width);
  void DoPortWrite(UINT16 Port, UINT8 Width, UINT32 Value);

  std::map<std::pair<UINT32, UINT32>, std::array<UINT32, 4>> CpuidExact_;
  std::map<UINT32, std::array<UINT32, 4>> CpuidAnySubleaf_;
  std::map<UINT32, UINT64> Msrs_;
  std::vector<UINT32> UnknownMsrs_;
  std::map<UINT32, std::unique_ptr<ConfigSpace>> Pci_;
  UINT32 PciAddress_ = 0;
  bool SioPresent_ = true;
  int SioKeys_ = 0;
  UINT8 SioIndex_ = 0;
  std::array<UINT8, 0x30> SioGlobals_{};
  std::map<UINT8, std::array<UINT8, 256>> SioDevices_;
  UINT8 HwmonIndex_ = 0;
  UINT8 HwmonBankMask_ = 0x07;
  UINT8 HwmonBankSelect_ = 0;
  std::map<UINT8, std::array<UINT8, 256>> HwmonBanks_;
  std::vector<UINT8> MchBar_;
  std::vector<UINT8> Legacy_;
  std::vector<UINT64> HobList_;  // 8-byte aligned storage
  std::vector<PortAccess> PortLog_;
};

}  // namespace sim
