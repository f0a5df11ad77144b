// The event alerter on real events and mutexes.
#include <memory>
#include <string>

#include "framework/Filer.h"
#include "kit/Threads.h"
#include "threads_support.h"

using namespace ThreadsTest;
using Fw::MakeEvent;
using Fw::TObject;
using Kit::HandleValue;
using Kit::TEventAlerter;

namespace {

// Records the alerter's reports; OnSignal answers Reset with ResetIt.
struct TReports {
    HANDLE Event = NewEvent();
    int Signals = 0, Abandons = 0;
    HANDLE Handle = nullptr;
    TObject* Object = nullptr;
    DWORD ThreadId = 0;
    bool ResetIn = false, ResetIt = true;
    std::function<void()> Then;

    ~TReports() { CloseHandle(Event); }
    void Record(TObject* sender) {
        Handle = static_cast<TEventAlerter*>(sender)->SignaledHandle();
        Object = static_cast<TEventAlerter*>(sender)->SignaledObject();
        ThreadId = GetCurrentThreadId();
        SetEvent(Event);
        if (Then) Then();
    }
    void Signal(TObject* sender, bool& reset) {
        ++Signals;
        ResetIn = reset;
        reset = ResetIt;
        Record(sender);
    }
    void Abandon(TObject* sender) {
        ++Abandons;
        Record(sender);
    }
    void Attach(TEventAlerter& alerter) {
        alerter.OnSignal = MakeEvent<&TReports::Signal>(this);
        alerter.OnAbandone = MakeEvent<&TReports::Abandon>(this);
    }
};

void Rearm(TEventAlerter& alerter) {
    alerter.SetEnabled(false);
    alerter.SetEnabled(true);
}

}  // namespace

TEST(EventAlerter, EachEnablingReportsOneSignalledHandleTheLowestAndResetsItUnlessAsked) {
    TDeadlockGuard guard;
    TReports reports;
    TEventAlerter alerter(nullptr);
    reports.Attach(alerter);
    EXPECT_EQ(alerter.GetEvent()->GetItem(0), HandleValue(alerter.StopEvent()));

    // With only its own stop event it waits, reporting nothing, until disabled.
    alerter.SetEnabled(true);
    alerter.SetEnabled(false);

    HANDLE first = NewEvent(true, true), second = NewEvent(true, true);
    TObject one, two;
    alerter.GetEvent()->AddObject(HandleValue(first), &one);
    alerter.GetEvent()->AddObject(HandleValue(second), &two);
    alerter.SetEnabled(true);
    ASSERT_TRUE(WaitServing(reports.Event));
    EXPECT_EQ(reports.Handle, first) << "not the lower index of two signalled together";
    EXPECT_EQ(reports.Object, &one);
    EXPECT_EQ(reports.ThreadId, Fw::MainThreadID);
    EXPECT_TRUE(reports.ResetIn);
    EXPECT_TRUE(alerter.Enabled());
    EXPECT_FALSE(IsSignalled(first)) << "Reset left true should reset the event";

    // Disabling with nothing waiting changes nothing for the next enabling.
    alerter.SetEnabled(false);
    reports.ResetIt = false;
    alerter.SetEnabled(true);
    ASSERT_TRUE(WaitServing(reports.Event));
    EXPECT_EQ(reports.Handle, second);
    EXPECT_TRUE(IsSignalled(second)) << "Reset set false should leave the event signalled";
    Rearm(alerter);
    ASSERT_TRUE(WaitServing(reports.Event));
    EXPECT_EQ(reports.Handle, second);

    // A manual-reset event signalled while the alerter waits.
    ResetEvent(second);
    reports.ResetIt = true;
    Rearm(alerter);
    SetEvent(second);
    ASSERT_TRUE(WaitServing(reports.Event));
    EXPECT_EQ(reports.Handle, second);
    EXPECT_FALSE(IsSignalled(second));
    EXPECT_EQ(reports.Signals, 4);
    alerter.SetEnabled(false);
    CloseHandle(first);
    CloseHandle(second);
}

TEST(EventAlerter, AnAbandonedMutexIsReportedOnceLeavesTheListAndIsNotKeptLocked) {
    TDeadlockGuard guard;
    TReports reports;
    TEventAlerter alerter(nullptr);
    reports.Attach(alerter);
    HANDLE idle = NewEvent(true), mutex = AbandonedMutex();
    alerter.GetEvent()->Add(HandleValue(idle));
    alerter.GetEvent()->Add(HandleValue(mutex));
    alerter.SetEnabled(true);
    ASSERT_TRUE(WaitServing(reports.Event));
    EXPECT_EQ(reports.Abandons, 1);
    EXPECT_EQ(reports.Signals, 0);
    EXPECT_EQ(reports.Handle, mutex);
    EXPECT_EQ(alerter.GetEvent()->IndexOf(HandleValue(mutex)), -1);
    EXPECT_EQ(alerter.GetEvent()->GetItemCount(), 2);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "the worker kept the mutex";
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    CloseHandle(idle);
}

