#include "qemu/scripted_message_box.h"

#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "lib/util.h"

namespace {

struct QUEUED_ANSWER {
  SCRIPTED_ANSWER Answer;
  UINTN Index;
  CHAR16 Text[PAGE_TEXT_CAPACITY];
};

struct SCRIPT_STATE {
  QUEUED_ANSWER Queue[ANSWER_QUEUE_LIMIT];
  UINTN QueueHead;
  UINTN QueueTail;
  SHOWN_BOX Shown[SHOWN_BOX_LIMIT];
  UINTN ShownCount;
  UINTN Unscripted;
  EFI_HANDLE Handle;
};

constinit SCRIPT_STATE gScript = {};

void CopyBounded(CHAR16 (&Out)[SHOWN_TEXT_CAPACITY], const CHAR16* In) {
  UINTN n = 0;
  for (; In != nullptr && n + 1 < SHOWN_TEXT_CAPACITY && In[n] != 0; ++n) Out[n] = In[n];
  Out[n] = 0;
}

// The record of a new box; past the limit the last slot is reused so that a
// runaway page still shows as many boxes as the limit and is counted.
SHOWN_BOX* NewShown() {
  SHOWN_BOX* Box = &gScript.Shown[Min<UINTN>(gScript.ShownCount, SHOWN_BOX_LIMIT - 1)];
  MemFill(Box, sizeof(*Box), 0);
  gScript.ShownCount++;
  return Box;
}

// The next answer when it is of a wanted sort; a wrong sort stays queued.
bool TakeAnswer(bool WantList, QUEUED_ANSWER* Out) {
  if (gScript.QueueHead == gScript.QueueTail) return false;
  const QUEUED_ANSWER& Next = gScript.Queue[gScript.QueueHead % ANSWER_QUEUE_LIMIT];
  const bool ForList = Next.Answer == SCRIPTED_ANSWER::Index || Next.Answer == SCRIPTED_ANSWER::Escape ||
                       Next.Answer == SCRIPTED_ANSWER::Choose;
  const bool ForBox = Next.Answer == SCRIPTED_ANSWER::Yes || Next.Answer == SCRIPTED_ANSWER::No;
  if (WantList ? !ForList : !ForBox) return false;
  *Out = Next;
  gScript.QueueHead++;
  return true;
}

EFI_STATUS EFIAPI ScriptedMessageBox(const CHAR16* Title, const CHAR16* Message, UINT8 Kind, UINT8* Answer) {
  SHOWN_BOX* Box = NewShown();
  Box->Kind = Kind;
  CopyBounded(Box->Title, Title);
  CopyBounded(Box->Text, Message);
  if (Kind == MESSAGE_BOX_NOTICE) {
    Box->Scripted = true;
    return EFI_SUCCESS;
  }
  if (Answer == nullptr) return EFI_INVALID_PARAMETER;
  QUEUED_ANSWER Next = {};
  if (!TakeAnswer(false, &Next)) {
    // Nobody to answer: the careful answer, and the box counts against the check.
    gScript.Unscripted++;
    *Answer = 1;
    return EFI_NOT_READY;
  }
  Box->Scripted = true;
  *Answer = Next.Answer == SCRIPTED_ANSWER::Yes ? 0 : 1;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ScriptedSelectFromList(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Title, UINTN Flags,
                                         MESSAGE_BOX_LIST_ITEM* Items, UINTN Count, UINTN* Index) {
  (void)Flags;
  SHOWN_BOX* Box = NewShown();
  Box->IsList = true;
  Box->ItemCount = Count;
  auto* Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  if (Strings != nullptr && HiiHandle != nullptr) {
    CHAR16 Text[PAGE_TEXT_CAPACITY];
    ReadPageText(Strings, HiiHandle, Title, Text);
    CopyBounded(Box->Title, Text);
    for (UINTN i = 0; Items != nullptr && i < Count && i < SHOWN_ITEM_LIMIT; ++i)
      if (Items[i].StringId != 0) ReadPageText(Strings, HiiHandle, Items[i].StringId, Box->Items[i]);
  }
  if (Index == nullptr || Items == nullptr || Count == 0) return EFI_INVALID_PARAMETER;
  QUEUED_ANSWER Next = {};
  if (!TakeAnswer(true, &Next)) {
    gScript.Unscripted++;
    return EFI_ABORTED;
  }
  if (Next.Answer == SCRIPTED_ANSWER::Escape) {
    Box->Scripted = true;
    return EFI_ABORTED;
  }
  if (Next.Answer == SCRIPTED_ANSWER::Choose) {
    UINTN Found = Count;
    for (UINTN i = 0; i < Count && i < SHOWN_ITEM_LIMIT && Found == Count; ++i)
      if (WideCompare(Box->Items[i], Next.Text) == 0) Found = i;
    // The item the check meant is not there: leave the list, as a user would.
    if (Found == Count) {
      gScript.Unscripted++;
      return EFI_ABORTED;
    }
    Next.Index = Found;
  }
  Box->Scripted = true;
  *Index = Next.Index;
  return EFI_SUCCESS;
}

constinit MESSAGE_BOX_PROTOCOL gMessageBox = {
    {},
    ScriptedMessageBox,
    {},
    ScriptedSelectFromList,
};

}  // namespace

EFI_STATUS InstallScriptedMessageBox() {
  if (gScript.Handle != nullptr) return EFI_SUCCESS;
  return gBS()->InstallMultipleProtocolInterfaces(&gScript.Handle, &MESSAGE_BOX_PROTOCOL::Guid, &gMessageBox, nullptr);
}

void UninstallScriptedMessageBox() {
  if (gScript.Handle == nullptr) return;
  gBS()->UninstallMultipleProtocolInterfaces(gScript.Handle, &MESSAGE_BOX_PROTOCOL::Guid, &gMessageBox, nullptr);
  gScript.Handle = nullptr;
}

void ResetScriptedMessageBox() {
  const EFI_HANDLE Handle = gScript.Handle;
  MemFill(&gScript, sizeof(gScript), 0);
  gScript.Handle = Handle;
}

void QueueAnswer(SCRIPTED_ANSWER Answer, UINTN Index) {
  // A full queue is a check's own mistake: the answer is dropped and the box it
  // was meant for will count as unscripted.
  if (gScript.QueueTail - gScript.QueueHead >= ANSWER_QUEUE_LIMIT) return;
  QUEUED_ANSWER& Slot = gScript.Queue[gScript.QueueTail % ANSWER_QUEUE_LIMIT];
  MemFill(&Slot, sizeof(Slot), 0);
  Slot.Answer = Answer;
  Slot.Index = Index;
  gScript.QueueTail++;
}

void QueueChoice(const CHAR16* ItemText) {
  const UINTN Tail = gScript.QueueTail;
  QueueAnswer(SCRIPTED_ANSWER::Choose);
  if (gScript.QueueTail == Tail) return;
  QUEUED_ANSWER& Slot = gScript.Queue[(gScript.QueueTail - 1) % ANSWER_QUEUE_LIMIT];
  for (UINTN n = 0; n + 1 < PAGE_TEXT_CAPACITY && ItemText[n] != 0; ++n) Slot.Text[n] = ItemText[n];
}

UINTN AnswersLeft() { return gScript.QueueTail - gScript.QueueHead; }
UINTN ShownCount() { return gScript.ShownCount; }
const SHOWN_BOX* ShownBox(UINTN Index) {
  return Index < Min<UINTN>(gScript.ShownCount, SHOWN_BOX_LIMIT) ? &gScript.Shown[Index] : nullptr;
}
UINTN UnscriptedCount() { return gScript.Unscripted; }
