#include "qemu/check_report.h"

#include "lib/firmware_services.h"

void PrintLine(const CHAR16* Text) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Out = gST()->ConOut;
  if (Out == nullptr) return;
  Out->OutputString(Out, Text);
  Out->OutputString(Out, u"\r\n");
}

void RecordResult(CHECK_REPORT* Report, const CHAR16* Name, bool Passed, const CHAR16* Why) {
  if (Passed) {
    Report->Passed++;
    PrintFormatted(u"PASS %s", Name);
  } else {
    Report->Failed++;
    PrintFormatted(u"FAIL %s: %s", Name, Why);
  }
}

void PrintSummary(const CHECK_REPORT* Report) {
  PrintFormatted(u"%ld passed, %ld failed", Report->Passed, Report->Failed);
}
