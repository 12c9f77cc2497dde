// Handle database: protocol interfaces on handles, open-protocol records,
// protocol-notify registrations and the driver-model connect/disconnect.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "sim/events.h"
#include "sim/pool.h"
#include "uefi/device_path.h"
#include "uefi/driver_model.h"
#include "uefi/system_table.h"

namespace sim {

struct GuidCompare {
  bool operator()(const EFI_GUID& A, const EFI_GUID& B) const { return __builtin_memcmp(&A, &B, sizeof A) < 0; }
};

// Driver Binding protocol as the connect logic calls it: the UEFI type
// itself, so that calls through it match the drivers' own function types.
using DriverBindingInterface = EFI_DRIVER_BINDING_PROTOCOL;

class HandleDatabase {
 public:
  HandleDatabase(Pool& P, Events& E);
  ~HandleDatabase();
  HandleDatabase(const HandleDatabase&) = delete;
  HandleDatabase& operator=(const HandleDatabase&) = delete;

  // Agent recorded by HandleProtocol, as the firmware core's own image.
  void SetCoreImageHandle(EFI_HANDLE H) { CoreImage_ = H; }

  EFI_STATUS Install(EFI_HANDLE* Handle, const EFI_GUID* Protocol, EFI_INTERFACE_TYPE Type, VOID* Interface);
  EFI_STATUS InstallMultiple(EFI_HANDLE* Handle, const std::vector<std::pair<const EFI_GUID*, VOID*>>& Pairs);
  EFI_STATUS Uninstall(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* Interface);
  EFI_STATUS UninstallMultiple(EFI_HANDLE Handle, const std::vector<std::pair<const EFI_GUID*, VOID*>>& Pairs);
  EFI_STATUS Reinstall(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* OldInterface, VOID* NewInterface);
  EFI_STATUS HandleProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface);
  EFI_STATUS OpenProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface, EFI_HANDLE Agent,
                          EFI_HANDLE Controller, UINT32 Attributes);
  EFI_STATUS CloseProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, EFI_HANDLE Agent, EFI_HANDLE Controller);
  EFI_STATUS OpenProtocolInformation(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                     EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** Entries, UINTN* Count);
  EFI_STATUS ProtocolsPerHandle(EFI_HANDLE Handle, EFI_GUID*** Buffer, UINTN* Count);
  EFI_STATUS RegisterProtocolNotify(const EFI_GUID* Protocol, EFI_EVENT Event, VOID** Registration);
  EFI_STATUS LocateHandle(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key, UINTN* BufferSize,
                          EFI_HANDLE* Buffer);
  EFI_STATUS LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key, UINTN* Count,
                                EFI_HANDLE** Buffer);
  EFI_STATUS LocateProtocol(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface);
  EFI_STATUS LocateDevicePath(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath, EFI_HANDLE* Device);
  EFI_STATUS ConnectController(EFI_HANDLE Controller, EFI_HANDLE* DriverImages, EFI_DEVICE_PATH_PROTOCOL* Remaining,
                               bool Recursive);
  EFI_STATUS DisconnectController(EFI_HANDLE Controller, EFI_HANDLE DriverImage, EFI_HANDLE Child);

  // Inspection for tests.
  bool IsHandle(EFI_HANDLE H) const { return Live_.count(H) != 0; }
  size_t HandleCount() const { return Live_.size(); }
  std::vector<EFI_HANDLE> HandlesWith(const EFI_GUID& Protocol) const;
  VOID* InterfaceOn(EFI_HANDLE H, const EFI_GUID& Protocol) const;
  size_t InstallCount(const EFI_GUID& Protocol) const;  // installations ever made this boot

  // Drops the registrations of a closed event.
  void ForgetEvent(EFI_EVENT Event);

 private:
  struct OpenRecord {
    EFI_HANDLE Agent;
    EFI_HANDLE Controller;
    UINT32 Attributes;
    UINT32 OpenCount;
  };
  struct Interface {
    EFI_GUID Guid;
    VOID* Ptr;
    UINT64 Serial;  // installation order across the database
    std::vector<OpenRecord> Opens;
  };
  struct HandleRec {
    UINT64 Serial;
    std::vector<std::unique_ptr<Interface>> Interfaces;
  };
  struct Registration {
    EFI_GUID Guid;
    EFI_EVENT Event;
    std::deque<std::pair<EFI_HANDLE, VOID*>> Fresh;  // installations not yet handed out
  };

  HandleRec* Get(EFI_HANDLE H) const;
  Interface* Find(HandleRec* H, const EFI_GUID& G) const;
  EFI_HANDLE NewHandle();
  void Notify(const EFI_GUID& G, EFI_HANDLE H, VOID* Iface);
  void RemoveInterface(EFI_HANDLE H, const EFI_GUID& G);
  EFI_STATUS ReleaseForRemoval(EFI_HANDLE H, Interface* I);
  std::vector<EFI_HANDLE> Search(EFI_LOCATE_SEARCH_TYPE Type, const EFI_GUID* Protocol, VOID* Key, bool Consume,
                                 EFI_STATUS* Status);
  std::vector<EFI_HANDLE> OrderedHandles() const;

  Pool& Pool_;
  Events& Events_;
  EFI_HANDLE CoreImage_ = nullptr;
  std::map<EFI_HANDLE, std::unique_ptr<HandleRec>> Live_;
  std::vector<std::unique_ptr<HandleRec>> Dead_;  // never reused within a boot
  std::map<VOID*, std::unique_ptr<Registration>> Registrations_;
  std::map<EFI_GUID, size_t, GuidCompare> InstallCounts_;
  UINT64 Serial_ = 0;
};

}  // namespace sim
