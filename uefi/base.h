// UEFI base types, status codes, GUIDs and the common table header.
// Laid out as UEFI 2.x defines them; shared by the firmware and host builds.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Every function reached through a pointer uses the Microsoft x64 convention,
// in the host build too, so the same tables work in both.
#define EFIAPI __attribute__((ms_abi))

#define IN
#define OUT
#define OPTIONAL
#define CONST const

typedef uint8_t BOOLEAN;
typedef int8_t INT8;
typedef uint8_t UINT8;
typedef int16_t INT16;
typedef uint16_t UINT16;
typedef int32_t INT32;
typedef uint32_t UINT32;
typedef int64_t INT64;
typedef uint64_t UINT64;
typedef int64_t INTN;
typedef uint64_t UINTN;
typedef char CHAR8;
typedef char16_t CHAR16;
typedef void VOID;

static_assert(sizeof(void*) == 8, "x64 only");
static_assert(sizeof(UINTN) == sizeof(void*));

#ifndef TRUE
#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)
#endif

typedef UINTN EFI_STATUS;
typedef VOID* EFI_HANDLE;
typedef VOID* EFI_EVENT;
typedef UINTN EFI_TPL;
typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT64 EFI_VIRTUAL_ADDRESS;
typedef UINT64 EFI_LBA;
typedef VOID* EFI_HII_HANDLE;
typedef UINT16 EFI_STRING_ID;
typedef UINT16 EFI_QUESTION_ID;

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16);

