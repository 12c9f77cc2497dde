// What the checks read back of a page: the package list setupinfo published
// for a class, and one of its strings in the language the test form utility
// service uses.
#pragma once

#include "uefi/hii.h"

constexpr UINTN PAGE_TEXT_CAPACITY = 256;

// The HII handle of the class's form set in the last load, or null.
EFI_HII_HANDLE PublishedPage(UINT16 Class);

// The string, cut to PAGE_TEXT_CAPACITY - 1 characters; empty on failure.
EFI_STATUS ReadPageText(EFI_HII_STRING_PROTOCOL* Strings, EFI_HII_HANDLE Handle, UINT16 Id,
                        CHAR16 (&Text)[PAGE_TEXT_CAPACITY]);
