#include "setupinfo/core/callback_registry.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/core_state.h"

namespace {

struct REGISTRY_NODE {
  LIST_NODE Link;
  UINT16 Class;
  UINT16 SubClass;
  UINT16 Key;
  ITEM_CALLBACK Handler;
};
static_assert(offsetof(REGISTRY_NODE, Link) == 0);
static_assert(offsetof(REGISTRY_NODE, Class) == 16);
static_assert(offsetof(REGISTRY_NODE, Handler) == 24);
static_assert(sizeof(REGISTRY_NODE) == 32);

LIST_HEAD& Registry() { return CoreState().RegistryList; }

// Tokens come from other drivers: only a node that is on the list now may be
// unlinked, so a stale, repeated or made-up token leaves the list intact.
bool IsRegisteredNode(const VOID* Token) {
  for (LIST_NODE* Node = Registry().First; Node != nullptr; Node = Node->Next)
    if (Node == Token) return true;
  return false;
}

}  // namespace

// A null Handler would end every list walk at this entry and hide all the
// entries behind it; a null Registration has nowhere to take the token.
// Both are refused with EFI_INVALID_PARAMETER and change nothing.
EFI_STATUS EFIAPI RegisterItemCallback(UINT16 Class, UINT16 SubClass, UINT16 Key, ITEM_CALLBACK Handler,
                                       VOID** Registration) {
  if (Handler == nullptr || Registration == nullptr) return EFI_INVALID_PARAMETER;
  if (gBS() == nullptr) return EFI_NOT_READY;
  REGISTRY_NODE* Node = nullptr;
  EFI_STATUS Status = gBS()->AllocatePool(EfiBootServicesData, sizeof(REGISTRY_NODE), (VOID**)&Node);
  if (EFI_ERROR(Status)) return Status;
  Node->Class = Class;
  Node->SubClass = SubClass;
  Node->Key = Key;
  Node->Handler = Handler;
  ListAppend(&Registry(), &Node->Link);
  *Registration = Node;
  return EFI_SUCCESS;
}

// A token that is not on the list (null, already used, or never issued) is
// refused: EFI_INVALID_PARAMETER for null, EFI_NOT_FOUND otherwise.
EFI_STATUS EFIAPI UnregisterItemCallback(VOID* Registration) {
  if (Registration == nullptr) return EFI_INVALID_PARAMETER;
  if (!IsRegisteredNode(Registration)) return EFI_NOT_FOUND;
  REGISTRY_NODE* Node = (REGISTRY_NODE*)Registration;
  ListRemove(&Registry(), &Node->Link);
  FreeBootPool(Node);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ListItemCallbacks(UINTN* Size, ITEM_CALLBACK_ENTRY* Buffer) {
  const LIST_HEAD& List = Registry();
  if (List.Count == 0) return EFI_NOT_FOUND;
  if (Size == nullptr) return EFI_INVALID_PARAMETER;
  const UINTN Needed = List.Count * sizeof(ITEM_CALLBACK_ENTRY);
  if (*Size < Needed) {
    *Size = Needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  ITEM_CALLBACK_ENTRY* Out = Buffer;
  for (LIST_NODE* Link = List.First; Link != nullptr; Link = Link->Next, ++Out) {
    const REGISTRY_NODE* Node = (const REGISTRY_NODE*)Link;
    // Reserved is left as the caller's buffer had it.
    Out->Class = Node->Class;
    Out->SubClass = Node->SubClass;
    Out->Key = Node->Key;
    Out->Handler = Node->Handler;
  }
  *Size = Needed;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI RegistryGetCurrentCallbackParameters(CALLBACK_PARAMETERS** Parameters) {
  if (Parameters == nullptr) return EFI_INVALID_PARAMETER;
  *Parameters = GetCurrentCallbackParameters();
  return EFI_SUCCESS;
}

EFI_STATUS InstallCallbackRegistry() {
  ListInit(&Registry());
  EFI_HANDLE Handle = nullptr;
  return gBS()->InstallMultipleProtocolInterfaces(&Handle, &CALLBACK_REGISTRY_PROTOCOL::Guid,
                                                  &CoreState().RegistryInterface, (VOID*)nullptr);
}
