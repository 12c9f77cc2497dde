// Stand-ins for the platform's clock generator driver: the clock control
// protocol over eight outputs, and the boot-phase information record. The
// clock control functions take no instance pointer, so one peer at a time
// is the installed one.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/clock_control.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

struct ClockOutput {
  ICC_CLOCK_CAPABILITIES Capabilities{};
  ICC_CLOCK_SETTINGS Settings{};
  // Frequencies the generator can produce are multiples of this (Hz).
  uint32_t StepHz = 1;
};

class ClockControlPeer {
 public:
  ClockControlPeer();
  explicit ClockControlPeer(const ClockControlProfile& Profile);
  ~ClockControlPeer();
  ClockControlPeer(const ClockControlPeer&) = delete;
  ClockControlPeer& operator=(const ClockControlPeer&) = delete;

  // Nothing is installed for a profile without the protocol.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  EFI_STATUS Uninstall(EFI_BOOT_SERVICES* BootServices);
  ICC_CLOCK_CONTROL_PROTOCOL* Protocol() { return &Protocol_; }

  // The clock driver's setup variable as it first writes it: each clock's
  // settings in the page's units, settings offered. Kept when present.
  EFI_STATUS WriteSetupData(EFI_RUNTIME_SERVICES* RuntimeServices) const;

  ICC_LIB_VERSION Version{};
  std::array<ClockOutput, ICC_CLOCK_COUNT> Clocks{};

  // Scripted failures: a non-zero library status is written by the named
  // operation (and the set operations then change nothing).
  uint32_t InfoLibStatus = 0;
  uint32_t CapabilitiesLibStatus = 0;
  uint32_t SettingsLibStatus = 0;
  uint32_t SetLibStatusA = 0;
  uint32_t SetLibStatusB = 0;
  uint32_t ResolveLibStatus = 0;
  // Accepted settings take effect after a restart, which the clock driver
  // asks for by writing IccPersistentData = 1.
  bool RestartAfterSet = false;

  struct Call {
    int Operation;  // position in the interface
    uint8_t Clock;
    uint32_t Frequency;
  };
  std::vector<Call> Calls;

 private:
  static EFI_STATUS EFIAPI GetIccInfo(ICC_LIB_VERSION* Version, VOID* Unused, UINT32* LibStatus);
  static EFI_STATUS EFIAPI GetClockCapabilities(UINT8 Clock, ICC_CLOCK_CAPABILITIES* Caps, UINT32* LibStatus);
  static EFI_STATUS EFIAPI GetClockSettings(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus);
  static EFI_STATUS EFIAPI SetClockSettingsA(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus);
  static EFI_STATUS EFIAPI SetClockSettingsB(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus);
  static EFI_STATUS EFIAPI NormalizeFrequency(UINT8 Clock, UINT32 Frequency, UINT32* Result, UINT32* LibStatus);
  static EFI_STATUS EFIAPI ResolveFrequency(UINT8 Clock, UINT32 Frequency, UINT32* Result, UINT32* LibStatus);
  static EFI_STATUS Set(int Operation, uint32_t Scripted, UINT8 Clock, ICC_CLOCK_SETTINGS* Settings,
                        UINT32* LibStatus);

  ICC_CLOCK_CONTROL_PROTOCOL Protocol_{};
  bool Present_ = true;
  EFI_HANDLE Handle_ = nullptr;
};

// Library statuses the stand-in gives on its own.
constexpr uint32_t ICC_LIB_STATUS_INVALID_CLOCK = 5;
constexpr uint32_t ICC_LIB_STATUS_FREQUENCY_OUT_OF_RANGE = 6;
constexpr uint32_t ICC_LIB_STATUS_SPREAD_NOT_ALLOWED = 7;

class BootPhasePeer {
 public:
  BootPhasePeer() = default;
  explicit BootPhasePeer(const ClockControlProfile& Profile);
  // Nothing is installed for a profile without the record.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  void SetAfterReadyToBoot(bool Passed);
  BOOT_PHASE_INFO_PROTOCOL* Protocol() { return &Record_; }

 private:
  BOOT_PHASE_INFO_PROTOCOL Record_{};
  bool Present_ = true;
  EFI_HANDLE Handle_ = nullptr;
};

}  // namespace sim
