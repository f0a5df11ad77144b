// The broker thread and the thread broker on real threads; the test
// program's main thread is the framework's main thread.
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Filer.h"
#include "kit/Threads.h"
#include "threads_support.h"

using namespace ThreadsTest;
using Fw::MakeEvent;
using Fw::TObject;
using Kit::TBrokerThread;
using Kit::TThreadBroker;

namespace {

bool OnMain() { return GetCurrentThreadId() == Fw::MainThreadID; }

// Makes the broker's worker end after the run in progress (or the next one),
// without the broker replacing it, and waits until it has: what the run left
// behind (Enabled, a start for another run) can then be looked at.
bool EndAfterRun(TThreadBroker& broker, HANDLE releaseGate = nullptr) {
    broker.Thread()->OnTerminate = nullptr;
    broker.Thread()->Loop = false;
    if (releaseGate) SetEvent(releaseGate);
    return WaitServing(broker.Thread()->Handle());
}

bool RunAndEnd(TThreadBroker& broker) {
    broker.Thread()->OnTerminate = nullptr;
    broker.Thread()->Loop = false;
    broker.SetEnabled(true);
    return WaitServing(broker.Thread()->Handle());
}

// OnExecute: runs Body, signals Entered and, when gated, waits for Gate.
struct TWork {
    HANDLE Entered = NewEvent(), Gate = NewEvent();
    bool Gated = true;
    std::atomic<int> Runs{0};
    std::atomic<DWORD> WorkerId{0};
    std::atomic<bool> SawTerminated{false}, EnabledDuringRun{false};
    TObject* Sender = nullptr;
    TBrokerThread* Thread = nullptr;
    std::function<void()> Body;

    ~TWork() {
        CloseHandle(Entered);
        CloseHandle(Gate);
    }
    void Execute(TObject* sender, TBrokerThread* thread) {
        ++Runs;
        WorkerId = GetCurrentThreadId();
        Sender = sender;
        Thread = thread;
        EnabledDuringRun = static_cast<TThreadBroker*>(sender)->Enabled();
        if (Body) Body();
        SetEvent(Entered);
        if (Gated) WaitForSingleObject(Gate, INFINITE);
        SawTerminated = thread->Terminated();
    }
    Kit::TBrokerExecuteEvent Bind() { return MakeEvent<&TWork::Execute>(this); }
};

}  // namespace

TEST(BrokerThread, StartsBeforeTheWorkerWakesMakeOneRunAndStartsDuringARunOneMore) {
    TDeadlockGuard guard;
    struct TCounter {
        TBrokerThread* Thread = nullptr;
        HANDLE Entered = NewEvent(), Gate = NewEvent();
        std::atomic<int> Runs{0}, FoundAnotherStart{0};
        TObject* Sender = nullptr;
        void Work(TObject* sender) {
            Sender = sender;
            ++Runs;
            if (IsSignalled(Thread->WakeEvent())) ++FoundAnotherStart;
            SetEvent(Entered);
            WaitForSingleObject(Gate, INFINITE);
        }
    } work;
    {
        TBrokerThread thread(MakeEvent<&TCounter::Work>(&work));
        work.Thread = &thread;
        thread.Suspend();  // the worker cannot wake until resumed
        thread.Start();
        thread.Start();
        thread.Resume();
        ASSERT_TRUE(WaitServing(work.Entered));
        thread.Start();  // two during the run
        thread.Start();
        SetEvent(work.Gate);
        ASSERT_TRUE(WaitServing(work.Entered));
        SetEvent(work.Gate);
        EXPECT_EQ(work.Sender, &thread);
    }  // joins the sleeping worker
    EXPECT_EQ(work.Runs, 2);
    EXPECT_EQ(work.FoundAnotherStart, 0) << "a run found a further start already waiting";
    CloseHandle(work.Entered);
    CloseHandle(work.Gate);
}

