// The platform's message box service: boxes and list boxes drawn for the
// setup pages. Only the fifth and fourteenth functions are called; the other
// slots belong to the producer and are never called through.
#pragma once

#include "uefi/base.h"

// Box kinds.
constexpr UINT8 MESSAGE_BOX_NOTICE = 1;   // one button; the answer is not asked for
constexpr UINT8 MESSAGE_BOX_CONFIRM = 2;  // answer 0 = go on
constexpr UINT8 MESSAGE_BOX_YES_NO = 3;   // answer 0 = yes, non-zero = no

// One line of a list box: a string of the caller's package list; the rest
// stays zero.
struct MESSAGE_BOX_LIST_ITEM {
  EFI_STRING_ID StringId;
  UINT8 Reserved[38];
};
static_assert(offsetof(MESSAGE_BOX_LIST_ITEM, StringId) == 0);
static_assert(sizeof(MESSAGE_BOX_LIST_ITEM) == 40);

struct MESSAGE_BOX_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x8A91B1E1, 0x56C7, 0x4ADC, {0xAB, 0xEB, 0x1C, 0x2C, 0xA1, 0x72, 0x9E, 0xFF}};

  using MessageBoxFn = EFI_STATUS(EFIAPI*)(const CHAR16* Title, const CHAR16* Message, UINT8 Kind, UINT8* Answer);
  // Flags is always 0 from this system. Index is the chosen item on success.
  using SelectFromListFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Title, UINTN Flags,
                                               MESSAGE_BOX_LIST_ITEM* Items, UINTN Count, UINTN* Index);

  VOID* Reserved0[4];
  MessageBoxFn MessageBox;
  VOID* Reserved1[8];
  SelectFromListFn SelectFromList;
};
static_assert(offsetof(MESSAGE_BOX_PROTOCOL, MessageBox) == 4 * sizeof(VOID*));
static_assert(offsetof(MESSAGE_BOX_PROTOCOL, SelectFromList) == 13 * sizeof(VOID*));
static_assert(sizeof(MESSAGE_BOX_PROTOCOL) == 14 * sizeof(VOID*));
