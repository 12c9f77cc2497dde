// The UEFI language variables, kept in step with the languages that the
// setup pages carry.
#pragma once

#include "uefi/base.h"

inline constexpr CHAR16 PLATFORM_LAST_LANG_CODES_NAME[] = u"PlatformLastLangCodes";
inline constexpr CHAR16 PLATFORM_LAST_LANG_NAME[] = u"PlatformLastLang";
inline constexpr CHAR16 PLATFORM_LANG_CODES_NAME[] = u"PlatformLangCodes";
inline constexpr CHAR16 LANG_CODES_NAME[] = u"LangCodes";
inline constexpr CHAR16 PLATFORM_LANG_NAME[] = u"PlatformLang";
inline constexpr CHAR16 LANG_NAME[] = u"Lang";

// Records the language list of the main form set in "PlatformLastLangCodes".
void UpdateLastLanguageCodes(EFI_HII_HANDLE HiiHandle);

// Publishes the recorded list and brings "PlatformLang" and "Lang" into
// agreement; run once at the end of start-up.
void ReconcileLanguageVariables();
