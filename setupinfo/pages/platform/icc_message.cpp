#include "setupinfo/pages/platform/icc_message.h"

#include "lib/pool_buffer.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/pages/platform/clock_control_state.h"

EFI_STATUS ShowIccMessageV(UINT8 Kind, UINT8* Answer, UINT16 StringId, FORMAT_ARGS Args) {
  if (Answer != nullptr) *Answer = ICC_ANSWER_NONE;
  CLOCK_CONTROL_STATE& State = ClockControlState();
  MESSAGE_BOX_PROTOCOL* Service = LocateOnce(State.MessageBox);
  if (Service == nullptr) return EFI_NOT_FOUND;
  if (Service->MessageBox == nullptr) return EFI_UNSUPPORTED;

  UINTN TextSize = 0;
  EFI_STATUS Status = GetHiiString(State.HiiHandle, StringId, &TextSize, nullptr);
  if (Status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(Status) ? Status : EFI_NOT_FOUND;
  if (TextSize == 0 || TextSize > ICC_MESSAGE_TEXT_LIMIT) return EFI_BAD_BUFFER_SIZE;
  // One character more than reported, zeroed: the text always ends.
  PoolBuffer<CHAR16> Text;
  const UINTN TextChars = TextSize / sizeof(CHAR16) + 1;
  if (!Text.Allocate(TextChars)) return EFI_OUT_OF_RESOURCES;
  UINTN ReadSize = TextSize;
  Status = GetHiiString(State.HiiHandle, StringId, &ReadSize, Text.Get());
  if (EFI_ERROR(Status)) return Status;
  Text[TextChars - 1] = 0;

  // Grown until the whole text fits, up to the bound; past it the box shows
  // the text cut.
  PoolBuffer<CHAR16> Message;
  for (UINTN Bytes = 2 * TextSize + 2;; Bytes *= 2) {
    if (Bytes > ICC_MESSAGE_BUFFER_LIMIT) Bytes = ICC_MESSAGE_BUFFER_LIMIT;
    const UINTN Chars = Bytes / sizeof(CHAR16);
    if (!Message.Allocate(Chars)) return EFI_OUT_OF_RESOURCES;
    const UINTN Written = FormatWideV(Message.Get(), Chars, Text.Get(), Args);
    if (Written + 1 < Chars || Bytes == ICC_MESSAGE_BUFFER_LIMIT) break;
  }

  UINT8 Given = ICC_ANSWER_NONE;
  Status = Service->MessageBox(ICC_MESSAGE_TITLE, Message.Get(), Kind, &Given);
  if (!EFI_ERROR(Status) && Answer != nullptr) *Answer = Given;
  return Status;
}
