// A message box service for the checks inside OVMF, where nobody presses
// keys: answers come from a queue the check fills, and every box and list
// shown is recorded with its texts so that the check can tell what the page
// told the user.
#pragma once

#include "platform/message_box.h"
#include "qemu/page_reading.h"

// Choose picks the list item whose resolved text is the one queued.
enum class SCRIPTED_ANSWER : UINT8 { Yes, No, Escape, Index, Choose };

constexpr UINTN SHOWN_TEXT_CAPACITY = 200;  // the page's 400-byte buffers
constexpr UINTN SHOWN_ITEM_LIMIT = 32;
constexpr UINTN SHOWN_BOX_LIMIT = 16;
constexpr UINTN ANSWER_QUEUE_LIMIT = 32;

struct SHOWN_BOX {
  bool IsList;
  UINT8 Kind;     // box kind; 0 for a list
  bool Scripted;  // an answer of the right sort was waiting
  CHAR16 Title[SHOWN_TEXT_CAPACITY];
  CHAR16 Text[SHOWN_TEXT_CAPACITY];
  UINTN ItemCount;
  CHAR16 Items[SHOWN_ITEM_LIMIT][PAGE_TEXT_CAPACITY];  // resolved in the page's language
};

EFI_STATUS InstallScriptedMessageBox();
void UninstallScriptedMessageBox();

// Forgets the queue and the boxes shown so far.
void ResetScriptedMessageBox();
void QueueAnswer(SCRIPTED_ANSWER Answer, UINTN Index = 0);
void QueueChoice(const CHAR16* ItemText);
// Answers still queued (a check that expected them all used ends with 0).
UINTN AnswersLeft();

UINTN ShownCount();
const SHOWN_BOX* ShownBox(UINTN Index);
// Boxes or lists that found no fitting answer queued: answered "no" or left.
UINTN UnscriptedCount();
