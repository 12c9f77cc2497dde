// Mutable state of the setup driver's core: one record inside the image
// state (setupinfo/image_state.h), put back to its load-time values on reset.
#pragma once

#include "lib/firmware_services.h"
#include "platform/callback_registry.h"
#include "platform/form_utility.h"
#include "uefi/hii.h"

constexpr UINTN FORM_SET_COUNT = 9;

// The Config Access interface of one form set. The dispatcher finds the form
// set's Class and SubClass behind the protocol's three function pointers.
struct CONFIG_ACCESS_INSTANCE {
  EFI_HII_CONFIG_ACCESS_PROTOCOL Protocol;
  UINT16 Class;
  UINT16 SubClass;
};
static_assert(offsetof(CONFIG_ACCESS_INSTANCE, Protocol) == 0);
static_assert(offsetof(CONFIG_ACCESS_INSTANCE, Class) == 24);
static_assert(offsetof(CONFIG_ACCESS_INSTANCE, SubClass) == 26);
static_assert(__is_standard_layout(CONFIG_ACCESS_INSTANCE));

struct CORE_STATE {
  EFI_HANDLE ImageHandle;
  EFI_EVENT FormSetLoadEvent;  // deferred path only; closed once the loader has run
  BOOLEAN Loaded;              // form sets are loaded at most once per boot

  // Located on first use and kept for the life of the driver.
  EFI_HII_STRING_PROTOCOL* HiiString;
  EFI_HII_DATABASE_PROTOCOL* HiiDatabase;
  FORM_UTILITY_PROTOCOL* FormUtility;
  CALLBACK_REGISTRY_PROTOCOL* Registry;

  // The browser callback being dispatched; null outside one.
  CALLBACK_PARAMETERS* CurrentParameters;

  // Callback registry: the installed interface and its list of nodes.
  CALLBACK_REGISTRY_PROTOCOL RegistryInterface;
  LIST_HEAD RegistryList;

  // The form-set table handed to the form utility service (which writes the
  // HII handles) and the instances its rows point at.
  FORM_SET_INFO FormSets[FORM_SET_COUNT];
  CONFIG_ACCESS_INSTANCE ConfigAccess[FORM_SET_COUNT];
};
