// Window message interception: taking over window procedures, dispatching
// each message to the handlers registered for it, interceptor components
// that share one hook on a window among many users, the users' base class,
// and the components built on it - file drop, mouse wheel, background
// painting and messages registered by name.
//
// A window is hooked once, by an interceptor (the owner form's window, an
// MDI form's client window, or a control's) or by a user of its own in
// control mode. Every message of that window then goes through a
// dispatcher, which calls, in order, every handler that the users
// registered for the message's number, and on to the window's previous
// procedure unless a handler marked it handled.
//
// Nothing here ever calls into a destroyed object:
// - a subclass gives the window back its previous procedure only while the
//   procedure slot still holds its own; when another party hooked the window
//   later, its procedure stays in the chain and forwards every message until
//   the window is gone (or until it is on top again and can step out);
// - a dispatcher's walk over a message's handlers skips those deleted during
//   the walk and leaves those added during it to the next message, and stops
//   when the dispatcher itself is destroyed by a handler;
// - users hear of the end of their interceptor and control (free
//   notification), and take their handlers out of a dispatcher as soon as
//   they stop using it, so a user destroyed first is never called again;
// - a painter hears of the end of its image list.
//
// GUI thread only: everything here is used from the thread that owns the
// hooked windows.
//
// The unit's initialise step registers its classes by name; including this
// header, or linking the library, is all a program does for that (see Units
// in framework/Object.h).
#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "framework/Collection.h"
#include "framework/Component.h"
#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/ImgList.h"
#include "framework/Messages.h"
#include "framework/StringList.h"

namespace Kit {

// A message handler: called with the object that calls it, the message (its
// Result may be changed) and a flag to set once the message is fully
// processed, so that the window's previous procedure does not get it. Two
// handlers are equal when object and method are.
using TMessageHandler = Fw::TEvent<Fw::TObject*, Fw::TMessage&, bool&>;

// The one place that writes a window's procedure slot. Returns the previous
// procedure, or null when wnd is not a window.
WNDPROC SetWindowProc(HWND wnd, WNDPROC proc);

namespace Detail {
struct TSubclassLink;
}

// ---- Window subclassing ----

// Takes over the window procedure of one window: every message first reaches
// OnWindowMessage (Sender: this object), then, unless that marked it handled,
// the procedure the window had before. The window gets its previous
// procedure back on UnSubclass, on SetHandle of another window, on its own
// WM_DESTROY, and when this object is destroyed: written back while the slot
// still holds this object's procedure; otherwise that procedure stays in the
// window's chain, forwarding to the previous one, and steps out by itself
// once it is on top again or the window is gone.
class TWindowSubclass : public Fw::TObject {
public:
    FW_CLASS(TWindowSubclass, Fw::TObject)
    TWindowSubclass();
    ~TWindowSubclass() override;

    // The window hooked now; null when detached.
    HWND Handle() const { return FHandle; }
    // Leaves the window hooked now, then hooks wnd (null only leaves).
    void SetHandle(HWND wnd);
    // As SetHandle with the control's window, made now if needed.
    void SetWinControl(Fw::TWinControl* control);
    // Gives the window its previous procedure back (see above).
    void UnSubclass();

    // The method behind the procedure written into the window.
    void WindowProc(Fw::TMessage& Message);
    // Unless Handled, passes the message to the window's previous procedure
    // (its result into Message.Result) and sets Handled, so the previous
    // procedure runs at most once per message. Handlers call it to let the
    // window do its own processing before their work.
    void CallOldProc(Fw::TMessage& Message, bool& Handled);

    // What was in the slot when this object hooked the window.
    WNDPROC PreviousProc() const { return FPrevious; }
    // The procedure this object writes into a window.
    WNDPROC Proc();

    TMessageHandler OnWindowMessage;

private:
    Detail::TSubclassLink* Link();
    void DropLink();

    WNDPROC FPrevious = nullptr;
    // The previous procedure is code of this process, not a value that only
    // CallWindowProc understands: it is called directly.
    bool FPreviousIsCode = false;
    Detail::TSubclassLink* FLink = nullptr;
    HWND FHandle = nullptr;
};

// ---- Message event dispatcher ----

// For each message number, the handlers registered for it in the order they
// were added; all of them are called for each message of that number.
class TMessageEventDispatcher : public Fw::TObject {
public:
    FW_CLASS(TMessageEventDispatcher, Fw::TObject)
    TMessageEventDispatcher();
    // A walk in progress (the dispatcher destroyed by one of its handlers)
    // stops after that handler.
    ~TMessageEventDispatcher() override;

