// The check application: `qemucheck.efi before` ahead of the drivers, then
// `qemucheck.efi boot1` or `qemucheck.efi boot2` once they are loaded.
// Reports on ConOut.
#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "qemu/checks.h"
#include "uefi/loaded_image.h"

namespace {

enum class CHECK_MODE { Unknown, BeforeDrivers, FirstBoot, LaterBoot, ClockRestart };

// The shell passes the whole command line as LoadOptions; the mode is its last word.
CHECK_MODE ReadMode(EFI_HANDLE ImageHandle) {
  EFI_LOADED_IMAGE_PROTOCOL* Image = HandleProtocol<EFI_LOADED_IMAGE_PROTOCOL>(ImageHandle);
  if (Image == nullptr || Image->LoadOptions == nullptr) return CHECK_MODE::Unknown;
  const CHAR16* Options = (const CHAR16*)Image->LoadOptions;
  UINTN Length = Image->LoadOptionsSize / sizeof(CHAR16);
  while (Length > 0 && (Options[Length - 1] == 0 || Options[Length - 1] == u' ')) --Length;
  UINTN Start = Length;
  while (Start > 0 && Options[Start - 1] != u' ') --Start;
  CHAR16 Word[8] = {};
  if (Length - Start >= ArrayCount(Word)) return CHECK_MODE::Unknown;
  MemMove(Word, Options + Start, (Length - Start) * sizeof(CHAR16));
  if (SameText(Word, u"before")) return CHECK_MODE::BeforeDrivers;
  if (SameText(Word, u"boot1")) return CHECK_MODE::FirstBoot;
  if (SameText(Word, u"boot2")) return CHECK_MODE::LaterBoot;
  if (SameText(Word, u"restart")) return CHECK_MODE::ClockRestart;
  return CHECK_MODE::Unknown;
}

}  // namespace

bool SameText(const CHAR16* A, const CHAR16* B) { return WideCompare(A, B) == 0; }
bool SameAscii(const CHAR8* A, const CHAR8* B) { return AsciiCompare(A, B) == 0; }

extern "C" EFI_STATUS EFIAPI QemuCheckMain(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  CHECK_REPORT Report = {};
  switch (ReadMode(ImageHandle)) {
    case CHECK_MODE::BeforeDrivers:
      // Notes only: the count line comes from the run after the drivers.
      PrintLine(u"qemucheck before");
      SaveLanguageSnapshot();
      PrepareGraphicsOutputChecks();
      return EFI_SUCCESS;
    case CHECK_MODE::FirstBoot:
      PrintLine(u"qemucheck boot1");
      RunFirstBootSetupChecks(&Report);
      RunSataPortChecks(&Report);
      RunNvmeChecks(&Report);
      RunUpdateLocatorChecks(&Report);
      RunGraphicsOutputChecks(&Report, false);
      RunProfileNameChecks(&Report, false);
      break;
    case CHECK_MODE::LaterBoot:
      PrintLine(u"qemucheck boot2");
      RunLaterBootSetupChecks(&Report);
      RunGraphicsOutputChecks(&Report, true);
      RunProfileNameChecks(&Report, true);
      break;
    case CHECK_MODE::ClockRestart:
      PrintLine(u"qemucheck restart");
      RunClockRestartChecks(&Report);
      break;
    case CHECK_MODE::Unknown:
      Check(&Report, u"mode", false, u"usage: qemucheck.efi before|boot1|boot2|restart");
      break;
  }
  PrintSummary(&Report);
  return EFI_SUCCESS;
}
