// TThread and the main thread's synchronised-call queue, on real threads.
// The test program's main thread is the framework's main thread.
#include "framework/Thread.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ThreadChecks.h"

using namespace Fw;

namespace {

const DWORD kGenerous = 30000;  // ms; a wait that expires means a fault, never a slow machine

using TestSupport::TDeadlockGuard;

// A method to hand to Synchronize: runs a function object.
struct TCall {
    std::function<void()> Fn;
    void Run() { Fn(); }
    TThreadMethod Method() { return MakeEvent<&TCall::Run>(this); }
};

// A thread whose body is given by the test. Created suspended so that the
// body is in place before it runs; resumed by the test.
class TTestThread : public TThread {
public:
    using Body = std::function<void(TTestThread&)>;

    explicit TTestThread(Body body) : TThread(true), FBody(std::move(body)) {}
    ~TTestThread() override {
        // The body belongs to this class: the thread is stopped before it
        // goes (a thread never started has nothing to wait for).
        Terminate();
        WaitFor();
        if (FDestroyed) *FDestroyed += 1;
        if (FDestroyedEvent) SetEvent(FDestroyedEvent);
    }

    using TThread::SetReturnValue;
    using TThread::Synchronize;

    // Observes the destructor, which may run on any thread.
    void ObserveDestruction(std::atomic<int>* count, HANDLE event) {
        FDestroyed = count;
        FDestroyedEvent = event;
    }

protected:
    void Execute() override { FBody(*this); }

private:
    Body FBody;
    std::atomic<int>* FDestroyed = nullptr;
    HANDLE FDestroyedEvent = nullptr;
};

// Waits for handle on the main thread while serving synchronised calls the way
// a message loop does: on SyncEvent, CheckSynchronize.
bool WaitServing(HANDLE handle, DWORD timeoutMs = kGenerous) {
    HANDLE handles[2] = {handle, SyncEvent()};
    while (true) {
        DWORD r = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        CheckSynchronize();
    }
}

HANDLE NewEvent(bool manualReset = true) { return CreateEventA(nullptr, manualReset, FALSE, nullptr); }

bool OnMainThread() { return GetCurrentThreadId() == MainThreadID; }

// Records OnTerminate calls; Sender is the thread.
struct TEndObserver {
    int Calls = 0;
    bool OnMain = false;
    TObject* Sender = nullptr;
    bool ExecuteHadReturned = false;
    bool FinishedDuringCall = true;
    std::atomic<bool>* ExecuteReturned = nullptr;
    std::function<void(TThread*)> Then;

    void Ended(TObject* sender) {
        ++Calls;
        OnMain = OnMainThread();
        Sender = sender;
        ExecuteHadReturned = ExecuteReturned && ExecuteReturned->load();
        auto* thread = static_cast<TThread*>(sender);
        FinishedDuringCall = thread->Finished();
        if (Then) Then(thread);
    }
    TNotifyEvent Event() { return MakeEvent<&TEndObserver::Ended>(this); }
};

}  // namespace

TEST(ThreadMainThread, TestProgramMainThreadIsTheFrameworksMainThread) {
    EXPECT_EQ(GetCurrentThreadId(), MainThreadID);
}

TEST(ThreadSynchronize, OnTheMainThreadRunsDirectlyWithoutQueueing) {
    CheckSynchronize();
    DWORD ranOn = 0;
    TCall call{[&] { ranOn = GetCurrentThreadId(); }};
    TThread::Synchronize(nullptr, call.Method());
    EXPECT_EQ(ranOn, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(SyncEvent(), 0), DWORD(WAIT_TIMEOUT)) << "nothing should have been queued";
    EXPECT_FALSE(CheckSynchronize());

    // And an exception there is simply the caller's.
    TCall raise{[] { throw EListError("範囲外です."); }};
    EXPECT_THROW(TThread::Synchronize(nullptr, raise.Method()), EListError);
}

