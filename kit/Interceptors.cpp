#include "kit/Interceptors.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>

#include "framework/Application.h"
#include "framework/ComObj.h"
#include "framework/GlobalBlocks.h"
#include "framework/ObjectInstance.h"

namespace Kit {

using namespace Fw;

FW_UNIT_BEGIN(Interceptors)
    .Classes<TWindowSubclass, TMessageEventDispatcher, TCustomMessageInterceptor, TFormMessageInterceptor,
             TMDIFormClientMessageInterceptor, TControlMessageInterceptor, TNotificationProxy, TInterceptorUser,
             TFileDrop, TMouseWheel, TImageListImage, TBitmapPainter, TRMItem, TRMItems, TRegisteredMessage>()
FW_UNIT_END

WNDPROC SetWindowProc(HWND wnd, WNDPROC proc) {
    return reinterpret_cast<WNDPROC>(SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

namespace {

// A window procedure read with the ANSI functions is either an ANSI
// procedure, code that may be called like any function, or a special value
// (the system's stand-in for a Unicode procedure) that only CallWindowProc
// can call. Calling code directly saves CallWindowProc's own cost on every
// message, which is most of what a hook adds.
bool IsCode(WNDPROC proc) {
    MEMORY_BASIC_INFORMATION info;
    if (!proc || !VirtualQuery(reinterpret_cast<const void*>(proc), &info, sizeof info)) return false;
    constexpr DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && (info.Protect & executable) != 0;
}

LRESULT CallPrevious(WNDPROC proc, bool isCode, HWND wnd, const TMessage& m) {
    if (!proc) return 0;
    return isCode ? proc(wnd, m.Msg, m.WParam, m.LParam) : CallWindowProcA(proc, wnd, m.Msg, m.WParam, m.LParam);
}

}  // namespace

// ---- Window subclassing ----
//
// The procedure a subclass writes into a window is a thunk bound to a small
// link object, not to the subclass itself, so that it can outlive the
// subclass. A link is in one of three states:
// - owned: its subclass calls it its own; messages go to the subclass;
// - released: the subclass let go of it while a message was still running
//   through it; it is freed when the last such message returns;
// - orphaned: the subclass let go of the window while another party's
//   procedure, written after it, still calls it; it forwards every message
//   to the procedure that was there before it, and goes once it finds itself
//   on top of the chain again (writing that procedure back) or the window is
//   gone.

namespace Detail {

struct TSubclassLink {
    TWindowSubclass* Owner;
    WNDPROC Thunk = nullptr;
    int Depth = 0;  // messages running through the link now
    bool Orphan = false;
    HWND Wnd = nullptr;          // orphaned: the window it forwards for
    WNDPROC Previous = nullptr;  // orphaned: where it forwards to
    bool WindowGone = false;

    explicit TSubclassLink(TWindowSubclass* owner) : Owner(owner) {
        // No sender for the exception report: the owner may be gone by then.
        Thunk = MakeObjectInstance(TWndMethod::Bind<&TSubclassLink::Receive>(this));
    }
    ~TSubclassLink() { FreeObjectInstance(Thunk); }

    void Receive(TMessage& message);
    // After the last message has left the link: frees it when nobody needs it.
    void Settle();
};

// Keeps a link alive while a message runs through it.
class TPin {
public:
    explicit TPin(TSubclassLink* link) : FLink(link) {
        if (FLink) ++FLink->Depth;
    }
    ~TPin() {
        if (FLink && --FLink->Depth == 0) FLink->Settle();
    }
    TPin(const TPin&) = delete;
    TPin& operator=(const TPin&) = delete;

private:
    TSubclassLink* FLink;
};

namespace {

// Orphans whose window might still call them. Windows of several threads
// may each have orphans, hence the lock.
std::mutex& OrphanLock() {
    static std::mutex lock;
    return lock;
}
std::vector<TSubclassLink*>& Orphans() {
    static auto* const orphans = new std::vector<TSubclassLink*>;
    return *orphans;
}

void ForgetOrphan(TSubclassLink* link) {
    std::lock_guard<std::mutex> guard(OrphanLock());
    auto& list = Orphans();
    list.erase(std::remove(list.begin(), list.end(), link), list.end());
}

// A party that wrote its previous procedure back without looking dropped the
// orphans below it from the chain; once their window is gone they are freed.
void AddOrphan(TSubclassLink* link) {
    std::vector<TSubclassLink*> gone;
    {
        std::lock_guard<std::mutex> guard(OrphanLock());
        auto& list = Orphans();
        for (auto it = list.begin(); it != list.end();) {
            if ((*it)->Depth == 0 && !IsWindow((*it)->Wnd)) {
                gone.push_back(*it);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
        list.push_back(link);
    }
    for (TSubclassLink* l : gone) delete l;
}

}  // namespace

// ---- After a message ----
//
// A message on its way through this thread's hooks (the hooks of one window
// nest: the last one made calls the one before it), with what is to be done
// once it has been through all of them: when the outermost hook that took it
// returns. A drop block is finished there, after every drop component that
// the message reaches has read it.

namespace {

struct TMessageFrame {
    UINT Msg;
    WPARAM WParam;
    TMessageFrame* Outer;
    std::vector<std::pair<const void*, std::function<void()>>> After;
};

thread_local TMessageFrame* tFrames = nullptr;

TMessageFrame* OutermostFrame(const TMessage& message) {
    TMessageFrame* found = nullptr;
    for (TMessageFrame* f = tFrames; f; f = f->Outer)
        if (f->Msg == message.Msg && f->WParam == message.WParam) found = f;
    return found;
}

// Opens a frame for a message that no outer hook has taken yet. Only the
// messages whose handlers leave work to the end of the message (a drop
// block to finish) get one: every other message passes at no cost.
class TFrameScope {
public:
    explicit TFrameScope(const TMessage& message) : FFrame{message.Msg, message.WParam, nullptr, {}} {
        FOpen = message.Msg == WM_DROPFILES && !OutermostFrame(message);
        if (!FOpen) return;
        FFrame.Outer = tFrames;
        tFrames = &FFrame;
    }
    ~TFrameScope() {
        if (!FOpen) return;
        tFrames = FFrame.Outer;
        for (auto& [key, action] : FFrame.After) action();
    }
    TFrameScope(const TFrameScope&) = delete;
    TFrameScope& operator=(const TFrameScope&) = delete;

private:
    TMessageFrame FFrame;
    bool FOpen;
};

}  // namespace

void AfterMessage(const TMessage& message, const void* key, std::function<void()> action) {
    TMessageFrame* frame = OutermostFrame(message);
    if (!frame) {
        action();
        return;
    }
    for (const auto& entry : frame->After)
        if (entry.first == key) return;
    frame->After.emplace_back(key, std::move(action));
}

bool IsHook(WNDPROC proc) {
    static const void* const receive =
        TWndMethod::Bind<&TSubclassLink::Receive>(static_cast<TSubclassLink*>(nullptr)).Method().Code;
    return IsObjectInstance(proc) && ObjectInstanceMethod(proc).Method().Code == receive;
}

void TSubclassLink::Receive(TMessage& message) {
    TPin pin(this);
    TFrameScope frame(message);
    if (Owner) {
        Owner->WindowProc(message);
        return;
    }
    if (!Orphan) return;  // released: the window no longer has this procedure
    message.Result = CallWindowProcA(Previous, Wnd, message.Msg, message.WParam, message.LParam);
    if (message.Msg == WM_NCDESTROY) WindowGone = true;
}

void TSubclassLink::Settle() {
    if (Owner) return;
    if (Orphan) {
        if (!WindowGone && IsWindow(Wnd)) {
            if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(Wnd, GWLP_WNDPROC)) != Thunk) return;
            SetWindowProc(Wnd, Previous);
        }
        ForgetOrphan(this);
    }
    delete this;
}

}  // namespace Detail

FW_PUBLISH(TWindowSubclass)
FW_END_PUBLISH

TWindowSubclass::TWindowSubclass() { FLink = new Detail::TSubclassLink(this); }

TWindowSubclass::~TWindowSubclass() {
    UnSubclass();
    if (!FLink) return;
    if (FLink->Depth > 0) DropLink();
    else delete FLink;
    FLink = nullptr;
}

Detail::TSubclassLink* TWindowSubclass::Link() {
    if (!FLink) FLink = new Detail::TSubclassLink(this);
    return FLink;
}

WNDPROC TWindowSubclass::Proc() { return Link()->Thunk; }

// The link goes once the messages running through it have returned; the
// next window gets a fresh one.
void TWindowSubclass::DropLink() {
    FLink->Owner = nullptr;
    FLink = nullptr;
}

void TWindowSubclass::UnSubclass() {
    if (!FHandle) return;
    HWND wnd = FHandle;
    FHandle = nullptr;
    if (!FLink || !IsWindow(wnd)) return;  // gone with its window
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC)) == FLink->Thunk) {
        SetWindowProc(wnd, FPrevious);
        if (FLink->Depth > 0) DropLink();
        return;
    }
    // Someone hooked the window after this object and calls its procedure:
    // the procedure stays, forwarding to the one it replaced.
    Detail::TSubclassLink* link = FLink;
    link->Wnd = wnd;
    link->Previous = FPrevious;
    link->Orphan = true;
    DropLink();
    Detail::AddOrphan(link);
}

