#include "sim/board_profile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/memory_info.h"
#include "platform/setup_variable.h"
#include "sim/variables.h"

namespace sim {

using Json = nlohmann::json;

namespace {

constexpr size_t MAX_HOB_DATA = 0xFFE0 - 24;
constexpr size_t MAX_MODEL_NAME = 1023;
constexpr uint64_t MAX_REPLY_TOTAL = 16u << 20;
constexpr uint64_t MAX_PROFILE_FILE = 4u << 20;

// Reading state: the first error wins and names the file and JSON path.
struct Ctx {
  std::string Source;
  std::string Error;
  bool Fail(const std::string& Path, const std::string& Why) {
    if (Error.empty()) Error = Source + ": " + Path + ": " + Why;
    return false;
  }
};

template <typename T>
struct Field {
  const char* Name;
  bool Required;
  std::function<bool(Ctx&, const Json&, const std::string&, T&)> Read;
};

template <typename T>
bool ReadObject(Ctx& C, const Json& J, const std::string& Path, T& Out, const std::vector<Field<T>>& Fields) {
  if (!J.is_object()) return C.Fail(Path, "expected an object");
  for (auto It = J.begin(); It != J.end(); ++It) {
    const Field<T>* F = nullptr;
    for (auto& Candidate : Fields)
      if (It.key() == Candidate.Name) F = &Candidate;
    if (F == nullptr) return C.Fail(Path + "." + It.key(), "unknown field");
    if (!F->Read(C, It.value(), Path + "." + It.key(), Out)) return false;
  }
  for (auto& F : Fields)
    if (F.Required && !J.contains(F.Name)) return C.Fail(Path + "." + F.Name, "missing required field");
  return true;
}

template <typename T>
bool ReadArray(Ctx& C, const Json& J, const std::string& Path, std::vector<T>& Out,
               const std::function<bool(Ctx&, const Json&, const std::string&, T&)>& ReadOne) {
  if (!J.is_array()) return C.Fail(Path, "expected an array");
  std::vector<T> Items;
  for (size_t I = 0; I < J.size(); ++I) {
    T Item{};
    if (!ReadOne(C, J[I], Path + "[" + std::to_string(I) + "]", Item)) return false;
    Items.push_back(std::move(Item));
  }
  Out = std::move(Items);
  return true;
}

std::string Hex(uint64_t V) {
  char B[24];
  std::snprintf(B, sizeof B, "0x%llX", (unsigned long long)V);
  return B;
}

bool ParseUnsignedText(const std::string& S, uint64_t& V) {
  if (S.empty()) return false;
  size_t Pos = 0;
  int Base = 10;
  if (S.size() > 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) {
    Pos = 2;
    Base = 16;
  }
  if (Pos == S.size()) return false;
  uint64_t Acc = 0;
  for (; Pos < S.size(); ++Pos) {
    char Ch = S[Pos];
    int D;
    if (Ch >= '0' && Ch <= '9')
      D = Ch - '0';
    else if (Base == 16 && Ch >= 'a' && Ch <= 'f')
      D = Ch - 'a' + 10;
    else if (Base == 16 && Ch >= 'A' && Ch <= 'F')
      D = Ch - 'A' + 10;
    else
      return false;
    if (Acc > (UINT64_MAX - D) / Base) return false;
    Acc = Acc * Base + D;
  }
  V = Acc;
  return true;
}

// Integers: JSON numbers or text in decimal or 0x-hex (JSON has no hex).
bool ReadUint(Ctx& C, const Json& J, const std::string& Path, uint64_t Max, uint64_t& Out) {
  uint64_t V = 0;
  if (J.is_number_unsigned()) {
    V = J.get<uint64_t>();
  } else if (J.is_number_integer()) {
    return C.Fail(Path, "value " + std::to_string(J.get<int64_t>()) + " is out of range (0 to " + Hex(Max) + ")");
  } else if (J.is_string()) {
    if (!ParseUnsignedText(J.get<std::string>(), V)) return C.Fail(Path, "expected an integer");
  } else {
    return C.Fail(Path, "expected an integer");
  }
  if (V > Max) return C.Fail(Path, "value " + Hex(V) + " is out of range (0 to " + Hex(Max) + ")");
  Out = V;
  return true;
}

template <typename T>
std::function<bool(Ctx&, const Json&, const std::string&, T&)> Uint(uint64_t Max, std::function<void(T&, uint64_t)> Set) {
  return [Max, Set](Ctx& C, const Json& J, const std::string& P, T& Out) {
    uint64_t V;
    if (!ReadUint(C, J, P, Max, V)) return false;
    Set(Out, V);
    return true;
  };
}

bool ReadString(Ctx& C, const Json& J, const std::string& Path, std::string& Out) {
  if (!J.is_string()) return C.Fail(Path, "expected a string");
  Out = J.get<std::string>();
  return true;
}

template <typename T>
std::function<bool(Ctx&, const Json&, const std::string&, T&)> Text(std::function<void(T&, std::string)> Set) {
  return [Set](Ctx& C, const Json& J, const std::string& P, T& Out) {
    std::string S;
    if (!ReadString(C, J, P, S)) return false;
    Set(Out, std::move(S));
    return true;
  };
}

// Bytes: "0A 1B 2C" / "0a1b2c" text, or an array of byte values.
bool ReadBytes(Ctx& C, const Json& J, const std::string& Path, std::vector<uint8_t>& Out) {
  std::vector<uint8_t> Bytes;
  if (J.is_string()) {
    std::string Digits;
    for (char Ch : J.get<std::string>()) {
      if (Ch == ' ' || Ch == '\n' || Ch == '\t' || Ch == ':' || Ch == '-') continue;
      if (!std::isxdigit((unsigned char)Ch)) return C.Fail(Path, "expected hexadecimal digits");
      Digits += Ch;
    }
    if (Digits.size() % 2) return C.Fail(Path, "odd number of hexadecimal digits");
    for (size_t I = 0; I < Digits.size(); I += 2) Bytes.push_back((uint8_t)std::stoul(Digits.substr(I, 2), nullptr, 16));
  } else if (J.is_array()) {
    for (size_t I = 0; I < J.size(); ++I) {
      uint64_t V;
      if (!ReadUint(C, J[I], Path + "[" + std::to_string(I) + "]", 0xFF, V)) return false;
      Bytes.push_back((uint8_t)V);
    }
  } else {
    return C.Fail(Path, "expected a hexadecimal string or an array of bytes");
  }
  Out = std::move(Bytes);
  return true;
}

bool ReadGuidField(Ctx& C, const Json& J, const std::string& Path, EFI_GUID& Out) {
  std::string S;
  if (!ReadString(C, J, Path, S)) return false;
  if (!ParseGuid(S, Out)) return C.Fail(Path, "expected a GUID like 8BE4DF61-93CA-11D2-AA0D-00E098032B8C");
  return true;
}

// {"0x20": "0xC5", ...}: register number -> byte.
bool ReadRegisterMap(Ctx& C, const Json& J, const std::string& Path, uint64_t MinKey, uint64_t MaxKey,
                     std::map<uint8_t, uint8_t>& Out) {
  if (!J.is_object()) return C.Fail(Path, "expected an object");
  std::map<uint8_t, uint8_t> M;
  for (auto It = J.begin(); It != J.end(); ++It) {
    uint64_t Key;
    std::string KeyPath = Path + "." + It.key();
    if (!ParseUnsignedText(It.key(), Key)) return C.Fail(KeyPath, "register name must be an integer");
    if (Key < MinKey || Key > MaxKey)
      return C.Fail(KeyPath, "register " + Hex(Key) + " is out of range (" + Hex(MinKey) + " to " + Hex(MaxKey) + ")");
    uint64_t V;
    if (!ReadUint(C, It.value(), KeyPath, 0xFF, V)) return false;
    M[(uint8_t)Key] = (uint8_t)V;
  }
  Out = std::move(M);
  return true;
}

// {"offset": .., one of "byte" | "word" | "dword" | "qword" | "bytes"}
std::function<bool(Ctx&, const Json&, const std::string&, RegisterWrite&)> WriteReader(uint64_t SpaceSize) {
  return [SpaceSize](Ctx& C, const Json& J, const std::string& Path, RegisterWrite& W) {
    auto Sized = [](int Width) {
      return [Width](Ctx& C, const Json& J, const std::string& P, RegisterWrite& W) {
        uint64_t Max = Width == 8 ? UINT64_MAX : (1ull << (8 * Width)) - 1, V;
        if (!ReadUint(C, J, P, Max, V)) return false;
        W.Bytes.clear();
        for (int I = 0; I < Width; ++I) W.Bytes.push_back((uint8_t)(V >> (8 * I)));
        return true;
      };
    };
    std::vector<Field<RegisterWrite>> Fields = {
        {"offset", true, Uint<RegisterWrite>(SpaceSize - 1, [](RegisterWrite& W, uint64_t V) { W.Offset = (uint32_t)V; })},
        {"byte", false, Sized(1)},
        {"word", false, Sized(2)},
        {"dword", false, Sized(4)},
        {"qword", false, Sized(8)},
        {"bytes", false, [](Ctx& C, const Json& J, const std::string& P, RegisterWrite& W) { return ReadBytes(C, J, P, W.Bytes); }},
    };
    if (!ReadObject(C, J, Path, W, Fields)) return false;
    int Forms = 0;
    for (const char* K : {"byte", "word", "dword", "qword", "bytes"}) Forms += J.contains(K) ? 1 : 0;
    if (Forms != 1) return C.Fail(Path, "needs exactly one of byte, word, dword, qword, bytes");
    if (W.Offset + W.Bytes.size() > SpaceSize)
      return C.Fail(Path, "ends at " + Hex(W.Offset + W.Bytes.size()) + ", past the end of the space (" + Hex(SpaceSize) + ")");
    return true;
  };
}

template <typename T>
std::function<bool(Ctx&, const Json&, const std::string&, T&)> Writes(uint64_t SpaceSize,
                                                                        std::vector<RegisterWrite> T::*Member) {
  return [SpaceSize, Member](Ctx& C, const Json& J, const std::string& P, T& Out) {
    return ReadArray<RegisterWrite>(C, J, P, Out.*Member, WriteReader(SpaceSize));
  };
}

bool ReadBool(Ctx& C, const Json& J, const std::string& P, bool& Out);

bool ReadFirmware(Ctx& C, const Json& J, const std::string& P, FirmwareProfile& F) {
  return ReadObject<FirmwareProfile>(
      C, J, P, F,
      {
          {"vendor", true, Text<FirmwareProfile>([](FirmwareProfile& F, std::string S) { F.Vendor = ToUtf16(S); })},
          {"revision", true, Uint<FirmwareProfile>(0xFFFFFFFF, [](FirmwareProfile& F, uint64_t V) { F.Revision = (uint32_t)V; })},
          {"uefiRevision", false, Uint<FirmwareProfile>(0xFFFFFFFF, [](FirmwareProfile& F, uint64_t V) { F.UefiRevision = (uint32_t)V; })},
          {"dxeServicesRevision", false,
           Uint<FirmwareProfile>(0xFFFFFFFF, [](FirmwareProfile& F, uint64_t V) { F.DxeServicesRevision = (uint32_t)V; })},
          {"nullVendor", false,
           [](Ctx& C, const Json& J, const std::string& P, FirmwareProfile& F) { return ReadBool(C, J, P, F.NullVendor); }},
          {"dxeServicesTable", false,
           [](Ctx& C, const Json& J, const std::string& P, FirmwareProfile& F) {
             return ReadBool(C, J, P, F.DxeServicesTable);
           }},
      });
}

bool ReadCpuidLeaf(Ctx& C, const Json& J, const std::string& P, CpuidLeaf& L) {
  auto Reg = [](int I) {
    return Uint<CpuidLeaf>(0xFFFFFFFF, [I](CpuidLeaf& L, uint64_t V) { L.Regs[I] = (uint32_t)V; });
  };
  return ReadObject<CpuidLeaf>(C, J, P, L,
                               {
                                   {"leaf", true, Uint<CpuidLeaf>(0xFFFFFFFF, [](CpuidLeaf& L, uint64_t V) { L.Leaf = (uint32_t)V; })},
                                   {"subleaf", false, Uint<CpuidLeaf>(0xFFFFFFFF, [](CpuidLeaf& L, uint64_t V) { L.Subleaf = (uint32_t)V; })},
                                   {"eax", false, Reg(0)},
                                   {"ebx", false, Reg(1)},
                                   {"ecx", false, Reg(2)},
                                   {"edx", false, Reg(3)},
                               });
}

// The brand string is 48 bytes over leaves 0x80000002..4, NUL-padded.
bool ReadBrandString(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  std::string S;
  if (!ReadString(C, J, P, S)) return false;
  if (S.size() > 47) return C.Fail(P, "brand string longer than 47 characters");
  char Bytes[48] = {};
  S.copy(Bytes, S.size());
  for (uint32_t Leaf = 0; Leaf < 3; ++Leaf) {
    CpuidLeaf L;
    L.Leaf = 0x80000002 + Leaf;
    for (int R = 0; R < 4; ++R) {
      uint32_t V = 0;
      for (int K = 0; K < 4; ++K) V |= (uint32_t)(uint8_t)Bytes[Leaf * 16 + R * 4 + K] << (8 * K);
      L.Regs[R] = V;
    }
    B.Cpuid.push_back(L);
  }
  return true;
}

bool ReadCpu(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  return ReadObject<BoardProfile>(
      C, J, P, B,
      {
          {"cpuid", false,
           [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
             std::vector<CpuidLeaf> Leaves;
             if (!ReadArray<CpuidLeaf>(C, J, P, Leaves, ReadCpuidLeaf)) return false;
             B.Cpuid.insert(B.Cpuid.end(), Leaves.begin(), Leaves.end());
             return true;
           }},
          {"brandString", false, ReadBrandString},
      });
}

bool ReadMsrs(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  if (!J.is_object()) return C.Fail(P, "expected an object");
  std::map<uint32_t, uint64_t> M;
  for (auto It = J.begin(); It != J.end(); ++It) {
    uint64_t Index, V;
    std::string KP = P + "." + It.key();
    if (!ParseUnsignedText(It.key(), Index) || Index > 0xFFFFFFFF) return C.Fail(KP, "MSR index must be a 32-bit integer");
    if (!ReadUint(C, It.value(), KP, UINT64_MAX, V)) return false;
    M[(uint32_t)Index] = V;
  }
  B.Msrs = std::move(M);
  return true;
}

bool ReadPciFunction(Ctx& C, const Json& J, const std::string& P, PciFunction& F) {
  return ReadObject<PciFunction>(C, J, P, F,
                                 {
                                     {"bus", true, Uint<PciFunction>(0x3F, [](PciFunction& F, uint64_t V) { F.Bus = (uint8_t)V; })},
                                     {"device", true, Uint<PciFunction>(31, [](PciFunction& F, uint64_t V) { F.Device = (uint8_t)V; })},
                                     {"function", true, Uint<PciFunction>(7, [](PciFunction& F, uint64_t V) { F.Function = (uint8_t)V; })},
                                     {"name", false, Text<PciFunction>([](PciFunction& F, std::string S) { F.Name = std::move(S); })},
                                     {"config", false, Writes<PciFunction>(4096, &PciFunction::Config)},
                                 });
}

bool ReadSioDevice(Ctx& C, const Json& J, const std::string& P, SuperIoDevice& D) {
  return ReadObject<SuperIoDevice>(
      C, J, P, D,
      {
          {"ldn", true, Uint<SuperIoDevice>(0xFF, [](SuperIoDevice& D, uint64_t V) { D.Ldn = (uint8_t)V; })},
          {"name", false, Text<SuperIoDevice>([](SuperIoDevice& D, std::string S) { D.Name = std::move(S); })},
          {"registers", false,
           [](Ctx& C, const Json& J, const std::string& P, SuperIoDevice& D) {
             return ReadRegisterMap(C, J, P, 0x30, 0xFF, D.Registers);
           }},
      });
}

bool ReadSuperIo(Ctx& C, const Json& J, const std::string& P, SuperIoProfile& S) {
  return ReadObject<SuperIoProfile>(
      C, J, P, S,
      {
          {"present", false,
           [](Ctx& C, const Json& J, const std::string& P, SuperIoProfile& S) {
             if (!J.is_boolean()) return C.Fail(P, "expected true or false");
             S.Present = J.get<bool>();
             return true;
           }},
          {"globals", false,
           [](Ctx& C, const Json& J, const std::string& P, SuperIoProfile& S) {
             return ReadRegisterMap(C, J, P, 0x00, 0x2F, S.Globals);
           }},
          {"devices", false,
           [](Ctx& C, const Json& J, const std::string& P, SuperIoProfile& S) {
             return ReadArray<SuperIoDevice>(C, J, P, S.Devices, ReadSioDevice);
           }},
      });
}

bool ReadHwmonBank(Ctx& C, const Json& J, const std::string& P, HwmonBank& B) {
  return ReadObject<HwmonBank>(C, J, P, B,
                               {
                                   {"bank", true, Uint<HwmonBank>(0xFF, [](HwmonBank& B, uint64_t V) { B.Bank = (uint8_t)V; })},
                                   {"registers", false,
                                    [](Ctx& C, const Json& J, const std::string& P, HwmonBank& B) {
                                      return ReadRegisterMap(C, J, P, 0x00, 0xFF, B.Registers);
                                    }},
                               });
}

bool ReadHwmon(Ctx& C, const Json& J, const std::string& P, HwmonProfile& H) {
  return ReadObject<HwmonProfile>(
      C, J, P, H,
      {
          {"bankMask", false, Uint<HwmonProfile>(0xFF, [](HwmonProfile& H, uint64_t V) { H.BankMask = (uint8_t)V; })},
          {"banks", false,
           [](Ctx& C, const Json& J, const std::string& P, HwmonProfile& H) {
             return ReadArray<HwmonBank>(C, J, P, H.Banks, ReadHwmonBank);
           }},
      });
}

bool ReadHob(Ctx& C, const Json& J, const std::string& P, GuidHobProfile& H) {
  if (!ReadObject<GuidHobProfile>(
          C, J, P, H,
          {
              {"guid", true, [](Ctx& C, const Json& J, const std::string& P, GuidHobProfile& H) { return ReadGuidField(C, J, P, H.Guid); }},
              {"data", false, [](Ctx& C, const Json& J, const std::string& P, GuidHobProfile& H) { return ReadBytes(C, J, P, H.Data); }},
          }))
    return false;
  // A HOB's length is 16 bits and includes the 24-byte header; the list keeps
  // every HOB at most 0xFFE0 bytes long.
  if (H.Data.size() > MAX_HOB_DATA) return C.Fail(P + ".data", "too long for a HOB (at most 65480 bytes)");
  return true;
}

// Variable data: bytes, or {"size": n, "fill": b, "set": [writes]}.
bool ReadVariableData(Ctx& C, const Json& J, const std::string& P, VariableProfile& V) {
  if (!J.is_object()) return ReadBytes(C, J, P, V.Data);
  struct Shape {
    uint64_t Size = 0, Fill = 0;
    std::vector<RegisterWrite> Set;
  } S;
  if (!ReadObject<Shape>(C, J, P, S,
                         {
                             {"size", true, Uint<Shape>(1 << 20, [](Shape& S, uint64_t V) { S.Size = V; })},
                             {"fill", false, Uint<Shape>(0xFF, [](Shape& S, uint64_t V) { S.Fill = V; })},
                             {"set", false, [](Ctx& C, const Json& J, const std::string& P, Shape& S) {
                                return ReadArray<RegisterWrite>(C, J, P, S.Set, WriteReader(1 << 20));
                              }},
                         }))
    return false;
  V.Data.assign(S.Size, (uint8_t)S.Fill);
  for (size_t I = 0; I < S.Set.size(); ++I) {
    auto& W = S.Set[I];
    if (W.Offset + W.Bytes.size() > S.Size)
      return C.Fail(P + ".set[" + std::to_string(I) + "]", "lies past the variable's size " + std::to_string(S.Size));
    std::copy(W.Bytes.begin(), W.Bytes.end(), V.Data.begin() + W.Offset);
  }
  return true;
}

bool ReadVariable(Ctx& C, const Json& J, const std::string& P, VariableProfile& V) {
  if (!ReadObject<VariableProfile>(
          C, J, P, V,
          {
              {"name", true,
               [](Ctx& C, const Json& J, const std::string& P, VariableProfile& V) {
                 std::string S;
                 if (!ReadString(C, J, P, S)) return false;
                 if (S.empty()) return C.Fail(P, "empty variable name");
                 V.Name = ToUtf16(S);
                 return true;
               }},
              {"guid", true, [](Ctx& C, const Json& J, const std::string& P, VariableProfile& V) { return ReadGuidField(C, J, P, V.Guid); }},
              {"attributes", true, Uint<VariableProfile>(0x7F, [](VariableProfile& V, uint64_t A) { V.Attributes = (uint32_t)A; })},
              {"data", true, ReadVariableData},
          }))
    return false;
  if ((V.Attributes & EFI_VARIABLE_RUNTIME_ACCESS) && !(V.Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS))
    return C.Fail(P + ".attributes", "runtime access needs boot-service access");
  if (!(V.Attributes & (EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)))
    return C.Fail(P + ".attributes", "a variable without access cannot exist");
  return true;
}

bool ReadAddress(Ctx& C, const Json& J, const std::string& P, std::array<uint8_t, 4>& A) {
  std::string S;
  if (!ReadString(C, J, P, S)) return false;
  unsigned Parts[4];
  char Tail;
  if (std::sscanf(S.c_str(), "%u.%u.%u.%u%c", &Parts[0], &Parts[1], &Parts[2], &Parts[3], &Tail) != 4 || Parts[0] > 255 ||
      Parts[1] > 255 || Parts[2] > 255 || Parts[3] > 255)
    return C.Fail(P, "expected a dotted IPv4 address like 192.0.2.10");
  for (int I = 0; I < 4; ++I) A[I] = (uint8_t)Parts[I];
  return true;
}

bool ReadName(Ctx& C, const Json& J, const std::string& P, UpdateProfile::Name& N) {
  if (!ReadObject<UpdateProfile::Name>(
          C, J, P, N,
          {
              {"name", true, Text<UpdateProfile::Name>([](UpdateProfile::Name& N, std::string S) { N.Name = std::move(S); })},
              {"alias", false, Text<UpdateProfile::Name>([](UpdateProfile::Name& N, std::string S) { N.Alias = std::move(S); })},
              {"address", false,
               [](Ctx& C, const Json& J, const std::string& P, UpdateProfile::Name& N) { return ReadAddress(C, J, P, N.Address); }},
          }))
    return false;
  if (J.contains("alias") == J.contains("address")) return C.Fail(P, "needs exactly one of alias, address");
  return true;
}

bool ReadUpdate(Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
  return ReadObject<UpdateProfile>(
      C, J, P, U,
      {
          {"modelName", true,
           [](Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
             std::string S;
             if (!ReadString(C, J, P, S)) return false;
             // The simulated identity protocol has room for this much and a terminator.
             if (S.size() > MAX_MODEL_NAME)
               return C.Fail(P, "model name of " + std::to_string(S.size()) + " bytes is too long (at most " +
                                    std::to_string(MAX_MODEL_NAME) + ")");
             U.ModelName = std::move(S);
             return true;
           }},
          {"serverReply", true, Text<UpdateProfile>([](UpdateProfile& U, std::string S) { U.ServerReply = std::move(S); })},
          {"replyLengths", false,
           [](Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
             if (!J.is_array() || J.size() != 3) return C.Fail(P, "expected an array of three lengths [first, second, total]");
             std::array<uint32_t, 3> L{};
             for (size_t I = 0; I < 3; ++I) {
               uint64_t V;
               // The transport allocates and fills as many bytes as the total says.
               if (!ReadUint(C, J[I], P + "[" + std::to_string(I) + "]", I == 2 ? MAX_REPLY_TOTAL : 0xFFFFFFFF, V))
                 return false;
               L[I] = (uint32_t)V;
             }
             U.ReplyLengths = L;
             return true;
           }},
          {"transportStatus", false, Uint<UpdateProfile>(UINT64_MAX, [](UpdateProfile& U, uint64_t V) { U.TransportStatus = V; })},
          {"nameTable", false,
           [](Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
             return ReadArray<UpdateProfile::Name>(C, J, P, U.NameTable, ReadName);
           }},
          {"queryStatus", false, Uint<UpdateProfile>(UINT64_MAX, [](UpdateProfile& U, uint64_t V) { U.QueryStatus = V; })},
          {"exchangeStatus", false,
           Uint<UpdateProfile>(UINT64_MAX, [](UpdateProfile& U, uint64_t V) { U.ExchangeStatus = V; })},
          {"parseStatus", false, Uint<UpdateProfile>(UINT64_MAX, [](UpdateProfile& U, uint64_t V) { U.ParseStatus = V; })},
          {"parseName", false,
           [](Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
             std::string S;
             if (!ReadString(C, J, P, S)) return false;
             // The caller's alias buffer holds 63 characters and a terminator.
             if (S.size() > 63) return C.Fail(P, "name of " + std::to_string(S.size()) + " bytes is too long (at most 63)");
             U.ParseName = std::move(S);
             return true;
           }},
          {"answerWithoutBuffer", false,
           [](Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
             return ReadBool(C, J, P, U.AnswerWithoutBuffer);
           }},
          {"replyOnTransportError", false,
           [](Ctx& C, const Json& J, const std::string& P, UpdateProfile& U) {
             return ReadBool(C, J, P, U.ReplyOnTransportError);
           }},
      });
}

bool ReadVariableStore(Ctx& C, const Json& J, const std::string& P, VariableStoreProfile& S) {
  if (!ReadObject<VariableStoreProfile>(
          C, J, P, S,
          {
              {"maxVariableSize", false,
               Uint<VariableStoreProfile>(0x100000, [](VariableStoreProfile& S, uint64_t V) { S.MaxVariableSize = (uint32_t)V; })},
              {"nonVolatileSize", false,
               Uint<VariableStoreProfile>(0x4000000, [](VariableStoreProfile& S, uint64_t V) { S.NonVolatileSize = (uint32_t)V; })},
              {"volatileSize", false,
               Uint<VariableStoreProfile>(0x4000000, [](VariableStoreProfile& S, uint64_t V) { S.VolatileSize = (uint32_t)V; })},
          }))
    return false;
  if (S.MaxVariableSize < 128) return C.Fail(P + ".maxVariableSize", "must be at least 128 bytes");
  return true;
}

bool ReadCacheDescriptor(Ctx& C, const Json& J, const std::string& P, CacheDescriptorProfile& D) {
  using D_ = CacheDescriptorProfile;
  return ReadObject<D_>(C, J, P, D,
                        {
                            {"level", true, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Level = (uint32_t)V; })},
                            {"type", true, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Type = (uint32_t)V; })},
                            {"sizeKb", true, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.SizeKb = (uint32_t)V; })},
                            {"sharing", false, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Sharing = (uint32_t)V; })},
                            // The array is built with each record at its length: a huge one would
                            // make the simulator allocate that much.
                            {"length", false, Uint<D_>(0x1000, [](D_& D, uint64_t V) { D.Length = (uint32_t)V; })},
                        });
}

