// Outside data of the graphics output page: device paths read back from
// the variable store or handed over by the graphics driver, and component
// names of any length.
#pragma once

#include "uefi/device_path.h"

// Longest output device path the page keeps or compares.
constexpr UINTN MAX_OUTPUT_DEVICE_PATH_BYTES = 1024;

// Size, end node included, of the device path at the start of Bytes when
// every node lies within Size bytes, is at least a node header long and the
// walk meets an end-of-path node (of exactly a header's length); 0
// otherwise. Bytes past the end node are not looked at.
UINTN BoundedDevicePathSize(const UINT8* Bytes, UINTN Size);

// True when Prefix's nodes (without its end node) start Path, both well-formed.
bool DevicePathStartsWith(const UINT8* Path, UINTN PathSize, const UINT8* Prefix, UINTN PrefixSize);

// Room for a name as the page shows it: 63 characters and the NUL.
constexpr UINTN NAME_TEXT_BYTES = 64;

// The name as 8-bit text (the low byte of each character), cut to what the
// buffer holds; characters past that are never read. False, and an empty
// text, for no name.
bool CopyNameText(const CHAR16* Name, CHAR8 (&Buffer)[NAME_TEXT_BYTES]);
