#include "lib/firmware_services.h"

#include "lib/strings.h"
#include "lib/util.h"

constinit LIB_STATE gLib = {};

void LibResetState() { gLib = LIB_STATE{}; }

void LibraryInit(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  if (gLib.SystemTable != nullptr || SystemTable == nullptr) return;
  gLib.ImageHandle = ImageHandle;
  gLib.SystemTable = SystemTable;
  gLib.BootServices = SystemTable->BootServices;
  gLib.RuntimeServices = SystemTable->RuntimeServices;
}

VOID* FindConfigurationTable(EFI_SYSTEM_TABLE* SystemTable, const EFI_GUID* Guid) {
  if (SystemTable == nullptr || Guid == nullptr || SystemTable->ConfigurationTable == nullptr) return nullptr;
  for (UINTN i = 0; i < SystemTable->NumberOfTableEntries; ++i) {
    const EFI_CONFIGURATION_TABLE& Entry = SystemTable->ConfigurationTable[i];
    if (MemCompare(&Entry.VendorGuid, Guid, sizeof(EFI_GUID)) == 0) return Entry.VendorTable;
  }
  return nullptr;
}

VOID* AllocateBootPool(UINTN Size) {
  if (gBS() == nullptr) return nullptr;
  VOID* Buffer = nullptr;
  if (EFI_ERROR(gBS()->AllocatePool(EfiBootServicesData, Size, &Buffer))) return nullptr;
  return Buffer;
}

VOID* AllocateZeroedBootPool(UINTN Size) {
  VOID* Buffer = AllocateBootPool(Size);
  if (Buffer != nullptr) MemFill(Buffer, Size, 0);
  return Buffer;
}

void FreeBootPool(VOID* Buffer) {
  if (Buffer != nullptr && gBS() != nullptr) gBS()->FreePool(Buffer);
}

