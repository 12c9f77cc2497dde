// Small text helpers shared by the boardsim modules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uefi/base.h"

namespace boardsim {

// Decimal or 0x-prefixed hexadecimal, no sign, no trailing text; nullopt on
// anything else or on overflow of 64 bits.
std::optional<uint64_t> ParseUnsigned(std::string_view Text);

// "0x" and at least Digits upper-case hex digits.
std::string Hex(uint64_t Value, int Digits = 1);

// The text split at runs of blanks, tabs and carriage returns.
std::vector<std::string> SplitWords(std::string_view Text);

std::string Trim(std::string_view Text);
std::string Lower(std::string_view Text);

// A form-set name as typed on a command line: lower case, with blanks, '-'
// and '_' all equal, so "hardware-monitor" names "Hardware Monitor".
std::string NameKey(std::string_view Name);

// UCS-2 (as the HII database holds it) to UTF-8 and back; characters outside
// the basic plane become U+FFFD.
std::string Utf8FromUcs2(std::u16string_view Text);
std::u16string Ucs2FromUtf8(std::string_view Text);

// Canonical registry form: 8-4-4-4-12 upper-case hex digits.
std::string GuidText(const EFI_GUID& Guid);

// Lower-case hex digits of each byte, no separators.
std::string HexBytes(const std::vector<uint8_t>& Bytes);

}  // namespace boardsim
