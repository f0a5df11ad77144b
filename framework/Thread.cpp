#include "framework/Thread.h"

#include <windows.h>
#include <process.h>

#include <cstdio>

namespace Fw {

namespace {

// One synchronised call. It lives on the stack of the thread that waits for
// it; once its Done event is set it belongs to that thread again and the main
// thread must not touch it.
struct TSyncCall {
    TThreadMethod Method;
    TThread* Thread = nullptr;
    HANDLE Done = nullptr;
    bool EndCall = false;  // the thread's OnTerminate, after Execute returned
    unsigned long long Seq = 0;
    std::exception_ptr Error;
    TSyncCall* Next = nullptr;   // queue order
    TSyncCall* Outer = nullptr;  // the call running beneath this one on the main thread
};

// Per worker thread: the auto-reset event its synchronised calls are answered
// on, made at its first call and closed when the thread ends.
struct TWorkerSlot {
    HANDLE Done = nullptr;
};

struct TSyncQueue {
    CRITICAL_SECTION Lock;
    HANDLE Event = nullptr;
    DWORD TlsIndex = TLS_OUT_OF_INDEXES;
    TSyncCall* Head = nullptr;
    TSyncCall* Tail = nullptr;
    unsigned long long LastSeq = 0;
    bool Signalled = false;  // Event's state, so that each change costs one kernel call
    // Calls being run on the main thread, innermost first; main thread only.
    TSyncCall* Running = nullptr;

    TSyncQueue() {
        InitializeCriticalSection(&Lock);
        Event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        TlsIndex = TlsAlloc();
    }