void TWindowSubclass::SetHandle(HWND wnd) {
    UnSubclass();
    if (!wnd) return;
    WNDPROC proc = Link()->Thunk;
    FPrevious = SetWindowProc(wnd, proc);
    FPreviousIsCode = IsCode(FPrevious);
    FHandle = wnd;
}

void TWindowSubclass::SetWinControl(TWinControl* control) {
    UnSubclass();
    if (control) SetHandle(control->Handle());
}

void TWindowSubclass::WindowProc(TMessage& Message) {
    Detail::TSubclassLink* link = FLink;
    Detail::TPin pin(link);
    // Taken now: WM_DESTROY lets go of the window before the previous
    // procedure gets it, and a handler may destroy this object.
    const HWND wnd = FHandle;
    const WNDPROC previous = FPrevious;
    const bool previousIsCode = FPreviousIsCode;
    const bool destroy = Message.Msg == WM_DESTROY;
    bool handled = false;
    try {
        if (OnWindowMessage) OnWindowMessage(this, Message, handled);
    } catch (...) {
        if (destroy && link && link->Owner == this) UnSubclass();
        throw;
    }
    // Still this object's window: unless a handler destroyed this object or
    // made it let go.
    if (link && link->Owner == this && FHandle == wnd && destroy) UnSubclass();
    // A window that a handler destroyed (its form freed) has no procedure
    // left to call: the one it had may have gone with its control. Still
    // hooked by this object, it is alive (its WM_DESTROY would have let go).
    if (!handled && wnd && ((link && link->Owner == this && FHandle == wnd) || IsWindow(wnd)))
        Message.Result = CallPrevious(previous, previousIsCode, wnd, Message);
}

