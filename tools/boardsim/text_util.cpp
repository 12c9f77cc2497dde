#include "tools/boardsim/text_util.h"

#include <cstdio>

namespace boardsim {

std::optional<uint64_t> ParseUnsigned(std::string_view Text) {
  unsigned Base = 10;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Base = 16;
    Text.remove_prefix(2);
  }
  if (Text.empty()) {
    return std::nullopt;
  }
  uint64_t Value = 0;
  for (char C : Text) {
    unsigned Digit;
    if (C >= '0' && C <= '9') {
      Digit = unsigned(C - '0');
    } else if (Base == 16 && C >= 'a' && C <= 'f') {
      Digit = unsigned(C - 'a' + 10);
    } else if (Base == 16 && C >= 'A' && C <= 'F') {
      Digit = unsigned(C - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (Value > (UINT64_MAX - Digit) / Base) {
      return std::nullopt;
    }
    Value = Value * Base + Digit;
  }
  return Value;
}

std::string Hex(uint64_t Value, int Digits) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof(Buffer), "0x%0*llX", Digits, static_cast<unsigned long long>(Value));
  return Buffer;
}

namespace {
// Script files may come with DOS line ends.
bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r'; }
}  // namespace

std::vector<std::string> SplitWords(std::string_view Text) {
  std::vector<std::string> Words;
  size_t I = 0;
  while (I < Text.size()) {
    while (I < Text.size() && IsBlank(Text[I])) {
      ++I;
    }
    size_t Start = I;
    while (I < Text.size() && !IsBlank(Text[I])) {
      ++I;
    }
    if (I > Start) {
      Words.emplace_back(Text.substr(Start, I - Start));
    }
  }
  return Words;
}

std::string Trim(std::string_view Text) {
  size_t Start = Text.find_first_not_of(" \t\r\n");
  if (Start == std::string_view::npos) {
    return {};
  }
  size_t End = Text.find_last_not_of(" \t\r\n");
  return std::string(Text.substr(Start, End - Start + 1));
}

std::string Lower(std::string_view Text) {
  std::string Out(Text);
  for (char& C : Out) {
    if (C >= 'A' && C <= 'Z') {
      C = char(C - 'A' + 'a');
    }
  }
  return Out;
}

std::string NameKey(std::string_view Name) {
  std::string Out;
  bool PendingGap = false;
  for (char C : Lower(Trim(Name))) {
    if (C == ' ' || C == '-' || C == '_') {
      PendingGap = !Out.empty();
      continue;
    }
    if (PendingGap) {
      Out += ' ';
      PendingGap = false;
    }
    Out += C;
  }
  return Out;
}

std::string Utf8FromUcs2(std::u16string_view Text) {
  std::string Out;
  for (char16_t C : Text) {
    uint32_t Code = C;
    if (Code >= 0xD800 && Code <= 0xDFFF) {
      Code = 0xFFFD;
    }
    if (Code < 0x80) {
      Out += char(Code);
    } else if (Code < 0x800) {
      Out += char(0xC0 | (Code >> 6));
      Out += char(0x80 | (Code & 0x3F));
    } else {
      Out += char(0xE0 | (Code >> 12));
      Out += char(0x80 | ((Code >> 6) & 0x3F));
      Out += char(0x80 | (Code & 0x3F));
    }
  }
  return Out;
}

std::u16string Ucs2FromUtf8(std::string_view Text) {
  std::u16string Out;
  size_t I = 0;
  while (I < Text.size()) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    uint32_t Code;
    size_t Length;
    if (C < 0x80) {
      Code = C;
      Length = 1;
    } else if ((C & 0xE0) == 0xC0) {
      Code = C & 0x1F;
      Length = 2;
    } else if ((C & 0xF0) == 0xE0) {
      Code = C & 0x0F;
      Length = 3;
    } else if ((C & 0xF8) == 0xF0) {
      Code = C & 0x07;
      Length = 4;
    } else {
      Out += u'\uFFFD';
      ++I;
      continue;
    }
    bool Complete = I + Length <= Text.size();
    for (size_t K = 1; Complete && K < Length; ++K) {
      unsigned char Next = static_cast<unsigned char>(Text[I + K]);
      if ((Next & 0xC0) != 0x80) {
        Complete = false;
      } else {
        Code = (Code << 6) | (Next & 0x3F);
      }
    }
    if (!Complete) {
      Out += u'\uFFFD';
      ++I;
      continue;
    }
    Out += Code > 0xFFFF ? u'\uFFFD' : char16_t(Code);
    I += Length;
  }
  return Out;
}

std::string GuidText(const EFI_GUID& Guid) {
  char Buffer[40];
  std::snprintf(Buffer, sizeof(Buffer), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", Guid.Data1, Guid.Data2,
                Guid.Data3, Guid.Data4[0], Guid.Data4[1], Guid.Data4[2], Guid.Data4[3], Guid.Data4[4], Guid.Data4[5],
                Guid.Data4[6], Guid.Data4[7]);
  return Buffer;
}

std::string HexBytes(const std::vector<uint8_t>& Bytes) {
  static const char Digits[] = "0123456789abcdef";
  std::string Out;
  Out.reserve(Bytes.size() * 2);
  for (uint8_t B : Bytes) {
    Out += Digits[B >> 4];
    Out += Digits[B & 15];
  }
  return Out;
}

}  // namespace boardsim