    // Takes the oldest call if it was queued at or before seq.
    TSyncCall* PopUpTo(unsigned long long seq) {
        EnterCriticalSection(&Lock);
        TSyncCall* call = Head;
        if (call && call->Seq <= seq) {
            Head = call->Next;
            if (!Head) Tail = nullptr;
        } else {
            call = nullptr;
        }
        if (!Head && Signalled) {
            ResetEvent(Event);
            Signalled = false;
        }
        LeaveCriticalSection(&Lock);
        return call;
    }
};

// Never destroyed: a thread that outlives static destruction may still queue.
TSyncQueue& Queue() {
    static TSyncQueue* queue = new TSyncQueue();
    return *queue;
}

AnsiString SystemErrorText(DWORD code) {
    char* text = nullptr;
    DWORD len = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    AnsiString result;
    if (len && text) {
        result.assign(text, len);
        while (!result.empty() && (result.back() == '\r' || result.back() == '\n' ||
                                   result.back() == ' ' || result.back() == '.'))
            result.pop_back();
    }
    if (text) LocalFree(text);
    return result;
}

[[noreturn]] void RaiseThreadError(DWORD code) {
    char number[16];
    std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(code));
    throw EThread("スレッド エラー: " + SystemErrorText(code) + " (" + number + ")");
}

const TSyncCall* RunningCallOf(const TThread* thread) {
    for (const TSyncCall* call = Queue().Running; call; call = call->Outer)
        if (call->Thread == thread) return call;
    return nullptr;
}

void QueueAndWait(TThread* thread, TThreadMethod method, bool endCall) {
    TSyncQueue& q = Queue();
    auto* slot = static_cast<TWorkerSlot*>(TlsGetValue(q.TlsIndex));
    HANDLE done;
    if (slot) {
        if (!slot->Done) slot->Done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        done = slot->Done;
    } else {
        // A thread we did not start has nowhere to keep an event, and no end
        // at which to close it.
        done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    if (!done) RaiseThreadError(GetLastError());

    TSyncCall call;
    call.Method = method;
    call.Thread = thread;
    call.Done = done;
    call.EndCall = endCall;

    TNotifyEvent wake;
    EnterCriticalSection(&q.Lock);
    call.Seq = ++q.LastSeq;
    if (q.Tail)
        q.Tail->Next = &call;
    else
        q.Head = &call;
    q.Tail = &call;
    if (!q.Signalled) {
        SetEvent(q.Event);
        q.Signalled = true;
    }
    wake = WakeMainThread;
    LeaveCriticalSection(&q.Lock);

    // The call sits in the queue on this stack frame: nothing may take us out
    // of here before the main thread has answered it.
    if (wake) {
        try {
            wake(thread);
        } catch (...) {
        }
    }
    WaitForSingleObject(done, INFINITE);
    if (!slot) CloseHandle(done);
    if (call.Error) std::rethrow_exception(call.Error);
}

const int PriorityValues[] = {
    THREAD_PRIORITY_IDLE,    THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
    THREAD_PRIORITY_NORMAL,  THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
    THREAD_PRIORITY_TIME_CRITICAL,
};

}  // namespace

unsigned long MainThreadID = GetCurrentThreadId();
TNotifyEvent WakeMainThread;

void SetMainThread() { MainThreadID = GetCurrentThreadId(); }

void* SyncEvent() { return Queue().Event; }

bool CheckSynchronize(unsigned long timeoutMs) {
    if (GetCurrentThreadId() != MainThreadID)
        throw EThread("CheckSynchronize はメイン スレッド以外から呼び出せません.");
    TSyncQueue& q = Queue();
    if (timeoutMs) WaitForSingleObject(q.Event, timeoutMs);

    // Calls queued while these run wait for the next round, so that a worker
    // that synchronises without pause cannot keep the message loop from
    // running.
    EnterCriticalSection(&q.Lock);
    unsigned long long last = q.LastSeq;
    LeaveCriticalSection(&q.Lock);

    bool ran = false;
    while (TSyncCall* call = q.PopUpTo(last)) {
        call->Outer = q.Running;
        q.Running = call;
        try {
            call->Method();
        } catch (...) {
            call->Error = std::current_exception();
        }
        q.Running = call->Outer;
        SetEvent(call->Done);
        ran = true;
    }
    return ran;
}

// The running state of a thread's end, on the thread's own stack: it outlives
// the object when OnTerminate deletes the thread.
struct TThread::TEndState {
    bool Destroyed = false;
};

TThread::TThread(bool CreateSuspended) : FSuspended(CreateSuspended), FStarted(!CreateSuspended) {
    Queue();  // the thread's first synchronised call must find the queue made
    unsigned id = 0;
    // Created suspended in every case, so that FHandle and FThreadID are in
    // place before the thread can look at them.
    uintptr_t handle = _beginthreadex(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, &id);
    if (!handle) RaiseThreadError(GetLastError());
    FHandle = reinterpret_cast<HANDLE>(handle);
    FThreadID = id;
    if (!CreateSuspended) ResumeThread(FHandle);
}

TThread::~TThread() {
    if (!FHandle) return;
    if (!FStarted.load()) {
        // Execute is not run: the derived part of the object is already gone.
        FAbandoned.store(true);
        while (true) {
            DWORD count = ResumeThread(FHandle);
            if (count == static_cast<DWORD>(-1) || count <= 1) break;
        }
        WaitForSingleObject(FHandle, INFINITE);
    } else {
        Terminate();
        if (FSuspended.load() && GetCurrentThreadId() != FThreadID) {
            while (true) {
                DWORD count = ResumeThread(FHandle);
                if (count == static_cast<DWORD>(-1) || count <= 1) break;
            }
            FSuspended.store(false);
        }
        WaitFor();
        // Deleted by its own OnTerminate handler: the thread is waiting for
        // that handler and must leave the object alone once it returns.
        if (RunsOwnOnTerminate()) FEndState->Destroyed = true;
    }
    CloseHandle(FHandle);
}

unsigned __stdcall TThread::ThreadProc(void* param) {
    auto* self = static_cast<TThread*>(param);
    if (self->FAbandoned.load()) return 0;

    TWorkerSlot slot;
    DWORD tlsIndex = Queue().TlsIndex;
    TlsSetValue(tlsIndex, &slot);

    try {
        if (!self->Terminated()) self->Execute();
    } catch (...) {
        self->FFatalException = std::current_exception();
    }
    self->FExecuteDone.store(true);

    unsigned code = static_cast<unsigned>(self->FReturnValue.load());
    TEndState end;
    if (self->OnTerminate) {
        self->FEndState = &end;
        try {
            QueueAndWait(self, MakeEvent<&TThread::CallOnTerminate>(self), true);
        } catch (...) {
            if (!end.Destroyed && !self->FFatalException)
                self->FFatalException = std::current_exception();
        }
    }
    if (!end.Destroyed) {
        self->FEndState = nullptr;
        code = static_cast<unsigned>(self->FReturnValue.load());
        bool freeIt = self->FreeOnTerminate;
        self->FFinished.store(true);
        if (freeIt) delete self;
    }

    TlsSetValue(tlsIndex, nullptr);
    if (slot.Done) CloseHandle(slot.Done);
    return code;
}

void TThread::CallOnTerminate() {
    // Read here, on the main thread where it is assigned: the worker's look at
    // it was only a hint. A copy, as the handler may clear it or delete this.
    TNotifyEvent handler = OnTerminate;
    if (handler) handler(this);
}

bool TThread::RunsOwnOnTerminate() const {
    if (GetCurrentThreadId() != MainThreadID) return false;
    const TSyncCall* call = RunningCallOf(this);
    return call && call->EndCall;
}

void TThread::Resume() {
    DWORD count = ResumeThread(FHandle);
    if (count == static_cast<DWORD>(-1)) RaiseThreadError(GetLastError());
    if (count <= 1) {
        FSuspended.store(false);
        FStarted.store(true);
    }
}

void TThread::Suspend() {
    bool was = FSuspended.exchange(true);
    if (SuspendThread(FHandle) == static_cast<DWORD>(-1)) {
        FSuspended.store(was);
        RaiseThreadError(GetLastError());
    }
}

void TThread::SetSuspended(bool value) {
    if (value == Suspended()) return;
    if (value)
        Suspend();
    else
        Resume();
}

unsigned long TThread::WaitFor() {
    // Nothing runs in a thread that was never started, and the destructor
    // will not run Execute in it; a derived destructor that joins the thread
    // before its own members go must not hang on it.
    // The thread itself is asked first: it may run before Resume has
    // recorded that it started.
    DWORD self = GetCurrentThreadId();
    if (self == FThreadID) {
        // Past Execute (a FreeOnTerminate thread deleting itself) there is
        // nothing left to wait for.
        if (FExecuteDone.load()) return static_cast<unsigned long>(FReturnValue.load());
        throw EThread("スレッドは自身の終了を待つことはできません.");
    }
    if (!FStarted.load()) return static_cast<unsigned long>(FReturnValue.load());
    if (self == MainThreadID) {
        if (const TSyncCall* call = RunningCallOf(this)) {
            // Execute is over; the thread ends as soon as this handler returns.
            if (call->EndCall) return static_cast<unsigned long>(FReturnValue.load());
            throw EThread("同期呼び出しを実行中のスレッドの終了は、その呼び出しの中で待つことはできません.");
        }
        HANDLE handles[2] = {FHandle, Queue().Event};
        while (true) {
            DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_SENDMESSAGE);
            if (r == WAIT_OBJECT_0) break;
            if (r == WAIT_OBJECT_0 + 1) {
                CheckSynchronize();
            } else if (r == WAIT_OBJECT_0 + 2) {
                // Delivers messages sent to this thread's windows; posted ones
                // are left for the message loop.
                MSG msg;
                PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            } else {
                RaiseThreadError(GetLastError());
            }
        }
    } else if (WaitForSingleObject(FHandle, INFINITE) == WAIT_FAILED) {
        RaiseThreadError(GetLastError());
    }
    return static_cast<unsigned long>(FReturnValue.load());
}

void TThread::Synchronize(TThread* thread, TThreadMethod method) {
    if (!method) return;
    if (GetCurrentThreadId() == MainThreadID) {
        method();
        return;
    }
    QueueAndWait(thread, method, false);
}

TThreadPriority TThread::GetPriority() const {
    int value = GetThreadPriority(FHandle);
    if (value == THREAD_PRIORITY_ERROR_RETURN) RaiseThreadError(GetLastError());
    for (int i = tpIdle; i <= tpTimeCritical; ++i)
        if (PriorityValues[i] == value) return static_cast<TThreadPriority>(i);
    return tpNormal;
}

void TThread::SetPriority(TThreadPriority value) {
    if (value < tpIdle || value > tpTimeCritical) throw EThread("スレッドの優先度が正しくありません.");
    if (!SetThreadPriority(FHandle, PriorityValues[value])) RaiseThreadError(GetLastError());
}

}  // namespace Fw
