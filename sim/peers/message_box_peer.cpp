#include "sim/peers/message_box_peer.h"

namespace sim {

namespace {

MessageBoxPeer* Active = nullptr;

// Texts are copied up to a bound: a caller's missing terminator must show
// as a truncated box, not a walk through memory.
constexpr size_t MAX_TEXT = 64 * 1024;

std::u16string Copy(const CHAR16* Text) {
  std::u16string Out;
  if (!Text) return Out;
  for (size_t I = 0; I < MAX_TEXT && Text[I]; ++I) Out.push_back(Text[I]);
  return Out;
}

}  // namespace

MessageBoxPeer::MessageBoxPeer() {
  Protocol_.MessageBox = MessageBoxEntry;
  Protocol_.SelectFromList = SelectFromListEntry;
  Active = this;
}

MessageBoxPeer::MessageBoxPeer(const MessageBoxProfile& Profile) : MessageBoxPeer() {
  Present_ = Profile.Present;
  Answers.assign(Profile.Answers.begin(), Profile.Answers.end());
  EmptyAnswer = Profile.EmptyAnswer;
  ListChoices.assign(Profile.ListChoices.begin(), Profile.ListChoices.end());
  MessageBoxStatus = Profile.MessageBoxStatus;
}

MessageBoxPeer::~MessageBoxPeer() {
  if (Active == this) Active = nullptr;
}

EFI_STATUS MessageBoxPeer::Install(EFI_BOOT_SERVICES* BootServices) {
  if (!Present_) return EFI_NOT_FOUND;
  Active = this;
  return BootServices->InstallProtocolInterface(&Handle_, &MESSAGE_BOX_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Protocol_);
}

EFI_STATUS EFIAPI MessageBoxPeer::MessageBoxEntry(const CHAR16* Title, const CHAR16* Message, UINT8 Kind,
                                                  UINT8* Answer) {
  MessageBoxPeer* Self = Active;
  if (!Self) return EFI_NOT_READY;
  Self->Boxes.push_back({Copy(Title), Copy(Message), Kind});
  if (Self->MessageBoxStatus != EFI_SUCCESS) return Self->MessageBoxStatus;
  if (Kind == MESSAGE_BOX_NOTICE) return EFI_SUCCESS;
  UINT8 Given = Self->EmptyAnswer;
  if (Self->Answers.empty() && Self->Strict) {
    ++Self->Unanswered;
    Self->LastUnansweredWasList = false;
    return EFI_NOT_READY;
  }
  if (!Self->Answers.empty()) {
    Given = Self->Answers.front();
    Self->Answers.pop_front();
  }
  if (Answer) *Answer = Given;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MessageBoxPeer::SelectFromListEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Title, UINTN Flags,
                                                      MESSAGE_BOX_LIST_ITEM* Items, UINTN Count, UINTN* Index) {
  (void)Flags;
  MessageBoxPeer* Self = Active;
  if (!Self) return EFI_NOT_READY;
  if (!Index || (Count && !Items)) return EFI_INVALID_PARAMETER;
  ListBoxShown Shown{HiiHandle, Title, {}};
  for (UINTN I = 0; I < Count; ++I) {
    Shown.Items.push_back(Items[I].StringId);
    Shown.States.push_back(Items[I].Reserved[30]);
  }
  Self->Lists.push_back(std::move(Shown));
  if (Self->ListChoices.empty()) {
    if (!Self->Strict) return EFI_ABORTED;
    ++Self->Unanswered;
    Self->LastUnansweredWasList = true;
    return EFI_NOT_READY;
  }
  const uint64_t Choice = Self->ListChoices.front();
  Self->ListChoices.pop_front();
  if (Choice == ESCAPE) return EFI_ABORTED;
  if (Choice >= Count && !Self->PassAnyIndex) return EFI_ABORTED;
  *Index = (UINTN)Choice;
  return EFI_SUCCESS;
}

}  // namespace sim
