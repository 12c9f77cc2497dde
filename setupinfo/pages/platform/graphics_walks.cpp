#include "setupinfo/pages/platform/graphics_walks.h"

#include "platform/graphics_output.h"
#include "uefi/driver_model.h"
#include "uefi/graphics.h"

namespace {

// Room for one RFC 4646 language code taken from a supported-languages list.
constexpr UINTN LANGUAGE_CODE_BYTES = 36;

constexpr DISPLAY_CONTROLLER_FILTER DisplayControllerFilters[] = {AcceptDisplayClassController, nullptr};

EFI_STATUS AllHandlesList(HANDLE_LIST& List) {
  List.Count = 0;
  if (gBS() == nullptr) return EFI_NOT_READY;
  return gBS()->LocateHandleBuffer(AllHandles, nullptr, nullptr, &List.Count, (EFI_HANDLE**)List.Handles.OutPtr());
}

bool Listed(const HANDLE_LIST& List, EFI_HANDLE Handle) {
  for (UINTN i = 0; i < List.Count; ++i)
    if (List.Handles[i] == Handle) return true;
  return false;
}

struct PROTOCOL_LIST {
  PoolBuffer<EFI_GUID*> Guids;
  UINTN Count = 0;
};

EFI_STATUS ProtocolsOn(EFI_HANDLE Handle, PROTOCOL_LIST& List) {
  List.Count = 0;
  return gBS()->ProtocolsPerHandle(Handle, (EFI_GUID***)List.Guids.OutPtr(), &List.Count);
}

struct OPEN_RECORDS {
  PoolBuffer<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Entries;
  UINTN Count = 0;
};

EFI_STATUS OpenRecordsOf(EFI_HANDLE Handle, const EFI_GUID* Protocol, OPEN_RECORDS& Records) {
  Records.Count = 0;
  return gBS()->OpenProtocolInformation(Handle, Protocol,
                                        (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY**)Records.Entries.OutPtr(),
                                        &Records.Count);
}

// The walk below a controller: handles seen (the controller first) and the
// outputs found, both bounded.
struct OUTPUT_WALK {
  EFI_HANDLE Driver;
  EFI_HANDLE Seen[MAX_OUTPUT_WALK_HANDLES + 1];
  UINTN SeenCount;
  EFI_HANDLE* Outputs;
  UINTN OutputCount;
};

bool SeenBefore(const OUTPUT_WALK& Walk, EFI_HANDLE Handle) {
  for (UINTN i = 0; i < Walk.SeenCount; ++i)
    if (Walk.Seen[i] == Handle) return true;
  return false;
}

EFI_STATUS Descend(OUTPUT_WALK& Walk, EFI_HANDLE Parent, UINTN Depth) {
  HANDLE_LIST Children;
  const EFI_STATUS Status = GetChildHandles(Walk.Driver, Parent, Children);
  // Below the controller a child whose records cannot be read has no outputs.
  if (EFI_ERROR(Status)) return Depth == 0 || Status == EFI_OUT_OF_RESOURCES ? Status : EFI_SUCCESS;
  for (UINTN i = 0; i < Children.Count; ++i) {
    const EFI_HANDLE Child = Children[i];
    if (SeenBefore(Walk, Child)) continue;
    if (Walk.SeenCount > MAX_OUTPUT_WALK_HANDLES) break;
    Walk.Seen[Walk.SeenCount++] = Child;
    if (HandleCarries(Child, EFI_EDID_DISCOVERED_PROTOCOL::Guid)) {
      Walk.Outputs[Walk.OutputCount++] = Child;
    } else if (Depth + 1 < MAX_OUTPUT_WALK_DEPTH) {
      const EFI_STATUS Inner = Descend(Walk, Child, Depth + 1);
      if (EFI_ERROR(Inner)) return Inner;
    }
  }
  return EFI_SUCCESS;
}

template <typename PROTOCOL>
PROTOCOL* OpenNames(EFI_HANDLE Driver) {
  VOID* Interface = nullptr;
  if (EFI_ERROR(gBS()->OpenProtocol(Driver, &PROTOCOL::Guid, &Interface, PageAgent(), nullptr,
                                    EFI_OPEN_PROTOCOL_GET_PROTOCOL)))
    return nullptr;
  return (PROTOCOL*)Interface;
}

// The first language of a supported-languages list: a short code, read no
// further than that. False when the list has none that fits.
bool FirstLanguage(const CHAR8* Supported, CHAR8 (&First)[LANGUAGE_CODE_BYTES]) {
  __builtin_memset(First, 0, sizeof(First));
  if (Supported == nullptr) return false;
  UINTN Length = 0;
  while (Length < LANGUAGE_CODE_BYTES && Supported[Length] != 0 && Supported[Length] != ';') {
    First[Length] = Supported[Length];
    ++Length;
  }
  if (Length == 0 || Length == LANGUAGE_CODE_BYTES) {
    __builtin_memset(First, 0, sizeof(First));
    return false;
  }
  return true;
}

// Name(Protocol, Language, &Text) is called with either protocol type, each
// through its own function types.
template <typename NAMER>
bool AskComponentName(EFI_HANDLE Driver, NAMER&& Name, CHAR8 (&Buffer)[NAME_TEXT_BYTES]) {
  __builtin_memset(Buffer, 0, sizeof(Buffer));
  if (gBS() == nullptr) return false;
  CHAR16* Text = nullptr;
  if (auto* Names2 = OpenNames<EFI_COMPONENT_NAME2_PROTOCOL>(Driver)) {
    if (!EFI_ERROR(Name(Names2, "en-US", &Text)) && Text != nullptr) return CopyNameText(Text, Buffer);
    CHAR8 First[LANGUAGE_CODE_BYTES];
    Text = nullptr;
    if (FirstLanguage(Names2->SupportedLanguages, First) && !EFI_ERROR(Name(Names2, First, &Text)) &&
        Text != nullptr)
      return CopyNameText(Text, Buffer);
  }
  auto* Names = OpenNames<EFI_COMPONENT_NAME_PROTOCOL>(Driver);
  Text = nullptr;
  if (Names == nullptr || EFI_ERROR(Name(Names, "eng", &Text)) || Text == nullptr) return false;
  return CopyNameText(Text, Buffer);
}

}  // namespace

