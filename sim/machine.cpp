#include "sim/machine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "lib/firmware_services.h"
#include "sim/crc32.h"
#include "sim/hii/hii_database.h"

namespace sim {

namespace {
Machine* gMachine = nullptr;

// Wall clock of simulated time 0.
constexpr int BASE_YEAR = 2026, BASE_MONTH = 1, BASE_DAY = 5, BASE_HOUR = 10;

constexpr size_t DXE_SERVICE_COUNT = 18;
}  // namespace

struct DxeServicesTable {
  EFI_DXE_SERVICES Table;
  VOID* Services[DXE_SERVICE_COUNT];
};

struct Machine::Boot {
  explicit Boot(Machine& M)
      : Events([&M](const std::string& What) { M.ReportMisuse(What); }), Handles(Pool, Events) {
    Pool.SetGuardHandler([&M](const std::string& What) { M.ReportMisuse(What); });
  }
  sim::Pool Pool;
  sim::Events Events;
  HandleDatabase Handles;
  Console ConOut, StdErr;
  std::unique_ptr<sim::Board> Board;
  EFI_BOOT_SERVICES Bs{};
  EFI_RUNTIME_SERVICES Rt{};
  EFI_SYSTEM_TABLE St{};
  std::u16string Vendor;
  DxeServicesTable Dxe{};
  std::vector<EFI_CONFIGURATION_TABLE> Config;
  CoreImageMarker Core{"firmware core"};
  std::deque<ImageMarker> Images;
  EFI_HANDLE CoreImage = nullptr;
  UINT64 Monotonic = 0;
  std::optional<UINTN> Watchdog;
  std::unique_ptr<HiiServices> Hii;
};

namespace {

Machine::Boot& B() { return Machine::Current()->CurrentBoot(); }

std::optional<EFI_STATUS> Fault(FaultableService S) { return Machine::Current()->Faults().Enter(S); }

void UpdateCrc(EFI_TABLE_HEADER* Hdr) {
  Hdr->CRC32 = 0;
  Hdr->CRC32 = Crc32(Hdr, Hdr->HeaderSize);
}

void RefreshSystemTable() {
  auto& b = B();
  b.St.NumberOfTableEntries = b.Config.size();
  b.St.ConfigurationTable = b.Config.empty() ? nullptr : b.Config.data();
  UpdateCrc(&b.St.Hdr);
}

// ---- Boot services -------------------------------------------------------

EFI_TPL EFIAPI RaiseTpl(EFI_TPL New) { return B().Events.RaiseTpl(New); }
VOID EFIAPI RestoreTpl(EFI_TPL Old) { B().Events.RestoreTpl(Old); }

// Page allocation and the memory map are not simulated: drivers here use pool only.
EFI_STATUS EFIAPI AllocatePages(EFI_ALLOCATE_TYPE, EFI_MEMORY_TYPE, UINTN, EFI_PHYSICAL_ADDRESS*) {
  return EFI_UNSUPPORTED;
}
EFI_STATUS EFIAPI FreePages(EFI_PHYSICAL_ADDRESS, UINTN) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI GetMemoryMap(UINTN*, EFI_MEMORY_DESCRIPTOR*, UINTN*, UINTN*, UINT32*) { return EFI_UNSUPPORTED; }

EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer) {
  return B().Pool.Allocate(Type, Size, Buffer, __builtin_return_address(0));
}

EFI_STATUS EFIAPI FreePool(VOID* Buffer) {
  EFI_STATUS S = B().Pool.Free(Buffer);
  if (EFI_ERROR(S)) {
    char Text[80];
    std::snprintf(Text, sizeof Text, "FreePool of %p, which is not a live pool buffer", Buffer);
    Machine::Current()->ReportMisuse(Text);
  }
  return S;
}

EFI_STATUS EFIAPI CreateEvent(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID* Context, EFI_EVENT* Event) {
  return B().Events.Create(Type, Tpl, Notify, Context, nullptr, Event);
}
EFI_STATUS EFIAPI CreateEventEx(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID* Context,
                                const EFI_GUID* Group, EFI_EVENT* Event) {
  return B().Events.Create(Type, Tpl, Notify, Context, Group, Event);
}
EFI_STATUS EFIAPI SetTimer(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 Time) {
  return B().Events.SetTimer(Event, Type, Time);
}
EFI_STATUS EFIAPI WaitForEvent(UINTN Count, EFI_EVENT* Events, UINTN* Index) {
  return B().Events.Wait(Count, Events, Index);
}
EFI_STATUS EFIAPI SignalEvent(EFI_EVENT Event) { return B().Events.Signal(Event); }
EFI_STATUS EFIAPI CloseEvent(EFI_EVENT Event) { return B().Events.Close(Event); }
EFI_STATUS EFIAPI CheckEvent(EFI_EVENT Event) { return B().Events.Check(Event); }

EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE* Handle, const EFI_GUID* Protocol, EFI_INTERFACE_TYPE Type,
                                           VOID* Interface) {
  return B().Handles.Install(Handle, Protocol, Type, Interface);
}
EFI_STATUS EFIAPI ReinstallProtocolInterface(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* Old, VOID* New) {
  return B().Handles.Reinstall(Handle, Protocol, Old, New);
}
EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* Interface) {
  return B().Handles.Uninstall(Handle, Protocol, Interface);
}
EFI_STATUS EFIAPI HandleProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface) {
  if (auto F = Fault(FaultableService::HandleProtocol)) return *F;
  return B().Handles.HandleProtocol(Handle, Protocol, Interface);
}
EFI_STATUS EFIAPI RegisterProtocolNotify(const EFI_GUID* Protocol, EFI_EVENT Event, VOID** Registration) {
  return B().Handles.RegisterProtocolNotify(Protocol, Event, Registration);
}
EFI_STATUS EFIAPI LocateHandle(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key, UINTN* Size,
                               EFI_HANDLE* Buffer) {
  return B().Handles.LocateHandle(Type, Protocol, Key, Size, Buffer);
}
EFI_STATUS EFIAPI LocateDevicePath(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** Path, EFI_HANDLE* Device) {
  return B().Handles.LocateDevicePath(Protocol, Path, Device);
}

