// The request sent to the board maker's support server.
#pragma once

#include "lib/pool_buffer.h"
#include "uefi/base.h"

constexpr UINTN REQUEST_BUFFER_SIZE = 512;
// Escaped model text, NUL included.
constexpr UINTN MODEL_TEXT_SIZE = 64;

// Host name of the support server, chosen when the image is built.
const CHAR8* SupportServerHostName();

// Copies Name into Text (MODEL_TEXT_SIZE bytes), each blank written as
// "%20". Reads at most ReadLimit bytes of Name. EFI_BAD_BUFFER_SIZE when the
// escaped text would not fit or Name has no NUL within ReadLimit bytes.
EFI_STATUS EscapeModelName(const CHAR8* Name, UINTN ReadLimit, CHAR8* Text);

// Builds the GET request for this board's model into a new pool buffer.
// EFI_NOT_FOUND without the board identity protocol, EFI_BAD_BUFFER_SIZE
// for a model name that does not fit, EFI_OUT_OF_RESOURCES.
EFI_STATUS BuildUpdateRequest(PoolBuffer<CHAR8>* Request);
