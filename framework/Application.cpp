#include "framework/Application.h"

#include <commctrl.h>

#include <cstdlib>

#include "framework/Filer.h"
#include "framework/ObjectInstance.h"
#include "framework/Thread.h"

namespace Fw {

TApplication* Application = nullptr;

namespace {

// The application's forms (and its other components) are the global
// components that references between forms name.
TComponent* FindApplicationComponent(const AnsiString& name) {
    return Application ? Application->FindComponent(name) : nullptr;
}

// The one application object, made before any file that includes this
// unit's header initialises its own statics; the core's exception reports
// go to it from then on.
void InitializeApplicationUnit() {
    Application = NewComponent<TApplication>(nullptr);
    ApplicationHandleException = MakeEvent<&TApplication::HandleException>(Application);
    RegisterFindGlobalComponentProc(&FindApplicationComponent);
}

// The object itself stays: the forms it still owns go at the program's end
// (Initialize's exit step), and code that runs later may still ask for it.
void FinalizeApplicationUnit() {
    UnRegisterFindGlobalComponentProc(&FindApplicationComponent);
    if (Application && ApplicationHandleException.Data() == Application) ApplicationHandleException = nullptr;
}

}  // namespace

FW_UNIT_BEGIN(Application)
    .Classes<TApplication>()
    .Initialization(&InitializeApplicationUnit)
    .Finalization(&FinalizeApplicationUnit)
FW_UNIT_END

FW_PUBLISH(TApplication)
FW_END_PUBLISH

namespace {

constexpr const char* kAppWindowClass = "TApplication";

// At the program's end, after WinMain returns: the forms and their
// components go while the rest of the framework is still there.
void DoneApplication() {
    if (Application) Application->DestroyForms();
}

// The hint up to "|": what a tool tip shows.
AnsiString ShortHint(const AnsiString& hint) {
    std::size_t bar = hint.find('|');
    return bar == AnsiString::npos ? hint : hint.substr(0, bar);
}

bool IsHintMouseMessage(UINT msg) {
    switch (msg) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN: case WM_LBUTTONUP:
        case WM_RBUTTONDOWN: case WM_RBUTTONUP:
        case WM_MBUTTONDOWN: case WM_MBUTTONUP:
            return true;
        default:
            return false;
    }
}

}  // namespace

TApplication::TApplication(TComponent* owner) : TComponent(owner), FIcon(new TIcon) {}

TApplication::~TApplication() {
    if (WakeMainThread.Data() == this) WakeMainThread = nullptr;
    if (ApplicationHandleException.Data() == this) ApplicationHandleException = nullptr;
    DestroyForms();
    CancelHint();
    if (FHintWindow) DestroyWindow(FHintWindow);
    if (FHandle) DestroyWindow(FHandle);
    if (FObjectInstance) FreeObjectInstance(FObjectInstance);
    ReleaseSizedIcons();
    delete FIcon;
    if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
    if (FInitialized) return;
    FInitialized = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    LoadIcon();
    CreateHandle();
    std::atexit(&DoneApplication);
}

HWND TApplication::Handle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

void TApplication::CreateHandle() {
    if (FHandle) return;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA existing{};
    if (!GetClassInfoA(instance, kAppWindowClass, &existing)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &DefWindowProcA;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kAppWindowClass;
        if (!RegisterClassA(&wc)) RaiseLastOSError();
    }
    // A zero-sized popup with a caption: nothing of it shows but its taskbar
    // button, and only while it is visible.
    HWND wnd = CreateWindowExA(0, kAppWindowClass, Title().c_str(),
                               WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                               GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                               nullptr, nullptr, instance, nullptr);
    if (!wnd) throw EOutOfResources("アプリケーションウィンドウを作成できません.");
    if (!FObjectInstance) FObjectInstance = MakeObjectInstance(TWndMethod::Bind<&TApplication::WndProc>(this), this);
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FObjectInstance));
    FHandle = wnd;
    if (!FIcon->Empty()) {
        SendMessageA(FHandle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(FIcon->Handle()));
        SendMessageA(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FIcon->Handle()));
    }
    // Worker threads that synchronise wake the loop through this window.
    WakeMainThread = MakeEvent<&TApplication::WakeMainThreadHandler>(this);
}

void TApplication::WakeMainThreadHandler(TObject*) {
    if (FHandle) PostMessageA(FHandle, WM_NULL, 0, 0);
}

void TApplication::WndProc(TMessage& message) {
    switch (message.Msg) {
        case WM_NULL:
            CheckSynchronize();
            return;
        case WM_CLOSE:
            if (FMainForm) FMainForm->Close();
            return;
        case WM_QUERYENDSESSION:
            message.Result = (!FMainForm || FMainForm->CloseQuery()) ? 1 : 0;
            return;
        case WM_ENDSESSION:
            if (message.WParam) Terminate();
            return;
        default:
            message.Result = DefWindowProcA(FHandle, message.Msg, message.WParam, message.LParam);
            return;
    }
}

