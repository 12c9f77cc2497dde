// Mutable state of the user-default profile page: one record inside the
// image state (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/profile_storage.h"
#include "platform/setup_variable.h"

constexpr UINTN PROFILE_STORE_COUNT = 8;

struct USER_PROFILES_STATE {
  // Located by the page's initialiser; null while the platform has none.
  PROFILE_STORAGE_PROTOCOL* Storage = nullptr;
  // The covered stores in profile order; each row keeps the length its
  // store had at the last save, and is what the protocol is handed.
  PROFILE_STORE_RECORD StoreTable[PROFILE_STORE_COUNT] = {
      {SETUP_VARIABLE_GUID, "Setup", 0, 0},
      {SETUP_VARIABLE_GUID, "UsbSupport", 0, 0},
      {QUICK_SETUP_STORE_GUID, "ORVQSBSetup", 0, 0},
      {SUPER_IO_STORE_GUID, "PNP0604_0_NV", 0, 0},
      {SUPER_IO_STORE_GUID, "PNP0501_0_NV", 0, 0},
      {SUPER_IO_STORE_GUID, "PNP0501_1_NV", 0, 0},
      {SUPER_IO_STORE_GUID, "PNP0400_0_NV", 0, 0},
      {SUPER_IO_STORE_GUID, "PNP0510_0_NV", 0, 0},
  };
};

// The profile page's record in the image state; the page reaches no other.
USER_PROFILES_STATE& UserProfilesState();