TEST(ThreadSynchronize, FourWorkersThousandCallsEachRunOnMainThreadInOrder) {
    TDeadlockGuard guard;
    const int kWorkers = 4, kCalls = 1000;
    struct TLog {
        std::vector<int> Seen;  // main thread only
        int OffMain = 0;
        int Current = 0;        // written by the worker before each call
        TCall Call;
    };
    TLog logs[kWorkers];
    std::unique_ptr<TTestThread> threads[kWorkers];
    for (int w = 0; w < kWorkers; ++w) {
        TLog& log = logs[w];
        log.Call.Fn = [&log] {
            if (!OnMainThread()) ++log.OffMain;
            log.Seen.push_back(log.Current);
        };
        threads[w] = std::make_unique<TTestThread>([&log](TTestThread& t) {
            for (int i = 0; i < kCalls; ++i) {
                log.Current = i;
                t.Synchronize(log.Call.Method());
            }
        });
    }
    for (auto& t : threads) t->Resume();
    // Waiting for the first keeps serving all four.
    for (auto& t : threads) t->WaitFor();

    for (int w = 0; w < kWorkers; ++w) {
        SCOPED_TRACE("worker " + std::to_string(w));
        EXPECT_EQ(logs[w].OffMain, 0);
        ASSERT_EQ(logs[w].Seen.size(), static_cast<size_t>(kCalls));
        for (int i = 0; i < kCalls; ++i) ASSERT_EQ(logs[w].Seen[i], i) << "out of order at " << i;
        EXPECT_TRUE(threads[w]->Finished());
    }
}

TEST(ThreadSynchronize, ExceptionFromTheMethodIsRaisedAgainInTheWorker) {
    TDeadlockGuard guard;
    const char* const kText = "変換できません: 壁紙.bmp";
    struct TOutcome {
        bool ThrowersOnMain = true;
        bool FamilyCaughtAsItsOwnClass = false;
        std::string FamilyMessage;
        std::string StdMessage;
        int IntValue = 0;
        int AfterwardsRan = 0;
        bool MainStillFine = false;
    } out;
    TCall throwFamily{[&] {
        out.ThrowersOnMain &= OnMainThread();
        throw EConvertError(kText);
    }};
    TCall throwStd{[&] {
        out.ThrowersOnMain &= OnMainThread();
        throw std::runtime_error("not of the family");
    }};
    TCall throwInt{[&] {
        out.ThrowersOnMain &= OnMainThread();
        throw 42;
    }};
    TCall plain{[&] { ++out.AfterwardsRan; }};

    TTestThread thread([&](TTestThread& t) {
        try {
            t.Synchronize(throwFamily.Method());
        } catch (const EConvertError& e) {
            out.FamilyCaughtAsItsOwnClass = true;
            out.FamilyMessage = e.Message();
        }
        try {
            t.Synchronize(throwStd.Method());
        } catch (const Exception&) {
            out.StdMessage = "wrongly seen as a family member";
        } catch (const std::runtime_error& e) {
            out.StdMessage = e.what();
        }
        try {
            t.Synchronize(throwInt.Method());
        } catch (int v) {
            out.IntValue = v;
        }
        t.Synchronize(plain.Method());
    });
    thread.Resume();
    thread.WaitFor();
    out.MainStillFine = true;  // nothing escaped into the main thread

    EXPECT_TRUE(out.ThrowersOnMain);
    EXPECT_TRUE(out.FamilyCaughtAsItsOwnClass);
    EXPECT_EQ(out.FamilyMessage, kText);
    EXPECT_EQ(out.StdMessage, "not of the family");
    EXPECT_EQ(out.IntValue, 42);
    EXPECT_EQ(out.AfterwardsRan, 1);
    EXPECT_TRUE(out.MainStillFine);
    EXPECT_FALSE(thread.FatalException());
}