    // Appends; a handler added twice is called twice. Added during a walk of
    // the same message, it is first called at the next message.
    void AddHandler(unsigned Msg, const TMessageHandler& Handler);
    // Removes every entry equal to Handler from Msg's list. Deleted during a
    // walk, it is not called later in that walk.
    void DeleteHandler(unsigned Msg, const TMessageHandler& Handler);
    // Calls every handler of Message.Msg with this dispatcher as Sender and a
    // flag of its own; Handled becomes true when any of them set theirs (it
    // is never cleared). An exception from a handler ends the walk. Has the
    // shape of a TMessageHandler, so it can be a subclass's OnWindowMessage.
    void DispatchEvent(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

    // The handlers of Msg, in order.
    std::vector<TMessageHandler> Handlers(unsigned Msg) const;
    // Whether Msg has a list (every number looked up gets one, kept for good).
    bool HasList(unsigned Msg) const { return FLists.count(Msg) != 0; }

private:
    using THandlerList = std::vector<TMessageHandler>;
    void Compact();

    std::map<unsigned, THandlerList> FLists;
    int FWalks = 0;  // walks in progress (nested by handlers)
    Fw::TLife FLife;
    // Entries deleted during a walk are left unassigned in their lists until
    // the last walk ends.
    bool FDirty = false;
};

// ---- Message interceptors ----

// Hooks one window once and offers its messages to any number of interceptor
// users, which register their handlers with Dispatcher(). Which window is
// the concrete class's business.
class TCustomMessageInterceptor : public Fw::TComponent {
public:
    FW_CLASS(TCustomMessageInterceptor, Fw::TComponent)
    explicit TCustomMessageInterceptor(Fw::TComponent* Owner);
    // Tells the users still registered (the step below, unless it ran), then
    // lets go of the window.
    ~TCustomMessageInterceptor() override;
    // Every user still registered gets a WM_DESTROY of this interceptor's
    // own (Enabled or not, never OnMessage), so that it forgets the
    // interceptor; then Enabled is false.
    void BeforeDestruction() override;

    // When false no handler and no OnMessage sees any message of the window.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value) { FEnabled = Value; }

    TMessageEventDispatcher* Dispatcher() const { return FDispatcher; }
    TWindowSubclass* Subclass() const { return FSubclass; }

    // The subclass's callback: the handlers, then OnMessage if none handled it.
    void WindowMessageHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

    // Called (Sender: the subclass) with every message no handler handled.
    TMessageHandler OnMessage;

private:
    void ReleaseUsers();

    bool FEnabled = true;
    TMessageEventDispatcher* FDispatcher = nullptr;
    TWindowSubclass* FSubclass = nullptr;
    bool FUsersReleased = false;
};

// Hooks the window of its owner, which must be a form.
class TFormMessageInterceptor : public TCustomMessageInterceptor {
public:
    FW_CLASS(TFormMessageInterceptor, TCustomMessageInterceptor)
    // Raises "オーナーがフォームではありません." when Owner is no form.
    explicit TFormMessageInterceptor(Fw::TComponent* Owner);
};

// Hooks the MDI client window of its owner, a TForm of style fsMDIForm. The
// form's window (and with it the client window) is made first if needed.
class TMDIFormClientMessageInterceptor : public TCustomMessageInterceptor {
public:
    FW_CLASS(TMDIFormClientMessageInterceptor, TCustomMessageInterceptor)
    // Raises "オーナーがフォームではありません." or "フォームは MDIForm ではありません.".
    explicit TMDIFormClientMessageInterceptor(Fw::TComponent* Owner);
};

// Hooks the window of Control, a control of any form; follows the control's
// destruction and lets go.
class TControlMessageInterceptor : public TCustomMessageInterceptor {
public:
    FW_CLASS(TControlMessageInterceptor, TCustomMessageInterceptor)
    explicit TControlMessageInterceptor(Fw::TComponent* Owner);

