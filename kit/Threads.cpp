#include "kit/Threads.h"

#include <memory>

#include "framework/Application.h"


namespace Kit {

// ---- What a component and its worker share ----

namespace Detail {

// A switch-on that the observer's worker has yet to take up: the state it
// belongs to and the notification, armed on the main thread from the
// properties of that moment.
struct TObserveRequest {
    unsigned State;
    std::unique_ptr<TChangeNotificationEvent> Notification;
};

// An enabling of the alerter that its worker has yet to take up: the state it
// belongs to and a waiter over the handles the list held at that moment.
struct TAlertRequest {
    unsigned State;
    std::unique_ptr<TEventWaiter> Waiter;
};

// Held by a component and by each run of its worker. A run keeps its own
// reference, so that it can learn that the component was freed underneath it
// (from inside one of the component's own synchronised events) without
// touching the component again: the component's life token says so.
struct TWorkerLink {
    explicit TWorkerLink(const Fw::TComponent* component) : Life(component->Life()) {}

    const Fw::TLifeToken Life;
    // The component's destructor has begun: no run starts or reports.
    std::atomic<bool> Destroying{false};
    // The component's synchronised handlers running on the main thread now.
    // Main thread only.
    int HandlersRunning = 0;

    // Observer and alerter: changed by every switch on or off, so that a run
    // knows whether it is still wanted. Written on the main thread only.
    std::atomic<unsigned> State{0};
    // The state of the run whose report is being handed to the main thread.
    unsigned Delivering = 0;

    // The switch-on waiting for the worker; each is taken by one run.
    std::atomic<TObserveRequest*> PendingObserve{nullptr};
    std::atomic<TAlertRequest*> PendingAlert{nullptr};

    // Alerter: the report being handed over.
    HANDLE ReportHandle = nullptr;
    Fw::TObject* ReportObject = nullptr;
    TWaitOutcome ReportOutcome = woFailed;