TEST(ThreadSynchronize, ThreadThatIsNotATThreadCanSynchronize) {
    TDeadlockGuard guard;
    struct TShared {
        TCall Call;
        TCall Raise;
        int Ran = 0;
        int OffMain = 0;
        bool CaughtAgain = false;
    } shared;
    shared.Call.Fn = [&] {
        ++shared.Ran;
        if (!OnMainThread()) ++shared.OffMain;
    };
    shared.Raise.Fn = [] { throw EWriteError("書き込めません."); };
    struct TBody {
        static DWORD WINAPI Run(void* p) {
            auto* s = static_cast<TShared*>(p);
            for (int i = 0; i < 25; ++i) TThread::Synchronize(nullptr, s->Call.Method());
            try {
                TThread::Synchronize(nullptr, s->Raise.Method());
            } catch (const EWriteError&) {
                s->CaughtAgain = true;
            }
            return 0;
        }
    };
    HANDLE raw = CreateThread(nullptr, 0, &TBody::Run, &shared, 0, nullptr);
    ASSERT_TRUE(raw);
    ASSERT_TRUE(WaitServing(raw)) << "the foreign thread did not finish";
    CloseHandle(raw);
    EXPECT_EQ(shared.Ran, 25);
    EXPECT_EQ(shared.OffMain, 0);
    EXPECT_TRUE(shared.CaughtAgain);
}

namespace {

// Stands in for the application: posts a message to the main thread's queue
// for every queued call, as it does to its hidden window.
struct TWaker {
    DWORD MainThread = 0;
    TObject* ExpectedSender = nullptr;
    std::atomic<int> Calls{0};
    std::atomic<int> WrongSender{0};
    void Wake(TObject* sender) {
        ++Calls;
        if (sender != ExpectedSender) ++WrongSender;
        PostThreadMessageA(MainThread, WM_APP + 7, 0, 0);
    }
};

// Signals an event when a watched thread's call has been queued.
struct TQueuedSignal {
    TObject* Threads[2] = {};
    HANDLE Queued[2] = {};
    void Watch(TObject* thread, int slot) {
        Threads[slot] = thread;
        Queued[slot] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void Wake(TObject* sender) {
        for (int i = 0; i < 2; ++i)
            if (Threads[i] && sender == Threads[i]) SetEvent(Queued[i]);
    }
    ~TQueuedSignal() {
        for (HANDLE h : Queued)
            if (h) CloseHandle(h);
    }
};

struct THookReset {
    ~THookReset() { WakeMainThread = TNotifyEvent(); }
};

}  // namespace

TEST(ThreadSynchronize, WakeMainThreadWakesAMessageLoopForEveryQueuedCall) {
    TDeadlockGuard guard;
    const int kCalls = 50;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread its message queue

    int ran = 0, offMain = 0;
    TCall call{[&] {
        ++ran;
        if (!OnMainThread()) ++offMain;
    }};
    TTestThread thread([&](TTestThread& t) {
        for (int i = 0; i < kCalls; ++i) t.Synchronize(call.Method());
    });

    TWaker waker;
    waker.MainThread = GetCurrentThreadId();
    waker.ExpectedSender = &thread;
    THookReset reset;
    WakeMainThread = MakeEvent<&TWaker::Wake>(&waker);

    thread.Resume();
    // A loop that knows nothing of SyncEvent: it sleeps until a message comes
    // and serves the queue when the wake-up message is there.
    HANDLE handle = thread.Handle();
    bool ended = false;
    while (!ended) {
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, kGenerous, QS_ALLPOSTMESSAGE);
        if (r == WAIT_OBJECT_0) {
            ended = true;
        } else if (r == WAIT_OBJECT_0 + 1) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                if (msg.message == WM_APP + 7) CheckSynchronize();
        } else {
            FAIL() << "the loop was not woken: MsgWaitForMultipleObjects returned " << r;
        }
    }
    WakeMainThread = TNotifyEvent();
    thread.WaitFor();
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }

    EXPECT_EQ(ran, kCalls);
    EXPECT_EQ(offMain, 0);
    EXPECT_EQ(waker.Calls.load(), kCalls);
    EXPECT_EQ(waker.WrongSender.load(), 0);
}

