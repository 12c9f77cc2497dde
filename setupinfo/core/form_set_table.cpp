#include "setupinfo/core/form_set_table.h"

#include "setupinfo/core/core_state.h"

Span<const FORM_SET_INFO> FormSetTable() { return Span<const FORM_SET_INFO>(CoreState().FormSets); }

EFI_HII_HANDLE FormSetHiiHandle(UINT16 Class) {
  for (const FORM_SET_INFO& Row : FormSetTable())
    if (Row.Class == Class) return Row.HiiHandle;
  return nullptr;
}