AnsiString TApplication::Title() const {
    if (FTitleSet) return FTitle;
    return ChangeFileExt(ExtractFileName(ExeName()), "");
}

void TApplication::SetTitle(const AnsiString& value) {
    FTitle = value;
    FTitleSet = true;
    if (FHandle) SetWindowTextA(FHandle, value.c_str());
}

AnsiString TApplication::ExeName() const {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return AnsiString(buf, n);
}

namespace {

BOOL CALLBACK FirstIconGroup(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    auto* out = reinterpret_cast<AnsiString*>(param);
    if (IS_INTRESOURCE(name)) *out = Format("#%u", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name)));
    else *out = name;
    return FALSE;
}

}  // namespace

void TApplication::LoadIcon() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    AnsiString name = "MAINICON";
    HICON icon = static_cast<HICON>(LoadImageA(instance, name.c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (!icon) {
        name.clear();
        EnumResourceNamesA(instance, RT_GROUP_ICON, &FirstIconGroup, reinterpret_cast<LONG_PTR>(&name));
        if (!name.empty())
            icon = static_cast<HICON>(LoadImageA(instance, name.c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    }
    if (!icon) return;
    FIcon->SetHandle(icon);
    FIconResource = name;
}

HICON TApplication::IconHandle(int size) {
    if (FIcon->Empty()) return nullptr;
    if (FIconResource.empty() || size <= 0) return FIcon->Handle();
    for (const auto& [s, icon] : FSizedIcons)
        if (s == size) return icon;
    auto icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), FIconResource.c_str(), IMAGE_ICON, size, size, 0));
    if (!icon) return FIcon->Handle();
    FSizedIcons.emplace_back(size, icon);
    return icon;
}

void TApplication::ReleaseSizedIcons() {
    for (const auto& [size, icon] : FSizedIcons) DestroyIcon(icon);
    FSizedIcons.clear();
}

void TApplication::SetIcon(TIcon* value) {
    FIcon->Assign(value);
    FIconResource.clear();
    // The windows show the sized icons until they are given the new one.
    auto sized = std::move(FSizedIcons);
    FSizedIcons.clear();
    if (FHandle) {
        SendMessageA(FHandle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(FIcon->Handle()));
        SendMessageA(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FIcon->Handle()));
    }
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* form = dynamic_cast<TCustomForm*>(Components(i))) form->UpdateIcons();
    for (const auto& [size, icon] : sized) DestroyIcon(icon);
}

// ---- Forms ----

void TApplication::CreateForm(TMetaClass* formClass, void* reference) {
    if (!formClass || !formClass->IsComponentClass())
        throw EInvalidOperation("CreateForm: コンポーネントのクラスではありません.");
    TComponent* instance = formClass->CreateComponent(this, static_cast<TComponent**>(reference));
    auto* form = dynamic_cast<TCustomForm*>(instance);
    if (form && !FMainForm) {
        FMainForm = form;
        form->HandleNeeded();
    }
}

void TApplication::DestroyForms() {
    for (int i = ComponentCount() - 1; i >= 0; --i)
        if (auto* form = dynamic_cast<TCustomForm*>(Components(i))) form->BeforeDestruction();
    DestroyComponents();
}

void TApplication::FormDestroyed(TCustomForm* form) {
    if (FMainForm == form) FMainForm = nullptr;
    if (FHintControl && (FHintControl == form || form->ContainsControl(FHintControl))) CancelHint();
}

void TApplication::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == FMainForm) FMainForm = nullptr;
}

// ---- The message loop ----

