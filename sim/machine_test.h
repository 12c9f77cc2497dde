// GoogleTest fixture: a fresh machine per test, from the default board (or a
// customised copy), and a failure for every pool buffer or firmware misuse
// left at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "sim/machine.h"

namespace sim {

class MachineTest : public ::testing::Test {
 protected:
  // Change the board before it powers on.
  virtual void Customise(BoardProfile& Profile) {}

  void SetUp() override;
  void TearDown() override;

  Machine& M() { return *Machine_; }
  EFI_SYSTEM_TABLE* ST() { return Machine_->SystemTable(); }
  EFI_BOOT_SERVICES* BS() { return Machine_->BootServices(); }
  EFI_RUNTIME_SERVICES* RT() { return Machine_->RuntimeServices(); }

  std::unique_ptr<Machine> Machine_;
};

}  // namespace sim
