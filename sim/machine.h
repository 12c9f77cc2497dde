// A simulated machine: firmware tables and services over the simulated board.
// One machine at a time per process (the support library's state and the
// attached board are process-wide).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/board_profile.h"
#include "sim/console.h"
#include "sim/events.h"
#include "sim/handles.h"
#include "sim/hii/hii_services.h"
#include "sim/pool.h"
#include "sim/service_faults.h"
#include "sim/variables.h"
#include "uefi/pi.h"
#include "uefi/system_table.h"

namespace sim {

// Marks image handles made by Machine::LoadImage.
struct ImageMarker {
  static constexpr EFI_GUID Guid = {0x5D0C2F41, 0x8A43, 0x4E7B, {0x9C, 0x61, 0x2B, 0x7E, 0x90, 0x13, 0xA4, 0x55}};
  const char* Name;
};
// The firmware core's own image handle (agent of HandleProtocol's records).
struct CoreImageMarker {
  static constexpr EFI_GUID Guid = {0x5D0C2F42, 0x8A43, 0x4E7B, {0x9C, 0x61, 0x2B, 0x7E, 0x90, 0x13, 0xA4, 0x55}};
  const char* Name;
};

class Machine {
 public:
  struct ImageDescriptor {
    const char* Name;
    EFI_IMAGE_ENTRY_POINT Entry;
    void (*ResetState)();
  };
  struct ResetRecord {
    EFI_RESET_TYPE Type;
    EFI_STATUS Status;
    std::vector<UINT8> Data;
  };

  explicit Machine(const BoardProfile& Profile = DefaultBoardProfile());
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The machine currently powered in this process, or null.
  static Machine* Current();

  EFI_SYSTEM_TABLE* SystemTable();
  EFI_BOOT_SERVICES* BootServices();
  EFI_RUNTIME_SERVICES* RuntimeServices();

  // Per boot: references are valid until the next Reboot.
  sim::Pool& Pool();
  HandleDatabase& Handles();
  sim::Events& Events();
  Console& ConOut();
  Console& StdErr();
  sim::Board& Board();
  // Survives reboots (non-volatile part).
  VariableStore& Variables() { return Variables_; }
  HiiServices& Hii();
  // Armed service failures; lives as long as the machine, like Variables().
  ServiceFaults& Faults() { return Faults_; }

  const BoardProfile& Profile() const { return Profile_; }

  // Loads a driver: a new image handle, then its entry point with that handle
  // and the system table. Returns the entry point's status. The image is
  // loaded again, in the same order, at every Reboot.
  EFI_STATUS LoadImage(const ImageDescriptor& Image, EFI_HANDLE* ImageHandle = nullptr);
  EFI_HANDLE ImageHandle(const char* Name) const;

  // Power cycle: non-volatile variables stay; pool, handles, events, volatile
  // variables, HII, consoles and board registers are rebuilt from the profile;
  // the images are reset and loaded again.
  void Reboot();
  unsigned BootCount() const { return BootCount_; }

  // ResetSystem calls of this boot (the last one ends it on real hardware).
  const std::optional<ResetRecord>& ResetRequest() const { return Reset_; }

  // Signals the ready-to-boot event group, as the boot manager does.
  void SignalReadyToBoot();

  // Leaks: buffers alive now, plus those left alive at each earlier reboot.
  std::string LeakReport() const;
  size_t LiveAllocationCount() const;

  // Firmware misuse seen this boot or earlier (TPL raised downwards, pool freed
  // twice, a wait that could never end...). Real firmware would assert or hang.
  const std::vector<std::string>& Misuse() const { return Misuse_; }
  void ClearMisuse() { Misuse_.clear(); }
  void ReportMisuse(const std::string& What) { Misuse_.push_back(What); }

  // Simulated time in microseconds.
  void AdvanceTime(UINT64 Microseconds);

  // Called by ResetSystem.
  void RecordReset(EFI_RESET_TYPE Type, EFI_STATUS Status, UINTN Size, const VOID* Data);
  // Used by the service tables.
  struct Boot;
  Boot& CurrentBoot();

 private:
  void PowerOn();
  void PowerOff();

  BoardProfile Profile_;
  VariableStore Variables_;
  ServiceFaults Faults_;
  std::unique_ptr<Boot> Boot_;
  std::vector<ImageDescriptor> Images_;
  std::vector<std::pair<std::string, EFI_HANDLE>> ImageHandles_;
  std::vector<std::string> EarlierLeaks_;
  std::vector<std::string> Misuse_;
  std::optional<ResetRecord> Reset_;
  unsigned BootCount_ = 0;
};

}  // namespace sim

namespace sim {
using ImageDescriptor = Machine::ImageDescriptor;
}  // namespace sim
