#include "fuzz/setupinfo_fuzz_machine.h"

#include <cstdio>
#include <cstdlib>

#include "platform/setup_load_trigger.h"
#include "setupinfo/image_state.h"

SetupMachine::SetupMachine(const sim::BoardProfile& Profile) : Machine_(std::make_unique<sim::Machine>(Profile)) {}

SetupMachine::~SetupMachine() {
  Machine_->Pool().CheckGuards();
  bool Finding = false;
  for (const std::string& What : Machine_->Misuse()) {
    std::fprintf(stderr, "firmware misuse: %s\n", What.c_str());
    Finding = true;
  }
  const std::string Leaks = Machine_->LeakReport();
  if (!Leaks.empty()) {
    std::fprintf(stderr, "pool buffers left behind:\n%s", Leaks.c_str());
    Finding = true;
  }
  if (Finding) std::abort();
  Machine_.reset();
}

EFI_STATUS SetupMachine::LoadSetupInfo() {
  return Machine_->LoadImage({"setupinfo", SetupInfoEntry, SetupInfoResetState});
}

EFI_STATUS SetupMachine::InstallTrigger() {
  EFI_HANDLE Handle = nullptr;
  return Machine_->BootServices()->InstallProtocolInterface(&Handle, &SETUP_LOAD_TRIGGER_PROTOCOL::Guid,
                                                            EFI_NATIVE_INTERFACE, nullptr);
}
