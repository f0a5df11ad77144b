// Worker threads and change notification: waiting on sets of kernel handles,
// a reusable worker thread that reports to the main thread, and the
// components built on them - the thread broker, the path observer and the
// event alerter.
//
// Every component lives on the main (user-interface) thread. Its worker
// reaches the main thread only through Synchronize, which blocks the worker
// until the main thread has run the call; the main thread wakes a worker
// through the worker's wake event and ends a wait through the component's
// stop event. Destructors join their worker with WaitFor, which keeps serving
// synchronised calls while it waits.
//
// The unit's initialise step registers its classes by name (their type
// information is described in Threads.cpp), and its finalise step takes them
// off again: including this header, or linking the library, is all a
// program does for that (see Units in framework/Object.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/Component.h"
#include "framework/List.h"
#include "framework/Thread.h"

namespace Kit {

namespace Detail {
struct TWorkerLink;
}

// The handle lists hold handles as 32-bit values in both builds. A kernel
// handle has 32 significant bits on 64-bit Windows too, and is sign-extended
// from them (the pseudo handle of the current process is -1), so the value
// goes back to a handle the way the system's LongToHandle does.
inline unsigned int HandleValue(HANDLE handle) {
    return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(handle));
}
inline HANDLE ValueHandle(unsigned int value) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

// ---- Handle list and event waiter ----

// How a kernel wait ended.
enum TWaitOutcome : unsigned char { woSignaled, woTimeout, woAbandoned, woFailed };

template <class T>
class TObjectList;

// An ordered list of 32-bit values (kernel handles, in practice), each with
// an optional object. Values may repeat. The list owns its entries, never the
// objects attached to them nor the handles. Indexes count from 0; an index
// outside the list raises the framework's EListError.
template <>
class TObjectList<unsigned int> : public Fw::TObject {
public:
    FW_CLASS(TObjectList, Fw::TObject)
    TObjectList();
    ~TObjectList() override;

    int GetItemCount() const;
    unsigned int GetItem(int index) const;
    Fw::TObject* GetObjectA(int index) const;

    int Add(unsigned int value);
    // Appends; returns the new entry's index.
    int AddObject(unsigned int value, Fw::TObject* object);
    // Index of the first entry holding value, or -1.
    int IndexOf(unsigned int value) const;
    // Deletes the first entry holding value; returns its index, or -1.
    int Remove(unsigned int value);
    void Delete(int index);
    void Clear();

    // The values in list order, in a new array of GetItemCount() elements
    // that the caller releases with delete[].
    unsigned int* CreateItemArray() const;

private:
    struct TEntry {
        unsigned int Value;
        Fw::TObject* Object;
    };
    TEntry* Entry(int index) const;

    Fw::TList* FList;
};

// Waits on all the handles of its list with one kernel call. No locking: the
// list must not change from another thread while a wait reads it.
class TEventWaiter : public Fw::TObject {
public:
    FW_CLASS(TEventWaiter, Fw::TObject)
    // timeout in milliseconds, -1 (INFINITE) for none.
    TEventWaiter(int timeout, bool waitAll);
    // The handles themselves stay open.
    ~TEventWaiter() override;

    TObjectList<unsigned int>* Handles() const { return FHandles; }
    int Timeout() const { return FTimeout; }
    void SetTimeout(int value) { FTimeout = value; }
    bool WaitAll() const { return FWaitAll; }
    void SetWaitAll(bool value) { FWaitAll = value; }
    // Outcome of the last wait; woFailed before the first.
    TWaitOutcome WaitResult() const { return FWaitResult; }

    // Waits once on a snapshot of the list. Returns the index of the handle
    // that ended the wait (the lowest when several were signalled together;
    // 0 when all were awaited), or -1 on a time-out or a failed wait (an
    // invalid handle, more than MAXIMUM_WAIT_OBJECTS handles). An empty list
    // returns 0 at once, leaving WaitResult as it was.
    int WaitFor();
    // Stores the outcome that a Win32 wait return code stands for.
    void SetWaitResult(unsigned long code);

private:
    TObjectList<unsigned int>* FHandles;
    int FTimeout;
    bool FWaitAll;
    TWaitOutcome FWaitResult = woFailed;
};

// ---- Broker thread ----