void TApplication::Run() {
    FTerminated = false;
    try {
        if (FShowMainForm && FMainForm) {
            ShowWindow(Handle(), SW_SHOWNA);
            FMainForm->Show();
        }
    } catch (...) {
        HandleException(this);
    }
    while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() {
    // The loop ends when it takes the quit message, after what is queued now.
    PostQuitMessage(0);
}

void TApplication::HandleMessage() {
    MSG msg;
    if (!ProcessMessage(msg)) Idle();
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
    try {
        CheckSynchronize();
    } catch (...) {
        HandleException(this);
    }
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    try {
        IsHintMsg(msg);
        if (!IsKeyMsg(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    } catch (...) {
        HandleException(this);
    }
    return true;
}

void TApplication::Idle() {
    bool done = true;
    const TLifeToken life = Life();
    try {
        if (OnIdle) OnIdle(this, done);
        if (life) CheckSynchronize();
    } catch (...) {
        HandleException(life ? this : nullptr);
    }
    if (!life || !done || FTerminated) return;
    // Woken by any message, or by a worker thread's synchronised call.
    HANDLE sync = SyncEvent();
    MsgWaitForMultipleObjects(1, &sync, FALSE, INFINITE, QS_ALLINPUT);
}

bool TApplication::IsKeyMsg(MSG& msg) {
    switch (msg.message) {
        case WM_KEYDOWN: case WM_KEYUP: case WM_CHAR:
        case WM_SYSKEYDOWN: case WM_SYSKEYUP: case WM_SYSCHAR:
            break;
        default:
            return false;
    }
    // The control the key is for: the window itself, or the framework
    // control that holds it (the edit box inside a combo box, say).
    TWinControl* control = nullptr;
    for (HWND w = msg.hwnd; w && !control; w = (GetWindowLongA(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
        control = TWinControl::FindControl(w);
    if (!control) return false;
    return control->Perform(CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
}

// ---- Hints ----

void TApplication::SetShowHint(bool value) {
    if (value == FShowHint) return;
    FShowHint = value;
    if (!value) CancelHint();
}

void TApplication::IsHintMsg(MSG& msg) {
    if (!IsHintMouseMessage(msg.message)) return;
    TWinControl* window = TWinControl::FindControl(msg.hwnd);
    TControl* target = nullptr;
    if (window) {
        TPoint p(static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam)));
        target = window->ControlAtPos(p, true);
        if (!target) target = window;
    }
    // A control without a hint of its own shows its parent's.
    TControl* hinted = target;
    while (hinted && hinted->Hint().empty()) hinted = hinted->Parent();
    if (!FShowHint || !hinted || !hinted->ShowHint() || ShortHint(hinted->Hint()).empty()) hinted = nullptr;
    if (hinted != FHintControl || (hinted && FHintToolWindow != msg.hwnd) ||
        (hinted && ShortHint(hinted->Hint()) != FHintText))
        UpdateHint(hinted, msg.hwnd);
    if (FHintWindow && FHintControl) SendMessageA(FHintWindow, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

void TApplication::UpdateHint(TControl* control, HWND window) {
    CancelHint();
    if (!control) return;
    if (!FHintWindow) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        FHintWindow = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        if (!FHintWindow) return;
        // The tool tip's own font has no Japanese glyphs on every system.
        static TFont hintFont;
        SendMessageA(FHintWindow, WM_SETFONT, reinterpret_cast<WPARAM>(hintFont.Handle()), FALSE);
    }
    RECT r;
    auto* windowed = dynamic_cast<TWinControl*>(control);
    TWinControl* holder = TWinControl::FindControl(window);
    if ((windowed && windowed->HandleAllocated() && windowed->FHandle == window) || !holder ||
        control->Parent() != holder) {
        GetClientRect(window, &r);
    } else {
        r = control->BoundsRect();
    }
    FHintText = ShortHint(control->Hint());
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.hwnd = window;
    ti.uId = 1;
    ti.rect = r;
    ti.hinst = nullptr;
    ti.lpszText = FHintText.data();
    SendMessageA(FHintWindow, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    FHintControl = control;
    FHintToolWindow = window;
}

void TApplication::CancelHint() {
    if (FHintWindow && FHintControl) {
        TOOLINFOA ti{};
        ti.cbSize = TTTOOLINFOA_V1_SIZE;
        ti.hwnd = FHintToolWindow;
        ti.uId = 1;
        SendMessageA(FHintWindow, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    }
    FHintControl = nullptr;
    FHintToolWindow = nullptr;
    FHintText.clear();
}

// ---- Messages to the user ----

HWND TApplication::MessageBoxOwner() const {
    HWND active = GetActiveWindow();
    if (active && IsWindowVisible(active)) return active;
    return FHandle;
}

int TApplication::MessageBox(const AnsiString& text, const AnsiString& caption, UINT flags) {
    AnsiString title = caption.empty() ? Title() : caption;
    return MessageBoxA(MessageBoxOwner(), text.c_str(), title.c_str(), flags);
}

void TApplication::ShowException(Exception* e) {
    AnsiString text = e ? e->Message() : AnsiString();
    // Sentences end with a full stop, however the raiser wrote them.
    if (const char* last = AnsiStrLastChar(text); last && static_cast<unsigned char>(*last) > '.')
        text += '.';
    MessageBox(text, Title(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* sender) {
    std::exception_ptr current = std::current_exception();
    if (!current) return;
    auto report = [&](Exception* e) {
        if (OnException) OnException(sender, e);
        else ShowException(e);
    };
    try {
        try {
            std::rethrow_exception(current);
        } catch (EAbort&) {
        } catch (Exception& e) {
            report(&e);
        } catch (std::exception& e) {
            Exception wrapped(e.what());
            report(&wrapped);
        } catch (...) {
            Exception wrapped("不明な例外が発生しました.");
            report(&wrapped);
        }
    } catch (...) {
        // A failing report must not take the message loop down with it.
    }
}

void ShowMessage(const AnsiString& message) {
    Application->MessageBox(message, Application->Title(), MB_OK);
}

}  // namespace Fw