TEST(ThreadBroker, RunIsFramedOnTheMainThreadAndEndsWithEnabledFalse) {
    TDeadlockGuard guard;
    std::string order;
    TNotifyLog start, end;
    start.Then = [&] { order += "start "; };
    end.Then = [&] { order += "end"; };
    TWork work;
    work.Gated = false;
    work.Body = [&] { order += OnMain() ? "execute-on-main " : "execute "; };
    TThreadBroker broker(nullptr);
    broker.OnStart = start.Bind();
    broker.OnExecute = work.Bind();
    broker.OnEnd = end.Bind();
    TBrokerThread* thread = broker.Thread();
    ASSERT_TRUE(RunAndEnd(broker));
    EXPECT_EQ(order, "start execute end");
    EXPECT_EQ(start.ThreadId, Fw::MainThreadID);
    EXPECT_EQ(end.ThreadId, Fw::MainThreadID);
    EXPECT_EQ(start.Sender, &broker);
    EXPECT_EQ(work.Sender, &broker);
    EXPECT_EQ(work.Thread, thread);
    EXPECT_FALSE(broker.Enabled());

    TThreadBroker bare(nullptr);  // no events at all: the run still ends
    ASSERT_TRUE(RunAndEnd(bare));
    EXPECT_FALSE(bare.Enabled());
}

TEST(ThreadBroker, SpinExecuteRunsUntilClearedAndThenRequestsNoFurtherRun) {
    TDeadlockGuard guard;
    TWork work;
    TThreadBroker broker(nullptr);
    broker.OnExecute = work.Bind();
    broker.SetSpinExecute(true);
    broker.SetEnabled(true);
    for (int run = 1; run <= 5; ++run) {
        ASSERT_TRUE(WaitServing(work.Entered)) << "run " << run;
        if (run < 5) SetEvent(work.Gate);
    }
    broker.SetSpinExecute(false);
    ASSERT_TRUE(EndAfterRun(broker, work.Gate));
    EXPECT_EQ(work.Runs, 5);
    EXPECT_FALSE(IsSignalled(broker.Thread()->WakeEvent())) << "the last run started another";
    EXPECT_FALSE(broker.Enabled());
}

TEST(ThreadBroker, CancellingASpinningBrokerReplacesItsWorkerWhichSpinsOnAtDefaultPriority) {
    TDeadlockGuard guard;
    TWork work;
    TNotifyLog terminated;
    TThreadBroker broker(nullptr);
    broker.OnExecute = work.Bind();
    broker.OnTerminate = terminated.Bind();
    broker.SetPriority(Kit::tpLower);
    EXPECT_EQ(GetThreadPriority(broker.Thread()->Handle()), THREAD_PRIORITY_BELOW_NORMAL);
    broker.SetSpinExecute(true);
    broker.SetEnabled(true);

    ASSERT_TRUE(WaitServing(work.Entered));
    const DWORD first = work.WorkerId;
    broker.SetEnabled(false);  // during the first run, while Enabled is still true
    SetEvent(work.Gate);
    ASSERT_TRUE(WaitServing(terminated.Event));
    EXPECT_TRUE(work.SawTerminated) << "OnExecute could not see the cancellation";
    EXPECT_EQ(terminated.ThreadId, Fw::MainThreadID);
    EXPECT_EQ(terminated.Sender, &broker);
    EXPECT_EQ(broker.GetPriority(), Kit::tpNormal);

    ASSERT_TRUE(WaitServing(work.Entered)) << "the replacement did not spin on";
    EXPECT_NE(work.WorkerId, first);
    EXPECT_EQ(broker.Thread()->ThreadID(), work.WorkerId);
    broker.SetSpinExecute(false);
    ASSERT_TRUE(EndAfterRun(broker, work.Gate));
    EXPECT_EQ(terminated.Calls, 1);
}

TEST(ThreadBroker, EnablingAgainBeforeTheCancelledWorkerHasEndedRunsOnItsReplacement) {
    TDeadlockGuard guard;
    TWork work;
    TNotifyLog terminated;
    TThreadBroker broker(nullptr);
    broker.OnExecute = work.Bind();
    broker.OnTerminate = terminated.Bind();
    broker.SetEnabled(true);
    ASSERT_TRUE(WaitServing(work.Entered));
    broker.SetEnabled(false);
    broker.SetEnabled(true);
    SetEvent(work.Gate);
    ASSERT_TRUE(WaitServing(terminated.Event));
    ASSERT_TRUE(WaitServing(work.Entered)) << "the request made during the cancellation was lost";
    EXPECT_TRUE(work.EnabledDuringRun);
    ASSERT_TRUE(EndAfterRun(broker, work.Gate));
    EXPECT_EQ(work.Runs, 2);
}