TEST(ThreadWaitFor, KeepsServingAndOnTerminateRunsOnceOnTheMainThreadAfterExecute) {
    TDeadlockGuard guard;
    std::atomic<bool> executeReturned{false};
    int ran = 0;
    TCall call{[&] { ++ran; }};
    TTestThread thread([&](TTestThread& t) {
        for (int i = 0; i < 200; ++i) t.Synchronize(call.Method());
        t.SetReturnValue(7);
        executeReturned = true;
    });
    TEndObserver end;
    end.ExecuteReturned = &executeReturned;
    thread.OnTerminate = end.Event();
    thread.Resume();

    EXPECT_EQ(thread.WaitFor(), 7u);
    EXPECT_EQ(ran, 200);
    EXPECT_EQ(end.Calls, 1);
    EXPECT_TRUE(end.OnMain);
    EXPECT_EQ(end.Sender, &thread);
    EXPECT_TRUE(end.ExecuteHadReturned);
    EXPECT_FALSE(end.FinishedDuringCall);
    EXPECT_TRUE(thread.Finished());
    // A second wait returns at once; the handler does not run again.
    EXPECT_EQ(thread.WaitFor(), 7u);
    EXPECT_EQ(end.Calls, 1);
}

TEST(ThreadWaitFor, FromAnotherWorkerIsAPlainWait) {
    TDeadlockGuard guard;
    int ran = 0;
    TCall call{[&] { ++ran; }};
    TTestThread producer([&](TTestThread& t) {
        for (int i = 0; i < 10; ++i) t.Synchronize(call.Method());
        t.SetReturnValue(77);
    });
    unsigned long seen = 0;
    TTestThread waiter([&](TTestThread&) { seen = producer.WaitFor(); });
    producer.Resume();
    waiter.Resume();
    waiter.WaitFor();  // the main thread serves the producer meanwhile
    EXPECT_EQ(seen, 77u);
    EXPECT_EQ(ran, 10);
}

TEST(ThreadWaitFor, WaitsThatCouldNeverEndRaiseEThread) {
    TDeadlockGuard guard;
    bool ownExecute = false, checkOffMain = false, insideOwnCall = false;
    TTestThread* self = nullptr;
    TCall waitForCaller{[&] {
        try {
            self->WaitFor();
        } catch (const EThread&) {
            insideOwnCall = true;
        }
    }};
    TTestThread thread([&](TTestThread& t) {
        try {
            t.WaitFor();
        } catch (const EThread&) {
            ownExecute = true;
        }
        try {
            CheckSynchronize();
        } catch (const EThread&) {
            checkOffMain = true;
        }
        t.Synchronize(waitForCaller.Method());
    });
    self = &thread;
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(ownExecute) << "WaitFor inside Execute";
    EXPECT_TRUE(checkOffMain) << "CheckSynchronize off the main thread";
    EXPECT_TRUE(insideOwnCall) << "WaitFor inside the thread's own synchronised call";
}

TEST(ThreadDestroy, WhileTheWorkerIsBlockedInSynchronizeReturnsAfterRunningTheCall) {
    TDeadlockGuard guard;
    CheckSynchronize();  // nothing left over from earlier tests
    struct TSeen {
        int Ran = 0;
        bool RanOnMain = false;
        bool TerminatedAfterCall = false;
        std::atomic<int> Destroyed{0};
    } seen;
    TCall mark{[&] {
        ++seen.Ran;
        seen.RanOnMain = OnMainThread();
    }};
    auto* thread = new TTestThread([&](TTestThread& t) {
        t.Synchronize(mark.Method());
        seen.TerminatedAfterCall = t.Terminated();
    });
    thread->ObserveDestruction(&seen.Destroyed, nullptr);
    thread->Resume();
    // Signalled once the call is queued: the worker is now blocked in it.
    ASSERT_EQ(WaitForSingleObject(SyncEvent(), kGenerous), WAIT_OBJECT_0);
    EXPECT_EQ(seen.Ran, 0);
    delete thread;
    EXPECT_EQ(seen.Destroyed.load(), 1);
    EXPECT_EQ(seen.Ran, 1);
    EXPECT_TRUE(seen.RanOnMain);
    EXPECT_TRUE(seen.TerminatedAfterCall) << "Terminate comes before the wait";
}