    Fw::TWinControl* Control() const { return FControl; }
    // Leaves the previous control's window and hooks Value's (null only leaves).
    void SetControl(Fw::TWinControl* Value);

protected:
    void Notification(Fw::TComponent* AComponent, Fw::TOperation Operation) override;

private:
    Fw::TWinControl* FControl = nullptr;
};

using TNotificationEvent = Fw::TEvent<Fw::TComponent*, Fw::TOperation>;

// Turns the framework's Notification calls into an event. Has no owner:
// whoever makes it destroys it.
class TNotificationProxy : public Fw::TComponent {
public:
    FW_CLASS(TNotificationProxy, Fw::TComponent)
    TNotificationProxy();

    TNotificationEvent OnNotification;

protected:
    void Notification(Fw::TComponent* AComponent, Fw::TOperation Operation) override;
};

// ---- Interceptor user base ----

// The base of every component that handles some messages of one window,
// either through an interceptor's dispatcher (MessageInterceptor set) or
// through a hook of its own on a control's window (Control set). A
// descendant declares its handlers in DefineHandlers and acts on being
// switched on or off in DoActivate; this class registers, hooks and
// switches through Active, and lets go when the window dies.
class TInterceptorUser : public Fw::TComponent {
public:
    FW_CLASS(TInterceptorUser, Fw::TComponent)
    explicit TInterceptorUser(Fw::TComponent* Owner);
    // A user destroyed without BeforeDestruction (plain delete) takes its
    // handlers out and unhooks all the same, without its descendant.
    ~TInterceptorUser() override;
    // Switches off through SetActive, while the descendant is whole.
    void BeforeDestruction() override;

    bool Active() const { return FActive; }
    // Raises "MessageInterceptor か Control を設定して下さい." when switched
    // on with neither set. While loading only records the value.
    virtual void SetActive(bool Value);
    TCustomMessageInterceptor* MessageInterceptor() const { return FMessageInterceptor; }
    // Clears Control. Raises "コンポーネントがアクティブです." while active.
    void SetInterceptor(TCustomMessageInterceptor* Value);
    Fw::TWinControl* Control() const { return FControl; }
    // Clears MessageInterceptor. Raises "コンポーネントがアクティブです." while active.
    void SetControl(Fw::TWinControl* Value);

    // The window: the interceptor's (null when it hooks none), the control's
    // (made if needed), or null.
    HWND GetHandle();
    // The interceptor's subclass and dispatcher, or in control mode the own.
    TWindowSubclass* GetSubclass() const;
    TMessageEventDispatcher* GetDispatcher() const;

protected:
    // Called inside DefineHandlers, once per message wanted.
    void DefineHandler(int Msg, const TMessageHandler& Handler);
    void ClearHandlerList();
    // The destroy handler, then every definition; nothing while loading.
    void AddHandlers(TMessageEventDispatcher* Dispatcher);
    void DeleteHandlers(TMessageEventDispatcher* Dispatcher);
    // Raises "コンポーネントがアクティブです." when active and not loading.
    void CheckActive();
    // WM_DESTROY of the window, or of an interceptor going away: the user
    // falls back to inactive and forgets both references.
    void DestroyHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

    void Loaded() override;
    void Notification(Fw::TComponent* AComponent, Fw::TOperation Operation) override;
    // Called with the new state after every change of Active.
    virtual void DoActivate(bool Value);
    // Made by Loaded, or at the first switching on of a user made in code.
    virtual void DefineHandlers() = 0;

private:
    struct TDefinition {
        unsigned Msg;
        TMessageHandler Handler;
    };
    void DefineOnce();
    void Register(TMessageEventDispatcher* dispatcher);
    void Unregister();
    void RegisterOwn();
    void ActivateIfPending(bool referenceSet);

    std::vector<TDefinition> FDefinitions;
    TWindowSubclass* FSubclass = nullptr;
    TMessageEventDispatcher* FDispatcher = nullptr;
    bool FActive = false;
    TCustomMessageInterceptor* FMessageInterceptor = nullptr;
    Fw::TWinControl* FControl = nullptr;
    // The interceptor's dispatcher that holds this user's handlers now.
    TMessageEventDispatcher* FRegistered = nullptr;
    bool FDefined = false;        // DefineHandlers has run
    bool FOwnRegistered = false;  // the own dispatcher holds the handlers
    // Read as active with a reference to another form that was not there
    // yet: switched on when the reference arrives.
    bool FActivatePending = false;
};

// ---- File drop and mouse wheel ----

// The target path of the shell link FileName, or FileName itself when it
// cannot be resolved.
Fw::AnsiString ResolveShortcutFile(const Fw::AnsiString& FileName);

// Accepts files dragged from the shell onto the window and reports their
// names, shortcuts (".lnk") replaced by their targets when FollowLink.
class TFileDrop : public TInterceptorUser {
public:
    FW_CLASS(TFileDrop, TInterceptorUser)
    explicit TFileDrop(Fw::TComponent* Owner);
    ~TFileDrop() override;