constexpr size_t MAX_PROCESSOR_RESOURCES = 4096;

bool ReadProcessorResource(Ctx& C, const Json& J, const std::string& P, ProcessorResourceProfile& D) {
  using D_ = ProcessorResourceProfile;
  return ReadObject<D_>(C, J, P, D,
                        {
                            {"inUse", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.InUse = (uint8_t)V; })},
                            {"kind", true, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Kind = (uint8_t)V; })},
                            {"size", true, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Size = (uint16_t)V; })},
                        });
}

bool ReadProcessor(Ctx& C, const Json& J, const std::string& P, ProcessorProfile& R) {
  using R_ = ProcessorProfile;
  return ReadObject<R_>(
      C, J, P, R,
      {
          {"signature", false, Uint<R_>(0xFFFFFFFF, [](R_& R, uint64_t V) { R.Signature = (uint32_t)V; })},
          {"featureWord", false, Uint<R_>(UINT64_MAX, [](R_& R, uint64_t V) { R.FeatureWord = V; })},
          {"brandString", false, Text<R_>([](R_& R, std::string S) { R.BrandString = std::move(S); })},
          {"supported", false, Uint<R_>(0xFF, [](R_& R, uint64_t V) { R.Supported = (uint8_t)V; })},
          {"coreCount", false, Uint<R_>(0xFF, [](R_& R, uint64_t V) { R.CoreCount = (uint8_t)V; })},
          {"threadsPerCore", false, Uint<R_>(0xFF, [](R_& R, uint64_t V) { R.ThreadsPerCore = (uint8_t)V; })},
          {"microcodeRevision", false, Uint<R_>(0xFFFFFFFF, [](R_& R, uint64_t V) { R.MicrocodeRevision = (uint32_t)V; })},
          {"coresPerPackage", false, Uint<R_>(0xFFFFFFFF, [](R_& R, uint64_t V) { R.CoresPerPackage = (uint32_t)V; })},
          {"caches", false,
           [](Ctx& C, const Json& J, const std::string& P, R_& R) {
             return ReadArray<CacheDescriptorProfile>(C, J, P, R.Caches, ReadCacheDescriptor);
           }},
          {"summaryValue", false, Uint<R_>(0xFFFFFFFF, [](R_& R, uint64_t V) { R.SummaryValue = (uint32_t)V; })},
          {"resources", false,
           [](Ctx& C, const Json& J, const std::string& P, R_& R) {
             std::vector<ProcessorResourceProfile> List;
             if (!ReadArray<ProcessorResourceProfile>(C, J, P, List, ReadProcessorResource)) return false;
             if (List.size() > MAX_PROCESSOR_RESOURCES)
               return C.Fail(P, "more than " + std::to_string(MAX_PROCESSOR_RESOURCES) + " descriptors");
             R.Resources = std::move(List);
             return true;
           }},
      });
}