TEST(ThreadDestroy, InsideASynchronisedCallServesTheDestroyedThreadsCalls) {
    TDeadlockGuard guard;
    struct TSeen {
        bool KillRunning = false;
        bool PingDuringKill = false;
        bool PingOnMain = false;
        int Pings = 0;
    } seen;
    TCall ping{[&] {
        ++seen.Pings;
        seen.PingDuringKill = seen.KillRunning;
        seen.PingOnMain = OnMainThread();
    }};
    auto* second = new TTestThread([&](TTestThread& t) { t.Synchronize(ping.Method()); });
    TTestThread* secondAlias = second;
    TCall kill{[&] {
        seen.KillRunning = true;
        delete secondAlias;  // its call, queued behind this one, is served by this nested wait
        seen.KillRunning = false;
    }};
    TTestThread first([&](TTestThread& t) { t.Synchronize(kill.Method()); });

    // Both calls are queued, the killer's first, before the main thread
    // serves either.
    TQueuedSignal queued;
    queued.Watch(&first, 0);
    queued.Watch(second, 1);
    THookReset reset;
    WakeMainThread = MakeEvent<&TQueuedSignal::Wake>(&queued);
    first.Resume();
    ASSERT_EQ(WaitForSingleObject(queued.Queued[0], kGenerous), WAIT_OBJECT_0);
    second->Resume();
    ASSERT_EQ(WaitForSingleObject(queued.Queued[1], kGenerous), WAIT_OBJECT_0);
    WakeMainThread = TNotifyEvent();

    first.WaitFor();
    EXPECT_EQ(seen.Pings, 1);
    EXPECT_TRUE(seen.PingDuringKill);
    EXPECT_TRUE(seen.PingOnMain);
}

TEST(ThreadSynchronize, CallsQueuedWhileCheckSynchronizeRunsWaitForTheNextRound) {
    TDeadlockGuard guard;
    CheckSynchronize();
    int laterRan = 0;
    TCall later{[&] { ++laterRan; }};
    TTestThread latecomer([&](TTestThread& t) { t.Synchronize(later.Method()); });
    TQueuedSignal queued;
    queued.Watch(&latecomer, 0);
    THookReset reset;
    WakeMainThread = MakeEvent<&TQueuedSignal::Wake>(&queued);
    bool latecomerQueued = false;
    TCall first{[&] {
        latecomer.Resume();
        latecomerQueued = WaitForSingleObject(queued.Queued[0], kGenerous) == WAIT_OBJECT_0;
    }};
    TTestThread opener([&](TTestThread& t) { t.Synchronize(first.Method()); });
    opener.Resume();

    ASSERT_TRUE(CheckSynchronize(kGenerous)) << "the first call did not arrive";
    ASSERT_TRUE(latecomerQueued);
    WakeMainThread = TNotifyEvent();
    EXPECT_EQ(laterRan, 0);
    EXPECT_EQ(WaitForSingleObject(SyncEvent(), 0), WAIT_OBJECT_0) << "the waiting call must keep SyncEvent set";
    EXPECT_TRUE(CheckSynchronize());
    EXPECT_EQ(laterRan, 1);
    EXPECT_EQ(WaitForSingleObject(SyncEvent(), 0), DWORD(WAIT_TIMEOUT)) << "an empty queue resets SyncEvent";
    opener.WaitFor();
    latecomer.WaitFor();
}

