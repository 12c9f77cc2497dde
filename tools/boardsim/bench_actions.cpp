#include "tools/boardsim/bench_actions.h"

#include "tools/boardsim/text_util.h"

namespace boardsim {
namespace {

struct VerbName {
  const char* Name;
  BenchVerb Verb;
};
constexpr VerbName Verbs[] = {
    {"fail", BenchVerb::Fail},         {"fail-clear", BenchVerb::FailClear}, {"install", BenchVerb::Install},
    {"trigger", BenchVerb::Trigger},   {"register", BenchVerb::Register},    {"port", BenchVerb::Port},
    {"msr", BenchVerb::Msr},           {"hwmon", BenchVerb::Hwmon},          {"sio", BenchVerb::Sio},
    {"mem", BenchVerb::Mem},
};

std::optional<unsigned> WidthOf(const std::string& Word) {
  const std::string W = Lower(Word);
  if (W == "byte") return 1;
  if (W == "word") return 2;
  if (W == "dword") return 4;
  return std::nullopt;
}

// Number words with their bounds; the first one out of bounds says why.
std::optional<std::string> Numbers(const std::vector<std::string>& Words, size_t From,
                                   std::initializer_list<std::pair<uint64_t*, uint64_t>> Slots) {
  size_t I = From;
  for (auto [Slot, Max] : Slots) {
    auto N = ParseUnsigned(Words[I]);
    if (!N || *N > Max) return "\"" + Words[I] + "\" is not a number from 0 to " + Hex(Max);
    *Slot = *N;
    ++I;
  }
  return std::nullopt;
}

uint64_t WidthMax(unsigned Width) { return Width == 4 ? 0xFFFFFFFFull : (1ull << (8 * Width)) - 1; }

}  // namespace

const char* BenchVerbName(BenchVerb Verb) {
  for (const VerbName& V : Verbs)
    if (V.Verb == Verb) return V.Name;
  return "?";
}

std::optional<std::string> ParseBenchAction(const std::vector<std::string>& Words, BenchCommand& Out) {
  const std::string Verb = Lower(Words[0]);
  const VerbName* Found = nullptr;
  for (const VerbName& V : Verbs)
    if (Verb == V.Name) Found = &V;
  if (Found == nullptr) return std::nullopt;
  Out = BenchCommand{};
  Out.Verb = Found->Verb;
  const size_t Count = Words.size();
  uint64_t A = 0, B = 0, C = 0;
  switch (Out.Verb) {
    case BenchVerb::Fail: {
      if (Count != 3 && Count != 4) return std::string("expected: fail SERVICE N|always [STATUS] (or fail pool N)");
      std::string Error;
      auto Wanted = ParseFault(Words[1], Words[2], Count == 4 ? Words[3] : std::string(), Error);
      if (!Wanted) return Error;
      Out.Fault = *Wanted;
      return std::string();
    }
    case BenchVerb::FailClear:
    case BenchVerb::Trigger:
      if (Count != 1) return "expected: " + Verb;
      return std::string();
    case BenchVerb::Install:
      if (Count != 2) return std::string("expected: install PEER");
      Out.Peer = Lower(Words[1]);
      return std::string();
    case BenchVerb::Register: {
      if (Count != 5) return std::string("expected: register CLASS SUBCLASS KEY STATUS");
      if (auto Why = Numbers(Words, 1, {{&A, 0xFFFF}, {&B, 0xFFFF}, {&C, 0xFFFF}})) return Why;
      auto Status = ParseStatusWord(Words[4]);
      if (!Status) return "unknown status \"" + Words[4] + "\" (a name such as EFI_UNSUPPORTED, or a number)";
      Out.Class = uint16_t(A), Out.SubClass = uint16_t(B), Out.Key = uint16_t(C), Out.Returns = *Status;
      return std::string();
    }
    case BenchVerb::Port:
    case BenchVerb::Mem: {
      const bool Port = Out.Verb == BenchVerb::Port;
      if (Count != 4) return "expected: " + Verb + (Port ? " PORT" : " ADDRESS") + " byte|word|dword VALUE";
      auto Width = WidthOf(Words[2]);
      if (!Width) return "unknown width \"" + Words[2] + "\" (expected byte, word or dword)";
      Out.Width = *Width;
      if (auto Why = Numbers(Words, 1, {{&Out.Address, Port ? 0xFFFF : UINT64_MAX}})) return Why;
      if (auto Why = Numbers(Words, 3, {{&Out.Value, WidthMax(Out.Width)}})) return Why;
      return std::string();
    }
    case BenchVerb::Msr:
      if (Count != 3) return std::string("expected: msr INDEX VALUE");
      return Numbers(Words, 1, {{&Out.Address, 0xFFFFFFFF}, {&Out.Value, UINT64_MAX}}).value_or("");
    case BenchVerb::Hwmon:
    case BenchVerb::Sio:
      if (Count != 4) return "expected: " + Verb + (Out.Verb == BenchVerb::Hwmon ? " BANK" : " LDN") + " REGISTER VALUE";
      if (auto Why = Numbers(Words, 1, {{&A, 0xFF}, {&B, 0xFF}, {&Out.Value, 0xFF}})) return Why;
      Out.Unit = uint8_t(A), Out.Register = uint8_t(B);
      return std::string();
  }
  return std::nullopt;
}

}  // namespace boardsim