    bool ActivateWindow() const { return FActivateWindow; }
    void SetActivateWindow(bool Value) { FActivateWindow = Value; }
    bool FollowLink() const { return FFollowLink; }
    void SetFollowLink(bool Value) { FFollowLink = Value; }
    // The names of the last drop, in the shell's order, each one whole. A
    // name the ANSI code page cannot spell is given in its short (8.3) form
    // when the file system has one; without one, as the code page spells it,
    // with '?' for each character it cannot (a name that opens nothing
    // rather than another file).
    Fw::TStringList* Files() const { return FFiles; }
    // Where the last drop happened, in the window's client coordinates.
    Fw::TPoint DropPoint() const { return FDropPoint; }

    void DropHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

    Fw::TNotifyEvent OnDropFiles;

protected:
    void DefineHandlers() override;
    void DoActivate(bool Value) override;

private:
    Fw::TStringList* FFiles;
    Fw::TPoint FDropPoint;
    bool FActivateWindow = true;
    bool FFollowLink = true;
};

using TWheelEvent = Fw::TEvent<Fw::TObject*, short, Fw::TShiftState, int, int>;

// Reports WM_MOUSEWHEEL: the delta (positive away from the user), the keys
// and buttons held, and the screen position.
class TMouseWheel : public TInterceptorUser {
public:
    FW_CLASS(TMouseWheel, TInterceptorUser)
    explicit TMouseWheel(Fw::TComponent* Owner);

    void WheelHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

    TWheelEvent OnWheel;

protected:
    void DefineHandlers() override;
};

// ---- Bitmap painter ----

enum TDrawMessage : unsigned char { dmPaint, dmEraseBkgnd };
FW_ENUM_INFO(TDrawMessage, "dmPaint", "dmEraseBkgnd")

// One image of an image list: the list (not owned) and an index in it.
// Held by a component (its owner), it asks for the list's free notification
// on the owner's behalf, so that the owner can clear it.
class TImageListImage : public Fw::TPersistent {
public:
    FW_CLASS(TImageListImage, Fw::TPersistent)
    explicit TImageListImage(Fw::TComponent* Owner = nullptr);

    // Raises "Assign できません." for anything but a TImageListImage.
    void Assign(Fw::TPersistent* Source) override;

    Fw::TImageList* ImageList() const { return FImageList; }
    void SetImageList(Fw::TImageList* Value);
    int Index() const { return FIndex; }
    void SetIndex(int Value) { FIndex = Value; }

    // An image list, and an index of one of its images.
    bool isValid() const;
    // Raises "ImageList が無効です." when not isValid().
    void Draw(Fw::TCanvas* Canvas, int X, int Y, bool Enabled);
    // Columns left to right, each top to bottom, from the rectangle's corner.
    // Size, when given, is the size to draw the image at (stretched; an
    // enabled image only); otherwise the image list's own.
    void DrawTiled(Fw::TCanvas* Canvas, const Fw::TRect& Rect, bool Enabled, Fw::TSize Size = {});
    // Once, centred (an image larger than Rect overhangs on both sides).
    void DrawCenter(Fw::TCanvas* Canvas, const Fw::TRect& Rect, bool Enabled, Fw::TSize Size = {});

protected:
    Fw::TPersistent* GetOwner() override { return FOwner; }

private:
    Fw::TComponent* FOwner;
    Fw::TImageList* FImageList = nullptr;
    int FIndex = -1;
};

// Draws one image over the window's client area, tiled or centred, in its
// painting (dmPaint) or its background erasing (dmEraseBkgnd).
class TBitmapPainter : public TInterceptorUser {
public:
    FW_CLASS(TBitmapPainter, TInterceptorUser)
    explicit TBitmapPainter(Fw::TComponent* Owner);
    ~TBitmapPainter() override;

    // Switching on (not loading) raises "Image が無効です." without a valid image.
    void SetActive(bool Value) override;

