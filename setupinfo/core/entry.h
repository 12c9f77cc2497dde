// The image entry point of the setup driver.
#pragma once

#include "uefi/system_table.h"

extern "C" EFI_STATUS EFIAPI SetupInfoEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
