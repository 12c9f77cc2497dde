#include "sim/events.h"

#include <algorithm>

namespace sim {

namespace {
// Notify functions cannot run with interrupts off: the firmware core refuses
// TPL_HIGH_LEVEL as well as TPL_APPLICATION.
bool ValidNotifyTpl(EFI_TPL Tpl) { return Tpl > TPL_APPLICATION && Tpl < TPL_HIGH_LEVEL; }
}  // namespace

Events::Events(std::function<void(const std::string&)> Misuse) : Misuse_(std::move(Misuse)) {}
Events::~Events() = default;

Events::Record* Events::Find(EFI_EVENT Event) {
  auto It = Live_.find(Event);
  return It == Live_.end() ? nullptr : It->second.get();
}

EFI_STATUS Events::Create(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY Notify, const VOID* Context,
                          const EFI_GUID* Group, EFI_EVENT* Event) {
  if (Event == nullptr) return EFI_INVALID_PARAMETER;
  constexpr UINT32 Known = EVT_TIMER | EVT_RUNTIME | EVT_NOTIFY_WAIT | EVT_NOTIFY_SIGNAL;
  // The two exit-boot-services/virtual-address types are special encodings.
  if (Type == EVT_SIGNAL_EXIT_BOOT_SERVICES || Type == EVT_SIGNAL_VIRTUAL_ADDRESS_CHANGE) {
    if (Group != nullptr) return EFI_INVALID_PARAMETER;
  } else if ((Type & ~Known) != 0) {
    return EFI_INVALID_PARAMETER;
  }
  bool Wait = (Type & EVT_NOTIFY_WAIT) != 0, Sig = (Type & EVT_NOTIFY_SIGNAL) != 0;
  if (Wait && Sig) return EFI_INVALID_PARAMETER;
  if (Wait || Sig) {
    if (Notify == nullptr || !ValidNotifyTpl(NotifyTpl)) return EFI_INVALID_PARAMETER;
  }
  auto R = std::make_unique<Record>();
  R->Type = Type;
  R->Tpl = NotifyTpl;
  R->Notify = (Wait || Sig) ? Notify : nullptr;
  R->Context = const_cast<VOID*>(Context);
  R->Created = NextCreated_++;
  if (Group) R->Group = *Group;
  EFI_EVENT Handle = R.get();
  Live_[Handle] = std::move(R);
  *Event = Handle;
  return EFI_SUCCESS;
}

void Events::Queue(Record* R) {
  if (R->Queued) return;
  R->Queued = true;
  R->Order = NextOrder_++;
  Pending_.push_back(R);
}

void Events::SignalOne(Record* R) {
  if (R->Signaled) return;
  R->Signaled = true;
  if (R->Type & EVT_NOTIFY_SIGNAL) Queue(R);
}

EFI_STATUS Events::Signal(EFI_EVENT Event) {
  Record* R = Find(Event);
  if (R == nullptr) return EFI_INVALID_PARAMETER;
  if (R->Group) {
    SignalMembers(*R->Group);
  } else {
    SignalOne(R);
  }
  Dispatch();
  return EFI_SUCCESS;
}

// Members in creation order, so their notify functions run in that order.
void Events::SignalMembers(const EFI_GUID& Group) {
  std::vector<Record*> Members;
  for (auto& [H, Other] : Live_)
    if (Other->Group && *Other->Group == Group) Members.push_back(Other.get());
  std::sort(Members.begin(), Members.end(), [](Record* A, Record* B) { return A->Created < B->Created; });
  for (Record* R : Members) SignalOne(R);
}

void Events::SignalGroup(const EFI_GUID& Group) {
  SignalMembers(Group);
  Dispatch();
}

// Runs queued notify functions whose TPL lies above the current one, highest
// first, each at its own TPL, as the firmware does when the TPL drops.
void Events::Dispatch() {
  // Re-entered from a notify function only for higher levels, as a real
  // interrupt-driven dispatcher would preempt.
  for (;;) {
    auto Best = Pending_.end();
    for (auto It = Pending_.begin(); It != Pending_.end(); ++It) {
      if ((*It)->Tpl <= Tpl_) continue;
      if (Best == Pending_.end() || (*It)->Tpl > (*Best)->Tpl ||
          ((*It)->Tpl == (*Best)->Tpl && (*It)->Order < (*Best)->Order))
        Best = It;
    }
    if (Best == Pending_.end()) break;
    Record* R = *Best;
    Pending_.erase(Best);
    R->Queued = false;
    if (R->Type & EVT_NOTIFY_SIGNAL) R->Signaled = false;
    EFI_TPL Saved = Tpl_;
    Tpl_ = R->Tpl;
    ++R->Notified;
    R->Notify(R, R->Context);
    Tpl_ = Saved;
  }
}

EFI_STATUS Events::Close(EFI_EVENT Event) {
  auto It = Live_.find(Event);
  if (It == Live_.end()) return EFI_INVALID_PARAMETER;
  Record* R = It->second.get();
  Pending_.erase(std::remove(Pending_.begin(), Pending_.end(), R), Pending_.end());
  R->Queued = false;
  Closed_.push_back(std::move(It->second));
  Live_.erase(It);
  if (OnClose_) OnClose_(Event);
  return EFI_SUCCESS;
}

EFI_STATUS Events::Check(EFI_EVENT Event) {
  Record* R = Find(Event);
  if (R == nullptr || (R->Type & EVT_NOTIFY_SIGNAL)) return EFI_INVALID_PARAMETER;
  if (!R->Signaled && (R->Type & EVT_NOTIFY_WAIT)) {
    Queue(R);
    Dispatch();
    R = Find(Event);  // the notify function may have closed it
    if (R == nullptr) return EFI_NOT_READY;
  }
  if (R->Signaled) {
    R->Signaled = false;
    return EFI_SUCCESS;
  }
  return EFI_NOT_READY;
}

EFI_STATUS Events::Wait(UINTN Count, EFI_EVENT* List, UINTN* Index) {
  if (Count == 0 || List == nullptr || Index == nullptr) return EFI_INVALID_PARAMETER;
  if (Tpl_ != TPL_APPLICATION) return EFI_UNSUPPORTED;
  for (;;) {
    for (UINTN I = 0; I < Count; ++I) {
      EFI_STATUS S = Check(List[I]);
      if (S != EFI_NOT_READY) {
        *Index = I;
        return S;
      }
    }
    // Nothing ready: let simulated time run to the next timer.
    std::optional<Time> Next;
    for (auto& [H, R] : Live_)
      if (R->TriggerAt && (!Next || *R->TriggerAt < *Next)) Next = *R->TriggerAt;
    if (!Next) {
      Misuse_("WaitForEvent would wait forever: no event can become signalled");
      return EFI_NOT_READY;
    }
    AdvanceTime(*Next > Now_ ? *Next - Now_ : 0);
  }
}

EFI_STATUS Events::SetTimer(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime) {
  Record* R = Find(Event);
  if (R == nullptr || (R->Type & EVT_TIMER) == 0) return EFI_INVALID_PARAMETER;
  switch (Type) {
    case TimerCancel:
      R->TriggerAt.reset();
      R->Period = 0;
      return EFI_SUCCESS;
    case TimerRelative:
      R->TriggerAt = Now_ + TriggerTime;
      R->Period = 0;
      return EFI_SUCCESS;
    case TimerPeriodic: {
      Time Period = TriggerTime == 0 ? TIMER_TICK : TriggerTime;
      R->TriggerAt = Now_ + Period;
      R->Period = Period;
      return EFI_SUCCESS;
    }
  }
  return EFI_INVALID_PARAMETER;
}

void Events::AdvanceTime(Time Units) {
  Time Target = Now_ + Units;
  for (;;) {
    Record* Due = nullptr;
    for (auto& [H, R] : Live_)
      if (R->TriggerAt && *R->TriggerAt <= Target && (!Due || *R->TriggerAt < *Due->TriggerAt)) Due = R.get();
    if (Due == nullptr) break;
    if (*Due->TriggerAt > Now_) Now_ = *Due->TriggerAt;
    if (Due->Period)
      Due->TriggerAt = *Due->TriggerAt + Due->Period;
    else
      Due->TriggerAt.reset();
    SignalOne(Due);
    Dispatch();
  }
  Now_ = Target;
}

EFI_TPL Events::RaiseTpl(EFI_TPL NewTpl) {
  EFI_TPL Old = Tpl_;
  if (NewTpl < Tpl_) {
    Misuse_("RaiseTPL to " + std::to_string(NewTpl) + " below the current " + std::to_string(Tpl_));
    return Old;
  }
  if (NewTpl > TPL_HIGH_LEVEL) Misuse_("RaiseTPL to an invalid level " + std::to_string(NewTpl));
  Tpl_ = NewTpl;
  return Old;
}

void Events::RestoreTpl(EFI_TPL OldTpl) {
  if (OldTpl > Tpl_) {
    Misuse_("RestoreTPL to " + std::to_string(OldTpl) + " above the current " + std::to_string(Tpl_));
    return;
  }
  Tpl_ = OldTpl;
  Dispatch();
}

size_t Events::NotifyCount(EFI_EVENT Event) const {
  auto It = Live_.find(Event);
  if (It != Live_.end()) return It->second->Notified;
  for (auto& R : Closed_)
    if (R.get() == Event) return R->Notified;
  return 0;
}

}  // namespace sim