void TWindowSubclass::CallOldProc(TMessage& Message, bool& Handled) {
    if (Handled) return;
    Message.Result = CallPrevious(FPrevious, FPreviousIsCode, FHandle, Message);
    Handled = true;
}

// ---- Message event dispatcher ----

FW_PUBLISH(TMessageEventDispatcher)
FW_END_PUBLISH

TMessageEventDispatcher::TMessageEventDispatcher() = default;

TMessageEventDispatcher::~TMessageEventDispatcher() = default;

void TMessageEventDispatcher::AddHandler(unsigned Msg, const TMessageHandler& Handler) {
    FLists[Msg].push_back(Handler);
}

void TMessageEventDispatcher::DeleteHandler(unsigned Msg, const TMessageHandler& Handler) {
    THandlerList& list = FLists[Msg];
    if (FWalks == 0) {
        list.erase(std::remove(list.begin(), list.end(), Handler), list.end());
        return;
    }
    // A walk may be on this list: entries keep their places until it ends.
    for (TMessageHandler& h : list)
        if (h == Handler) {
            h = nullptr;
            FDirty = true;
        }
}

void TMessageEventDispatcher::DispatchEvent(TObject*, TMessage& Message, bool& Handled) {
    THandlerList& list = FLists[Message.Msg];  // map nodes stay put; the vector may grow
    // A handler may destroy this dispatcher (its interceptor freed).
    const TLifeToken life = FLife.Token();
    ++FWalks;
    auto end = OnScopeExit([this, &life] {
        if (!life) return;
        if (--FWalks == 0 && FDirty) Compact();
    });
    // Those added during the walk wait for the next message.
    const std::size_t count = list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const TMessageHandler handler = list[i];
        if (!handler) continue;
        bool handled = false;
        handler(this, Message, handled);
        if (handled) Handled = true;
        if (!life) return;
    }
}

void TMessageEventDispatcher::Compact() {
    FDirty = false;
    for (auto& [msg, list] : FLists)
        list.erase(std::remove(list.begin(), list.end(), TMessageHandler()), list.end());
}

std::vector<TMessageHandler> TMessageEventDispatcher::Handlers(unsigned Msg) const {
    std::vector<TMessageHandler> live;
    auto it = FLists.find(Msg);
    if (it != FLists.end())
        for (const TMessageHandler& h : it->second)
            if (h) live.push_back(h);
    return live;
}

// ---- Message interceptors ----

FW_PUBLISH(TCustomMessageInterceptor)
FW_END_PUBLISH

TCustomMessageInterceptor::TCustomMessageInterceptor(TComponent* Owner) : TComponent(Owner) {
    FDispatcher = new TMessageEventDispatcher;
    FSubclass = new TWindowSubclass;
    FSubclass->OnWindowMessage = MakeEvent<&TCustomMessageInterceptor::WindowMessageHandler>(this);
}

TCustomMessageInterceptor::~TCustomMessageInterceptor() {
    // Also users switched on here after BeforeDestruction.
    if (!FDispatcher->Handlers(WM_DESTROY).empty()) FUsersReleased = false;
    ReleaseUsers();
    delete FSubclass;
    FSubclass = nullptr;
    delete FDispatcher;
    FDispatcher = nullptr;
}

void TCustomMessageInterceptor::BeforeDestruction() {
    ReleaseUsers();
    TComponent::BeforeDestruction();
}

void TCustomMessageInterceptor::ReleaseUsers() {
    if (FUsersReleased) return;
    FUsersReleased = true;
    TMessage destroy{WM_DESTROY, 0, 0, 0};
    bool handled = false;
    auto disable = OnScopeExit([this] { FEnabled = false; });
    FDispatcher->DispatchEvent(this, destroy, handled);
}

void TCustomMessageInterceptor::WindowMessageHandler(TObject* Sender, TMessage& Message, bool& Handled) {
    if (!FEnabled) return;
    const TLifeToken life = Life();
    FDispatcher->DispatchEvent(Sender, Message, Handled);
    if (life && !Handled && OnMessage) OnMessage(Sender, Message, Handled);
}

