// The check application: `qemucheck.efi before` ahead of the drivers, then
// `qemucheck.efi boot1` or `qemucheck.efi boot2` once they are loaded. As the
// removable-media boot file of a Secure Boot run it finds its mode in a file
// beside it, loads the drivers itself and powers the machine off.
// Reports on ConOut.
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "qemu/boot_volume.h"
#include "qemu/checks.h"
#include "uefi/loaded_image.h"

namespace {

enum class CHECK_MODE { Unknown, BeforeDrivers, FirstBoot, LaterBoot, ClockRestart, KeysSetupMode, KeysUserMode };

// Booted by the boot manager there is no command line; the runner leaves the
// mode in this file instead.
constexpr CHAR16 MODE_FILE[] = u"\\EFI\\BOOT\\QMODE.TXT";

CHECK_MODE ModeFromWord(const CHAR16* Word) {
  if (SameText(Word, u"before")) return CHECK_MODE::BeforeDrivers;
  if (SameText(Word, u"boot1")) return CHECK_MODE::FirstBoot;
  if (SameText(Word, u"boot2")) return CHECK_MODE::LaterBoot;
  if (SameText(Word, u"restart")) return CHECK_MODE::ClockRestart;
  if (SameText(Word, u"sbsetup")) return CHECK_MODE::KeysSetupMode;
  if (SameText(Word, u"sbuser")) return CHECK_MODE::KeysUserMode;
  return CHECK_MODE::Unknown;
}

bool ModeFromFile(EFI_HANDLE ImageHandle, CHECK_MODE* Mode) {
  PoolBuffer<UINT8> Text;
  UINTN Size = 0;
  if (EFI_ERROR(ReadBootVolumeFile(ImageHandle, MODE_FILE, Text, &Size))) return false;
  CHAR16 Word[8] = {};
  UINTN n = 0;
  for (; n < Size && n + 1 < ArrayCount(Word) && Text[n] > ' '; ++n) Word[n] = Text[n];
  *Mode = ModeFromWord(Word);
  return true;
}

// The shell passes the whole command line as LoadOptions; the mode is its last word.
CHECK_MODE ReadMode(EFI_HANDLE ImageHandle) {
  CHECK_MODE FromFile = CHECK_MODE::Unknown;
  if (ModeFromFile(ImageHandle, &FromFile)) return FromFile;
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
  return ModeFromWord(Word);
}

}  // namespace

bool SameText(const CHAR16* A, const CHAR16* B) { return WideCompare(A, B) == 0; }
bool SameAscii(const CHAR8* A, const CHAR8* B) { return AsciiCompare(A, B) == 0; }

extern "C" EFI_STATUS EFIAPI QemuCheckMain(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  CHECK_REPORT Report = {};
  const CHECK_MODE Mode = ReadMode(ImageHandle);
  switch (Mode) {
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
    case CHECK_MODE::KeysSetupMode:
    case CHECK_MODE::KeysUserMode: {
      const bool UserMode = Mode == CHECK_MODE::KeysUserMode;
      PrintLine(UserMode ? u"qemucheck sbuser" : u"qemucheck sbsetup");
      RunSecureBootChecks(&Report, ImageHandle, UserMode);
      PrintSummary(&Report);
      // No shell follows the boot file; the runner waits for the power-off.
      gRT()->ResetSystem(EfiResetShutdown, EFI_SUCCESS, 0, nullptr);
      return EFI_SUCCESS;
    }
    case CHECK_MODE::Unknown:
      Check(&Report, u"mode", false, u"usage: qemucheck.efi before|boot1|boot2|restart|sbsetup|sbuser");
      break;
  }
  PrintSummary(&Report);
  return EFI_SUCCESS;
}
