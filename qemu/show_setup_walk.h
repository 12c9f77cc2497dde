// The scripted walk's starting record: the first fan curve rising in even
// steps, so that raising its third point above the fourth needs a
// correction, and the ring ratio at automatic.
#pragma once

#include "uefi/base.h"

constexpr UINTN SETUP_RECORD_SIZE = 1172;
constexpr UINTN FIRST_FAN_CURVE = 0x42E;  // five points
constexpr UINTN RING_RATIO = 0x98;
constexpr UINT8 WALK_FAN_CURVE[5] = {20, 30, 40, 50, 60};

inline void PrepareWalkRecord(UINT8* Setup) {
  for (UINTN i = 0; i < 5; ++i) Setup[FIRST_FAN_CURVE + i] = WALK_FAN_CURVE[i];
  Setup[RING_RATIO] = 0;
}
