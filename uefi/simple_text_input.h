// Simple Text Input protocol (the system table's ConIn) and its key record.
#pragma once

#include "uefi/base.h"

struct EFI_INPUT_KEY {
  UINT16 ScanCode;
  CHAR16 UnicodeChar;
};
static_assert(sizeof(EFI_INPUT_KEY) == 4);

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x387477C1, 0x69C7, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};

  using ResetFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This, BOOLEAN ExtendedVerification);
  // EFI_NOT_READY when no key is waiting.
  using ReadKeyStrokeFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This, EFI_INPUT_KEY* Key);

  ResetFn Reset;
  ReadKeyStrokeFn ReadKeyStroke;
  EFI_EVENT WaitForKey;
};
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, ReadKeyStroke) == 8);
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, WaitForKey) == 16);
static_assert(sizeof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL) == 24);

// Scan codes of keys without a character.
constexpr UINT16 SCAN_NULL = 0x0000;
constexpr UINT16 SCAN_UP = 0x0001;
constexpr UINT16 SCAN_DOWN = 0x0002;
constexpr UINT16 SCAN_RIGHT = 0x0003;
constexpr UINT16 SCAN_LEFT = 0x0004;
constexpr UINT16 SCAN_HOME = 0x0005;
constexpr UINT16 SCAN_END = 0x0006;
constexpr UINT16 SCAN_INSERT = 0x0007;
constexpr UINT16 SCAN_DELETE = 0x0008;
constexpr UINT16 SCAN_PAGE_UP = 0x0009;
constexpr UINT16 SCAN_PAGE_DOWN = 0x000A;
constexpr UINT16 SCAN_F1 = 0x000B;
constexpr UINT16 SCAN_F2 = 0x000C;
constexpr UINT16 SCAN_F3 = 0x000D;
constexpr UINT16 SCAN_F4 = 0x000E;
constexpr UINT16 SCAN_F5 = 0x000F;
constexpr UINT16 SCAN_F6 = 0x0010;
constexpr UINT16 SCAN_F7 = 0x0011;
constexpr UINT16 SCAN_F8 = 0x0012;
constexpr UINT16 SCAN_F9 = 0x0013;
constexpr UINT16 SCAN_F10 = 0x0014;
constexpr UINT16 SCAN_ESC = 0x0017;

// Control characters delivered in UnicodeChar.
constexpr CHAR16 CHAR_NULL = 0x0000;
constexpr CHAR16 CHAR_BACKSPACE = 0x0008;
constexpr CHAR16 CHAR_TAB = 0x0009;
constexpr CHAR16 CHAR_LINEFEED = 0x000A;
constexpr CHAR16 CHAR_CARRIAGE_RETURN = 0x000D;
