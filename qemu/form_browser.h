// The Form Browser2 protocol, as laid out by UEFI 2.x.
#pragma once

#include "uefi/hii.h"

struct EFI_SCREEN_DESCRIPTOR {
  UINTN LeftColumn;
  UINTN RightColumn;
  UINTN TopRow;
  UINTN BottomRow;
};

struct EFI_FORM_BROWSER2_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xB9D4C360, 0xBCFB, 0x4F9B, {0x92, 0x98, 0x53, 0xC1, 0x36, 0x98, 0x22, 0x58}};

  using SendFormFn = EFI_STATUS(EFIAPI*)(const EFI_FORM_BROWSER2_PROTOCOL* This, EFI_HII_HANDLE* Handles,
                                         UINTN HandleCount, EFI_GUID* FormSetGuid, EFI_FORM_ID FormId,
                                         const EFI_SCREEN_DESCRIPTOR* ScreenDimensions,
                                         EFI_BROWSER_ACTION_REQUEST* ActionRequest);
  // ResultsDataSize is in bytes; RetrieveData false hands ResultsData to the browser.
  using BrowserCallbackFn = EFI_STATUS(EFIAPI*)(const EFI_FORM_BROWSER2_PROTOCOL* This, UINTN* ResultsDataSize,
                                                EFI_STRING ResultsData, BOOLEAN RetrieveData,
                                                const EFI_GUID* VariableGuid, const CHAR16* VariableName);

  SendFormFn SendForm;
  BrowserCallbackFn BrowserCallback;
};
static_assert(sizeof(EFI_FORM_BROWSER2_PROTOCOL) == 16);
