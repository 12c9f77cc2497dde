// The Secure Boot key layer: the five key variables, the state the page
// shows, default keys from the firmware volumes, and the authenticated image
// built around a bare certificate or hash.
#pragma once

#include "uefi/image_authentication.h"

// Processed in this order everywhere; index 4 (PK) last, so that the
// platform leaves user mode only after the databases are done.
struct KEY_VARIABLE_ENTRY {
  const CHAR16* Name;
  EFI_GUID DefaultKeyFile;  // name of the raw-section file in the firmware volumes
};
constexpr UINTN KEY_VARIABLE_COUNT = 5;
constexpr UINTN KEY_INDEX_DBX = 0, KEY_INDEX_DBT = 1, KEY_INDEX_DB = 2, KEY_INDEX_KEK = 3, KEY_INDEX_PK = 4;
inline constexpr KEY_VARIABLE_ENTRY KeyVariables[KEY_VARIABLE_COUNT] = {
    {u"dbx", {0x9D7A05E9, 0xF740, 0x44C3, {0x85, 0x8B, 0x75, 0x58, 0x6A, 0x8F, 0x9C, 0x8E}}},
    {u"dbt", {0xC246FBBF, 0xF75C, 0x43F7, {0x88, 0xA6, 0xB5, 0xFD, 0x0C, 0xF1, 0xDB, 0x7F}}},
    {u"db", {0xFBF95065, 0x427F, 0x47B3, {0x80, 0x77, 0xD1, 0x3C, 0x60, 0x71, 0x09, 0x98}}},
    {u"KEK", {0x9FE7DE69, 0x0AEA, 0x470A, {0xB5, 0x0A, 0x13, 0x98, 0x13, 0x64, 0x91, 0x89}}},
    {u"PK", {0xCC0F8A3F, 0x3DEA, 0x4376, {0x96, 0x79, 0x54, 0x26, 0xBA, 0x0A, 0x90, 0x7E}}},
};

// The firmware's own signature owner.
inline constexpr EFI_GUID SIGNATURE_OWNER_GUID = {
    0x26DC4851, 0x195F, 0x4AE1, {0x9A, 0x19, 0xFB, 0xF8, 0x83, 0xBB, 0xB3, 0x5E}};

// Below index 3 the image security database, else the global variable GUID.
const EFI_GUID* KeyVariableGuid(UINTN Index);

constexpr UINT32 KEY_WRITE_ATTRIBUTES = 0x27;
constexpr UINT32 KEY_APPEND_ATTRIBUTES = 0x67;

// WriteKeyVariable flags.
constexpr UINT32 KEY_WRITE_DELETE = 0x1;
constexpr UINT32 KEY_WRITE_DATA = 0x2;
constexpr UINT32 KEY_WRITE_APPEND = 0x4;
// RestoreKeys flags.
constexpr UINT32 RESTORE_DELETE = 0x1;
constexpr UINT32 RESTORE_INSTALL_DEFAULTS = 0x2;

constexpr UINTN AUTHENTICATED_HEADER_SIZE = sizeof(EFI_VARIABLE_AUTHENTICATION_2);  // 40
constexpr UINTN SIGNATURE_LIST_IMAGE_HEADER_SIZE =
    AUTHENTICATED_HEADER_SIZE + sizeof(EFI_SIGNATURE_LIST) + sizeof(EFI_SIGNATURE_DATA);  // 84
constexpr UINT32 SIGNATURE_LIST_MIN_SIZE = 76;
constexpr UINT32 SIGNATURE_LIST_MAX_SIZE = 0x20000;

constexpr UINTN SECURE_VAR_PRESENT_SIZE = 5;

// SecureVarPresent, SecureBoot and SetupMode into the store and the browser.
void RefreshSecureBootState();

// The factory default content of one key variable; *Buffer is pool memory the
// caller frees. EFI_NOT_FOUND when no volume holds the file.
EFI_STATUS ReadDefaultKeyFile(const EFI_GUID* FileGuid, VOID** Buffer, UINTN* Size);

// Deletes and/or writes key variable Index, then refreshes the state.
EFI_STATUS WriteKeyVariable(UINTN Index, UINT32 Flags, const VOID* Data, UINTN Size);

// Deletes all keys and/or installs the default key files. The caller refreshes.
EFI_STATUS RestoreKeys(UINT32 Flags);

// Bytes 0-39: the fixed time stamp and a header-only PKCS7 certificate.
void BuildAuthenticatedHeader(UINT8* Image);

// Bytes 0-83 for a payload of PayloadSize bytes, which the caller copies to
// byte 84. EFI_INVALID_PARAMETER for a size without a signature type or one
// whose image would not fit the 32-bit list size.
EFI_STATUS BuildSignatureListImage(UINT8* Image, UINTN PayloadSize);

// EFI_SUCCESS when Data starts with well-formed signature lists, else
// EFI_SECURITY_VIOLATION.
EFI_STATUS ValidateSignatureLists(const VOID* Data, UINTN Size);
