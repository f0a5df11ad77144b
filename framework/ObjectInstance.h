// Object methods as window procedures.
//
// A window procedure is a plain function of four arguments; a control's
// message method is an object and a member function. MakeObjectInstance
// writes a few bytes of machine code that put the method's record in front
// of the window procedure's arguments and jump to one shared entry, which
// builds a TMessage, calls the method, and returns the message's Result.
//
// That entry is the boundary between the system's code and ours. No
// exception may unwind into the system's frames (on Windows it cannot cross
// them at all; Wine dropped it silently), and a method may raise: a message
// handler, an event it fires, a Dispatch that failed. So the entry catches
// whatever the method lets escape and hands it to HandleException (Object.h),
// which passes it to the application's exception handling: OnException, or
// a message box; EAbort in silence. The message then returns what its
// record's Result held when the exception left the method: 0 unless a
// handler (or the default processing it had asked for) set it before the
// raise. Nothing else is done for the message; the window goes on.
#pragma once

#include "framework/Messages.h"

namespace Fw {

// A window procedure that calls method with each message it receives. An
// exception the method lets escape is reported with sender as its source
// (see above). It stays valid until FreeObjectInstance; freeing it while a
// window still uses it leaves that window with a dangling procedure, so take
// it off first. Thunks live in executable blocks shared by many; thousands
// may exist at once. Safe to call from any thread.
WNDPROC MakeObjectInstance(const TWndMethod& method, TObject* sender = nullptr);
// Releases a thunk made by MakeObjectInstance; null is ignored. Anything
// else raises Exception, leaving every thunk as it was.
void FreeObjectInstance(WNDPROC instance);

// Whether proc is a live thunk made by MakeObjectInstance.
bool IsObjectInstance(WNDPROC proc);
// The method a live thunk calls; raises Exception for anything else.
TWndMethod ObjectInstanceMethod(WNDPROC instance);

// Counts, for tests and diagnostics.
int ObjectInstanceCount();       // thunks alive
int ObjectInstanceBlockCount();  // executable blocks holding them

}  // namespace Fw