EFI_STATUS EFIAPI InstallConfigurationTable(const EFI_GUID* Guid, VOID* Table) {
  if (Guid == nullptr) return EFI_INVALID_PARAMETER;
  auto& Config = B().Config;
  for (size_t I = 0; I < Config.size(); ++I)
    if (Config[I].VendorGuid == *Guid) {
      if (Table == nullptr)
        Config.erase(Config.begin() + I);
      else
        Config[I].VendorTable = Table;
      RefreshSystemTable();
      return EFI_SUCCESS;
    }
  if (Table == nullptr) return EFI_NOT_FOUND;
  Config.push_back(EFI_CONFIGURATION_TABLE{*Guid, Table});
  RefreshSystemTable();
  return EFI_SUCCESS;
}

// Images come from Machine::LoadImage; loading from a device path or buffer,
// and leaving boot services, are outside what the simulator offers.
EFI_STATUS EFIAPI LoadImageService(BOOLEAN, EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL*, VOID*, UINTN, EFI_HANDLE*) {
  return EFI_UNSUPPORTED;
}
EFI_STATUS EFIAPI StartImage(EFI_HANDLE, UINTN*, CHAR16**) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI Exit(EFI_HANDLE, EFI_STATUS, UINTN, CHAR16*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI UnloadImage(EFI_HANDLE) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI ExitBootServices(EFI_HANDLE, UINTN) { return EFI_UNSUPPORTED; }

EFI_STATUS EFIAPI GetNextMonotonicCount(UINT64* Count) {
  if (Count == nullptr) return EFI_INVALID_PARAMETER;
  *Count = B().Monotonic++;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Stall(UINTN Microseconds) {
  Machine::Current()->AdvanceTime(Microseconds);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetWatchdogTimer(UINTN Timeout, UINT64 Code, UINTN DataSize, CHAR16* Data) {
  if (Code <= 0xFFFF && Timeout != 0) return EFI_INVALID_PARAMETER;  // firmware-reserved codes
  if (Timeout == 0)
    B().Watchdog.reset();
  else
    B().Watchdog = Timeout;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ConnectController(EFI_HANDLE Controller, EFI_HANDLE* Drivers, EFI_DEVICE_PATH_PROTOCOL* Remaining,
                                    BOOLEAN Recursive) {
  return B().Handles.ConnectController(Controller, Drivers, Remaining, Recursive != 0);
}
EFI_STATUS EFIAPI DisconnectController(EFI_HANDLE Controller, EFI_HANDLE Driver, EFI_HANDLE Child) {
  return B().Handles.DisconnectController(Controller, Driver, Child);
}
EFI_STATUS EFIAPI OpenProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface, EFI_HANDLE Agent,
                               EFI_HANDLE Controller, UINT32 Attributes) {
  if (auto F = Fault(FaultableService::OpenProtocol)) return *F;
  return B().Handles.OpenProtocol(Handle, Protocol, Interface, Agent, Controller, Attributes);
}
EFI_STATUS EFIAPI CloseProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, EFI_HANDLE Agent, EFI_HANDLE Controller) {
  return B().Handles.CloseProtocol(Handle, Protocol, Agent, Controller);
}
EFI_STATUS EFIAPI OpenProtocolInformation(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                          EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** Entries, UINTN* Count) {
  return B().Handles.OpenProtocolInformation(Handle, Protocol, Entries, Count);
}
EFI_STATUS EFIAPI ProtocolsPerHandle(EFI_HANDLE Handle, EFI_GUID*** Buffer, UINTN* Count) {
  return B().Handles.ProtocolsPerHandle(Handle, Buffer, Count);
}
EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key, UINTN* Count,
                                     EFI_HANDLE** Buffer) {
  if (auto F = Fault(FaultableService::LocateHandleBuffer)) return *F;
  return B().Handles.LocateHandleBuffer(Type, Protocol, Key, Count, Buffer);
}
EFI_STATUS EFIAPI LocateProtocol(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface) {
  if (auto F = Fault(FaultableService::LocateProtocol)) return *F;
  return B().Handles.LocateProtocol(Protocol, Registration, Interface);
}

// The (GUID, interface) pairs of a variadic call, up to the null GUID.
std::vector<std::pair<const EFI_GUID*, VOID*>> ProtocolPairs(__builtin_ms_va_list& Args) {
  std::vector<std::pair<const EFI_GUID*, VOID*>> Pairs;
  for (;;) {
    const EFI_GUID* Guid = __builtin_va_arg(Args, const EFI_GUID*);
    if (Guid == nullptr) break;
    VOID* Interface = __builtin_va_arg(Args, VOID*);
    Pairs.emplace_back(Guid, Interface);
  }
  return Pairs;
}

EFI_STATUS EFIAPI InstallMultipleProtocolInterfaces(EFI_HANDLE* Handle, ...) {
  __builtin_ms_va_list Args;
  __builtin_ms_va_start(Args, Handle);
  auto Pairs = ProtocolPairs(Args);
  __builtin_ms_va_end(Args);
  return B().Handles.InstallMultiple(Handle, Pairs);
}

EFI_STATUS EFIAPI UninstallMultipleProtocolInterfaces(EFI_HANDLE Handle, ...) {
  __builtin_ms_va_list Args;
  __builtin_ms_va_start(Args, Handle);
  auto Pairs = ProtocolPairs(Args);
  __builtin_ms_va_end(Args);
  return B().Handles.UninstallMultiple(Handle, Pairs);
}

EFI_STATUS EFIAPI CalculateCrc32(const VOID* Data, UINTN Size, UINT32* Crc) {
  if (Data == nullptr || Size == 0 || Crc == nullptr) return EFI_INVALID_PARAMETER;
  *Crc = Crc32(Data, Size);
  return EFI_SUCCESS;
}

VOID EFIAPI CopyMem(VOID* Destination, const VOID* Source, UINTN Length) {
  if (Length) std::memmove(Destination, Source, Length);
}
VOID EFIAPI SetMem(VOID* Buffer, UINTN Size, UINT8 Value) {
  if (Size) std::memset(Buffer, Value, Size);
}

// ---- Runtime services ----------------------------------------------------

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t Z, int& Year, unsigned& Month, unsigned& Day) {
  Z += 719468;
  int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  unsigned Doe = (unsigned)(Z - Era * 146097);
  unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  int64_t Y = (int64_t)Yoe + Era * 400;
  unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  unsigned Mp = (5 * Doy + 2) / 153;
  Day = Doy - (153 * Mp + 2) / 5 + 1;
  Month = Mp < 10 ? Mp + 3 : Mp - 9;
  Year = (int)(Y + (Month <= 2));
}

