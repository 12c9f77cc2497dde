// A small stand-in for the firmware tables the library reaches: boot services
// with a tracking pool, GetVariable over a map, events and protocol-notify
// records, and a configuration table. Constructing one resets the library and
// initialises it with this system table; only one may live at a time.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lib/firmware_services.h"

class FakeFirmware {
 public:
  FakeFirmware();
  ~FakeFirmware();
  FakeFirmware(const FakeFirmware&) = delete;
  FakeFirmware& operator=(const FakeFirmware&) = delete;

  static FakeFirmware& Current();

  EFI_SYSTEM_TABLE SystemTable{};
  EFI_BOOT_SERVICES BootServices{};
  EFI_RUNTIME_SERVICES RuntimeServices{};
  EFI_HANDLE ImageHandle = (EFI_HANDLE)0x1234;

  // Pool. New buffers are filled with 0xA5 so that missing zeroing shows.
  UINTN Allocations = 0;           // AllocatePool calls so far
  UINTN FailAllocationNumber = 0;  // this AllocatePool call (1-based) fails; 0: none
  UINTN BadFrees = 0;              // FreePool of a pointer the pool did not hand out
  std::map<void*, UINTN> Live;     // buffer -> size
  void FailNthAllocationFromNow(UINTN n) { FailAllocationNumber = Allocations + n; }

  // Variables: (name, GUID bytes) -> data.
  using VariableKey = std::pair<std::u16string, std::string>;
  std::map<VariableKey, std::vector<UINT8>> Variables;
  UINTN GetVariableCalls = 0;
  UINTN FailGetVariableCall = 0;  // this GetVariable call (1-based) returns EFI_DEVICE_ERROR
  void PutVariable(const std::u16string& Name, const EFI_GUID& Guid, std::vector<UINT8> Data);

  // Configuration table.
  std::vector<EFI_CONFIGURATION_TABLE> Tables;
  void AddConfigurationTable(const EFI_GUID& Guid, void* Table);

  // Events and protocol-notify registrations.
  struct EventRecord {
    UINT32 Type;
    EFI_TPL Tpl;
    EFI_EVENT_NOTIFY Notify;
    VOID* Context;
  };
  struct NotifyRecord {
    EFI_GUID Protocol;
    EFI_EVENT Event;
  };
  std::vector<EventRecord> Events;  // the event handle is the index + 1
  std::vector<NotifyRecord> Notifies;
  EFI_STATUS CreateEventStatus = EFI_SUCCESS;

  static VariableKey Key(const CHAR16* Name, const EFI_GUID* Guid);

 private:
  void Refresh();
};
