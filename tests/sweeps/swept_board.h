// One board session run through a scenario stage with a fault armed just
// before the stage's swept actions, and what the drivers did afterwards that
// they must not: leaked pool, misuse, a string from uninitialised pool, a key
// variable or Setup written once the injected fault had reached them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "sim/board_profile.h"
#include "sim/machine.h"

namespace boardsim {
class BoardSession;
}

namespace sweeps {

struct Stage {
  std::string Name;
  std::string Setup;     // actions run first, not swept
  std::string Swept;     // actions swept, one fault per run
  bool Boot = false;     // the first boot itself is swept (Setup and Swept empty)
  bool Update = false;   // the update lookup is swept, after Swept
  // Run right before the swept actions (before the boot of a boot stage).
  std::function<void(sim::Machine&)> BeforeSwept;
  // Checks what the stage left, adding findings.
  std::function<void(sim::Machine&, std::vector<std::string>&)> Verify;
};

// Called once a fault reaches the drivers: marks the moment so that later
// writes in the same step count as on the failed path.
using FaultReached = std::function<void()>;

struct Outcome {
  std::vector<std::string> Findings;
  bool FaultHit = false;
  // Key variable writes and Setup hand-backs: in a faulted run those after
  // the fault in its step, in the run without a fault all of them; each
  // "step: what" with a digest of the bytes.
  std::vector<std::string> Writes;
  std::string Problem;  // the stage could not be run as written (a harness fault)
};

// How one kind of fault is swept. The sweep runs a stage once without a fault;
// Watch makes the machine call back at every point where the fault could be
// injected (every pool attempt, every call of a service). At each point the
// process forks: the child makes that point fail (FailHere) and runs the
// rest of the stage, the parent goes on unfailed, so each case costs only
// what follows its point.
struct FaultKind {
  std::function<void(sim::Machine&, std::function<void()> AtPoint)> Watch;
  std::function<void(sim::Machine&)> Unwatch;
  std::function<void(sim::Machine&, const FaultReached&)> FailHere;
};

struct StageSweep {
  Outcome Baseline;               // the parent's run, without a fault
  std::vector<Outcome> Cases;     // one per fault point, in order
};

// The board every sweep starts from, parsed once.
const sim::BoardProfile& DefaultBoard();

// Runs Stage on a fresh session of Profile without a fault.
Outcome RunStage(const sim::BoardProfile& Profile, const Stage& P);
// Runs Stage once and every fault point of its swept actions in a child.
StageSweep SweepStage(const sim::BoardProfile& Profile, const Stage& P, const FaultKind& Kind);

// SWEEP_ONLY=text in the environment keeps the stages whose name holds it.
// The scenario of the allocation and service sweeps: the first boot, every
// item callback row with the browser action it reacts to and its dialogs
// answered, every Secure Boot action, the profile round trip and the update
// lookup.
std::vector<Stage> Scenario();

struct SweepTally {
  size_t Stages = 0;
  size_t Cases = 0;
  std::vector<std::string> Findings;
  // Counts the stage and its cases and keeps their findings; a harness
  // problem of the stage's own run is a finding too.
  void Add(const std::string& Name, const StageSweep& Sweep);
};

}  // namespace sweeps
