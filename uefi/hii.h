// HII: package lists and string packages, the HII String and HII Database
// protocols, the Config Access protocol and the IFR value union, as laid out
// by UEFI 2.x. Package data is byte-packed.
#pragma once

#include "uefi/base.h"

struct EFI_FONT_INFO;
struct EFI_HII_KEYBOARD_LAYOUT;

typedef CHAR16* EFI_STRING;
typedef UINT16 EFI_FORM_ID;
typedef UINTN EFI_BROWSER_ACTION;
typedef UINTN EFI_BROWSER_ACTION_REQUEST;
typedef UINTN EFI_HII_DATABASE_NOTIFY_TYPE;

#pragma pack(push, 1)

// ---- Package lists and packages ------------------------------------------

struct EFI_HII_PACKAGE_LIST_HEADER {
  EFI_GUID PackageListGuid;
  UINT32 PackageLength;  // whole list, this header included
};
static_assert(sizeof(EFI_HII_PACKAGE_LIST_HEADER) == 20);
static_assert(offsetof(EFI_HII_PACKAGE_LIST_HEADER, PackageLength) == 16);

// Length (24 bits, header included) and Type (8 bits) share one UINT32; kept
// as a plain word so the layout never depends on bit-field rules.
struct EFI_HII_PACKAGE_HEADER {
  UINT32 LengthAndType;

  constexpr UINT32 Length() const { return LengthAndType & 0x00FFFFFFu; }
  constexpr UINT8 Type() const { return (UINT8)(LengthAndType >> 24); }
  constexpr void Set(UINT32 Length, UINT8 Type) { LengthAndType = (Length & 0x00FFFFFFu) | ((UINT32)Type << 24); }
};
static_assert(sizeof(EFI_HII_PACKAGE_HEADER) == 4);

constexpr UINT32 EFI_HII_PACKAGE_MAX_LENGTH = 0x00FFFFFFu;

constexpr UINT8 EFI_HII_PACKAGE_TYPE_ALL = 0x00;
constexpr UINT8 EFI_HII_PACKAGE_TYPE_GUID = 0x01;
constexpr UINT8 EFI_HII_PACKAGE_FORMS = 0x02;
constexpr UINT8 EFI_HII_PACKAGE_STRINGS = 0x04;
constexpr UINT8 EFI_HII_PACKAGE_FONTS = 0x05;
constexpr UINT8 EFI_HII_PACKAGE_IMAGES = 0x06;
constexpr UINT8 EFI_HII_PACKAGE_SIMPLE_FONTS = 0x07;
constexpr UINT8 EFI_HII_PACKAGE_DEVICE_PATH = 0x08;
constexpr UINT8 EFI_HII_PACKAGE_KEYBOARD_LAYOUT = 0x09;
constexpr UINT8 EFI_HII_PACKAGE_ANIMATIONS = 0x0A;
constexpr UINT8 EFI_HII_PACKAGE_END = 0xDF;
constexpr UINT8 EFI_HII_PACKAGE_TYPE_SYSTEM_BEGIN = 0xE0;
constexpr UINT8 EFI_HII_PACKAGE_TYPE_SYSTEM_END = 0xFF;

// GUID package: the header, then the GUID that names the package's kind.
struct EFI_HII_GUID_PACKAGE_HDR {
  EFI_HII_PACKAGE_HEADER Header;
  EFI_GUID Guid;
};
static_assert(sizeof(EFI_HII_GUID_PACKAGE_HDR) == 20);

// ---- String packages --------------------------------------------------------

struct EFI_HII_STRING_PACKAGE_HDR {
  EFI_HII_PACKAGE_HEADER Header;
  UINT32 HdrSize;           // this header including the whole Language text and its NUL
  UINT32 StringInfoOffset;  // from the package start to the first string block
  CHAR16 LanguageWindow[16];
  EFI_STRING_ID LanguageName;
  CHAR8 Language[1];  // NUL-terminated ASCII, primary then ';'-separated secondary languages
};
constexpr UINTN EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE = 46;  // up to Language
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, HdrSize) == 4);
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, StringInfoOffset) == 8);
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageWindow) == 12);
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageName) == 44);
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, Language) == EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE);

