// Mutable state of the setup driver's core: one record inside the image
// state (setupinfo/image_state.h), put back to its load-time values on reset.
#pragma once

#include "lib/firmware_services.h"
#include "platform/callback_registry.h"
#include "platform/form_utility.h"
#include "setupinfo/core/callback_registry.h"
#include "setupinfo/core/form_set_table.h"
#include "uefi/hii.h"

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
  EFI_HANDLE ImageHandle = nullptr;
  EFI_EVENT FormSetLoadEvent = nullptr;  // deferred path only; closed once the loader has run
  BOOLEAN Loaded = FALSE;                // form sets are loaded at most once per boot

  // Located on first use and kept for the life of the driver.
  EFI_HII_STRING_PROTOCOL* HiiString = nullptr;
  EFI_HII_DATABASE_PROTOCOL* HiiDatabase = nullptr;
  FORM_UTILITY_PROTOCOL* FormUtility = nullptr;
  CALLBACK_REGISTRY_PROTOCOL* Registry = nullptr;

  // The browser callback being dispatched; null outside one.
  CALLBACK_PARAMETERS* CurrentParameters = nullptr;

  // Callback registry: the installed interface and its list of nodes.
  CALLBACK_REGISTRY_PROTOCOL RegistryInterface = CallbackRegistryInterface();
  LIST_HEAD RegistryList = {};

  // The form-set table handed to the form utility service (which writes the
  // HII handles) and the instances its rows point at. Rows and instances
  // point at each other, so setupinfo/image_state.cpp links them at load.
  FORM_SET_INFO FormSets[FORM_SET_COUNT] = {};
  CONFIG_ACCESS_INSTANCE ConfigAccess[FORM_SET_COUNT] = {};
};

// The core's record in the image state.
CORE_STATE& CoreState();