bool ReadBool(Ctx& C, const Json& J, const std::string& P, bool& Out) {
  if (!J.is_boolean()) return C.Fail(P, "expected true or false");
  Out = J.get<bool>();
  return true;
}

bool ReadSuperIoDriverDevice(Ctx& C, const Json& J, const std::string& P, SuperIoDeviceProfile& D) {
  using D_ = SuperIoDeviceProfile;
  return ReadObject<D_>(
      C, J, P, D,
      {
          {"name", false, Text<D_>([](D_& D, std::string S) { D.Name = std::move(S); })},
          {"type", true, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Type = (uint32_t)V; })},
          {"instance", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Instance = (uint8_t)V; })},
          {"ioBase", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.IoBase = (uint16_t)V; })},
          {"irq", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Interrupt = (uint8_t)V; })},
          {"dma", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.DmaChannel = (uint8_t)V; })},
          {"usable", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Usable = (uint8_t)V; })},
          {"enabled", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Enabled = (uint8_t)V; })},
          {"active", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Active = (uint8_t)V; })},
          {"description", false,
           [](Ctx& C, const Json& J, const std::string& P, D_& D) { return ReadBool(C, J, P, D.Description); }},
      });
}

bool ReadSuperIoDriver(Ctx& C, const Json& J, const std::string& P, SuperIoDriverProfile& S) {
  using S_ = SuperIoDriverProfile;
  return ReadObject<S_>(C, J, P, S,
                        {
                            {"present", false,
                             [](Ctx& C, const Json& J, const std::string& P, S_& S) { return ReadBool(C, J, P, S.Present); }},
                            {"devices", false,
                             [](Ctx& C, const Json& J, const std::string& P, S_& S) {
                               return ReadArray<SuperIoDeviceProfile>(C, J, P, S.Devices, ReadSuperIoDriverDevice);
                             }},
                        });
}

bool ReadEarlyPhase(Ctx& C, const Json& J, const std::string& P, EarlyPhaseProfile& E) {
  using E_ = EarlyPhaseProfile;
  return ReadObject<E_>(
      C, J, P, E,
      {
          {"readOnlyVariable", false,
           [](Ctx& C, const Json& J, const std::string& P, E_& E) { return ReadBool(C, J, P, E.ReadOnlyVariable); }},
          {"getVariableStatus", false, Uint<E_>(UINT64_MAX, [](E_& E, uint64_t V) { E.GetVariableStatus = V; })},
      });
}

bool ReadSouthBridge(Ctx& C, const Json& J, const std::string& P, SouthBridgeProfile& S) {
  using S_ = SouthBridgeProfile;
  return ReadObject<S_>(
      C, J, P, S,
      {
          {"version", false,
           [](Ctx& C, const Json& J, const std::string& P, S_& S) {
             if (!J.is_array() || J.size() != 4) return C.Fail(P, "expected an array of four version parts");
             std::array<uint8_t, 4> V{};
             for (size_t I = 0; I < 4; ++I) {
               uint64_t Part;
               if (!ReadUint(C, J[I], P + "[" + std::to_string(I) + "]", 0xFF, Part)) return false;
               V[I] = (uint8_t)Part;
             }
             S.Version = V;
             return true;
           }},
          {"platformData", false,
           [](Ctx& C, const Json& J, const std::string& P, S_& S) {
             std::vector<uint8_t> Bytes;
             if (!ReadBytes(C, J, P, Bytes)) return false;
             S.PlatformData = std::move(Bytes);
             return true;
           }},
          {"platformDataAttributes", false,
           Uint<S_>(0x7, [](S_& S, uint64_t V) { S.PlatformDataAttributes = (uint32_t)V; })},
      });
}


bool ReadMessageBox(Ctx& C, const Json& J, const std::string& P, MessageBoxProfile& M) {
  using M_ = MessageBoxProfile;
  auto Numbers = [](Ctx& C, const Json& J, const std::string& P, uint64_t Max, auto& Out) {
    if (!J.is_array() || J.size() > 256) return C.Fail(P, "expected an array of at most 256 numbers");
    Out.clear();
    for (size_t I = 0; I < J.size(); ++I) {
      uint64_t V;
      if (!ReadUint(C, J[I], P + "[" + std::to_string(I) + "]", Max, V)) return false;
      Out.push_back((typename std::decay_t<decltype(Out)>::value_type)V);
    }
    return true;
  };
  return ReadObject<M_>(
      C, J, P, M,
      {
          {"present", false,
           [](Ctx& C, const Json& J, const std::string& P, M_& M) { return ReadBool(C, J, P, M.Present); }},
          {"answers", false,
           [Numbers](Ctx& C, const Json& J, const std::string& P, M_& M) { return Numbers(C, J, P, 0xFF, M.Answers); }},
          {"emptyAnswer", false, Uint<M_>(0xFF, [](M_& M, uint64_t V) {
             M.EmptyAnswer = (uint8_t)V;
             M.EmptyAnswerGiven = true;
           })},
          {"listChoices", false,
           [Numbers](Ctx& C, const Json& J, const std::string& P, M_& M) {
             return Numbers(C, J, P, UINT64_MAX, M.ListChoices);
           }},
          {"messageBoxStatus", false, Uint<M_>(UINT64_MAX, [](M_& M, uint64_t V) { M.MessageBoxStatus = V; })},
      });
}

// A protocol named in the profile is there unless it says otherwise.
bool ReadNetworkProtocol(Ctx& C, const Json& J, const std::string& P, NetworkProtocolProfile& N) {
  using N_ = NetworkProtocolProfile;
  N.Present = true;
  return ReadObject<N_>(
      C, J, P, N,
      {
          {"present", false, [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadBool(C, J, P, N.Present); }},
          {"late", false, [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadBool(C, J, P, N.Late); }},
          {"status", false, Uint<N_>(UINT64_MAX, [](N_& N, uint64_t V) { N.Status = V; })},
      });
}

bool ReadNetwork(Ctx& C, const Json& J, const std::string& P, NetworkProfile& N) {
  using N_ = NetworkProfile;
  auto Protocol = [](NetworkProtocolProfile N_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, N_& N) {
      return ReadNetworkProtocol(C, J, P, N.*Member);
    };
  };
  return ReadObject<N_>(C, J, P, N,
                        {
                            {"configuration", false, Protocol(&N_::Configuration)},
                            {"refreshAfterConfigure", false,
                             [](Ctx& C, const Json& J, const std::string& P, N_& N) {
                               return ReadBool(C, J, P, N.RefreshAfterConfigure);
                             }},
                            {"action52A", false, Protocol(&N_::Action52A)},
                            {"action52D", false, Protocol(&N_::Action52D)},
                            {"action52E", false, Protocol(&N_::Action52E)},
                        });
}

bool ReadClockOutput(Ctx& C, const Json& J, const std::string& P, ClockOutputProfile& O) {
  using O_ = ClockOutputProfile;
  auto U32 = [](uint32_t O_::*Member) {
    return Uint<O_>(0xFFFFFFFF, [Member](O_& O, uint64_t V) { O.*Member = (uint32_t)V; });
  };
  auto U8 = [](uint8_t O_::*Member) { return Uint<O_>(0xFF, [Member](O_& O, uint64_t V) { O.*Member = (uint8_t)V; }); };
  return ReadObject<O_>(C, J, P, O,
                        {
                            {"minFrequency", true, U32(&O_::MinFrequency)},
                            {"maxFrequency", true, U32(&O_::MaxFrequency)},
                            {"stepHz", false, Uint<O_>(0xFFFFFFFF, [](O_& O, uint64_t V) { O.StepHz = V ? (uint32_t)V : 1; })},
                            {"spreadChange", false, U8(&O_::SpreadChange)},
                            {"upAllowed", false, U8(&O_::UpAllowed)},
                            {"centerAllowed", false, U8(&O_::CenterAllowed)},
                            {"downAllowed", false, U8(&O_::DownAllowed)},
                            {"maxSpread", false, U8(&O_::MaxSpread)},
                            {"usageMask", false, Uint<O_>(0xFFFF, [](O_& O, uint64_t V) { O.UsageMask = (uint16_t)V; })},
                            {"frequency", true, U32(&O_::Frequency)},
                            {"spreadMode", false, U32(&O_::SpreadMode)},
                            {"spread", false, U8(&O_::Spread)},
                            {"option", false, U32(&O_::Option)},
                        });
}

bool ReadClocks(Ctx& C, const Json& J, const std::string& P, ClockControlProfile& K) {
  using K_ = ClockControlProfile;
  auto Lib = [](uint32_t K_::*Member) {
    return Uint<K_>(0xFFFFFFFF, [Member](K_& K, uint64_t V) { K.*Member = (uint32_t)V; });
  };
  auto Flag = [](bool K_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, K_& K) { return ReadBool(C, J, P, K.*Member); };
  };
  K.Present = true;
  return ReadObject<K_>(
      C, J, P, K,
      {
          {"present", false, Flag(&K_::Present)},
          {"late", false, Flag(&K_::Late)},
          {"version", false,
           [](Ctx& C, const Json& J, const std::string& P, K_& K) {
             if (!J.is_array() || J.size() != 4) return C.Fail(P, "expected an array of four numbers");
             for (size_t I = 0; I < 4; ++I) {
               uint64_t Part;
               if (!ReadUint(C, J[I], P + "[" + std::to_string(I) + "]", 0xFFFF, Part)) return false;
               K.Version[I] = (uint16_t)Part;
             }
             return true;
           }},
          {"outputs", false,
           [](Ctx& C, const Json& J, const std::string& P, K_& K) {
             if (J.is_array() && J.size() > 8) return C.Fail(P, "at most eight outputs");
             return ReadArray<ClockOutputProfile>(C, J, P, K.Outputs, ReadClockOutput);
           }},
          {"infoLibStatus", false, Lib(&K_::InfoLibStatus)},
          {"capabilitiesLibStatus", false, Lib(&K_::CapabilitiesLibStatus)},
          {"settingsLibStatus", false, Lib(&K_::SettingsLibStatus)},
          {"setLibStatusA", false, Lib(&K_::SetLibStatusA)},
          {"setLibStatusB", false, Lib(&K_::SetLibStatusB)},
          {"resolveLibStatus", false, Lib(&K_::ResolveLibStatus)},
          {"writeSetupData", false, Flag(&K_::WriteSetupData)},
          {"restartAfterSet", false, Flag(&K_::RestartAfterSet)},
          {"bootPhase", false, Flag(&K_::BootPhasePresent)},
          {"afterReadyToBoot", false, Flag(&K_::BootPhaseAfterReadyToBoot)},
      });
}

