// Variable store: (name, GUID) -> attributes and bytes, with the attribute
// rules, size limits and write protection of a real store. Non-volatile
// variables outlive a simulated reboot.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "uefi/base.h"

namespace sim {

std::string ToUtf8(const std::u16string& Text);
std::u16string ToUtf16(const std::string& Text);

class VariableStore {
 public:
  struct Key {
    std::u16string Name;
    EFI_GUID Guid;
    bool operator<(const Key& O) const;
  };
  struct Variable {
    UINT32 Attributes;
    std::vector<UINT8> Data;
  };
  struct LogEntry {
    std::u16string Name;
    EFI_GUID Guid;
    UINT32 Attributes;
    std::vector<UINT8> Data;
    EFI_STATUS Status;
  };
  // Seam for authenticated writes (time-based attribute): receives the
  // payload as passed and leaves in Data what is to be stored (or appended).
  // Without a hook the payload is taken as it stands.
  using AuthenticatedWriteHook =
      std::function<EFI_STATUS(const Key& Name, UINT32 Attributes, std::vector<UINT8>& Data, const Variable* Existing)>;

  // What a variable costs in the store besides name and data, as a real
  // store's header does.
  static constexpr size_t HEADER_SIZE = 60;

  EFI_STATUS Get(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* DataSize, VOID* Data);
  EFI_STATUS GetNextName(UINTN* NameSize, CHAR16* Name, EFI_GUID* Guid);
  EFI_STATUS Set(const CHAR16* Name, const EFI_GUID* Guid, UINT32 Attributes, UINTN DataSize, const VOID* Data);
  EFI_STATUS QueryInfo(UINT32 Attributes, UINT64* MaxStorage, UINT64* Remaining, UINT64* MaxVariableSize);

  // Direct access for tests and the board profile (no rules, no log).
  void Put(const std::u16string& Name, const EFI_GUID& Guid, UINT32 Attributes, std::vector<UINT8> Data);
  const Variable* Find(const std::u16string& Name, const EFI_GUID& Guid) const;
  bool Erase(const std::u16string& Name, const EFI_GUID& Guid);
  size_t Count() const { return Vars_.size(); }
  const std::map<Key, Variable>& All() const { return Vars_; }

  // Reboot: volatile variables are gone.
  void DropVolatile();

  // Limits: per variable (name + data + header) and per store class.
  void SetMaxVariableSize(size_t Bytes) { MaxVariableSize_ = Bytes; }
  void SetStorageSize(size_t NonVolatileBytes, size_t VolatileBytes) {
    NvCapacity_ = NonVolatileBytes;
    VolatileCapacity_ = VolatileBytes;
  }
  size_t MaxVariableSize() const { return MaxVariableSize_; }

  void SetWriteProtected(const std::u16string& Name, const EFI_GUID& Guid, bool Protected = true);
  // Every later Set (Get) of this variable, or of any variable when Name is
  // empty, returns Status until cleared.
  void FailSet(const std::u16string& Name, EFI_STATUS Status) { SetFailures_[Name] = Status; }
  void FailGet(const std::u16string& Name, EFI_STATUS Status) { GetFailures_[Name] = Status; }
  void ClearFailures() {
    SetFailures_.clear();
    GetFailures_.clear();
  }
  void SetAuthenticatedWriteHook(AuthenticatedWriteHook Hook) { AuthHook_ = std::move(Hook); }
  // Variables whose every write (also a plain one or a delete) goes through
  // the hook, and a call after each write of them that the store took.
  using KeyPredicate = std::function<bool(const Key& Name)>;
  using WriteObserver = std::function<void(const Key& Name)>;
  void SetHookedVariables(KeyPredicate Hooked, WriteObserver Observer) {
    Hooked_ = std::move(Hooked);
    Observer_ = std::move(Observer);
  }

  const std::vector<LogEntry>& SetLog() const { return Log_; }
  void ClearSetLog() { Log_.clear(); }

 private:
  EFI_STATUS DoSet(const CHAR16* Name, const EFI_GUID* Guid, UINT32 Attributes, UINTN DataSize, const VOID* Data);
  size_t Used(bool NonVolatile) const;

  std::map<Key, Variable> Vars_;
  std::set<Key> Protected_;
  std::map<std::u16string, EFI_STATUS> SetFailures_, GetFailures_;
  std::vector<LogEntry> Log_;
  AuthenticatedWriteHook AuthHook_;
  KeyPredicate Hooked_;
  WriteObserver Observer_;
  size_t MaxVariableSize_ = 32 * 1024;
  size_t NvCapacity_ = 256 * 1024;
  size_t VolatileCapacity_ = 256 * 1024;
};

}  // namespace sim
