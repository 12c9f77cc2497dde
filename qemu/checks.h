// The checks that the application runs inside OVMF, by boot.
#pragma once

#include "qemu/check_report.h"
#include "uefi/hii.h"

// Run before the drivers load: records the language variables as the
// firmware left them, so that the checks can tell what setupinfo changed.
void SaveLanguageSnapshot();

// Boot 1 (fresh variable store): form sets loaded by setupinfo's entry point.
void RunFirstBootSetupChecks(CHECK_REPORT* Report);
// Boot 2 (store kept from boot 1): loading waits for the setup-load trigger.
void RunLaterBootSetupChecks(CHECK_REPORT* Report);
// The hub page's SATA port lines against the drives the runner attached.
void RunSataPortChecks(CHECK_REPORT* Report);
// The NVMe rows against OVMF's own NVMe driver and the attached drive.
void RunNvmeChecks(CHECK_REPORT* Report);
// The clock page's ready-to-boot handshake: a requested restart happens
// (first boot of the run) and is cleared after it (second boot).
void RunClockRestartChecks(CHECK_REPORT* Report);
// The update locator of updatefetch, over a transport and a name service of the checks' own.
void RunUpdateLocatorChecks(CHECK_REPORT* Report);
// Boot 1 writes a profile name; boot 2, after its form sets loaded, finds it
// on the tools and main pages.
void RunProfileNameChecks(CHECK_REPORT* Report, bool LaterBoot);

// Graphics output selection on OVMF's video driver and the test stand-in.
// Prepare runs before the drivers load.
void PrepareGraphicsOutputChecks();
void RunGraphicsOutputChecks(CHECK_REPORT* Report, bool LaterBoot);

// Vendor GUID of the setup driver's own variables.
constexpr EFI_GUID SETUP_VARIABLE_VENDOR = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};

// UCS-2 text equality, for results read back from the firmware.
bool SameText(const CHAR16* A, const CHAR16* B);
bool SameAscii(const CHAR8* A, const CHAR8* B);

// Secure Boot keys on OVMF's authenticated variables, the check application
// booted as the removable-media boot file: setup mode (empty store) or user
// mode (the store with the test key enrolled).
void RunSecureBootChecks(CHECK_REPORT* Report, EFI_HANDLE ImageHandle, bool UserMode);
