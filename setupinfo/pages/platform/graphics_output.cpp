#include "setupinfo/pages/platform/graphics_output.h"

#include "lib/device_path_text.h"
#include "platform/graphics_output.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/pages/platform/graphics_walks.h"
#include "uefi/driver_model.h"
#include "uefi/graphics.h"

namespace {

constexpr OUTPUT_APPLY_HOOK OutputApplyHooks[] = {ApplyChosenOutput, nullptr};

inline constexpr BROWSER_STORE NB_GOP_PLATFORM_STORE = {NB_GOP_PLATFORM_DATA_NAME, &SETUP_VARIABLE_GUID,
                                                        sizeof(NB_GOP_PLATFORM_DATA)};

EFI_STATUS WriteVariable(const CHAR16* Name, const EFI_GUID& Guid, UINT32 Attributes, UINTN Size, const VOID* Data) {
  if (gRT() == nullptr) return EFI_NOT_READY;
  return gRT()->SetVariable(Name, &Guid, Attributes, Size, (VOID*)Data);
}

void WritePolicy(UINTN Controllers, UINTN Outputs) {
  const GOP_POLICY_SETUP_DATA Policy = {(UINT8)Min<UINTN>(Controllers, 0xFF), (UINT8)Min<UINTN>(Outputs, 0xFF)};
  WriteVariable(GOP_POLICY_SETUP_DATA_NAME, SETUP_VARIABLE_GUID, GOP_VOLATILE_ATTRIBUTES, sizeof(Policy), &Policy);
}

void ChildPathName(UINTN Index, CHAR16 (&Name)[CHILD_HANDLE_DP_NAME_CHARS]) {
  FormatWide(Name, CHILD_HANDLE_DP_NAME_CHARS, CHILD_HANDLE_DP_NAME_FORMAT, Index);
}

// A stored device path, refused unless it is one well-formed path.
struct STORED_PATH {
  PoolBuffer<UINT8> Bytes;
  UINTN Size = 0;  // to the end node included; 0 when refused or absent

