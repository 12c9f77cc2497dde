// Other drivers register item callbacks; the dispatcher walks the registered
// entries, merged ahead of its own table, for every browser callback. The
// input is a run of registrations, removals and browser callbacks; each
// callback must reach exactly the registered handlers a walk of a mirror of
// the registry names, in registration order, up to the first that answers.
//
// Operations, 8 bytes each: [op][class][subclass][key lo][key hi][handler][status][flags]
//   op % 4: 0, 1 register; 2 unregister (token index, possibly stale); 3 callback
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/setupinfo_fuzz_machine.h"
#include "platform/callback_registry.h"

namespace {

constexpr size_t HANDLERS = 4;
constexpr size_t MAX_OPS = 64;

struct Mirror {
  VOID* Token;
  uint16_t Class, SubClass, Key;
  size_t Handler;
  bool Live;
};

struct Call {
  size_t Handler;
  uint16_t Class, SubClass, Key;
};

CALLBACK_REGISTRY_PROTOCOL* gRegistry = nullptr;
std::vector<Mirror>* gMirror = nullptr;
std::vector<Call> gCalls;
EFI_STATUS gAnswers[HANDLERS];
uint16_t gQuestion = 0;
// A handler that registers during a walk: the walk in progress must not see it.
bool gRegisterDuringWalk = false;

EFI_STATUS EFIAPI Handler0(EFI_HII_HANDLE H, UINT16 C, UINT16 S, UINT16 K);

EFI_STATUS Handle(size_t Id, EFI_HII_HANDLE, UINT16 Class, UINT16 SubClass, UINT16 Key) {
  gCalls.push_back({Id, Class, SubClass, Key});
  CALLBACK_PARAMETERS* Parameters = nullptr;
  if (gRegistry->GetCurrentCallbackParameters(&Parameters) != EFI_SUCCESS || Parameters == nullptr ||
      Parameters->QuestionId != gQuestion || Key != gQuestion)
    std::abort();
  if (gRegisterDuringWalk && Id == 3) {
    gRegisterDuringWalk = false;
    Mirror M{nullptr, Class, SubClass, Key, 0, true};
    if (gRegistry->RegisterItemCallback(Class, SubClass, Key, Handler0, &M.Token) == EFI_SUCCESS) gMirror->push_back(M);
  }
  return gAnswers[Id];
}

template <size_t Id>
EFI_STATUS EFIAPI Handler(EFI_HII_HANDLE H, UINT16 C, UINT16 S, UINT16 K) {
  return Handle(Id, H, C, S, K);
}
EFI_STATUS EFIAPI Handler0(EFI_HII_HANDLE H, UINT16 C, UINT16 S, UINT16 K) { return Handle(0, H, C, S, K); }
constexpr ITEM_CALLBACK HandlerTable[HANDLERS] = {Handler0, Handler<1>, Handler<2>, Handler<3>};

uint16_t PickClass(uint8_t B) { return B < 0xC0 ? FormSetClasses[B % 9] : (uint16_t)(B << 4); }
uint16_t PickKey(uint16_t Raw) { return Raw & 0x8000 ? Raw : (uint16_t)(0x400 + Raw % 0x180); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  SetupMachine S;
  S.LoadSetupInfo();
  if (S.Browser().Open() != EFI_SUCCESS) std::abort();
  VOID* Interface = nullptr;
  if (S.M().BootServices()->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, &Interface) != EFI_SUCCESS)
    std::abort();
  gRegistry = (CALLBACK_REGISTRY_PROTOCOL*)Interface;
  std::vector<Mirror> Registered;
  gMirror = &Registered;

  for (size_t Op = 0; Op < MAX_OPS && !In.Done(); ++Op) {
    const uint8_t Kind = In.U8() % 4;
    const uint8_t ClassByte = In.U8();
    const uint8_t SubClassByte = In.U8();
    const uint16_t KeyRaw = In.U16();
    const size_t Id = In.U8() % HANDLERS;
    const uint8_t StatusByte = In.U8();
    const uint8_t Flags = In.U8();
    if (Kind <= 1) {
      Mirror M{nullptr, PickClass(ClassByte), (uint16_t)(SubClassByte < 0xF0 ? 0 : SubClassByte), PickKey(KeyRaw), Id,
               true};
      if (gRegistry->RegisterItemCallback(M.Class, M.SubClass, M.Key, HandlerTable[Id], &M.Token) != EFI_SUCCESS)
        std::abort();
      Registered.push_back(M);
    } else if (Kind == 2) {
      if (Registered.empty()) continue;
      Mirror& M = Registered[ClassByte % Registered.size()];
      const EFI_STATUS Status = gRegistry->UnregisterItemCallback(M.Token);
      if (Status != (M.Live ? EFI_SUCCESS : EFI_NOT_FOUND)) std::abort();
      M.Live = false;
    } else {
      const uint16_t Class = FormSetClasses[ClassByte % 9];
      // The class-0x20 package list leaves the database after loading: the browser cannot show it.
      if (Class == 0x20) continue;
      for (size_t H = 0; H < HANDLERS; ++H)
        gAnswers[H] = (StatusByte >> (2 * H) & 3) == 0 ? EFI_SUCCESS
                      : (StatusByte >> (2 * H) & 3) == 1 ? EFI_DEVICE_ERROR
                                                         : EFI_UNSUPPORTED;
      gQuestion = PickKey(KeyRaw);
      gRegisterDuringWalk = (Flags & 1) != 0;
      std::vector<Call> Expected;
      for (const Mirror& M : Registered) {
        if (!M.Live || M.SubClass != 0 || M.Key != gQuestion || (M.Class != Class && Class != 0x1)) continue;
        Expected.push_back({M.Handler, M.Class, M.SubClass, M.Key});
        if (gAnswers[M.Handler] != EFI_UNSUPPORTED) break;
      }
      gCalls.clear();
      // A handler of the driver's own table may have asked the browser to exit.
      if (!S.Browser().IsOpen() && S.Browser().Open() != EFI_SUCCESS) std::abort();
      EFI_IFR_TYPE_VALUE Value{};
      Value.u64 = In.U64();
      S.Browser().Callback(Class, Flags >> 4, gQuestion, EFI_IFR_TYPE_NUM_SIZE_8, Value);
      if (gCalls.size() != Expected.size()) std::abort();
      for (size_t I = 0; I < Expected.size(); ++I)
        if (gCalls[I].Handler != Expected[I].Handler || gCalls[I].Class != Expected[I].Class ||
            gCalls[I].Key != Expected[I].Key)
          std::abort();
      CALLBACK_PARAMETERS* After = nullptr;
      if (gRegistry->GetCurrentCallbackParameters(&After) != EFI_SUCCESS || After != nullptr) std::abort();
    }
  }
  for (Mirror& M : Registered)
    if (M.Live) gRegistry->UnregisterItemCallback(M.Token);
  gMirror = nullptr;
  gRegistry = nullptr;
  return 0;
}
