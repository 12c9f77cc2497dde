// System table, boot services, runtime services and the simple text output
// protocol, as UEFI 2.x lays them out.
#pragma once

#include "uefi/base.h"

struct EFI_DEVICE_PATH_PROTOCOL;
struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL;

typedef VOID(EFIAPI* EFI_EVENT_NOTIFY)(EFI_EVENT Event, VOID* Context);

// ---- Simple text output -------------------------------------------------

struct SIMPLE_TEXT_OUTPUT_MODE {
  INT32 MaxMode;
  INT32 Mode;
  INT32 Attribute;
  INT32 CursorColumn;
  INT32 CursorRow;
  BOOLEAN CursorVisible;
};
static_assert(sizeof(SIMPLE_TEXT_OUTPUT_MODE) == 24);

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x387477C2, 0x69C7, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
  using ResetFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN ExtendedVerification);
  using OutputStringFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String);
  using TestStringFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String);
  using QueryModeFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN ModeNumber, UINTN* Columns, UINTN* Rows);
  using SetModeFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN ModeNumber);
  using SetAttributeFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute);
  using ClearScreenFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This);
  using SetCursorPositionFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column, UINTN Row);
  using EnableCursorFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN Visible);

  ResetFn Reset;
  OutputStringFn OutputString;
  TestStringFn TestString;
  QueryModeFn QueryMode;
  SetModeFn SetMode;
  SetAttributeFn SetAttribute;
  ClearScreenFn ClearScreen;
  SetCursorPositionFn SetCursorPosition;
  EnableCursorFn EnableCursor;
  SIMPLE_TEXT_OUTPUT_MODE* Mode;
};
static_assert(sizeof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL) == 80);
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, OutputString) == 8);
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, Mode) == 72);

// ---- Boot services ------------------------------------------------------

struct EFI_BOOT_SERVICES {
  static constexpr UINT64 Signature = 0x56524553544f4f42ull;  // "BOOTSERV"

