// Mutable state of the SATA port strings: one record inside the image state
// (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "uefi/base.h"

constexpr UINTN SATA_PORT_STRING_PORTS = 6;
// Strings of a port whose package text is kept aside: model, text 2, text 3,
// support note and port line.
constexpr UINTN SATA_KEPT_TEMPLATES = 5;

struct SATA_PORT_STRINGS_STATE {
  // Copies of each port's package texts, added to the class-4 package list
  // by the first call; 0 while not kept. With them every later call starts
  // again from the package's texts.
  UINT16 KeptTemplates[SATA_PORT_STRING_PORTS][SATA_KEPT_TEMPLATES] = {};
  // A port whose strings were filled without kept copies: its templates are
  // spent, so later calls leave it as it is.
  bool Spent[SATA_PORT_STRING_PORTS] = {};
};

// The SATA page's record in the image state; the page reaches no other.
SATA_PORT_STRINGS_STATE& SataPortStringsState();