FW_PUBLISH(TFormMessageInterceptor)
    .Property("Enabled", &TCustomMessageInterceptor::Enabled, &TCustomMessageInterceptor::SetEnabled).Default(true)
    .Property("OnMessage", &TCustomMessageInterceptor::OnMessage, &TCustomMessageInterceptor::OnMessage)
FW_END_PUBLISH

TFormMessageInterceptor::TFormMessageInterceptor(TComponent* Owner) : TCustomMessageInterceptor(Owner) {
    auto* form = dynamic_cast<TCustomForm*>(Owner);
    if (!form) throw Exception("オーナーがフォームではありません.");
    Subclass()->SetHandle(form->Handle());
}

FW_PUBLISH(TMDIFormClientMessageInterceptor)
    .Property("Enabled", &TCustomMessageInterceptor::Enabled, &TCustomMessageInterceptor::SetEnabled).Default(true)
    .Property("OnMessage", &TCustomMessageInterceptor::OnMessage, &TCustomMessageInterceptor::OnMessage)
FW_END_PUBLISH

TMDIFormClientMessageInterceptor::TMDIFormClientMessageInterceptor(TComponent* Owner)
    : TCustomMessageInterceptor(Owner) {
    auto* form = dynamic_cast<TForm*>(Owner);
    if (!form) throw Exception("オーナーがフォームではありません.");
    if (form->FormStyle() != fsMDIForm) throw Exception("フォームは MDIForm ではありません.");
    // The client window comes with the form's.
    form->HandleNeeded();
    Subclass()->SetHandle(form->ClientHandle());
}

FW_PUBLISH(TControlMessageInterceptor)
    .Property("Enabled", &TCustomMessageInterceptor::Enabled, &TCustomMessageInterceptor::SetEnabled).Default(true)
    .Property("OnMessage", &TCustomMessageInterceptor::OnMessage, &TCustomMessageInterceptor::OnMessage)
    .Property("Control", &TControlMessageInterceptor::Control, &TControlMessageInterceptor::SetControl)
FW_END_PUBLISH

TControlMessageInterceptor::TControlMessageInterceptor(TComponent* Owner) : TCustomMessageInterceptor(Owner) {}

void TControlMessageInterceptor::SetControl(TWinControl* Value) {
    Subclass()->SetWinControl(Value);
    FControl = Value;
    // Controls of the same owner are reported by the owner; the framework
    // handles both cases.
    if (Value) Value->FreeNotification(this);
}

void TControlMessageInterceptor::Notification(TComponent* AComponent, TOperation Operation) {
    // The control may be half destroyed: only its address is compared, and
    // letting go touches its window handle, never the control.
    if (Operation == opRemove && AComponent && AComponent == FControl) {
        Subclass()->SetWinControl(nullptr);
        FControl = nullptr;
    }
    TCustomMessageInterceptor::Notification(AComponent, Operation);
}

FW_PUBLISH(TNotificationProxy)
FW_END_PUBLISH

TNotificationProxy::TNotificationProxy() : TComponent(nullptr) {}

void TNotificationProxy::Notification(TComponent* AComponent, TOperation Operation) {
    if (OnNotification) OnNotification(AComponent, Operation);
    TComponent::Notification(AComponent, Operation);
}

// ---- Interceptor user base ----

FW_PUBLISH(TInterceptorUser)
    .Property("Active", &TInterceptorUser::Active, &TInterceptorUser::SetActive).Default(false)
    .Property("MessageInterceptor", &TInterceptorUser::MessageInterceptor, &TInterceptorUser::SetInterceptor)
    .Property("Control", &TInterceptorUser::Control, &TInterceptorUser::SetControl)
FW_END_PUBLISH

TInterceptorUser::TInterceptorUser(TComponent* Owner) : TComponent(Owner) {
    FSubclass = new TWindowSubclass;
    FDispatcher = new TMessageEventDispatcher;
    FSubclass->OnWindowMessage = MakeEvent<&TMessageEventDispatcher::DispatchEvent>(FDispatcher);
}

TInterceptorUser::~TInterceptorUser() {
    // Normally switched off already (BeforeDestruction); otherwise nothing
    // may keep calling this object.
    Unregister();
    FActive = false;
    delete FSubclass;
    FSubclass = nullptr;
    delete FDispatcher;
    FDispatcher = nullptr;
}

void TInterceptorUser::BeforeDestruction() {
    FActivatePending = false;
    SetActive(false);
    TComponent::BeforeDestruction();
}

void TInterceptorUser::DefineHandler(int Msg, const TMessageHandler& Handler) {
    FDefinitions.push_back(TDefinition{static_cast<unsigned>(Msg), Handler});
}

void TInterceptorUser::ClearHandlerList() { FDefinitions.clear(); }

void TInterceptorUser::AddHandlers(TMessageEventDispatcher* Dispatcher) {
    if (IsLoading()) return;
    Dispatcher->AddHandler(WM_DESTROY, MakeEvent<&TInterceptorUser::DestroyHandler>(this));
    for (const TDefinition& d : FDefinitions) Dispatcher->AddHandler(d.Msg, d.Handler);
}

