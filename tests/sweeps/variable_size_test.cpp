// Every variable another driver owns, read at each size that matters: what
// the store holds when the driver reads it is forced to the size of the row,
// whatever the board's own drivers wrote before.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

#include "platform/setup_variable.h"
#include "platform/clock_control.h"
#include "platform/net_config.h"
#include "setupinfo/secureboot/secure_boot_keys.h"
#include "sim/variables.h"
#include "tests/sweeps/swept_board.h"
#include "tools/boardsim/machine_boot.h"

namespace sweeps {
namespace {

constexpr EFI_GUID GLOBAL = EFI_GLOBAL_VARIABLE_GUID;
constexpr EFI_GUID SETUP_GUID = SETUP_VARIABLE_GUID;
constexpr EFI_GUID ME_INFO_GUID = {0x78259433, 0x7B6D, 0x4DB3, {0x9A, 0xE8, 0x36, 0xC4, 0xC2, 0xC3, 0xA1, 0x7D}};
constexpr EFI_GUID PTT_INFO_GUID = {0x9E6EAE27, 0xC452, 0x49E6, {0x99, 0xD9, 0xB4, 0x5D, 0x1C, 0xF9, 0x1C, 0x5A}};

// The variable whose reads are forced, and the bytes they find (none:
// absent). Every GetVariable of it first puts these bytes in the store, so
// the firmware's own service answers with its usual sizes and statuses.
struct Forced {
  std::u16string Name;
  EFI_GUID Guid{};
  UINT32 Attributes = 0;
  std::optional<std::vector<UINT8>> Bytes;
  EFI_RUNTIME_SERVICES::GetVariableFn Original = nullptr;
  size_t Reads = 0;
};
Forced* Current = nullptr;

bool SameGuid(const EFI_GUID& A, const EFI_GUID& B) { return std::memcmp(&A, &B, sizeof(A)) == 0; }

EFI_STATUS EFIAPI ForcedGetVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* Size,
                                    VOID* Data) {
  Forced& F = *Current;
  if (Name != nullptr && Guid != nullptr && F.Name == Name && SameGuid(F.Guid, *Guid)) {
    ++F.Reads;
    sim::VariableStore& Store = sim::Machine::Current()->Variables();
    if (F.Bytes)
      Store.Put(F.Name, F.Guid, F.Attributes, *F.Bytes);
    else
      Store.Erase(F.Name, F.Guid);
  }
  return F.Original(Name, Guid, Attributes, Size, Data);
}

struct Row {
  std::string Variable;
  std::u16string Name;
  EFI_GUID Guid;
  UINT32 Attributes;
  size_t Exact;        // the size its owner writes
  Stage Reader;         // the stage that reads it
};

std::vector<Row> Rows() {
  const Stage Boot{"first boot", "", "", true};
  // Every Secure Boot action ends in the page's state refresh, which reads
  // the state bytes and probes each key; saving reads each key whole.
  const Stage Refresh{"delete all keys", "answer 0", "callback 0x40 0x507 changing"};
  const Stage SaveKeys{"save all keys", "choose 0", "callback 0x40 0x50C changing"};
  const Stage Install{"install defaults", "answer 0; callback 0x40 0x507 changing", "callback 0x40 0x506 changing u8:1"};
  const Stage SetFromFile{"set db from a file", "answer 1 0; choose 0 3 3 1", "callback 0x40 0x513 changing"};
  const Stage ClockRefresh{"clock page refresh", "", "callback 0x4 0x4BC changed"};
  std::vector<Row> R = {
      {"Setup", u"Setup", SETUP_GUID, 0x7, 1172, Boot},
      {"NetConfigData", u"NetConfigData", NET_CONFIG_DATA_GUID, 0x7, 490, Boot},
      {"MeInfoSetup", u"MeInfoSetup", ME_INFO_GUID, 0x3, 20, Boot},
      {"PttInfoVariable", u"PttInfoVariable", PTT_INFO_GUID, 0x3, 2, Boot},
      {"NBPlatformData", u"NBPlatformData", SETUP_GUID, 0x6, 20, Boot},
      {"SbPlatformData", u"SbPlatformData", SETUP_GUID, 0x6, 8, Boot},
      {"UsbMassDevNum", u"UsbMassDevNum", SETUP_GUID, 0x6, 2, Boot},
      {"PlatformLang", u"PlatformLang", GLOBAL, 0x7, 6, Boot},
      {"PlatformLang", u"PlatformLang", GLOBAL, 0x7, 6, SetFromFile},
      {"Lang", u"Lang", GLOBAL, 0x7, 3, Boot},
      {"AfterReadyToBoot", u"AfterReadyToBoot", ICC_SETUP_DATA_GUID, 0x6, 1, ClockRefresh},
      {"SecureBoot", u"SecureBoot", GLOBAL, 0x6, 1, Refresh},
      {"SetupMode", u"SetupMode", GLOBAL, 0x6, 1, Refresh},
      {"SetupMode", u"SetupMode", GLOBAL, 0x6, 1, Install},
      {"SetupMode", u"SetupMode", GLOBAL, 0x6, 1, SetFromFile},
  };
  for (UINTN I = 0; I < KEY_VARIABLE_COUNT; ++I) {
    const std::string Name = sim::ToUtf8(KeyVariables[I].Name);
    R.push_back({Name, KeyVariables[I].Name, *KeyVariableGuid(I), 0x27, 0, Refresh});
    R.push_back({Name, KeyVariables[I].Name, *KeyVariableGuid(I), 0x27, 0, SaveKeys});
  }
  return R;
}

// The bytes of a row at one size: the owner's own bytes as the board holds
// them after a boot, cut or padded with zeros.
std::vector<UINT8> Sized(const std::vector<UINT8>& Own, size_t Size) {
  std::vector<UINT8> Bytes(Own.begin(), Own.begin() + std::min(Own.size(), Size));
  Bytes.resize(Size, 0);
  return Bytes;
}

TEST(VariableSizeMatrix, EveryOutsideVariableReadAtEverySizeIsHandled) {
  const auto Start = std::chrono::steady_clock::now();
  // What the board's drivers leave in each variable.
  std::map<std::u16string, std::vector<UINT8>> Own;
  {
    boardsim::BoardSession Session(DefaultBoard());
    Session.Boot();
    for (const auto& [Key, V] : Session.Machine().Variables().All()) Own[Key.Name] = V.Data;
  }
  size_t Cases = 0;
  std::vector<std::string> Findings;
  for (const Row& R : Rows()) {
    // The default board enrols no dbt: it gets db's signature lists.
    const std::vector<UINT8>& Base = Own[R.Name].empty() && R.Name == u"dbt" ? Own[u"db"] : Own[R.Name];
    const size_t Exact = R.Exact != 0 ? R.Exact : Base.size();
    const std::vector<std::pair<std::string, std::optional<size_t>>> Sizes = {
        {"absent", std::nullopt},  {"0 bytes", 0},         {"1 byte short", Exact - 1}, {"exact", Exact},
        {"1 byte more", Exact + 1}, {"64 KiB", 64 * 1024}, {"64 KiB + 1", 64 * 1024 + 1}};
    for (const auto& [Label, Size] : Sizes) {
      Forced F{R.Name, R.Guid, R.Attributes, Size ? std::optional(Sized(Base, *Size)) : std::nullopt};
      Stage P = R.Reader;
      P.BeforeSwept = [&F](sim::Machine& M) {
        // The store takes what a large owner writes.
        M.Variables().SetMaxVariableSize(256 * 1024);
        M.Variables().SetStorageSize(1024 * 1024, 1024 * 1024);
        F.Original = M.RuntimeServices()->GetVariable;
        M.RuntimeServices()->GetVariable = ForcedGetVariable;
        Current = &F;
      };
      const Outcome O = RunStage(DefaultBoard(), P);
      Current = nullptr;
      ++Cases;
      const std::string Case = R.Variable + " " + Label + ", " + P.Name + ": ";
      if (!O.Problem.empty()) Findings.push_back(Case + O.Problem);
      for (const std::string& Finding : O.Findings) Findings.push_back(Case + Finding);
      // A row whose reader never reads the variable tests nothing.
      if (F.Reads == 0 && Label == std::string("exact")) Findings.push_back(Case + "never read");
    }
  }
  const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  std::printf("variable-size matrix: %zu rows, %zu cases, %zu findings, %.1f s\n", Rows().size(), Cases,
              Findings.size(), Seconds);
  for (const std::string& F : Findings) ADD_FAILURE() << F;
}

}  // namespace
}  // namespace sweeps
