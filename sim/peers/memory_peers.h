// Stand-ins for the platform's memory initialisation and its compatibility
// module: the memory information and memory version protocols, answering
// from a MemoryProfile, and a Legacy BIOS protocol whose Int86 answers the
// video BIOS version call. Each is installed when the test or the machine
// says so; sections the profile leaves out are not installed at all.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/memory_info.h"
#include "sim/board_profile.h"
#include "uefi/legacy_bios.h"
#include "uefi/system_table.h"

namespace sim {

class MemoryPeers {
 public:
  explicit MemoryPeers(const MemoryProfile& Profile);
  MemoryPeers(const MemoryPeers&) = delete;
  MemoryPeers& operator=(const MemoryPeers&) = delete;

  // Each installs one protocol on a new handle.
  EFI_STATUS InstallInformation(EFI_BOOT_SERVICES* BootServices);
  EFI_STATUS InstallVersion(EFI_BOOT_SERVICES* BootServices);
  EFI_STATUS InstallLegacyBios(EFI_BOOT_SERVICES* BootServices);
  // Every protocol the profile has a section for.
  void InstallPresent(EFI_BOOT_SERVICES* BootServices);

  // The interfaces as handed out; tests may change them.
  MEMORY_INFO_PROTOCOL& Information() { return Information_; }
  MEMORY_VERSION_PROTOCOL& Version() { return Version_; }

  // Scripted video BIOS answer.
  VideoBiosProfile VideoBios;

  // What was asked: every Int86 call's interrupt and the registers it came with.
  struct Int86Call {
    UINT8 Interrupt;
    EFI_IA32_REGISTER_SET Registers;
  };
  std::vector<Int86Call> Int86Calls;

 private:
  struct LegacyBiosInstance {
    EFI_LEGACY_BIOS_PROTOCOL Protocol;
    MemoryPeers* Owner;
  };

  static BOOLEAN EFIAPI Int86(EFI_LEGACY_BIOS_PROTOCOL* This, UINT8 BiosInt, EFI_IA32_REGISTER_SET* Regs);
  static BOOLEAN EFIAPI FarCall86(EFI_LEGACY_BIOS_PROTOCOL* This, UINT16 Segment, UINT16 Offset,
                                  EFI_IA32_REGISTER_SET* Regs, VOID* Stack, UINTN StackSize);

  const MemoryProfile Profile_;
  MEMORY_INFO_PROTOCOL Information_{};
  MEMORY_VERSION_PROTOCOL Version_{};
  LegacyBiosInstance LegacyBios_{};
};

}  // namespace sim
