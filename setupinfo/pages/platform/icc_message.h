// The clock page's message boxes: a text of the class 4 package list filled
// with arguments, shown by the platform's message box service.
#pragma once

#include "lib/text_format.h"
#include "platform/message_box.h"

inline constexpr CHAR16 ICC_MESSAGE_TITLE[] = u"Intel ICC";

// Bounds on the text fetched and on the buffer it is formatted into, in bytes.
constexpr UINTN ICC_MESSAGE_TEXT_LIMIT = 16 * 1024;
constexpr UINTN ICC_MESSAGE_BUFFER_LIMIT = 64 * 1024;

// Answer given when no box could ask: not "go on".
constexpr UINT8 ICC_ANSWER_NONE = 0xFF;

// Shows string StringId filled with Args in a box of Kind; *Answer (when
// given) is set to ICC_ANSWER_NONE first and then to the user's answer.
EFI_STATUS ShowIccMessageV(UINT8 Kind, UINT8* Answer, UINT16 StringId, FORMAT_ARGS Args);

template <typename... T>
EFI_STATUS ShowIccMessage(UINT8 Kind, UINT8* Answer, UINT16 StringId, T... Values) {
  FormatSlots<T...> Slots(Values...);
  return ShowIccMessageV(Kind, Answer, StringId, Slots.Args());
}