void TInterceptorUser::DeleteHandlers(TMessageEventDispatcher* Dispatcher) {
    for (const TDefinition& d : FDefinitions) Dispatcher->DeleteHandler(d.Msg, d.Handler);
    Dispatcher->DeleteHandler(WM_DESTROY, MakeEvent<&TInterceptorUser::DestroyHandler>(this));
}

void TInterceptorUser::CheckActive() {
    if (!IsLoading() && FActive) throw Exception("コンポーネントがアクティブです.");
}

void TInterceptorUser::DefineOnce() {
    if (FDefined) return;
    FDefined = true;
    DefineHandlers();
}

void TInterceptorUser::Register(TMessageEventDispatcher* dispatcher) {
    AddHandlers(dispatcher);
    FRegistered = dispatcher;
}

void TInterceptorUser::Unregister() {
    TMessageEventDispatcher* dispatcher = FRegistered;
    FRegistered = nullptr;
    if (dispatcher) DeleteHandlers(dispatcher);
}

// Loaded put the handlers into the own dispatcher, or the first switching
// on in control mode does; switching off leaves them there.
void TInterceptorUser::RegisterOwn() {
    if (FOwnRegistered) return;
    AddHandlers(FDispatcher);
    FOwnRegistered = true;
}

void TInterceptorUser::DestroyHandler(TObject* Sender, TMessage&, bool&) {
    // The handlers leave the interceptor's dispatcher now: its walk skips
    // them, and nothing there refers to this user any more.
    auto forget = OnScopeExit([this, Sender] {
        FMessageInterceptor = nullptr;
        FControl = nullptr;
        if (FRegistered && FRegistered == Sender) Unregister();
    });
    if (FActive) {
        FActive = false;
        DoActivate(false);
    }
}

void TInterceptorUser::Loaded() {
    TComponent::Loaded();
    DefineOnce();
    if (!FActive) return;
    if (!FMessageInterceptor && !FControl && ComponentState().Contains(csFixups)) {
        // The interceptor or control is on a form that is not read yet.
        FActive = false;
        FActivatePending = true;
        return;
    }
    if (FMessageInterceptor) Register(FMessageInterceptor->Dispatcher());
    if (FControl) {
        RegisterOwn();
        FSubclass->SetWinControl(FControl);
    }
    DoActivate(FActive);
}

void TInterceptorUser::SetActive(bool Value) {
    FActivatePending = false;
    if (Value == FActive) return;
    if (IsLoading()) {
        FActive = Value;
        return;
    }
    if (Value) {
        if (!FMessageInterceptor && !FControl) throw Exception("MessageInterceptor か Control を設定して下さい.");
        DefineOnce();
        if (FMessageInterceptor) Register(FMessageInterceptor->Dispatcher());
        if (FControl) {
            RegisterOwn();
            FSubclass->SetWinControl(FControl);
        }
        FActive = true;
    } else {
        FActive = false;
        Unregister();
        FSubclass->SetWinControl(nullptr);
    }
    DoActivate(FActive);
}

void TInterceptorUser::ActivateIfPending(bool referenceSet) {
    if (!FActivatePending || !referenceSet || IsLoading()) return;
    SetActive(true);
}

void TInterceptorUser::SetInterceptor(TCustomMessageInterceptor* Value) {
    CheckActive();
    FControl = nullptr;
    FMessageInterceptor = Value;
    if (Value) Value->FreeNotification(this);
    ActivateIfPending(Value != nullptr);
}

void TInterceptorUser::SetControl(TWinControl* Value) {
    CheckActive();
    FMessageInterceptor = nullptr;
    FControl = Value;
    if (Value) Value->FreeNotification(this);
    ActivateIfPending(Value != nullptr);
}

void TInterceptorUser::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || !AComponent) return;
    // The component may be half destroyed: it is forgotten before DoActivate
    // could reach it through GetHandle. An interceptor has told its
    // registered users already (its WM_DESTROY comes first), so only an
    // inactive user, or one still loading, holds it here.
    if (AComponent == FMessageInterceptor || AComponent == FControl) {
        const bool wasActive = FActive;
        FActive = false;
        FMessageInterceptor = nullptr;
        FControl = nullptr;
        FSubclass->SetWinControl(nullptr);
        if (wasActive && !IsLoading()) DoActivate(false);
    }
}

void TInterceptorUser::DoActivate(bool) {}

HWND TInterceptorUser::GetHandle() {
    if (FMessageInterceptor) return FMessageInterceptor->Subclass()->Handle();
    if (FControl) {
        // A control on its way out gets no new window.
        if (FControl->ComponentState().Contains(csDestroying) && !FControl->HandleAllocated()) return nullptr;
        return FControl->Handle();
    }
    return nullptr;
}

TWindowSubclass* TInterceptorUser::GetSubclass() const {
    if (FMessageInterceptor) return FMessageInterceptor->Subclass();
    if (FControl) return FSubclass;
    return nullptr;
}

