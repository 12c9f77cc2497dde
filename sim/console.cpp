#include "sim/console.h"

#include "sim/variables.h"

namespace sim {

namespace {
constexpr UINTN COLUMNS = 80, ROWS = 25;
}

Console::Console() {
  Port_.Proto = EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL{Reset,        OutputString, TestString,        QueryMode, SetMode,
                                                SetAttribute, ClearScreen,  SetCursorPosition, EnableCursor, &Mode_};
  Port_.Owner = this;
  Mode_.MaxMode = 1;
  Mode_.Mode = 0;
  Mode_.Attribute = 0x07;  // light grey on black
  Mode_.CursorVisible = 1;
}

Console* Console::FromProtocol(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This) {
  return This ? reinterpret_cast<Port*>(This)->Owner : nullptr;
}

std::string Console::Text() const { return ToUtf8(Text_); }

EFI_STATUS EFIAPI Console::Reset(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN) {
  Console* C = FromProtocol(This);
  if (C == nullptr) return EFI_INVALID_PARAMETER;
  C->Mode_.CursorColumn = C->Mode_.CursorRow = 0;
  C->Mode_.Attribute = 0x07;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String) {
  Console* C = FromProtocol(This);
  if (C == nullptr || String == nullptr) return EFI_INVALID_PARAMETER;
  for (const CHAR16* P = String; *P; ++P) {
    C->Text_ += *P;
    if (*P == u'\n') {
      if (C->Mode_.CursorRow + 1 < (INT32)ROWS) ++C->Mode_.CursorRow;
    } else if (*P == u'\r') {
      C->Mode_.CursorColumn = 0;
    } else if (++C->Mode_.CursorColumn >= (INT32)COLUMNS) {
      C->Mode_.CursorColumn = 0;
      if (C->Mode_.CursorRow + 1 < (INT32)ROWS) ++C->Mode_.CursorRow;
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::TestString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String) {
  if (FromProtocol(This) == nullptr || String == nullptr) return EFI_INVALID_PARAMETER;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::QueryMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Mode, UINTN* Columns, UINTN* Rows) {
  if (FromProtocol(This) == nullptr || Columns == nullptr || Rows == nullptr) return EFI_INVALID_PARAMETER;
  if (Mode != 0) return EFI_UNSUPPORTED;
  *Columns = COLUMNS;
  *Rows = ROWS;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::SetMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Mode) {
  if (FromProtocol(This) == nullptr) return EFI_INVALID_PARAMETER;
  return Mode == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI Console::SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute) {
  Console* C = FromProtocol(This);
  if (C == nullptr) return EFI_INVALID_PARAMETER;
  if (Attribute > 0x7F) return EFI_UNSUPPORTED;
  C->Mode_.Attribute = (INT32)Attribute;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::ClearScreen(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This) {
  Console* C = FromProtocol(This);
  if (C == nullptr) return EFI_INVALID_PARAMETER;
  ++C->Clears_;
  C->Mode_.CursorColumn = C->Mode_.CursorRow = 0;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column, UINTN Row) {
  Console* C = FromProtocol(This);
  if (C == nullptr) return EFI_INVALID_PARAMETER;
  if (Column >= COLUMNS || Row >= ROWS) return EFI_UNSUPPORTED;
  C->Mode_.CursorColumn = (INT32)Column;
  C->Mode_.CursorRow = (INT32)Row;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Console::EnableCursor(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN Visible) {
  Console* C = FromProtocol(This);
  if (C == nullptr) return EFI_INVALID_PARAMETER;
  C->Mode_.CursorVisible = Visible;
  return EFI_SUCCESS;
}

}  // namespace sim
