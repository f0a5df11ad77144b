#include "framework/Controls.h"

#include <algorithm>

#include "framework/Application.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/ObjectInstance.h"

namespace Fw {

FW_UNIT_BEGIN(Controls)
    .Classes<TControl, TWinControl, TGraphicControl, TCustomControl>()
FW_UNIT_END

// ---- Published properties ----
//
// TControl and TWinControl publish only the place and size; each concrete
// control publishes what it shows, with its own defaults.

FW_PUBLISH(TControl)
    .Property("Left", &TControl::FLeft, &TControl::SetLeft).Default(0)
    .Property("Top", &TControl::FTop, &TControl::SetTop).Default(0)
    .Property("Width", &TControl::FWidth, &TControl::SetWidth).Stored(&TControl::IsSizeStored)
    .Property("Height", &TControl::FHeight, &TControl::SetHeight).Stored(&TControl::IsSizeStored)
FW_END_PUBLISH

FW_PUBLISH(TWinControl)
FW_END_PUBLISH

FW_PUBLISH(TGraphicControl)
FW_END_PUBLISH

FW_PUBLISH(TCustomControl)
FW_END_PUBLISH

namespace {

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

// The window property that leads from a window to its control. The name
// carries the process id, so a window of another copy of the framework in
// the same session is never mistaken for one of ours.
ATOM ControlAtom() {
    static const ATOM atom =
        GlobalAddAtomA(Format("FwControl%08lX", GetCurrentProcessId()).c_str());
    return atom;
}

// The control whose window CreateWindowEx is making on this thread.
thread_local TWinControl* gCreationControl = nullptr;
// A graphic control that got a button press: its parent's window has the
// capture and passes it the mouse until the button is released.
TControl* gCaptureControl = nullptr;

bool IsMouseMessage(UINT msg) {
    return msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK;
}

AnsiString WindowText(HWND wnd) {
    int n = GetWindowTextLengthA(wnd);
    if (n <= 0) return AnsiString();
    AnsiString s(n + 1, '\0');
    n = GetWindowTextA(wnd, s.data(), n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

}  // namespace

// ---- Helpers ----

HCURSOR CursorHandle(TCursor cursor) {
    LPCSTR id = nullptr;
    switch (cursor) {
        case crDefault: case crNone: return nullptr;
        case crArrow: case crDrag: case crMultiDrag: id = IDC_ARROW; break;
        case crCross: id = IDC_CROSS; break;
        case crIBeam: id = IDC_IBEAM; break;
        case crSize: case crSizeAll: id = IDC_SIZEALL; break;
        case crSizeNESW: id = IDC_SIZENESW; break;
        case crSizeNS: case crVSplit: id = IDC_SIZENS; break;
        case crSizeNWSE: id = IDC_SIZENWSE; break;
        case crSizeWE: case crHSplit: id = IDC_SIZEWE; break;
        case crUpArrow: id = IDC_UPARROW; break;
        case crHourGlass: case crSQLWait: id = IDC_WAIT; break;
        case crNoDrop: case crNo: id = IDC_NO; break;
        case crAppStart: id = IDC_APPSTARTING; break;
        case crHelp: id = IDC_HELP; break;
        case crHandPoint: id = IDC_HAND; break;
    }
    return id ? LoadCursorA(nullptr, id) : nullptr;
}

namespace {

// Byte offset of the character after the access-key "&", or npos.
std::size_t HotkeyPos(const AnsiString& caption) {
    for (std::size_t i = 0; i < caption.size(); ++i) {
        unsigned char c = caption[i];
        if (IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c != '&') continue;
        if (i + 1 >= caption.size()) return AnsiString::npos;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return i + 1;
    }
    return AnsiString::npos;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

bool IsAccel(WORD key, const AnsiString& caption) {
    std::size_t pos = HotkeyPos(caption);
    if (pos == AnsiString::npos) return false;
    unsigned char c = caption[pos];
    if (IsLeadByte(c) || key > 0xFF) return false;
    return UpperAscii(char(c)) == UpperAscii(char(key));
}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner), FFont(new TFont) {
    WindowProc = TWndMethod::Bind<&TControl::WndProc>(this);
    FFont->OnChange = MakeEvent<&TControl::FontObjectChanged>(this);
}

TControl::~TControl() {
    if (gCaptureControl == this) gCaptureControl = nullptr;
    if (Application && Application->FHintControl == this) Application->CancelHint();
    if (FParent) FParent->RemoveControl(this);
    FFont->OnChange = nullptr;
    delete FFont;
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == FParent) return;
    for (TControl* p = parent; p; p = p->FParent)
        if (p == this)
            throw EInvalidOperation("コントロール " + Name() + " を自分自身またはその子の子にはできません.");
    auto* self = dynamic_cast<TWinControl*>(this);
    if (FParent) {
        ParentChanging();
        // A window cannot outlive its parent window: it is made again under
        // the new parent when that one is shown.
        if (self && self->HandleAllocated()) self->DestroyHandle();
        FParent->RemoveControl(this);
    }
    if (parent) parent->InsertControl(this);
    ParentChanged();
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::SetParentComponent(TComponent* parent) {
    auto* p = dynamic_cast<TWinControl*>(parent);
    if (parent && !p)
        throw EInvalidOperation(parent->ClassName() + " はコントロールの親になれません.");
    SetParent(p);
}

TCustomForm* TControl::ParentForm() const { return GetParentForm(this); }

void TControl::SetBounds(int left, int top, int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
    Invalidate();
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    Invalidate();
}

TRect TControl::ClientRect() { return TRect(0, 0, FWidth, FHeight); }

int TControl::CurrentPPI() const {
    if (const TCustomForm* form = ParentForm()) return form->FCurrentPPI;
    return SystemPixelsPerInch();
}

int TControl::ScaleValue(int value) const {
    const TCustomForm* form = ParentForm();
    return ScaleLength(value, form ? form->PixelsPerInch() : SystemPixelsPerInch(), DefaultPixelsPerInch);
}

void TControl::ChangeScale(int to, int from) {
    ScaleBounds(to, from);
    ScaleFont(to, from);
}

void TControl::ScaleBounds(int to, int from) {
    if (to != from)
        SetBounds(ScaleLength(FLeft, to, from), ScaleLength(FTop, to, from), ScaleLength(FWidth, to, from),
                  ScaleLength(FHeight, to, from));
}

void TControl::ScaleFont(int to, int from) {
    // A parent font arrives with the parent's, already scaled.
    if (!FParentFont) FFont->ChangeScale(to, from);
}

void TControl::SetClientSize(int width, int height) {
    TRect r = ClientRect();
    SetBounds(FLeft, FTop, FWidth - r.Width() + width, FHeight - r.Height() + height);
}

TPoint TControl::ClientOrigin() {
    if (!FParent) return TPoint(FLeft, FTop);
    TPoint o = FParent->ClientOrigin();
    return TPoint(o.X + FLeft, o.Y + FTop);
}

void TControl::SetText(const AnsiString& value) {
    if (GetText() == value) return;
    SetTextValue(value);
    TextChanged();
}

void TControl::SetTextValue(const AnsiString& value) { FText = value; }

void TControl::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    EnabledChanged();
}

void TControl::SetVisible(bool value) {
    if (value == FVisible) return;
    FVisible = value;
    VisibleChanged();
}

bool TControl::Showing() const { return FVisible && FParent && FParent->Showing(); }

void TControl::VisibleChanged() {
    // A hidden graphic control leaves a hole its parent must repaint.
    if (FParent && FParent->HandleAllocated()) {
        RECT r = BoundsRect();
        InvalidateRect(FParent->FHandle, &r, TRUE);
    }
}

void TControl::SetShowHint(bool value) {
    FParentShowHint = false;
    if (value == FShowHint) return;
    FShowHint = value;
    if (auto* w = dynamic_cast<TWinControl*>(this))
        for (TControl* c : w->FControls) c->ParentShowHintChanged();
}

void TControl::SetParentShowHint(bool value) {
    if (value == FParentShowHint) return;
    FParentShowHint = value;
    if (value) ParentShowHintChanged();
}

void TControl::ParentShowHintChanged() {
    if (!FParentShowHint || !FParent) return;
    if (FShowHint == FParent->FShowHint) return;
    FShowHint = FParent->FShowHint;
    if (auto* w = dynamic_cast<TWinControl*>(this))
        for (TControl* c : w->FControls) c->ParentShowHintChanged();
}

void TControl::FontObjectChanged(TObject*) {
    if (!FUpdatingFont) FParentFont = false;
    FontChanged();
}

void TControl::FontChanged() { Invalidate(); }

void TControl::SetParentFont(bool value) {
    if (value == FParentFont) return;
    FParentFont = value;
    if (value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
    if (!FParentFont || !FParent) return;
    FUpdatingFont = true;
    auto updated = OnScopeExit([this] { FUpdatingFont = false; });
    FFont->Assign(FParent->FFont);
}

void TControl::SetColor(TColor value) {
    FParentColor = false;
    if (value == FColor) return;
    FColor = value;
    ColorChanged();
}

void TControl::ColorChanged() { Invalidate(); }

void TControl::SetParentColor(bool value) {
    if (value == FParentColor) return;
    FParentColor = value;
    if (value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
    if (!FParentColor || !FParent || FColor == FParent->FColor) return;
    FColor = FParent->FColor;
    ColorChanged();
}

void TControl::SetPopupMenu(TPopupMenu* value) {
    if (value == FPopupMenu) return;
    if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
    FPopupMenu = value;
    if (value) value->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::Loaded() {
    TComponent::Loaded();
    ParentFontChanged();
    ParentColorChanged();
    ParentShowHintChanged();
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m{msg, wParam, lParam, 0};
    WindowProc(m);
    return m.Result;
}

void TControl::Invalidate() {
    if (FVisible && FParent && FParent->HandleAllocated()) {
        RECT r = BoundsRect();
        InvalidateRect(FParent->FHandle, &r, TRUE);
    }
}

void TControl::Update() {
    if (FParent) FParent->Update();
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::WndProc(TMessage& message) { Dispatch(message); }

void TControl::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK: {
            DefaultHandler(message);
            TWMMouse mouse(message);
            const TMouseButton button = mouse.Button();
            const bool dbl = mouse.DoubleClick();
            if (button == mbLeft && FClickEvents) FClicking = !dbl;
            if (dbl && button == mbLeft) {
                const TLifeToken life = Life();
                DblClick();
                if (!life) return;
            }
            MouseDown(button, mouse.Shift(), mouse.X(), mouse.Y());
            return;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            DefaultHandler(message);
            TWMMouse mouse(message);
            const TMouseButton button = mouse.Button();
            const bool click = button == mbLeft && FClicking;
            if (button == mbLeft) FClicking = false;
            const TLifeToken life = Life();
            MouseUp(button, mouse.Shift(), mouse.X(), mouse.Y());
            if (!life) return;
            // Released outside the control: no click, as with a push button.
            if (click && FClickEvents && ClientRect().Contains(TPoint(mouse.X(), mouse.Y()))) Click();
            return;
        }
        case WM_MOUSEMOVE: {
            DefaultHandler(message);
            TWMMouse mouse(message);
            MouseMove(mouse.Shift(), mouse.X(), mouse.Y());
            return;
        }
        case WM_CONTEXTMENU:
            if (FPopupMenu && FPopupMenu->AutoPopup()) {
                TWMContextMenu menu(message);
                POINT pt = menu.Pos();
                if (menu.FromKeyboard()) {
                    TPoint o = ClientToScreen(TPoint(0, 0));
                    pt = POINT{o.X, o.Y};
                }
                FPopupMenu->SetPopupComponent(this);
                FPopupMenu->Popup(pt.x, pt.y);
                message.Result = 1;
                return;
            }
            break;
        default:
            break;
    }
    DefaultHandler(message);
}

void TControl::DefaultHandler(TMessage& message) {
    // A right click on a control without a menu of its own may show its parent's.
    if (message.Msg == WM_CONTEXTMENU && FParent && !dynamic_cast<TWinControl*>(this)) {
        message.Result = FParent->Perform(WM_CONTEXTMENU, message.WParam, message.LParam);
    }
}

// ---- TWinControl ----

// The window procedure of every framework window class, for the first
// message of each window only: it tells the control its handle and puts the
// control's thunk in place, which gets this message and all that follow.
LRESULT CALLBACK InitWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* control = gCreationControl;
    if (!control) return DefWindowProcA(wnd, msg, wParam, lParam);
    gCreationControl = nullptr;
    control->FHandle = wnd;
    SetPropA(wnd, MAKEINTATOM(ControlAtom()), control);
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control->FObjectInstance));
    return CallWindowProcA(control->FObjectInstance, wnd, msg, wParam, lParam);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner), FBrush(new TBrush) {
    FObjectInstance = MakeObjectInstance(TWndMethod::Bind<&TWinControl::MainWndProc>(this), this);
    FBrush->SetColor(FColor);
}

TWinControl::~TWinControl() {
    Destroying();
    if (TCustomForm* form = ParentForm(); form && form != this && form->FActiveControl == this)
        form->FActiveControl = nullptr;
    // Out of the parent's lists first, while this is still a TWinControl.
    if (FParent) FParent->RemoveControl(this);
    if (FHandle) {
        DestroyChildHandles();
        DestroyWnd();
    }
    while (!FControls.empty()) {
        TControl* c = FControls.back();
        RemoveControl(c);
        Detail::FreeInTeardown(c);
    }
    FreeObjectInstance(FObjectInstance);
    delete FBrush;
}

TControl* TWinControl::Controls(int index) const {
    if (index < 0 || index >= ControlCount())
        throw EListError("リストのインデックスが範囲を超えています (" + IntToStr(index) + ").");
    return FControls[index];
}

bool TWinControl::ContainsControl(TControl* control) const {
    for (TControl* c = control; c; c = c->FParent)
        if (c == this) return true;
    return false;
}

void TWinControl::InsertControl(TControl* control) {
    FControls.push_back(control);
    control->FParent = this;
    if (auto* w = dynamic_cast<TWinControl*>(control)) {
        FTabList.push_back(w);
        if (!w->IsLoading()) w->FTabOrder = int(FTabList.size()) - 1;
    }
    control->ParentFontChanged();
    control->ParentColorChanged();
    control->ParentShowHintChanged();
    if (HandleAllocated() && !IsLoading()) {
        if (auto* w = dynamic_cast<TWinControl*>(control)) w->HandleNeeded();
        else control->Invalidate();
    }
}

void TWinControl::RemoveControl(TControl* control) {
    // Compared by address only: the control may be half destroyed.
    control->Invalidate();
    FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
    FTabList.erase(std::remove_if(FTabList.begin(), FTabList.end(),
                                  [control](TWinControl* w) { return static_cast<TControl*>(w) == control; }),
                   FTabList.end());
    if (gCaptureControl == control) gCaptureControl = nullptr;
    control->FParent = nullptr;
}

TControl* TWinControl::ControlAtPos(const TPoint& p, bool allowDisabled, bool allowWinControls) const {
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        TControl* c = *it;
        bool windowed = dynamic_cast<TWinControl*>(c) != nullptr;
        if (windowed && !allowWinControls) continue;
        if (!c->FVisible || (!c->FEnabled && !allowDisabled)) continue;
        if (c->BoundsRect().Contains(p)) return c;
    }
    return nullptr;
}

int TWinControl::TabOrder() const {
    if (!FParent) return FTabOrder;
    const auto& list = FParent->FTabList;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : int(it - list.begin());
}

void TWinControl::SetTabOrder(int value) {
    if (IsLoading() || !FParent) {
        FTabOrder = value;
        return;
    }
    auto& list = FParent->FTabList;
    int count = int(list.size());
    if (value < 0 || value >= count) value = count - 1;
    int current = TabOrder();
    if (current < 0 || current == value) return;
    list.erase(list.begin() + current);
    list.insert(list.begin() + value, this);
    for (int i = 0; i < count; ++i) list[i]->FTabOrder = i;
}

void TWinControl::FixupTabList() {
    std::stable_sort(FTabList.begin(), FTabList.end(),
                     [](TWinControl* a, TWinControl* b) { return a->FTabOrder < b->FTabOrder; });
    for (std::size_t i = 0; i < FTabList.size(); ++i) FTabList[i]->FTabOrder = int(i);
}

void TWinControl::SetTabStop(bool value) {
    if (value == FTabStop) return;
    FTabStop = value;
    if (FHandle) {
        LONG style = GetWindowLongA(FHandle, GWL_STYLE);
        SetWindowLongA(FHandle, GWL_STYLE, value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
    }
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
    for (TWinControl* c : FTabList) {
        list.push_back(c);
        c->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward, bool checkTabStop) const {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    int n = int(list.size());
    if (n == 0) return nullptr;
    int start = -1;
    for (int i = 0; i < n; ++i)
        if (list[i] == current) start = i;
    if (start < 0) start = forward ? n - 1 : 0;
    for (int step = 1; step <= n; ++step) {
        int i = forward ? (start + step) % n : (start - step + n) % n;
        TWinControl* c = list[i];
        if (c == current) continue;
        if (checkTabStop && !c->FTabStop) continue;
        if (c->CanFocus()) return c;
    }
    return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool forward, bool checkTabStop) {
    if (TWinControl* next = FindNextControl(current, forward, checkTabStop)) next->SetFocus();
}

bool TWinControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible || !c->FEnabled) return false;
    return true;
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
    if (!CanFocus())
        throw EInvalidOperation("無効または非表示のウィンドウにはフォーカスを移動できません.");
    ::SetFocus(Handle());
}

void TWinControl::Broadcast(TMessage& message) {
    // A control may leave or join while the message goes round.
    std::vector<TControl*> controls = FControls;
    for (TControl* c : controls) {
        if (std::find(FControls.begin(), FControls.end(), c) == FControls.end()) continue;
        c->WindowProc(message);
        if (message.Result != 0) return;
    }
}

TWinControl* TWinControl::FindControl(HWND window) {
    if (!window) return nullptr;
    return static_cast<TWinControl*>(GetPropA(window, MAKEINTATOM(ControlAtom())));
}

void TWinControl::GetChildren(const TGetChildProc& proc, TComponent* root) {
    for (TControl* c : FControls)
        if (c->Owner() == root) proc(c);
}

void TWinControl::Loaded() {
    TControl::Loaded();
    FixupTabList();
    // Something needed this window while the children were still being
    // read (a component hooking the form, say): they get theirs now.
    if (FHandle) {
        std::vector<TControl*> controls = FControls;
        for (TControl* c : controls)
            if (auto* w = dynamic_cast<TWinControl*>(c)) w->HandleNeeded();
    }
}

HWND TWinControl::Handle() {
    HandleNeeded();
    return FHandle;
}

void TWinControl::HandleNeeded() {
    if (FHandle) return;
    if (FParent) FParent->HandleNeeded();  // makes this window too, with its siblings
    if (!FHandle) CreateHandle();
}

void TWinControl::CreateHandle() {
    if (FHandle || FCreatingHandle) return;
    {
        FCreatingHandle = true;
        auto created = OnScopeExit([this] { FCreatingHandle = false; });
        CreateWnd();
    }
    std::vector<TControl*> controls = FControls;
    for (TControl* c : controls)
        if (auto* w = dynamic_cast<TWinControl*>(c)) w->HandleNeeded();
}

void TWinControl::CreateParams(TCreateParams& params) {
    params.Caption = FText;
    params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (FVisible) params.Style |= WS_VISIBLE;
    if (!FEnabled) params.Style |= WS_DISABLED;
    if (FTabStop) params.Style |= WS_TABSTOP;
    params.X = FLeft;
    params.Y = FTop;
    params.Width = FWidth;
    params.Height = FHeight;
    params.WndParent = FParent ? FParent->Handle() : nullptr;
    params.WindowClass.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    params.WindowClass.lpfnWndProc = &DefWindowProcA;
    params.WindowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    params.WindowClass.hInstance = ModuleInstance();
    params.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& params, const char* className) {
    WNDCLASSA wc{};
    if (!GetClassInfoA(nullptr, className, &wc))
        throw EOutOfResources(AnsiString("ウィンドウクラス ") + className + " がありません.");
    params.WindowClass = wc;
    params.WindowClass.hInstance = ModuleInstance();
}

void TWinControl::CreateWnd() {
    TCreateParams params;
    CreateParams(params);
    if ((params.Style & WS_CHILD) && !params.WndParent)
        throw EInvalidOperation("コントロール '" + Name() + "' には親ウィンドウがありません.");
    FDefWndProc = params.WindowClass.lpfnWndProc;
    // A window of the control's own class paints its whole face (a panel, a
    // group box, a page): it must not paint over the controls placed on it,
    // or a control moved inside it stays covered until it paints again.
    if (OwnClass()) params.Style |= WS_CLIPCHILDREN;

    const char* name = params.WinClassName.c_str();
    WNDCLASSA existing{};
    bool registered = GetClassInfoA(params.WindowClass.hInstance, name, &existing) != 0;
    if (!registered || existing.lpfnWndProc != &InitWndProc) {
        if (registered) UnregisterClassA(name, params.WindowClass.hInstance);
        WNDCLASSA wc = params.WindowClass;
        wc.lpfnWndProc = &InitWndProc;
        wc.lpszClassName = name;
        wc.lpszMenuName = nullptr;
        if (!RegisterClassA(&wc)) RaiseLastOSError();
    }
    CreateWindowHandle(params);
    if (!FHandle)
        throw EOutOfResources("ウィンドウ " + ClassName() + " を作成できません (" +
                              SysErrorMessage(GetLastError()) + ").");
    SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont->Handle()), FALSE);
    InitializeHandle();
}