  using RaiseTplFn = EFI_TPL(EFIAPI*)(EFI_TPL NewTpl);
  using RestoreTplFn = VOID(EFIAPI*)(EFI_TPL OldTpl);
  using AllocatePagesFn = EFI_STATUS(EFIAPI*)(EFI_ALLOCATE_TYPE Type, EFI_MEMORY_TYPE MemoryType, UINTN Pages,
                                              EFI_PHYSICAL_ADDRESS* Memory);
  using FreePagesFn = EFI_STATUS(EFIAPI*)(EFI_PHYSICAL_ADDRESS Memory, UINTN Pages);
  using GetMemoryMapFn = EFI_STATUS(EFIAPI*)(UINTN* MemoryMapSize, EFI_MEMORY_DESCRIPTOR* MemoryMap, UINTN* MapKey,
                                             UINTN* DescriptorSize, UINT32* DescriptorVersion);
  using AllocatePoolFn = EFI_STATUS(EFIAPI*)(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID** Buffer);
  using FreePoolFn = EFI_STATUS(EFIAPI*)(VOID* Buffer);
  using CreateEventFn = EFI_STATUS(EFIAPI*)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                            VOID* NotifyContext, EFI_EVENT* Event);
  using SetTimerFn = EFI_STATUS(EFIAPI*)(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime);
  using WaitForEventFn = EFI_STATUS(EFIAPI*)(UINTN NumberOfEvents, EFI_EVENT* Event, UINTN* Index);
  using SignalEventFn = EFI_STATUS(EFIAPI*)(EFI_EVENT Event);
  using CloseEventFn = EFI_STATUS(EFIAPI*)(EFI_EVENT Event);
  using CheckEventFn = EFI_STATUS(EFIAPI*)(EFI_EVENT Event);
  using InstallProtocolInterfaceFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE* Handle, const EFI_GUID* Protocol,
                                                         EFI_INTERFACE_TYPE InterfaceType, VOID* Interface);
  using ReinstallProtocolInterfaceFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                                           VOID* OldInterface, VOID* NewInterface);
  using UninstallProtocolInterfaceFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                                           VOID* Interface);
  using HandleProtocolFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface);
  using RegisterProtocolNotifyFn = EFI_STATUS(EFIAPI*)(const EFI_GUID* Protocol, EFI_EVENT Event,
                                                       VOID** Registration);
  using LocateHandleFn = EFI_STATUS(EFIAPI*)(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                                             VOID* SearchKey, UINTN* BufferSize, EFI_HANDLE* Buffer);
  using LocateDevicePathFn = EFI_STATUS(EFIAPI*)(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath,
                                                 EFI_HANDLE* Device);
  using InstallConfigurationTableFn = EFI_STATUS(EFIAPI*)(const EFI_GUID* Guid, VOID* Table);
  using LoadImageFn = EFI_STATUS(EFIAPI*)(BOOLEAN BootPolicy, EFI_HANDLE ParentImageHandle,
                                          EFI_DEVICE_PATH_PROTOCOL* DevicePath, VOID* SourceBuffer, UINTN SourceSize,
                                          EFI_HANDLE* ImageHandle);
  using StartImageFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ImageHandle, UINTN* ExitDataSize, CHAR16** ExitData);
  using ExitFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ImageHandle, EFI_STATUS ExitStatus, UINTN ExitDataSize,
                                     CHAR16* ExitData);
  using UnloadImageFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ImageHandle);
  using ExitBootServicesFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ImageHandle, UINTN MapKey);
  using GetNextMonotonicCountFn = EFI_STATUS(EFIAPI*)(UINT64* Count);
  using StallFn = EFI_STATUS(EFIAPI*)(UINTN Microseconds);
  using SetWatchdogTimerFn = EFI_STATUS(EFIAPI*)(UINTN Timeout, UINT64 WatchdogCode, UINTN DataSize,
                                                 CHAR16* WatchdogData);
  using ConnectControllerFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ControllerHandle, EFI_HANDLE* DriverImageHandle,
                                                  EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath, BOOLEAN Recursive);
  using DisconnectControllerFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ControllerHandle, EFI_HANDLE DriverImageHandle,
                                                     EFI_HANDLE ChildHandle);
  using OpenProtocolFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface,
                                             EFI_HANDLE AgentHandle, EFI_HANDLE ControllerHandle, UINT32 Attributes);
  using CloseProtocolFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol, EFI_HANDLE AgentHandle,
                                              EFI_HANDLE ControllerHandle);
  using OpenProtocolInformationFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                                        EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** EntryBuffer,
                                                        UINTN* EntryCount);
  using ProtocolsPerHandleFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, EFI_GUID*** ProtocolBuffer,
                                                   UINTN* ProtocolBufferCount);
  using LocateHandleBufferFn = EFI_STATUS(EFIAPI*)(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                                                   VOID* SearchKey, UINTN* NoHandles, EFI_HANDLE** Buffer);
  using LocateProtocolFn = EFI_STATUS(EFIAPI*)(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface);
  // Variadic: (handle, then GUID pointer / interface pointer pairs, ended by a null GUID pointer).
  using InstallMultipleProtocolInterfacesFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE* Handle, ...);
  using UninstallMultipleProtocolInterfacesFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, ...);
  using CalculateCrc32Fn = EFI_STATUS(EFIAPI*)(const VOID* Data, UINTN DataSize, UINT32* Crc32);
  using CopyMemFn = VOID(EFIAPI*)(VOID* Destination, const VOID* Source, UINTN Length);
  using SetMemFn = VOID(EFIAPI*)(VOID* Buffer, UINTN Size, UINT8 Value);
  using CreateEventExFn = EFI_STATUS(EFIAPI*)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                              const VOID* NotifyContext, const EFI_GUID* EventGroup,
                                              EFI_EVENT* Event);

  EFI_TABLE_HEADER Hdr;
  RaiseTplFn RaiseTPL;
  RestoreTplFn RestoreTPL;
  AllocatePagesFn AllocatePages;
  FreePagesFn FreePages;
  GetMemoryMapFn GetMemoryMap;
  AllocatePoolFn AllocatePool;
  FreePoolFn FreePool;
  CreateEventFn CreateEvent;
  SetTimerFn SetTimer;
  WaitForEventFn WaitForEvent;
  SignalEventFn SignalEvent;
  CloseEventFn CloseEvent;
  CheckEventFn CheckEvent;
  InstallProtocolInterfaceFn InstallProtocolInterface;
  ReinstallProtocolInterfaceFn ReinstallProtocolInterface;
  UninstallProtocolInterfaceFn UninstallProtocolInterface;
  HandleProtocolFn HandleProtocol;
  VOID* Reserved;
  RegisterProtocolNotifyFn RegisterProtocolNotify;
  LocateHandleFn LocateHandle;
  LocateDevicePathFn LocateDevicePath;
  InstallConfigurationTableFn InstallConfigurationTable;
  LoadImageFn LoadImage;
  StartImageFn StartImage;
  ExitFn Exit;
  UnloadImageFn UnloadImage;
  ExitBootServicesFn ExitBootServices;
  GetNextMonotonicCountFn GetNextMonotonicCount;
  StallFn Stall;
  SetWatchdogTimerFn SetWatchdogTimer;
  ConnectControllerFn ConnectController;
  DisconnectControllerFn DisconnectController;
  OpenProtocolFn OpenProtocol;
  CloseProtocolFn CloseProtocol;
  OpenProtocolInformationFn OpenProtocolInformation;
  ProtocolsPerHandleFn ProtocolsPerHandle;
  LocateHandleBufferFn LocateHandleBuffer;
  LocateProtocolFn LocateProtocol;
  InstallMultipleProtocolInterfacesFn InstallMultipleProtocolInterfaces;
  UninstallMultipleProtocolInterfacesFn UninstallMultipleProtocolInterfaces;
  CalculateCrc32Fn CalculateCrc32;
  CopyMemFn CopyMem;
  SetMemFn SetMem;
  CreateEventExFn CreateEventEx;
};
static_assert(offsetof(EFI_BOOT_SERVICES, RaiseTPL) == 24);
static_assert(offsetof(EFI_BOOT_SERVICES, AllocatePool) == 64);
static_assert(offsetof(EFI_BOOT_SERVICES, CreateEvent) == 80);
static_assert(offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) == 128);
static_assert(offsetof(EFI_BOOT_SERVICES, HandleProtocol) == 152);
static_assert(offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify) == 168);
static_assert(offsetof(EFI_BOOT_SERVICES, LoadImage) == 200);
static_assert(offsetof(EFI_BOOT_SERVICES, Stall) == 248);
static_assert(offsetof(EFI_BOOT_SERVICES, OpenProtocol) == 280);
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 320);
static_assert(offsetof(EFI_BOOT_SERVICES, InstallMultipleProtocolInterfaces) == 328);
static_assert(offsetof(EFI_BOOT_SERVICES, CopyMem) == 352);
static_assert(sizeof(EFI_BOOT_SERVICES) == 376);