TEST(ThreadBroker, FailedRunsAreReportedWhereTheyBelongAndTheWorkerSurvives) {
    TDeadlockGuard guard;
    TAppErrors appErrors;
    struct TReports {
        int Calls = 0;
        std::string Message;
        TBrokerThread* Thread = nullptr;
        bool OnMain = true, EnabledAtReport = true, Rethrow = false;
        void Handle(TObject* sender, TBrokerThread* thread, Fw::Exception* e) {
            ++Calls;
            Message = e->Message();
            Thread = thread;
            OnMain = ::OnMain();
            EnabledAtReport = static_cast<TThreadBroker*>(sender)->Enabled();
            if (Rethrow) throw Fw::EConvertError("再送出");
        }
    };
    {  // OnExecute raises: OnException on the worker, after Enabled went false.
        TReports reports;
        TWork work;
        work.Body = [] { throw Fw::EListError("範囲外"); };
        TThreadBroker broker(nullptr);
        broker.OnExecute = work.Bind();
        broker.OnException = MakeEvent<&TReports::Handle>(&reports);
        TBrokerThread* thread = broker.Thread();
        ASSERT_TRUE(RunAndEnd(broker));
        EXPECT_EQ(reports.Calls, 1);
        EXPECT_EQ(reports.Message, "範囲外");
        EXPECT_EQ(reports.Thread, thread);
        EXPECT_FALSE(reports.OnMain);
        EXPECT_FALSE(reports.EnabledAtReport);
    }
    // No OnException: an Exception is dropped, anything else gets the box.
    for (bool family : {true, false}) {
        SCOPED_TRACE(family ? "Exception" : "other");
        std::unique_ptr<TMessageBoxAnswerer> answerer;
        TWork work;
        work.Body = [&] {
            answerer = std::make_unique<TMessageBoxAnswerer>();  // on the worker, where the box appears
            if (family) throw Fw::Exception("黙殺");
            throw std::runtime_error("other");
        };
        TThreadBroker broker(nullptr);
        broker.OnExecute = work.Bind();
        ASSERT_TRUE(RunAndEnd(broker));
        ASSERT_TRUE(answerer);
        EXPECT_EQ(answerer->Shown, family ? 0 : 1);
        if (!family) {
            EXPECT_EQ(answerer->Caption, "TThreadBroker");
            EXPECT_EQ(answerer->Text, "イベントハンドラの内部で未知の例外が発生しました.");
            EXPECT_EQ(answerer->Buttons, 1);
        }
    }
    {  // OnException itself raises: reported by the application, worker lives on.
        TReports reports;
        reports.Rethrow = true;
        TWork work;
        work.Gated = false;
        work.Body = [&] {
            if (work.Runs == 1) throw Fw::Exception("一回目");
        };
        TThreadBroker broker(nullptr);
        broker.OnExecute = work.Bind();
        broker.OnException = MakeEvent<&TReports::Handle>(&reports);
        broker.SetEnabled(true);
        ASSERT_TRUE(WaitServing(appErrors.Event));
        EXPECT_EQ(appErrors.Message, "再送出");
        EXPECT_EQ(appErrors.ThreadId, Fw::MainThreadID);
        EXPECT_EQ(appErrors.Sender, &broker);
        broker.SetEnabled(true);
        ASSERT_TRUE(WaitServing(work.Entered)) << "the worker did not survive";
    }
}

TEST(ThreadBroker, ExceptionsFromOnTerminateAreShownAndTheWorkerIsStillReplaced) {
    TDeadlockGuard guard;
    for (bool family : {true, false}) {
        SCOPED_TRACE(family ? "Exception" : "other");
        TAppErrors appErrors;
        TMessageBoxAnswerer answerer;  // the main thread's boxes
        TNotifyLog ended;
        ended.Then = [family] {
            if (family) throw Fw::Exception("終了処理の失敗");
            throw 42;
        };
        TWork work;
        TThreadBroker broker(nullptr);
        broker.OnExecute = work.Bind();
        broker.OnTerminate = ended.Bind();
        broker.SetEnabled(true);
        ASSERT_TRUE(WaitServing(work.Entered));
        broker.SetEnabled(false);
        SetEvent(work.Gate);
        ASSERT_TRUE(WaitThreadEnd(broker.Thread()->Handle()));  // once the end handler has returned
        EXPECT_EQ(appErrors.Count, family ? 1 : 0);
        EXPECT_EQ(answerer.Shown, family ? 0 : 1);
        EXPECT_EQ(family ? appErrors.Message : answerer.Text,
                  family ? "終了処理の失敗" : "イベントハンドラの内部で未知のエラーが発生しました.");
        broker.SetEnabled(true);
        ASSERT_TRUE(WaitServing(work.Entered)) << "no working replacement";
        ASSERT_TRUE(EndAfterRun(broker, work.Gate));
    }
}

