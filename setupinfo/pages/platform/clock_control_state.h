// Mutable state of the clock control page: one record inside the image
// state (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/clock_control.h"
#include "platform/message_box.h"
#include "uefi/hii.h"

// What the page knows of one clock, in the page's units.
struct CLOCK_INFO {
  UINT32 MaxFrequency;      // 10 kHz
  UINT32 MinFrequency;      // 10 kHz
  UINT32 CurrentFrequency;  // 10 kHz
  UINT16 MaxSpread;         // hundredths of a percent
  UINT16 CurrentSpread;     // hundredths of a percent
  UINT16 UsageMask;
  UINT8 SpreadChange;
  UINT8 UpAllowed;
  UINT8 CenterAllowed;
  UINT8 DownAllowed;
  UINT8 CurrentSpreadMode;  // page index: 0 down, 1 center, 2 up, 3 none
};

// No clock chosen yet.
constexpr UINT8 CLOCK_NONE_SELECTED = 8;

struct CLOCK_CONTROL_STATE {
  UINT8 SelectedClock = CLOCK_NONE_SELECTED;
  BOOLEAN RefreshPending = 1;
  BOOLEAN AfterReadyToBoot = 0;
  BOOLEAN NotOfferedShown = 0;
  BOOLEAN Initialised = 0;
  EFI_HII_HANDLE HiiHandle = nullptr;
  CLOCK_INFO Selected = {};
  ICC_CLOCK_CONTROL_PROTOCOL* ClockControl = nullptr;
  MESSAGE_BOX_PROTOCOL* MessageBox = nullptr;
  EFI_EVENT ReadyToBootEvent = nullptr;
};

// The clock control page's record in the image state; the page reaches no other.
CLOCK_CONTROL_STATE& ClockControlState();
