// Mutable state of the north-bridge setup data: the display-audio codec
// table that the record points at. Its verb-list pointer is written again at
// every build, so the table is state, not a constant.
#pragma once

#include "uefi/base.h"

constexpr UINTN DISPLAY_AUDIO_VERB_COUNT = 12;

struct DISPLAY_AUDIO_CODEC_HEADER {
  UINT32 VendorDeviceId;
  UINT16 SubsystemId;
  UINT8 RevisionId;
  UINT8 FrontPanel;
  UINT8 RearJacks;
  UINT8 FrontJacks;
  UINT8 Reserved[2];
  const UINT32* VerbList;
};
static_assert(offsetof(DISPLAY_AUDIO_CODEC_HEADER, FrontJacks) == 9);
static_assert(offsetof(DISPLAY_AUDIO_CODEC_HEADER, VerbList) == 16);
static_assert(sizeof(DISPLAY_AUDIO_CODEC_HEADER) == 24);

// The header, then its verbs: pin configuration defaults of nodes 5, 6 and 7.
struct DISPLAY_AUDIO_CODEC_TABLE {
  DISPLAY_AUDIO_CODEC_HEADER Header = {0x80862807, 0, 0xFF, 2, 3, 0, {0, 0}, nullptr};
  UINT32 Verbs[DISPLAY_AUDIO_VERB_COUNT] = {
      0x00571C10, 0x00571D00, 0x00571E56, 0x00571F18,  // node 5
      0x00671C20, 0x00671D00, 0x00671E56, 0x00671F18,  // node 6
      0x00771C30, 0x00771D00, 0x00771E56, 0x00771F18,  // node 7
  };
};
static_assert(offsetof(DISPLAY_AUDIO_CODEC_TABLE, Verbs) == sizeof(DISPLAY_AUDIO_CODEC_HEADER));

struct NORTH_BRIDGE_SETUP_STATE {
  DISPLAY_AUDIO_CODEC_TABLE CodecTable;
};

NORTH_BRIDGE_SETUP_STATE& NorthBridgeSetupState();
