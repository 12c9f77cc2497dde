// The volume the check application was booted from: its mode file, key
// files written by the page, and the driver images it loads itself when it
// runs as the removable-media boot file (no shell to `load` them).
#pragma once

#include "lib/pool_buffer.h"
#include "uefi/file.h"

// The boot volume's root directory; the caller closes it. Null if unreachable.
EFI_FILE_PROTOCOL* OpenBootVolumeRoot(EFI_HANDLE ImageHandle);

// The simple-file-system handle of the boot volume, or null.
EFI_HANDLE BootVolumeHandle(EFI_HANDLE ImageHandle);

// A whole file of the boot volume; *Size is what Read returned.
EFI_STATUS ReadBootVolumeFile(EFI_HANDLE ImageHandle, const CHAR16* Path, PoolBuffer<UINT8>& Data, UINTN* Size);

// LoadImage through the boot volume's device path and the file path, so that
// the firmware's image verification sees the file as a boot manager would.
// *Loaded is the new image handle (null when LoadImage gave none).
EFI_STATUS LoadBootVolumeImage(EFI_HANDLE ImageHandle, const CHAR16* Path, EFI_HANDLE* Loaded);
