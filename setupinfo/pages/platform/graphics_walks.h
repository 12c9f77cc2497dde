// The handle-database walks of the graphics output page: which PCI
// controllers count as display controllers, which driver manages each, its
// child handles and output handles, and the names its drivers give.
#pragma once

#include "lib/pool_buffer.h"
#include "setupinfo/pages/platform/graphics_output_facts.h"
#include "uefi/pci_io.h"

// A pool array of handles and its length; no array when empty.
struct HANDLE_LIST {
  PoolBuffer<EFI_HANDLE> Handles;
  UINTN Count = 0;
  EFI_HANDLE operator[](UINTN i) const { return Handles[i]; }
};

// The agent of every interface this page opens without a driver's records.
EFI_HANDLE PageAgent();
bool HandleCarries(EFI_HANDLE Handle, const EFI_GUID& Protocol);
template <typename Protocol>
Protocol* OpenByHandle(EFI_HANDLE Handle) {
  VOID* Interface = nullptr;
  if (gBS() == nullptr || EFI_ERROR(gBS()->OpenProtocol(Handle, &Protocol::Guid, &Interface, PageAgent(), nullptr,
                                                         EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL)))
    return nullptr;
  return (Protocol*)Interface;
}

// EFI_NOT_FOUND when no handle of the database holds a BY_DRIVER record
// on Controller for an agent that is itself a handle of the database.
EFI_STATUS FindManagingDriver(EFI_HANDLE Controller, EFI_HANDLE* Driver);

// Handles that Driver opened Controller's protocols for BY_CHILD_CONTROLLER,
// each once, in handle-database order.
EFI_STATUS GetChildHandles(EFI_HANDLE Driver, EFI_HANDLE Controller, HANDLE_LIST& Children);

// Child chains are outside data: a walk goes at most this deep below the
// controller and looks at most at this many handles, each once.
constexpr UINTN MAX_OUTPUT_WALK_DEPTH = 8;
constexpr UINTN MAX_OUTPUT_WALK_HANDLES = 64;

// Depth first, in child order: children carrying EDID Discovered are
// outputs; others are descended into.
EFI_STATUS CollectOutputHandles(EFI_HANDLE Driver, EFI_HANDLE Controller, HANDLE_LIST& Outputs);

// Component Name 2 in "en-US", then in its first supported language, then
// Component Name in "eng". Child is null for the controller itself.
bool GetControllerNameText(EFI_HANDLE Driver, EFI_HANDLE Controller, EFI_HANDLE Child,
                           CHAR8 (&Buffer)[NAME_TEXT_BYTES]);
bool GetDriverNameText(EFI_HANDLE Driver, CHAR8 (&Buffer)[NAME_TEXT_BYTES]);

struct DISPLAY_CONTROLLER {
  EFI_HANDLE Controller;
  EFI_HANDLE Driver;
  EFI_PCI_IO_PROTOCOL* PciIo;
};

// Filters judge a PCI controller; the first success accepts it.
using DISPLAY_CONTROLLER_FILTER = EFI_STATUS(EFIAPI*)(EFI_HANDLE Controller, EFI_HANDLE Driver,
                                                      EFI_PCI_IO_PROTOCOL* PciIo);
EFI_STATUS EFIAPI AcceptDisplayClassController(EFI_HANDLE Controller, EFI_HANDLE Driver, EFI_PCI_IO_PROTOCOL* PciIo);
EFI_STATUS RunDisplayControllerFilters(EFI_HANDLE Controller, EFI_HANDLE Driver, EFI_PCI_IO_PROTOCOL* PciIo);

// The PCI I/O handles in located order, for qualification.
EFI_STATUS LocatePciControllers(HANDLE_LIST& Controllers);
bool QualifyDisplayController(EFI_HANDLE Controller, DISPLAY_CONTROLLER* Display);

// Calls Visit for every qualified display controller, in located order. The
// status is the look-up's: an error when no PCI I/O handle was found.
template <typename VISITOR>
EFI_STATUS ForEachDisplayController(VISITOR&& Visit) {
  HANDLE_LIST Controllers;
  const EFI_STATUS Status = LocatePciControllers(Controllers);
  if (EFI_ERROR(Status)) return Status;
  for (UINTN i = 0; i < Controllers.Count; ++i) {
    DISPLAY_CONTROLLER Display;
    if (QualifyDisplayController(Controllers[i], &Display)) Visit(Display);
  }
  return Status;
}