constexpr bool operator==(const EFI_GUID& a, const EFI_GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

struct EFI_TIME {
  UINT16 Year;
  UINT8 Month;
  UINT8 Day;
  UINT8 Hour;
  UINT8 Minute;
  UINT8 Second;
  UINT8 Pad1;
  UINT32 Nanosecond;
  INT16 TimeZone;
  UINT8 Daylight;
  UINT8 Pad2;
};
static_assert(sizeof(EFI_TIME) == 16);

struct EFI_IPv4_ADDRESS {
  UINT8 Addr[4];
};

// ---- Status codes -------------------------------------------------------

constexpr EFI_STATUS EFI_ERROR_BIT = 0x8000000000000000ull;
constexpr EFI_STATUS EfiError(UINTN code) { return EFI_ERROR_BIT | code; }
constexpr bool EFI_ERROR(EFI_STATUS s) { return (s & EFI_ERROR_BIT) != 0; }

constexpr EFI_STATUS EFI_SUCCESS = 0;
constexpr EFI_STATUS EFI_LOAD_ERROR = EfiError(1);
constexpr EFI_STATUS EFI_INVALID_PARAMETER = EfiError(2);
constexpr EFI_STATUS EFI_UNSUPPORTED = EfiError(3);
constexpr EFI_STATUS EFI_BAD_BUFFER_SIZE = EfiError(4);
constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = EfiError(5);
constexpr EFI_STATUS EFI_NOT_READY = EfiError(6);
constexpr EFI_STATUS EFI_DEVICE_ERROR = EfiError(7);
constexpr EFI_STATUS EFI_WRITE_PROTECTED = EfiError(8);
constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = EfiError(9);
constexpr EFI_STATUS EFI_VOLUME_CORRUPTED = EfiError(10);
constexpr EFI_STATUS EFI_VOLUME_FULL = EfiError(11);
constexpr EFI_STATUS EFI_NO_MEDIA = EfiError(12);
constexpr EFI_STATUS EFI_MEDIA_CHANGED = EfiError(13);
constexpr EFI_STATUS EFI_NOT_FOUND = EfiError(14);
constexpr EFI_STATUS EFI_ACCESS_DENIED = EfiError(15);
constexpr EFI_STATUS EFI_NO_RESPONSE = EfiError(16);
constexpr EFI_STATUS EFI_NO_MAPPING = EfiError(17);
constexpr EFI_STATUS EFI_TIMEOUT = EfiError(18);
constexpr EFI_STATUS EFI_NOT_STARTED = EfiError(19);
constexpr EFI_STATUS EFI_ALREADY_STARTED = EfiError(20);
constexpr EFI_STATUS EFI_ABORTED = EfiError(21);
constexpr EFI_STATUS EFI_ICMP_ERROR = EfiError(22);
constexpr EFI_STATUS EFI_TFTP_ERROR = EfiError(23);
constexpr EFI_STATUS EFI_PROTOCOL_ERROR = EfiError(24);
constexpr EFI_STATUS EFI_INCOMPATIBLE_VERSION = EfiError(25);
constexpr EFI_STATUS EFI_SECURITY_VIOLATION = EfiError(26);
constexpr EFI_STATUS EFI_CRC_ERROR = EfiError(27);
constexpr EFI_STATUS EFI_END_OF_MEDIA = EfiError(28);
constexpr EFI_STATUS EFI_END_OF_FILE = EfiError(31);
constexpr EFI_STATUS EFI_INVALID_LANGUAGE = EfiError(32);
constexpr EFI_STATUS EFI_COMPROMISED_DATA = EfiError(33);
constexpr EFI_STATUS EFI_IP_ADDRESS_CONFLICT = EfiError(34);
constexpr EFI_STATUS EFI_HTTP_ERROR = EfiError(35);

// Bits 62 and 61 mark the error ranges of other specifications.
constexpr EFI_STATUS EFI_OEM_ERROR_BIT = 0x4000000000000000ull;
constexpr EFI_STATUS EFI_PI_ERROR_BIT = 0x2000000000000000ull;
constexpr EFI_STATUS EFI_INTERRUPT_PENDING = EFI_ERROR_BIT | EFI_PI_ERROR_BIT | 0;
constexpr EFI_STATUS EFI_REQUEST_UNLOAD_IMAGE = EFI_ERROR_BIT | EFI_PI_ERROR_BIT | 1;
constexpr EFI_STATUS EFI_NOT_AVAILABLE_YET = EFI_ERROR_BIT | EFI_PI_ERROR_BIT | 2;
constexpr EFI_STATUS EFI_DBE_EOF = EFI_ERROR_BIT | EFI_OEM_ERROR_BIT | 1;
constexpr EFI_STATUS EFI_DBE_BOF = EFI_ERROR_BIT | EFI_OEM_ERROR_BIT | 2;

constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = 1;
constexpr EFI_STATUS EFI_WARN_DELETE_FAILURE = 2;
constexpr EFI_STATUS EFI_WARN_WRITE_FAILURE = 3;
constexpr EFI_STATUS EFI_WARN_BUFFER_TOO_SMALL = 4;
constexpr EFI_STATUS EFI_WARN_STALE_DATA = 5;
constexpr EFI_STATUS EFI_WARN_FILE_SYSTEM = 6;
constexpr EFI_STATUS EFI_WARN_RESET_REQUIRED = 7;
constexpr EFI_STATUS EFI_WARN_INTERRUPT_SOURCE_PENDING = EFI_PI_ERROR_BIT | 0;
constexpr EFI_STATUS EFI_WARN_INTERRUPT_SOURCE_QUIESCED = EFI_PI_ERROR_BIT | 1;

// ---- Table header -------------------------------------------------------

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24);

// ---- Task priority, events, memory, handle searches ---------------------

constexpr EFI_TPL TPL_APPLICATION = 4;
constexpr EFI_TPL TPL_CALLBACK = 8;
constexpr EFI_TPL TPL_NOTIFY = 16;
constexpr EFI_TPL TPL_HIGH_LEVEL = 31;

constexpr UINT32 EVT_TIMER = 0x80000000;
constexpr UINT32 EVT_RUNTIME = 0x40000000;
constexpr UINT32 EVT_NOTIFY_WAIT = 0x00000100;
constexpr UINT32 EVT_NOTIFY_SIGNAL = 0x00000200;
constexpr UINT32 EVT_SIGNAL_EXIT_BOOT_SERVICES = 0x00000201;
constexpr UINT32 EVT_SIGNAL_VIRTUAL_ADDRESS_CHANGE = 0x60000202;