  EFI_STATUS Read(const CHAR16* Name) {
    UINTN Stored = 0;
    Size = 0;
    EFI_STATUS Status = ReadWholeVariable(Name, &GOP_OUTPUT_VARIABLE_GUID, Bytes, &Stored);
    if (EFI_ERROR(Status)) return Status;
    const UINTN PathSize = BoundedDevicePathSize(Bytes.Get(), Min(Stored, MAX_OUTPUT_DEVICE_PATH_BYTES));
    if (PathSize == 0) {
      Bytes.Reset();
      return EFI_COMPROMISED_DATA;
    }
    Size = PathSize;
    return EFI_SUCCESS;
  }
  const EFI_DEVICE_PATH_PROTOCOL* Path() const { return (const EFI_DEVICE_PATH_PROTOCOL*)Bytes.Get(); }
};

// The device path a handle carries, with its size; none when it is not a
// well-formed path within the bound.
UINTN HandlePath(EFI_HANDLE Handle, const UINT8** Path) {
  auto* DevicePath = OpenByHandle<EFI_DEVICE_PATH_PROTOCOL>(Handle);
  *Path = (const UINT8*)DevicePath;
  return DevicePath == nullptr ? 0 : BoundedDevicePathSize(*Path, MAX_OUTPUT_DEVICE_PATH_BYTES);
}

// True when a handle carries exactly this device path.
bool OutputPresent(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  auto* Rest = (EFI_DEVICE_PATH_PROTOCOL*)Path;
  EFI_HANDLE Handle = nullptr;
  if (EFI_ERROR(gBS()->LocateDevicePath(&EFI_DEVICE_PATH_PROTOCOL::Guid, &Rest, &Handle))) return false;
  return Rest->Type == END_DEVICE_PATH_TYPE && Rest->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE;
}

bool SwitchWanted(const SETUP_RECORD* Setup) { return Setup->Get<setup::OutputSwitch>() == 1; }

// Lowers the browser's level to the output's maximum and applies it.
EFI_STATUS ApplyOutputLevel(EFI_HANDLE Output, SetupEdit& Setup, NB_GOP_PLATFORM_DATA& Flags, bool* Offered) {
  auto* Level = OpenByHandle<OUTPUT_LEVEL_PROTOCOL>(Output);
  *Offered = Level != nullptr && Level->Supported != 0;
  if (!*Offered) return EFI_UNSUPPORTED;
  Flags.LevelOffered = 1;
  UINT32 Max = 0;
  EFI_STATUS Status = Level->GetMaxLevel(Level, &Max);
  // Without a maximum the requested level cannot be checked: neither lowered nor applied.
  if (EFI_ERROR(Status)) return Status;
  SETUP_RECORD* Record = Setup.Record();
  UINT32 Wanted = Record->Get<setup::OutputLevel>();
  if (Wanted > Max) {
    Wanted = Max;
    Record->Set<setup::OutputLevel>(Wanted);
    Status = Setup.HandBack();
  }
  UINT32 Current = 0;
  Status = Level->GetLevel(Level, &Current);
  // An unknown current level is set anyway: the wanted one is within the maximum.
  if (EFI_ERROR(Status) || Current != Wanted) Status = Level->SetLevel(Level, Wanted);
  return Status;
}

EFI_STATUS ApplyOutputSwitch(EFI_HANDLE Output, bool On, NB_GOP_PLATFORM_DATA& Flags, bool* Offered) {
  auto* Switch = OpenByHandle<OUTPUT_SWITCH_PROTOCOL>(Output);
  *Offered = Switch != nullptr && Switch->Supported != 0;
  if (!*Offered) return EFI_UNSUPPORTED;
  Flags.SwitchOffered = 1;
  return On ? Switch->SwitchOn(Switch) : Switch->SwitchOff(Switch);
}

EFI_STATUS RunOutputApplyHooks(EFI_HANDLE Controller, EFI_HANDLE Driver, SetupEdit* Setup,
                               const EFI_DEVICE_PATH_PROTOCOL* Path) {
  EFI_STATUS Status = EFI_SUCCESS;
  for (const OUTPUT_APPLY_HOOK* Hook = OutputApplyHooks; *Hook != nullptr; ++Hook) {
    Status = (*Hook)(Controller, Driver, Setup, Path);
    if (!EFI_ERROR(Status)) return Status;
  }
  return Status;
}

struct RESOLUTION {
  UINT32 Horizontal;
  UINT32 Vertical;
  bool operator==(const RESOLUTION&) const = default;
};

bool CurrentResolution(EFI_GRAPHICS_OUTPUT_PROTOCOL* Gop, RESOLUTION* Resolution) {
  if (Gop->Mode == nullptr || Gop->Mode->Info == nullptr) return false;
  *Resolution = {Gop->Mode->Info->HorizontalResolution, Gop->Mode->Info->VerticalResolution};
  return true;
}

// The first mode of the remembered resolution that the output accepts.
EFI_STATUS ShowResolution(EFI_GRAPHICS_OUTPUT_PROTOCOL* Gop, const RESOLUTION& Wanted) {
  EFI_STATUS Status = EFI_NOT_FOUND;
  const UINT32 Modes = Min(Gop->Mode->MaxMode, MAX_MODES_TRIED);
  for (UINT32 Mode = 0; Mode < Modes; ++Mode) {
    UINTN InfoSize = 0;
    PoolBuffer<EFI_GRAPHICS_OUTPUT_MODE_INFORMATION> Info;
    Status = Gop->QueryMode(Gop, Mode, &InfoSize, (EFI_GRAPHICS_OUTPUT_MODE_INFORMATION**)Info.OutPtr());
    if (EFI_ERROR(Status) || !Info || InfoSize < sizeof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION)) continue;
    if (RESOLUTION{Info->HorizontalResolution, Info->VerticalResolution} != Wanted) continue;
    Status = Gop->SetMode(Gop, Mode);
    if (!EFI_ERROR(Status)) return Status;
  }
  return Status;
}

}  // namespace

