// The one path to the firmware: the tables kept by LibraryInit, pool
// allocation, variable reads, protocol look-ups, HOB walks and the
// doubly linked list used by the callback registry.
#pragma once

#include "uefi/system_table.h"
#include "uefi/pi.h"

// What the library initialiser keeps; part of every image's resettable state.
struct LIB_STATE {
  EFI_HANDLE ImageHandle;
  EFI_SYSTEM_TABLE* SystemTable;
  EFI_BOOT_SERVICES* BootServices;
  EFI_RUNTIME_SERVICES* RuntimeServices;
  EFI_DXE_SERVICES* DxeServices;  // kept after the first successful look-up
};

extern constinit LIB_STATE gLib;

// Host build: put the library back to its load-time state (a simulated reboot).
void LibResetState();

void LibraryInit(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

inline EFI_SYSTEM_TABLE* gST() { return gLib.SystemTable; }
inline EFI_BOOT_SERVICES* gBS() { return gLib.BootServices; }
inline EFI_RUNTIME_SERVICES* gRT() { return gLib.RuntimeServices; }

VOID* FindConfigurationTable(EFI_SYSTEM_TABLE* SystemTable, const EFI_GUID* Guid);

VOID* AllocateBootPool(UINTN Size);
VOID* AllocateZeroedBootPool(UINTN Size);
// Frees a pool buffer; a null pointer is ignored.
void FreeBootPool(VOID* Buffer);

EFI_STATUS ReadVariableWithRetry(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* Size,
                                 VOID** Buffer);

// A whole variable in a new pool buffer (*Buffer, which must be null): a
// size-0 probe, a buffer of the reported size, the read; *Size is the size
// read. TerminatorBytes zero bytes follow the data, after padding it to a
// whole number of them, for values read as text: stored bytes are outside
// data and need not end in a NUL. On failure *Buffer is null. Typed callers
// use the owner form in lib/pool_buffer.h.
EFI_STATUS ReadWholeVariable(const CHAR16* Name, const EFI_GUID* Guid, VOID** Buffer, UINTN* Size,
                             UINTN TerminatorBytes = 0, UINT32* Attributes = nullptr);

void WaitForProtocol(const EFI_GUID* ProtocolGuid, EFI_EVENT_NOTIFY NotifyFunction, VOID* Context,
                     EFI_EVENT* Event, VOID** Registration);

EFI_STATUS GetDxeServicesTable(EFI_DXE_SERVICES** Table);

EFI_STATUS FindNextHob(UINT16 Type, VOID** Cursor);
EFI_STATUS FindGuidHob(const EFI_GUID* Guid, VOID** Cursor);

// Typed protocol look-up: the GUID comes from the interface type.
template <typename Protocol>
Protocol* LocateProtocol() {
  if (gBS() == nullptr) return nullptr;
  VOID* Interface = nullptr;
  if (EFI_ERROR(gBS()->LocateProtocol(&Protocol::Guid, nullptr, &Interface))) return nullptr;
  return (Protocol*)Interface;
}

template <typename Protocol>
Protocol* HandleProtocol(EFI_HANDLE Handle) {
  if (gBS() == nullptr) return nullptr;
  VOID* Interface = nullptr;
  if (EFI_ERROR(gBS()->HandleProtocol(Handle, &Protocol::Guid, &Interface))) return nullptr;
  return (Protocol*)Interface;
}

// Whether the handle carries the protocol, by HandleProtocol's status: a
// marker protocol may be installed with no interface at all.
template <typename Protocol>
bool CarriesProtocol(EFI_HANDLE Handle) {
  VOID* Interface = nullptr;
  return gBS() != nullptr && !EFI_ERROR(gBS()->HandleProtocol(Handle, &Protocol::Guid, &Interface));
}

// Located on first use and kept; a missing service is looked up again next time.
template <typename Protocol>
Protocol* LocateOnce(Protocol*& Cached) {
  if (Cached == nullptr) Cached = LocateProtocol<Protocol>();
  return Cached;
}

// ---- Doubly linked list -------------------------------------------------

struct LIST_NODE {
  LIST_NODE* Next;
  LIST_NODE* Prev;
};

struct LIST_HEAD {
  UINTN Count;
  LIST_NODE* First;
  LIST_NODE* Last;
};

void ListInit(LIST_HEAD* Head);
void ListAppend(LIST_HEAD* Head, LIST_NODE* Node);
void ListRemove(LIST_HEAD* Head, LIST_NODE* Node);