bool ReadSataDrive(Ctx& C, const Json& J, const std::string& P, SataDriveProfile& D) {
  using D_ = SataDriveProfile;
  auto Flag = [](bool D_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, D_& D) {
      if (!J.is_boolean()) return C.Fail(P, "expected true or false");
      D.*Member = J.get<bool>();
      return true;
    };
  };
  if (!ReadObject<D_>(
          C, J, P, D,
          {
              {"model", true,
               [](Ctx& C, const Json& J, const std::string& P, D_& D) {
                 if (!ReadString(C, J, P, D.Model)) return false;
                 if (D.Model.size() > 40) return C.Fail(P, "model longer than 40 characters");
                 return true;
               }},
              {"atapi", false, Flag(&D_::Atapi)},
              {"sectors28", false, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Sectors28 = (uint32_t)V; })},
              {"sectors48", false, Uint<D_>(UINT64_MAX, [](D_& D, uint64_t V) { D.Sectors48 = V; })},
              {"logicalSectorBytes", false,
               Uint<D_>(0x1FFFFFFFEull, [](D_& D, uint64_t V) { D.LogicalSectorBytes = V; })},
              {"word76", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Word76 = (uint16_t)V; })},
              {"word78", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Word78 = (uint16_t)V; })},
              {"pciDevice", false, Uint<D_>(31, [](D_& D, uint64_t V) { D.PciDevice = (uint8_t)V; })},
              {"pciFunction", false, Uint<D_>(7, [](D_& D, uint64_t V) { D.PciFunction = (uint8_t)V; })},
              {"channel", false, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Channel = (uint32_t)V; })},
              {"device", false, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Device = (uint32_t)V; })},
              {"ideInterface", false, Flag(&D_::IdeInterface)},
              {"whichIdeStatus", false, Uint<D_>(UINT64_MAX, [](D_& D, uint64_t V) { D.WhichIdeStatus = V; })},
              {"identifyStatus", false, Uint<D_>(UINT64_MAX, [](D_& D, uint64_t V) { D.IdentifyStatus = V; })},
              {"devicePath", false,
               [](Ctx& C, const Json& J, const std::string& P, D_& D) {
                 std::vector<uint8_t> Bytes;
                 if (!ReadBytes(C, J, P, Bytes)) return false;
                 D.DevicePath = std::move(Bytes);
                 return true;
               }},
          }))
    return false;
  // Words 117-118 count 16-bit words.
  if (D.LogicalSectorBytes == 0 || D.LogicalSectorBytes % 2 != 0)
    return C.Fail(P + ".logicalSectorBytes", "must be an even number of bytes above 0");
  return true;
}

// Text by language: {"en-US": "..."}.
bool ReadNames(Ctx& C, const Json& J, const std::string& P, std::map<std::string, std::u16string>& Out) {
  if (!J.is_object()) return C.Fail(P, "expected an object of language -> text");
  for (auto It = J.begin(); It != J.end(); ++It) {
    if (It.key().empty()) return C.Fail(P, "empty language code");
    std::string Text;
    if (!ReadString(C, It.value(), P + "." + It.key(), Text)) return false;
    Out[It.key()] = ToUtf16(Text);
  }
  return true;
}

bool ReadDriver(Ctx& C, const Json& J, const std::string& P, DriverProfile& D) {
  using D_ = DriverProfile;
  auto Flag = [](bool D_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, D_& D) { return ReadBool(C, J, P, D.*Member); };
  };
  return ReadObject<D_>(
      C, J, P, D,
      {
          {"binding", false, Flag(&D_::Binding)},
          {"componentName2", false, Flag(&D_::ComponentName2)},
          {"componentName", false, Flag(&D_::ComponentName)},
          {"languages2", false, Text<D_>([](D_& D, std::string S) { D.Languages2 = std::move(S); })},
          {"languages", false,
           [](Ctx& C, const Json& J, const std::string& P, D_& D) {
             if (!ReadString(C, J, P, D.Languages)) return false;
             if (D.Languages.size() % 3 != 0) return C.Fail(P, "expected three-letter codes run together");
             return true;
           }},
          {"names", false, [](Ctx& C, const Json& J, const std::string& P, D_& D) { return ReadNames(C, J, P, D.Names); }},
          {"nameStatus", false, Uint<D_>(UINT64_MAX, [](D_& D, uint64_t V) { D.NameStatus = V; })},
      });
}

bool ReadComponentNames(Ctx& C, const Json& J, const std::string& P, ComponentNamesProfile& N) {
  using N_ = ComponentNamesProfile;
  return ReadObject<N_>(C, J, P, N,
                        {
                            {"names", false, [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadNames(C, J, P, N.Names); }},
                            {"unterminated", false,
                             [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadBool(C, J, P, N.Unterminated); }},
                        });
}

bool ReadPciController(Ctx& C, const Json& J, const std::string& P, PciControllerProfile& Pc) {
  using P_ = PciControllerProfile;
  return ReadObject<P_>(
      C, J, P, Pc,
      {
          {"segment", false, Uint<P_>(0xFFFF, [](P_& Pc, uint64_t V) { Pc.Segment = (uint16_t)V; })},
          {"bus", true, Uint<P_>(0xFF, [](P_& Pc, uint64_t V) { Pc.Bus = (uint8_t)V; })},
          {"device", true, Uint<P_>(31, [](P_& Pc, uint64_t V) { Pc.Device = (uint8_t)V; })},
          {"function", true, Uint<P_>(7, [](P_& Pc, uint64_t V) { Pc.Function = (uint8_t)V; })},
          {"path", false,
           [](Ctx& C, const Json& J, const std::string& P, P_& Pc) {
             if (!J.is_array()) return C.Fail(P, "expected an array of [device, function] hops");
             Pc.Path.clear();
             for (size_t I = 0; I < J.size(); ++I) {
               const std::string HP = P + "[" + std::to_string(I) + "]";
               if (!J[I].is_array() || J[I].size() != 2) return C.Fail(HP, "expected [device, function]");
               uint64_t D, F;
               if (!ReadUint(C, J[I][0], HP + "[0]", 31, D) || !ReadUint(C, J[I][1], HP + "[1]", 7, F)) return false;
               Pc.Path.emplace_back((uint8_t)D, (uint8_t)F);
             }
             return true;
           }},
          {"configStatus", false, Uint<P_>(UINT64_MAX, [](P_& Pc, uint64_t V) { Pc.ConfigStatus = V; })},
          {"locationStatus", false, Uint<P_>(UINT64_MAX, [](P_& Pc, uint64_t V) { Pc.LocationStatus = V; })},
      });
}

// ---- graphics -------------------------------------------------------------

constexpr size_t MAX_GRAPHICS_OUTPUTS = 32;
constexpr uint64_t MAX_OUTPUT_VIA = 16;

template <typename T>
std::function<bool(Ctx&, const Json&, const std::string&, T&)> Flag(bool T::*Member) {
  return [Member](Ctx& C, const Json& J, const std::string& P, T& Out) { return ReadBool(C, J, P, Out.*Member); };
}

template <typename T>
std::function<bool(Ctx&, const Json&, const std::string&, T&)> Status(EFI_STATUS T::*Member) {
  return Uint<T>(UINT64_MAX, [Member](T& Out, uint64_t V) { Out.*Member = V; });
}

bool ReadGraphicsMode(Ctx& C, const Json& J, const std::string& P, GraphicsModeProfile& M) {
  if (!J.is_array() || J.size() != 2) return C.Fail(P, "expected [horizontal, vertical]");
  uint64_t H, V;
  if (!ReadUint(C, J[0], P + "[0]", 0xFFFFFFFF, H) || !ReadUint(C, J[1], P + "[1]", 0xFFFFFFFF, V)) return false;
  M = GraphicsModeProfile{(uint32_t)H, (uint32_t)V};
  return true;
}

bool ReadOutputLevel(Ctx& C, const Json& J, const std::string& P, OutputLevelProfile& L) {
  using L_ = OutputLevelProfile;
  return ReadObject<L_>(C, J, P, L,
                        {
                            {"supported", false, Uint<L_>(0xFFFFFFFF, [](L_& L, uint64_t V) { L.Supported = (uint32_t)V; })},
                            {"max", false, Uint<L_>(0xFFFFFFFF, [](L_& L, uint64_t V) { L.Max = (uint32_t)V; })},
                            {"level", false, Uint<L_>(0xFFFFFFFF, [](L_& L, uint64_t V) { L.Level = (uint32_t)V; })},
                            {"getMaxStatus", false, Status<L_>(&L_::GetMaxStatus)},
                            {"getLevelStatus", false, Status<L_>(&L_::GetLevelStatus)},
                            {"setLevelStatus", false, Status<L_>(&L_::SetLevelStatus)},
                        });
}

bool ReadOutputSwitch(Ctx& C, const Json& J, const std::string& P, OutputSwitchProfile& S) {
  using S_ = OutputSwitchProfile;
  return ReadObject<S_>(C, J, P, S,
                        {
                            {"supported", false, Uint<S_>(0xFFFFFFFF, [](S_& S, uint64_t V) { S.Supported = (uint32_t)V; })},
                            {"on", false, Flag<S_>(&S_::On)},
                            {"status", false, Status<S_>(&S_::Status)},
                        });
}

bool ReadGraphicsOutput(Ctx& C, const Json& J, const std::string& P, GraphicsOutputProfile& O) {
  using O_ = GraphicsOutputProfile;
  if (!ReadObject<O_>(
          C, J, P, O,
          {
              {"name", false,
               [](Ctx& C, const Json& J, const std::string& P, O_& O) { return ReadComponentNames(C, J, P, O.Name); }},
              {"node", false,
               [](Ctx& C, const Json& J, const std::string& P, O_& O) { return ReadBytes(C, J, P, O.Node); }},
              {"via", false, Uint<O_>(MAX_OUTPUT_VIA, [](O_& O, uint64_t V) { O.Via = (uint32_t)V; })},
              {"edid", false, Flag<O_>(&O_::Edid)},
              {"graphicsOutput", false, Flag<O_>(&O_::GraphicsOutput)},
              {"modes", false,
               [](Ctx& C, const Json& J, const std::string& P, O_& O) {
                 return ReadArray<GraphicsModeProfile>(C, J, P, O.Modes, ReadGraphicsMode);
               }},
              {"mode", false, Uint<O_>(0xFFFFFFFF, [](O_& O, uint64_t V) { O.Mode = (uint32_t)V; })},
              {"startMode", false, Uint<O_>(0xFFFFFFFF, [](O_& O, uint64_t V) { O.StartMode = (uint32_t)V; })},
              {"queryModeStatus", false, Status<O_>(&O_::QueryModeStatus)},
              {"setModeStatus", false, Status<O_>(&O_::SetModeStatus)},
              {"level", false,
               [](Ctx& C, const Json& J, const std::string& P, O_& O) {
                 OutputLevelProfile L;
                 if (!ReadOutputLevel(C, J, P, L)) return false;
                 O.Level = L;
                 return true;
               }},
              {"switch", false,
               [](Ctx& C, const Json& J, const std::string& P, O_& O) {
                 OutputSwitchProfile S;
                 if (!ReadOutputSwitch(C, J, P, S)) return false;
                 O.Switch = S;
                 return true;
               }},
          }))
    return false;
  if (O.Node.size() > 0xFFFF || (!O.Node.empty() && O.Node.size() < 4))
    return C.Fail(P + ".node", "a device path node is 4 to 65535 bytes");
  if (!O.Modes.empty() && O.Mode >= O.Modes.size()) return C.Fail(P + ".mode", "not one of the modes");
  if (O.StartMode && *O.StartMode >= O.Modes.size()) return C.Fail(P + ".startMode", "not one of the modes");
  return true;
}

bool ReadDisplayController(Ctx& C, const Json& J, const std::string& P, DisplayControllerProfile& D) {
  using D_ = DisplayControllerProfile;
  if (!ReadObject<D_>(
          C, J, P, D,
          {
              {"pci", true,
               [](Ctx& C, const Json& J, const std::string& P, D_& D) { return ReadPciController(C, J, P, D.Pci); }},
              {"name", false,
               [](Ctx& C, const Json& J, const std::string& P, D_& D) { return ReadComponentNames(C, J, P, D.Name); }},
              {"driver", false,
               [](Ctx& C, const Json& J, const std::string& P, D_& D) { return ReadDriver(C, J, P, D.Driver); }},
              {"managed", false, Flag<D_>(&D_::Managed)},
              {"excluded", false, Flag<D_>(&D_::Excluded)},
              {"startStatus", false, Status<D_>(&D_::StartStatus)},
              {"outputs", false,
               [](Ctx& C, const Json& J, const std::string& P, D_& D) {
                 return ReadArray<GraphicsOutputProfile>(C, J, P, D.Outputs, ReadGraphicsOutput);
               }},
          }))
    return false;
  if (D.Outputs.size() > MAX_GRAPHICS_OUTPUTS)
    return C.Fail(P + ".outputs", "more than " + std::to_string(MAX_GRAPHICS_OUTPUTS) + " outputs");
  return true;
}

