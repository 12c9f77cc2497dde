#include "sim/machine_test.h"

namespace sim {

void MachineTest::SetUp() {
  BoardProfile Profile = DefaultBoardProfile();
  Customise(Profile);
  Machine_ = std::make_unique<Machine>(Profile);
}

void MachineTest::TearDown() {
  if (!Machine_) return;
  Machine_->Pool().CheckGuards();  // writes past a buffer that is still live
  std::string Leaks = Machine_->LeakReport();
  if (!Leaks.empty()) ADD_FAILURE() << "pool buffers left alive:\n" << Leaks;
  for (auto& What : Machine_->Misuse()) ADD_FAILURE() << "firmware misuse: " << What;
  Machine_.reset();
}

}  // namespace sim