void TWinControl::CreateWindowHandle(const TCreateParams& params) {
    gCreationControl = this;
    HWND wnd = CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(),
                               params.Style, params.X, params.Y, params.Width, params.Height,
                               params.WndParent, nullptr, params.WindowClass.hInstance, params.Param);
    gCreationControl = nullptr;
    FHandle = wnd;
}

void TWinControl::DestroyChildHandles() {
    for (TWinControl* c : FTabList)
        if (c->FHandle) c->DestroyHandle();
}

void TWinControl::DestroyHandle() {
    if (!FHandle || FDestroyingHandle) return;
    FDestroyingHandle = true;
    auto destroyed = OnScopeExit([this] { FDestroyingHandle = false; });
    DestroyChildHandles();
    DestroyWnd();
}

void TWinControl::DestroyWnd() {
    FText = WindowText(FHandle);
    SaveHandleState();
    HWND wnd = FHandle;
    DestroyWindow(wnd);
    // WM_NCDESTROY has cleared FHandle; a window that was never really ours
    // (its procedure replaced by someone who did not pass the message on)
    // is forgotten all the same.
    if (FHandle == wnd) {
        RemovePropA(wnd, MAKEINTATOM(ControlAtom()));
        FHandle = nullptr;
    }
}

void TWinControl::RecreateWnd() {
    if (!FHandle) return;
    DestroyHandle();
    HandleNeeded();
}