// String information block types.
constexpr UINT8 EFI_HII_SIBT_END = 0x00;
constexpr UINT8 EFI_HII_SIBT_STRING_SCSU = 0x10;
constexpr UINT8 EFI_HII_SIBT_STRING_SCSU_FONT = 0x11;
constexpr UINT8 EFI_HII_SIBT_STRINGS_SCSU = 0x12;
constexpr UINT8 EFI_HII_SIBT_STRINGS_SCSU_FONT = 0x13;
constexpr UINT8 EFI_HII_SIBT_STRING_UCS2 = 0x14;
constexpr UINT8 EFI_HII_SIBT_STRING_UCS2_FONT = 0x15;
constexpr UINT8 EFI_HII_SIBT_STRINGS_UCS2 = 0x16;
constexpr UINT8 EFI_HII_SIBT_STRINGS_UCS2_FONT = 0x17;
constexpr UINT8 EFI_HII_SIBT_DUPLICATE = 0x20;
constexpr UINT8 EFI_HII_SIBT_SKIP2 = 0x21;
constexpr UINT8 EFI_HII_SIBT_SKIP1 = 0x22;
constexpr UINT8 EFI_HII_SIBT_EXT1 = 0x30;
constexpr UINT8 EFI_HII_SIBT_EXT2 = 0x31;
constexpr UINT8 EFI_HII_SIBT_EXT4 = 0x32;
constexpr UINT8 EFI_HII_SIBT_FONT = 0x40;  // BlockType2 of an EXT2 block

struct EFI_HII_STRING_BLOCK {
  UINT8 BlockType;
};

struct EFI_HII_SIBT_STRING_UCS2_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  CHAR16 StringText[1];  // NUL-terminated
};
static_assert(offsetof(EFI_HII_SIBT_STRING_UCS2_BLOCK, StringText) == 1);

struct EFI_HII_SIBT_STRINGS_UCS2_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT16 StringCount;
  CHAR16 StringText[1];  // StringCount NUL-terminated texts
};
static_assert(offsetof(EFI_HII_SIBT_STRINGS_UCS2_BLOCK, StringText) == 3);

struct EFI_HII_SIBT_STRING_UCS2_FONT_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT8 FontIdentifier;
  CHAR16 StringText[1];
};
static_assert(offsetof(EFI_HII_SIBT_STRING_UCS2_FONT_BLOCK, StringText) == 2);

struct EFI_HII_SIBT_STRINGS_UCS2_FONT_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT8 FontIdentifier;
  UINT16 StringCount;
  CHAR16 StringText[1];
};
static_assert(offsetof(EFI_HII_SIBT_STRINGS_UCS2_FONT_BLOCK, StringText) == 4);

struct EFI_HII_SIBT_DUPLICATE_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  EFI_STRING_ID StringId;
};
static_assert(sizeof(EFI_HII_SIBT_DUPLICATE_BLOCK) == 3);

struct EFI_HII_SIBT_SKIP1_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT8 SkipCount;
};
static_assert(sizeof(EFI_HII_SIBT_SKIP1_BLOCK) == 2);

struct EFI_HII_SIBT_SKIP2_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT16 SkipCount;
};
static_assert(sizeof(EFI_HII_SIBT_SKIP2_BLOCK) == 3);

// Extended blocks carry their own total length, header included.
struct EFI_HII_SIBT_EXT1_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT8 BlockType2;
  UINT8 Length;
};
static_assert(sizeof(EFI_HII_SIBT_EXT1_BLOCK) == 3);

struct EFI_HII_SIBT_EXT2_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT8 BlockType2;
  UINT16 Length;
};
static_assert(sizeof(EFI_HII_SIBT_EXT2_BLOCK) == 4);

struct EFI_HII_SIBT_EXT4_BLOCK {
  EFI_HII_STRING_BLOCK Header;
  UINT8 BlockType2;
  UINT32 Length;
};
static_assert(sizeof(EFI_HII_SIBT_EXT4_BLOCK) == 6);

struct EFI_HII_SIBT_END_BLOCK {
  EFI_HII_STRING_BLOCK Header;
};
static_assert(sizeof(EFI_HII_SIBT_END_BLOCK) == 1);

// ---- IFR values ---------------------------------------------------------------

struct EFI_HII_TIME {
  UINT8 Hour;
  UINT8 Minute;
  UINT8 Second;
};
static_assert(sizeof(EFI_HII_TIME) == 3);

struct EFI_HII_DATE {
  UINT16 Year;
  UINT8 Month;
  UINT8 Day;
};
static_assert(sizeof(EFI_HII_DATE) == 4);

struct EFI_HII_REF {
  EFI_QUESTION_ID QuestionId;
  EFI_FORM_ID FormId;
  EFI_GUID FormSetGuid;
  EFI_STRING_ID DevicePath;
};
static_assert(sizeof(EFI_HII_REF) == 22);

union EFI_IFR_TYPE_VALUE {
  UINT8 u8;
  UINT16 u16;
  UINT32 u32;
  UINT64 u64;
  BOOLEAN b;
  EFI_HII_TIME time;
  EFI_HII_DATE date;
  EFI_STRING_ID string;
  EFI_HII_REF ref;
  UINT8 buffer[1];  // EFI_IFR_TYPE_BUFFER: the question's bytes start here
};
// The largest member, EFI_HII_REF, fixes the size.
static_assert(sizeof(EFI_IFR_TYPE_VALUE) == sizeof(EFI_HII_REF));

