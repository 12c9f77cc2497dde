#include "sim/hii/setup_browser.h"

#include <cstring>

#include "sim/hii/form_utility_service.h"

namespace sim {

SetupBrowser::SetupBrowser(EFI_SYSTEM_TABLE* SystemTable, FormUtilityService* Forms)
    : SystemTable_(SystemTable), Forms_(Forms) {
  Names_.push_back({u"Setup", SetupVariableGuid});
  Names_.push_back({u"NetConfigData", NetConfigDataGuid});
}

void SetupBrowser::AddStore(const std::u16string& Name, const EFI_GUID& Guid) {
  for (const auto& n : Names_)
    if (n.Name == Name && n.Guid == Guid) return;
  Names_.push_back({Name, Guid});
  if (Open_) CopyVariable(Names_.back());
}

void SetupBrowser::CreateStore(const std::u16string& Name, const EFI_GUID& Guid, std::vector<UINT8> Bytes,
                               UINT32 Attributes) {
  StoreName* name = nullptr;
  for (auto& n : Names_)
    if (n.Name == Name && n.Guid == Guid) name = &n;
  if (name == nullptr) {
    Names_.push_back({Name, Guid});
    name = &Names_.back();
  }
  name->HasDefault = true;
  name->Default = std::move(Bytes);
  name->DefaultAttributes = Attributes;
  if (Open_ && FindStore(Name, Guid) == nullptr) CopyVariable(*name);
}

EFI_STATUS SetupBrowser::CopyVariable(const StoreName& Which) {
  EFI_RUNTIME_SERVICES* rt = SystemTable_->RuntimeServices;
  UINTN size = 0;
  UINT32 attributes = 0;
  EFI_STATUS status = rt->GetVariable(Which.Name.c_str(), &Which.Guid, &attributes, &size, nullptr);
  Store store{Which.Name, Which.Guid, 0, {}, {}};
  if (status == EFI_BUFFER_TOO_SMALL) {
    store.Saved.resize(size);
    status = rt->GetVariable(Which.Name.c_str(), &Which.Guid, &attributes, &size, store.Saved.data());
    store.Saved.resize(size);
  } else if (status == EFI_SUCCESS) {
    store.Saved.clear();  // an empty variable
  }
  if (EFI_ERROR(status)) {
    if (status != EFI_NOT_FOUND || !Which.HasDefault) return status;
    store.Saved = Which.Default;
    attributes = Which.DefaultAttributes;
  }
  store.Attributes = attributes;
  store.Current = store.Saved;
  Stores_.push_back(std::move(store));
  return EFI_SUCCESS;
}

EFI_STATUS SetupBrowser::Open() {
  if (Open_) return EFI_ALREADY_STARTED;
  Stores_.clear();
  for (const auto& n : Names_) CopyVariable(n);
  Open_ = true;
  return EFI_SUCCESS;
}

EFI_STATUS SetupBrowser::Save() {
  if (!Open_) return EFI_NOT_READY;
  EFI_STATUS result = EFI_SUCCESS;
  for (auto& s : Stores_) {
    if (!s.Changed()) continue;
    EFI_STATUS status = SystemTable_->RuntimeServices->SetVariable(s.Name.c_str(), &s.Guid, s.Attributes,
                                                                   s.Current.size(), s.Current.data());
    if (EFI_ERROR(status)) {
      if (!EFI_ERROR(result)) result = status;
      continue;
    }
    s.Saved = s.Current;
  }
  return result;
}

void SetupBrowser::Discard() {
  for (auto& s : Stores_) s.Current = s.Saved;
}

void SetupBrowser::Close() {
  Stores_.clear();
  Open_ = false;
}

SetupBrowser::Store* SetupBrowser::FindStore(const std::u16string& Name, const EFI_GUID& Guid) {
  for (auto& s : Stores_)
    if (s.Name == Name && s.Guid == Guid) return &s;
  return nullptr;
}

std::vector<UINT8>* SetupBrowser::StoreBytes(const std::u16string& Name, const EFI_GUID& Guid) {
  Store* s = FindStore(Name, Guid);
  return s == nullptr ? nullptr : &s->Current;
}

EFI_STATUS SetupBrowser::GetData(UINTN* Size, VOID* Buffer, const EFI_GUID* Guid, const CHAR16* Name) {
  if (Size == nullptr || Guid == nullptr || Name == nullptr) return EFI_INVALID_PARAMETER;
  Store* s = FindStore(Name, *Guid);
  if (s == nullptr) return EFI_NOT_FOUND;
  if (*Size < s->Current.size()) {
    *Size = s->Current.size();
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Buffer == nullptr && !s->Current.empty()) return EFI_INVALID_PARAMETER;
  if (!s->Current.empty()) std::memcpy(Buffer, s->Current.data(), s->Current.size());
  *Size = s->Current.size();
  return EFI_SUCCESS;
}

// A write replaces the store's first Size bytes; the store keeps its size,
// as the variable behind it does, so a longer write is refused whole.
EFI_STATUS SetupBrowser::SetData(UINTN Size, const VOID* Buffer, const EFI_GUID* Guid, const CHAR16* Name) {
  if (Guid == nullptr || Name == nullptr || (Size != 0 && Buffer == nullptr)) return EFI_INVALID_PARAMETER;
  DataLog_.push_back({Name, *Guid, {}, EFI_SUCCESS});
  Store* s = FindStore(Name, *Guid);
  if (s == nullptr) return DataLog_.back().Status = EFI_NOT_FOUND;
  if (Size > s->Current.size()) return DataLog_.back().Status = EFI_BAD_BUFFER_SIZE;
  DataLog_.back().Bytes.assign((const UINT8*)Buffer, (const UINT8*)Buffer + Size);
  if (Size != 0) std::memcpy(s->Current.data(), Buffer, Size);
  return EFI_SUCCESS;
}

EFI_STATUS SetupBrowser::Callback(UINT16 Class, EFI_BROWSER_ACTION Action, EFI_QUESTION_ID QuestionId, UINT8 Type,
                                  EFI_IFR_TYPE_VALUE Value) {
  const FormUtilityService::FormSet* formSet = Forms_ == nullptr ? nullptr : Forms_->FindFormSet(Class);
  return Run(Class, formSet == nullptr ? nullptr : formSet->HiiHandle,
             formSet == nullptr ? nullptr : formSet->DriverHandle, Action, QuestionId, Type, Value);
}

EFI_STATUS SetupBrowser::Callback(EFI_HII_HANDLE HiiHandle, EFI_BROWSER_ACTION Action, EFI_QUESTION_ID QuestionId,
                                  UINT8 Type, EFI_IFR_TYPE_VALUE Value) {
  const FormUtilityService::FormSet* formSet = Forms_ == nullptr ? nullptr : Forms_->FindFormSet(HiiHandle);
  return Run(formSet == nullptr ? 0 : formSet->Class, HiiHandle, formSet == nullptr ? nullptr : formSet->DriverHandle,
             Action, QuestionId, Type, Value);
}

EFI_STATUS SetupBrowser::Run(UINT16 Class, EFI_HII_HANDLE HiiHandle, EFI_HANDLE DriverHandle,
                             EFI_BROWSER_ACTION Action, EFI_QUESTION_ID QuestionId, UINT8 Type,
                             EFI_IFR_TYPE_VALUE Value) {
  CallbackRecord record;
  record.Class = Class;
  record.HiiHandle = HiiHandle;
  record.Action = Action;
  record.QuestionId = QuestionId;
  record.Type = Type;
  record.ValueIn = Value;
  record.ValueOut = Value;
  record.Result = Outcome::NotCalled;

  if (!Open_) {
    record.Status = EFI_NOT_READY;
  } else if (DriverHandle == nullptr) {
    record.Status = EFI_NOT_FOUND;
  } else {
    // The form set's Config Access is looked up where it was installed, as a
    // browser does; a driver that took it away is not called.
    VOID* interface = nullptr;
    record.Status = SystemTable_->BootServices->HandleProtocol(DriverHandle, &EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid,
                                                               &interface);
    auto* access = (EFI_HII_CONFIG_ACCESS_PROTOCOL*)interface;
    if (EFI_ERROR(record.Status) || access == nullptr) {
      record.Status = EFI_NOT_FOUND;
    } else if (access->Callback == nullptr) {
      record.Status = EFI_UNSUPPORTED;
    } else {
      EFI_BROWSER_ACTION_REQUEST request = EFI_BROWSER_ACTION_REQUEST_NONE;
      EFI_IFR_TYPE_VALUE value = Value;
      record.Status = access->Callback(access, Action, QuestionId, Type, &value, &request);
      record.ValueOut = value;
      record.Request = request;
      record.Result = EFI_ERROR(record.Status) ? Outcome::None : Honour(request);
    }
  }
  Log_.push_back(record);
  return record.Status;
}

// A failed callback's request is not acted on, as a browser would not.
SetupBrowser::Outcome SetupBrowser::Honour(EFI_BROWSER_ACTION_REQUEST Request) {
  switch (Request) {
    case EFI_BROWSER_ACTION_REQUEST_SUBMIT:
    case EFI_BROWSER_ACTION_REQUEST_FORM_APPLY:
    case EFI_BROWSER_ACTION_REQUEST_QUESTION_APPLY:
      return EFI_ERROR(Save()) ? Outcome::SaveFailed : Outcome::Saved;
    case EFI_BROWSER_ACTION_REQUEST_FORM_SUBMIT_EXIT: {
      EFI_STATUS status = Save();
      if (EFI_ERROR(status)) return Outcome::SaveFailed;  // stays open with the unsaved changes
      Close();
      return Outcome::Closed;
    }
    case EFI_BROWSER_ACTION_REQUEST_EXIT:
    case EFI_BROWSER_ACTION_REQUEST_FORM_DISCARD_EXIT:
      Close();
      return Outcome::Closed;
    case EFI_BROWSER_ACTION_REQUEST_FORM_DISCARD:
      Discard();
      return Outcome::Discarded;
    case EFI_BROWSER_ACTION_REQUEST_RESET:
      ++ResetRequests_;
      Close();  // nothing unsaved survives a reset
      SystemTable_->RuntimeServices->ResetSystem(EfiResetCold, EFI_SUCCESS, 0, nullptr);
      return Outcome::Reset;
    case EFI_BROWSER_ACTION_REQUEST_RECONNECT:
      return Outcome::Reconnect;  // recorded; the browser reconnects no controllers
    default:
      return Outcome::None;
  }
}

}  // namespace sim
