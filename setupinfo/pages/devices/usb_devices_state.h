// Mutable state of the USB device summary: one record inside the image state
// (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/usb_support.h"

struct USB_DEVICES_STATE {
  // Located on first use and kept; null until the USB driver is found.
  USB_SUPPORT_PROTOCOL* UsbSupport = nullptr;
};

// The USB page's record in the image state; the page reaches no other.
USB_DEVICES_STATE& UsbDevicesState();
