#include "tests/lib/fake_firmware.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {
FakeFirmware* gCurrent = nullptr;

EFI_STATUS EFIAPI FakeAllocatePool(EFI_MEMORY_TYPE, UINTN Size, VOID** Buffer) {
  FakeFirmware& Fw = FakeFirmware::Current();
  ++Fw.Allocations;
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (Fw.Allocations == Fw.FailAllocationNumber) return EFI_OUT_OF_RESOURCES;
  void* p = std::malloc(Size == 0 ? 1 : Size);
  if (p == nullptr) return EFI_OUT_OF_RESOURCES;
  std::memset(p, 0xA5, Size);
  Fw.Live[p] = Size;
  *Buffer = p;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeFreePool(VOID* Buffer) {
  FakeFirmware& Fw = FakeFirmware::Current();
  auto it = Fw.Live.find(Buffer);
  if (it == Fw.Live.end()) {
    ++Fw.BadFrees;
    return EFI_INVALID_PARAMETER;
  }
  Fw.Live.erase(it);
  std::free(Buffer);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeCreateEvent(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID* Context,
                                  EFI_EVENT* Event) {
  FakeFirmware& Fw = FakeFirmware::Current();
  if (Event == nullptr) return EFI_INVALID_PARAMETER;
  if (EFI_ERROR(Fw.CreateEventStatus)) return Fw.CreateEventStatus;
  Fw.Events.push_back({Type, Tpl, Notify, Context});
  *Event = (EFI_EVENT)(UINTN)Fw.Events.size();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeRegisterProtocolNotify(const EFI_GUID* Protocol, EFI_EVENT Event, VOID** Registration) {
  FakeFirmware& Fw = FakeFirmware::Current();
  if (Protocol == nullptr || Registration == nullptr) return EFI_INVALID_PARAMETER;
  Fw.Notifies.push_back({*Protocol, Event});
  *Registration = (VOID*)(UINTN)(0x100 + Fw.Notifies.size());
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeGetVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* DataSize,
                                  VOID* Data) {
  FakeFirmware& Fw = FakeFirmware::Current();
  ++Fw.GetVariableCalls;
  if (Fw.GetVariableCalls == Fw.FailGetVariableCall) return EFI_DEVICE_ERROR;
  if (Name == nullptr || Guid == nullptr || DataSize == nullptr) return EFI_INVALID_PARAMETER;
  auto it = Fw.Variables.find(FakeFirmware::Key(Name, Guid));
  if (it == Fw.Variables.end()) return EFI_NOT_FOUND;
  const std::vector<UINT8>& Value = it->second;
  if (*DataSize < Value.size() || Data == nullptr) {
    *DataSize = Value.size();
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(Data, Value.data(), Value.size());
  *DataSize = Value.size();
  if (Attributes != nullptr) *Attributes = 3;
  return EFI_SUCCESS;
}
}  // namespace

FakeFirmware::FakeFirmware() {
  if (gCurrent != nullptr) throw std::logic_error("one FakeFirmware at a time");
  gCurrent = this;
  BootServices.Hdr.Signature = EFI_BOOT_SERVICES::Signature;
  BootServices.AllocatePool = FakeAllocatePool;
  BootServices.FreePool = FakeFreePool;
  BootServices.CreateEvent = FakeCreateEvent;
  BootServices.RegisterProtocolNotify = FakeRegisterProtocolNotify;
  RuntimeServices.Hdr.Signature = EFI_RUNTIME_SERVICES::Signature;
  RuntimeServices.GetVariable = FakeGetVariable;
  SystemTable.Hdr.Signature = EFI_SYSTEM_TABLE::Signature;
  SystemTable.BootServices = &BootServices;
  SystemTable.RuntimeServices = &RuntimeServices;
  Refresh();
  LibResetState();
  LibraryInit(ImageHandle, &SystemTable);
}

FakeFirmware::~FakeFirmware() {
  LibResetState();
  for (auto& [Buffer, Size] : Live) std::free(Buffer);
  gCurrent = nullptr;
}

FakeFirmware& FakeFirmware::Current() {
  if (gCurrent == nullptr) throw std::logic_error("no FakeFirmware");
  return *gCurrent;
}

FakeFirmware::VariableKey FakeFirmware::Key(const CHAR16* Name, const EFI_GUID* Guid) {
  return {std::u16string(Name), std::string((const char*)Guid, sizeof(EFI_GUID))};
}

void FakeFirmware::PutVariable(const std::u16string& Name, const EFI_GUID& Guid, std::vector<UINT8> Data) {
  Variables[Key(Name.c_str(), &Guid)] = std::move(Data);
}

void FakeFirmware::AddConfigurationTable(const EFI_GUID& Guid, void* Table) {
  Tables.push_back({Guid, Table});
  Refresh();
}

void FakeFirmware::Refresh() {
  SystemTable.NumberOfTableEntries = Tables.size();
  SystemTable.ConfigurationTable = Tables.empty() ? nullptr : Tables.data();
}