#pragma pack(pop)

constexpr UINT8 EFI_IFR_TYPE_NUM_SIZE_8 = 0x00;
constexpr UINT8 EFI_IFR_TYPE_NUM_SIZE_16 = 0x01;
constexpr UINT8 EFI_IFR_TYPE_NUM_SIZE_32 = 0x02;
constexpr UINT8 EFI_IFR_TYPE_NUM_SIZE_64 = 0x03;
constexpr UINT8 EFI_IFR_TYPE_BOOLEAN = 0x04;
constexpr UINT8 EFI_IFR_TYPE_TIME = 0x05;
constexpr UINT8 EFI_IFR_TYPE_DATE = 0x06;
constexpr UINT8 EFI_IFR_TYPE_STRING = 0x07;
constexpr UINT8 EFI_IFR_TYPE_OTHER = 0x08;
constexpr UINT8 EFI_IFR_TYPE_UNDEFINED = 0x09;
constexpr UINT8 EFI_IFR_TYPE_ACTION = 0x0A;
constexpr UINT8 EFI_IFR_TYPE_BUFFER = 0x0B;
constexpr UINT8 EFI_IFR_TYPE_REF = 0x0C;

// ---- Browser actions and action requests ----------------------------------------

constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_CHANGING = 0;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_CHANGED = 1;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_RETRIEVE = 2;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_FORM_OPEN = 3;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_FORM_CLOSE = 4;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_SUBMITTED = 5;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_DEFAULT_STANDARD = 0x1000;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_DEFAULT_MANUFACTURING = 0x1001;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_DEFAULT_SAFE = 0x1002;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_DEFAULT_PLATFORM = 0x2000;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_DEFAULT_HARDWARE = 0x3000;
constexpr EFI_BROWSER_ACTION EFI_BROWSER_ACTION_DEFAULT_FIRMWARE = 0x4000;

constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_NONE = 0;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_RESET = 1;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_SUBMIT = 2;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_EXIT = 3;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_FORM_SUBMIT_EXIT = 4;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_FORM_DISCARD_EXIT = 5;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_FORM_APPLY = 6;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_FORM_DISCARD = 7;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_RECONNECT = 8;
constexpr EFI_BROWSER_ACTION_REQUEST EFI_BROWSER_ACTION_REQUEST_QUESTION_APPLY = 9;

// ---- HII String protocol ------------------------------------------------------------

struct EFI_HII_STRING_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x0FD96974, 0x23AA, 0x4CDC, {0xB9, 0xCB, 0x98, 0xD1, 0x77, 0x50, 0x32, 0x2A}};

  using NewStringFn = EFI_STATUS(EFIAPI*)(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                          EFI_STRING_ID* StringId, const CHAR8* Language,
                                          const CHAR16* LanguageName, const CHAR16* String,
                                          const EFI_FONT_INFO* StringFontInfo);
  using GetStringFn = EFI_STATUS(EFIAPI*)(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language,
                                          EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                                          UINTN* StringSize, EFI_FONT_INFO** StringFontInfo);
  using SetStringFn = EFI_STATUS(EFIAPI*)(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                          EFI_STRING_ID StringId, const CHAR8* Language, const CHAR16* String,
                                          const EFI_FONT_INFO* StringFontInfo);
  using GetLanguagesFn = EFI_STATUS(EFIAPI*)(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                             CHAR8* Languages, UINTN* LanguagesSize);
  using GetSecondaryLanguagesFn = EFI_STATUS(EFIAPI*)(const EFI_HII_STRING_PROTOCOL* This,
                                                      EFI_HII_HANDLE PackageList, const CHAR8* PrimaryLanguage,
                                                      CHAR8* SecondaryLanguages, UINTN* SecondaryLanguagesSize);

  NewStringFn NewString;
  GetStringFn GetString;
  SetStringFn SetString;
  GetLanguagesFn GetLanguages;
  GetSecondaryLanguagesFn GetSecondaryLanguages;
};
static_assert(offsetof(EFI_HII_STRING_PROTOCOL, GetString) == 8);
static_assert(offsetof(EFI_HII_STRING_PROTOCOL, SetString) == 16);
static_assert(offsetof(EFI_HII_STRING_PROTOCOL, GetLanguages) == 24);
static_assert(sizeof(EFI_HII_STRING_PROTOCOL) == 40);

// ---- HII Database protocol ----------------------------------------------------------

