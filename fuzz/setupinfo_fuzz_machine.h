// A simulated machine with the setup driver for one fuzz input. At the end a
// guard byte written past a pool buffer, any other firmware misuse or a pool
// buffer left behind is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "setupinfo/core/entry.h"
#include "sim/hii/form_utility_service.h"
#include "sim/hii/hii_database.h"
#include "sim/hii/setup_browser.h"
#include "sim/machine.h"

class SetupMachine {
 public:
  explicit SetupMachine(const sim::BoardProfile& Profile = sim::DefaultBoardProfile());
  ~SetupMachine();
  SetupMachine(const SetupMachine&) = delete;
  SetupMachine& operator=(const SetupMachine&) = delete;

  sim::Machine& M() { return *Machine_; }
  sim::SetupBrowser& Browser() { return *Machine_->Hii().Browser; }
  sim::FormUtilityService& Forms() { return *Machine_->Hii().Forms; }
  sim::HiiDatabase& Database() { return *Machine_->Hii().Database; }
  EFI_STATUS LoadSetupInfo();
  // What a later boot's platform driver does: the form sets load now.
  EFI_STATUS InstallTrigger();

 private:
  std::unique_ptr<sim::Machine> Machine_;
};

// The nine form-set classes in page order.
inline constexpr uint16_t FormSetClasses[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x30, 0x40, 0x100};

// Reads fuzz input front to back; past its end every read gives zeros.
class FuzzReader {
 public:
  FuzzReader(const uint8_t* Data, size_t Size) : Data_(Data), Size_(Size) {}
  uint8_t U8() { return Pos_ < Size_ ? Data_[Pos_++] : 0; }
  uint16_t U16() { return (uint16_t)(U8() | U8() << 8); }
  uint32_t U32() { return (uint32_t)U16() | (uint32_t)U16() << 16; }
  uint64_t U64() { return (uint64_t)U32() | (uint64_t)U32() << 32; }
  size_t Left() const { return Size_ - Pos_; }
  bool Done() const { return Pos_ >= Size_; }

 private:
  const uint8_t* Data_;
  size_t Size_;
  size_t Pos_ = 0;
};
