#include "lib/firmware_services.h"
#include "lib/strings.h"

namespace {
constexpr UINTN GROWTH = 10;

// Makes room for one more entry; the list is unchanged on failure.
EFI_STATUS MakeRoom(POINTER_LIST* List) {
  UINTN NewCapacity;
  if (List->Capacity == 0)
    NewCapacity = GROWTH;
  else if (List->Items == nullptr)
    NewCapacity = List->Capacity;
  else if (List->Count < List->Capacity)
    return EFI_SUCCESS;
  else
    NewCapacity = List->Capacity + GROWTH;
  // A record whose Count does not fit its own capacity cannot be grown safely.
  if (List->Count >= NewCapacity) return EFI_INVALID_PARAMETER;

  VOID** Items = (VOID**)AllocateZeroedBootPool(NewCapacity * sizeof(VOID*));
  if (Items == nullptr) return EFI_OUT_OF_RESOURCES;
  if (List->Items != nullptr) {
    MemMove(Items, List->Items, List->Count * sizeof(VOID*));
    FreeBootPool(List->Items);
  }
  List->Items = Items;
  List->Capacity = NewCapacity;
  return EFI_SUCCESS;
}
}  // namespace

EFI_STATUS PointerListAppend(POINTER_LIST* List, VOID* Item) {
  if (List == nullptr) return EFI_INVALID_PARAMETER;
  EFI_STATUS Status = MakeRoom(List);
  if (EFI_ERROR(Status)) return Status;
  List->Items[List->Count++] = Item;
  return EFI_SUCCESS;
}

void PointerListFree(POINTER_LIST* List) {
  if (List == nullptr) return;
  FreeBootPool(List->Items);
  List->Items = nullptr;
  List->Capacity = 0;
  List->Count = 0;
}
