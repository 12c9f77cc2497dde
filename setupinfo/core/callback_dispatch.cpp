#include "setupinfo/core/callback_dispatch.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/item_callback_table.h"
#include "setupinfo/core/core_state.h"

namespace {

// The registered entries, fetched into pool memory owned here for the length
// of one callback. The allocation keeps room for the static table behind
// them, but the static table is walked where it is rather than copied.
struct ITEM_LIST {
  PoolBuffer<ITEM_CALLBACK_ENTRY> Merged;
  Span<const ITEM_CALLBACK_ENTRY> Registered;
};

// The status of the last registry call: EFI_NOT_FOUND with nothing
// registered (static table alone), EFI_SUCCESS after a fetch. MergeFailed
// reports that the merged list could not be allocated.
EFI_STATUS BuildItemList(Span<const ITEM_CALLBACK_ENTRY> StaticTable, ITEM_LIST& List, bool& MergeFailed) {
  MergeFailed = false;
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
  // Only whole entries that came back and fit before the static table's room count.
  if (EFI_ERROR(Status) || Size > Capacity - StaticBytes) Size = 0;
  List.Registered = Span<const ITEM_CALLBACK_ENTRY>(Buffer, Size / sizeof(ITEM_CALLBACK_ENTRY));
  return Status;
}

// Calls the matching handlers of Entries in order. False once the search is
// over: a null Handler ends the whole list, and a status other than
// EFI_UNSUPPORTED ends the search for this form set.
bool CallMatching(Span<const ITEM_CALLBACK_ENTRY> Entries, const CONFIG_ACCESS_INSTANCE* Instance,
                  EFI_HII_HANDLE HiiHandle, EFI_QUESTION_ID QuestionId, EFI_STATUS& Status) {
  // The main form set reaches the entries of every class.
  const bool AnyClass = Instance->Class == FORM_SET_CLASS_MAIN;
  for (const ITEM_CALLBACK_ENTRY& Entry : Entries) {
    // The key rules out nearly every entry with one compare.
    if (Entry.Key != QuestionId) {
      if (Entry.Handler == nullptr) return false;
      continue;
    }
    if (Entry.Handler == nullptr) return false;
    if ((Entry.Class != Instance->Class && !AnyClass) || Entry.SubClass != Instance->SubClass) continue;
    Status = Entry.Handler(HiiHandle, Entry.Class, Entry.SubClass, QuestionId);
    if (Status != EFI_UNSUPPORTED) return false;
  }
  return true;
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
  for (const FORM_SET_INFO& Row : Core.FormSets) {
    if (Row.Class != Instance->Class || Row.SubClass != Instance->SubClass) continue;
    // Registered entries first, in registration order, then the static rows.
    if (CallMatching(List.Registered, Instance, Row.HiiHandle, QuestionId, Status))
      CallMatching(StaticTable, Instance, Row.HiiHandle, QuestionId, Status);
  }

  Core.CurrentParameters = nullptr;
  return Status;
}

EFI_STATUS EFIAPI SetupCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                                EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                                EFI_BROWSER_ACTION_REQUEST* ActionRequest) {
  return DispatchQuestion(This, Action, QuestionId, Type, Value, ActionRequest, StaticItemCallbacks());
}
