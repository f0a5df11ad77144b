#include "framework/Forms.h"

#include <algorithm>

#include "framework/Application.h"
#include "framework/Filer.h"

namespace Fw {

FW_UNIT_BEGIN(Forms)
    .Classes<TCustomForm, TForm>()
FW_UNIT_END

FW_PUBLISH(TCustomForm)
FW_END_PUBLISH

FW_PUBLISH(TForm)
    .Property("ActiveControl", &TForm::ActiveControl, &TForm::SetActiveControl)
    .Property("BorderIcons", &TForm::BorderIcons, &TForm::SetBorderIcons)
        .Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize})
    .Property("BorderStyle", &TForm::BorderStyle, &TForm::SetBorderStyle).Default(bsSizeable)
    .Property("Caption", &TForm::Caption, &TForm::SetCaption)
    .Property("ClientWidth", &TForm::StoredClientWidth, &TForm::SetStoredClientWidth)
        .Stored(&TForm::IsClientSizeStored)
    .Property("ClientHeight", &TForm::StoredClientHeight, &TForm::SetStoredClientHeight)
        .Stored(&TForm::IsClientSizeStored)
    .Property("Color", &TForm::Color, &TForm::SetColor).Default(clBtnFace)
    .Property("Enabled", &TForm::Enabled, &TForm::SetEnabled).Default(true)
    .Property("Font", &TForm::Font, &TForm::SetFont)
    .Property("FormStyle", &TForm::FormStyle, &TForm::SetFormStyle).Default(fsNormal)
    .Property("Hint", &TForm::Hint, &TForm::SetHint)
    .Property("KeyPreview", &TForm::KeyPreview, &TForm::SetKeyPreview).Default(false)
    .Property("PixelsPerInch", &TForm::PixelsPerInch, &TForm::SetPixelsPerInch).Default(DefaultPixelsPerInch)
    .Property("Position", &TForm::Position, &TForm::SetPosition).Default(poDesigned)
    .Property("Scaled", &TForm::Scaled, &TForm::SetScaled).Default(true)
    .Property("ShowHint", &TForm::ShowHint, &TForm::SetShowHint).Default(false)
    .Property("Visible", &TForm::Visible, &TForm::SetVisible).Default(false)
    .Property("OnActivate", &TForm::OnActivate, &TForm::OnActivate)
    .Property("OnClick", &TForm::OnClick, &TForm::OnClick)
    .Property("OnClose", &TForm::OnClose, &TForm::OnClose)
    .Property("OnCloseQuery", &TForm::OnCloseQuery, &TForm::OnCloseQuery)
    .Property("OnCreate", &TForm::OnCreate, &TForm::OnCreate)
    .Property("OnDblClick", &TForm::OnDblClick, &TForm::OnDblClick)
    .Property("OnDeactivate", &TForm::OnDeactivate, &TForm::OnDeactivate)
    .Property("OnDestroy", &TForm::OnDestroy, &TForm::OnDestroy)
    .Property("OnHide", &TForm::OnHide, &TForm::OnHide)
    .Property("OnKeyDown", &TForm::OnKeyDown, &TForm::OnKeyDown)
    .Property("OnKeyPress", &TForm::OnKeyPress, &TForm::OnKeyPress)
    .Property("OnKeyUp", &TForm::OnKeyUp, &TForm::OnKeyUp)
    .Property("OnMouseDown", &TForm::OnMouseDown, &TForm::OnMouseDown)
    .Property("OnMouseMove", &TForm::OnMouseMove, &TForm::OnMouseMove)
    .Property("OnMouseUp", &TForm::OnMouseUp, &TForm::OnMouseUp)
    .Property("OnShow", &TForm::OnShow, &TForm::OnShow)
FW_END_PUBLISH

TCustomForm* GetParentForm(const TControl* control) {
    if (!control) return nullptr;
    const TControl* top = control;
    while (top->Parent()) top = top->Parent();
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(top));
}

// ---- Making and destroying ----

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner), FCurrentPPI(SystemPixelsPerInch()) {
    FVisible = false;
    FParentFont = false;
    FWidth = 320;
    FHeight = 240;
    SetColor(clBtnFace);
}

TCustomForm::~TCustomForm() {
    BeforeDestruction();
    Destroying();
    if (Application) Application->FormDestroyed(this);
    FActiveControl = nullptr;
    if (HandleAllocated()) DestroyHandle();
    DestroyComponents();
}