namespace {

struct TWindowLog {
    int Sent = 0;
    bool SentOnMain = false;
    int Posted = 0;
};
TWindowLog* WindowLog = nullptr;

LRESULT CALLBACK LogWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP + 3) {
        ++WindowLog->Sent;
        WindowLog->SentOnMain = OnMainThread();
        return 99;
    }
    if (msg == WM_APP + 4) {
        ++WindowLog->Posted;
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

TEST(ThreadWaitFor, ServesMessagesSentToTheMainThreadsWindowsButLeavesPostedOnes) {
    TDeadlockGuard guard;
    TWindowLog log;
    WindowLog = &log;
    WNDCLASSA cls{};
    cls.lpfnWndProc = &LogWindowProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "FwThreadTestWindow";
    RegisterClassA(&cls);
    HWND wnd = CreateWindowA("FwThreadTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             cls.hInstance, nullptr);
    ASSERT_TRUE(wnd);
    PostMessageA(wnd, WM_APP + 4, 0, 0);

    LRESULT answer = 0;
    TTestThread sender([&](TTestThread&) { answer = SendMessageA(wnd, WM_APP + 3, 0, 0); });
    sender.Resume();
    sender.WaitFor();
    EXPECT_EQ(answer, 99);
    EXPECT_EQ(log.Sent, 1);
    EXPECT_TRUE(log.SentOnMain);
    EXPECT_EQ(log.Posted, 0) << "WaitFor must not dispatch posted messages";

    MSG msg;
    int posted = 0;
    while (PeekMessageA(&msg, wnd, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_APP + 4) ++posted;
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(posted, 1) << "the posted message must still be queued";
    DestroyWindow(wnd);
    UnregisterClassA("FwThreadTestWindow", cls.hInstance);
    WindowLog = nullptr;
}

TEST(ThreadDestroy, NeverStartedThreadIsReleasedWithoutRunningExecute) {
    TDeadlockGuard guard;
    std::atomic<bool> executed{false};
    std::atomic<int> destroyed{0};
    auto* thread = new TTestThread([&](TTestThread&) { executed = true; });
    TEndObserver end;
    thread->OnTerminate = end.Event();
    thread->Suspend();  // twice suspended: the release must undo both
    EXPECT_TRUE(thread->Suspended());
    HANDLE osThread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->Handle(), GetCurrentProcess(), &osThread,
                                SYNCHRONIZE, FALSE, 0));
    thread->ObserveDestruction(&destroyed, nullptr);
    EXPECT_EQ(thread->WaitFor(), 0u) << "a thread never started has nothing to wait for";
    delete thread;
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(WaitForSingleObject(osThread, kGenerous), WAIT_OBJECT_0) << "the thread must have ended";
    CloseHandle(osThread);
    EXPECT_FALSE(executed.load());
    EXPECT_EQ(end.Calls, 0);
}

namespace {

// Leaves its end entirely to TThread's destructor: Execute uses nothing of
// this class.
class TParkedThread : public TThread {
public:
    TParkedThread() : TThread(true) {}
    static HANDLE Inside, Proceed;
    static std::atomic<bool> SawTerminated;

protected:
    void Execute() override {
        SetEvent(Inside);
        WaitForSingleObject(Proceed, INFINITE);
        SawTerminated = Terminated();
    }
};
HANDLE TParkedThread::Inside, TParkedThread::Proceed;
std::atomic<bool> TParkedThread::SawTerminated;

}  // namespace

TEST(ThreadDestroy, SuspendedRunningThreadIsResumedAndJoined) {
    TDeadlockGuard guard;
    HANDLE proceed = TParkedThread::Proceed = NewEvent();
    HANDLE inside = TParkedThread::Inside = NewEvent();
    std::atomic<bool>& sawTerminated = TParkedThread::SawTerminated;
    sawTerminated = false;
    auto* thread = new TParkedThread;
    EXPECT_TRUE(thread->Suspended());
    thread->Resume();
    EXPECT_FALSE(thread->Suspended());
    ASSERT_EQ(WaitForSingleObject(inside, kGenerous), WAIT_OBJECT_0);
    thread->Suspend();
    thread->Suspend();
    EXPECT_TRUE(thread->Suspended());
    thread->Resume();
    EXPECT_TRUE(thread->Suspended()) << "suspended twice, resumed once";
    SetEvent(proceed);  // a suspended thread cannot see it until resumed
    delete thread;
    EXPECT_TRUE(sawTerminated.load());
    CloseHandle(proceed);
    CloseHandle(inside);
}

TEST(ThreadFreeOnTerminate, ThreadWithoutOnTerminateFreesItself) {
    TDeadlockGuard guard;
    std::atomic<int> destroyed{0};
    HANDLE gone = NewEvent();
    auto* thread = new TTestThread([](TTestThread&) {});
    thread->FreeOnTerminate = true;
    thread->ObserveDestruction(&destroyed, gone);
    thread->Resume();
    ASSERT_EQ(WaitForSingleObject(gone, kGenerous), WAIT_OBJECT_0) << "the object was not freed";
    EXPECT_EQ(destroyed.load(), 1);
    CloseHandle(gone);
}

TEST(ThreadFreeOnTerminate, ThreadIsFreedAfterItsOnTerminateHandler) {
    TDeadlockGuard guard;
    std::atomic<int> destroyed{0};
    HANDLE gone = NewEvent();
    auto* thread = new TTestThread([](TTestThread&) {});
    TEndObserver end;
    int destroyedDuringHandler = -1;
    end.Then = [&](TThread*) { destroyedDuringHandler = destroyed.load(); };
    thread->OnTerminate = end.Event();
    thread->FreeOnTerminate = true;
    thread->ObserveDestruction(&destroyed, gone);
    thread->Resume();
    ASSERT_TRUE(WaitServing(gone)) << "the object was not freed";
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(end.Calls, 1);
    EXPECT_TRUE(end.OnMain);
    EXPECT_EQ(destroyedDuringHandler, 0);
    CloseHandle(gone);
}

TEST(ThreadFreeOnTerminate, SetInsideOnTerminateFreesTheThreadAfterTheHandler) {
    TDeadlockGuard guard;
    std::atomic<int> destroyed{0};
    HANDLE gone = NewEvent();
    auto* thread = new TTestThread([](TTestThread&) {});
    TEndObserver end;
    end.Then = [](TThread* t) {
        t->OnTerminate = TNotifyEvent();
        t->FreeOnTerminate = true;
    };
    thread->OnTerminate = end.Event();
    thread->ObserveDestruction(&destroyed, gone);
    thread->Resume();
    ASSERT_TRUE(WaitServing(gone)) << "the object was not freed";
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(end.Calls, 1);
    CloseHandle(gone);
}

TEST(ThreadFreeOnTerminate, DeletingTheThreadInsideItsOwnOnTerminateDoesNotDeadlock) {
    TDeadlockGuard guard;
    std::atomic<int> destroyed{0};
    auto* thread = new TTestThread([](TTestThread& t) { t.SetReturnValue(55); });
    HANDLE osThread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->Handle(), GetCurrentProcess(), &osThread,
                                SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0));
    TEndObserver end;
    int destroyedInHandler = -1;
    end.Then = [&](TThread* t) {
        delete t;
        destroyedInHandler = destroyed.load();
    };
    thread->OnTerminate = end.Event();
    thread->ObserveDestruction(&destroyed, nullptr);
    thread->Resume();
    ASSERT_TRUE(WaitServing(osThread)) << "the thread did not end";
    EXPECT_EQ(end.Calls, 1);
    EXPECT_EQ(destroyedInHandler, 1);
    EXPECT_EQ(destroyed.load(), 1);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(osThread, &code));
    EXPECT_EQ(code, 55u);
    CloseHandle(osThread);
}

