// The page-string initialisers by slot: the loader runs them for every
// published form set, in slot order.
#pragma once

#include "lib/util.h"

typedef VOID(EFIAPI* PAGE_STRING_INITIALISER)(EFI_HII_HANDLE HiiHandle, UINT16 Class);
constexpr UINTN PAGE_STRING_INITIALISER_SLOTS = 25;

// For slots whose page has nothing to set.
VOID EFIAPI EmptyPageInitialiser(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// The 25 slots and the null entry that ends them.
Span<const PAGE_STRING_INITIALISER> PageStringInitialisers();