void TWinControl::UpdateBoundsFromWindow() {
    RECT r;
    GetWindowRect(FHandle, &r);
    if (GetWindowLongA(FHandle, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(FHandle), reinterpret_cast<POINT*>(&r), 2);
    FLeft = r.left;
    FTop = r.top;
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    if (FHandle) {
        SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateBoundsFromWindow();
    } else {
        FLeft = left;
        FTop = top;
        FWidth = width;
        FHeight = height;
    }
}

void TWinControl::ChangeScale(int to, int from) {
    ScaleBounds(to, from);
    std::vector<TControl*> controls = FControls;
    for (TControl* c : controls) c->ChangeScale(to, from);
    // Last: the children that follow this font fit themselves to it (a
    // label sized to its text) once their own lengths are scaled.
    ScaleFont(to, from);
}

TRect TWinControl::ClientRect() {
    if (FHandle) {
        RECT r;
        GetClientRect(FHandle, &r);
        return r;
    }
    return TControl::ClientRect();
}

TPoint TWinControl::ClientOrigin() {
    if (FHandle) {
        POINT p{0, 0};
        ::ClientToScreen(FHandle, &p);
        return p;
    }
    return TControl::ClientOrigin();
}

bool TWinControl::Showing() const { return FHandle && IsWindowVisible(FHandle); }

void TWinControl::Invalidate() {
    if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TWinControl::Update() {
    if (FHandle) UpdateWindow(FHandle);
}

AnsiString TWinControl::GetText() const {
    return FHandle ? WindowText(FHandle) : FText;
}

void TWinControl::SetTextValue(const AnsiString& value) {
    FText = value;
    if (FHandle) SetWindowTextA(FHandle, value.c_str());
}

void TWinControl::TextChanged() {
    // The window draws its own text.
}

void TWinControl::FontChanged() {
    if (FHandle) {
        SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont->Handle()), TRUE);
        InvalidateRect(FHandle, nullptr, TRUE);
    }
    std::vector<TControl*> controls = FControls;
    for (TControl* c : controls) c->ParentFontChanged();
}

