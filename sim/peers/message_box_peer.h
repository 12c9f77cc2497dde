// Stand-in for the platform's message box service: every box and list box
// is recorded, and each is answered from a queue of scripted answers, as a
// user at the keyboard would. The service's functions take no instance
// pointer, so one peer at a time is the installed one.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

struct MessageBoxShown {
  std::u16string Title;
  std::u16string Text;
  uint8_t Kind = 0;
};

struct ListBoxShown {
  EFI_HII_HANDLE HiiHandle = nullptr;
  EFI_STRING_ID Title = 0;
  std::vector<EFI_STRING_ID> Items;
  std::vector<uint8_t> States;  // byte 32 of each item (a volume list's state)
};

class MessageBoxPeer {
 public:
  MessageBoxPeer();
  explicit MessageBoxPeer(const MessageBoxProfile& Profile);
  ~MessageBoxPeer();
  MessageBoxPeer(const MessageBoxPeer&) = delete;
  MessageBoxPeer& operator=(const MessageBoxPeer&) = delete;

  // Nothing is installed for a profile without the service.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  MESSAGE_BOX_PROTOCOL* Protocol() { return &Protocol_; }

  // Answers for boxes that ask (kinds 2 and 3), taken front first; with the
  // queue empty, EmptyAnswer is given.
  std::deque<uint8_t> Answers;
  uint8_t EmptyAnswer = 0;
  // Chosen indices for list boxes; with the queue empty, or an index past
  // the list, the user leaves the list (EFI_ABORTED).
  std::deque<uint64_t> ListChoices;
  // A failing service: every box returns this status, answering nothing.
  EFI_STATUS MessageBoxStatus = EFI_SUCCESS;
  // A scripted user: a box that asks or a list shown with nothing queued is
  // not answered (EFI_NOT_READY) and is counted in Unanswered, so that a
  // run can stop there instead of guessing.
  bool Strict = false;
  size_t Unanswered = 0;
  bool LastUnansweredWasList = false;
  // A broken service that hands back whatever index was queued, even one
  // past the list.
  bool PassAnyIndex = false;
  // Queued as a list choice: the user presses escape.
  static constexpr uint64_t ESCAPE = ~0ull;

  std::vector<MessageBoxShown> Boxes;
  std::vector<ListBoxShown> Lists;

 private:
  static EFI_STATUS EFIAPI MessageBoxEntry(const CHAR16* Title, const CHAR16* Message, UINT8 Kind, UINT8* Answer);
  static EFI_STATUS EFIAPI SelectFromListEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Title, UINTN Flags,
                                               MESSAGE_BOX_LIST_ITEM* Items, UINTN Count, UINTN* Index);

  MESSAGE_BOX_PROTOCOL Protocol_{};
  bool Present_ = true;
  EFI_HANDLE Handle_ = nullptr;
};

}  // namespace sim
