// The language in which the test form utility service reads and writes a
// package list's strings: "PlatformLang" when the package list carries it,
// otherwise en-US.
#pragma once

#include "uefi/hii.h"

constexpr UINTN LANGUAGE_CODE_CAPACITY = 32;

// Writes the NUL-terminated code into Code (LANGUAGE_CODE_CAPACITY bytes).
void CurrentHiiLanguage(const EFI_HII_STRING_PROTOCOL* Strings, EFI_HII_HANDLE HiiHandle, CHAR8* Code);

// True when List (';'-separated, NUL-terminated) holds Code as one whole entry.
bool LanguageListHas(const CHAR8* List, UINTN ListSize, const CHAR8* Code);
