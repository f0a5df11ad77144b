// The thread class and the main thread's queue of synchronised calls.
//
// Worker threads reach the main (user-interface) thread only through
// Synchronize: the call is queued, the main thread is woken (SyncEvent and the
// WakeMainThread hook), and the worker blocks until the main thread has run it
// in CheckSynchronize, which the message loop and WaitFor call.
#pragma once

#include <atomic>
#include <exception>

#include "framework/Events.h"
#include "framework/Object.h"
#include "framework/SysUtils.h"

namespace Fw {

// Positions match the platform's order; each maps to a THREAD_PRIORITY_* value.
enum TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// Id of the thread that runs the message loop and every synchronised call.
// Recorded during static initialisation, which runs on the process's first
// thread; a host that runs its loop elsewhere calls SetMainThread there before
// any thread is started.
extern unsigned long MainThreadID;
void SetMainThread();

// Called on the synchronising thread each time a call is queued, with that
// thread's TThread object as Sender (null for a thread that is not one). The
// application sets it to post a message to its hidden window, so that a loop
// sleeping in GetMessage wakes and calls CheckSynchronize. Set it before
// threads start and clear it after they have ended.
extern TNotifyEvent WakeMainThread;

// Manual-reset event, signalled while synchronised calls wait in the queue and
// reset by CheckSynchronize when it has taken the last one. A loop may wait on
// it with MsgWaitForMultipleObjects. Owned by the framework: never close it.
void* SyncEvent();

// On the main thread: runs the calls that were queued when it was called, in
// order, each without holding the queue, so a call may itself wait for
// threads (and serve their calls). With timeoutMs, first waits that long for
// a call to arrive. Returns true if any call ran. Raises EThread elsewhere.
bool CheckSynchronize(unsigned long timeoutMs = 0);

class TThread : public TObject {
public:
    // Created suspended, the thread starts with Resume. Created running, it
    // starts as this constructor returns, before a derived constructor has
    // run: a derived class with state of its own is created suspended and
    // resumed at the end of its constructor.
    explicit TThread(bool CreateSuspended);

    // Stops and joins a running thread: Terminate, resume it if suspended,
    // WaitFor (serving synchronised calls when on the main thread). A thread
    // that was never started is released without running Execute. A derived
    // class whose Execute uses its own members must stop the thread in its own
    // destructor, before those members go. A FreeOnTerminate thread deletes
    // itself and must not be deleted by anyone else once started.
    ~TThread() override;

    void Resume();
    void Suspend();
    bool Suspended() const { return FSuspended.load(); }
    void SetSuspended(bool value);

    // Only sets the flag; Execute decides when to look at it.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }

    // Waits until the thread has ended (Execute returned and OnTerminate ran)
    // and returns ReturnValue. On the main thread it keeps running
    // synchronised calls and serving sent messages while it waits; posted
    // messages stay queued. It returns at once for a thread that was never
    // started (nothing runs in it) and when called from the thread's own
    // OnTerminate handler. Raises EThread when the wait could never end: from
    // inside the thread's own Execute, or on the main thread while the thread
    // is blocked on a synchronised call that is running underneath it.
    unsigned long WaitFor();

    // Runs method on the main thread and returns when it has run; directly
    // when called on the main thread. Any exception the method raises is
    // raised again here. thread may be null for a thread that is not a
    // TThread.
    static void Synchronize(TThread* thread, TThreadMethod method);

    TThreadPriority GetPriority() const;
    void SetPriority(TThreadPriority value);

    void* Handle() const { return FHandle; }
    unsigned long ThreadID() const { return FThreadID; }
    int ReturnValue() const { return FReturnValue.load(); }
    // True once Execute has returned and OnTerminate has run.
    bool Finished() const { return FFinished.load(); }
    // The exception that escaped Execute (or OnTerminate), kept rather than
    // lost with the thread; null when none did.
    std::exception_ptr FatalException() const { return FFatalException; }

    // Runs on the main thread after Execute returns, with this thread as
    // Sender, while the thread waits for it. The handler may set
    // FreeOnTerminate, or delete the thread object itself.
    TNotifyEvent OnTerminate;
    // The thread deletes its object when it ends, after OnTerminate.
    bool FreeOnTerminate = false;

protected:
    virtual void Execute() = 0;

    void Synchronize(TThreadMethod method) { Synchronize(this, method); }
    void SetReturnValue(int value) { FReturnValue.store(value); }

private:
    struct TEndState;

    static unsigned __stdcall ThreadProc(void* param);
    void CallOnTerminate();
    bool RunsOwnOnTerminate() const;

    void* FHandle = nullptr;
    unsigned long FThreadID = 0;
    std::atomic<bool> FSuspended;
    std::atomic<bool> FStarted;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FExecuteDone{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FAbandoned{false};
    std::atomic<int> FReturnValue{0};
    std::exception_ptr FFatalException;
    TEndState* FEndState = nullptr;
};

}  // namespace Fw
