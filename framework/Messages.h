// The window-message record that controls, forms and message hooks pass
// around, the framework's own message numbers, and the message map.
#pragma once

// Framework headers first: <windows.h> turns names such as GetObject into
// macros, and the type-information headers must be read with plain names.
#include "framework/TypeInfo.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace Fw {

// One window message as a window procedure receives it. Handlers may change
// Result; what is left there is what the window procedure returns. WParam,
// LParam and Result are as wide as the platform's (32 bits in the 32-bit
// build, 64 in the 64-bit one, where a handle or pointer travels in them);
// Msg is 32 bits in both.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;

    WORD WParamLo() const { return LOWORD(WParam); }
    WORD WParamHi() const { return HIWORD(WParam); }
    WORD LParamLo() const { return LOWORD(LParam); }
    WORD LParamHi() const { return HIWORD(LParam); }
};
static_assert(sizeof(TMessage) == 4 * sizeof(void*), "message fields are as wide as a pointer");

// A control's message method: WindowProc of every control is one, and hooks
// replace it to see the control's messages first.
using TWndMethod = TEvent<TMessage&>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
FW_ENUM_INFO(TMouseButton, "mbLeft", "mbRight", "mbMiddle")

// Keys and buttons held during a key or mouse event; ssShift to ssMiddle are
// bits 0 to 5.
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
FW_ENUM_INFO(TShiftStateItem, "ssShift", "ssAlt", "ssCtrl", "ssLeft", "ssRight", "ssMiddle", "ssDouble")
using TShiftState = TSet<TShiftStateItem>;

// From the MK_xxx flags of a mouse message; Alt, which has no flag, is read
// from the keyboard as the message is handled.
inline TShiftState KeysToShiftState(WORD keys) {
    TShiftState s;
    if (keys & MK_SHIFT) s << ssShift;
    if (keys & MK_CONTROL) s << ssCtrl;
    if (keys & MK_LBUTTON) s << ssLeft;
    if (keys & MK_RBUTTON) s << ssRight;
    if (keys & MK_MBUTTON) s << ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s << ssAlt;
    return s;
}

// From the keyboard state now (Shift, Ctrl) and a key message's LParam (Alt).
inline TShiftState KeyDataToShiftState(LPARAM keyData) {
    TShiftState s;
    if (GetKeyState(VK_SHIFT) < 0) s << ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s << ssCtrl;
    if (keyData & 0x20000000) s << ssAlt;
    return s;
}

// ---- Typed views of messages ----
//
// A view reads one kind of message from the TMessage it is made on, and
// writes its Result where the message has one with a meaning: the message's
// fields cracked in one place, not by bit twiddling in each handler. A view
// refers to the message; use it while the handler runs.
//
//     void TWheelUser::WheelHandler(TObject*, TMessage& Message, bool&) {
//         TWMMouseWheel wheel(Message);
//         OnWheel(this, wheel.WheelDelta(), wheel.Shift(), wheel.X(), wheel.Y());
//     }

class TMessageView {
public:
    explicit TMessageView(TMessage& message) : FMessage(message) {}

protected:
    TMessage& FMessage;
};

// A message that carries a position in LParam, one signed coordinate in each
// half.
class TPosMessageView : public TMessageView {
public:
    using TMessageView::TMessageView;
    int X() const { return static_cast<short>(LOWORD(FMessage.LParam)); }
    int Y() const { return static_cast<short>(HIWORD(FMessage.LParam)); }
    POINT Pos() const { return POINT{X(), Y()}; }
};

// The mouse messages with a position: WM_MOUSEMOVE and the button messages
// (WM_LBUTTONDOWN ... WM_MBUTTONDBLCLK). The position is in the window's
// client coordinates, and may be negative (left of or above the window,
// while it has the capture).
class TWMMouse : public TPosMessageView {
public:
    using TPosMessageView::TPosMessageView;

    // The MK_xxx flags: keys and buttons down during the message.
    WORD Keys() const { return LOWORD(FMessage.WParam); }
    TShiftState Shift() const {
        TShiftState s = KeysToShiftState(Keys());
        if (DoubleClick()) s << ssDouble;
        return s;
    }

    bool ButtonDown() const { return IsOneOf(WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN) || DoubleClick(); }
    bool ButtonUp() const { return IsOneOf(WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP); }
    bool DoubleClick() const { return IsOneOf(WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK); }
    // The button a button message is about (mbLeft for WM_MOUSEMOVE).
    TMouseButton Button() const {
        switch (FMessage.Msg) {
            case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return mbRight;
            case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return mbMiddle;
            default: return mbLeft;
        }
    }

private:
    bool IsOneOf(UINT a, UINT b, UINT c) const { return FMessage.Msg == a || FMessage.Msg == b || FMessage.Msg == c; }
};

// WM_MOUSEWHEEL. The position is in screen coordinates, as the message
// carries it.
class TWMMouseWheel : public TPosMessageView {
public:
    using TPosMessageView::TPosMessageView;

