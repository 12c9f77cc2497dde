// Texts of the Secure Boot boxes: strings of the page's package list fetched
// at the moment of use into the page's 400-byte working buffers, and the
// message box service that shows them.
#pragma once

#include "lib/text_format.h"
#include "setupinfo/secureboot/secure_boot_page_state.h"

// The message box service, located once and kept; null while missing.
MESSAGE_BOX_PROTOCOL* SecureBootMessageBox();

// String Id in the language named by PlatformLang (through the HII String
// protocol), or through the form utility service when that variable cannot
// be read. Cut to the buffer; an empty text when the string cannot be had.
void FetchSecureBootString(EFI_STRING_ID Id, CHAR16 (&Buffer)[SECURE_BOOT_TEXT_CHARS]);

// String Id used as the format of the wide formatter, into Buffer.
template <typename... T>
void FormatSecureBootString(CHAR16 (&Buffer)[SECURE_BOOT_TEXT_CHARS], EFI_STRING_ID Id, T... Values) {
  CHAR16 Format[SECURE_BOOT_TEXT_CHARS];
  FetchSecureBootString(Id, Format);
  FormatWide(Buffer, SECURE_BOOT_TEXT_CHARS, Format, Values...);
}

// A yes/no box: true only for an answer of yes from a box that was shown.
bool AskSecureBootQuestion(const CHAR16* Title, const CHAR16* Text);
// An information box.
void ShowSecureBootNotice(const CHAR16* Title, const CHAR16* Text);
// An information box of two strings, fetched into the title and text buffers.
void ShowSecureBootNoticeOf(EFI_STRING_ID Title, EFI_STRING_ID Text);