enum EFI_TIMER_DELAY : UINT32 { TimerCancel, TimerPeriodic, TimerRelative };

enum EFI_MEMORY_TYPE : UINT32 {
  EfiReservedMemoryType,
  EfiLoaderCode,
  EfiLoaderData,
  EfiBootServicesCode,
  EfiBootServicesData,
  EfiRuntimeServicesCode,
  EfiRuntimeServicesData,
  EfiConventionalMemory,
  EfiUnusableMemory,
  EfiACPIReclaimMemory,
  EfiACPIMemoryNVS,
  EfiMemoryMappedIO,
  EfiMemoryMappedIOPortSpace,
  EfiPalCode,
  EfiPersistentMemory,
  EfiMaxMemoryType
};

enum EFI_ALLOCATE_TYPE : UINT32 { AllocateAnyPages, AllocateMaxAddress, AllocateAddress, MaxAllocateType };

struct EFI_MEMORY_DESCRIPTOR {
  UINT32 Type;
  EFI_PHYSICAL_ADDRESS PhysicalStart;
  EFI_VIRTUAL_ADDRESS VirtualStart;
  UINT64 NumberOfPages;
  UINT64 Attribute;
};
static_assert(sizeof(EFI_MEMORY_DESCRIPTOR) == 40);

enum EFI_INTERFACE_TYPE : UINT32 { EFI_NATIVE_INTERFACE };

enum EFI_LOCATE_SEARCH_TYPE : UINT32 { AllHandles, ByRegisterNotify, ByProtocol };

enum EFI_RESET_TYPE : UINT32 { EfiResetCold, EfiResetWarm, EfiResetShutdown, EfiResetPlatformSpecific };

constexpr UINT32 EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL = 0x01;
constexpr UINT32 EFI_OPEN_PROTOCOL_GET_PROTOCOL = 0x02;
constexpr UINT32 EFI_OPEN_PROTOCOL_TEST_PROTOCOL = 0x04;
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER = 0x08;
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_DRIVER = 0x10;
constexpr UINT32 EFI_OPEN_PROTOCOL_EXCLUSIVE = 0x20;

struct EFI_OPEN_PROTOCOL_INFORMATION_ENTRY {
  EFI_HANDLE AgentHandle;
  EFI_HANDLE ControllerHandle;
  UINT32 Attributes;
  UINT32 OpenCount;
};
static_assert(sizeof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY) == 24);

// Variable attributes.
constexpr UINT32 EFI_VARIABLE_NON_VOLATILE = 0x01;
constexpr UINT32 EFI_VARIABLE_BOOTSERVICE_ACCESS = 0x02;
constexpr UINT32 EFI_VARIABLE_RUNTIME_ACCESS = 0x04;
constexpr UINT32 EFI_VARIABLE_HARDWARE_ERROR_RECORD = 0x08;
constexpr UINT32 EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS = 0x10;
constexpr UINT32 EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS = 0x20;
constexpr UINT32 EFI_VARIABLE_APPEND_WRITE = 0x40;

// Well-known GUIDs that are not bound to one protocol type.
constexpr EFI_GUID EFI_GLOBAL_VARIABLE_GUID = {0x8BE4DF61, 0x93CA, 0x11D2, {0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C}};
constexpr EFI_GUID EFI_EVENT_GROUP_READY_TO_BOOT = {0x7CE88FB3, 0x4BD7, 0x4679, {0x87, 0xA8, 0xA8, 0xD8, 0xDE, 0xE5, 0x0D, 0x2B}};
constexpr EFI_GUID EFI_EVENT_GROUP_EXIT_BOOT_SERVICES = {0x27ABF055, 0xB1B8, 0x4C26, {0x80, 0x48, 0x74, 0x8F, 0x37, 0xBA, 0xA2, 0xDF}};
constexpr EFI_GUID EFI_END_OF_DXE_EVENT_GROUP_GUID = {0x02CE967A, 0xDD7E, 0x4FFC, {0x9E, 0xE7, 0x81, 0x0C, 0xF0, 0x47, 0x08, 0x80}};
