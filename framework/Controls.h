// Controls: the visual components placed on forms.
//
// TControl is anything with a place and a size inside a parent; TWinControl
// has a window of its own, made when its Handle is first needed, whose
// window procedure is a thunk (MakeObjectInstance) calling the control's
// message method. TGraphicControl has no window: its parent paints it and
// passes it the mouse messages that fall on it.
//
// Every message of a control's window takes the same road: the thunk calls
// MainWndProc, which calls WindowProc (replaceable; WndProc by default),
// which ends in Dispatch (the message map), which passes what no entry takes
// to DefaultHandler, the window procedure the window had before (the system
// class's, or DefWindowProc).
#pragma once

#include <vector>

#include "framework/Graphics.h"
#include "framework/Messages.h"

namespace Fw {

class TWinControl;
class TCustomForm;
class TPopupMenu;

FW_DECLARE_EXCEPTION(EInvalidOperation, Exception);  // an operation a control cannot do now

// TMouseButton, TShiftState and KeysToShiftState are in Messages.h, with
// the typed views of mouse messages that use them.

// Where text sits across its box.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
FW_ENUM_INFO(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")

// The mouse pointer over a control. crDefault leaves it to the window class.
enum TCursor {
    crDefault, crNone, crArrow, crCross, crIBeam, crSize, crSizeNESW, crSizeNS, crSizeNWSE,
    crSizeWE, crUpArrow, crHourGlass, crDrag, crNoDrop, crHSplit, crVSplit, crMultiDrag,
    crSQLWait, crNo, crAppStart, crHelp, crHandPoint, crSizeAll
};
FW_ENUM_INFO(TCursor, "crDefault", "crNone", "crArrow", "crCross", "crIBeam", "crSize",
             "crSizeNESW", "crSizeNS", "crSizeNWSE", "crSizeWE", "crUpArrow", "crHourGlass",
             "crDrag", "crNoDrop", "crHSplit", "crVSplit", "crMultiDrag", "crSQLWait", "crNo",
             "crAppStart", "crHelp", "crHandPoint", "crSizeAll")
// The system cursor for a TCursor; null for crDefault and crNone.
HCURSOR CursorHandle(TCursor cursor);

using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = TEvent<TObject*, TShiftState, int, int>;
// Key may be set to 0 to swallow the key.
using TKeyEvent = TEvent<TObject*, WORD&, TShiftState>;
using TKeyPressEvent = TEvent<TObject*, char&>;

// What CreateWindowEx gets. WindowClass describes the class registered
// under WinClassName; its lpfnWndProc is the procedure the framework calls
// for everything the control leaves to the default.
struct TCreateParams {
    AnsiString Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = nullptr;
    void* Param = nullptr;
    WNDCLASSA WindowClass{};
    AnsiString WinClassName;
};

class TControl : public TComponent {
public:
    FW_CLASS(TControl, TComponent)
    explicit TControl(TComponent* owner);
    ~TControl() override;

    TWinControl* Parent() const { return FParent; }
    // Moves the control into parent's list of controls (null takes it out).
    // A control cannot be its own parent or the parent of an ancestor
    // (EInvalidOperation).
    virtual void SetParent(TWinControl* parent);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
    void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
    void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
    void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }
    // In the parent's client coordinates (a form's: the screen's).
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }

    // The area inside the borders, from (0, 0).
    virtual TRect ClientRect();
    int ClientWidth() { return ClientRect().Width(); }
    int ClientHeight() { return ClientRect().Height(); }
    void SetClientWidth(int value) { SetClientSize(value, ClientHeight()); }
    void SetClientHeight(int value) { SetClientSize(ClientWidth(), value); }
    virtual void SetClientSize(int width, int height);
    // Screen position of the client area's top left corner.
    virtual TPoint ClientOrigin();
    TPoint ClientToScreen(const TPoint& p) { TPoint o = ClientOrigin(); return TPoint(p.X + o.X, p.Y + o.Y); }
    TPoint ScreenToClient(const TPoint& p) { TPoint o = ClientOrigin(); return TPoint(p.X - o.X, p.Y - o.Y); }

