#include "qemu/current_language.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"

bool LanguageListHas(const CHAR8* List, UINTN ListSize, const CHAR8* Code) {
  UINTN CodeLength = AsciiLength(Code);
  UINTN Start = 0;
  for (UINTN i = 0; i <= ListSize; ++i) {
    bool End = i == ListSize || List[i] == '\0' || List[i] == ';';
    if (!End) continue;
    if (i - Start == CodeLength && MemCompare(List + Start, Code, CodeLength) == 0) return true;
    if (i == ListSize || List[i] == '\0') return false;
    Start = i + 1;
  }
  return false;
}

void CurrentHiiLanguage(const EFI_HII_STRING_PROTOCOL* Strings, EFI_HII_HANDLE HiiHandle, CHAR8* Code) {
  AsciiCopy(Code, "en-US");
  CHAR8 Platform[LANGUAGE_CODE_CAPACITY] = {};
  UINTN Size = sizeof(Platform) - 1;
  if (EFI_ERROR(gRT()->GetVariable(u"PlatformLang", &EFI_GLOBAL_VARIABLE_GUID, nullptr, &Size, Platform))) return;
  Platform[Min<UINTN>(Size, sizeof(Platform) - 1)] = '\0';

  UINTN ListSize = 0;
  if (Strings->GetLanguages(Strings, HiiHandle, nullptr, &ListSize) != EFI_BUFFER_TOO_SMALL) return;
  PoolBuffer<CHAR8> List;
  if (!List.Allocate(ListSize)) return;
  if (EFI_ERROR(Strings->GetLanguages(Strings, HiiHandle, List.Get(), &ListSize))) return;
  if (LanguageListHas(List.Get(), ListSize, Platform)) AsciiCopy(Code, Platform);
}