    ~TWorkerLink() {
        delete PendingObserve.exchange(nullptr);
        delete PendingAlert.exchange(nullptr);
    }
};

}  // namespace Detail

namespace {

using Detail::TWorkerLink;

const char* const kBrokerCaption = "TThreadBroker";
const char* const kUnknownException = "イベントハンドラの内部で未知の例外が発生しました.";
const char* const kUnknownError = "イベントハンドラの内部で未知のエラーが発生しました.";

bool OnMainThread() { return GetCurrentThreadId() == Fw::MainThreadID; }

int ShowMessageBox(const Fw::AnsiString& text, const Fw::AnsiString& caption, UINT flags) {
    if (Fw::Application) return Fw::Application->MessageBox(text, caption, flags);
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

// Hands an exception caught on a worker to the application's exception
// handling on the main thread.
class TMainThreadReport {
public:
    TMainThreadReport(Fw::TObject* sender, std::exception_ptr error) : FSender(sender), FError(error) {}
    void Run() {
        try {
            std::rethrow_exception(FError);
        } catch (...) {
            Fw::HandleException(FSender);
        }
    }

private:
    Fw::TObject* FSender;
    std::exception_ptr FError;
};

void ReportOnMainThread(TBrokerThread* thread, Fw::TObject* sender, std::exception_ptr error) {
    TMainThreadReport report(sender, error);
    try {
        thread->Synchronize(Fw::MakeEvent<&TMainThreadReport::Run>(&report));
    } catch (...) {
    }
}

// Marks a synchronised handler of the component as running, for the
// component's destructor.
class THandlerScope {
public:
    explicit THandlerScope(std::shared_ptr<TWorkerLink> link) : FLink(std::move(link)) { ++FLink->HandlersRunning; }
    ~THandlerScope() { --FLink->HandlersRunning; }
    THandlerScope(const THandlerScope&) = delete;
    THandlerScope& operator=(const THandlerScope&) = delete;

private:
    std::shared_ptr<TWorkerLink> FLink;
};

// Main thread: a new state for a switch on or off.
unsigned Switch(TWorkerLink& link) {
    unsigned next = link.State.load() + 1;
    link.State.store(next);
    return next;
}

// A component freed from inside one of its own synchronised events cannot
// join its worker: the worker is blocked in that very call, which returns
// only after the destructor. The thread is let go instead: it ends once the
// call returns and frees itself.
void LetGo(TBrokerThread* thread) {
    thread->SetOnWork(nullptr);
    thread->OnTerminate = nullptr;
    thread->FreeOnTerminate = true;
    thread->Terminate();
    thread->Start();
}

// A component's end: a worker blocked in a synchronised call beneath this
// destructor is let go (it learns of the end from the life token once the
// call returns), any other is joined (serving its calls meanwhile).
void EndWorker(TWorkerLink& link, TBrokerThread* thread) {
    if (link.HandlersRunning > 0 && OnMainThread()) LetGo(thread);
    else delete thread;
}

}  // namespace

FW_UNIT_BEGIN(Threads)
    .Classes<TEventWaiter, TThreadBroker, TChangeNotificationEvent, TPathObserver, TEventAlerter>()
FW_UNIT_END

// ---- TObjectList<unsigned int> ----

Fw::TMetaClass* TObjectList<unsigned int>::StaticClass() {
    static Fw::TMetaClass* const meta = Fw::TClassDecl<TObjectList<unsigned int>>("TObjectList").Finish();
    return meta;
}

TObjectList<unsigned int>::TObjectList() : FList(new Fw::TList) {}

TObjectList<unsigned int>::~TObjectList() {
    Clear();
    delete FList;
}

TObjectList<unsigned int>::TEntry* TObjectList<unsigned int>::Entry(int index) const {
    return static_cast<TEntry*>(FList->Get(index));
}

int TObjectList<unsigned int>::GetItemCount() const { return FList->Count(); }

unsigned int TObjectList<unsigned int>::GetItem(int index) const { return Entry(index)->Value; }

Fw::TObject* TObjectList<unsigned int>::GetObjectA(int index) const { return Entry(index)->Object; }

int TObjectList<unsigned int>::Add(unsigned int value) { return AddObject(value, nullptr); }

int TObjectList<unsigned int>::AddObject(unsigned int value, Fw::TObject* object) {
    auto entry = std::make_unique<TEntry>(TEntry{value, object});
    int index = FList->Add(entry.get());
    entry.release();
    return index;
}

int TObjectList<unsigned int>::IndexOf(unsigned int value) const {
    for (int i = 0; i < FList->Count(); ++i)
        if (Entry(i)->Value == value) return i;
    return -1;
}

int TObjectList<unsigned int>::Remove(unsigned int value) {
    int index = IndexOf(value);
    if (index >= 0) Delete(index);
    return index;
}

void TObjectList<unsigned int>::Delete(int index) {
    TEntry* entry = Entry(index);
    FList->Delete(index);
    delete entry;
}

void TObjectList<unsigned int>::Clear() {
    for (int i = 0; i < FList->Count(); ++i) delete Entry(i);
    FList->Clear();
}

unsigned int* TObjectList<unsigned int>::CreateItemArray() const {
    auto* items = new unsigned int[FList->Count()];
    for (int i = 0; i < FList->Count(); ++i) items[i] = Entry(i)->Value;
    return items;
}

// ---- TEventWaiter ----

FW_PUBLISH(TEventWaiter)
FW_END_PUBLISH

TEventWaiter::TEventWaiter(int timeout, bool waitAll)
    : FHandles(new TObjectList<unsigned int>), FTimeout(timeout), FWaitAll(waitAll) {}

TEventWaiter::~TEventWaiter() { delete FHandles; }

void TEventWaiter::SetWaitResult(unsigned long code) {
    if (code == WAIT_FAILED)
        FWaitResult = woFailed;
    else if (code == WAIT_TIMEOUT)
        FWaitResult = woTimeout;
    else if (code < WAIT_ABANDONED_0)
        FWaitResult = woSignaled;
    else if (code < WAIT_ABANDONED_0 + MAXIMUM_WAIT_OBJECTS)
        FWaitResult = woAbandoned;
    else
        // No index can be read from it (an alertable wait's I/O completion,
        // say): not an outcome to act on.
        FWaitResult = woFailed;
}

int TEventWaiter::WaitFor() {
    const int count = FHandles->GetItemCount();
    if (count <= 0) return 0;
    DWORD code;
    if (count == 1) {
        code = WaitForSingleObject(ValueHandle(FHandles->GetItem(0)), static_cast<DWORD>(FTimeout));
    } else if (count > MAXIMUM_WAIT_OBJECTS) {
        // The system refuses such a wait too; this way it costs no call.
        code = WAIT_FAILED;
        SetLastError(ERROR_INVALID_PARAMETER);
    } else {
        HANDLE handles[MAXIMUM_WAIT_OBJECTS];
        for (int i = 0; i < count; ++i) handles[i] = ValueHandle(FHandles->GetItem(i));
        code = WaitForMultipleObjects(static_cast<DWORD>(count), handles, FWaitAll, static_cast<DWORD>(FTimeout));
    }
    SetWaitResult(code);
    switch (FWaitResult) {
        case woSignaled:
            return static_cast<int>(code - WAIT_OBJECT_0);
        case woAbandoned:
            return static_cast<int>(code - WAIT_ABANDONED_0);
        default:
            return -1;
    }
}

// ---- TBrokerThread ----

TBrokerThread::TBrokerThread() : TBrokerThread(Fw::TNotifyEvent()) {}

TBrokerThread::TBrokerThread(const Fw::TNotifyEvent& work) : Fw::TThread(true) {
    InitializeCriticalSection(&FWorkLock);
    FOnWork = work;
    FWakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Resume();
}

TBrokerThread::~TBrokerThread() {
    Terminate();
    SetEvent(FWakeEvent);
    WaitFor();
    CloseHandle(FWakeEvent);
    DeleteCriticalSection(&FWorkLock);
}

void TBrokerThread::Start() { SetEvent(FWakeEvent); }

Fw::TNotifyEvent TBrokerThread::OnWork() const {
    EnterCriticalSection(&FWorkLock);
    Fw::TNotifyEvent work = FOnWork;
    LeaveCriticalSection(&FWorkLock);
    return work;
}

void TBrokerThread::SetOnWork(const Fw::TNotifyEvent& work) {
    EnterCriticalSection(&FWorkLock);
    FOnWork = work;
    LeaveCriticalSection(&FWorkLock);
}

void TBrokerThread::Execute() {
    do {
        WaitForSingleObject(FWakeEvent, INFINITE);
        if (Terminated()) return;
        if (Fw::TNotifyEvent work = OnWork()) work(this);
    } while (!Terminated() && Loop.load());
}

// ---- TThreadBroker ----

FW_PUBLISH(TThreadBroker)
    .Property("Enabled", &TThreadBroker::Enabled, &TThreadBroker::SetEnabled).Default(false)
    .Property("Priority", &TThreadBroker::GetPriority, &TThreadBroker::SetPriority).Default(tpNormal)
    .Property("SpinExecute", &TThreadBroker::SpinExecute, &TThreadBroker::SetSpinExecute).Default(false)
    .Property("OnStart", &TThreadBroker::OnStart, &TThreadBroker::OnStart)
    .Property("OnExecute", &TThreadBroker::OnExecute, &TThreadBroker::OnExecute)
    .Property("OnEnd", &TThreadBroker::OnEnd, &TThreadBroker::OnEnd)
    .Property("OnTerminate", &TThreadBroker::OnTerminate, &TThreadBroker::OnTerminate)
    .Property("OnException", &TThreadBroker::OnException, &TThreadBroker::OnException)
FW_END_PUBLISH

TThreadBroker::TThreadBroker(Fw::TComponent* Owner)
    : Fw::TComponent(Owner), FLink(std::make_shared<TWorkerLink>(this)) {
    CreateThread();
}

TThreadBroker::~TThreadBroker() {
    FLink->Destroying.store(true);
    if (!FThread) return;
    FThread->OnTerminate = nullptr;
    FThread->SetOnWork(nullptr);
    EndWorker(*FLink, FThread);
    FThread = nullptr;
}

void TThreadBroker::CreateThread() {
    FThread = new TBrokerThread(Fw::MakeEvent<&TThreadBroker::Execute>(this));
    // The worker sleeps until started, so it cannot end before this is set.
    FThread->OnTerminate = Fw::MakeEvent<&TThreadBroker::Terminate>(this);
}

void TThreadBroker::SetEnabled(bool value) {
    if (!value) FRestartPending = false;
    if (value == FEnabled.load()) return;
    FEnabled.store(value);
    if (IsLoading() || IsDesigning() || !FThread)
        return;
    if (value) {
        // A cancelled worker ignores starts: the run is its replacement's.
        if (FThread->Terminated())
            FRestartPending = true;
        else
            FThread->Start();
    } else {
        FThread->Terminate();
        // The run may have ended as Enabled was read: a worker asleep again
        // would never see the request, so it is woken to end.
        FThread->Start();
    }
}

TKitThreadPriority TThreadBroker::GetPriority() const {
    return FThread ? static_cast<TKitThreadPriority>(FThread->GetPriority()) : tpNormal;
}

void TThreadBroker::SetPriority(TKitThreadPriority value) {
    if (FThread) FThread->SetPriority(static_cast<Fw::TThreadPriority>(value));
}

void TThreadBroker::Loaded() {
    Fw::TComponent::Loaded();
    if (Enabled() && !IsDesigning() && FThread) FThread->Start();
}

void TThreadBroker::StartEvent() {
    if (OnStart) OnStart(this);
}

void TThreadBroker::EndEvent() {
    if (OnEnd) OnEnd(this);
}

void TThreadBroker::SyncStart() {
    THandlerScope scope(FLink);
    StartEvent();
}

void TThreadBroker::SyncEnd() {
    THandlerScope scope(FLink);
    EndEvent();
}

void TThreadBroker::Execute(Fw::TObject* Sender) {
    auto* thread = static_cast<TBrokerThread*>(Sender);
    std::shared_ptr<TWorkerLink> link = FLink;
    if (link->Destroying.load()) return;

    std::exception_ptr failure;
    try {
        if (OnStart) thread->Synchronize(Fw::MakeEvent<&TThreadBroker::SyncStart>(this));
        if (!link->Life) return;
        if (OnExecute) OnExecute(this, thread);
        if (OnEnd) thread->Synchronize(Fw::MakeEvent<&TThreadBroker::SyncEnd>(this));
        if (!link->Life) return;
    } catch (...) {
        if (!link->Life) return;
        failure = std::current_exception();
    }
    FEnabled.store(false);
    if (failure && !link->Destroying.load()) ReportFailure(thread, failure);
    if (!thread->Terminated() && FSpinExecute.load()) thread->Start();
}

void TThreadBroker::ReportFailure(TBrokerThread* thread, std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (Fw::Exception& e) {
        if (!OnException) return;
        try {
            OnException(this, thread, &e);
        } catch (...) {
            // Left to escape, it would end the worker and with it every
            // later run: it is reported as any handler's exception is.
            ReportOnMainThread(thread, this, std::current_exception());
        }
    } catch (...) {
        ShowMessageBox(kUnknownException, kBrokerCaption, 0);
    }
}

void TThreadBroker::Terminate(Fw::TObject* Sender) {
    auto* ended = static_cast<TBrokerThread*>(Sender);
    if (OnTerminate) {
        const Fw::TLifeToken life = Life();
        try {
            OnTerminate(this);
        } catch (Fw::Exception&) {
            Fw::HandleException(life ? this : nullptr);
        } catch (...) {
            ShowMessageBox(kUnknownError, kBrokerCaption, 0);
        }
        // The handler freed the broker, and the ended thread with it.
        if (!life) return;
    }
    ended->OnTerminate = nullptr;
    if (ended == FThread) {
        const bool restart = FRestartPending;
        FRestartPending = false;
        FThread = nullptr;
        FEnabled.store(restart);
        CreateThread();
        if (FSpinExecute.load() || restart) FThread->Start();
    }
    // Inside its own end handler, as the framework allows: the ended thread
    // leaves its object alone once this returns.
    delete ended;
}

// ---- TChangeNotificationEvent ----

FW_PUBLISH(TChangeNotificationEvent)
FW_END_PUBLISH

unsigned long TChangeNotificationEvent::FilterFlags(TNotifications state) {
    // File name, folder name, attributes, size and last write are the
    // system's own bits; security sits higher up.
    unsigned long flags = state.Bits() & 0x1F;
    if (state.Contains(ntSecurity)) flags |= FILE_NOTIFY_CHANGE_SECURITY;
    return flags;
}

TChangeNotificationEvent::TChangeNotificationEvent(const Fw::AnsiString& path, TNotifications state,
                                                   bool watchSubTree) {
    Fw::AnsiString folder = path;
    const std::size_t n = folder.size();
    // Double-byte aware: the trail byte of a character such as "表" is 0x5C.
    // A root ("\", "C:\") keeps its backslash: "C:" alone names the current
    // folder of drive C.
    if (Fw::IsPathDelimiter(folder, n) && n > 1 && folder[n - 2] != ':') folder.erase(n - 1);
    FHandle = FindFirstChangeNotificationA(folder.c_str(), watchSubTree, FilterFlags(state));
}

TChangeNotificationEvent::~TChangeNotificationEvent() {
    if (FHandle != INVALID_HANDLE_VALUE && FHandle) FindCloseChangeNotification(FHandle);
    FHandle = nullptr;
}

bool TChangeNotificationEvent::Next() {
    return FHandle != INVALID_HANDLE_VALUE && FindNextChangeNotification(FHandle);
}

TWaitOutcome TChangeNotificationEvent::WaitFor(int milliseconds) {
    // INVALID_HANDLE_VALUE is also the current process's pseudo-handle: a
    // wait on it would not fail but last as long as the process.
    if (FHandle == INVALID_HANDLE_VALUE || !FHandle) return woFailed;
    switch (WaitForSingleObject(FHandle, static_cast<DWORD>(milliseconds))) {
        case WAIT_OBJECT_0:
            return woSignaled;
        case WAIT_ABANDONED_0:
            return woAbandoned;
        case WAIT_TIMEOUT:
            return woTimeout;
        default:
            return woFailed;
    }
}

// ---- TPathObserver ----

FW_PUBLISH(TPathObserver)
    .Property("Active", &TPathObserver::Active, &TPathObserver::SetActive).Default(false)
    .Property("Path", &TPathObserver::Path, &TPathObserver::SetPath)
    .Property("NotifyState", &TPathObserver::NotifyState, &TPathObserver::SetNotifyState)
    .Property("WatchSubTree", &TPathObserver::WatchSubTree, &TPathObserver::SetWatchSubTree).Default(true)
    .Property("OnNotify", &TPathObserver::OnNotify, &TPathObserver::OnNotify)
FW_END_PUBLISH

TPathObserver::TPathObserver(Fw::TComponent* Owner)
    : Fw::TComponent(Owner), FLink(std::make_shared<TWorkerLink>(this)) {
    FStopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    FThread = new TBrokerThread(Fw::MakeEvent<&TPathObserver::Execute>(this));
}

TPathObserver::~TPathObserver() {
    OnNotify = nullptr;
    FLink->Destroying.store(true);
    Switch(*FLink);
    delete FLink->PendingObserve.exchange(nullptr);
    SetEvent(FStopEvent);
    EndWorker(*FLink, FThread);
    FThread = nullptr;
    CloseHandle(FStopEvent);
}

void TPathObserver::SetActive(bool value) {
    if (value == FActive) return;
    if (value) CheckProperties();
    FActive = value;
    DoActivate();
}

void TPathObserver::SetPath(const Fw::AnsiString& value) {
    CheckActive();
    FPath = value;
}

void TPathObserver::SetNotifyState(TNotifications value) {
    CheckActive();
    FNotifyState = value;
}

void TPathObserver::SetWatchSubTree(bool value) {
    CheckActive();
    FWatchSubTree = value;
}

void TPathObserver::CheckActive() {
    if (!IsLoading() && FActive) throw Fw::Exception("コンポーネントがアクティブです.");
}

void TPathObserver::CheckProperties() {
    if (IsLoading()) return;
    if (FPath.empty()) throw Fw::Exception("Path が設定されていません.");
    if (!Fw::FileExists(FPath)) {
        DWORD attributes = GetFileAttributesA(FPath.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw Fw::Exception("\"" + FPath + "\"は無効なパスです.");
    }
    if (FNotifyState.Empty()) throw Fw::Exception("NotifyState に何も設定されていません.");
}

void TPathObserver::DoActivate() {
    if (IsLoading() || IsDesigning()) return;
    if (FActive) {
        // Armed here, from the properties of this moment: no change after
        // Active := true returns is missed, and the worker never reads
        // properties that may change once the observer is off again.
        unsigned state = Switch(*FLink);
        auto* request = new Detail::TObserveRequest{
            state, std::make_unique<TChangeNotificationEvent>(FPath, FNotifyState, FWatchSubTree)};
        delete FLink->PendingObserve.exchange(request);
        FThread->Start();
    } else {
        Switch(*FLink);
        delete FLink->PendingObserve.exchange(nullptr);
        SetEvent(FStopEvent);
    }
}

void TPathObserver::Loaded() {
    Fw::TComponent::Loaded();
    if (FActive) DoActivate();
}

void TPathObserver::DoNotify() {
    if (OnNotify) OnNotify(this);
}

void TPathObserver::SyncNotify() {
    std::shared_ptr<TWorkerLink> link = FLink;
    // Switched off (or off and on) since the worker saw the change: the
    // change belongs to a run that is over.
    if (link->Delivering != link->State.load()) return;
    THandlerScope scope(link);
    try {
        DoNotify();
    } catch (...) {
        Fw::HandleException(link->Life ? this : nullptr);
    }
}

void TPathObserver::Execute(Fw::TObject* Sender) {
    auto* thread = static_cast<TBrokerThread*>(Sender);
    std::shared_ptr<TWorkerLink> link = FLink;
    const HANDLE stop = FStopEvent;
    try {
        // A stop signalled before this run took its request belongs to an
        // earlier switch (possibly one after a run that had failed): spent.
        // One signalled from here on is seen by the wait.
        ResetEvent(stop);
        std::unique_ptr<Detail::TObserveRequest> request(link->PendingObserve.exchange(nullptr));
        // Switched off before this run began, or taken by the run before.
        if (!request) return;
        const unsigned state = request->State;
        TChangeNotificationEvent* notification = request->Notification.get();
        // The folder was refused (removed, or not a folder): a failed run.
        if (notification->GetHandle() == INVALID_HANDLE_VALUE) return;

        TEventWaiter waiter(-1, false);
        waiter.Handles()->Add(HandleValue(stop));
        waiter.Handles()->AddObject(HandleValue(notification->GetHandle()), notification);
        while (true) {
            int index = waiter.WaitFor();
            if (index < 0 || link->State.load() != state) return;
            // A stop of an earlier switch, signalled after the reset above.
            if (waiter.Handles()->GetItem(index) == HandleValue(stop)) continue;
            // Re-armed before the report, not after it: Wine keeps no change
            // that comes while nothing is armed, and OnNotify may take long.
            const bool rearmed = notification->Next();
            link->Delivering = state;
            thread->Synchronize(Fw::MakeEvent<&TPathObserver::SyncNotify>(this));
            if (!link->Life || link->State.load() != state || !rearmed) return;
        }
    } catch (...) {
        // Only a lack of resources gets here; the run ends as a failed one.
    }
}

// ---- TEventAlerter ----

FW_PUBLISH(TEventAlerter)
    .Property("Enabled", &TEventAlerter::Enabled, &TEventAlerter::SetEnabled).Default(false)
    .Property("OnSignal", &TEventAlerter::OnSignal, &TEventAlerter::OnSignal)
    .Property("OnAbandone", &TEventAlerter::OnAbandone, &TEventAlerter::OnAbandone)
FW_END_PUBLISH

TEventAlerter::TEventAlerter(Fw::TComponent* Owner)
    : Fw::TComponent(Owner), FLink(std::make_shared<TWorkerLink>(this)) {
    if (IsDesigning()) return;
    // Manual reset: a disable leaves it set until the next run begins, so it
    // ends the wait in progress or the one about to begin.
    FStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    FWaiter = new TEventWaiter(-1, false);
    FWaiter->Handles()->Add(HandleValue(FStopEvent));
    FThread = new TBrokerThread(Fw::MakeEvent<&TEventAlerter::Execute>(this));
}

TEventAlerter::~TEventAlerter() {
    FLink->Destroying.store(true);
    if (!FThread) return;
    Switch(*FLink);
    delete FLink->PendingAlert.exchange(nullptr);
    SetEvent(FStopEvent);
    EndWorker(*FLink, FThread);
    FThread = nullptr;
    delete FWaiter;
    FWaiter = nullptr;
    CloseHandle(FStopEvent);
}

TObjectList<unsigned int>* TEventAlerter::GetEvent() const { return FWaiter ? FWaiter->Handles() : nullptr; }

void TEventAlerter::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    if (IsDesigning() || !FThread) return;
    const unsigned state = Switch(*FLink);
    if (value) {
        // The worker waits on a copy: the user's list stays the main
        // thread's own, free to change at any time.
        auto waiter = std::make_unique<TEventWaiter>(FWaiter->Timeout(), FWaiter->WaitAll());
        const TObjectList<unsigned int>* list = FWaiter->Handles();
        for (int i = 0; i < list->GetItemCount(); ++i)
            waiter->Handles()->AddObject(list->GetItem(i), list->GetObjectA(i));
        delete FLink->PendingAlert.exchange(new Detail::TAlertRequest{state, std::move(waiter)});
        FThread->Start();
    } else {
        delete FLink->PendingAlert.exchange(nullptr);
        SetEvent(FStopEvent);
    }
}

void TEventAlerter::Execute(Fw::TObject* Sender) {
    auto* thread = static_cast<TBrokerThread*>(Sender);
    std::shared_ptr<TWorkerLink> link = FLink;
    const HANDLE stop = FStopEvent;
    try {
        // Reset before the request is taken: a disable after this point
        // leaves the event set for the wait below.
        ResetEvent(stop);
        // None: disabled before the wait began, or this enabling's wait was
        // taken by the run before (a start that came during it).
        std::unique_ptr<Detail::TAlertRequest> request(link->PendingAlert.exchange(nullptr));
        if (!request || request->State != link->State.load()) return;
        TEventWaiter& waiter = *request->Waiter;

        int index = waiter.WaitFor();
        if (index < 0) return;
        const unsigned int value = waiter.Handles()->GetItem(index);
        if (value == HandleValue(stop)) return;
        const HANDLE handle = ValueHandle(value);
        link->ReportOutcome = waiter.WaitResult();
        link->ReportHandle = handle;
        link->ReportObject = waiter.Handles()->GetObjectA(index);
        link->Delivering = request->State;
        // The wait took a mutex (signalled or abandoned) for this thread:
        // kept, it would lock out every other thread, the handler's own main
        // thread included. Any other kind of object refuses the call.
        ReleaseMutex(handle);
        thread->Synchronize(Fw::MakeEvent<&TEventAlerter::SyncReport>(this));
    } catch (...) {
        // Only a lack of resources gets here; the wait ends unreported.
    }
}

void TEventAlerter::SyncReport() {
    std::shared_ptr<TWorkerLink> link = FLink;
    // Disabled since the wait ended: the report is void.
    if (link->Delivering != link->State.load()) return;
    FSignaledHandle = link->ReportHandle;
    FSignaledObject = link->ReportObject;
    const bool abandoned = link->ReportOutcome == woAbandoned;
    {
        THandlerScope scope(link);
        try {
            if (abandoned)
                DoAbandone();
            else
                DoSignal();
        } catch (...) {
            Fw::HandleException(link->Life ? this : nullptr);
        }
    }
    // Its owner is gone: the mutex is reported once and not waited on again.
    if (abandoned && link->Life) FWaiter->Handles()->Remove(HandleValue(link->ReportHandle));
}

void TEventAlerter::DoSignal() {
    // Copied first: the handler may free the alerter.
    const HANDLE handle = FSignaledHandle;
    bool reset = true;
    if (OnSignal) OnSignal(this, reset);
    if (reset) ResetEvent(handle);
}

void TEventAlerter::DoAbandone() {
    if (OnAbandone) OnAbandone(this);
}

}  // namespace Kit
