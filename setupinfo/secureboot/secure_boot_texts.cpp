#include "setupinfo/secureboot/secure_boot_texts.h"

#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/hii_protocols.h"

// Longest text fetched before it is cut to the working buffer.
static constexpr UINTN FETCH_LIMIT_BYTES = 16 * 1024;
// Longest language code taken from PlatformLang.
static constexpr UINTN LANGUAGE_LIMIT = 64;

MESSAGE_BOX_PROTOCOL* SecureBootMessageBox() {
  MESSAGE_BOX_PROTOCOL* Service = LocateOnce(SecureBootPageState().MessageBox);
  if (Service == nullptr || Service->MessageBox == nullptr || Service->SelectFromList == nullptr) return nullptr;
  return Service;
}

// The whole string in a pool buffer that always ends, however long the
// stored text; the caller cuts it.
static bool FetchWhole(EFI_STRING_ID Id, const CHAR8* Language, PoolBuffer<CHAR16>& Text) {
  const EFI_HII_HANDLE Handle = SecureBootPageState().HiiHandle;
  EFI_HII_STRING_PROTOCOL* Hii = Language != nullptr ? HiiStringProtocol() : nullptr;
  if (Language != nullptr && Hii == nullptr) return false;
  CHAR16 Probe[1];
  UINTN Size = 0;
  EFI_STATUS Status = Language != nullptr ? Hii->GetString(Hii, Language, Handle, Id, Probe, &Size, nullptr)
                                          : GetHiiString(Handle, Id, &Size, nullptr);
  if (Status != EFI_BUFFER_TOO_SMALL || Size == 0 || Size > FETCH_LIMIT_BYTES) return false;
  const UINTN Chars = Size / sizeof(CHAR16) + 1;
  if (!Text.Allocate(Chars)) return false;
  UINTN ReadSize = Size;
  Status = Language != nullptr ? Hii->GetString(Hii, Language, Handle, Id, Text.Get(), &ReadSize, nullptr)
                               : GetHiiString(Handle, Id, &ReadSize, Text.Get());
  if (EFI_ERROR(Status)) return false;
  Text[Chars - 1] = 0;
  return true;
}

void FetchSecureBootString(EFI_STRING_ID Id, CHAR16 (&Buffer)[SECURE_BOOT_TEXT_CHARS]) {
  Buffer[0] = 0;
  PoolBuffer<CHAR8> Language;
  UINTN LanguageSize = 0;
  bool HaveLanguage =
      !EFI_ERROR(ReadWholeVariable(u"PlatformLang", &EFI_GLOBAL_VARIABLE_GUID, Language, &LanguageSize,
                                   VARIABLE_AS_TEXT)) &&
      LanguageSize != 0 && LanguageSize <= LANGUAGE_LIMIT;
  PoolBuffer<CHAR16> Text;
  // A PlatformLang the package does not carry (a firmware may keep plain "en")
  // would leave every box blank: the form utility's language then.
  if (!FetchWhole(Id, HaveLanguage ? Language.Get() : nullptr, Text) &&
      (!HaveLanguage || !FetchWhole(Id, nullptr, Text)))
    return;
  UINTN I = 0;
  for (; I + 1 < SECURE_BOOT_TEXT_CHARS && Text[I] != 0; ++I) Buffer[I] = Text[I];
  Buffer[I] = 0;
}

bool AskSecureBootQuestion(const CHAR16* Title, const CHAR16* Text) {
  MESSAGE_BOX_PROTOCOL* Service = SecureBootMessageBox();
  if (Service == nullptr) return false;
  // "No" until the box says otherwise: a box that fails never answered.
  UINT8 Answer = 1;
  if (EFI_ERROR(Service->MessageBox(Title, Text, MESSAGE_BOX_YES_NO, &Answer))) return false;
  return Answer == 0;
}

void ShowSecureBootNotice(const CHAR16* Title, const CHAR16* Text) {
  MESSAGE_BOX_PROTOCOL* Service = SecureBootMessageBox();
  if (Service == nullptr) return;
  UINT8 Unused = 0;
  Service->MessageBox(Title, Text, MESSAGE_BOX_NOTICE, &Unused);
}

void ShowSecureBootNoticeOf(EFI_STRING_ID Title, EFI_STRING_ID Text) {
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  FetchSecureBootString(Title, State.Title);
  FetchSecureBootString(Text, State.Text);
  ShowSecureBootNotice(State.Title, State.Text);
}
