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
