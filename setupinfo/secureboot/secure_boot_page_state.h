// Mutable state of the Secure Boot page actions and the key file selection:
// one record inside the image state (setupinfo/image_state.h), with its
// load-time values below.
#pragma once

#include "platform/message_box.h"
#include "uefi/hii.h"

// Working texts: 400 bytes each.
constexpr UINTN SECURE_BOOT_TEXT_CHARS = 200;

struct SECURE_BOOT_PAGE_STATE {
  // The Secure Boot package list: strings are fetched from it and list
  // items are created in it.
  EFI_HII_HANDLE HiiHandle = nullptr;
  MESSAGE_BOX_PROTOCOL* MessageBox = nullptr;
  // Set by a successful volume choice, cleared when a browse starts: a
  // browse always follows one volume choice.
  BOOLEAN VolumeChosen = 0;
  CHAR16 Title[SECURE_BOOT_TEXT_CHARS] = {};
  CHAR16 Text[SECURE_BOOT_TEXT_CHARS] = {};
  CHAR16 Formatted[SECURE_BOOT_TEXT_CHARS] = {};
};

// The Secure Boot page's record in the image state; the page reaches no other.
SECURE_BOOT_PAGE_STATE& SecureBootPageState();