// A worker thread that sleeps on its wake event and runs OnWork (with itself
// as Sender) each time it is started; it stays alive between runs. Starts
// that arrive before the worker wakes count as one run; a start during a run
// makes exactly one more run follow it. An exception that escapes OnWork
// ends the thread (the framework keeps it in FatalException).
class TBrokerThread : public Fw::TThread {
public:
    TBrokerThread();
    explicit TBrokerThread(const Fw::TNotifyEvent& work);
    // Stops and joins the worker, serving its synchronised calls meanwhile.
    // Not from inside a synchronised call of this very thread, which could
    // never return: the components let their worker go instead.
    ~TBrokerThread() override;

    void Start();
    // Public: the components hand their reports to the main thread with it.
    using Fw::TThread::Synchronize;

    HANDLE WakeEvent() const { return FWakeEvent; }
    Fw::TNotifyEvent OnWork() const;
    // May be changed while the thread runs; a run already begun keeps the
    // handler it started with.
    void SetOnWork(const Fw::TNotifyEvent& work);

    // After a run, wait for the next one instead of ending.
    std::atomic<bool> Loop{true};

protected:
    void Execute() override;

private:
    HANDLE FWakeEvent = nullptr;
    mutable CRITICAL_SECTION FWorkLock;
    Fw::TNotifyEvent FOnWork;
};

// ---- Thread broker ----

// Passed unchanged, by position, as the framework's thread priority.
enum TKitThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
FW_ENUM_INFO(TKitThreadPriority, "tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest",
             "tpTimeCritical")

using TBrokerExecuteEvent = Fw::TEvent<Fw::TObject*, TBrokerThread*>;
using TBrokerExceptionEvent = Fw::TEvent<Fw::TObject*, TBrokerThread*, Fw::Exception*>;

// Runs OnExecute on a worker thread each time Enabled is set, framed by
// OnStart and OnEnd on the main thread. Enabled returns to false when the run
// ends. Setting Enabled to false during a run cancels it: the worker ends
// after the run (OnExecute sees Thread->Terminated()), OnTerminate fires on
// the main thread and a fresh worker, of default priority, takes its place.
// With SpinExecute each run starts the next as it ends.
class TThreadBroker : public Fw::TComponent {
public:
    FW_CLASS(TThreadBroker, Fw::TComponent)
    explicit TThreadBroker(Fw::TComponent* Owner);
    // No further run starts; a run in progress finishes while the worker is
    // joined.
    ~TThreadBroker() override;

    TBrokerThread* Thread() const { return FThread; }

    bool Enabled() const { return FEnabled.load(); }
    void SetEnabled(bool value);
    bool SpinExecute() const { return FSpinExecute.load(); }
    void SetSpinExecute(bool value) { FSpinExecute.store(value); }
    TKitThreadPriority GetPriority() const;
    void SetPriority(TKitThreadPriority value);

    Fw::TNotifyEvent OnStart;         // main thread, before each run's work
    TBrokerExecuteEvent OnExecute;    // the work, on the worker thread
    Fw::TNotifyEvent OnEnd;           // main thread, after the work
    Fw::TNotifyEvent OnTerminate;     // main thread, when a cancelled worker has ended
    TBrokerExceptionEvent OnException;  // worker thread, for an Exception from the run

protected:
    void Loaded() override;
    virtual void CreateThread();
    // One run, on the worker.
    void Execute(Fw::TObject* Sender);
    // The cancelled worker's end, on the main thread.
    void Terminate(Fw::TObject* Sender);
    void StartEvent();
    void EndEvent();

private:
    void SyncStart();
    void SyncEnd();
    void ReportFailure(TBrokerThread* thread, std::exception_ptr failure);

    TBrokerThread* FThread = nullptr;
    std::atomic<bool> FEnabled{false};
    std::atomic<bool> FSpinExecute{false};
    // Enabled was set while a cancelled worker was still ending: the
    // replacement starts the run.
    bool FRestartPending = false;
    std::shared_ptr<Detail::TWorkerLink> FLink;
};

// ---- Path observer ----

enum TNotification { ntFileName, ntDirName, ntAttributes, ntSize, ntLastWrite, ntSecurity };
FW_ENUM_INFO(TNotification, "ntFileName", "ntDirName", "ntAttributes", "ntSize", "ntLastWrite", "ntSecurity")
using TNotifications = Fw::TSet<TNotification>;

// One change-notification handle, closed with the object.
class TChangeNotificationEvent : public Fw::TObject {
public:
    FW_CLASS(TChangeNotificationEvent, Fw::TObject)
    // One trailing backslash is dropped from path (but a drive root keeps
    // its own). When the system refuses the folder, Handle is
    // INVALID_HANDLE_VALUE and every wait fails.
    TChangeNotificationEvent(const Fw::AnsiString& path, TNotifications state, bool watchSubTree);
    ~TChangeNotificationEvent() override;