bool ReadGraphics(Ctx& C, const Json& J, const std::string& P, GraphicsProfile& G) {
  return ReadObject<GraphicsProfile>(
      C, J, P, G,
      {
          {"controllers", false,
           [](Ctx& C, const Json& J, const std::string& P, GraphicsProfile& G) {
             return ReadArray<DisplayControllerProfile>(C, J, P, G.Controllers, ReadDisplayController);
           }},
      });
}

bool ReadNvmeNamespace(Ctx& C, const Json& J, const std::string& P, NvmeNamespaceProfile& N) {
  using N_ = NvmeNamespaceProfile;
  return ReadObject<N_>(
      C, J, P, N,
      {
          {"id", false, Uint<N_>(0xFFFFFFFF, [](N_& N, uint64_t V) { N.Id = (uint32_t)V; })},
          {"eui64", false, Uint<N_>(UINT64_MAX, [](N_& N, uint64_t V) { N.Eui64 = V; })},
          {"name", false, [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadComponentNames(C, J, P, N.Name); }},
          {"devicePath", false,
           [](Ctx& C, const Json& J, const std::string& P, N_& N) {
             std::vector<uint8_t> Bytes;
             if (!ReadBytes(C, J, P, Bytes)) return false;
             if (!DevicePathEndsInside(Bytes)) return C.Fail(P, "the path runs past its bytes before it ends");
             N.DevicePath = std::move(Bytes);
             return true;
           }},
      });
}

bool ReadNvmeController(Ctx& C, const Json& J, const std::string& P, NvmeControllerProfile& N) {
  using N_ = NvmeControllerProfile;
  return ReadObject<N_>(
      C, J, P, N,
      {
          {"pci", true, [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadPciController(C, J, P, N.Pci); }},
          {"controllerProtocol", false,
           [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadBool(C, J, P, N.ControllerProtocol); }},
          {"name", false, [](Ctx& C, const Json& J, const std::string& P, N_& N) { return ReadComponentNames(C, J, P, N.Name); }},
          {"namespaces", false,
           [](Ctx& C, const Json& J, const std::string& P, N_& N) {
             return ReadArray<NvmeNamespaceProfile>(C, J, P, N.Namespaces, ReadNvmeNamespace);
           }},
      });
}

bool ReadNvme(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  NvmeProfile N;
  if (!ReadObject<NvmeProfile>(
          C, J, P, N,
          {
              {"driver", false,
               [](Ctx& C, const Json& J, const std::string& P, NvmeProfile& N) { return ReadDriver(C, J, P, N.Driver); }},
              {"controllers", false,
               [](Ctx& C, const Json& J, const std::string& P, NvmeProfile& N) {
                 return ReadArray<NvmeControllerProfile>(C, J, P, N.Controllers, ReadNvmeController);
               }},
          }))
    return false;
  B.Nvme = std::move(N);
  return true;
}

// One signature, written as a list of its own: {"type", "owner", "data"}
// or, for bulky certificates, {"type", "owner", "size", "seed"} whose bytes
// count up from the seed.
bool ReadSignatureInto(Ctx& C, const Json& J, const std::string& P, std::vector<uint8_t>& Lists) {
  if (!J.is_object()) return C.Fail(P, "expected an object");
  static const std::pair<const char*, const char*> Types[] = {
      {"x509", "A5C059A1-94E4-4AA7-87B5-AB155C2BF072"},
      {"sha256", "C1C41626-504C-4092-ACA9-41F936934328"},
      {"rsa2048", "3C5766E8-269C-4E34-AA14-ED776E85B3B6"},
  };
  struct SIG {
    EFI_GUID Type{}, Owner{};
    std::vector<uint8_t> Data;
    uint64_t Size = 0, Seed = 0;
    bool HasData = false, HasType = false;
  } S;
  if (!ReadObject<SIG>(
          C, J, P, S,
          {
              {"type", true,
               [](Ctx& C, const Json& J, const std::string& P, SIG& S) {
                 std::string T;
                 if (!ReadString(C, J, P, T)) return false;
                 for (auto& [Name, Guid] : Types)
                   if (T == Name) T = Guid;
                 if (!ParseGuid(T, S.Type)) return C.Fail(P, "expected x509, sha256, rsa2048 or a GUID");
                 S.HasType = true;
                 return true;
               }},
              {"owner", false, [](Ctx& C, const Json& J, const std::string& P, SIG& S) { return ReadGuidField(C, J, P, S.Owner); }},
              {"data", false,
               [](Ctx& C, const Json& J, const std::string& P, SIG& S) {
                 S.HasData = true;
                 return ReadBytes(C, J, P, S.Data);
               }},
              {"size", false, Uint<SIG>(0x10000, [](SIG& S, uint64_t V) { S.Size = V; })},
              {"seed", false, Uint<SIG>(0xFF, [](SIG& S, uint64_t V) { S.Seed = V; })},
          }))
    return false;
  if (S.HasData == (S.Size != 0)) return C.Fail(P, "expected either data or size");
  if (!S.HasData)
    for (uint64_t I = 0; I < S.Size; ++I) S.Data.push_back(uint8_t(S.Seed + I));
  if (S.Data.empty()) return C.Fail(P, "a signature holds at least one byte");
  uint32_t SigSize = uint32_t(16 + S.Data.size()), ListSize = 28 + SigSize;
  uint8_t Header[28];
  std::memcpy(Header, &S.Type, 16);
  uint32_t Fields[3] = {ListSize, 0, SigSize};
  std::memcpy(Header + 16, Fields, 12);
  Lists.insert(Lists.end(), Header, Header + 28);
  Lists.insert(Lists.end(), (const uint8_t*)&S.Owner, (const uint8_t*)&S.Owner + 16);
  Lists.insert(Lists.end(), S.Data.begin(), S.Data.end());
  return true;
}

bool ReadSignatures(Ctx& C, const Json& J, const std::string& P, std::vector<uint8_t>& Lists) {
  if (!J.is_array()) return C.Fail(P, "expected an array of signatures");
  Lists.clear();
  for (size_t I = 0; I < J.size(); ++I)
    if (!ReadSignatureInto(C, J[I], P + "[" + std::to_string(I) + "]", Lists)) return false;
  return true;
}

const char* const KeyVariableNames[] = {"PK", "KEK", "db", "dbt", "dbx"};

bool ReadKeyMap(Ctx& C, const Json& J, const std::string& P, std::map<std::string, std::vector<uint8_t>>& Out,
                const std::function<bool(Ctx&, const Json&, const std::string&, std::vector<uint8_t>&)>& ReadOne) {
  if (!J.is_object()) return C.Fail(P, "expected an object keyed by PK, KEK, db, dbt, dbx");
  Out.clear();
  for (auto It = J.begin(); It != J.end(); ++It) {
    if (std::find(std::begin(KeyVariableNames), std::end(KeyVariableNames), It.key()) == std::end(KeyVariableNames))
      return C.Fail(P + "." + It.key(), "not a key variable (PK, KEK, db, dbt, dbx)");
    if (!ReadOne(C, It.value(), P + "." + It.key(), Out[It.key()])) return false;
  }
  return true;
}

// A default key file: an authenticated image around signatures
// ({"signer", "year", "signatures"}), or any bytes ({"raw"}).
bool ReadKeyFile(Ctx& C, const Json& J, const std::string& P, std::vector<uint8_t>& Out) {
  struct FILE_ {
    std::string Signer;
    uint64_t Year = 2016;
    std::vector<uint8_t> Lists, Raw;
    bool HasRaw = false, HasLists = false;
  } F;
  if (!ReadObject<FILE_>(
          C, J, P, F,
          {
              {"signer", false, Text<FILE_>([](FILE_& F, std::string S) { F.Signer = std::move(S); })},
              {"year", false, Uint<FILE_>(9999, [](FILE_& F, uint64_t V) { F.Year = V; })},
              {"signatures", false,
               [](Ctx& C, const Json& J, const std::string& P, FILE_& F) {
                 F.HasLists = true;
                 return ReadSignatures(C, J, P, F.Lists);
               }},
              {"raw", false,
               [](Ctx& C, const Json& J, const std::string& P, FILE_& F) {
                 F.HasRaw = true;
                 return ReadBytes(C, J, P, F.Raw);
               }},
          }))
    return false;
  if (F.HasRaw == F.HasLists) return C.Fail(P, "expected either signatures or raw");
  if (F.HasRaw) {
    Out = std::move(F.Raw);
    return true;
  }
  static const uint8_t Pkcs7[16] = {0x9D, 0xD2, 0xAF, 0x4A, 0xDF, 0x68, 0xEE, 0x49,
                                    0x8A, 0xA9, 0x34, 0x7D, 0x37, 0x56, 0x65, 0xA7};
  Out.assign(40, 0);
  Out[0] = uint8_t(F.Year);
  Out[1] = uint8_t(F.Year >> 8);
  Out[2] = 1;
  Out[3] = 1;
  uint32_t Length = uint32_t(24 + F.Signer.size());
  std::memcpy(Out.data() + 16, &Length, 4);
  Out[20] = 0x00;
  Out[21] = 0x02;
  Out[22] = 0xF1;
  Out[23] = 0x0E;
  std::memcpy(Out.data() + 24, Pkcs7, 16);
  Out.insert(Out.end(), F.Signer.begin(), F.Signer.end());
  Out.insert(Out.end(), F.Lists.begin(), F.Lists.end());
  return true;
}

bool ReadSecureBoot(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using S_ = SecureBootProfile;
  S_ S;
  auto Flag = [](bool S_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, S_& S) { return ReadBool(C, J, P, S.*Member); };
  };
  if (!ReadObject<S_>(
          C, J, P, S,
          {
              {"keys", false,
               [](Ctx& C, const Json& J, const std::string& P, S_& S) { return ReadKeyMap(C, J, P, S.Keys, ReadSignatures); }},
              {"secureBootEnabled", false, Flag(&S_::SecureBootEnabled)},
              {"setupMayDelete", false, Flag(&S_::SetupMayDelete)},
              {"trustedSigners", false,
               [](Ctx& C, const Json& J, const std::string& P, S_& S) {
                 return ReadArray<S_::Signer>(
                     C, J, P, S.TrustedSigners, [](Ctx& C, const Json& J, const std::string& P, S_::Signer& G) {
                       if (!ReadObject<S_::Signer>(
                               C, J, P, G,
                               {
                                   {"marker", true, Text<S_::Signer>([](S_::Signer& G, std::string T) { G.Marker = std::move(T); })},
                                   {"authority", true, Text<S_::Signer>([](S_::Signer& G, std::string T) { G.Authority = std::move(T); })},
                               }))
                         return false;
                       if (G.Marker.empty()) return C.Fail(P + ".marker", "an empty marker would trust every certificate");
                       if (G.Authority != "PK" && G.Authority != "KEK") return C.Fail(P + ".authority", "expected PK or KEK");
                       return true;
                     });
               }},
              {"defaultKeyFiles", false,
               [](Ctx& C, const Json& J, const std::string& P, S_& S) {
                 return ReadKeyMap(C, J, P, S.DefaultKeyFiles, ReadKeyFile);
               }},
              {"firmwareVolume", false, Flag(&S_::FirmwareVolumePresent)},
              {"readSectionStatus", false, Uint<S_>(UINT64_MAX, [](S_& S, uint64_t V) { S.ReadSectionFailure = V; })},
          }))
    return false;
  B.SecureBoot = std::move(S);
  return true;
}

bool ReadMemoryInformation(Ctx& C, const Json& J, const std::string& P, MemoryProfile& M) {
  M.InformationPresent = true;
  return ReadObject<MemoryProfile>(
      C, J, P, M,
      {
          {"sizeMb", false, Uint<MemoryProfile>(0xFFFFFFFF, [](MemoryProfile& M, uint64_t V) { M.SizeMb = (uint32_t)V; })},
          {"frequency", false, Uint<MemoryProfile>(0xFFFF, [](MemoryProfile& M, uint64_t V) { M.Frequency = (uint16_t)V; })},
          {"voltageMv", false, Uint<MemoryProfile>(0xFFFF, [](MemoryProfile& M, uint64_t V) { M.VoltageMv = (uint16_t)V; })},
          {"moduleSizesMb", false,
           [](Ctx& C, const Json& J, const std::string& P, MemoryProfile& M) {
             if (!J.is_array() || J.size() != 4) return C.Fail(P, "expected four sizes [A0, A1, B0, B1]");
             for (size_t I = 0; I < 4; ++I) {
               uint64_t V;
               if (!ReadUint(C, J[I], P + "[" + std::to_string(I) + "]", 0xFFFF, V)) return false;
               M.ModuleSizesMb[I] = (uint16_t)V;
             }
             return true;
           }},
          {"timings", false,
           [](Ctx& C, const Json& J, const std::string& P, MemoryProfile& M) {
             if (!J.is_object()) return C.Fail(P, "expected an object of record offset -> value");
             for (auto It = J.begin(); It != J.end(); ++It) {
               uint64_t Offset, V;
               const std::string KP = P + "." + It.key();
               if (!ParseUnsignedText(It.key(), Offset) || Offset < 0x5F || Offset > 0x7B || Offset % 2 == 0)
                 return C.Fail(KP, "timing offsets are the odd offsets 0x5F to 0x7B");
               if (!ReadUint(C, It.value(), KP, 0xFFFF, V)) return false;
               M.Timings[(uint8_t)Offset] = (uint16_t)V;
             }
             return true;
           }},
      });
}