void TCustomForm::AfterConstruction() {
    if (FConstructed) return;
    FConstructed = true;
    TWinControl::AfterConstruction();
    // A second form of a class is named apart from the first (Form1_1), as
    // names are unique within the owner; the resource then keeps that name.
    if (Name().empty() && Owner()) {
        AnsiString base = ClassName();
        if (base.size() > 1 && (base[0] == 'T' || base[0] == 't')) base.erase(0, 1);
        if (Owner()->FindComponent(base)) {
            int n = 1;
            while (Owner()->FindComponent(base + "_" + IntToStr(n))) ++n;
            SetName(base + "_" + IntToStr(n));
        }
    }
    ReadComponentRes(this);
    DoCreate();
    // A form stored as visible shows itself once it is made.
    if (FVisible && !Showing()) {
        FVisible = false;
        SetVisible(true);
    }
}

void TCustomForm::BeforeDestruction() {
    if (FDestroyEventFired) return;
    FDestroyEventFired = true;
    DoDestroy();
    TWinControl::BeforeDestruction();
}

void TCustomForm::DoCreate() {
    if (!OnCreate) return;
    try {
        OnCreate(this);
    } catch (...) {
        HandleException(this);
    }
}

void TCustomForm::DoDestroy() {
    if (!OnDestroy) return;
    try {
        OnDestroy(this);
    } catch (...) {
        HandleException(this);
    }
}

void TCustomForm::Loaded() {
    TWinControl::Loaded();
    DrawnAt(HandleAllocated() ? WindowPixelsPerInch(FHandle) : OpeningPPI());
    if (FClientSizeSet) ApplyClientSize();
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
    TWinControl::Notification(component, operation);
    if (operation == opRemove && component == FActiveControl) FActiveControl = nullptr;
}

void TCustomForm::GetChildren(const TGetChildProc& proc, TComponent* root) {
    TWinControl::GetChildren(proc, root);
    // Components made at run time without a name cannot be read back.
    for (int i = 0; i < ComponentCount(); ++i) {
        TComponent* c = Components(i);
        if (!c->HasParent() && !c->Name().empty()) proc(c);
    }
}

// ---- The window ----

DWORD TCustomForm::FrameStyle() const {
    DWORD style = 0;
    switch (FBorderStyle) {
        case bsNone: style = WS_POPUP; break;
        case bsSingle: case bsToolWindow: style = WS_CAPTION | WS_BORDER; break;
        case bsSizeable: case bsSizeToolWin: style = WS_CAPTION | WS_THICKFRAME; break;
        case bsDialog: style = WS_POPUP | WS_CAPTION | DS_MODALFRAME; break;
    }
    if (FBorderStyle != bsNone) {
        if (FBorderIcons.Contains(biSystemMenu)) style |= WS_SYSMENU;
        // A dialog or a tool window has no minimise or maximise box.
        bool boxes = FBorderStyle != bsDialog && FBorderStyle != bsToolWindow &&
                     FBorderStyle != bsSizeToolWin;
        if (boxes && FBorderIcons.Contains(biMinimize)) style |= WS_MINIMIZEBOX;
        if (boxes && FBorderIcons.Contains(biMaximize)) style |= WS_MAXIMIZEBOX;
    }
    return style;
}

DWORD TCustomForm::FrameExStyle() const {
    DWORD ex = 0;
    switch (FBorderStyle) {
        case bsDialog: ex = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE; break;
        case bsToolWindow: case bsSizeToolWin: ex = WS_EX_TOOLWINDOW; break;
        default: break;
    }
    if (FBorderStyle == bsDialog && FBorderIcons.Contains(biHelp)) ex |= WS_EX_CONTEXTHELP;
    if (FFormStyle == fsStayOnTop) ex |= WS_EX_TOPMOST;
    return ex;
}

void TCustomForm::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.Style = FrameStyle() | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (FVisible) params.Style |= WS_VISIBLE;
    if (!FEnabled) params.Style |= WS_DISABLED;
    params.ExStyle = FrameExStyle();
    // Owned by the application window: no taskbar button of its own, and
    // always above it.
    params.WndParent = Application ? Application->Handle() : nullptr;
    params.WindowClass.style = CS_DBLCLKS;
}

void TCustomForm::CreateHandle() {
    if (!FConstructed) {
        AfterConstruction();
        if (HandleAllocated()) return;  // OnCreate needed the window already
    }
    TWinControl::CreateHandle();
}

