// Simple text output whose text is captured for tests.
#pragma once

#include <string>

#include "uefi/system_table.h"

namespace sim {

class Console {
 public:
  Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Protocol() { return &Port_.Proto; }
  static Console* FromProtocol(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This);

  // Everything written since power-on or the last Clear (ClearScreen does not
  // erase the transcript).
  const std::u16string& Wide() const { return Text_; }
  std::string Text() const;
  void Clear() { Text_.clear(); }
  size_t ClearScreenCount() const { return Clears_; }
  UINTN LastAttribute() const { return (UINTN)Mode_.Attribute; }

 private:
  struct Port {
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL Proto;
    Console* Owner;
  };
  static EFI_STATUS EFIAPI Reset(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN Extended);
  static EFI_STATUS EFIAPI OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String);
  static EFI_STATUS EFIAPI TestString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String);
  static EFI_STATUS EFIAPI QueryMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Mode, UINTN* Columns, UINTN* Rows);
  static EFI_STATUS EFIAPI SetMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Mode);
  static EFI_STATUS EFIAPI SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute);
  static EFI_STATUS EFIAPI ClearScreen(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This);
  static EFI_STATUS EFIAPI SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column, UINTN Row);
  static EFI_STATUS EFIAPI EnableCursor(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN Visible);

  Port Port_;
  SIMPLE_TEXT_OUTPUT_MODE Mode_{};
  std::u16string Text_;
  size_t Clears_ = 0;
};

}  // namespace sim
