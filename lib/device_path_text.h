// Short 8-bit text of a device path for display, and two walkers.
#pragma once

#include "uefi/device_path.h"

// Text receives a new zero-filled pool buffer with the whole text; the caller frees it.
EFI_STATUS DescribeDevicePath(const EFI_DEVICE_PATH_PROTOCOL* DevicePath, CHAR8** Text);
UINTN DevicePathLength(const EFI_DEVICE_PATH_PROTOCOL* DevicePath);
const EFI_DEVICE_PATH_PROTOCOL* LastDevicePathNode(const EFI_DEVICE_PATH_PROTOCOL* DevicePath);
