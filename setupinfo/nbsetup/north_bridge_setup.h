// North-bridge setup data: the board's memory-controller, graphics and
// system-agent settings record, built from the board's defaults and then
// overlaid with the user's Setup choices by an ordered list of hooks.
#pragma once

#include "setupinfo/core/setup_record.h"
#include "setupinfo/nbsetup/north_bridge_setup_state.h"
#include "uefi/base.h"

constexpr UINTN NB_SETUP_DATA_SIZE = 567;

// Bytes the memory page takes from the record: module-disable selectors of
// channels A and B.
constexpr UINTN NB_SETUP_MODULE_DISABLE_A = 0x12B;
constexpr UINTN NB_SETUP_MODULE_DISABLE_B = 0x12C;

// Pointer fields (8 bytes each, unaligned).
constexpr UINTN NB_SETUP_CODEC_TABLE = 0x107;
constexpr UINTN NB_SETUP_BYTE_LANE_MAP = 0x1E8;
constexpr UINTN NB_SETUP_LANE_ORDER_MAP = 0x1F0;

// Processor signatures (CPUID leaf 1 EAX without stepping and reserved bits)
// that change the defaults.
constexpr UINT32 NB_SIGNATURE_MASK = 0x0FFF0FF0;
constexpr UINT32 NB_SIGNATURE_306D0 = 0x306D0;
constexpr UINT32 NB_SIGNATURE_40650 = 0x40650;
constexpr UINT32 NB_SIGNATURE_40670 = 0x40670;

// Hub device ID at PCI configuration offset 2 of bus 0, device 31, function 0.
constexpr UINT8 NB_HUB_DEVICE = 31;
constexpr UINT16 NB_HUB_DEVICE_ID_REGISTER = 2;

constexpr UINTN NB_BYTE_LANE_MAP_SIZE = 24;
constexpr UINTN NB_LANE_ORDER_MAP_SIZE = 16;
extern const UINT8 NorthBridgeByteLaneMap[NB_BYTE_LANE_MAP_SIZE];
extern const UINT8 NorthBridgeLaneOrderMap[NB_LANE_ORDER_MAP_SIZE];

// Services: the runtime services table (EarlyPhase false), or the early
// phase's services table as that phase hands it to a module,
// const EFI_PEI_SERVICES** (EarlyPhase true). Record: at least
// NB_SETUP_DATA_SIZE bytes of the caller's; bytes without a default keep
// what it held.
VOID BuildNorthBridgeSetupData(const VOID* Services, UINT8* Record, BOOLEAN EarlyPhase);

// The hooks' shape; Setup is null when the variable could not be read whole.
using NORTH_BRIDGE_SETUP_HOOK = VOID(EFIAPI*)(const VOID* Services, UINT8* Record, const SETUP_RECORD* Setup,
                                              BOOLEAN EarlyPhase);

// The one hook of this board: copies the user's choices into the record.
VOID EFIAPI ApplySetupToNorthBridgeData(const VOID* Services, UINT8* Record, const SETUP_RECORD* Setup,
                                        BOOLEAN EarlyPhase);

// 1 for the 8-series desktop hubs, 2 for the low-power ones, 3 for any other.
UINT8 NorthBridgeHubType(UINT16 DeviceId);
