#include "setupinfo/core/callback_dispatch.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/item_callback_table.h"
#include "setupinfo/core/core_state.h"

namespace {

// The list to walk: the registered entries, then the static table. The
// merged copy is pool memory owned here for the length of one callback.
struct ITEM_LIST {
  PoolBuffer<ITEM_CALLBACK_ENTRY> Merged;
  Span<const ITEM_CALLBACK_ENTRY> Entries;
};

// The status of the last registry call: EFI_NOT_FOUND with nothing
// registered (static table alone), EFI_SUCCESS after a fetch. MergeFailed
// reports that the merged list could not be allocated.
EFI_STATUS BuildItemList(Span<const ITEM_CALLBACK_ENTRY> StaticTable, ITEM_LIST& List, bool& MergeFailed) {
  MergeFailed = false;
  List.Entries = StaticTable;
  CALLBACK_REGISTRY_PROTOCOL* Registry = LocateOnce(CoreState().Registry);
  if (Registry == nullptr) return EFI_NOT_FOUND;

  UINTN Size = 0;
  EFI_STATUS Status = Registry->ListItemCallbacks(&Size, nullptr);
  if (Status != EFI_BUFFER_TOO_SMALL) return Status;

  const UINTN StaticBytes = StaticTable.Count * sizeof(ITEM_CALLBACK_ENTRY);
  const UINTN Capacity = Size + StaticBytes;
  ITEM_CALLBACK_ENTRY* Buffer = nullptr;
  Status = gBS()->AllocatePool(EfiBootServicesData, Capacity, (VOID**)&Buffer);
  if (EFI_ERROR(Status)) {
    MergeFailed = true;
    return Status;
  }
  List.Merged.Reset(Buffer);
  Status = Registry->ListItemCallbacks(&Size, Buffer);
  // Only whole entries that came back and fit before the static copy count.
  if (EFI_ERROR(Status) || Size > Capacity - StaticBytes) Size = 0;
  Size -= Size % sizeof(ITEM_CALLBACK_ENTRY);
  MemMove((UINT8*)Buffer + Size, StaticTable.Data, StaticBytes);
  List.Entries = Span<const ITEM_CALLBACK_ENTRY>(Buffer, Size / sizeof(ITEM_CALLBACK_ENTRY) + StaticTable.Count);
  return Status;
}

}  // namespace

CALLBACK_PARAMETERS* GetCurrentCallbackParameters() { return CoreState().CurrentParameters; }

EFI_STATUS DispatchQuestion(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                            EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                            EFI_BROWSER_ACTION_REQUEST* ActionRequest, Span<const ITEM_CALLBACK_ENTRY> StaticTable) {
  if (ActionRequest != nullptr) *ActionRequest = EFI_BROWSER_ACTION_REQUEST_NONE;
  // The form set is read from behind This; without it there is nothing to match.
  if (This == nullptr) return EFI_INVALID_PARAMETER;

  CORE_STATE& Core = CoreState();
  CALLBACK_PARAMETERS Parameters{This, Action, QuestionId, Type, Value, ActionRequest};
  Core.CurrentParameters = &Parameters;

  ITEM_LIST List;
  bool MergeFailed = false;
  EFI_STATUS Status = BuildItemList(StaticTable, List, MergeFailed);
  if (MergeFailed) {
    Core.CurrentParameters = nullptr;
    return Status;
  }

  const CONFIG_ACCESS_INSTANCE* Instance = (const CONFIG_ACCESS_INSTANCE*)This;
  const bool ListEmpty = List.Entries.Empty() || List.Entries[0].Handler == nullptr;
  for (const FORM_SET_INFO& Row : Core.FormSets) {
    if (ListEmpty) break;
    if (Row.Class != Instance->Class || Row.SubClass != Instance->SubClass) continue;
    for (const ITEM_CALLBACK_ENTRY& Entry : List.Entries) {
      if (Entry.Handler == nullptr) break;
      // The main form set reaches the entries of every class.
      const bool ClassMatches = Entry.Class == Instance->Class || Instance->Class == FORM_SET_CLASS_MAIN;
      if (!ClassMatches || Entry.SubClass != Instance->SubClass || Entry.Key != QuestionId) continue;
      Status = Entry.Handler(Row.HiiHandle, Entry.Class, Entry.SubClass, QuestionId);
      if (Status != EFI_UNSUPPORTED) break;
    }
  }

  Core.CurrentParameters = nullptr;
  return Status;
}

EFI_STATUS EFIAPI SetupCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                                EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                                EFI_BROWSER_ACTION_REQUEST* ActionRequest) {
  return DispatchQuestion(This, Action, QuestionId, Type, Value, ActionRequest, StaticItemCallbacks());
}