int64_t DaysFromCivil(int Y, unsigned M, unsigned D) {
  Y -= M <= 2;
  int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  unsigned Yoe = (unsigned)(Y - Era * 400);
  unsigned Doy = (153 * (M > 2 ? M - 3 : M + 9) + 2) / 5 + D - 1;
  unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + (int64_t)Doe - 719468;
}

EFI_STATUS EFIAPI GetTime(EFI_TIME* Time, EFI_TIME_CAPABILITIES* Caps) {
  if (Time == nullptr) return EFI_INVALID_PARAMETER;
  UINT64 Units = B().Events.Now();  // 100 ns
  int64_t Seconds = DaysFromCivil(BASE_YEAR, BASE_MONTH, BASE_DAY) * 86400 + BASE_HOUR * 3600 + (int64_t)(Units / 10000000);
  int Year;
  unsigned Month, Day;
  CivilFromDays(Seconds / 86400, Year, Month, Day);
  int64_t Rest = Seconds % 86400;
  *Time = EFI_TIME{};
  Time->Year = (UINT16)Year;
  Time->Month = (UINT8)Month;
  Time->Day = (UINT8)Day;
  Time->Hour = (UINT8)(Rest / 3600);
  Time->Minute = (UINT8)(Rest / 60 % 60);
  Time->Second = (UINT8)(Rest % 60);
  Time->Nanosecond = (UINT32)(Units % 10000000) * 100;
  Time->TimeZone = 0x07FF;  // unspecified
  if (Caps) *Caps = EFI_TIME_CAPABILITIES{1, 50000000, 0};
  return EFI_SUCCESS;
}