void TWinControl::ColorChanged() {
    FBrush->SetColor(FColor);
    Invalidate();
    std::vector<TControl*> controls = FControls;
    for (TControl* c : controls) c->ParentColorChanged();
}

void TWinControl::EnabledChanged() {
    if (FHandle) EnableWindow(FHandle, FEnabled);
}

void TWinControl::VisibleChanged() {
    if (FHandle) ShowWindow(FHandle, FVisible ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::MainWndProc(TMessage& message) { WindowProc(message); }

void TWinControl::RouteMouse(TMessage& message, bool& handled) {
    TControl* target = nullptr;
    if (gCaptureControl && gCaptureControl->FParent == this) {
        target = gCaptureControl;
    } else if (message.Msg != WM_MOUSEWHEEL) {
        TWMMouse mouse(message);
        target = ControlAtPos(TPoint(mouse.X(), mouse.Y()), false);
    }
    if (!target) return;
    switch (message.Msg) {
        case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
            gCaptureControl = target;
            SetCapture(FHandle);
            break;
        default:
            break;
    }
    TWMMouse mouse(message);
    LPARAM local = MAKELPARAM(mouse.X() - target->FLeft, mouse.Y() - target->FTop);
    handled = true;
    const TLifeToken life = Life();
    message.Result = target->Perform(message.Msg, message.WParam, local);
    if (!life) {
        if (gCaptureControl == target) gCaptureControl = nullptr;
        return;
    }
    switch (message.Msg) {
        case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
            if (gCaptureControl == target) {
                gCaptureControl = nullptr;
                if (GetCapture() == FHandle) ReleaseCapture();
            }
            break;
        default:
            break;
    }
}

void TWinControl::WndProc(TMessage& message) {
    if (IsMouseMessage(message.Msg) && message.Msg != WM_MOUSEWHEEL && !FControls.empty()) {
        bool handled = false;
        RouteMouse(message, handled);
        if (handled) return;
    }
    TControl::WndProc(message);
}

void TWinControl::ReflectToChild(TMessage& message, HWND child, bool& handled) {
    TWinControl* control = FindControl(child);
    if (!control || control == this) return;
    message.Result = control->Perform(CN_BASE + message.Msg, message.WParam, message.LParam);
    handled = true;
}

void TWinControl::PaintHandler(TMessage& message) {
    if (message.WParam) {
        HDC dc = reinterpret_cast<HDC>(message.WParam);
        RECT all;
        GetClientRect(FHandle, &all);
        PaintWindow(dc);
        PaintControls(dc, all);
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(FHandle, &ps);
    auto endPaint = OnScopeExit([&] { EndPaint(FHandle, &ps); });
    PaintWindow(dc);
    PaintControls(dc, ps.rcPaint);
}

void TWinControl::PaintControls(HDC dc, const RECT& update) {
    std::vector<TControl*> controls = FControls;
    for (TControl* c : controls) {
        auto* g = dynamic_cast<TGraphicControl*>(c);
        if (!g || !g->FVisible) continue;
        RECT r = g->BoundsRect(), hit;
        if (!IntersectRect(&hit, &r, &update)) continue;
        int saved = SaveDC(dc);
        auto restore = OnScopeExit([dc, saved] { RestoreDC(dc, saved); });
        OffsetViewportOrgEx(dc, g->FLeft, g->FTop, nullptr);
        IntersectClipRect(dc, 0, 0, g->FWidth, g->FHeight);
        g->PaintTo(dc);
    }
}

bool TWinControl::SetCursorFor(const TMessage& message) {
    if (reinterpret_cast<HWND>(message.WParam) != FHandle || LOWORD(message.LParam) != HTCLIENT) return false;
    POINT pt;
    GetCursorPos(&pt);
    ::ScreenToClient(FHandle, &pt);
    TControl* c = ControlAtPos(TPoint(pt.x, pt.y), false);
    TCursor cursor = c ? c->FCursor : FCursor;
    if (cursor == crDefault) return false;
    ::SetCursor(CursorHandle(cursor));
    return true;
}

// A key the form's preview took, or one that an event of either freed its
// control with, goes no further.
bool TWinControl::DoKeyDown(WORD& key, TShiftState shift) {
    const TLifeToken life = Life();
    TCustomForm* form = ParentForm();
    if (form && form != this && form->KeyPreview() &&
        static_cast<TWinControl*>(form)->DoKeyDown(key, shift))
        return true;
    if (!life) return true;
    if (OnKeyDown) OnKeyDown(this, key, shift);
    return key == 0 || !life;
}

bool TWinControl::DoKeyUp(WORD& key, TShiftState shift) {
    const TLifeToken life = Life();
    TCustomForm* form = ParentForm();
    if (form && form != this && form->KeyPreview() &&
        static_cast<TWinControl*>(form)->DoKeyUp(key, shift))
        return true;
    if (!life) return true;
    if (OnKeyUp) OnKeyUp(this, key, shift);
    return key == 0 || !life;
}

bool TWinControl::DoKeyPress(char& key) {
    const TLifeToken life = Life();
    TCustomForm* form = ParentForm();
    if (form && form != this && form->KeyPreview() &&
        static_cast<TWinControl*>(form)->DoKeyPress(key))
        return true;
    if (!life) return true;
    if (OnKeyPress) OnKeyPress(this, key);
    return key == 0 || !life;
}

void TWinControl::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_COMMAND:
            if (message.LParam) {
                bool handled = false;
                ReflectToChild(message, reinterpret_cast<HWND>(message.LParam), handled);
                if (handled) return;
            }
            break;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(message.LParam);
            bool handled = false;
            if (hdr) ReflectToChild(message, hdr->hwndFrom, handled);
            if (handled) return;
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR: {
            bool handled = false;
            ReflectToChild(message, reinterpret_cast<HWND>(message.LParam), handled);
            if (handled) return;
            break;
        }
        case CN_CTLCOLORSTATIC:
        case CN_CTLCOLOREDIT:
        case CN_CTLCOLORBTN:
        case CN_CTLCOLORLISTBOX:
        case CN_CTLCOLORSCROLLBAR: {
            HDC dc = reinterpret_cast<HDC>(message.WParam);
            SetTextColor(dc, ColorToRGB(FEnabled ? FFont->Color() : clGrayText));
            SetBkColor(dc, ColorToRGB(FColor));
            message.Result = reinterpret_cast<LRESULT>(FBrush->Handle());
            return;
        }
        case WM_PAINT:
            if (OwnClass()) {
                PaintHandler(message);
                return;
            }
            break;
        case WM_ERASEBKGND:
            if (OwnClass()) {
                TWMEraseBkgnd erase(message);
                RECT r;
                GetClientRect(FHandle, &r);
                FillRect(erase.DC(), &r, FBrush->Handle());
                erase.SetErased(true);
                return;
            }
            break;
        case WM_SETCURSOR:
            if (SetCursorFor(message)) {
                message.Result = 1;
                return;
            }
            break;
        case WM_WINDOWPOSCHANGED:
            DefaultHandler(message);
            if (FHandle) UpdateBoundsFromWindow();
            return;
        case WM_SETFOCUS: {
            DefaultHandler(message);
            TCustomForm* form = ParentForm();
            if (form && form != this) form->SetFocusedControl(this);
            if (OnEnter) OnEnter(this);
            return;
        }
        case WM_KILLFOCUS:
            DefaultHandler(message);
            if (OnExit) OnExit(this);
            return;
        case WM_NCDESTROY: {
            HWND wnd = FHandle;
            DefaultHandler(message);
            if (wnd) RemovePropA(wnd, MAKEINTATOM(ControlAtom()));
            FHandle = nullptr;
            return;
        }
        case CN_KEYDOWN:
        case CN_SYSKEYDOWN: {
            WORD key = static_cast<WORD>(message.WParam);
            TShiftState shift = KeyDataToShiftState(message.LParam);
            message.Result = 0;
            if (DoKeyDown(key, shift)) {
                message.Result = 1;
                return;
            }
            if (key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE) {
                LRESULT code = FHandle ? SendMessageA(FHandle, WM_GETDLGCODE, key, 0) : 0;
                bool wanted = (code & DLGC_WANTALLKEYS) || (key == VK_TAB && (code & DLGC_WANTTAB));
                TCustomForm* form = ParentForm();
                if (!wanted && form && !(shift.Contains(ssAlt) || shift.Contains(ssCtrl)) &&
                    form->Perform(CM_DIALOGKEY, key, message.LParam) != 0)
                    message.Result = 1;
            }
            return;
        }
        case CN_KEYUP:
        case CN_SYSKEYUP: {
            WORD key = static_cast<WORD>(message.WParam);
            message.Result = DoKeyUp(key, KeyDataToShiftState(message.LParam)) ? 1 : 0;
            return;
        }
        case CN_CHAR:
        case CN_SYSCHAR: {
            char ch = static_cast<char>(message.WParam);
            message.Result = 0;
            if (message.Msg == CN_CHAR && DoKeyPress(ch)) {
                message.Result = 1;
                return;
            }
            // Alt+key always looks for an access key; a plain key only when
            // the focused window has no use for characters (a button).
            bool mnemonic = message.Msg == CN_SYSCHAR;
            if (!mnemonic && FHandle)
                mnemonic = !(SendMessageA(FHandle, WM_GETDLGCODE, 0, 0) & DLGC_WANTCHARS);
            TCustomForm* form = ParentForm();
            if (mnemonic && form && form->Perform(CM_DIALOGCHAR, static_cast<unsigned char>(ch), message.LParam) != 0)
                message.Result = 1;
            return;
        }
        case CM_DIALOGKEY:
        case CM_DIALOGCHAR:
        case CM_FOCUSCHANGED:
            Broadcast(message);
            return;
        default:
            break;
    }
    TControl::Dispatch(message);
}

void TWinControl::DefaultHandler(TMessage& message) {
    if (!FHandle) return;
    // The framework's own messages mean nothing to the window's class.
    if (message.Msg >= CM_BASE && message.Msg < CN_BASE + 0x400) return;
    message.Result = CallWindowProcA(FDefWndProc, FHandle, message.Msg, message.WParam, message.LParam);
}

// ---- TGraphicControl ----

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), FCanvas(new TCanvas) {}

TGraphicControl::~TGraphicControl() { delete FCanvas; }

void TGraphicControl::PaintTo(HDC dc) {
    FCanvas->SetHandle(dc);
    auto release = OnScopeExit([this] { FCanvas->SetHandle(nullptr); });
    FCanvas->SetFont(FFont);
    Paint();
}

// ---- TCustomControl ----

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), FCanvas(new TCanvas) {}

TCustomControl::~TCustomControl() {
    // The window goes while Paint can still be called safely.
    if (HandleAllocated()) DestroyHandle();
    delete FCanvas;
}

void TCustomControl::PaintWindow(HDC dc) {
    FCanvas->SetHandle(dc);
    auto release = OnScopeExit([this] { FCanvas->SetHandle(nullptr); });
    FCanvas->SetFont(FFont);
    Paint();
}

}  // namespace Fw