    // Caption and Text are the same string: a button's caption, an edit's text.
    AnsiString Caption() const { return GetText(); }
    void SetCaption(const AnsiString& value) { SetText(value); }
    AnsiString Text() const { return GetText(); }
    void SetText(const AnsiString& value);

    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool value);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so are all its parents.
    virtual bool Showing() const;

    const AnsiString& Hint() const { return FHint; }
    void SetHint(const AnsiString& value) { FHint = value; }
    // With ParentShowHint (the default) ShowHint follows the parent's.
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool value);

    // The control's own font object; SetFont copies value into it. With
    // ParentFont (the default) the control copies its parent's font and
    // follows its changes; changing the font here ends that.
    TFont* Font() const { return FFont; }
    void SetFont(TFont* value) { FFont->Assign(value); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool value);

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);

    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor value) { FCursor = value; }

    // Shown by a right click on the control (or the parent's, when it has none).
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* value);

    // What a click does: fires OnClick.
    virtual void Click();
    virtual void DblClick();

    // Sends a message straight to WindowProc, with or without a window.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // The resolution the control is drawn at: that of the monitor its form
    // is on (Forms.h); the system's for a control on no form.
    int CurrentPPI() const;
    // A length given at 96 pixels per inch, in the pixels of the control's
    // layout (its form's PixelsPerInch): for placing and sizing controls
    // from code as the form text places them.
    int ScaleValue(int value) const;
    // Takes what the control holds in pixels from resolution from to
    // resolution to: its place and size, its own font (a parent font
    // follows the parent), and a parent's children with it. A control with
    // more lengths of its own scales them too.
    virtual void ChangeScale(int to, int from);

    virtual void Invalidate();
    // Paints what is invalid now.
    virtual void Update();
    void Repaint() { Invalidate(); Update(); }

    // The control's message method: what the thunk of its window calls, and
    // what Perform sends to. Replace it to see the messages first (keep the
    // old value and call it for what you don't swallow).
    TWndMethod WindowProc;
    virtual void WndProc(TMessage& message);
    // The message map: derived classes route messages to methods with
    // FW_BEGIN_MESSAGE_MAP ... FW_END_MESSAGE_MAP(Base).
    virtual void Dispatch(TMessage& message);
    // What no handler took: for a control without a window, nothing.
    virtual void DefaultHandler(TMessage& message);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Streaming: controls are written inside their parent.
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

    // The form the control sits on (itself for a form), or null.
    TCustomForm* ParentForm() const;

protected:
    virtual AnsiString GetText() const { return FText; }
    // Stores the text; a windowed control also sets its window's text.
    virtual void SetTextValue(const AnsiString& value);
    virtual void TextChanged() { Invalidate(); }
    virtual void FontChanged();
    virtual void ColorChanged();
    virtual void EnabledChanged() { Invalidate(); }
    virtual void VisibleChanged();
    // A parent's font, colour or hint switch changed.
    virtual void ParentFontChanged();
    virtual void ParentColorChanged();
    virtual void ParentShowHintChanged();
    // Told when the control is about to leave its parent or join one.
    virtual void ParentChanging() {}
    virtual void ParentChanged() {}

    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);

    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    // The two halves of ChangeScale: a control sized after its font (a
    // label fitted to its text) must have its font last.
    void ScaleBounds(int to, int from);
    void ScaleFont(int to, int from);

    // Width and Height are written unless a form stores its client size instead.
    virtual bool IsSizeStored() const { return true; }
    bool IsFontStored() const { return !FParentFont; }
    bool IsColorStored() const { return !FParentColor; }
    bool IsShowHintStored() const { return !FParentShowHint; }

    // A control that is clicked by the mouse (labels, images, panels); a
    // button is clicked by its window's own notification instead.
    bool FClickEvents = false;
    // Mouse button pressed over this control and not yet released.
    bool FClicking = false;

    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    AnsiString FText;
    bool FEnabled = true;
    bool FVisible = true;
    AnsiString FHint;
    bool FShowHint = false;
    bool FParentShowHint = true;
    TFont* FFont;
    bool FParentFont = true;
    TColor FColor = clWindow;
    bool FParentColor = false;
    TCursor FCursor = crDefault;
    TPopupMenu* FPopupMenu = nullptr;

private:
    friend class TWinControl;
    void FontObjectChanged(TObject* sender);
    bool FUpdatingFont = false;  // copying the parent's font: not a change of our own
};

class TWinControl : public TControl {
public:
    FW_CLASS(TWinControl, TControl)
    explicit TWinControl(TComponent* owner);
    // Destroys the child controls and the window while this object is still
    // a TWinControl, then gives back the thunk.
    ~TWinControl() override;

    // The window, made (with the parents' windows) on first use.
    HWND Handle();
    bool HandleAllocated() const { return FHandle != nullptr; }
    void HandleNeeded();
    // Destroys the window, keeping what it showed (text, state); the next use
    // of Handle makes a new one.
    void DestroyHandle();
    // Makes the window again now (after a style change, say) if it exists.
    void RecreateWnd();