// ---- Runtime services ---------------------------------------------------

struct EFI_TIME_CAPABILITIES {
  UINT32 Resolution;
  UINT32 Accuracy;
  BOOLEAN SetsToZero;
};

struct EFI_CAPSULE_HEADER;

struct EFI_RUNTIME_SERVICES {
  static constexpr UINT64 Signature = 0x56524553544e5552ull;  // "RUNTSERV"

  using GetTimeFn = EFI_STATUS(EFIAPI*)(EFI_TIME* Time, EFI_TIME_CAPABILITIES* Capabilities);
  using SetTimeFn = EFI_STATUS(EFIAPI*)(EFI_TIME* Time);
  using GetWakeupTimeFn = EFI_STATUS(EFIAPI*)(BOOLEAN* Enabled, BOOLEAN* Pending, EFI_TIME* Time);
  using SetWakeupTimeFn = EFI_STATUS(EFIAPI*)(BOOLEAN Enable, EFI_TIME* Time);
  using SetVirtualAddressMapFn = EFI_STATUS(EFIAPI*)(UINTN MemoryMapSize, UINTN DescriptorSize,
                                                     UINT32 DescriptorVersion, EFI_MEMORY_DESCRIPTOR* VirtualMap);
  using ConvertPointerFn = EFI_STATUS(EFIAPI*)(UINTN DebugDisposition, VOID** Address);
  using GetVariableFn = EFI_STATUS(EFIAPI*)(const CHAR16* VariableName, const EFI_GUID* VendorGuid,
                                            UINT32* Attributes, UINTN* DataSize, VOID* Data);
  using GetNextVariableNameFn = EFI_STATUS(EFIAPI*)(UINTN* VariableNameSize, CHAR16* VariableName,
                                                    EFI_GUID* VendorGuid);
  using SetVariableFn = EFI_STATUS(EFIAPI*)(const CHAR16* VariableName, const EFI_GUID* VendorGuid,
                                            UINT32 Attributes, UINTN DataSize, const VOID* Data);
  using GetNextHighMonotonicCountFn = EFI_STATUS(EFIAPI*)(UINT32* HighCount);
  using ResetSystemFn = VOID(EFIAPI*)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus, UINTN DataSize,
                                      VOID* ResetData);
  using UpdateCapsuleFn = EFI_STATUS(EFIAPI*)(EFI_CAPSULE_HEADER** CapsuleHeaderArray, UINTN CapsuleCount,
                                              EFI_PHYSICAL_ADDRESS ScatterGatherList);
  using QueryCapsuleCapabilitiesFn = EFI_STATUS(EFIAPI*)(EFI_CAPSULE_HEADER** CapsuleHeaderArray,
                                                         UINTN CapsuleCount, UINT64* MaximumCapsuleSize,
                                                         EFI_RESET_TYPE* ResetType);
  using QueryVariableInfoFn = EFI_STATUS(EFIAPI*)(UINT32 Attributes, UINT64* MaximumVariableStorageSize,
                                                  UINT64* RemainingVariableStorageSize,
                                                  UINT64* MaximumVariableSize);

  EFI_TABLE_HEADER Hdr;
  GetTimeFn GetTime;
  SetTimeFn SetTime;
  GetWakeupTimeFn GetWakeupTime;
  SetWakeupTimeFn SetWakeupTime;
  SetVirtualAddressMapFn SetVirtualAddressMap;
  ConvertPointerFn ConvertPointer;
  GetVariableFn GetVariable;
  GetNextVariableNameFn GetNextVariableName;
  SetVariableFn SetVariable;
  GetNextHighMonotonicCountFn GetNextHighMonotonicCount;
  ResetSystemFn ResetSystem;
  UpdateCapsuleFn UpdateCapsule;
  QueryCapsuleCapabilitiesFn QueryCapsuleCapabilities;
  QueryVariableInfoFn QueryVariableInfo;
};
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 72);
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 88);
static_assert(offsetof(EFI_RUNTIME_SERVICES, ResetSystem) == 104);
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 136);