VOID EFIAPI InitGraphicsOutputPage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != FORM_SET_CLASS_ADVANCED) return;
  WritePolicy(0, 0);
  CHAR8 Name[NAME_TEXT_BYTES] = {};

  UINTN Controllers = 0;
  // Outputs are numbered on across controllers, so a second controller's
  // rows and paths never overwrite the first one's.
  UINTN Outputs = 0;
  // Byte 1 of the policy record stays what the graphics driver reads there:
  // the outputs of the last controller whose list was built.
  UINTN LastListCount = 0;
  UINT8 Chosen = 0;
  const EFI_STATUS Status = ForEachDisplayController([&](const DISPLAY_CONTROLLER& Display) {
    const UINTN Number = Controllers++;
    if (Number < SHOWN_CONTROLLERS) {
      if (GetControllerNameText(Display.Driver, Display.Controller, nullptr, Name))
        SetPageText(HiiHandle, ControllerNameStrings[Number], Name);
      if (GetDriverNameText(Display.Driver, Name)) SetPageText(HiiHandle, DriverNameStrings[Number], Name);
      __builtin_memset(Name, 0, sizeof(Name));
    }
    HANDLE_LIST List;
    if (EFI_ERROR(CollectOutputHandles(Display.Driver, Display.Controller, List))) return;
    STORED_PATH Stored;
    Stored.Read(GOP_OUTPUT_DP_NAME);
    const UINTN First = Outputs;
    Outputs += List.Count;
    LastListCount = List.Count;
    for (UINTN k = 0; k < List.Count && First + k < SHOWN_OUTPUTS; ++k) {
      const UINTN Index = First + k;
      if (!GetControllerNameText(Display.Driver, Display.Controller, List[k], Name)) continue;
      const UINT8* Path = nullptr;
      const UINTN PathSize = HandlePath(List[k], &Path);
      if (PathSize > 0) {
        CHAR16 VariableName[CHILD_HANDLE_DP_NAME_CHARS];
        ChildPathName(Index, VariableName);
        WriteVariable(VariableName, GOP_OUTPUT_VARIABLE_GUID, GOP_VOLATILE_ATTRIBUTES, PathSize, Path);
        if (Stored.Size >= PathSize && __builtin_memcmp(Stored.Bytes.Get(), Path, PathSize) == 0)
          Chosen = (UINT8)Index;
      }
      SetPageText(HiiHandle, OutputNameStrings[Index], Name);
      __builtin_memset(Name, 0, sizeof(Name));
    }
  });
  if (EFI_ERROR(Status)) return;

  SETUP_RECORD Setup;
  if (!EFI_ERROR(ReadStoredSetup(&Setup))) {
    Setup.Set<setup::DisplayOutputIndex>(Chosen);
    WriteStoredSetup(&Setup);
  }
  WritePolicy(Controllers, LastListCount);
}

VOID EFIAPI InitOutputPlatformData(EFI_HII_HANDLE, UINT16) {
  SETUP_RECORD Setup;
  const bool On = !EFI_ERROR(ReadStoredSetup(&Setup)) && SwitchWanted(&Setup);
  NB_GOP_PLATFORM_DATA Flags = {0, 0};
  ForEachDisplayController([&](const DISPLAY_CONTROLLER& Display) {
    HANDLE_LIST Children;
    if (EFI_ERROR(GetChildHandles(Display.Driver, Display.Controller, Children))) return;
    for (UINTN i = 0; i < Children.Count; ++i) {
      if (HandleCarries(Children[i], EFI_GRAPHICS_OUTPUT_PROTOCOL::Guid)) {
        auto* Level = OpenByHandle<OUTPUT_LEVEL_PROTOCOL>(Children[i]);
        if (Level != nullptr && Level->Supported != 0) Flags.LevelOffered = 1;
        bool Offered = false;
        ApplyOutputSwitch(Children[i], On, Flags, &Offered);
      }
      WriteVariable(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID, GOP_VOLATILE_ATTRIBUTES, sizeof(Flags), &Flags);
    }
  });
}

EFI_STATUS EFIAPI OnOutputPropertyChanged(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  SetupEdit Setup;
  EFI_STATUS Status = Setup.Fetch();
  if (EFI_ERROR(Status)) return Status;
  BrowserStoreEdit FlagStore(NB_GOP_PLATFORM_STORE);
  NB_GOP_PLATFORM_DATA Flags = {0, 0};
  if (!EFI_ERROR(FlagStore.Fetch())) __builtin_memcpy(&Flags, FlagStore.Bytes(), sizeof(Flags));

  const bool On = SwitchWanted(Setup.Record());
  const EFI_STATUS Located = ForEachDisplayController([&](const DISPLAY_CONTROLLER& Display) {
    HANDLE_LIST Children;
    const EFI_STATUS Walk = GetChildHandles(Display.Driver, Display.Controller, Children);
    if (EFI_ERROR(Walk)) {
      Status = Walk;
      return;
    }
    for (UINTN i = 0; i < Children.Count; ++i) {
      if (!HandleCarries(Children[i], EFI_GRAPHICS_OUTPUT_PROTOCOL::Guid)) continue;
      bool Offered = false;
      const EFI_STATUS Step = Key == KEY_OUTPUT_LEVEL ? ApplyOutputLevel(Children[i], Setup, Flags, &Offered)
                                                      : ApplyOutputSwitch(Children[i], On, Flags, &Offered);
      if (Offered) Status = Step;
    }
  });
  if (EFI_ERROR(Located)) Status = Located;

  if (FlagStore.Fetched()) {
    __builtin_memcpy(FlagStore.Bytes(), &Flags, sizeof(Flags));
    FlagStore.HandBack();
  }
  return Status;
}

