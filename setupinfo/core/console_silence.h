// Calls into outside drivers that may print: their output must not reach the
// setup screen through the standard error console.
#pragma once

#include "lib/firmware_services.h"

// Runs Call with the system table's StandardErrorHandle and StdErr both
// null, and puts both back afterwards whatever the call returned.
template <typename CALL>
EFI_STATUS WithStandardErrorSilenced(CALL&& Call) {
  EFI_SYSTEM_TABLE* St = gST();
  if (St == nullptr) return Call();
  EFI_HANDLE SavedHandle = St->StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* SavedStdErr = St->StdErr;
  St->StandardErrorHandle = nullptr;
  St->StdErr = nullptr;
  const EFI_STATUS Status = Call();
  St->StandardErrorHandle = SavedHandle;
  St->StdErr = SavedStdErr;
  return Status;
}