bool ReadMemoryModule(Ctx& C, const Json& J, const std::string& P, MemoryModuleProfile& D) {
  using D_ = MemoryModuleProfile;
  return ReadObject<D_>(
      C, J, P, D,
      {
          {"revision", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Revision = (uint8_t)V; })},
          {"voltage", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Voltage = (uint16_t)V; })},
          {"frequency", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Frequency = (uint16_t)V; })},
          {"reserved", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Reserved = (uint16_t)V; })},
          {"timings", false,
           [](Ctx& C, const Json& J, const std::string& P, D_& D) {
             if (!J.is_array() || J.size() != 3) return C.Fail(P, "expected three timing bytes");
             for (size_t I = 0; I < 3; ++I) {
               uint64_t V;
               if (!ReadUint(C, J[I], P + "[" + std::to_string(I) + "]", 0xFF, V)) return false;
               D.Timings[I] = (uint8_t)V;
             }
             return true;
           }},
          {"cycles", false, Uint<D_>(0xFFFF, [](D_& D, uint64_t V) { D.Cycles = (uint16_t)V; })},
      });
}

bool ReadMemory(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  MemoryModuleHobProfile Hob;
  NbPlatformDataProfile Data;
  bool HasHob = false, HasData = false;
  if (!ReadObject<BoardProfile>(
          C, J, P, B,
          {
              {"information", false,
               [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
                 return ReadMemoryInformation(C, J, P, B.Memory);
               }},
              {"version", false,
               Uint<BoardProfile>(0xFFFFFFFF, [](BoardProfile& B, uint64_t V) { B.Memory.Version = (uint32_t)V; })},
              {"videoBios", false,
               [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
                 using V_ = VideoBiosProfile;
                 V_ V;
                 if (!ReadObject<V_>(C, J, P, V,
                                     {
                                         {"bx", false, Uint<V_>(0xFFFF, [](V_& V, uint64_t X) { V.Bx = (uint16_t)X; })},
                                         {"dx", false, Uint<V_>(0xFFFF, [](V_& V, uint64_t X) { V.Dx = (uint16_t)X; })},
                                         {"fails", false, [](Ctx& C, const Json& J, const std::string& P, V_& V) {
                                            return ReadBool(C, J, P, V.Fails);
                                          }},
                                     }))
                   return false;
                 B.Memory.VideoBios = V;
                 return true;
               }},
              {"moduleHob", false,
               [&](Ctx& C, const Json& J, const std::string& P, BoardProfile&) {
                 using H_ = MemoryModuleHobProfile;
                 HasHob = true;
                 if (!ReadObject<H_>(C, J, P, Hob,
                                     {
                                         // The HOB's length is 16 bits and includes the 24-byte header.
                                         {"dataSize", false, Uint<H_>(0xFFF0 - 24, [](H_& H, uint64_t V) { H.DataSize = (uint32_t)V; })},
                                         {"modules", false, [](Ctx& C, const Json& J, const std::string& P, H_& H) {
                                            return ReadArray<MemoryModuleProfile>(C, J, P, H.Modules, ReadMemoryModule);
                                          }},
                                     }))
                   return false;
                 if (Hob.Modules.size() > 2) return C.Fail(P + ".modules", "the HOB holds at most two module records");
                 return true;
               }},
              {"platformData", false,
               [&](Ctx& C, const Json& J, const std::string& P, BoardProfile&) {
                 using N_ = NbPlatformDataProfile;
                 HasData = true;
                 return ReadObject<N_>(
                     C, J, P, Data,
                     {
                         {"size", false, Uint<N_>(0x10000, [](N_& N, uint64_t V) { N.Size = (uint32_t)V; })},
                         {"graphicsOption", false, Uint<N_>(0xFF, [](N_& N, uint64_t V) { N.GraphicsOption = (uint8_t)V; })},
                         {"featureA", false, Uint<N_>(0xFF, [](N_& N, uint64_t V) { N.FeatureA = (uint8_t)V; })},
                         {"featureB", false, Uint<N_>(0xFF, [](N_& N, uint64_t V) { N.FeatureB = (uint8_t)V; })},
                         {"frequencyLimitA", false, Uint<N_>(0xFFFF, [](N_& N, uint64_t V) { N.FrequencyLimitA = (uint16_t)V; })},
                         {"frequencyLimitB", false, Uint<N_>(0xFFFF, [](N_& N, uint64_t V) { N.FrequencyLimitB = (uint16_t)V; })},
                     });
               }},
          }))
    return false;
  if (HasHob) B.Memory.ModuleHob = Hob;
  if (HasData) B.Memory.PlatformData = Data;
  return true;
}

// The memory section's HOB and variable join the board's own lists once
// every section is read (sections are read in name order, and "hobs" and
// "variables" replace their lists).
void AppendMemoryData(BoardProfile& B) {
  if (B.Memory.ModuleHob)
    B.Hobs.push_back(GuidHobProfile{MEMORY_MODULE_HOB_GUID, MemoryModuleHobData(*B.Memory.ModuleHob)});
  if (B.Memory.PlatformData)
    B.Variables.push_back(VariableProfile{u"NBPlatformData", SETUP_VARIABLE_GUID,
                                          EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS,
                                          NbPlatformDataBytes(*B.Memory.PlatformData)});
}

constexpr size_t MAX_USB_MASS_DEVICES = 127;
constexpr size_t MAX_USB_NAME = 4096;

bool ReadUsbMassDevice(Ctx& C, const Json& J, const std::string& P, UsbMassDeviceProfile& D) {
  using D_ = UsbMassDeviceProfile;
  if (!ReadObject<D_>(C, J, P, D,
                      {
                          {"name", true, Text<D_>([](D_& D, std::string S) { D.Name = std::move(S); })},
                          {"unterminated", false, Flag<D_>(&D_::Unterminated)},
                          {"answer", false, Uint<D_>(0xFF, [](D_& D, uint64_t V) { D.Answer = (uint8_t)V; })},
                      }))
    return false;
  if (D.Name.size() > MAX_USB_NAME)
    return C.Fail(P + ".name", "longer than " + std::to_string(MAX_USB_NAME) + " bytes");
  return true;
}

bool ReadProfileStore(Ctx& C, const Json& J, const std::string& P, ProfileStoreProfile& S) {
  using S_ = ProfileStoreProfile;
  return ReadObject<S_>(
      C, J, P, S,
      {
          {"name", true,
           [](Ctx& C, const Json& J, const std::string& P, S_& S) {
             std::string Name;
             if (!ReadString(C, J, P, Name)) return false;
             if (Name.empty()) return C.Fail(P, "empty store name");
             S.Name = ToUtf16(Name);
             return true;
           }},
          {"guid", true, [](Ctx& C, const Json& J, const std::string& P, S_& S) { return ReadGuidField(C, J, P, S.Guid); }},
          {"bytes", true,
           [](Ctx& C, const Json& J, const std::string& P, S_& S) {
             if (!ReadBytes(C, J, P, S.Bytes)) return false;
             if (S.Bytes.size() > 0x10000) return C.Fail(P, "more than 65536 bytes");
             return true;
           }},
      });
}

bool ReadProfileStorage(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using S_ = ProfileStorageProfile;
  S_ S;
  if (!ReadObject<S_>(
          C, J, P, S,
          {
              {"late", false, Flag<S_>(&S_::Late)},
              {"getStoreStatus", false, Status<S_>(&S_::GetStoreStatus)},
              {"commitStatus", false, Status<S_>(&S_::CommitStatus)},
              {"replaceOnCommit", false, Flag<S_>(&S_::ReplaceOnCommit)},
              {"readTextStatus", false, Status<S_>(&S_::ReadTextStatus)},
              {"showMessageStatus", false, Status<S_>(&S_::ShowMessageStatus)},
              {"textAnswers", false,
               [](Ctx& C, const Json& J, const std::string& P, S_& S) {
                 if (!J.is_array() || J.size() > 256) return C.Fail(P, "expected an array of at most 256 texts or nulls");
                 S.TextAnswers.clear();
                 for (size_t I = 0; I < J.size(); ++I) {
                   if (J[I].is_null()) {
                     S.TextAnswers.push_back(std::nullopt);
                     continue;
                   }
                   std::string Text;
                   if (!ReadString(C, J[I], P + "[" + std::to_string(I) + "]", Text)) return false;
                   S.TextAnswers.push_back(std::move(Text));
                 }
                 return true;
               }},
              {"stores", false,
               [](Ctx& C, const Json& J, const std::string& P, S_& S) {
                 return ReadArray<ProfileStoreProfile>(C, J, P, S.Stores, ReadProfileStore);
               }},
          }))
    return false;
  B.ProfileStorage = std::move(S);
  return true;
}

bool ReadUsb(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using U_ = UsbProfile;
  U_ U;
  auto Count = [](size_t Index) {
    return Uint<U_>(0xFF, [Index](U_& U, uint64_t V) { U.Counts[Index] = (uint8_t)V; });
  };
  if (!ReadObject<U_>(
          C, J, P, U,
          {
              {"late", false, Flag<U_>(&U_::Late)},
              {"countsFail", false, Flag<U_>(&U_::CountsFail)},
              {"namesFail", false, Flag<U_>(&U_::NamesFail)},
              {"keyboards", false, Count(0)},
              {"mice", false, Count(1)},
              {"points", false, Count(2)},
              {"drives", false, Count(3)},
              {"hubs", false, Count(4)},
              {"smartCardReaders", false, Count(5)},
              {"massDevices", false,
               [](Ctx& C, const Json& J, const std::string& P, U_& U) {
                 return ReadArray<UsbMassDeviceProfile>(C, J, P, U.MassDevices, ReadUsbMassDevice);
               }},
              {"massDevNum", false,
               [](Ctx& C, const Json& J, const std::string& P, U_& U) {
                 std::vector<uint8_t> Bytes;
                 if (!ReadBytes(C, J, P, Bytes)) return false;
                 if (Bytes.empty() || Bytes.size() > 64) return C.Fail(P, "expected 1 to 64 bytes");
                 U.MassDevNum = std::move(Bytes);
                 return true;
               }},
              {"massDevNumAttributes", false,
               Uint<U_>(0x7, [](U_& U, uint64_t V) { U.MassDevNumAttributes = (uint32_t)V; })},
          }))
    return false;
  if (U.MassDevices.size() > MAX_USB_MASS_DEVICES)
    return C.Fail(P + ".massDevices", "more than " + std::to_string(MAX_USB_MASS_DEVICES) + " devices");
  if (U.MassDevNum && (U.MassDevNumAttributes & (EFI_VARIABLE_BOOTSERVICE_ACCESS)) == 0)
    return C.Fail(P + ".massDevNumAttributes", "a variable needs boot-service access");
  B.Usb = std::move(U);
  return true;
}

bool ReadPageAction(Ctx& C, const Json& J, const std::string& P, PageActionProfile& A) {
  using A_ = PageActionProfile;
  A.Present = true;  // named in the profile: there unless it says otherwise
  return ReadObject<A_>(C, J, P, A,
                        {
                            {"present", false, Flag<A_>(&A_::Present)},
                            {"late", false, Flag<A_>(&A_::Late)},
                            {"nullFunction", false, Flag<A_>(&A_::NullFunction)},
                            {"status", false, Status<A_>(&A_::Status)},
                        });
}

bool ReadComponentVersion(Ctx& C, const Json& J, const std::string& P, ComponentVersionProfile& V) {
  using V_ = ComponentVersionProfile;
  if (!ReadObject<V_>(C, J, P, V,
                      {
                          {"component", true, Text<V_>([](V_& V, std::string S) { V.Component = std::move(S); })},
                          {"version", true, Uint<V_>(0xFFFFFFFF, [](V_& V, uint64_t X) { V.Version = (uint32_t)X; })},
                          {"late", false, Flag<V_>(&V_::Late)},
                          {"nullInterface", false, Flag<V_>(&V_::NullInterface)},
                      }))
    return false;
  for (const char* Known : {"platform", "processorCode", "engineCode", "graphicsCode"})
    if (V.Component == Known) return true;
  return C.Fail(P + ".component", "expected platform, processorCode, engineCode or graphicsCode");
}

bool ReadMainPage(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using M_ = MainPageProfile;
  auto Action = [](PageActionProfile M_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, M_& M) { return ReadPageAction(C, J, P, M.*Member); };
  };
  return ReadObject<M_>(
      C, J, P, B.MainPage,
      {
          {"identity", false,
           [](Ctx& C, const Json& J, const std::string& P, M_& M) {
             using I_ = BoardIdentityProfile;
             M.Identity.Present = true;
             return ReadObject<I_>(
                 C, J, P, M.Identity,
                 {
                     {"present", false, Flag<I_>(&I_::Present)},
                     {"late", false, Flag<I_>(&I_::Late)},
                     {"values", false,
                      [](Ctx& C, const Json& J, const std::string& P, I_& I) {
                        if (!J.is_array() || J.size() != 2) return C.Fail(P, "expected an array of two values");
                        for (size_t K = 0; K < 2; ++K)
                          if (!ReadUint(C, J[K], P + "[" + std::to_string(K) + "]", UINT64_MAX, I.Values[K]))
                            return false;
                        return true;
                      }},
                 });
           }},
          {"versions", false,
           [](Ctx& C, const Json& J, const std::string& P, M_& M) {
             return ReadArray<ComponentVersionProfile>(C, J, P, M.Versions, ReadComponentVersion);
           }},
          {"mainAction", false, Action(&M_::MainAction)},
          {"toolAction1", false, Action(&M_::ToolAction1)},
          {"toolAction2", false, Action(&M_::ToolAction2)},
          {"resolutionTriggerLate", false, Flag<M_>(&M_::ResolutionTriggerLate)},
      });
}

