#include "sim/handles.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

size_t PathSizeWithoutEnd(const EFI_DEVICE_PATH_PROTOCOL* P) {
  size_t Size = 0;
  const UINT8* Bytes = (const UINT8*)P;
  for (;;) {
    auto* Node = (const EFI_DEVICE_PATH_PROTOCOL*)(Bytes + Size);
    if (Node->Type == END_DEVICE_PATH_TYPE && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE) return Size;
    UINT16 Len = DevicePathNodeLength(Node);
    if (Len < sizeof(EFI_DEVICE_PATH_PROTOCOL)) return Size;  // malformed: stop where it breaks
    Size += Len;
  }
}
}  // namespace

HandleDatabase::HandleDatabase(Pool& P, Events& E) : Pool_(P), Events_(E) {}
HandleDatabase::~HandleDatabase() = default;

HandleDatabase::HandleRec* HandleDatabase::Get(EFI_HANDLE H) const {
  auto It = Live_.find(H);
  return It == Live_.end() ? nullptr : It->second.get();
}

HandleDatabase::Interface* HandleDatabase::Find(HandleRec* H, const EFI_GUID& G) const {
  if (H == nullptr) return nullptr;
  for (auto& I : H->Interfaces)
    if (I->Guid == G) return I.get();
  return nullptr;
}

EFI_HANDLE HandleDatabase::NewHandle() {
  auto H = std::make_unique<HandleRec>();
  H->Serial = Serial_++;
  EFI_HANDLE Handle = H.get();
  Live_[Handle] = std::move(H);
  return Handle;
}

void HandleDatabase::Notify(const EFI_GUID& G, EFI_HANDLE H, VOID* Iface) {
  std::vector<EFI_EVENT> ToSignal;
  for (auto& [Key, R] : Registrations_)
    if (R->Guid == G) {
      R->Fresh.emplace_back(H, Iface);
      ToSignal.push_back(R->Event);
    }
  for (EFI_EVENT E : ToSignal) Events_.Signal(E);
}