    TDrawMessage DrawMessage() const { return FDrawMessage; }
    void SetDrawMessage(TDrawMessage Value);
    TImageListImage* Image() const { return FImage; }
    // Copies Value; raises "コンポーネントがアクティブです." while active.
    void SetImage(TImageListImage* Value);
    bool Tiled() const { return FTiled; }
    void SetTiled(bool Value);
    // False (the default): the image is drawn at the image list's own size,
    // whatever the screen's resolution. True: at that size taken to the
    // window's resolution from 96 pixels per inch, so that it covers the
    // same part of the window at any resolution (stretched: sharp only
    // where the images were drawn large enough).
    bool Scaled() const { return FScaled; }
    void SetScaled(bool Value);

    // Asks for a repaint of the whole client area, background included (when
    // there is something to draw).
    void UpdateWindow();
    // Draws the image on Canvas over the window's client rectangle; nothing
    // without a valid image.
    void DrawBitmap(Fw::TCanvas* Canvas);

    void PaintHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);
    void EraseBkgndHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

protected:
    void DefineHandlers() override;
    void DoActivate(bool Value) override;
    void Notification(Fw::TComponent* AComponent, Fw::TOperation Operation) override;

private:
    TDrawMessage FDrawMessage = dmPaint;
    TImageListImage* FImage;
    bool FTiled = true;
    bool FScaled = false;
};

// ---- Registered messages ----

class TRMItem;
using TRMMessageEvent = Fw::TEvent<TRMItem*, Fw::TMessage&>;

// One message registered by name: Text is registered as soon as it is set
// (not in the form designer), and OnMessage fires for each message of that
// number that reaches the window.
class TRMItem : public Fw::TCollectionItem {
public:
    FW_CLASS(TRMItem, Fw::TCollectionItem)
    explicit TRMItem(Fw::TCollection* Collection);

    // Copies Text (registering it), Tag and OnMessage; raises
    // "アイテムは TRMItem ではありません." for anything but a TRMItem.
    void Assign(Fw::TPersistent* Source) override;
    Fw::AnsiString GetDisplayName() override;

    const Fw::AnsiString& Text() const { return FText; }
    void SetText(const Fw::AnsiString& Value);
    int Tag() const { return FTag; }
    void SetTag(int Value) { FTag = Value; }
    // The system's number for Text; 0 when not registered.
    UINT MessageNumber() const { return FMessageNumber; }

    void Fire(Fw::TMessage& Message);

    TRMMessageEvent OnMessage;

private:
    friend class TRegisteredMessage;  // reads the fields while publishing
    Fw::AnsiString FText;
    int FTag = 0;
    UINT FMessageNumber = 0;
};

// The items of a TRegisteredMessage.
class TRMItems : public Fw::TCollection {
public:
    FW_CLASS(TRMItems, Fw::TCollection)
    explicit TRMItems(Fw::TComponent* Owner);

    TRMItem* Items(int Index) const { return static_cast<TRMItem*>(Fw::TCollection::Items(Index)); }
    TRMItem* Add() { return static_cast<TRMItem*>(Fw::TCollection::Add()); }
    // The first item whose MessageNumber is Msg, or null.
    TRMItem* Find(int Msg) const;

    Fw::TComponent* OwnerComponent() const { return FOwnerComponent; }
    Fw::TPersistent* GetOwner() override { return FOwnerComponent; }

private:
    Fw::TComponent* FOwnerComponent;
};

// Reacts to system-wide registered window messages by name: each item of
// Messages fires when a message of its number reaches the window. The
// numbers handled are those the items have when the handlers are defined
// (Loaded, or the first switching on of a component made in code).
class TRegisteredMessage : public TInterceptorUser {
public:
    FW_CLASS(TRegisteredMessage, TInterceptorUser)
    explicit TRegisteredMessage(Fw::TComponent* Owner);
    ~TRegisteredMessage() override;

    TRMItems* Messages() const { return FMessages; }
    // Only in the form designer or while loading; raises
    // "実行時にはメッセージを変更できません." at any other time.
    void SetMessages(TRMItems* Value);

    void RegisteredMessageHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

protected:
    void DefineHandlers() override;

private:
    TRMItems* FMessages;
};

// The unit's initialise and finalise steps.
FW_UNIT(Interceptors)

}  // namespace Kit
