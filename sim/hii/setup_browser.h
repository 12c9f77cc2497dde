// The setup browser as the drivers meet it: working copies of variables
// (stores), question callbacks through a form set's Config Access, and the
// browser's answer to the action a callback requests.
#pragma once

#include <string>
#include <vector>

#include "platform/net_config.h"
#include "platform/setup_variable.h"
#include "uefi/hii.h"
#include "uefi/system_table.h"

namespace sim {

class FormUtilityService;

class SetupBrowser {
 public:
  struct Store {
    std::u16string Name;
    EFI_GUID Guid{};
    UINT32 Attributes = 0;
    std::vector<UINT8> Saved;    // as the variable holds it
    std::vector<UINT8> Current;  // the browser's working copy
    bool Changed() const { return Saved != Current; }
  };

  // What the browser did after a callback, from the request it returned.
  enum class Outcome { None, Saved, SaveFailed, Discarded, Closed, Reset, Reconnect, NotCalled };

  struct CallbackRecord {
    UINT16 Class = 0;
    EFI_HII_HANDLE HiiHandle = nullptr;
    EFI_BROWSER_ACTION Action = 0;
    EFI_QUESTION_ID QuestionId = 0;
    UINT8 Type = 0;
    EFI_IFR_TYPE_VALUE ValueIn{};
    EFI_IFR_TYPE_VALUE ValueOut{};  // as the callback left it
    EFI_STATUS Status = EFI_SUCCESS;
    EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
    Outcome Result = Outcome::None;
  };

  static constexpr const EFI_GUID& SetupVariableGuid = SETUP_VARIABLE_GUID;
  static constexpr const EFI_GUID& NetConfigDataGuid = NET_CONFIG_DATA_GUID;

  SetupBrowser(EFI_SYSTEM_TABLE* SystemTable, FormUtilityService* Forms);

  // A variable the browser copies when it opens ("Setup" and "NetConfigData"
  // are there from the start). While open, it is copied at once.
  void AddStore(const std::u16string& Name, const EFI_GUID& Guid);
  // Like AddStore, with the content the store starts from when the variable
  // does not exist; saving a change then creates the variable.
  void CreateStore(const std::u16string& Name, const EFI_GUID& Guid, std::vector<UINT8> Bytes, UINT32 Attributes);

  // Copies every listed variable that exists; a missing one gives no store.
  EFI_STATUS Open();
  bool IsOpen() const { return Open_; }
  // Writes every changed store back with its variable's attributes; the
  // first failing write's status is returned, the others are still tried.
  EFI_STATUS Save();
  void Discard();
  void Close();

  Store* FindStore(const std::u16string& Name, const EFI_GUID& Guid);
  // The working copy's bytes, or null when the browser holds no such store.
  std::vector<UINT8>* StoreBytes(const std::u16string& Name, const EFI_GUID& Guid);
  const std::vector<Store>& Stores() const { return Stores_; }

  // Runs a question callback of a form set, named by class or HII handle,
  // as the browser would: the form set's Config Access Callback is called
  // with Value and an action-request variable, then the request is honoured.
  // EFI_NOT_READY when the browser is closed; EFI_NOT_FOUND when no form set
  // or Config Access answers for it.
  EFI_STATUS Callback(UINT16 Class, EFI_BROWSER_ACTION Action, EFI_QUESTION_ID QuestionId, UINT8 Type,
                      EFI_IFR_TYPE_VALUE Value);
  EFI_STATUS Callback(EFI_HII_HANDLE HiiHandle, EFI_BROWSER_ACTION Action, EFI_QUESTION_ID QuestionId, UINT8 Type,
                      EFI_IFR_TYPE_VALUE Value);
  const std::vector<CallbackRecord>& Log() const { return Log_; }
  void ClearLog() { Log_.clear(); }
  UINTN ResetRequests() const { return ResetRequests_; }

  // Browser data as the form utility service hands it out.
  EFI_STATUS GetData(UINTN* Size, VOID* Buffer, const EFI_GUID* Guid, const CHAR16* Name);
  EFI_STATUS SetData(UINTN Size, const VOID* Buffer, const EFI_GUID* Guid, const CHAR16* Name);
  // Every SetData that named a store, in order, with its status.
  struct DataWrite {
    std::u16string Name;
    EFI_GUID Guid;
    std::vector<UINT8> Bytes;  // only when taken
    EFI_STATUS Status;
  };
  const std::vector<DataWrite>& DataLog() const { return DataLog_; }

 private:
  struct StoreName {
    std::u16string Name;
    EFI_GUID Guid;
    bool HasDefault = false;
    std::vector<UINT8> Default;
    UINT32 DefaultAttributes = 0;
  };
  EFI_STATUS CopyVariable(const StoreName& Which);
  EFI_STATUS Run(UINT16 Class, EFI_HII_HANDLE HiiHandle, EFI_HANDLE DriverHandle, EFI_BROWSER_ACTION Action,
                 EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE Value);
  Outcome Honour(EFI_BROWSER_ACTION_REQUEST Request);

  EFI_SYSTEM_TABLE* SystemTable_;
  FormUtilityService* Forms_;
  bool Open_ = false;
  std::vector<StoreName> Names_;
  std::vector<Store> Stores_;
  std::vector<CallbackRecord> Log_;
  std::vector<DataWrite> DataLog_;
  UINTN ResetRequests_ = 0;
};

}  // namespace sim