TEST(ThreadProperties, PriorityRoundTripsThroughTheWin32Values) {
    struct {
        TThreadPriority Priority;
        int Win32;
    } const table[] = {
        {tpIdle, THREAD_PRIORITY_IDLE},
        {tpLowest, THREAD_PRIORITY_LOWEST},
        {tpLower, THREAD_PRIORITY_BELOW_NORMAL},
        {tpNormal, THREAD_PRIORITY_NORMAL},
        {tpHigher, THREAD_PRIORITY_ABOVE_NORMAL},
        {tpHighest, THREAD_PRIORITY_HIGHEST},
        {tpTimeCritical, THREAD_PRIORITY_TIME_CRITICAL},
    };
    TTestThread thread([](TTestThread&) {});
    EXPECT_EQ(thread.GetPriority(), tpNormal);
    for (const auto& row : table) {
        SCOPED_TRACE(row.Priority);
        thread.SetPriority(row.Priority);
        EXPECT_EQ(GetThreadPriority(thread.Handle()), row.Win32);
        EXPECT_EQ(thread.GetPriority(), row.Priority);
    }
    EXPECT_THROW(thread.SetPriority(static_cast<TThreadPriority>(7)), EThread);
    EXPECT_EQ(thread.GetPriority(), tpTimeCritical);
}

TEST(ThreadProperties, ReturnValueIsTheExitCodeAndWhatWaitForReturns) {
    TTestThread thread([](TTestThread& t) { t.SetReturnValue(1234); });
    EXPECT_NE(thread.Handle(), nullptr);
    EXPECT_NE(thread.ThreadID(), 0u);
    EXPECT_NE(thread.ThreadID(), GetCurrentThreadId());
    thread.Resume();
    EXPECT_EQ(thread.WaitFor(), 1234u);
    EXPECT_EQ(thread.ReturnValue(), 1234);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.Handle(), &code));
    EXPECT_EQ(code, 1234u);
}