    WORD Keys() const { return LOWORD(FMessage.WParam); }
    TShiftState Shift() const { return KeysToShiftState(Keys()); }
    // Positive when the wheel was turned away from the user; WHEEL_DELTA a notch.
    short WheelDelta() const { return static_cast<short>(HIWORD(FMessage.WParam)); }
};

// WM_DROPFILES: files dropped from the shell.
class TWMDropFiles : public TMessageView {
public:
    using TMessageView::TMessageView;

    // For DragQueryFile and DragQueryPoint; the receiver releases it with DragFinish.
    HDROP Drop() const { return reinterpret_cast<HDROP>(FMessage.WParam); }
};

// WM_CONTEXTMENU: a right click (or the menu key) in a window.
// The position is where the mouse was, in screen coordinates; there is
// none from the keyboard.
class TWMContextMenu : public TPosMessageView {
public:
    using TPosMessageView::TPosMessageView;

    HWND Window() const { return reinterpret_cast<HWND>(FMessage.WParam); }
    // Shift+F10 or the menu key: no position.
    bool FromKeyboard() const { return FMessage.LParam == -1; }
};

// WM_ERASEBKGND.
class TWMEraseBkgnd : public TMessageView {
public:
    using TMessageView::TMessageView;

    // Where to erase: the window's device context, clipped to what needs it.
    HDC DC() const { return reinterpret_cast<HDC>(FMessage.WParam); }
    // Whether the background was erased (Result 1) or is left to WM_PAINT (0).
    bool Erased() const { return FMessage.Result != 0; }
    void SetErased(bool erased) { FMessage.Result = erased ? 1 : 0; }
};

// Messages the framework sends to its own controls. They never reach a
// window procedure of the system.
enum : UINT {
    CM_BASE = 0xB000,
    // Sent to a form for Tab, Enter and Escape when the focused control has
    // no use for them; WParam: the virtual key. Result 1 when it was used.
    CM_DIALOGKEY = CM_BASE + 1,
    // Sent to a form for Alt+key, and for a plain key when the focused
    // control takes no characters; WParam: the character. Result 1 when an
    // access key matched.
    CM_DIALOGCHAR = CM_BASE + 2,
    // Broadcast by a form when a control of it gets the focus; LParam: that control.
    CM_FOCUSCHANGED = CM_BASE + 3,
    // Posted by TCustomForm::Release.
    CM_RELEASE = CM_BASE + 4,

    // Notifications that a parent window receives from a child window
    // (WM_COMMAND, WM_NOTIFY, WM_CTLCOLORxxx) are sent on to the child's
    // control as CN_BASE + the original number; key messages taken from the
    // queue reach the focused control the same way before they are
    // translated and dispatched.
    CN_BASE = 0xBC00,
    CN_KEYDOWN = CN_BASE + WM_KEYDOWN,
    CN_KEYUP = CN_BASE + WM_KEYUP,
    CN_CHAR = CN_BASE + WM_CHAR,
    CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN,
    CN_SYSKEYUP = CN_BASE + WM_SYSKEYUP,
    CN_SYSCHAR = CN_BASE + WM_SYSCHAR,
    CN_COMMAND = CN_BASE + WM_COMMAND,
    CN_NOTIFY = CN_BASE + WM_NOTIFY,
    CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT,
    CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX,
    CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN,
    CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR,
    CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC,
};

}  // namespace Fw

// The message map of a control or form class: messages listed here reach
// their handler method (void Handler(Fw::TMessage&)); every other message
// goes on to the base class's Dispatch. A handler that wants the base's
// processing too calls Base::Dispatch(Message) itself. A message number may
// be any expression, a constant or a number known only at run time (a
// message registered by name); entries are tried in their order. The map
// changes no access: put it where Dispatch belongs, usually the public part.
//
//     class TForm1 : public Fw::TForm {
//         ...
//         void TrayIconMessage(Fw::TMessage& Message);
//         void TaskbarCreated(Fw::TMessage& Message);
//         FW_BEGIN_MESSAGE_MAP
//             FW_MESSAGE_HANDLER(WM_USER + 1, TrayIconMessage)
//             FW_MESSAGE_HANDLER(TaskbarCreatedMessage(), TaskbarCreated)
//         FW_END_MESSAGE_MAP(Fw::TForm)
//     };
#define FW_BEGIN_MESSAGE_MAP                            \
    void Dispatch(::Fw::TMessage& Message) override {   \
        const UINT fwMessageNumber = Message.Msg;       \
        if (false) {

#define FW_MESSAGE_HANDLER(Msg, Handler)                  \
        } else if (fwMessageNumber == static_cast<UINT>(Msg)) { \
            Handler(Message);

#define FW_END_MESSAGE_MAP(Base)        \
        } else {                        \
            Base::Dispatch(Message);    \
        }                               \
    }
