// Events, event groups, timers over simulated time, and the task priority
// level that decides when notify functions run.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uefi/system_table.h"

namespace sim {

class Events {
 public:
  // 100 ns units, as SetTimer counts.
  using Time = UINT64;
  static constexpr Time TIMER_TICK = 100000;  // 10 ms, the usual platform tick

  explicit Events(std::function<void(const std::string&)> Misuse);
  ~Events();
  Events(const Events&) = delete;
  Events& operator=(const Events&) = delete;

  EFI_STATUS Create(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY Notify, const VOID* Context,
                    const EFI_GUID* Group, EFI_EVENT* Event);
  EFI_STATUS Signal(EFI_EVENT Event);
  EFI_STATUS Close(EFI_EVENT Event);
  EFI_STATUS Check(EFI_EVENT Event);
  EFI_STATUS Wait(UINTN Count, EFI_EVENT* List, UINTN* Index);
  EFI_STATUS SetTimer(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime);

  EFI_TPL RaiseTpl(EFI_TPL NewTpl);
  void RestoreTpl(EFI_TPL OldTpl);
  EFI_TPL CurrentTpl() const { return Tpl_; }

  // Signals every event of a group (what the firmware does at ready to boot).
  void SignalGroup(const EFI_GUID& Group);

  // Simulated time: timers expire and notify functions run as it passes.
  void AdvanceTime(Time Units);
  Time Now() const { return Now_; }

  bool IsEvent(EFI_EVENT Event) const { return Live_.count(Event) != 0; }
  size_t OpenEventCount() const { return Live_.size(); }
  // Number of times a notify function has run for this event.
  size_t NotifyCount(EFI_EVENT Event) const;

  // Called when an event is closed, so protocol-notify registrations die with it.
  void SetCloseListener(std::function<void(EFI_EVENT)> Listener) { OnClose_ = std::move(Listener); }

 private:
  struct Record {
    UINT32 Type;
    EFI_TPL Tpl;
    EFI_EVENT_NOTIFY Notify;
    VOID* Context;
    std::optional<EFI_GUID> Group;
    bool Signaled = false;
    bool Queued = false;
    size_t Notified = 0;
    std::optional<Time> TriggerAt;
    Time Period = 0;
    UINT64 Order = 0;  // queue order among equal priorities
    UINT64 Created = 0;
  };

  Record* Find(EFI_EVENT Event);
  void SignalOne(Record* R);
  void SignalMembers(const EFI_GUID& Group);
  void Queue(Record* R);
  void Dispatch();

  std::function<void(const std::string&)> Misuse_;
  std::function<void(EFI_EVENT)> OnClose_;
  std::map<EFI_EVENT, std::unique_ptr<Record>> Live_;
  std::vector<std::unique_ptr<Record>> Closed_;  // kept until the boot ends: handles stay unique
  std::vector<Record*> Pending_;
  EFI_TPL Tpl_ = TPL_APPLICATION;
  Time Now_ = 0;
  UINT64 NextOrder_ = 0;
  UINT64 NextCreated_ = 0;
};

}  // namespace sim
