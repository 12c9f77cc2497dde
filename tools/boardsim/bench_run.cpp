// The test bench's actions run on a booted board (their grammar is in
// bench_actions.cpp, which the action-script fuzz target links alone).
#include "tools/boardsim/bench_actions.h"
#include "tools/boardsim/machine_boot.h"
#include "tools/boardsim/run_report.h"
#include "tools/boardsim/status_name.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {

void ArmFault(BoardSession& Session, const FaultSpec& Wanted) {
  sim::Machine& M = Session.Machine();
  if (Wanted.Pool) {
    M.Pool().FailAllocationAfter(Wanted.Nth - 1);
  } else if (Wanted.Always) {
    M.Faults().FailAlways(Wanted.Service, Wanted.Status);
  } else {
    M.Faults().FailNth(Wanted.Service, Wanted.Nth, Wanted.Status);
  }
  Session.FaultsUsed = true;
}


std::optional<std::string> CheckBenchAction(const BoardSession& Session, const BenchCommand& Command) {
  switch (Command.Verb) {
    case BenchVerb::Install:
      return Session.CheckPeerInstall(Command.Peer);
    case BenchVerb::Mem: {
      // Writes anywhere else would vanish: the board models only these ranges.
      struct Range {
        UINT64 Base, Size;
      };
      const Range Ranges[] = {{sim::Board::PCIE_WINDOW_BASE, sim::Board::PCIE_WINDOW_SIZE},
                              {sim::Board::MCH_BAR_BASE, sim::Board::MCH_BAR_SIZE},
                              {sim::Board::LEGACY_BASE, sim::Board::LEGACY_SIZE}};
      for (const Range& R : Ranges)
        if (Command.Address >= R.Base && Command.Address - R.Base <= R.Size - Command.Width) return std::nullopt;
      return Hex(Command.Address) + " is outside the memory the board models (PCIe window " +
             Hex(sim::Board::PCIE_WINDOW_BASE) + ", MCH BAR " + Hex(sim::Board::MCH_BAR_BASE) + ", legacy area " +
             Hex(sim::Board::LEGACY_BASE) + ")";
    }
    default:
      return std::nullopt;
  }
}

void RunBenchAction(BoardSession& Session, const BenchCommand& Command, ActionResult& Result) {
  sim::Machine& M = Session.Machine();
  sim::Board& Board = M.Board();
  switch (Command.Verb) {
    case BenchVerb::Fail:
      ArmFault(Session, Command.Fault);
      Result.BenchDetail = "armed " + Command.Fault.Text();
      break;
    case BenchVerb::FailClear:
      M.Faults().Clear();
      M.Pool().ClearFailure();
      Result.BenchDetail = "every armed fault cleared";
      break;
    case BenchVerb::Install:
      Result.Status = Session.InstallPeer(Command.Peer);
      Result.BenchDetail = Command.Peer + " installed: " + StatusName(Result.Status);
      break;
    case BenchVerb::Trigger:
      Result.Status = Session.ReinstallTrigger();
      Result.FormSetsPublished = Session.FormSetsPublished();
      Result.BenchDetail = "setup-load trigger installed: " + StatusName(Result.Status) + "; form sets published " +
                           std::to_string(*Result.FormSetsPublished);
      break;
    case BenchVerb::Register:
      Result.Status = Session.RegisterCallback(Command.Class, Command.SubClass, Command.Key, Command.Returns);
      Result.BenchDetail = "item callback for class " + Hex(Command.Class, 2) + ", subclass " +
                           Hex(Command.SubClass, 2) + ", key " + Hex(Command.Key, 3) + " returning " +
                           StatusName(Command.Returns) + ": " + StatusName(Result.Status);
      break;
    case BenchVerb::Port:
      Board.PortWrite(uint16_t(Command.Address), uint8_t(Command.Width), uint32_t(Command.Value));
      Result.BenchDetail = "port " + Hex(Command.Address, 4) + " written: " + Hex(Command.Value);
      break;
    case BenchVerb::Msr:
      Board.SetMsr(uint32_t(Command.Address), Command.Value);
      Result.BenchDetail = "MSR " + Hex(Command.Address) + " = " + Hex(Command.Value);
      break;
    case BenchVerb::Hwmon:
      Board.SetHwmonRegister(Command.Unit, Command.Register, uint8_t(Command.Value));
      Result.BenchDetail = "hardware monitor bank " + std::to_string(Command.Unit) + " register " +
                           Hex(Command.Register, 2) + " = " + Hex(Command.Value, 2);
      break;
    case BenchVerb::Sio:
      Board.SetSioDeviceRegister(Command.Unit, Command.Register, uint8_t(Command.Value));
      Result.BenchDetail = "Super I/O device " + Hex(Command.Unit, 2) + " register " + Hex(Command.Register, 2) +
                           " = " + Hex(Command.Value, 2);
      break;
    case BenchVerb::Mem: {
      UINT8 Bytes[4];
      for (unsigned I = 0; I < Command.Width; ++I) Bytes[I] = UINT8(Command.Value >> (8 * I));
      Board.PhysicalWrite(Command.Address, Bytes, Command.Width);
      Result.BenchDetail = "memory " + Hex(Command.Address) + " written: " + Hex(Command.Value);
      break;
    }
  }
}

}  // namespace boardsim