TMessageEventDispatcher* TInterceptorUser::GetDispatcher() const {
    if (FMessageInterceptor) return FMessageInterceptor->Dispatcher();
    if (FControl) return FDispatcher;
    return nullptr;
}

// ---- File drop and mouse wheel ----

namespace {

// The extension of the file-name part, from its last dot, as the name has it.
bool HasLinkExtension(const std::wstring& name) {
    std::size_t slash = name.find_last_of(L"\\/:");
    std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return false;
    return name.compare(dot, std::wstring::npos, L".lnk") == 0;
}

}  // namespace

AnsiString ResolveShortcutFile(const AnsiString& FileName) {
    AnsiString result = FileName;
    TComInit com;
    if (!com.Initialized()) return result;
    TComPtr<IShellLinkA> link;
    TComPtr<IPersistFile> file;
    // The whole name, however long: a cut one would name another file.
    const std::wstring wide = AnsiToWide(FileName);
    HWND owner = Application ? Application->Handle() : nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.OutVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) || FAILED(file->Load(wide.c_str(), STGM_READ)) ||
        FAILED(link->Resolve(owner, SLR_ANY_MATCH)))
        return result;
    char path[MAX_PATH] = "";
    WIN32_FIND_DATAA data{};
    if (link->GetPath(path, MAX_PATH, &data, 0) == S_OK) result = path;
    return result;
}

FW_PUBLISH(TFileDrop)
    .Property("ActivateWindow", &TFileDrop::ActivateWindow, &TFileDrop::SetActivateWindow).Default(true)
    .Property("FollowLink", &TFileDrop::FollowLink, &TFileDrop::SetFollowLink).Default(true)
    .Property("OnDropFiles", &TFileDrop::OnDropFiles, &TFileDrop::OnDropFiles)
FW_END_PUBLISH

TFileDrop::TFileDrop(TComponent* Owner) : TInterceptorUser(Owner), FFiles(new TStringList) {}

TFileDrop::~TFileDrop() {
    delete FFiles;
    FFiles = nullptr;
}

void TFileDrop::DefineHandlers() { DefineHandler(WM_DROPFILES, MakeEvent<&TFileDrop::DropHandler>(this)); }

void TFileDrop::DoActivate(bool Value) {
    TInterceptorUser::DoActivate(Value);
    if (IsDesigning()) return;
    if (HWND wnd = GetHandle()) DragAcceptFiles(wnd, Value);
}

void TFileDrop::DropHandler(TObject*, TMessage& Message, bool& Handled) {
    const HDROP drop = TWMDropFiles(Message).Drop();
    TDropList list;
    {
        // Every drop component that the message reaches reads the same
        // block: it is finished once the message has been through them all.
        auto finish = OnScopeExit([&] { Detail::AfterMessage(Message, drop, [drop] { DragFinish(drop); }); });
        list = ReadDropList(reinterpret_cast<HGLOBAL>(drop));
    }
    // A hook made before this one on the window (another component's) gets
    // the drop too; the window's own procedure does not.
    TWindowSubclass* subclass = GetSubclass();
    Handled = !(subclass && Detail::IsHook(subclass->PreviousProc()));
    // A block that is no list within its bounds is no drop.
    if (list.Names.empty()) return;
    FFiles->Clear();
    for (const std::wstring& wide : list.Names) {
        AnsiString name = AnsiFileName(wide);
        if (FFollowLink && HasLinkExtension(wide)) name = ResolveShortcutFile(name);
        FFiles->Add(name);
    }
    FDropPoint = list.Point;
    const TLifeToken life = Life();
    if (OnDropFiles) OnDropFiles(this);
    if (life && FActivateWindow)
        if (HWND wnd = GetHandle()) {
            SetActiveWindow(wnd);
            SetForegroundWindow(wnd);
        }
}

FW_PUBLISH(TMouseWheel)
    .Property("OnWheel", &TMouseWheel::OnWheel, &TMouseWheel::OnWheel)
FW_END_PUBLISH

TMouseWheel::TMouseWheel(TComponent* Owner) : TInterceptorUser(Owner) {}

void TMouseWheel::DefineHandlers() {
    if (IsDesigning()) return;
    DefineHandler(WM_MOUSEWHEEL, MakeEvent<&TMouseWheel::WheelHandler>(this));
}

void TMouseWheel::WheelHandler(TObject*, TMessage& Message, bool&) {
    if (!OnWheel) return;
    TWMMouseWheel wheel(Message);
    OnWheel(this, wheel.WheelDelta(), wheel.Shift(), wheel.X(), wheel.Y());
}

// ---- Bitmap painter ----

FW_PUBLISH(TImageListImage)
    .Property("ImageList", &TImageListImage::ImageList, &TImageListImage::SetImageList)
    .Property("Index", &TImageListImage::Index, &TImageListImage::SetIndex).Default(-1)
FW_END_PUBLISH

TImageListImage::TImageListImage(TComponent* Owner) : FOwner(Owner) {}

void TImageListImage::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TImageListImage*>(Source);
    if (!other) throw Exception("Assign できません.");
    SetImageList(other->FImageList);
    FIndex = other->FIndex;
}