void TCustomForm::CreateWnd() {
    TWinControl::CreateWnd();
    // A form read from its text was scaled for the monitor it was to open
    // on; the window may have come up on another, or the form was made in
    // code. While it is still being read, the end of reading scales it.
    if (!ComponentState().Contains(csLoading)) {
        const int ppi = WindowPixelsPerInch(FHandle);
        if (ppi != FCurrentPPI || (FScaled && ppi != FPixelsPerInch)) DrawnAt(ppi);
    }
    UpdateIcons();
    if (FFormStyle == fsMDIForm) {
        CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
        RECT r;
        GetClientRect(FHandle, &r);
        FClientHandle = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL,
                                        0, 0, r.right, r.bottom, FHandle, nullptr,
                                        GetModuleHandleA(nullptr), &ccs);
        if (!FClientHandle) {
            DestroyWnd();
            throw EOutOfResources("MDI クライアントウィンドウを作成できません.");
        }
    }
    if (FClientSizeSet) ApplyClientSize();
}

void TCustomForm::DestroyWnd() {
    TWinControl::DestroyWnd();
    FClientHandle = nullptr;
}

// ---- Resolution ----

void TCustomForm::SetPixelsPerInch(int value) {
    if (value <= 0) throw EInvalidOperation("解像度 " + IntToStr(value) + " は無効です.");
    FPixelsPerInch = value;
}

void TCustomForm::ScaleForPPI(int ppi) {
    if (ppi <= 0) throw EInvalidOperation("解像度 " + IntToStr(ppi) + " は無効です.");
    const int from = FPixelsPerInch;
    // Set first: a control placed from code meanwhile (ScaleValue) is placed
    // for the new resolution.
    FPixelsPerInch = ppi;
    ChangeScale(ppi, from);
}

void TCustomForm::ChangeScale(int to, int from) {
    std::vector<TControl*> controls;
    for (int i = 0; i < ControlCount(); ++i) controls.push_back(Controls(i));
    for (TControl* c : controls) c->ChangeScale(to, from);
    // Last, as for any parent: controls fitted to this font fit the new one.
    FFont->ChangeScale(to, from);
    if (to == from) return;
    if (FClientSizeSet) {
        FClientWidth = ScaleLength(FClientWidth, to, from);
        FClientHeight = ScaleLength(FClientHeight, to, from);
        if (!ComponentState().Contains(csLoading)) ApplyClientSize();
    } else {
        SetBounds(FLeft, FTop, ScaleLength(FWidth, to, from), ScaleLength(FHeight, to, from));
    }
}

void TCustomForm::DrawnAt(int ppi) {
    FCurrentPPI = ppi;
    if (FScaled) {
        ScaleForPPI(ppi);
    } else {
        // The lengths stay as given; the fonts' heights are pixels at ppi now.
        ChangeScale(ppi, ppi);
    }
}

int TCustomForm::OpeningPPI() const {
    POINT origin{0, 0};
    HMONITOR monitor = MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    switch (FPosition) {
        case poDesigned: {
            RECT r = BoundsRect();
            monitor = MonitorFromRect(&r, MONITOR_DEFAULTTOPRIMARY);
            break;
        }
        case poMainFormCenter:
        case poOwnerFormCenter: {
            const TCustomForm* other = Application ? Application->MainForm() : nullptr;
            if (FPosition == poOwnerFormCenter) {
                if (auto* owner = dynamic_cast<const TCustomForm*>(Owner())) other = owner;
            }
            if (other && other != this) return other->FCurrentPPI;
            break;
        }
        default:
            break;
    }
    return MonitorPixelsPerInch(monitor);
}

void TCustomForm::DpiChanged(TMessage& message) {
    // Moved to a monitor of another resolution: the controls and fonts are
    // scaled from where they are, and the system's suggested rectangle
    // (the window at the new resolution) is taken as it stands.
    const int ppi = HIWORD(message.WParam);
    if (ppi > 0 && ppi != FCurrentPPI) {
        DrawnAt(ppi);
        UpdateIcons();
    }
    if (const auto* suggested = reinterpret_cast<const RECT*>(message.LParam)) {
        SetWindowPos(FHandle, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (FClientSizeSet) {
            RECT client;
            GetClientRect(FHandle, &client);
            FClientWidth = client.right;
            FClientHeight = client.bottom;
        }
    }
    message.Result = 0;
}

void TCustomForm::UpdateIcons() {
    if (!Application || Application->Icon()->Empty() || !FHandle) return;
    const int big = SystemMetricForPPI(SM_CXICON, FCurrentPPI), small = SystemMetricForPPI(SM_CXSMICON, FCurrentPPI);
    SendMessageA(FHandle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Application->IconHandle(big)));
    SendMessageA(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Application->IconHandle(small)));
}

