// The test bench's actions: armed faults, peers installed on demand, the
// setup-load trigger again, callbacks registered as another driver would,
// and board registers changed between actions.
//
//   fail SERVICE N|always [STATUS]      the service's N-th call from now fails (or every call)
//   fail pool N                         the N-th pool allocation from now fails
//   fail-clear                          every armed service fault off
//   install PEER                        a peer the profile holds for this action installs now
//   trigger                             the setup-load trigger protocol is installed again
//   register CLASS SUBCLASS KEY STATUS  an item callback through the registry; it returns STATUS
//   port PORT byte|word|dword VALUE     an I/O write to the board
//   msr INDEX VALUE                     the MSR holds VALUE from now on
//   hwmon BANK REGISTER VALUE           a hardware monitor register
//   sio LDN REGISTER VALUE              a Super I/O logical device register
//   mem ADDRESS byte|word|dword VALUE   physical memory the board models (PCIe window, MCH BAR, legacy area)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/boardsim/fault_spec.h"

namespace boardsim {

enum class BenchVerb { Fail, FailClear, Install, Trigger, Register, Port, Msr, Hwmon, Sio, Mem };

struct BenchCommand {
  BenchVerb Verb = BenchVerb::Trigger;
  FaultSpec Fault;
  std::string Peer;
  uint16_t Class = 0, SubClass = 0, Key = 0;
  EFI_STATUS Returns = EFI_SUCCESS;
  uint64_t Address = 0;  // port, MSR index, physical address
  uint8_t Unit = 0;      // hwmon bank, Super I/O logical device
  uint8_t Register = 0;
  unsigned Width = 1;
  uint64_t Value = 0;
};

// Not a bench verb: nothing. Otherwise "" when Words make one, or why not.
std::optional<std::string> ParseBenchAction(const std::vector<std::string>& Words, BenchCommand& Out);
const char* BenchVerbName(BenchVerb Verb);

class BoardSession;
struct ActionResult;
// Why the action cannot run on this board now, or nothing.
std::optional<std::string> CheckBenchAction(const BoardSession& Session, const BenchCommand& Command);
void RunBenchAction(BoardSession& Session, const BenchCommand& Command, ActionResult& Result);

}  // namespace boardsim