namespace {

class TAutoStartThread : public TThread {
public:
    TAutoStartThread() : TThread(false) {}
    ~TAutoStartThread() override { WaitFor(); }

protected:
    // Touches only the base class: the thread may start before this class's
    // constructor has run.
    void Execute() override { SetReturnValue(Terminated() ? -1 : 31); }
};

}  // namespace

TEST(ThreadProperties, CreatedRunningThreadStartsWithoutResume) {
    TDeadlockGuard guard;
    TAutoStartThread thread;
    EXPECT_FALSE(thread.Suspended());
    EXPECT_EQ(thread.WaitFor(), 31u);
}

TEST(ThreadFatalException, EscapingExecuteIsKeptAndTheProcessGoesOn) {
    TDeadlockGuard guard;
    TTestThread family([](TTestThread& t) {
        t.SetReturnValue(3);
        throw EReadError("フォームのデータが壊れています.");
    });
    TEndObserver end;
    family.OnTerminate = end.Event();
    TTestThread other([](TTestThread&) { throw 7; });
    EXPECT_FALSE(family.FatalException());

    family.Resume();
    other.Resume();
    EXPECT_EQ(family.WaitFor(), 3u);
    other.WaitFor();

    ASSERT_TRUE(family.FatalException());
    try {
        std::rethrow_exception(family.FatalException());
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "フォームのデータが壊れています.");
    } catch (...) {
        ADD_FAILURE() << "FatalException lost the exception's class";
    }
    EXPECT_EQ(end.Calls, 1) << "OnTerminate still runs after a failed Execute";
    EXPECT_TRUE(end.OnMain);

    ASSERT_TRUE(other.FatalException());
    try {
        std::rethrow_exception(other.FatalException());
    } catch (int v) {
        EXPECT_EQ(v, 7);
    } catch (...) {
        ADD_FAILURE() << "FatalException lost a non-family exception";
    }
}

namespace {

using TestSupport::OpenHandleCount;

// One thread of each way a life can go.
void RunOneThreadLife(int kind) {
    switch (kind) {
        case 0: {  // runs and is joined
            TTestThread t([](TTestThread& self) { self.SetReturnValue(1); });
            t.Resume();
            t.WaitFor();
            break;
        }
        case 1: {  // synchronises (its answer event) and has an OnTerminate
            TCall call{[] {}};
            TEndObserver end;
            TTestThread t([&](TTestThread& self) {
                for (int i = 0; i < 3; ++i) self.Synchronize(call.Method());
            });
            t.OnTerminate = end.Event();
            t.Resume();
            t.WaitFor();
            break;
        }
        case 2: {  // never started
            TTestThread t([](TTestThread&) {});
            break;
        }
        case 3: {  // frees itself after its OnTerminate
            HANDLE gone = NewEvent();
            auto* t = new TTestThread([](TTestThread&) {});
            TEndObserver end;
            t->OnTerminate = end.Event();
            t->FreeOnTerminate = true;
            t->ObserveDestruction(nullptr, gone);
            t->Resume();
            bool freed = WaitServing(gone);
            CloseHandle(gone);
            ASSERT_TRUE(freed);
            break;
        }
        case 4: {  // Execute fails
            TTestThread t([](TTestThread&) { throw EListError("x"); });
            t.Resume();
            t.WaitFor();
            break;
        }
    }
}

}  // namespace

TEST(ThreadHandles, TwoHundredThreadLivesLeaveNoHandleBehind) {
    TDeadlockGuard guard;
    // The first lives make the queue's event and whatever the run time
    // library opens once; they are not the threads' own.
    for (int kind = 0; kind < 5; ++kind) RunOneThreadLife(kind);
    unsigned long before = OpenHandleCount();
    for (int i = 0; i < 200; ++i) {
        RunOneThreadLife(i % 5);
        if (HasFatalFailure()) return;
    }
    unsigned long after = OpenHandleCount();
    EXPECT_GT(before, 0u);
    EXPECT_EQ(after, before);
}
