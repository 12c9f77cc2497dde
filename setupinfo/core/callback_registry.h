// The callback registry protocol: registered item callbacks in registration
// order, consulted by the dispatcher before the static table.
#pragma once

#include "platform/callback_registry.h"

EFI_STATUS EFIAPI RegisterItemCallback(UINT16 Class, UINT16 SubClass, UINT16 Key, ITEM_CALLBACK Handler,
                                       VOID** Registration);
EFI_STATUS EFIAPI UnregisterItemCallback(VOID* Registration);
EFI_STATUS EFIAPI ListItemCallbacks(UINTN* Size, ITEM_CALLBACK_ENTRY* Buffer);
EFI_STATUS EFIAPI RegistryGetCurrentCallbackParameters(CALLBACK_PARAMETERS** Parameters);

constexpr CALLBACK_REGISTRY_PROTOCOL CallbackRegistryInterface() {
  return CALLBACK_REGISTRY_PROTOCOL{RegisterItemCallback, UnregisterItemCallback, ListItemCallbacks,
                                    RegistryGetCurrentCallbackParameters};
}

// Empties the list and installs the interface on a new handle; the status of
// the installation is the caller's to ignore.
EFI_STATUS InstallCallbackRegistry();
