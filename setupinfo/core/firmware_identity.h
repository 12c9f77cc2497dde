// The firmware identity lines of the main page.
#pragma once

#include "uefi/base.h"

// Vendor, firmware revision, project version, build stamp, UEFI and PI revisions.
void SetFirmwareIdentityStrings(EFI_HII_HANDLE HiiHandle);