void TImageListImage::SetImageList(TImageList* Value) {
    FImageList = Value;
    if (Value && FOwner) Value->FreeNotification(FOwner);
}

bool TImageListImage::isValid() const {
    return FImageList && FIndex >= 0 && FIndex < FImageList->Count();
}

void TImageListImage::Draw(TCanvas* Canvas, int X, int Y, bool Enabled) {
    if (!isValid()) throw Exception("ImageList が無効です.");
    FImageList->Draw(Canvas, X, Y, FIndex, Enabled);
}

namespace {

// The size an image is drawn at: the one asked for, or the list's own.
TSize DrawnSize(const TImageList* list, TSize asked, bool enabled) {
    if (asked.cx <= 0 || asked.cy <= 0 || !enabled) return TSize(list->Width(), list->Height());
    return asked;
}

}  // namespace

void TImageListImage::DrawTiled(TCanvas* Canvas, const TRect& Rect, bool Enabled, TSize Size) {
    if (!isValid()) throw Exception("ImageList が無効です.");
    const TSize size = DrawnSize(FImageList, Size, Enabled);
    for (int x = Rect.Left; x < Rect.Right; x += size.cx)
        for (int y = Rect.Top; y < Rect.Bottom; y += size.cy) {
            if (Enabled) FImageList->StretchDraw(Canvas, Bounds(x, y, size.cx, size.cy), FIndex);
            else Draw(Canvas, x, y, Enabled);
        }
}

void TImageListImage::DrawCenter(TCanvas* Canvas, const TRect& Rect, bool Enabled, TSize Size) {
    if (!isValid()) throw Exception("ImageList が無効です.");
    const TSize size = DrawnSize(FImageList, Size, Enabled);
    const int x = Rect.Left + (Rect.Right - Rect.Left - size.cx) / 2;
    const int y = Rect.Top + (Rect.Bottom - Rect.Top - size.cy) / 2;
    if (Enabled) FImageList->StretchDraw(Canvas, Bounds(x, y, size.cx, size.cy), FIndex);
    else Draw(Canvas, x, y, Enabled);
}

FW_PUBLISH(TBitmapPainter)
    .Property("DrawMessage", &TBitmapPainter::DrawMessage, &TBitmapPainter::SetDrawMessage).Default(dmPaint)
    .Property("Image", &TBitmapPainter::Image, &TBitmapPainter::SetImage)
    .Property("Tiled", &TBitmapPainter::Tiled, &TBitmapPainter::SetTiled).Default(true)
    .Property("Scaled", &TBitmapPainter::Scaled, &TBitmapPainter::SetScaled).Default(false)
FW_END_PUBLISH

TBitmapPainter::TBitmapPainter(TComponent* Owner) : TInterceptorUser(Owner), FImage(new TImageListImage(this)) {}

TBitmapPainter::~TBitmapPainter() {
    delete FImage;
    FImage = nullptr;
}

void TBitmapPainter::DefineHandlers() {
    DefineHandler(WM_PAINT, MakeEvent<&TBitmapPainter::PaintHandler>(this));
    DefineHandler(WM_ERASEBKGND, MakeEvent<&TBitmapPainter::EraseBkgndHandler>(this));
}

void TBitmapPainter::SetActive(bool Value) {
    if (Value && !IsLoading()) {
        if (!FImage->isValid()) throw Exception("Image が無効です.");
        UpdateWindow();
    }
    TInterceptorUser::SetActive(Value);
}

void TBitmapPainter::DoActivate(bool Value) {
    TInterceptorUser::DoActivate(Value);
    UpdateWindow();
}

void TBitmapPainter::SetDrawMessage(TDrawMessage Value) {
    FDrawMessage = Value;
    UpdateWindow();
}

void TBitmapPainter::SetTiled(bool Value) {
    FTiled = Value;
    UpdateWindow();
}

void TBitmapPainter::SetScaled(bool Value) {
    FScaled = Value;
    UpdateWindow();
}

void TBitmapPainter::SetImage(TImageListImage* Value) {
    CheckActive();
    FImage->Assign(Value);
    UpdateWindow();
}

void TBitmapPainter::Notification(TComponent* AComponent, TOperation Operation) {
    TInterceptorUser::Notification(AComponent, Operation);
    if (Operation == opRemove && FImage && AComponent && AComponent == FImage->ImageList()) {
        FImage->SetImageList(nullptr);
        // What the list drew goes too.
        if (Active()) {
            HWND wnd = GetHandle();
            if (wnd) RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        }
    }
}

