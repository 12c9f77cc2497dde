// UEFI driver model: Driver Binding and the two Component Name protocols.
#pragma once

#include "uefi/base.h"

struct EFI_DEVICE_PATH_PROTOCOL;

struct EFI_DRIVER_BINDING_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x18A031AB, 0xB443, 0x4D1A, {0xA5, 0xC0, 0x0C, 0x09, 0x26, 0x1E, 0x9F, 0x71}};

  using SupportedFn = EFI_STATUS(EFIAPI*)(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE ControllerHandle,
                                          EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath);
  using StartFn = EFI_STATUS(EFIAPI*)(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE ControllerHandle,
                                      EFI_DEVICE_PATH_PROTOCOL* RemainingDevicePath);
  using StopFn = EFI_STATUS(EFIAPI*)(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE ControllerHandle,
                                     UINTN NumberOfChildren, EFI_HANDLE* ChildHandleBuffer);

  SupportedFn Supported;
  StartFn Start;
  StopFn Stop;
  UINT32 Version;
  EFI_HANDLE ImageHandle;
  EFI_HANDLE DriverBindingHandle;
};
static_assert(offsetof(EFI_DRIVER_BINDING_PROTOCOL, Stop) == 16);
static_assert(offsetof(EFI_DRIVER_BINDING_PROTOCOL, Version) == 24);
static_assert(offsetof(EFI_DRIVER_BINDING_PROTOCOL, ImageHandle) == 32);
static_assert(offsetof(EFI_DRIVER_BINDING_PROTOCOL, DriverBindingHandle) == 40);
static_assert(sizeof(EFI_DRIVER_BINDING_PROTOCOL) == 48);

// Languages are RFC 4646 codes ("en-US"); SupportedLanguages is a
// ";"-separated list of them. The returned names belong to the callee.
struct EFI_COMPONENT_NAME2_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x6A7A5CFF, 0xE8D9, 0x4F70, {0xBA, 0xDA, 0x75, 0xAB, 0x30, 0x25, 0xCE, 0x14}};

  using GetDriverNameFn = EFI_STATUS(EFIAPI*)(EFI_COMPONENT_NAME2_PROTOCOL* This, const CHAR8* Language,
                                              CHAR16** DriverName);
  using GetControllerNameFn = EFI_STATUS(EFIAPI*)(EFI_COMPONENT_NAME2_PROTOCOL* This, EFI_HANDLE ControllerHandle,
                                                  EFI_HANDLE ChildHandle, const CHAR8* Language,
                                                  CHAR16** ControllerName);

  GetDriverNameFn GetDriverName;
  GetControllerNameFn GetControllerName;
  const CHAR8* SupportedLanguages;
};
static_assert(offsetof(EFI_COMPONENT_NAME2_PROTOCOL, GetControllerName) == 8);
static_assert(offsetof(EFI_COMPONENT_NAME2_PROTOCOL, SupportedLanguages) == 16);
static_assert(sizeof(EFI_COMPONENT_NAME2_PROTOCOL) == 24);

// The older form: same shape, but languages are ISO 639-2 three-letter codes
// ("eng") and SupportedLanguages is their plain concatenation.
struct EFI_COMPONENT_NAME_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x107A772C, 0xD5E1, 0x11D4, {0x9A, 0x46, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D}};

  using GetDriverNameFn = EFI_STATUS(EFIAPI*)(EFI_COMPONENT_NAME_PROTOCOL* This, const CHAR8* Language,
                                              CHAR16** DriverName);
  using GetControllerNameFn = EFI_STATUS(EFIAPI*)(EFI_COMPONENT_NAME_PROTOCOL* This, EFI_HANDLE ControllerHandle,
                                                  EFI_HANDLE ChildHandle, const CHAR8* Language,
                                                  CHAR16** ControllerName);

  GetDriverNameFn GetDriverName;
  GetControllerNameFn GetControllerName;
  const CHAR8* SupportedLanguages;
};
static_assert(offsetof(EFI_COMPONENT_NAME_PROTOCOL, GetControllerName) == 8);
static_assert(offsetof(EFI_COMPONENT_NAME_PROTOCOL, SupportedLanguages) == 16);
static_assert(sizeof(EFI_COMPONENT_NAME_PROTOCOL) == 24);