namespace {

// A form that holds a broker and handles its events by published method.
class TBrokerHost : public Fw::TComponent {
public:
    FW_CLASS(TBrokerHost, Fw::TComponent)
    explicit TBrokerHost(Fw::TComponent* owner) : Fw::TComponent(owner) {}
    ~TBrokerHost() override { CloseHandle(Ran); }
    TThreadBroker* Broker1 = nullptr;
    HANDLE Ran = NewEvent(true);
    void Broker1Execute(TObject*, TBrokerThread*) { SetEvent(Ran); }
};

}  // namespace

FW_PUBLISH(TBrokerHost)
    .Method<&TBrokerHost::Broker1Execute>("Broker1Execute")
    .Field("Broker1", &TBrokerHost::Broker1)
FW_END_PUBLISH

TEST(ThreadBroker, IsStreamedWithItsFormAndAStoredEnabledStartsARunOnceLoaded) {
    TDeadlockGuard guard;
    EXPECT_EQ(PropNames(TThreadBroker::StaticClass()),
              "Enabled Priority SpinExecute OnStart OnExecute OnEnd OnTerminate OnException");
    Fw::AnsiString text;
    {
        TBrokerHost source(nullptr);
        source.SetName("Host");
        auto* broker = new TThreadBroker(&source);
        broker->SetName("Broker1");
        source.SetDesigning(true);  // Enabled is only recorded
        broker->Thread()->Suspend();
        broker->SetEnabled(true);
        EXPECT_FALSE(IsSignalled(broker->Thread()->WakeEvent())) << "a run was started in design mode";
        broker->Thread()->Resume();
        broker->SetPriority(Kit::tpHigher);
        broker->OnExecute = MakeEvent<&TBrokerHost::Broker1Execute>(&source);
        text = Fw::ComponentToText(&source);
    }
    size_t at = 0;
    for (const char* line : {"Enabled = True", "Priority = tpHigher", "OnExecute = Broker1Execute"}) {
        at = text.find(line, at);
        ASSERT_NE(at, Fw::AnsiString::npos) << line << " missing or out of order in\n" << text;
    }
    TBrokerHost copy(nullptr);
    Fw::ComponentFromText(text, &copy);
    ASSERT_NE(copy.Broker1, nullptr);
    EXPECT_EQ(copy.Broker1->GetPriority(), Kit::tpHigher);
    EXPECT_TRUE(WaitServing(copy.Ran)) << "the stored Enabled did not start a run";
}

TEST(ThreadBroker, DestroyingNeverDeadlocksWhateverTheWorkerIsWaitingFor) {
    TDeadlockGuard guard;
    {  // The worker is blocked in OnEnd's synchronised call: the destructor serves it.
        TNotifyLog ended;
        auto broker = std::make_unique<TThreadBroker>(nullptr);
        broker->OnEnd = ended.Bind();
        broker->SetEnabled(true);
        ASSERT_EQ(WaitForSingleObject(Fw::SyncEvent(), kGenerous), WAIT_OBJECT_0);
        broker.reset();
        EXPECT_EQ(ended.Calls, 1);
    }
    {  // Freed from inside its own OnStart: the worker is let go and ends by itself.
        TNotifyLog started;
        TWork work;
        auto* broker = new TThreadBroker(nullptr);
        started.Then = [&] { delete broker; };
        broker->OnStart = started.Bind();
        broker->OnExecute = work.Bind();
        broker->SetEnabled(true);
        EXPECT_TRUE(WaitThreadEnd(broker->Thread()->Handle())) << "the let-go worker did not end";
        EXPECT_EQ(work.Runs, 0);
    }
}