// The real-time clock is read-only here; wake-up, virtual mapping and capsules
// belong to phases the simulator does not reach.
EFI_STATUS EFIAPI SetTime(EFI_TIME*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI GetWakeupTime(BOOLEAN*, BOOLEAN*, EFI_TIME*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI SetWakeupTime(BOOLEAN, EFI_TIME*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI SetVirtualAddressMap(UINTN, UINTN, UINT32, EFI_MEMORY_DESCRIPTOR*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI ConvertPointer(UINTN, VOID**) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI UpdateCapsule(EFI_CAPSULE_HEADER**, UINTN, EFI_PHYSICAL_ADDRESS) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI QueryCapsuleCapabilities(EFI_CAPSULE_HEADER**, UINTN, UINT64*, EFI_RESET_TYPE*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI GetVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* Size, VOID* Data) {
  if (auto F = Fault(FaultableService::GetVariable)) return *F;
  return Machine::Current()->Variables().Get(Name, Guid, Attributes, Size, Data);
}
EFI_STATUS EFIAPI GetNextVariableName(UINTN* Size, CHAR16* Name, EFI_GUID* Guid) {
  return Machine::Current()->Variables().GetNextName(Size, Name, Guid);
}
EFI_STATUS EFIAPI SetVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT32 Attributes, UINTN Size,
                              const VOID* Data) {
  if (auto F = Fault(FaultableService::SetVariable)) return *F;
  return Machine::Current()->Variables().Set(Name, Guid, Attributes, Size, Data);
}
EFI_STATUS EFIAPI QueryVariableInfo(UINT32 Attributes, UINT64* Max, UINT64* Remaining, UINT64* MaxVar) {
  return Machine::Current()->Variables().QueryInfo(Attributes, Max, Remaining, MaxVar);
}
EFI_STATUS EFIAPI GetNextHighMonotonicCount(UINT32* High) {
  if (High == nullptr) return EFI_INVALID_PARAMETER;
  auto& b = B();
  b.Monotonic = ((b.Monotonic >> 32) + 1) << 32;
  *High = (UINT32)(b.Monotonic >> 32);
  return EFI_SUCCESS;
}
VOID EFIAPI ResetSystem(EFI_RESET_TYPE Type, EFI_STATUS Status, UINTN Size, VOID* Data) {
  Machine::Current()->RecordReset(Type, Status, Size, Data);
}

EFI_STATUS EFIAPI DxeServiceUnsupported() { return EFI_UNSUPPORTED; }

}  // namespace

// ---- Machine -------------------------------------------------------------

Machine* Machine::Current() { return gMachine; }

Machine::Machine(const BoardProfile& Profile) : Profile_(Profile) {
  if (gMachine != nullptr) {
    std::fprintf(stderr, "sim::Machine: a second machine was created while one is running\n");
    std::abort();
  }
  gMachine = this;
  Variables_.SetMaxVariableSize(Profile_.VariableStore.MaxVariableSize);
  Variables_.SetStorageSize(Profile_.VariableStore.NonVolatileSize, Profile_.VariableStore.VolatileSize);
  LibResetState();
  PowerOn();
}

Machine::~Machine() {
  for (auto& I : Images_)
    if (I.ResetState) I.ResetState();
  LibResetState();
  Boot_->Hii.reset();
  AttachBoardModel(nullptr);
  Boot_.reset();
  gMachine = nullptr;
}

Machine::Boot& Machine::CurrentBoot() { return *Boot_; }

EFI_SYSTEM_TABLE* Machine::SystemTable() { return &Boot_->St; }
EFI_BOOT_SERVICES* Machine::BootServices() { return &Boot_->Bs; }
EFI_RUNTIME_SERVICES* Machine::RuntimeServices() { return &Boot_->Rt; }
Pool& Machine::Pool() { return Boot_->Pool; }
HandleDatabase& Machine::Handles() { return Boot_->Handles; }
Events& Machine::Events() { return Boot_->Events; }
Console& Machine::ConOut() { return Boot_->ConOut; }
Console& Machine::StdErr() { return Boot_->StdErr; }
Board& Machine::Board() { return *Boot_->Board; }
HiiServices& Machine::Hii() { return *Boot_->Hii; }

void Machine::PowerOn() {
  ++BootCount_;
  Reset_.reset();
  ImageHandles_.clear();
  Boot_ = std::make_unique<Boot>(*this);
  Boot& b = *Boot_;
  b.Board = std::make_unique<sim::Board>(Profile_);
  AttachBoardModel(b.Board.get());
  b.Events.SetCloseListener([&b](EFI_EVENT E) { b.Handles.ForgetEvent(E); });

  b.Bs.Hdr = EFI_TABLE_HEADER{EFI_BOOT_SERVICES::Signature, Profile_.Firmware.UefiRevision,
                              (UINT32)sizeof(EFI_BOOT_SERVICES), 0, 0};
  b.Bs.RaiseTPL = RaiseTpl;
  b.Bs.RestoreTPL = RestoreTpl;
  b.Bs.AllocatePages = AllocatePages;
  b.Bs.FreePages = FreePages;
  b.Bs.GetMemoryMap = GetMemoryMap;
  b.Bs.AllocatePool = AllocatePool;
  b.Bs.FreePool = FreePool;
  b.Bs.CreateEvent = CreateEvent;
  b.Bs.SetTimer = SetTimer;
  b.Bs.WaitForEvent = WaitForEvent;
  b.Bs.SignalEvent = SignalEvent;
  b.Bs.CloseEvent = CloseEvent;
  b.Bs.CheckEvent = CheckEvent;
  b.Bs.InstallProtocolInterface = InstallProtocolInterface;
  b.Bs.ReinstallProtocolInterface = ReinstallProtocolInterface;
  b.Bs.UninstallProtocolInterface = UninstallProtocolInterface;
  b.Bs.HandleProtocol = HandleProtocol;
  b.Bs.Reserved = nullptr;
  b.Bs.RegisterProtocolNotify = RegisterProtocolNotify;
  b.Bs.LocateHandle = LocateHandle;
  b.Bs.LocateDevicePath = LocateDevicePath;
  b.Bs.InstallConfigurationTable = InstallConfigurationTable;
  b.Bs.LoadImage = LoadImageService;
  b.Bs.StartImage = StartImage;
  b.Bs.Exit = Exit;
  b.Bs.UnloadImage = UnloadImage;
  b.Bs.ExitBootServices = ExitBootServices;
  b.Bs.GetNextMonotonicCount = GetNextMonotonicCount;
  b.Bs.Stall = Stall;
  b.Bs.SetWatchdogTimer = SetWatchdogTimer;
  b.Bs.ConnectController = ConnectController;
  b.Bs.DisconnectController = DisconnectController;
  b.Bs.OpenProtocol = OpenProtocol;
  b.Bs.CloseProtocol = CloseProtocol;
  b.Bs.OpenProtocolInformation = OpenProtocolInformation;
  b.Bs.ProtocolsPerHandle = ProtocolsPerHandle;
  b.Bs.LocateHandleBuffer = LocateHandleBuffer;
  b.Bs.LocateProtocol = LocateProtocol;
  b.Bs.InstallMultipleProtocolInterfaces = InstallMultipleProtocolInterfaces;
  b.Bs.UninstallMultipleProtocolInterfaces = UninstallMultipleProtocolInterfaces;
  b.Bs.CalculateCrc32 = CalculateCrc32;
  b.Bs.CopyMem = CopyMem;
  b.Bs.SetMem = SetMem;
  b.Bs.CreateEventEx = CreateEventEx;
  UpdateCrc(&b.Bs.Hdr);

  b.Rt.Hdr = EFI_TABLE_HEADER{EFI_RUNTIME_SERVICES::Signature, Profile_.Firmware.UefiRevision,
                              (UINT32)sizeof(EFI_RUNTIME_SERVICES), 0, 0};
  b.Rt.GetTime = GetTime;
  b.Rt.SetTime = SetTime;
  b.Rt.GetWakeupTime = GetWakeupTime;
  b.Rt.SetWakeupTime = SetWakeupTime;
  b.Rt.SetVirtualAddressMap = SetVirtualAddressMap;
  b.Rt.ConvertPointer = ConvertPointer;
  b.Rt.GetVariable = GetVariable;
  b.Rt.GetNextVariableName = GetNextVariableName;
  b.Rt.SetVariable = SetVariable;
  b.Rt.GetNextHighMonotonicCount = GetNextHighMonotonicCount;
  b.Rt.ResetSystem = ResetSystem;
  b.Rt.UpdateCapsule = UpdateCapsule;
  b.Rt.QueryCapsuleCapabilities = QueryCapsuleCapabilities;
  b.Rt.QueryVariableInfo = QueryVariableInfo;
  UpdateCrc(&b.Rt.Hdr);

  b.Dxe.Table.Hdr = EFI_TABLE_HEADER{EFI_DXE_SERVICES::Signature, Profile_.Firmware.DxeServicesRevision,
                                     (UINT32)sizeof(DxeServicesTable), 0, 0};
  for (auto& S : b.Dxe.Services) S = (VOID*)&DxeServiceUnsupported;
  UpdateCrc(&b.Dxe.Table.Hdr);

  b.Vendor = Profile_.Firmware.Vendor;
  b.St.Hdr = EFI_TABLE_HEADER{EFI_SYSTEM_TABLE::Signature, Profile_.Firmware.UefiRevision,
                              (UINT32)sizeof(EFI_SYSTEM_TABLE), 0, 0};
  b.St.FirmwareVendor = b.Vendor.data();
  b.St.FirmwareRevision = Profile_.Firmware.Revision;
  b.St.RuntimeServices = &b.Rt;
  b.St.BootServices = &b.Bs;
  b.Config.push_back(EFI_CONFIGURATION_TABLE{EFI_DXE_SERVICES_TABLE_GUID, &b.Dxe});
  b.Config.push_back(EFI_CONFIGURATION_TABLE{EFI_HOB_LIST_GUID, b.Board->HobList()});
  RefreshSystemTable();

  // Handles the firmware owns: its core image and the two consoles.
  b.Handles.Install(&b.CoreImage, &CoreImageMarker::Guid, EFI_NATIVE_INTERFACE, &b.Core);
  b.Handles.SetCoreImageHandle(b.CoreImage);
  EFI_HANDLE Out = nullptr, Err = nullptr;
  b.Handles.Install(&Out, &EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL::Guid, EFI_NATIVE_INTERFACE, b.ConOut.Protocol());
  b.Handles.Install(&Err, &EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL::Guid, EFI_NATIVE_INTERFACE, b.StdErr.Protocol());
  b.St.ConsoleOutHandle = Out;
  b.St.ConOut = b.ConOut.Protocol();
  b.St.StandardErrorHandle = Err;
  b.St.StdErr = b.StdErr.Protocol();
  RefreshSystemTable();

  // Variables the board's other drivers would have written by now.
  for (auto& V : Profile_.Variables)
    if (Variables_.Find(V.Name, V.Guid) == nullptr) Variables_.Put(V.Name, V.Guid, V.Attributes, V.Data);

  b.Hii = InstallHiiServices(&b.St);
  b.Hii->Database->SetFaults(&Faults_);
  // What the firmware itself holds in pool at this point lives as long as the boot.
  b.Pool.MarkAllResident();
}

void Machine::PowerOff() {
  for (auto& I : Images_)
    if (I.ResetState) I.ResetState();
  LibResetState();
  Boot_->Hii.reset();
  Boot_->Pool.CheckGuards();
  std::string Leaks = Boot_->Pool.LeakReport();
  if (!Leaks.empty()) EarlierLeaks_.push_back("boot " + std::to_string(BootCount_) + ":\n" + Leaks);
  AttachBoardModel(nullptr);
  Boot_.reset();
  Variables_.DropVolatile();
}

void Machine::Reboot() {
  PowerOff();
  PowerOn();
  std::vector<ImageDescriptor> Again = std::move(Images_);
  Images_.clear();
  for (auto& I : Again) LoadImage(I);
}

EFI_STATUS Machine::LoadImage(const ImageDescriptor& Image, EFI_HANDLE* ImageHandleOut) {
  Boot& b = *Boot_;
  b.Images.push_back(ImageMarker{Image.Name});
  EFI_HANDLE Handle = nullptr;
  EFI_STATUS S = b.Handles.Install(&Handle, &ImageMarker::Guid, EFI_NATIVE_INTERFACE, &b.Images.back());
  if (EFI_ERROR(S)) return S;
  Images_.push_back(Image);
  ImageHandles_.emplace_back(Image.Name ? Image.Name : "", Handle);
  if (ImageHandleOut) *ImageHandleOut = Handle;
  S = Image.Entry(Handle, &b.St);
  // A driver whose entry point fails is unloaded: its image handle goes away.
  // It is still part of the firmware and loads again at the next boot.
  if (EFI_ERROR(S)) {
    b.Handles.Uninstall(Handle, &ImageMarker::Guid, &b.Images.back());
    ImageHandles_.pop_back();
    if (ImageHandleOut) *ImageHandleOut = nullptr;
  }
  return S;
}

EFI_HANDLE Machine::ImageHandle(const char* Name) const {
  for (auto& [N, H] : ImageHandles_)
    if (N == Name) return H;
  return nullptr;
}

void Machine::SignalReadyToBoot() { Boot_->Events.SignalGroup(EFI_EVENT_GROUP_READY_TO_BOOT); }

std::string Machine::LeakReport() const {
  std::string Report;
  for (auto& L : EarlierLeaks_) Report += L;
  std::string Now = Boot_->Pool.LeakReport();
  if (!Now.empty()) Report += "boot " + std::to_string(BootCount_) + " (current):\n" + Now;
  return Report;
}

size_t Machine::LiveAllocationCount() const { return Boot_->Pool.LiveAllocationCount(); }

void Machine::AdvanceTime(UINT64 Microseconds) { Boot_->Events.AdvanceTime(Microseconds * 10); }

void Machine::RecordReset(EFI_RESET_TYPE Type, EFI_STATUS Status, UINTN Size, const VOID* Data) {
  ResetRecord R{Type, Status, {}};
  if (Data && Size) R.Data.assign((const UINT8*)Data, (const UINT8*)Data + Size);
  Reset_ = std::move(R);
}

}  // namespace sim