void TCustomForm::ApplyClientSize() {
    if (HandleAllocated()) {
        RECT wr, cr;
        GetWindowRect(FHandle, &wr);
        GetClientRect(FHandle, &cr);
        int w = FClientWidth + (wr.right - wr.left) - cr.right;
        int h = FClientHeight + (wr.bottom - wr.top) - cr.bottom;
        TWinControl::SetBounds(FLeft, FTop, w, h);
        return;
    }
    RECT r{0, 0, FClientWidth, FClientHeight};
    AdjustWindowRectForPPI(r, FrameStyle(), FrameExStyle(), FCurrentPPI);
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
}

void TCustomForm::SetClientSize(int width, int height) {
    FClientSizeSet = true;
    FClientWidth = std::max(width, 0);
    FClientHeight = std::max(height, 0);
    if (!IsLoading()) ApplyClientSize();
}

TRect TCustomForm::ClientRect() {
    if (HandleAllocated()) return TWinControl::ClientRect();
    if (FClientSizeSet) return TRect(0, 0, FClientWidth, FClientHeight);
    RECT r{0, 0, 0, 0};
    AdjustWindowRectForPPI(r, FrameStyle(), FrameExStyle(), FCurrentPPI);
    return TRect(0, 0, std::max<int>(0, FWidth - (r.right - r.left)), std::max<int>(0, FHeight - (r.bottom - r.top)));
}

int TCustomForm::StoredClientWidth() const { return const_cast<TCustomForm*>(this)->ClientWidth(); }
int TCustomForm::StoredClientHeight() const { return const_cast<TCustomForm*>(this)->ClientHeight(); }
void TCustomForm::SetStoredClientWidth(int value) { SetClientSize(value, FClientSizeSet ? FClientHeight : ClientHeight()); }
void TCustomForm::SetStoredClientHeight(int value) { SetClientSize(FClientSizeSet ? FClientWidth : ClientWidth(), value); }

void TCustomForm::ApplyPosition() {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    switch (FPosition) {
        case poScreenCenter:
        case poDesktopCenter:
            SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
            break;
        case poMainFormCenter:
        case poOwnerFormCenter: {
            TCustomForm* main = Application ? Application->MainForm() : nullptr;
            if (FPosition == poOwnerFormCenter) {
                if (auto* owner = dynamic_cast<TCustomForm*>(Owner())) main = owner;
            }
            if (main && main != this && main->HandleAllocated()) {
                TRect r = main->BoundsRect();
                SetBounds(r.Left + (r.Width() - FWidth) / 2, r.Top + (r.Height() - FHeight) / 2, FWidth, FHeight);
            } else {
                SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
            }
            break;
        }
        default:
            break;
    }
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
    if (value == FBorderStyle) return;
    FBorderStyle = value;
    if (IsLoading()) return;
    RecreateWnd();
    if (FClientSizeSet) ApplyClientSize();
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
    if (value == FBorderIcons) return;
    FBorderIcons = value;
    if (!IsLoading()) RecreateWnd();
}

void TCustomForm::SetPosition(TPosition value) {
    FPosition = value;
    if (!IsLoading() && HandleAllocated() && !Showing()) ApplyPosition();
}

void TCustomForm::SetFormStyle(TFormStyle value) {
    if (value == fsMDIChild)
        throw EInvalidOperation("MDI 子フォームには対応していません.");
    if (value == FFormStyle) return;
    FFormStyle = value;
    if (!IsLoading()) RecreateWnd();
}

// ---- Showing, hiding, closing ----

void TCustomForm::SetVisible(bool value) {
    if (IsLoading()) {
        FVisible = value;
        return;
    }
    if (value && !FConstructed) AfterConstruction();
    if (value) {
        if (FVisible && Showing()) return;
        HandleNeeded();
        FVisible = true;
        const TLifeToken life = Life();
        DoShow();
        if (!life || !FVisible) return;  // OnShow freed or hid it again
        if (!FShownOnce) ApplyPosition();
        FShownOnce = true;
        ShowWindow(FHandle, SW_SHOWNORMAL);
        FocusFirstControl();
    } else {
        if (!FVisible) return;
        const TLifeToken life = Life();
        DoHide();
        if (!life) return;
        FVisible = false;
        if (HandleAllocated()) ShowWindow(FHandle, SW_HIDE);
    }
}

void TCustomForm::Show() {
    bool wasShowing = FVisible && Showing();
    const TLifeToken life = Life();
    SetVisible(true);
    if (life && wasShowing && HandleAllocated()) {
        SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(FHandle);
    }
}