    HANDLE GetHandle() const { return FHandle; }
    // Re-arms for the next change; false when the system refuses.
    bool Next();
    TWaitOutcome WaitFor(int milliseconds);

    // The FILE_NOTIFY_CHANGE_* filter for a set of kinds.
    static unsigned long FilterFlags(TNotifications state);

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// Watches a folder and fires OnNotify on the main thread for each change of
// the kinds in NotifyState. The notification is armed by the time Active :=
// true returns; after Active := false has returned, and from the destructor
// on, no OnNotify fires, even for a change already on its way. An exception
// that escapes OnNotify goes to the application's exception handling and the
// observer keeps observing.
class TPathObserver : public Fw::TComponent {
public:
    FW_CLASS(TPathObserver, Fw::TComponent)
    explicit TPathObserver(Fw::TComponent* Owner);
    ~TPathObserver() override;

    TNotifications NotifyState() const { return FNotifyState; }
    void SetNotifyState(TNotifications value);
    const Fw::AnsiString& Path() const { return FPath; }
    void SetPath(const Fw::AnsiString& value);
    bool Active() const { return FActive; }
    void SetActive(bool value);
    bool WatchSubTree() const { return FWatchSubTree; }
    void SetWatchSubTree(bool value);

    TBrokerThread* Thread() const { return FThread; }
    HANDLE StopEvent() const { return FStopEvent; }

    Fw::TNotifyEvent OnNotify;

protected:
    void Loaded() override;
    virtual void CheckActive();
    virtual void CheckProperties();
    virtual void DoActivate();
    virtual void DoNotify();
    // One run, on the worker: lasts until the observer is switched off or
    // the notification fails.
    void Execute(Fw::TObject* Sender);

private:
    void SyncNotify();

    TNotifications FNotifyState{ntFileName};
    Fw::AnsiString FPath;
    bool FActive = false;
    bool FWatchSubTree = true;
    TBrokerThread* FThread = nullptr;
    HANDLE FStopEvent = nullptr;
    std::shared_ptr<Detail::TWorkerLink> FLink;
};

// ---- Event alerter ----

using TSignalEvent = Fw::TEvent<Fw::TObject*, bool&>;

// Waits on the user's kernel objects on a worker thread; each enabling gives
// one wait, on the handles the list holds at that moment, and at most one
// report on the main thread: OnSignal for a signalled handle (a manual-reset
// event is then reset unless the handler clears Reset), OnAbandone for an
// abandoned mutex (which then leaves the list). A mutex the wait acquired is
// released before the report, so the alerter never keeps a user's mutex
// locked. Disabling ends the wait in progress or about to begin; a report of
// a wait that was disabled before the main thread received it is dropped.
// Inert in design mode: no thread, no events, no list.
class TEventAlerter : public Fw::TComponent {
public:
    FW_CLASS(TEventAlerter, Fw::TComponent)
    explicit TEventAlerter(Fw::TComponent* Owner);
    ~TEventAlerter() override;

    // The list to add handles to (index 0 is the alerter's own stop event);
    // null in design mode. Main thread only; the worker never reads it, so it
    // may change at any time, counting from the next enabling.
    TObjectList<unsigned int>* GetEvent() const;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);

    // The handle that ended the last reported wait and the object attached
    // to it, for the event handlers.
    HANDLE SignaledHandle() const { return FSignaledHandle; }
    Fw::TObject* SignaledObject() const { return FSignaledObject; }

    TBrokerThread* Thread() const { return FThread; }
    // Holds the list, and the time-out and WaitAll each wait copies.
    TEventWaiter* Waiter() const { return FWaiter; }
    HANDLE StopEvent() const { return FStopEvent; }

    TSignalEvent OnSignal;
    Fw::TNotifyEvent OnAbandone;

protected:
    // One wait, on the worker.
    void Execute(Fw::TObject* Sender);
    virtual void DoSignal();
    virtual void DoAbandone();

private:
    void SyncReport();

    TBrokerThread* FThread = nullptr;
    TEventWaiter* FWaiter = nullptr;
    HANDLE FStopEvent = nullptr;
    bool FEnabled = false;
    HANDLE FSignaledHandle = nullptr;
    Fw::TObject* FSignaledObject = nullptr;
    std::shared_ptr<Detail::TWorkerLink> FLink;
};

// The unit's initialise and finalise steps.
FW_UNIT(Threads)

}  // namespace Kit