EFI_STATUS HandleDatabase::Install(EFI_HANDLE* Handle, const EFI_GUID* Protocol, EFI_INTERFACE_TYPE Type,
                                   VOID* Iface) {
  if (Handle == nullptr || Protocol == nullptr || Type != EFI_NATIVE_INTERFACE) return EFI_INVALID_PARAMETER;
  HandleRec* H = nullptr;
  if (*Handle != nullptr) {
    H = Get(*Handle);
    if (H == nullptr) return EFI_INVALID_PARAMETER;
    if (Find(H, *Protocol)) return EFI_INVALID_PARAMETER;
  }
  EFI_HANDLE Target = *Handle ? *Handle : NewHandle();
  H = Get(Target);
  auto I = std::make_unique<Interface>();
  I->Guid = *Protocol;
  I->Ptr = Iface;
  I->Serial = Serial_++;
  H->Interfaces.push_back(std::move(I));
  ++InstallCounts_[*Protocol];
  *Handle = Target;
  Notify(*Protocol, Target, Iface);
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::InstallMultiple(EFI_HANDLE* Handle,
                                           const std::vector<std::pair<const EFI_GUID*, VOID*>>& Pairs) {
  if (Handle == nullptr) return EFI_INVALID_PARAMETER;
  // Notify functions see the whole set: they run when the TPL drops at the end.
  EFI_TPL Old = Events_.RaiseTpl(TPL_NOTIFY);
  EFI_HANDLE Original = *Handle;
  EFI_STATUS Status = EFI_SUCCESS;
  size_t Done = 0;
  for (; Done < Pairs.size(); ++Done) {
    auto [Guid, Iface] = Pairs[Done];
    // A device path may be installed only once in the whole database.
    if (*Guid == EFI_DEVICE_PATH_PROTOCOL::Guid && Iface != nullptr) {
      auto* Path = (EFI_DEVICE_PATH_PROTOCOL*)Iface;
      EFI_HANDLE Match = nullptr;
      EFI_DEVICE_PATH_PROTOCOL* Rest = Path;
      if (!EFI_ERROR(LocateDevicePath(Guid, &Rest, &Match)) && Rest->Type == END_DEVICE_PATH_TYPE &&
          Rest->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE) {
        Status = EFI_ALREADY_STARTED;
        break;
      }
    }
    Status = Install(Handle, Guid, EFI_NATIVE_INTERFACE, Iface);
    if (EFI_ERROR(Status)) break;
  }
  if (EFI_ERROR(Status)) {
    while (Done-- > 0) Uninstall(*Handle, Pairs[Done].first, Pairs[Done].second);
    *Handle = Original;
  }
  Events_.RestoreTpl(Old);
  return Status;
}

// Before an interface goes away: stop the drivers that manage it and drop the
// plain records. Fails when someone still holds it.
EFI_STATUS HandleDatabase::ReleaseForRemoval(EFI_HANDLE Handle, Interface* I) {
  // A driver's Stop may remove this very interface: keep only its GUID.
  const EFI_GUID Guid = I->Guid;
  std::vector<EFI_HANDLE> Drivers;
  for (auto& O : I->Opens)
    if (O.Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) Drivers.push_back(O.Agent);
  for (EFI_HANDLE D : Drivers) DisconnectController(Handle, D, nullptr);
  HandleRec* H = Get(Handle);
  I = H ? Find(H, Guid) : nullptr;
  if (I == nullptr) return EFI_NOT_FOUND;
  auto& O = I->Opens;
  O.erase(std::remove_if(O.begin(), O.end(),
                         [](const OpenRecord& R) {
                           return (R.Attributes & (EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL | EFI_OPEN_PROTOCOL_GET_PROTOCOL |
                                                   EFI_OPEN_PROTOCOL_TEST_PROTOCOL)) != 0;
                         }),
          O.end());
  return O.empty() ? EFI_SUCCESS : EFI_ACCESS_DENIED;
}

void HandleDatabase::RemoveInterface(EFI_HANDLE Handle, const EFI_GUID& G) {
  HandleRec* H = Get(Handle);
  auto& V = H->Interfaces;
  V.erase(std::remove_if(V.begin(), V.end(), [&](const std::unique_ptr<Interface>& I) { return I->Guid == G; }),
          V.end());
  // Records opened on other handles with this handle as controller or agent stay:
  // their owners close them.
  if (V.empty()) {
    auto It = Live_.find(Handle);
    Dead_.push_back(std::move(It->second));
    Live_.erase(It);
  }
}

EFI_STATUS HandleDatabase::Uninstall(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* Iface) {
  if (Protocol == nullptr) return EFI_INVALID_PARAMETER;
  HandleRec* H = Get(Handle);
  if (H == nullptr) return EFI_INVALID_PARAMETER;
  Interface* I = Find(H, *Protocol);
  if (I == nullptr || I->Ptr != Iface) return EFI_NOT_FOUND;
  EFI_STATUS S = ReleaseForRemoval(Handle, I);
  if (EFI_ERROR(S)) {
    ConnectController(Handle, nullptr, nullptr, true);
    return EFI_ACCESS_DENIED;
  }
  RemoveInterface(Handle, *Protocol);
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::UninstallMultiple(EFI_HANDLE Handle,
                                             const std::vector<std::pair<const EFI_GUID*, VOID*>>& Pairs) {
  size_t Done = 0;
  EFI_STATUS Status = EFI_SUCCESS;
  for (; Done < Pairs.size(); ++Done) {
    Status = Uninstall(Handle, Pairs[Done].first, Pairs[Done].second);
    if (EFI_ERROR(Status)) break;
  }
  if (!EFI_ERROR(Status)) return EFI_SUCCESS;
  // All or nothing: put back what was removed, on the same handle.
  EFI_HANDLE Back = Get(Handle) ? Handle : nullptr;
  if (Back == nullptr && Done > 0) {
    // The handle vanished with its last interface; bring it back under its old identity.
    for (auto It = Dead_.begin(); It != Dead_.end(); ++It)
      if (It->get() == Handle) {
        Live_[Handle] = std::move(*It);
        Dead_.erase(It);
        Back = Handle;
        break;
      }
  }
  while (Done-- > 0) Install(&Back, Pairs[Done].first, EFI_NATIVE_INTERFACE, Pairs[Done].second);
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS HandleDatabase::Reinstall(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* OldInterface,
                                     VOID* NewInterface) {
  if (Protocol == nullptr) return EFI_INVALID_PARAMETER;
  HandleRec* H = Get(Handle);
  if (H == nullptr) return EFI_INVALID_PARAMETER;
  Interface* I = Find(H, *Protocol);
  if (I == nullptr || I->Ptr != OldInterface) return EFI_NOT_FOUND;
  if (EFI_ERROR(ReleaseForRemoval(Handle, I))) {
    ConnectController(Handle, nullptr, nullptr, true);
    return EFI_ACCESS_DENIED;
  }
  I = Find(Get(Handle), *Protocol);
  I->Ptr = NewInterface;
  ++InstallCounts_[*Protocol];
  Notify(*Protocol, Handle, NewInterface);
  ConnectController(Handle, nullptr, nullptr, true);
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::HandleProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Iface) {
  return OpenProtocol(Handle, Protocol, Iface, CoreImage_, nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL);
}

EFI_STATUS HandleDatabase::OpenProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Iface, EFI_HANDLE Agent,
                                        EFI_HANDLE Controller, UINT32 Attributes) {
  if (Protocol == nullptr) return EFI_INVALID_PARAMETER;
  if (Attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL) {
    if (Iface == nullptr) return EFI_INVALID_PARAMETER;
    *Iface = nullptr;
  }
  HandleRec* H = Get(Handle);
  if (H == nullptr) return EFI_INVALID_PARAMETER;
  switch (Attributes) {
    case EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER:
      if (!Get(Agent) || !Get(Controller) || Handle == Controller) return EFI_INVALID_PARAMETER;
      break;
    case EFI_OPEN_PROTOCOL_BY_DRIVER:
    case EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE:
      if (!Get(Agent) || !Get(Controller)) return EFI_INVALID_PARAMETER;
      break;
    case EFI_OPEN_PROTOCOL_EXCLUSIVE:
      if (!Get(Agent)) return EFI_INVALID_PARAMETER;
      break;
    case EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL:
    case EFI_OPEN_PROTOCOL_GET_PROTOCOL:
    case EFI_OPEN_PROTOCOL_TEST_PROTOCOL:
      break;
    default:
      return EFI_INVALID_PARAMETER;
  }
  Interface* I = Find(H, *Protocol);
  if (I == nullptr) return EFI_UNSUPPORTED;

  bool ByDriver = false, Exclusive = false;
  auto Finish = [&](EFI_STATUS S) {
    if ((S == EFI_SUCCESS || S == EFI_ALREADY_STARTED) && Attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL)
      *Iface = I->Ptr;
    return S;
  };
  for (auto& O : I->Opens) {
    bool Exact = O.Agent == Agent && O.Attributes == Attributes && O.Controller == Controller;
    if (O.Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) {
      ByDriver = true;
      if (Exact) return Finish(EFI_ALREADY_STARTED);
    }
    if (O.Attributes & EFI_OPEN_PROTOCOL_EXCLUSIVE)
      Exclusive = true;
    else if (Exact) {
      ++O.OpenCount;
      return Finish(EFI_SUCCESS);
    }
  }
  switch (Attributes) {
    case EFI_OPEN_PROTOCOL_BY_DRIVER:
      if (Exclusive || ByDriver) return EFI_ACCESS_DENIED;
      break;
    case EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE:
    case EFI_OPEN_PROTOCOL_EXCLUSIVE:
      if (Exclusive) return EFI_ACCESS_DENIED;
      if (ByDriver) {
        // Exclusive access first asks the managing drivers to let go.
        std::vector<EFI_HANDLE> Drivers;
        for (auto& O : I->Opens)
          if (O.Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) Drivers.push_back(O.Agent);
        for (EFI_HANDLE D : Drivers)
          if (EFI_ERROR(DisconnectController(Handle, D, nullptr))) return EFI_ACCESS_DENIED;
        H = Get(Handle);
        I = Find(H, *Protocol);
        if (I == nullptr) return EFI_UNSUPPORTED;
        for (auto& O : I->Opens)
          if (O.Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) return EFI_ACCESS_DENIED;
      }
      break;
    default:
      break;
  }
  if (Agent == nullptr) return Finish(EFI_SUCCESS);
  I->Opens.push_back(OpenRecord{Agent, Controller, Attributes, 1});
  return Finish(EFI_SUCCESS);
}

EFI_STATUS HandleDatabase::CloseProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, EFI_HANDLE Agent,
                                         EFI_HANDLE Controller) {
  if (Protocol == nullptr || !Get(Handle) || !Get(Agent)) return EFI_INVALID_PARAMETER;
  if (Controller != nullptr && !Get(Controller)) return EFI_INVALID_PARAMETER;
  Interface* I = Find(Get(Handle), *Protocol);
  if (I == nullptr) return EFI_NOT_FOUND;
  auto& O = I->Opens;
  size_t Before = O.size();
  O.erase(std::remove_if(O.begin(), O.end(),
                         [&](const OpenRecord& R) { return R.Agent == Agent && R.Controller == Controller; }),
          O.end());
  return O.size() == Before ? EFI_NOT_FOUND : EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::OpenProtocolInformation(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                                   EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** Entries, UINTN* Count) {
  if (Protocol == nullptr || Entries == nullptr || Count == nullptr) return EFI_INVALID_PARAMETER;
  Interface* I = Find(Get(Handle), *Protocol);
  if (I == nullptr) return EFI_NOT_FOUND;
  size_t N = I->Opens.size();
  VOID* Buffer = nullptr;
  // Always a buffer for the caller to free, even with no records.
  size_t Bytes = (N ? N : 1) * sizeof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY);
  if (EFI_ERROR(Pool_.Allocate(EfiBootServicesData, Bytes, &Buffer))) return EFI_OUT_OF_RESOURCES;
  auto* Out = (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY*)Buffer;
  for (size_t K = 0; K < N; ++K) {
    const OpenRecord& R = I->Opens[K];
    Out[K] = EFI_OPEN_PROTOCOL_INFORMATION_ENTRY{R.Agent, R.Controller, R.Attributes, R.OpenCount};
  }
  *Entries = Out;
  *Count = N;
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::ProtocolsPerHandle(EFI_HANDLE Handle, EFI_GUID*** Buffer, UINTN* Count) {
  if (Buffer == nullptr || Count == nullptr) return EFI_INVALID_PARAMETER;
  HandleRec* H = Get(Handle);
  if (H == nullptr) return EFI_INVALID_PARAMETER;
  VOID* Memory = nullptr;
  size_t N = H->Interfaces.size();
  if (EFI_ERROR(Pool_.Allocate(EfiBootServicesData, N * sizeof(EFI_GUID*), &Memory))) return EFI_OUT_OF_RESOURCES;
  auto** Out = (EFI_GUID**)Memory;
  for (size_t K = 0; K < N; ++K) Out[K] = &H->Interfaces[K]->Guid;
  *Buffer = Out;
  *Count = N;
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::RegisterProtocolNotify(const EFI_GUID* Protocol, EFI_EVENT Event, VOID** Registration) {
  if (Protocol == nullptr || Registration == nullptr || !Events_.IsEvent(Event)) return EFI_INVALID_PARAMETER;
  auto R = std::make_unique<struct Registration>();
  R->Guid = *Protocol;
  R->Event = Event;
  VOID* Key = R.get();
  Registrations_[Key] = std::move(R);
  *Registration = Key;
  return EFI_SUCCESS;
}

void HandleDatabase::ForgetEvent(EFI_EVENT Event) {
  for (auto It = Registrations_.begin(); It != Registrations_.end();)
    It = It->second->Event == Event ? Registrations_.erase(It) : std::next(It);
}

std::vector<EFI_HANDLE> HandleDatabase::OrderedHandles() const {
  std::vector<std::pair<UINT64, EFI_HANDLE>> V;
  for (auto& [H, R] : Live_) V.emplace_back(R->Serial, H);
  std::sort(V.begin(), V.end());
  std::vector<EFI_HANDLE> Out;
  for (auto& [S, H] : V) Out.push_back(H);
  return Out;
}

std::vector<EFI_HANDLE> HandleDatabase::HandlesWith(const EFI_GUID& G) const {
  // Handles in the order their interface of G was installed.
  std::vector<std::pair<UINT64, EFI_HANDLE>> V;
  for (auto& [H, R] : Live_)
    if (Interface* I = Find(R.get(), G)) V.emplace_back(I->Serial, H);
  std::sort(V.begin(), V.end());
  std::vector<EFI_HANDLE> Out;
  for (auto& [S, H] : V) Out.push_back(H);
  return Out;
}

VOID* HandleDatabase::InterfaceOn(EFI_HANDLE H, const EFI_GUID& G) const {
  Interface* I = Find(Get(H), G);
  return I ? I->Ptr : nullptr;
}

size_t HandleDatabase::InstallCount(const EFI_GUID& G) const {
  auto It = InstallCounts_.find(G);
  return It == InstallCounts_.end() ? 0 : It->second;
}

std::vector<EFI_HANDLE> HandleDatabase::Search(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key,
                                               bool Consume, EFI_STATUS* Status) {
  *Status = EFI_SUCCESS;
  switch (Type) {
    case AllHandles:
      return OrderedHandles();
    case ByProtocol:
      if (Protocol == nullptr) {
        *Status = EFI_INVALID_PARAMETER;
        return {};
      }
      return HandlesWith(*Protocol);
    case ByRegisterNotify: {
      auto It = Registrations_.find(Key);
      if (Key == nullptr || It == Registrations_.end()) {
        *Status = EFI_INVALID_PARAMETER;
        return {};
      }
      // One handle per call: the next installation not handed out yet.
      auto& Fresh = It->second->Fresh;
      while (!Fresh.empty()) {
        auto [H, Iface] = Fresh.front();
        if (IsHandle(H) && Find(Get(H), It->second->Guid) && InterfaceOn(H, It->second->Guid) == Iface) {
          if (Consume) Fresh.pop_front();
          return {H};
        }
        Fresh.pop_front();  // uninstalled since: skipped, as the firmware's position would
      }
      return {};
    }
  }
  *Status = EFI_INVALID_PARAMETER;
  return {};
}

EFI_STATUS HandleDatabase::LocateHandle(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key,
                                        UINTN* BufferSize, EFI_HANDLE* Buffer) {
  if (BufferSize == nullptr) return EFI_INVALID_PARAMETER;
  if (*BufferSize > 0 && Buffer == nullptr) return EFI_INVALID_PARAMETER;
  EFI_STATUS S;
  // Peek first: a registration's position moves only when the handle is delivered.
  auto Found = Search(Type, Protocol, Key, false, &S);
  if (EFI_ERROR(S)) return S;
  if (Found.empty()) return EFI_NOT_FOUND;
  UINTN Need = Found.size() * sizeof(EFI_HANDLE);
  if (Need > *BufferSize) {
    *BufferSize = Need;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Type == ByRegisterNotify) Search(Type, Protocol, Key, true, &S);
  std::memcpy(Buffer, Found.data(), Need);
  *BufferSize = Need;
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key,
                                              UINTN* Count, EFI_HANDLE** Buffer) {
  if (Count == nullptr || Buffer == nullptr) return EFI_INVALID_PARAMETER;
  *Count = 0;
  *Buffer = nullptr;
  EFI_STATUS S;
  auto Found = Search(Type, Protocol, Key, false, &S);
  if (EFI_ERROR(S)) return S;
  if (Found.empty()) return EFI_NOT_FOUND;
  VOID* Memory = nullptr;
  if (EFI_ERROR(Pool_.Allocate(EfiBootServicesData, Found.size() * sizeof(EFI_HANDLE), &Memory)))
    return EFI_OUT_OF_RESOURCES;
  if (Type == ByRegisterNotify) Search(Type, Protocol, Key, true, &S);
  std::memcpy(Memory, Found.data(), Found.size() * sizeof(EFI_HANDLE));
  *Buffer = (EFI_HANDLE*)Memory;
  *Count = Found.size();
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::LocateProtocol(const EFI_GUID* Protocol, VOID* Registration, VOID** Iface) {
  if (Iface == nullptr || Protocol == nullptr) return EFI_INVALID_PARAMETER;
  *Iface = nullptr;
  if (Registration == nullptr) {
    auto Hs = HandlesWith(*Protocol);
    if (Hs.empty()) return EFI_NOT_FOUND;
    *Iface = InterfaceOn(Hs.front(), *Protocol);
    return EFI_SUCCESS;
  }
  auto It = Registrations_.find(Registration);
  if (It == Registrations_.end()) return EFI_NOT_FOUND;
  auto& Fresh = It->second->Fresh;
  while (!Fresh.empty()) {
    auto [H, I] = Fresh.front();
    Fresh.pop_front();
    if (IsHandle(H) && InterfaceOn(H, It->second->Guid) == I && Find(Get(H), It->second->Guid)) {
      *Iface = I;
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS HandleDatabase::LocateDevicePath(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath,
                                            EFI_HANDLE* Device) {
  if (Protocol == nullptr || DevicePath == nullptr || *DevicePath == nullptr) return EFI_INVALID_PARAMETER;
  size_t Want = PathSizeWithoutEnd(*DevicePath);
  EFI_HANDLE Best = nullptr;
  size_t BestSize = 0;
  bool Any = false;
  for (EFI_HANDLE H : HandlesWith(*Protocol)) {
    auto* Path = (EFI_DEVICE_PATH_PROTOCOL*)InterfaceOn(H, EFI_DEVICE_PATH_PROTOCOL::Guid);
    if (Path == nullptr) continue;
    size_t Size = PathSizeWithoutEnd(Path);
    if (Size > Want || std::memcmp(Path, *DevicePath, Size) != 0) continue;
    if (!Any || Size > BestSize) {
      Best = H;
      BestSize = Size;
      Any = true;
    }
  }
  if (!Any) return EFI_NOT_FOUND;
  if (Device == nullptr) return EFI_INVALID_PARAMETER;
  *Device = Best;
  *DevicePath = (EFI_DEVICE_PATH_PROTOCOL*)((UINT8*)*DevicePath + BestSize);
  return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::ConnectController(EFI_HANDLE Controller, EFI_HANDLE* DriverImages,
                                             EFI_DEVICE_PATH_PROTOCOL* Remaining, bool Recursive) {
  if (!Get(Controller)) return EFI_INVALID_PARAMETER;
  std::vector<DriverBindingInterface*> Bindings;
  for (EFI_HANDLE H : HandlesWith(DriverBindingInterface::Guid)) {
    auto* B = (DriverBindingInterface*)InterfaceOn(H, DriverBindingInterface::Guid);
    if (B == nullptr) continue;
    if (DriverImages != nullptr) {
      bool Listed = false;
      for (EFI_HANDLE* D = DriverImages; *D; ++D)
        if (*D == B->ImageHandle || *D == H) Listed = true;
      if (!Listed) continue;
    }
    Bindings.push_back(B);
  }
  bool Started = false;
  for (DriverBindingInterface* B : Bindings) {
    if (!Get(Controller)) break;
    if (B->Supported(B, Controller, Remaining) != EFI_SUCCESS) continue;
    if (B->Start(B, Controller, Remaining) == EFI_SUCCESS) Started = true;
  }
  if (Recursive && Get(Controller)) {
    std::vector<EFI_HANDLE> Children;
    // Children are the handles that opened the controller's protocols BY_CHILD_CONTROLLER.
    for (auto& I : Get(Controller)->Interfaces)
      for (auto& O : I->Opens)
        if ((O.Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER) &&
            std::find(Children.begin(), Children.end(), O.Controller) == Children.end())
          Children.push_back(O.Controller);
    for (EFI_HANDLE C : Children)
      if (Get(C)) ConnectController(C, nullptr, nullptr, true);
  }
  return Started ? EFI_SUCCESS : EFI_NOT_FOUND;
}

EFI_STATUS HandleDatabase::DisconnectController(EFI_HANDLE Controller, EFI_HANDLE DriverImage, EFI_HANDLE Child) {
  HandleRec* H = Get(Controller);
  if (H == nullptr) return EFI_INVALID_PARAMETER;
  if (DriverImage != nullptr && !Get(DriverImage)) return EFI_INVALID_PARAMETER;
  if (Child != nullptr && !Get(Child)) return EFI_INVALID_PARAMETER;
  // Managing drivers: agents holding a BY_DRIVER record on the controller.
  std::vector<EFI_HANDLE> Agents;
  for (auto& I : H->Interfaces)
    for (auto& O : I->Opens)
      if ((O.Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) &&
          std::find(Agents.begin(), Agents.end(), O.Agent) == Agents.end())
        Agents.push_back(O.Agent);
  EFI_STATUS Result = EFI_SUCCESS;
  for (EFI_HANDLE Agent : Agents) {
    auto* B = (DriverBindingInterface*)InterfaceOn(Agent, DriverBindingInterface::Guid);
    if (B == nullptr) continue;
    if (DriverImage != nullptr && DriverImage != Agent && DriverImage != B->ImageHandle) continue;
    std::vector<EFI_HANDLE> Children;
    H = Get(Controller);
    if (H == nullptr) break;
    for (auto& I : H->Interfaces)
      for (auto& O : I->Opens)
        if ((O.Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER) && O.Agent == Agent &&
            std::find(Children.begin(), Children.end(), O.Controller) == Children.end())
          Children.push_back(O.Controller);
    if (Child != nullptr) {
      if (std::find(Children.begin(), Children.end(), Child) == Children.end()) continue;
      Children = {Child};
    }
    EFI_STATUS S = EFI_SUCCESS;
    if (!Children.empty()) S = B->Stop(B, Controller, Children.size(), Children.data());
    if (!EFI_ERROR(S) && Child == nullptr) S = B->Stop(B, Controller, 0, nullptr);
    if (EFI_ERROR(S)) Result = S;
  }
  return Result;
}

}  // namespace sim