// The background is erased too: a window that paints no background of its
// own in WM_PAINT would otherwise keep the image of the mode before (the
// tiles after switching to centred, the image after switching off).
void TBitmapPainter::UpdateWindow() {
    if (!FImage || !FImage->isValid()) return;
    if (HWND wnd = GetHandle()) RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void TBitmapPainter::DrawBitmap(TCanvas* Canvas) {
    if (!FImage || !FImage->isValid()) return;
    RECT client{};
    GetClientRect(GetHandle(), &client);
    const TRect rect(client.left, client.top, client.right, client.bottom);
    TSize size;
    if (FScaled) {
        const int ppi = WindowPixelsPerInch(GetHandle());
        size = TSize(ScaleLength(FImage->ImageList()->Width(), ppi, DefaultPixelsPerInch),
                     ScaleLength(FImage->ImageList()->Height(), ppi, DefaultPixelsPerInch));
    }
    if (FTiled) FImage->DrawTiled(Canvas, rect, true, size);
    else FImage->DrawCenter(Canvas, rect, true, size);
}

// Without a valid image the window paints and erases itself as if there
// were no painter.
void TBitmapPainter::PaintHandler(TObject*, TMessage& Message, bool& Handled) {
    if (FDrawMessage != dmPaint || !FImage || !FImage->isValid()) return;
    TWindowSubclass* subclass = GetSubclass();
    // Centred, the window paints itself first (which validates it), and the
    // image goes on top through a plain DC; tiled, the tiles cover it all.
    if (!FTiled && subclass) subclass->CallOldProc(Message, Handled);
    HWND wnd = GetHandle();
    if (!wnd) return;
    PAINTSTRUCT ps{};
    HDC dc = FTiled ? BeginPaint(wnd, &ps) : GetDC(wnd);
    auto release = OnScopeExit([&] {
        if (FTiled) EndPaint(wnd, &ps);
        else ReleaseDC(wnd, dc);
    });
    TCanvas canvas(dc);
    DrawBitmap(&canvas);
}

void TBitmapPainter::EraseBkgndHandler(TObject*, TMessage& Message, bool& Handled) {
    if (FDrawMessage != dmEraseBkgnd || !FImage || !FImage->isValid()) return;
    if (!FTiled)
        if (TWindowSubclass* subclass = GetSubclass()) subclass->CallOldProc(Message, Handled);
    TWMEraseBkgnd erase(Message);
    {
        TCanvas canvas(erase.DC());
        DrawBitmap(&canvas);
    }
    erase.SetErased(true);
    Handled = true;
}

// ---- Registered messages ----

FW_PUBLISH(TRMItem)
    .Property("Text", &TRMItem::Text, &TRMItem::SetText)
    .Property("Tag", &TRMItem::Tag, &TRMItem::SetTag).Default(0)
    .Property("OnMessage", &TRMItem::OnMessage, &TRMItem::OnMessage)
FW_END_PUBLISH

TRMItem::TRMItem(TCollection* Collection) : TCollectionItem(Collection) {}

void TRMItem::SetText(const AnsiString& Value) {
    FText = Value;
    auto* items = dynamic_cast<TRMItems*>(Collection());
    if (items && items->OwnerComponent() && items->OwnerComponent()->IsDesigning()) return;
    FMessageNumber = RegisterWindowMessageA(FText.c_str());
}

void TRMItem::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TRMItem*>(Source);
    if (!other) throw Exception("アイテムは TRMItem ではありません.");
    // Registered like a text read from a form, so that the copies made
    // while loading get their handlers.
    SetText(other->FText);
    FTag = other->FTag;
    OnMessage = other->OnMessage;
}

AnsiString TRMItem::GetDisplayName() { return FText.empty() ? TCollectionItem::GetDisplayName() : FText; }

void TRMItem::Fire(TMessage& Message) {
    if (OnMessage) OnMessage(this, Message);
}

FW_PUBLISH(TRMItems)
FW_END_PUBLISH

TRMItems::TRMItems(TComponent* Owner) : TCollection(TRMItem::StaticClass(), Owner), FOwnerComponent(Owner) {}

TRMItem* TRMItems::Find(int Msg) const {
    for (int i = 0; i < Count(); ++i) {
        TRMItem* item = Items(i);
        if (item->MessageNumber() == static_cast<UINT>(Msg)) return item;
    }
    return nullptr;
}

FW_PUBLISH(TRegisteredMessage)
    .Property("Messages", &TRegisteredMessage::Messages, &TRegisteredMessage::SetMessages)
FW_END_PUBLISH

TRegisteredMessage::TRegisteredMessage(TComponent* Owner) : TInterceptorUser(Owner), FMessages(new TRMItems(this)) {}

TRegisteredMessage::~TRegisteredMessage() {
    delete FMessages;
    FMessages = nullptr;
}

void TRegisteredMessage::SetMessages(TRMItems* Value) {
    if (!IsDesigning() && !IsLoading()) throw Exception("実行時にはメッセージを変更できません.");
    FMessages->Assign(Value);
}

void TRegisteredMessage::DefineHandlers() {
    if (IsDesigning()) return;
    for (int i = 0; i < FMessages->Count(); ++i)
        if (UINT number = FMessages->Items(i)->MessageNumber())
            DefineHandler(static_cast<int>(number), MakeEvent<&TRegisteredMessage::RegisteredMessageHandler>(this));
}

void TRegisteredMessage::RegisteredMessageHandler(TObject*, TMessage& Message, bool&) {
    if (!FMessages) return;
    if (TRMItem* item = FMessages->Find(static_cast<int>(Message.Msg))) item->Fire(Message);
}

}  // namespace Kit