TEST(EventAlerter, ADisableBeforeTheWorkerBeganItsWaitEndsThatWait) {
    TDeadlockGuard guard;
    TReports reports;
    TEventAlerter alerter(nullptr);
    reports.Attach(alerter);
    HANDLE once = NewEvent(false);  // auto-reset: a wait that ends on it consumes it
    alerter.GetEvent()->Add(HandleValue(once));
    alerter.Thread()->Suspend();  // the worker cannot begin before the disable
    alerter.SetEnabled(true);
    alerter.SetEnabled(false);
    SetEvent(once);
    alerter.Thread()->Loop = false;  // ends after this run, so the run can be seen over
    alerter.Thread()->Resume();
    ASSERT_TRUE(WaitServing(alerter.Thread()->Handle()));
    Drain();
    EXPECT_EQ(reports.Signals, 0);
    EXPECT_TRUE(IsSignalled(once)) << "the cancelled wait went ahead and took the signal";
    CloseHandle(once);
}

namespace {

class TAlerterHost : public Fw::TComponent {
public:
    FW_CLASS(TAlerterHost, Fw::TComponent)
    explicit TAlerterHost(Fw::TComponent* owner) : Fw::TComponent(owner) {}
    TEventAlerter* Alerter1 = nullptr;
    TReports Reports;
    void Alerter1Signal(TObject* sender, bool& reset) { Reports.Signal(sender, reset); }
};

}  // namespace

FW_PUBLISH(TAlerterHost)
    .Method<&TAlerterHost::Alerter1Signal>("Alerter1Signal")
    .Field("Alerter1", &TAlerterHost::Alerter1)
FW_END_PUBLISH

TEST(EventAlerter, IsInertInDesignModeAndStreamedWithItsForm) {
    TDeadlockGuard guard;
    EXPECT_EQ(PropNames(TEventAlerter::StaticClass()), "Enabled OnSignal OnAbandone");
    Fw::AnsiString text;
    {
        TAlerterHost source(nullptr);
        source.SetName("Host");
        source.SetDesigning(true);
        auto* alerter = new TEventAlerter(&source);
        alerter->SetName("Alerter1");
        EXPECT_EQ(alerter->GetEvent(), nullptr);
        EXPECT_EQ(alerter->Thread(), nullptr);
        alerter->SetEnabled(true);
        alerter->OnSignal = MakeEvent<&TAlerterHost::Alerter1Signal>(&source);
        text = Fw::ComponentToText(&source);
    }
    EXPECT_NE(text.find("Enabled = True"), Fw::AnsiString::npos) << text;
    EXPECT_NE(text.find("OnSignal = Alerter1Signal"), Fw::AnsiString::npos) << text;

    TAlerterHost copy(nullptr);
    Fw::ComponentFromText(text, &copy);
    ASSERT_NE(copy.Alerter1, nullptr);
    EXPECT_TRUE(copy.Alerter1->Enabled());
    HANDLE ready = NewEvent(true, true);
    copy.Alerter1->GetEvent()->Add(HandleValue(ready));
    Rearm(*copy.Alerter1);  // the wait begun while loading did not have it
    ASSERT_TRUE(WaitServing(copy.Reports.Event));
    EXPECT_EQ(copy.Reports.Handle, ready);
    copy.Alerter1->SetEnabled(false);
    CloseHandle(ready);
}

TEST(EventAlerter, DestroyingItWhileItsWorkerWaitsOrSynchronisesNeverDeadlocksNorLeaks) {
    TDeadlockGuard guard;
    HANDLE ready = NewEvent(true, true);
    TEventAlerter(nullptr).SetEnabled(true);  // what the framework keeps once per process
    const unsigned long before = OpenHandleCount();
    for (int i = 0; i < 50; ++i) {
        TEventAlerter(nullptr).SetEnabled(true);  // blocked in the wait, or about to be
        {  // Blocked in Synchronize with a report not yet delivered: dropped.
            TReports reports;
            auto alerter = std::make_unique<TEventAlerter>(nullptr);
            reports.Attach(*alerter);
            alerter->GetEvent()->Add(HandleValue(ready));
            alerter->SetEnabled(true);
            ASSERT_EQ(WaitForSingleObject(Fw::SyncEvent(), kGenerous), WAIT_OBJECT_0);
            alerter.reset();
            ASSERT_EQ(reports.Signals, 0);
        }
        {  // Freed by its own OnSignal: the worker is let go and ends by itself.
            TReports reports;
            reports.ResetIt = false;
            auto* alerter = new TEventAlerter(nullptr);
            reports.Attach(*alerter);
            alerter->GetEvent()->Add(HandleValue(ready));
            reports.Then = [&] { delete alerter; };
            alerter->SetEnabled(true);
            ASSERT_TRUE(WaitThreadEnd(alerter->Thread()->Handle())) << "the let-go worker did not end";
            ASSERT_EQ(reports.Signals, 1);
        }
    }
    EXPECT_EQ(OpenHandleCount(), before);
    CloseHandle(ready);
}
