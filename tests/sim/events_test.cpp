#include <string>
#include <vector>

#include "sim/machine_test.h"

namespace sim {
namespace {

using EventTest = MachineTest;

struct Trace {
  std::vector<std::string> Calls;
  EFI_TPL TplSeen = 0;
};

struct Tagged {
  Trace* T;
  const char* Name;
};

VOID EFIAPI Record(EFI_EVENT, VOID* Context) {
  auto* Tag = (Tagged*)Context;
  Tag->T->Calls.push_back(Tag->Name);
  // The notify function runs at its own TPL: raising to it is allowed, lowering is not.
  EFI_TPL Old = Machine::Current()->BootServices()->RaiseTPL(TPL_HIGH_LEVEL);
  Tag->T->TplSeen = Old;
  Machine::Current()->BootServices()->RestoreTPL(Old);
}

TEST_F(EventTest, NotifyWaitsUntilTheTplDrops) {
  Trace T;
  Tagged Low{&T, "callback"}, High{&T, "notify"};
  EFI_EVENT E1, E2;
  ASSERT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Record, &Low, &E1), EFI_SUCCESS);
  ASSERT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, Record, &High, &E2), EFI_SUCCESS);

  EFI_TPL Old = BS()->RaiseTPL(TPL_NOTIFY);
  EXPECT_EQ(Old, TPL_APPLICATION);
  BS()->SignalEvent(E1);
  BS()->SignalEvent(E2);
  BS()->SignalEvent(E1);  // already pending: still one call
  EXPECT_TRUE(T.Calls.empty());
  BS()->RestoreTPL(Old);
  // Higher level first, each once, at its own TPL.
  EXPECT_EQ(T.Calls, (std::vector<std::string>{"notify", "callback"}));
  EXPECT_EQ(T.TplSeen, TPL_CALLBACK);

  // At TPL_APPLICATION the notify runs at once.
  T.Calls.clear();
  BS()->SignalEvent(E1);
  EXPECT_EQ(T.Calls, (std::vector<std::string>{"callback"}));
  BS()->CloseEvent(E1);
  BS()->CloseEvent(E2);
  EXPECT_EQ(BS()->SignalEvent(E1), EFI_INVALID_PARAMETER);  // closed events never fire again
  EXPECT_TRUE(M().Misuse().empty());
}

TEST_F(EventTest, CreateEventRejectsBadTypesAndLevels) {
  EFI_EVENT E;
  Trace T;
  Tagged Tag{&T, "x"};
  EXPECT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, nullptr, nullptr, &E), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_APPLICATION, Record, &Tag, &E), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_HIGH_LEVEL, Record, &Tag, &E), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL | EVT_NOTIFY_WAIT, TPL_CALLBACK, Record, &Tag, &E),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->CreateEvent(0x00000400, TPL_CALLBACK, Record, &Tag, &E), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Record, &Tag, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(M().Events().OpenEventCount(), 0u);
}

TEST_F(EventTest, SignallingOneMemberSignalsTheGroup) {
  Trace T;
  Tagged A{&T, "a"}, B{&T, "b"}, Outside{&T, "outside"};
  EFI_EVENT Ea, Eb, Eo;
  ASSERT_EQ(BS()->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Record, &A, &EFI_EVENT_GROUP_READY_TO_BOOT, &Ea),
            EFI_SUCCESS);
  ASSERT_EQ(BS()->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Record, &B, &EFI_EVENT_GROUP_READY_TO_BOOT, &Eb),
            EFI_SUCCESS);
  ASSERT_EQ(BS()->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Record, &Outside, nullptr, &Eo), EFI_SUCCESS);
  BS()->SignalEvent(Eb);
  EXPECT_EQ(T.Calls, (std::vector<std::string>{"a", "b"}));
  T.Calls.clear();
  M().SignalReadyToBoot();
  EXPECT_EQ(T.Calls, (std::vector<std::string>{"a", "b"}));
  for (EFI_EVENT E : {Ea, Eb, Eo}) BS()->CloseEvent(E);
}

struct SelfClose {
  int Calls = 0;
};
VOID EFIAPI CloseMyself(EFI_EVENT Event, VOID* Context) {
  ++((SelfClose*)Context)->Calls;
  Machine::Current()->BootServices()->CloseEvent(Event);
}

TEST_F(EventTest, AnEventMayCloseItselfInItsNotify) {
  SelfClose S;
  EFI_EVENT E;
  ASSERT_EQ(BS()->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CloseMyself, &S, &EFI_EVENT_GROUP_READY_TO_BOOT, &E),
            EFI_SUCCESS);
  M().SignalReadyToBoot();
  M().SignalReadyToBoot();
  EXPECT_EQ(S.Calls, 1);
  EXPECT_FALSE(M().Events().IsEvent(E));
}

TEST_F(EventTest, TimersFollowSimulatedTime) {
  Trace T;
  Tagged Tag{&T, "tick"};
  EFI_EVENT Periodic, Plain;
  ASSERT_EQ(BS()->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Record, &Tag, &Periodic), EFI_SUCCESS);
  ASSERT_EQ(BS()->CreateEvent(EVT_TIMER, 0, nullptr, nullptr, &Plain), EFI_SUCCESS);
  ASSERT_EQ(BS()->SetTimer(Periodic, TimerPeriodic, 10000), EFI_SUCCESS);  // 1 ms
  ASSERT_EQ(BS()->SetTimer(Plain, TimerRelative, 25000), EFI_SUCCESS);     // 2.5 ms
  EXPECT_EQ(BS()->CheckEvent(Plain), EFI_NOT_READY);
  BS()->Stall(2400);  // 2.4 ms
  EXPECT_EQ(T.Calls.size(), 2u);
  EXPECT_EQ(BS()->CheckEvent(Plain), EFI_NOT_READY);
  BS()->Stall(100);
  EXPECT_EQ(BS()->CheckEvent(Plain), EFI_SUCCESS);
  EXPECT_EQ(BS()->CheckEvent(Plain), EFI_NOT_READY);  // checking clears the signal
  EXPECT_EQ(BS()->CheckEvent(Periodic), EFI_INVALID_PARAMETER);

  // WaitForEvent lets time run to the timer.
  ASSERT_EQ(BS()->SetTimer(Plain, TimerRelative, 5000000), EFI_SUCCESS);  // 0.5 s
  UINTN Index = 9;
  ASSERT_EQ(BS()->SetTimer(Periodic, TimerCancel, 0), EFI_SUCCESS);
  EXPECT_EQ(BS()->WaitForEvent(1, &Plain, &Index), EFI_SUCCESS);
  EXPECT_EQ(Index, 0u);
  EXPECT_EQ(M().Events().Now(), 25000u + 5000000u);
  EXPECT_EQ(BS()->SetTimer(Plain, TimerRelative, 0), EFI_SUCCESS);
  BS()->CloseEvent(Periodic);
  BS()->CloseEvent(Plain);
}

TEST_F(EventTest, TplMisuseIsReported) {
  EFI_TPL Old = BS()->RaiseTPL(TPL_NOTIFY);
  BS()->RaiseTPL(TPL_CALLBACK);  // lower than current: a bug in the caller
  BS()->RestoreTPL(Old);
  ASSERT_EQ(M().Misuse().size(), 1u);
  EXPECT_NE(M().Misuse()[0].find("RaiseTPL"), std::string::npos);
  M().ClearMisuse();
}

}  // namespace
}  // namespace sim