constexpr size_t MAX_SATA_PORT_DEVICES = 64;
constexpr size_t MAX_SATA_TEXT = 4096;

bool ReadSataPortDevice(Ctx& C, const Json& J, const std::string& P, SataPortDeviceProfile& D) {
  using D_ = SataPortDeviceProfile;
  auto U8 = [](uint8_t D_::*Member) { return Uint<D_>(0xFF, [Member](D_& D, uint64_t V) { D.*Member = (uint8_t)V; }); };
  auto Txt = [](size_t Index) { return Text<D_>([Index](D_& D, std::string S) { D.Texts[Index] = std::move(S); }); };
  if (!ReadObject<D_>(C, J, P, D,
                      {
                          {"bus", false, U8(&D_::Bus)},
                          {"device", true, U8(&D_::Device)},
                          {"function", true, U8(&D_::Function)},
                          {"a", true, U8(&D_::ByteA)},
                          {"b", true, U8(&D_::ByteB)},
                          {"model", false, Txt(0)},
                          {"text2", false, Txt(1)},
                          {"text3", false, Txt(2)},
                          {"ultraDma", false, Txt(3)},
                          {"support", false, Txt(4)},
                          {"unterminated", false, Flag(&D_::Unterminated)},
                          {"text3Hidden", false, Uint<D_>(0xFFFFFFFF, [](D_& D, uint64_t V) { D.Text3Hidden = (uint32_t)V; })},
                      }))
    return false;
  for (const std::string& T : D.Texts)
    if (T.size() > MAX_SATA_TEXT) return C.Fail(P, "a text is longer than " + std::to_string(MAX_SATA_TEXT) + " bytes");
  return true;
}

bool ReadSataPortDriver(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using S_ = SataPortDriverProfile;
  S_ S;
  bool Present = true;
  if (!ReadObject<S_>(C, J, P, S,
                      {
                          {"present", false, [&Present](Ctx& C, const Json& J, const std::string& P, S_&) {
                             return ReadBool(C, J, P, Present);
                           }},
                          {"late", false, Flag(&S_::Late)},
                          {"findStatus", false, Status<S_>(&S_::FindStatus)},
                          {"textStatus", false, Status<S_>(&S_::TextStatus)},
                          {"devices", false,
                           [](Ctx& C, const Json& J, const std::string& P, S_& S) {
                             return ReadArray<SataPortDeviceProfile>(C, J, P, S.Devices, ReadSataPortDevice);
                           }},
                      }))
    return false;
  if (S.Devices.size() > MAX_SATA_PORT_DEVICES)
    return C.Fail(P + ".devices", "more than " + std::to_string(MAX_SATA_PORT_DEVICES) + " devices");
  if (Present) B.SataPortDriver = std::move(S);
  else B.SataPortDriver.reset();
  return true;
}

bool ReadPresetForward(Ctx& C, const Json& J, const std::string& P, PresetForwardProfile& F) {
  using F_ = PresetForwardProfile;
  F.Present = true;
  return ReadObject<F_>(C, J, P, F,
                        {
                            {"present", false, Flag(&F_::Present)},
                            {"late", false, Flag(&F_::Late)},
                            {"status", false, Status<F_>(&F_::Status)},
                        });
}

constexpr size_t PresetRowBytes[4] = {30, 8, 44, 12};

bool ReadPresets(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using R_ = PresetProfile;
  auto Table = [](size_t Index) {
    return [Index](Ctx& C, const Json& J, const std::string& P, R_& R) {
      if (!J.is_array()) return C.Fail(P, "expected an array of rows");
      if (J.size() > 256) return C.Fail(P, "more than 256 rows");
      std::vector<std::vector<uint8_t>> Rows;
      for (size_t I = 0; I < J.size(); ++I) {
        std::vector<uint8_t> Row;
        const std::string Path = P + "[" + std::to_string(I) + "]";
        if (!ReadBytes(C, J[I], Path, Row)) return false;
        if (Row.size() != PresetRowBytes[Index])
          return C.Fail(Path, "a row of this table has " + std::to_string(PresetRowBytes[Index]) + " bytes");
        Rows.push_back(std::move(Row));
      }
      R.Tables[Index] = std::move(Rows);
      return true;
    };
  };
  auto Count = [](size_t Index) {
    return Uint<R_>(0xFFFFFFFF, [Index](R_& R, uint64_t V) { R.RowCounts[Index] = (uint32_t)V; });
  };
  auto Forward = [](PresetForwardProfile R_::*Member) {
    return [Member](Ctx& C, const Json& J, const std::string& P, R_& R) { return ReadPresetForward(C, J, P, R.*Member); };
  };
  return ReadObject<R_>(
      C, J, P, B.Presets,
      {
          {"provider", false,
           [&](Ctx& C, const Json& J, const std::string& P, R_& R) {
             R.ProviderPresent = true;
             return ReadObject<R_>(C, J, P, R,
                                   {
                                       {"present", false, Flag(&R_::ProviderPresent)},
                                       {"late", false, Flag(&R_::ProviderLate)},
                                       {"tableA", false, Table(0)},
                                       {"tableB", false, Table(1)},
                                       {"tableC", false, Table(2)},
                                       {"tableD", false, Table(3)},
                                       {"rowCountA", false, Count(0)},
                                       {"rowCountB", false, Count(1)},
                                       {"rowCountC", false, Count(2)},
                                       {"rowCountD", false, Count(3)},
                                   });
           }},
          {"forward51C", false, Forward(&R_::Forward51C)},
          {"forward51D", false, Forward(&R_::Forward51D)},
          {"forward51E", false, Forward(&R_::Forward51E)},
      });
}

// Simple-file-system volumes ----------------------------------------------

constexpr size_t MAX_FILE_VOLUMES = 16;
constexpr size_t MAX_FILE_NODES = 20000;
constexpr size_t MAX_TREE_DEPTH = 32;
constexpr size_t MAX_FILE_NAME = 1024;
constexpr size_t MAX_VOLUME_BYTES = 64u << 20;

struct FileTreeBudget {
  size_t Nodes = 0;
  size_t Bytes = 0;
};

bool ReadFileNode(Ctx& C, const Json& J, const std::string& P, FileNodeProfile& N, FileTreeBudget& Budget,
                  size_t Depth) {
  using N_ = FileNodeProfile;
  if (Depth > MAX_TREE_DEPTH) return C.Fail(P, "directories nest deeper than " + std::to_string(MAX_TREE_DEPTH));
  if (++Budget.Nodes > MAX_FILE_NODES) return C.Fail(P, "more than " + std::to_string(MAX_FILE_NODES) + " files");
  bool HasData = false;
  if (!ReadObject<N_>(
          C, J, P, N,
          {
              {"name", true, Text<N_>([](N_& N, std::string S) { N.Name = std::move(S); })},
              {"directory", false, Flag<N_>(&N_::Directory)},
              {"hex", false,
               [&HasData](Ctx& C, const Json& J, const std::string& P, N_& N) {
                 if (HasData) return C.Fail(P, "give either hex or text");
                 HasData = true;
                 return ReadBytes(C, J, P, N.Data);
               }},
              {"text", false,
               [&HasData](Ctx& C, const Json& J, const std::string& P, N_& N) {
                 if (HasData) return C.Fail(P, "give either hex or text");
                 HasData = true;
                 std::string T;
                 if (!ReadString(C, J, P, T)) return false;
                 N.Data.assign(T.begin(), T.end());
                 return true;
               }},
              {"files", false,
               [&Budget, Depth](Ctx& C, const Json& J, const std::string& P, N_& N) {
                 N.Directory = true;
                 return ReadArray<N_>(C, J, P, N.Children,
                                      [&Budget, Depth](Ctx& C, const Json& J, const std::string& P, N_& Child) {
                                        return ReadFileNode(C, J, P, Child, Budget, Depth + 1);
                                      });
               }},
          }))
    return false;
  if (N.Name.empty() || N.Name.size() > MAX_FILE_NAME || N.Name.find('\\') != std::string::npos || N.Name == "." ||
      N.Name == "..")
    return C.Fail(P + ".name", "expected one path component of 1 to " + std::to_string(MAX_FILE_NAME) + " bytes");
  if (N.Directory && HasData) return C.Fail(P, "a directory holds no bytes");
  Budget.Bytes += N.Data.size();
  if (Budget.Bytes > MAX_VOLUME_BYTES) return C.Fail(P, "the volumes hold more than 64 MiB");
  return true;
}

bool ReadDirectoryFault(Ctx& C, const Json& J, const std::string& P, DirectoryFault& F) {
  static const std::pair<const char*, DirectoryFault> Names[] = {
      {"none", DirectoryFault::None},
      {"recordBelowHeader", DirectoryFault::RecordBelowHeader},
      {"unterminatedName", DirectoryFault::UnterminatedName},
      {"sizeChangesAfterProbe", DirectoryFault::SizeChangesAfterProbe},
      {"readsMoreThanAsked", DirectoryFault::ReadsMoreThanAsked},
      {"hugeFileSize", DirectoryFault::HugeFileSize},
  };
  std::string S;
  if (!ReadString(C, J, P, S)) return false;
  for (auto& [Name, Value] : Names)
    if (S == Name) {
      F = Value;
      return true;
    }
  return C.Fail(P, "expected none, recordBelowHeader, unterminatedName, sizeChangesAfterProbe, readsMoreThanAsked "
                   "or hugeFileSize");
}

bool ReadFileVolume(Ctx& C, const Json& J, const std::string& P, FileVolumeProfile& V, FileTreeBudget& Budget) {
  using V_ = FileVolumeProfile;
  return ReadObject<V_>(
      C, J, P, V,
      {
          {"label", false, Text<V_>([](V_& V, std::string S) { V.Label = std::move(S); })},
          {"devicePath", false,
           [](Ctx& C, const Json& J, const std::string& P, V_& V) {
             if (J.is_object()) {
               struct STICK {
                 uint64_t Device = 0x14, Port = 1;
               } S;
               if (!ReadObject<STICK>(C, J, P, S,
                                      {
                                          {"usbPciDevice", false, Uint<STICK>(31, [](STICK& S, uint64_t X) { S.Device = X; })},
                                          {"usbPort", false, Uint<STICK>(0xFF, [](STICK& S, uint64_t X) { S.Port = X; })},
                                      }))
                 return false;
               V.DevicePath = UsbStickDevicePathBytes(uint8_t(S.Device), uint8_t(S.Port));
               return true;
             }
             std::vector<uint8_t> Bytes;
             if (!ReadBytes(C, J, P, Bytes)) return false;
             if (!DevicePathEndsInside(Bytes)) return C.Fail(P, "the device path has no end node inside its bytes");
             V.DevicePath = std::move(Bytes);
             return true;
           }},
          {"files", false,
           [&Budget](Ctx& C, const Json& J, const std::string& P, V_& V) {
             return ReadArray<FileNodeProfile>(C, J, P, V.Files,
                                               [&Budget](Ctx& C, const Json& J, const std::string& P, FileNodeProfile& N) {
                                                 return ReadFileNode(C, J, P, N, Budget, 1);
                                               });
           }},
          {"readOnly", false, Flag<V_>(&V_::ReadOnly)},
          {"openVolumeStatus", false, Uint<V_>(UINT64_MAX, [](V_& V, uint64_t X) { V.OpenVolumeFailure = X; })},
          {"writeStatus", false, Uint<V_>(UINT64_MAX, [](V_& V, uint64_t X) { V.WriteFailure = X; })},
          {"shortRead", false, Flag<V_>(&V_::ShortRead)},
          {"noTruncate", false, Flag<V_>(&V_::NoTruncate)},
          {"claimedFileSize", false, Uint<V_>(UINT64_MAX, [](V_& V, uint64_t X) { V.ClaimedFileSize = X; })},
          {"fault", false,
           [](Ctx& C, const Json& J, const std::string& P, V_& V) { return ReadDirectoryFault(C, J, P, V.Fault); }},
      });
}

// A list of peer names, each known and given once (in either list).
bool ReadPeerNames(Ctx& C, const Json& J, const std::string& P, std::vector<std::string>& Out,
                   const std::vector<std::string>& Other) {
  if (!J.is_array()) return C.Fail(P, "expected an array of peer names");
  for (size_t I = 0; I < J.size(); ++I) {
    const std::string At = P + "[" + std::to_string(I) + "]";
    std::string Name;
    if (!ReadString(C, J[I], At, Name)) return false;
    const auto& Known = BoardPeerNames();
    if (std::find(Known.begin(), Known.end(), Name) == Known.end()) {
      std::string List;
      for (const auto& K : Known) List += (List.empty() ? "" : ", ") + K;
      return C.Fail(At, "unknown peer \"" + Name + "\" (peers: " + List + ")");
    }
    if (std::find(Out.begin(), Out.end(), Name) != Out.end() || std::find(Other.begin(), Other.end(), Name) != Other.end())
      return C.Fail(At, "peer \"" + Name + "\" is named twice");
    Out.push_back(std::move(Name));
  }
  return true;
}

bool ReadPeerPresence(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  using P_ = PeerPresenceProfile;
  P_ Read;
  if (!ReadObject<P_>(C, J, P, Read,
                      {
                          {"absent", false,
                           [](Ctx& C, const Json& J, const std::string& P, P_& R) {
                             return ReadPeerNames(C, J, P, R.Absent, R.OnAction);
                           }},
                          {"onAction", false,
                           [](Ctx& C, const Json& J, const std::string& P, P_& R) {
                             return ReadPeerNames(C, J, P, R.OnAction, R.Absent);
                           }},
                      }))
    return false;
  B.Peers = std::move(Read);
  return true;
}