EFI_STATUS EFIAPI OnOutputChosen(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  SetupEdit Setup;
  EFI_STATUS Status = Setup.Fetch();
  if (EFI_ERROR(Status)) return Status;
  const UINT8 Index = Setup.Record()->Get<setup::DisplayOutputIndex>();

  const EFI_STATUS Located = ForEachDisplayController([&](const DISPLAY_CONTROLLER& Display) {
    VOID* Binding = nullptr;
    Status = gBS()->OpenProtocol(Display.Driver, &EFI_DRIVER_BINDING_PROTOCOL::Guid, &Binding, PageAgent(), nullptr,
                                 EFI_OPEN_PROTOCOL_GET_PROTOCOL);
    if (EFI_ERROR(Status)) return;

    HANDLE_LIST Outputs;
    Status = CollectOutputHandles(Display.Driver, Display.Controller, Outputs);
    if (EFI_ERROR(Status)) return;
    RESOLUTION Remembered = {0, 0};
    for (UINTN k = 0; k < Outputs.Count; ++k) {
      auto* Gop = OpenByHandle<EFI_GRAPHICS_OUTPUT_PROTOCOL>(Outputs[k]);
      if (Gop == nullptr) continue;
      CurrentResolution(Gop, &Remembered);
      break;
    }

    if (Index >= SHOWN_OUTPUTS) {
      Status = EFI_NOT_FOUND;
      return;
    }
    CHAR16 VariableName[CHILD_HANDLE_DP_NAME_CHARS];
    ChildPathName(Index, VariableName);
    STORED_PATH Chosen;
    Status = Chosen.Read(VariableName);
    if (EFI_ERROR(Status)) return;
    // Outputs are numbered across controllers: the path is applied only by
    // the controller it lies below.
    const UINT8* Own = nullptr;
    const UINTN OwnSize = HandlePath(Display.Controller, &Own);
    if (!DevicePathStartsWith(Chosen.Bytes.Get(), Chosen.Size, Own, OwnSize)) {
      Status = EFI_NOT_FOUND;
      return;
    }

    Status = RunOutputApplyHooks(Display.Controller, Display.Driver, &Setup, Chosen.Path());
    if (EFI_ERROR(Status)) return;
    Status = WriteVariable(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID, GOP_OUTPUT_DP_ATTRIBUTES, Chosen.Size,
                           Chosen.Bytes.Get());
    if (EFI_ERROR(Status)) return;

    Status = CollectOutputHandles(Display.Driver, Display.Controller, Outputs);
    if (EFI_ERROR(Status)) return;
    for (UINTN k = 0; k < Outputs.Count; ++k) {
      auto* Gop = OpenByHandle<EFI_GRAPHICS_OUTPUT_PROTOCOL>(Outputs[k]);
      if (Gop == nullptr || Gop->Mode == nullptr) continue;
      RESOLUTION Current = {0, 0};
      if (CurrentResolution(Gop, &Current) && Current == Remembered) break;
      Status = ShowResolution(Gop, Remembered);
    }
  });
  if (EFI_ERROR(Located)) Status = Located;
  return Status;
}

EFI_STATUS EFIAPI ApplyChosenOutput(EFI_HANDLE Controller, EFI_HANDLE, SetupEdit* Setup,
                                    const EFI_DEVICE_PATH_PROTOCOL* OutputPath) {
  auto* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(Controller);
  if (PciIo == nullptr || Setup == nullptr || OutputPath == nullptr) return EFI_UNSUPPORTED;
  // The vendor from configuration space, as every PCI I/O producer gives it.
  UINT16 Vendor = 0;
  if (EFI_ERROR(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint16, PCI_VENDOR_ID_OFFSET, 1, &Vendor)) ||
      Vendor != OUTPUT_APPLY_VENDOR_ID)
    return EFI_UNSUPPORTED;

  auto* Remaining = (EFI_DEVICE_PATH_PROTOCOL*)LastDevicePathNode(OutputPath);
  const EFI_STATUS Connected = gBS()->ConnectController(Controller, nullptr, Remaining, TRUE);

  NB_GOP_PLATFORM_DATA Flags = {0, 0};
  if (!EFI_ERROR(Connected)) {
    auto* Search = (EFI_DEVICE_PATH_PROTOCOL*)OutputPath;
    EFI_HANDLE Output = nullptr;
    if (!EFI_ERROR(gBS()->LocateDevicePath(&OUTPUT_LEVEL_PROTOCOL::Guid, &Search, &Output))) {
      bool Offered = false;
      ApplyOutputLevel(Output, *Setup, Flags, &Offered);
      ApplyOutputSwitch(Output, SwitchWanted(Setup->Record()), Flags, &Offered);
    }
  }
  const EFI_STATUS Status = SetBrowserData(sizeof(Flags), &Flags, &SETUP_VARIABLE_GUID, NB_GOP_PLATFORM_DATA_NAME);
  // A driver that already drives the output starts nothing new; only an
  // output that is not there after a failed connect is not kept as the choice.
  if (EFI_ERROR(Connected) && !OutputPresent(OutputPath)) return Connected;
  return Status;
}