    // Child controls in the order they joined (graphic and windowed alike).
    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int index) const;
    bool ContainsControl(TControl* control) const;
    // The visible child at p (client coordinates), topmost first; disabled
    // children only with allowDisabled, windowed children only with
    // allowWinControls.
    TControl* ControlAtPos(const TPoint& p, bool allowDisabled, bool allowWinControls = false) const;

    // Position among the parent's windowed children in tab order; -1 without parent.
    int TabOrder() const;
    void SetTabOrder(int value);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool value);
    // Every windowed control under this one in tab order, depth first.
    void GetTabOrderList(std::vector<TWinControl*>& list) const;
    // The next (or previous) control after current in tab order under this
    // one that can take the focus, wrapping around; null when there is none.
    TWinControl* FindNextControl(TWinControl* current, bool forward, bool checkTabStop) const;
    void SelectNext(TWinControl* current, bool forward, bool checkTabStop);

    // Visible and enabled, and so are all its parents.
    virtual bool CanFocus() const;
    bool Focused() const;
    // Raises EInvalidOperation when the control cannot take the focus.
    virtual void SetFocus();

    // Sends message to each child control until one sets a non-zero Result.
    void Broadcast(TMessage& message);

    // The control whose window this is, or null.
    static TWinControl* FindControl(HWND window);

    void GetChildren(const TGetChildProc& proc, TComponent* root) override;

    void Invalidate() override;
    void Update() override;
    void SetBounds(int left, int top, int width, int height) override;
    void ChangeScale(int to, int from) override;
    TRect ClientRect() override;
    TPoint ClientOrigin() override;
    bool Showing() const override;

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // The thunk's target: WindowProc. An exception that escapes it stops
    // at the thunk and is reported with this control as its source
    // (ObjectInstance.h).
    void MainWndProc(TMessage& message);
    void WndProc(TMessage& message) override;
    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

    // Used by TControl::SetParent.
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);

protected:
    virtual void CreateParams(TCreateParams& params);
    // Makes the control a superclass of a system window class ("BUTTON").
    void CreateSubClass(TCreateParams& params, const char* className);
    // Creates the window and its children's windows.
    virtual void CreateHandle();
    virtual void CreateWnd();
    virtual void CreateWindowHandle(const TCreateParams& params);
    // Saves what the window shows, then destroys it.
    virtual void DestroyWnd();
    // The window is made: send it what it must show.
    virtual void InitializeHandle() {}
    // The window is going: read back what the user changed in it.
    virtual void SaveHandleState() {}

    // For windows of the control's own class: paints the window itself and
    // then the graphic children. Windows of system classes paint themselves.
    virtual void PaintWindow(HDC dc) {}
    void PaintControls(HDC dc, const RECT& update);
    bool OwnClass() const { return FDefWndProc == &DefWindowProcA; }

    // Key handling for messages taken from the queue by the application:
    // KeyPreview of the form, OnKeyDown/OnKeyPress, then dialog keys.
    // True when the key was used up.
    virtual bool DoKeyDown(WORD& key, TShiftState shift);
    virtual bool DoKeyPress(char& key);
    virtual bool DoKeyUp(WORD& key, TShiftState shift);

    void TextChanged() override;
    void FontChanged() override;
    void ColorChanged() override;
    void EnabledChanged() override;
    void VisibleChanged() override;
    void SetTextValue(const AnsiString& value) override;
    AnsiString GetText() const override;
    void Loaded() override;

    // The brush of Color, for painting the background.
    TBrush* Brush() const { return FBrush; }

    HWND FHandle = nullptr;
    WNDPROC FDefWndProc = nullptr;
    WNDPROC FObjectInstance = nullptr;
    bool FTabStop = false;

private:
    friend class TControl;
    friend class TApplication;
    friend LRESULT CALLBACK InitWndProc(HWND, UINT, WPARAM, LPARAM);
    void UpdateBoundsFromWindow();
    void FixupTabList();
    void RouteMouse(TMessage& message, bool& handled);
    void ReflectToChild(TMessage& message, HWND child, bool& handled);
    void PaintHandler(TMessage& message);
    bool SetCursorFor(const TMessage& message);
    void DestroyChildHandles();

    std::vector<TControl*> FControls;
    std::vector<TWinControl*> FTabList;
    int FTabOrder = -1;  // while loading: the stored value, placed by FixupTabList
    TBrush* FBrush;
    bool FCreatingHandle = false;
    bool FDestroyingHandle = false;
};

// A control without a window, painted on its parent's.
class TGraphicControl : public TControl {
public:
    FW_CLASS(TGraphicControl, TControl)
    explicit TGraphicControl(TComponent* owner);
    ~TGraphicControl() override;

    // Valid while Paint runs: a canvas on the parent's device context, with
    // the origin at the control's top left corner.
    TCanvas* Canvas() const { return FCanvas; }
    // Paints the control on dc, whose origin is at the control's corner.
    void PaintTo(HDC dc);

protected:
    virtual void Paint() {}

private:
    TCanvas* FCanvas;
};

// A windowed control of its own window class that paints itself.
class TCustomControl : public TWinControl {
public:
    FW_CLASS(TCustomControl, TWinControl)
    explicit TCustomControl(TComponent* owner);
    ~TCustomControl() override;

    TCanvas* Canvas() const { return FCanvas; }

protected:
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;

private:
    TCanvas* FCanvas;
};

// Text with "&" access keys: whether key is the access key of caption
// (ASCII letters without regard to case; double-byte characters are skipped).
// StripHotkey (Menus.h) removes the marks.
bool IsAccel(WORD key, const AnsiString& caption);

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Controls)

}  // namespace Fw