// ---- Configuration table and system table -------------------------------

struct EFI_CONFIGURATION_TABLE {
  EFI_GUID VendorGuid;
  VOID* VendorTable;
};
static_assert(sizeof(EFI_CONFIGURATION_TABLE) == 24);

struct EFI_SYSTEM_TABLE {
  static constexpr UINT64 Signature = 0x5453595320494249ull;  // "IBI SYST"

  EFI_TABLE_HEADER Hdr;
  CHAR16* FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL* ConIn;
  EFI_HANDLE ConsoleOutHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConOut;
  EFI_HANDLE StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* StdErr;
  EFI_RUNTIME_SERVICES* RuntimeServices;
  EFI_BOOT_SERVICES* BootServices;
  UINTN NumberOfTableEntries;
  EFI_CONFIGURATION_TABLE* ConfigurationTable;
};
static_assert(offsetof(EFI_SYSTEM_TABLE, FirmwareVendor) == 24);
static_assert(offsetof(EFI_SYSTEM_TABLE, FirmwareRevision) == 32);
static_assert(offsetof(EFI_SYSTEM_TABLE, StandardErrorHandle) == 72);
static_assert(offsetof(EFI_SYSTEM_TABLE, StdErr) == 80);
static_assert(offsetof(EFI_SYSTEM_TABLE, BootServices) == 96);
static_assert(offsetof(EFI_SYSTEM_TABLE, ConfigurationTable) == 112);
static_assert(sizeof(EFI_SYSTEM_TABLE) == 120);

typedef EFI_STATUS(EFIAPI* EFI_IMAGE_ENTRY_POINT)(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