bool ReadFileVolumes(Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
  FileTreeBudget Budget;
  if (!ReadArray<FileVolumeProfile>(C, J, P, B.FileVolumes,
                                    [&Budget](Ctx& C, const Json& J, const std::string& P, FileVolumeProfile& V) {
                                      return ReadFileVolume(C, J, P, V, Budget);
                                    }))
    return false;
  if (B.FileVolumes.size() > MAX_FILE_VOLUMES)
    return C.Fail(P, "more than " + std::to_string(MAX_FILE_VOLUMES) + " volumes");
  return true;
}

// Top level: one row per section.
const std::vector<Field<BoardProfile>>& Sections() {
  static const std::vector<Field<BoardProfile>> Rows = {
      {"name", false, Text<BoardProfile>([](BoardProfile& B, std::string S) { B.Name = std::move(S); })},
      {"firmware", true, [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadFirmware(C, J, P, B.Firmware); }},
      {"cpu", false, ReadCpu},
      {"msrs", false, ReadMsrs},
      {"pci", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadArray<PciFunction>(C, J, P, B.Pci, ReadPciFunction); }},
      {"superio", false, [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadSuperIo(C, J, P, B.SuperIo); }},
      {"hwmon", false, [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadHwmon(C, J, P, B.Hwmon); }},
      {"mmio", false, Writes<BoardProfile>(0x8000, &BoardProfile::Mmio)},
      {"legacyArea", false, Writes<BoardProfile>(0x10000, &BoardProfile::LegacyArea)},
      {"hobs", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadArray<GuidHobProfile>(C, J, P, B.Hobs, ReadHob); }},
      {"variables", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
         return ReadArray<VariableProfile>(C, J, P, B.Variables, ReadVariable);
       }},
      {"variableStore", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadVariableStore(C, J, P, B.VariableStore); }},
      {"update", false, [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadUpdate(C, J, P, B.Update); }},
      {"processor", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadProcessor(C, J, P, B.Processor); }},
      {"superIoDriver", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadSuperIoDriver(C, J, P, B.SuperIoDriver); }},
      {"earlyPhase", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadEarlyPhase(C, J, P, B.EarlyPhase); }},
      {"southBridge", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadSouthBridge(C, J, P, B.SouthBridge); }},
      {"messageBox", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadMessageBox(C, J, P, B.MessageBox); }},
      {"clocks", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadClocks(C, J, P, B.Clocks); }},
      {"sataDrives", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) {
         return ReadArray<SataDriveProfile>(C, J, P, B.SataDrives, ReadSataDrive);
       }},
      {"memory", false, ReadMemory},
      {"graphics", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadGraphics(C, J, P, B.Graphics); }},
      {"nvme", false, ReadNvme},
      {"network", false,
       [](Ctx& C, const Json& J, const std::string& P, BoardProfile& B) { return ReadNetwork(C, J, P, B.Network); }},
      {"secureBoot", false, ReadSecureBoot},
      {"usb", false, ReadUsb},
      {"profileStorage", false, ReadProfileStorage},
      {"mainPage", false, ReadMainPage},
      {"sataPortDriver", false, ReadSataPortDriver},
      {"presets", false, ReadPresets},
      {"fileVolumes", false, ReadFileVolumes},
      {"peers", false, ReadPeerPresence},
  };
  return Rows;
}

// Why the text is not JSON and where: a SAX pass sees every fault with its
// position, a number too large for a double as well as a syntax error.
std::string JsonFault(const std::string& Text) {
  struct Finder : nlohmann::json_sax<Json> {
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t Position, const std::string& Token, const nlohmann::detail::exception& E) override {
      Byte = Position;
      Overflow = E.id == 406;
      LastToken = Token;
      return false;
    }
    std::size_t Byte = 0;
    bool Overflow = false;
    std::string LastToken;
  } F;
  Json::sax_parse(Text, &F);
  if (F.Overflow) {
    std::string Number = F.LastToken.size() > 40 ? F.LastToken.substr(0, 40) + "..." : F.LastToken;
    return "number " + Number + " is out of range (at byte " + std::to_string(F.Byte) + ")";
  }
  return "not valid JSON (at byte " + std::to_string(F.Byte) + ")";
}

// Profile variables are written past the store's rules, so the rules are
// applied here: each fits the per-variable limit, and each class fits its room.
bool CheckVariablesFit(Ctx& C, const BoardProfile& B) {
  const VariableStoreProfile& S = B.VariableStore;
  uint64_t Used[2] = {0, 0};
  std::set<std::pair<std::u16string, std::string>> Seen;
  for (size_t I = 0; I < B.Variables.size(); ++I) {
    const VariableProfile& V = B.Variables[I];
    const std::string P = "$.variables[" + std::to_string(I) + "]";
    const uint64_t Cost = VariableStore::HEADER_SIZE + (V.Name.size() + 1) * sizeof(char16_t) + V.Data.size();
    if (Cost > S.MaxVariableSize)
      return C.Fail(P + ".data", "name, data and header take " + std::to_string(Cost) +
                                     " bytes, more than the store's variable limit (variableStore.maxVariableSize " +
                                     std::to_string(S.MaxVariableSize) + ")");
    // The first of two with the same name and GUID is the one written.
    if (!Seen.insert({V.Name, GuidText(V.Guid)}).second) continue;
    const bool Nv = (V.Attributes & EFI_VARIABLE_NON_VOLATILE) != 0;
    Used[Nv] += Cost;
    const uint64_t Room = Nv ? S.NonVolatileSize : S.VolatileSize;
    if (Used[Nv] > Room)
      return C.Fail(P, std::string("the ") + (Nv ? "non-volatile" : "volatile") + " variables take " +
                           std::to_string(Used[Nv]) + " bytes with this one, more than the store holds (variableStore." +
                           (Nv ? "nonVolatileSize " : "volatileSize ") + std::to_string(Room) + ")");
  }
  return true;
}

}  // namespace

std::vector<uint8_t> MemoryModuleHobData(const MemoryModuleHobProfile& Hob) {
  constexpr size_t RecordOffsets[2] = {0x5CC7, 0x5CD3};
  std::vector<uint8_t> Data(std::max<size_t>(Hob.DataSize, 0x5CDF), 0);
  for (size_t I = 0; I < Hob.Modules.size() && I < 2; ++I) {
    const MemoryModuleProfile& M = Hob.Modules[I];
    uint8_t* R = Data.data() + RecordOffsets[I];
    R[0] = M.Revision;
    R[1] = (uint8_t)M.Voltage, R[2] = (uint8_t)(M.Voltage >> 8);
    R[3] = (uint8_t)M.Frequency, R[4] = (uint8_t)(M.Frequency >> 8);
    R[5] = (uint8_t)M.Reserved, R[6] = (uint8_t)(M.Reserved >> 8);
    R[7] = M.Timings[0], R[8] = M.Timings[1], R[9] = M.Timings[2];
    R[10] = (uint8_t)M.Cycles, R[11] = (uint8_t)(M.Cycles >> 8);
  }
  // A short HOB is the producer's records cut where its length ends.
  Data.resize(Hob.DataSize);
  return Data;
}

std::vector<uint8_t> NbPlatformDataBytes(const NbPlatformDataProfile& D) {
  std::vector<uint8_t> Bytes(std::max<size_t>(D.Size, 20), 0);
  Bytes[4] = D.GraphicsOption;
  Bytes[11] = D.FeatureA;
  Bytes[12] = D.FeatureB;
  Bytes[14] = (uint8_t)D.FrequencyLimitA, Bytes[15] = (uint8_t)(D.FrequencyLimitA >> 8);
  Bytes[16] = (uint8_t)D.FrequencyLimitB, Bytes[17] = (uint8_t)(D.FrequencyLimitB >> 8);
  Bytes.resize(D.Size);
  return Bytes;
}

bool ParseGuid(const std::string& S, EFI_GUID& G) {
  // 8-4-4-4-12 hexadecimal digits.
  if (S.size() != 36 || S[8] != '-' || S[13] != '-' || S[18] != '-' || S[23] != '-') return false;
  std::string Digits;
  for (size_t I = 0; I < S.size(); ++I) {
    if (I == 8 || I == 13 || I == 18 || I == 23) continue;
    if (!std::isxdigit((unsigned char)S[I])) return false;
    Digits += S[I];
  }
  auto Field = [&](size_t Pos, size_t Len) { return std::stoull(Digits.substr(Pos, Len), nullptr, 16); };
  G.Data1 = (UINT32)Field(0, 8);
  G.Data2 = (UINT16)Field(8, 4);
  G.Data3 = (UINT16)Field(12, 4);
  for (int I = 0; I < 8; ++I) G.Data4[I] = (UINT8)Field(16 + 2 * I, 2);
  return true;
}

std::string GuidText(const EFI_GUID& G) {
  char B[40];
  std::snprintf(B, sizeof B, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", G.Data1, G.Data2, G.Data3, G.Data4[0],
                G.Data4[1], G.Data4[2], G.Data4[3], G.Data4[4], G.Data4[5], G.Data4[6], G.Data4[7]);
  return B;
}

bool ParseBoardProfile(const std::string& Text, const std::string& SourceName, BoardProfile& Profile,
                       std::string& Error) {
  Ctx C{SourceName, {}};
  Json J = Json::parse(Text, nullptr, false);
  if (J.is_discarded()) {
    Error = SourceName + ": $: " + JsonFault(Text);
    return false;
  }
  BoardProfile Out;
  if (!ReadObject<BoardProfile>(C, J, "$", Out, Sections()) || !CheckVariablesFit(C, Out)) {
    Error = C.Error;
    return false;
  }
  AppendMemoryData(Out);
  Profile = std::move(Out);
  return true;
}

bool DevicePathEndsInside(const std::vector<uint8_t>& Bytes) {
  for (size_t At = 0;;) {
    if (At + 4 > Bytes.size()) return false;
    const uint8_t Type = Bytes[At];
    const size_t Length = Bytes[At + 2] | (Bytes[At + 3] << 8);
    if (Type == 0x7F || Type == 0xFF || Length < 4) return true;
    At += Length;
  }
}

bool LoadBoardProfile(const std::string& Path, BoardProfile& Profile, std::string& Error) {
  std::error_code Code;
  const std::filesystem::file_status Status = std::filesystem::status(Path, Code);
  if (std::filesystem::is_directory(Status)) {
    Error = Path + ": is a directory, not a board profile";
    return false;
  }
  if (std::filesystem::exists(Status) && !std::filesystem::is_regular_file(Status)) {
    Error = Path + ": is not a regular file";
    return false;
  }
  std::ifstream In(Path, std::ios::binary);
  if (!In) {
    Error = Path + ": cannot be read";
    return false;
  }
  // One byte past the bound tells a file that is too long from one that fits.
  std::string Text(MAX_PROFILE_FILE + 1, '\0');
  In.read(Text.data(), (std::streamsize)Text.size());
  if (In.bad()) {
    Error = Path + ": cannot be read";
    return false;
  }
  Text.resize((size_t)In.gcount());
  if (Text.size() > MAX_PROFILE_FILE) {
    Error = Path + ": larger than " + std::to_string(MAX_PROFILE_FILE >> 20) + " MiB, too large for a board profile";
    return false;
  }
  return ParseBoardProfile(Text, Path, Profile, Error);
}

const BoardProfile& DefaultBoardProfile() {
  static const BoardProfile Profile = [] {
    BoardProfile P;
    std::string Error;
    if (!ParseBoardProfile(DefaultBoardProfileText(), "boards/default.json", P, Error)) {
      std::fprintf(stderr, "built-in board profile is invalid: %s\n", Error.c_str());
      std::abort();
    }
    return P;
  }();
  return Profile;
}

std::vector<uint8_t> UsbStickDevicePathBytes(uint8_t Device, uint8_t Port) {
  // Acpi(PNP0A03,0)/Pci(Device,0)/USB(Port,0)/HD(1, MBR)/End.
  std::vector<uint8_t> P = {0x02, 0x01, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0,
                            0x01, 0x01, 6,  0, 0,    Device,
                            0x03, 0x05, 6,  0, Port, 0};
  std::vector<uint8_t> Hd(42, 0);
  Hd[0] = 0x04;
  Hd[1] = 0x01;
  Hd[2] = 42;
  Hd[4] = 1;     // partition 1
  Hd[8] = 0x3F;  // from sector 63
  Hd[24] = 0x78;
  Hd[25] = 0x56;
  Hd[26] = 0x34;
  Hd[27] = 0x12;  // MBR signature
  Hd[40] = 1;     // MBR
  Hd[41] = 1;     // 32-bit signature
  P.insert(P.end(), Hd.begin(), Hd.end());
  P.insert(P.end(), {0x7F, 0xFF, 4, 0});
  return P;
}

const std::vector<std::string>& BoardPeerNames() {
  static const std::vector<std::string> Names = {
      "processor",  "super-io",  "south-bridge", "sata-drives", "message-box",     "clocks",
      "boot-phase", "memory",    "graphics",     "nvme",        "network",         "main-page",
      "key-volume", "usb",       "profile-storage", "presets",  "file-systems"};
  return Names;
}

bool PeerPresenceProfile::IsAbsent(const std::string& Peer) const {
  return std::find(Absent.begin(), Absent.end(), Peer) != Absent.end();
}

bool PeerPresenceProfile::WaitsForAction(const std::string& Peer) const {
  return std::find(OnAction.begin(), OnAction.end(), Peer) != OnAction.end();
}

}  // namespace sim