constexpr EFI_HII_DATABASE_NOTIFY_TYPE EFI_HII_DATABASE_NOTIFY_NEW_PACK = 0x01;
constexpr EFI_HII_DATABASE_NOTIFY_TYPE EFI_HII_DATABASE_NOTIFY_REMOVE_PACK = 0x02;
constexpr EFI_HII_DATABASE_NOTIFY_TYPE EFI_HII_DATABASE_NOTIFY_EXPORT_PACK = 0x04;
constexpr EFI_HII_DATABASE_NOTIFY_TYPE EFI_HII_DATABASE_NOTIFY_ADD_PACK = 0x08;

typedef EFI_STATUS(EFIAPI* EFI_HII_DATABASE_NOTIFY)(UINT8 PackageType, const EFI_GUID* PackageGuid,
                                                    const EFI_HII_PACKAGE_HEADER* Package, EFI_HII_HANDLE Handle,
                                                    EFI_HII_DATABASE_NOTIFY_TYPE NotifyType);

struct EFI_HII_DATABASE_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xEF9FC172, 0xA1B2, 0x4693, {0xB3, 0x27, 0x6D, 0x32, 0xFC, 0x41, 0x60, 0x42}};

  using NewPackageListFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This,
                                               const EFI_HII_PACKAGE_LIST_HEADER* PackageList,
                                               EFI_HANDLE DriverHandle, EFI_HII_HANDLE* Handle);
  using RemovePackageListFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle);
  using UpdatePackageListFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle,
                                                  const EFI_HII_PACKAGE_LIST_HEADER* PackageList);
  using ListPackageListsFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, UINT8 PackageType,
                                                 const EFI_GUID* PackageGuid, UINTN* HandleBufferLength,
                                                 EFI_HII_HANDLE* Handle);
  using ExportPackageListsFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle,
                                                   UINTN* BufferSize, EFI_HII_PACKAGE_LIST_HEADER* Buffer);
  using RegisterPackageNotifyFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, UINT8 PackageType,
                                                      const EFI_GUID* PackageGuid,
                                                      EFI_HII_DATABASE_NOTIFY PackageNotifyFn,
                                                      EFI_HII_DATABASE_NOTIFY_TYPE NotifyType,
                                                      EFI_HANDLE* NotifyHandle);
  using UnregisterPackageNotifyFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This,
                                                        EFI_HANDLE NotificationHandle);
  using FindKeyboardLayoutsFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This,
                                                    UINT16* KeyGuidBufferLength, EFI_GUID* KeyGuidBuffer);
  using GetKeyboardLayoutFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, const EFI_GUID* KeyGuid,
                                                  UINT16* KeyboardLayoutLength,
                                                  EFI_HII_KEYBOARD_LAYOUT* KeyboardLayout);
  using SetKeyboardLayoutFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This, const EFI_GUID* KeyGuid);
  using GetPackageListHandleFn = EFI_STATUS(EFIAPI*)(const EFI_HII_DATABASE_PROTOCOL* This,
                                                     EFI_HII_HANDLE PackageListHandle, EFI_HANDLE* DriverHandle);

  NewPackageListFn NewPackageList;
  RemovePackageListFn RemovePackageList;
  UpdatePackageListFn UpdatePackageList;
  ListPackageListsFn ListPackageLists;
  ExportPackageListsFn ExportPackageLists;
  RegisterPackageNotifyFn RegisterPackageNotify;
  UnregisterPackageNotifyFn UnregisterPackageNotify;
  FindKeyboardLayoutsFn FindKeyboardLayouts;
  GetKeyboardLayoutFn GetKeyboardLayout;
  SetKeyboardLayoutFn SetKeyboardLayout;
  GetPackageListHandleFn GetPackageListHandle;
};
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, RemovePackageList) == 8);
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, ExportPackageLists) == 32);
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, GetPackageListHandle) == 80);
static_assert(sizeof(EFI_HII_DATABASE_PROTOCOL) == 88);

// ---- HII Config Access protocol -----------------------------------------------------

struct EFI_HII_CONFIG_ACCESS_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x330D4706, 0xF2A0, 0x4E4F, {0xA3, 0x69, 0xB6, 0x6F, 0xA8, 0xD5, 0x43, 0x85}};

  using ExtractConfigFn = EFI_STATUS(EFIAPI*)(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, const CHAR16* Request,
                                              EFI_STRING* Progress, EFI_STRING* Results);
  using RouteConfigFn = EFI_STATUS(EFIAPI*)(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This,
                                            const CHAR16* Configuration, EFI_STRING* Progress);
  using CallbackFn = EFI_STATUS(EFIAPI*)(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                                         EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                                         EFI_BROWSER_ACTION_REQUEST* ActionRequest);

  ExtractConfigFn ExtractConfig;
  RouteConfigFn RouteConfig;
  CallbackFn Callback;
};
static_assert(offsetof(EFI_HII_CONFIG_ACCESS_PROTOCOL, Callback) == 16);
static_assert(sizeof(EFI_HII_CONFIG_ACCESS_PROTOCOL) == 24);