EFI_HANDLE PageAgent() { return gLib.ImageHandle; }

bool HandleCarries(EFI_HANDLE Handle, const EFI_GUID& Protocol) {
  return gBS() != nullptr &&
         !EFI_ERROR(gBS()->OpenProtocol(Handle, &Protocol, nullptr, PageAgent(), nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL));
}

EFI_STATUS FindManagingDriver(EFI_HANDLE Controller, EFI_HANDLE* Driver) {
  HANDLE_LIST All;
  if (Driver == nullptr || EFI_ERROR(AllHandlesList(All))) return EFI_NOT_FOUND;
  for (UINTN h = 0; h < All.Count; ++h) {
    // Records that cannot be read could hide the driver: no answer rather than a wrong one.
    PROTOCOL_LIST Protocols;
    if (EFI_ERROR(ProtocolsOn(All.Handles[h], Protocols))) return EFI_NOT_FOUND;
    for (UINTN p = 0; p < Protocols.Count; ++p) {
      OPEN_RECORDS Records;
      const EFI_STATUS Status = OpenRecordsOf(All.Handles[h], Protocols.Guids[p], Records);
      if (Status == EFI_OUT_OF_RESOURCES) return EFI_NOT_FOUND;
      if (EFI_ERROR(Status)) continue;
      for (UINTN r = 0; r < Records.Count; ++r) {
        const EFI_OPEN_PROTOCOL_INFORMATION_ENTRY& Entry = Records.Entries[r];
        if (Entry.ControllerHandle == Controller && (Entry.Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) != 0 &&
            Listed(All, Entry.AgentHandle)) {
          *Driver = Entry.AgentHandle;
          return EFI_SUCCESS;
        }
      }
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS GetChildHandles(EFI_HANDLE Driver, EFI_HANDLE Controller, HANDLE_LIST& Children) {
  Children.Handles.Reset();
  Children.Count = 0;
  HANDLE_LIST All;
  EFI_STATUS Status = AllHandlesList(All);
  if (EFI_ERROR(Status)) return Status;
  PROTOCOL_LIST Protocols;
  Status = ProtocolsOn(Controller, Protocols);
  if (EFI_ERROR(Status)) return Status;
  PoolBuffer<BOOLEAN> Marked;
  if (!Marked.Allocate(All.Count)) return EFI_OUT_OF_RESOURCES;
  UINTN Count = 0;
  for (UINTN p = 0; p < Protocols.Count; ++p) {
    OPEN_RECORDS Records;
    Status = OpenRecordsOf(Controller, Protocols.Guids[p], Records);
    // A child left out for want of pool would shift every later output.
    if (Status == EFI_OUT_OF_RESOURCES) return Status;
    if (EFI_ERROR(Status)) continue;
    for (UINTN r = 0; r < Records.Count; ++r) {
      const EFI_OPEN_PROTOCOL_INFORMATION_ENTRY& Entry = Records.Entries[r];
      if (Entry.AgentHandle != Driver || (Entry.Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER) == 0) continue;
      for (UINTN h = 0; h < All.Count; ++h)
        if (All.Handles[h] == Entry.ControllerHandle && !Marked[h]) {
          Marked[h] = TRUE;
          ++Count;
        }
    }
  }
  if (Count == 0) return EFI_SUCCESS;
  if (!Children.Handles.Allocate(Count)) return EFI_OUT_OF_RESOURCES;
  for (UINTN h = 0; h < All.Count; ++h)
    if (Marked[h]) Children.Handles[Children.Count++] = All.Handles[h];
  return EFI_SUCCESS;
}

EFI_STATUS CollectOutputHandles(EFI_HANDLE Driver, EFI_HANDLE Controller, HANDLE_LIST& Outputs) {
  Outputs.Handles.Reset();
  Outputs.Count = 0;
  PoolBuffer<EFI_HANDLE> Found;
  if (!Found.Allocate(MAX_OUTPUT_WALK_HANDLES)) return EFI_OUT_OF_RESOURCES;
  OUTPUT_WALK Walk = {};
  Walk.Driver = Driver;
  Walk.Seen[Walk.SeenCount++] = Controller;
  Walk.Outputs = Found.Get();
  const EFI_STATUS Status = Descend(Walk, Controller, 0);
  if (EFI_ERROR(Status)) return Status;
  if (Walk.OutputCount > 0) {
    Outputs.Handles = static_cast<PoolBuffer<EFI_HANDLE>&&>(Found);
    Outputs.Count = Walk.OutputCount;
  }
  return EFI_SUCCESS;
}

bool GetControllerNameText(EFI_HANDLE Driver, EFI_HANDLE Controller, EFI_HANDLE Child,
                           CHAR8 (&Buffer)[NAME_TEXT_BYTES]) {
  return AskComponentName(
      Driver,
      [&](auto* Names, const CHAR8* Language, CHAR16** Text) {
        return Names->GetControllerName(Names, Controller, Child, Language, Text);
      },
      Buffer);
}

bool GetDriverNameText(EFI_HANDLE Driver, CHAR8 (&Buffer)[NAME_TEXT_BYTES]) {
  return AskComponentName(
      Driver,
      [&](auto* Names, const CHAR8* Language, CHAR16** Text) {
        return Names->GetDriverName(Names, Language, Text);
      },
      Buffer);
}

EFI_STATUS EFIAPI AcceptDisplayClassController(EFI_HANDLE, EFI_HANDLE Driver, EFI_PCI_IO_PROTOCOL* PciIo) {
  if (PciIo == nullptr) return EFI_INVALID_PARAMETER;
  if (HandleCarries(Driver, EXCLUDED_DRIVER_MARKER_PROTOCOL::Guid)) return EFI_UNSUPPORTED;
  UINT8 BaseClass = 0;
  if (EFI_ERROR(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint8, PCI_BASE_CLASS_CODE_OFFSET, 1, &BaseClass)))
    return EFI_UNSUPPORTED;
  return BaseClass == PCI_CLASS_DISPLAY ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

EFI_STATUS RunDisplayControllerFilters(EFI_HANDLE Controller, EFI_HANDLE Driver, EFI_PCI_IO_PROTOCOL* PciIo) {
  EFI_STATUS Status = EFI_SUCCESS;
  for (const DISPLAY_CONTROLLER_FILTER* Filter = DisplayControllerFilters; *Filter != nullptr; ++Filter) {
    Status = (*Filter)(Controller, Driver, PciIo);
    if (!EFI_ERROR(Status)) return Status;
  }
  return Status;
}

EFI_STATUS LocatePciControllers(HANDLE_LIST& Controllers) {
  Controllers.Count = 0;
  if (gBS() == nullptr) return EFI_NOT_READY;
  return gBS()->LocateHandleBuffer(ByProtocol, &EFI_PCI_IO_PROTOCOL::Guid, nullptr, &Controllers.Count,
                                   (EFI_HANDLE**)Controllers.Handles.OutPtr());
}

bool QualifyDisplayController(EFI_HANDLE Controller, DISPLAY_CONTROLLER* Display) {
  auto* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(Controller);
  if (PciIo == nullptr) return false;
  EFI_HANDLE Driver = nullptr;
  if (EFI_ERROR(FindManagingDriver(Controller, &Driver))) return false;
  if (EFI_ERROR(RunDisplayControllerFilters(Controller, Driver, PciIo))) return false;
  *Display = DISPLAY_CONTROLLER{Controller, Driver, PciIo};
  return true;
}