void TCustomForm::FocusFirstControl() {
    if (FActiveControl && FActiveControl->CanFocus()) {
        FActiveControl->SetFocus();
        return;
    }
    if (TWinControl* first = FindNextControl(nullptr, true, true)) first->SetFocus();
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::Close() {
    if (FModal) {
        // The modal loop asks the close query and runs OnClose itself.
        FModalResult = mrCancel;
        return;
    }
    const TLifeToken life = Life();
    if (!CloseQuery() || !life) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (!life || action == caNone) return;
    if (Application && Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    switch (action) {
        case caHide: Hide(); break;
        case caMinimize: if (HandleAllocated()) ShowWindow(FHandle, SW_MINIMIZE); break;
        case caFree: Release(); break;
        default: break;
    }
}

void TCustomForm::Release() {
    PostMessageA(Handle(), CM_RELEASE, 0, 0);
}

namespace {

BOOL CALLBACK CollectEnabledWindow(HWND wnd, LPARAM param) {
    if (IsWindowVisible(wnd) && IsWindowEnabled(wnd))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
    return TRUE;
}

}  // namespace

int TCustomForm::ShowModal() {
    if (FModal || (FVisible && Showing()) || !FEnabled)
        throw EInvalidOperation("表示中のウィンドウをモーダルにすることはできません.");
    if (GetCapture()) ReleaseCapture();
    // Every other window of the thread is disabled while the form is up.
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), &CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
    for (HWND w : disabled) EnableWindow(w, FALSE);
    FModal = true;
    FModalResult = mrNone;
    // Only an end of the application during the dialog ends it; a dialog
    // shown after the loop has ended (a last question) still runs.
    const bool terminatedBefore = Application->Terminated();
    // A handler of the dialog's may free it: the loop ends, as cancelled.
    const TLifeToken life = Life();
    {
        auto restore = OnScopeExit([&] {
            for (HWND w : disabled) if (IsWindow(w)) EnableWindow(w, TRUE);
            if (!life) return;
            FModal = false;
            Hide();
        });
        Show();
        while (life) {
            Application->HandleMessage();
            if (!life) break;
            if (Application->Terminated() && !terminatedBefore) {
                FModalResult = mrCancel;
                break;
            }
            if (FModalResult == mrNone) continue;
            if (!CloseQuery()) {
                if (life) FModalResult = mrNone;
                continue;
            }
            if (!life) break;
            TCloseAction action = caHide;
            DoClose(action);
            if (!life) break;
            if (action == caNone) {
                FModalResult = mrNone;
                continue;
            }
            break;
        }
    }
    return life ? FModalResult : mrCancel;
}

// ---- Focus ----

void TCustomForm::SetActiveControl(TWinControl* control) {
    if (control == FActiveControl) return;
    if (control && (control == this || !ContainsControl(control)))
        throw EInvalidOperation("コントロール " + control->Name() + " はこのフォームにありません.");
    FActiveControl = control;
    if (control && !IsLoading() && FVisible && Showing() && control->CanFocus())
        control->SetFocus();
}

void TCustomForm::SetFocusedControl(TWinControl* control) {
    FActiveControl = control;
    TMessage m{CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control), 0};
    Broadcast(m);
}

// ---- Messages ----

void TCustomForm::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_CLOSE:
            Close();
            message.Result = 0;
            return;
        case WM_ACTIVATE:
            DefaultHandler(message);
            if (LOWORD(message.WParam) != WA_INACTIVE) {
                // The window got the focus from the system; give it to the
                // control that had it.
                if (FActiveControl && FActiveControl->CanFocus() && FActiveControl->HandleAllocated())
                    ::SetFocus(FActiveControl->Handle());
                if (OnActivate) OnActivate(this);
            } else if (OnDeactivate) {
                OnDeactivate(this);
            }
            return;
        case CM_DIALOGKEY:
            if (message.WParam == VK_TAB) {
                TWinControl* current = FActiveControl;
                if (HWND focus = GetFocus()) {
                    TWinControl* f = FindControl(focus);
                    if (f && ContainsControl(f) && f != this) current = f;
                }
                SelectNext(current, GetKeyState(VK_SHIFT) >= 0, true);
                message.Result = 1;
                return;
            }
            break;
        case CM_RELEASE:
            FreeComponent(this);
            return;
        case WM_DPICHANGED:
            DpiChanged(message);
            return;
        default:
            break;
    }
    TWinControl::Dispatch(message);
}

void TCustomForm::DefaultHandler(TMessage& message) {
    if (FFormStyle == fsMDIForm && HandleAllocated() &&
        !(message.Msg >= CM_BASE && message.Msg < CN_BASE + 0x400)) {
        message.Result = DefFrameProcA(FHandle, FClientHandle, message.Msg, message.WParam, message.LParam);
        return;
    }
    TWinControl::DefaultHandler(message);
}

// ---- TForm ----

TForm::TForm(TComponent* owner) : TCustomForm(owner) {}

}  // namespace Fw