EFI_STATUS ReadVariableWithRetry(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* Size,
                                 VOID** Buffer) {
  if (gRT() == nullptr || Size == nullptr || Buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (*Buffer == nullptr) *Size = 0;
  EFI_STATUS Status = gRT()->GetVariable(Name, Guid, Attributes, Size, *Buffer);
  if (Status != EFI_BUFFER_TOO_SMALL) return Status;
  FreeBootPool(*Buffer);
  *Buffer = AllocateBootPool(*Size);
  if (*Buffer == nullptr) return EFI_OUT_OF_RESOURCES;
  Status = gRT()->GetVariable(Name, Guid, Attributes, Size, *Buffer);
  // A failed second read leaves nothing behind, so a caller that only checks
  // the status cannot leak the buffer allocated here.
  if (EFI_ERROR(Status)) {
    FreeBootPool(*Buffer);
    *Buffer = nullptr;
  }
  return Status;
}

EFI_STATUS ReadWholeVariable(const CHAR16* Name, const EFI_GUID* Guid, VOID** Buffer, UINTN* Size,
                             UINTN TerminatorBytes, UINT32* Attributes) {
  if (gRT() == nullptr || Size == nullptr || Buffer == nullptr || *Buffer != nullptr) return EFI_INVALID_PARAMETER;
  UINTN Stored = 0;
  EFI_STATUS Status = gRT()->GetVariable(Name, Guid, Attributes, &Stored, nullptr);
  // A variable of size 0 cannot be stored; any other answer ends the read.
  if (Status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(Status) ? Status : EFI_NOT_FOUND;

  UINTN Room = Stored;
  if (TerminatorBytes != 0) {
    const UINTN Partial = Stored % TerminatorBytes;
    const UINTN Tail = (Partial != 0 ? TerminatorBytes - Partial : 0) + TerminatorBytes;
    if (Stored > ~(UINTN)0 - Tail) return EFI_OUT_OF_RESOURCES;
    Room = Stored + Tail;
  }
  UINT8* Data = (UINT8*)AllocateZeroedBootPool(Room);
  if (Data == nullptr) return EFI_OUT_OF_RESOURCES;
  Status = gRT()->GetVariable(Name, Guid, Attributes, &Stored, Data);
  // The variable may have grown since the probe: the read fails and nothing is kept.
  if (EFI_ERROR(Status)) {
    FreeBootPool(Data);
    return Status;
  }
  *Buffer = Data;
  *Size = Stored;
  return EFI_SUCCESS;
}

void WaitForProtocol(const EFI_GUID* ProtocolGuid, EFI_EVENT_NOTIFY NotifyFunction, VOID* Context,
                     EFI_EVENT* Event, VOID** Registration) {
  if (gBS() == nullptr || Event == nullptr) return;
  if (EFI_ERROR(gBS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, NotifyFunction, Context, Event))) return;
  gBS()->RegisterProtocolNotify(ProtocolGuid, *Event, Registration);
}

EFI_STATUS GetDxeServicesTable(EFI_DXE_SERVICES** Table) {
  if (gST() == nullptr) return EFI_INVALID_PARAMETER;
  if (gLib.DxeServices == nullptr) {
    gLib.DxeServices = (EFI_DXE_SERVICES*)FindConfigurationTable(gST(), &EFI_DXE_SERVICES_TABLE_GUID);
    if (gLib.DxeServices == nullptr) return EFI_NOT_AVAILABLE_YET;
  }
  if (Table != nullptr) *Table = gLib.DxeServices;
  return EFI_SUCCESS;
}

// HOB lists come from the early boot phase; a HOB shorter than its header
// would stall the walk (or step into the middle of a header), so it ends the
// search like the end marker. Fields are read bytewise: a bad length can
// leave the next header unaligned.
EFI_STATUS FindNextHob(UINT16 Type, VOID** Cursor) {
  if (Cursor == nullptr || *Cursor == nullptr) return EFI_INVALID_PARAMETER;
  const UINT8* Hob = (const UINT8*)*Cursor;
  for (;;) {
    UINT16 Length = ReadLe16(Hob + 2);
    if (ReadLe16(Hob) == EFI_HOB_TYPE_END_OF_HOB_LIST || Length < sizeof(EFI_HOB_GENERIC_HEADER))
      return EFI_NOT_FOUND;
    Hob += Length;
    UINT16 HobType = ReadLe16(Hob);
    if (HobType == EFI_HOB_TYPE_END_OF_HOB_LIST) return EFI_NOT_FOUND;
    if (HobType == Type) {
      *Cursor = (VOID*)Hob;
      return EFI_SUCCESS;
    }
  }
}

EFI_STATUS FindGuidHob(const EFI_GUID* Guid, VOID** Cursor) {
  if (Guid == nullptr || Cursor == nullptr || *Cursor == nullptr) return EFI_INVALID_PARAMETER;
  for (;;) {
    EFI_STATUS Status = FindNextHob(EFI_HOB_TYPE_GUID_EXTENSION, Cursor);
    if (EFI_ERROR(Status)) return Status;
    const UINT8* Hob = (const UINT8*)*Cursor;
    if (ReadLe16(Hob + 2) >= sizeof(EFI_HOB_GUID_TYPE) &&
        MemCompare(Hob + offsetof(EFI_HOB_GUID_TYPE, Name), Guid, sizeof(EFI_GUID)) == 0)
      return EFI_SUCCESS;
  }
}

void ListInit(LIST_HEAD* Head) {
  Head->Count = 0;
  Head->First = nullptr;
  Head->Last = nullptr;
}

void ListAppend(LIST_HEAD* Head, LIST_NODE* Node) {
  Node->Next = nullptr;
  Node->Prev = Head->Last;
  if (Head->Last != nullptr)
    Head->Last->Next = Node;
  else
    Head->First = Node;
  Head->Last = Node;
  Head->Count++;
}

void ListRemove(LIST_HEAD* Head, LIST_NODE* Node) {
  if (Node->Prev != nullptr)
    Node->Prev->Next = Node->Next;
  else
    Head->First = Node->Next;
  if (Node->Next != nullptr)
    Node->Next->Prev = Node->Prev;
  else
    Head->Last = Node->Prev;
  Node->Next = nullptr;
  Node->Prev = nullptr;
  Head->Count--;
}
