// The SATA disk and CD-ROM that the runner attaches to q35's AHCI bus for
// the hub page's check; run_checks.py passes the same models, ports and size
// on QEMU's command line.
#pragma once

#include "uefi/base.h"

inline constexpr CHAR8 ATTACHED_DISK_MODEL[] = "QCHECK SATA DISK";
inline constexpr CHAR8 ATTACHED_CDROM_MODEL[] = "QCHECK SATA CDROM";
constexpr UINT32 ATTACHED_DISK_PORT = 1;
constexpr UINT32 ATTACHED_CDROM_PORT = 3;
// 6 270 000 sectors of 512 bytes: the page shows 3.2GB.
constexpr UINT64 ATTACHED_DISK_BYTES = 3210240000ull;
