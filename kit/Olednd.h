// OLE drag and drop, the components: a drop source that runs a drag and lets
// the application steer it, a recognizer that tells a drag from a click in
// a window's mouse messages, and a drop target whose format items say what
// a window accepts, with which effects, and what happens on enter, over and
// drop.
//
// The recognizer and the target are interceptor users: they work on the
// window of their MessageInterceptor or Control. The source and the target
// own COM objects of the implementations and hook their own methods into
// the objects' handler slots. The system may hold such an object longer
// than the component lives (a drag in progress): the component empties the
// slots before it lets go, so the object falls back to its own behaviour
// and never calls into the component again. A component that an event of
// its own destroys is not touched once that event returns (the framework's
// life tokens, Component.h).
//
// The components initialise OLE on their thread for as long as they live
// (not in the form designer, where they stay inert). Everything here runs on
// the user-interface thread.
//
// The unit's initialise step registers its classes by name; including this
// header, or linking the library, is all a program does for that (see Units
// in framework/Object.h).
#pragma once

#include <windows.h>
#include <ole2.h>

#include "framework/Collection.h"
#include "framework/ComObj.h"
#include "framework/Component.h"
#include "framework/Graphics.h"
#include "framework/Messages.h"
#include "kit/Interceptors.h"
#include "kit/Oledndimpl.h"
#include "kit/Oledndinterfaces.h"

namespace Kit {

// ---- Drop source ----

using TQueryContinueDragEvent = Fw::TEvent<Fw::TObject*, bool, DWORD, HRESULT&>;
using TGiveFeedbackEvent = Fw::TEvent<Fw::TObject*, TDropEffectKind, HRESULT&>;

// Runs drags of a data object. The events may decide whether the drag goes
// on and which cursors it shows; a result they leave at E_NOTIMPL leaves
// the decision to the default (escape or both buttons cancel, no button
// drops; the system's cursors).
class TOleDropSource : public Fw::TComponent {
public:
    FW_CLASS(TOleDropSource, Fw::TComponent)
    explicit TOleDropSource(Fw::TComponent* Owner);
    ~TOleDropSource() override;

    TDropEffectKinds ValidDropEffects() const { return FValidDropEffects; }
    void SetValidDropEffects(TDropEffectKinds Value) { FValidDropEffects = Value; }

    // Runs a drag of data with the effects of ValidDropEffects; returns when
    // it has ended, true when it ended in a drop. LastDropEffect is then the
    // effect the target reported (ekNone for a cancelled drag, and for a
    // combination of effects).
    bool DoDragDrop(IDataObject* data);
    TDropEffectKind LastDropEffect() const { return FLastDropEffect; }
    TDropSourceImpl* DropSource() const { return FDropSource.Get(); }

    // The handlers in the drop source's slots.
    void QueryContinueDrag(bool escapePressed, DWORD keyState, HRESULT& result);
    // The effect reaches OnGiveFeedback as a kind: several effects, or one
    // with DROPEFFECT_SCROLL, as ekNone.
    void GiveFeedback(DWORD effect, HRESULT& result);

    TQueryContinueDragEvent OnQueryContinueDrag;
    TGiveFeedbackEvent OnGiveFeedback;

private:
    TDropEffectKinds FValidDropEffects{ekCopy};
    TDropEffectKind FLastDropEffect = ekNone;
    Fw::TComInit FOle;  // first made, last gone: the object below goes while OLE is up
    Fw::TComPtr<TDropSourceImpl> FDropSource;
};

// ---- Drag gesture ----

enum RecognizeStartingMode : unsigned char { rsmNormal, rsmThrough, rsmCancel };
FW_ENUM_INFO(RecognizeStartingMode, "rsmNormal", "rsmThrough", "rsmCancel")

using TRecognizeStartEvent = Fw::TEvent<Fw::TObject*, Fw::TMouseButton, Fw::TPoint, RecognizeStartingMode&>;
using TRecognizedEvent = Fw::TEvent<Fw::TObject*, Fw::TMouseButton>;

// Watches a window's left and right button presses: a press followed by a
// move further than Threshold pixels from where it went down is a drag
// (OnRecognized, where the application starts it). With ThroughMessage
// false the window sees neither the press nor the moves while the
// recognizer decides; a press released before it became a drag is then
// replayed to the window as a click (a down and an up).
class TDragGestureRecognizer : public TInterceptorUser {
public:
    FW_CLASS(TDragGestureRecognizer, TInterceptorUser)
    explicit TDragGestureRecognizer(Fw::TComponent* Owner);

    int Threshold() const { return FThreshold; }
    void SetThreshold(int Value) { FThreshold = Value; }
    bool ThroughMessage() const { return FThroughMessage; }
    void SetThroughMessage(bool Value) { FThroughMessage = Value; }

    bool Tracking() const { return FTracking; }
    // Where the tracked press went down, in client coordinates.
    Fw::TPoint StartPos() const { return FStartPos; }
    Fw::TMouseButton TrackedButton() const { return FTrackedButton; }

    void ButtonDownHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);
    void MouseMoveHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);
    void ButtonUpHandler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);

    TRecognizeStartEvent OnRecognizeStart;
    TRecognizedEvent OnRecognized;
    Fw::TNotifyEvent OnRecognizeEnd;

protected:
    void DefineHandlers() override;

private:
    int FThreshold = 5;
    bool FThroughMessage = true;
    bool FTracking = false;
    Fw::TPoint FStartPos;
    Fw::TMouseButton FTrackedButton = Fw::mbLeft;
};

// ---- Drop target ----

// What the drag events are told, and what they may change: the effect and
// the result go back to the system.
struct TDragContext {
    IDataObject* DataObject = nullptr;  // not owned
    DWORD KeyState = 0;                 // MK_ flags
    Fw::TPoint Point;                   // client coordinates of the target window
    DWORD DropEffect = DROPEFFECT_NONE;
    HRESULT Result = E_NOTIMPL;
};

using TDragEvent = Fw::TEvent<Fw::TObject*, TDragContext*>;
using TDragLeaveEvent = Fw::TEvent<Fw::TObject*, HRESULT&>;

// One format a drop target accepts: a clipboard format by name (a standard
// name such as "CF_HDROP", or a name registered with the system), the
// effects it allows, and its own events (Sender: the item).
class TDFItem : public Fw::TCollectionItem {
public:
    FW_CLASS(TDFItem, Fw::TCollectionItem)
    explicit TDFItem(Fw::TCollection* Collection);

    // Copies the published values, events included, and ClipFormat.
    void Assign(Fw::TPersistent* Source) override;
    // FormatName, or the framework's default name while it is empty.
    Fw::AnsiString GetDisplayName() override;

    TDropEffectKinds DropEffects() const { return FDropEffects; }
    void SetDropEffects(TDropEffectKinds Value) { FDropEffects = Value; }
    const Fw::AnsiString& FormatName() const { return FFormatName; }
    // Takes effect for matching at the next Register.
    void SetFormatName(const Fw::AnsiString& Value);
    int Tag() const { return FTag; }
    void SetTag(int Value) { FTag = Value; }
    // FormatName's number once registered; 0 before (no drag matches it).
    WORD ClipFormat() const { return FClipFormat; }

    // ClipFormat from FormatName; an empty name leaves it as it is.
    void Register();
    void FireEnter(TDragContext* Context);
    void FireOver(TDragContext* Context);
    void FireDrop(TDragContext* Context);

    TDragEvent OnDragEnter;
    TDragEvent OnDragOver;
    TDragEvent OnDrop;

private:
    TDropEffectKinds FDropEffects{ekCopy};
    Fw::AnsiString FFormatName;
    int FTag = 0;
    WORD FClipFormat = 0;
};

// The format items of a TOleDropTarget.
class TDFItems : public Fw::TCollection {
public:
    FW_CLASS(TDFItems, Fw::TCollection)
    explicit TDFItems(Fw::TComponent* Owner);

    TDFItem* Items(int Index) const { return static_cast<TDFItem*>(Fw::TCollection::Items(Index)); }
    TDFItem* Add() { return static_cast<TDFItem*>(Fw::TCollection::Add()); }
    // Register of every item, in index order.
    void RegisterAll();

    Fw::TPersistent* GetOwner() override { return FOwnerComponent; }

private:
    Fw::TComponent* FOwnerComponent;
};

// Makes its window accept OLE drops while active. During a drag it picks
// the first format item whose format the data offers on a global memory
// block and whose effects meet the source's, chooses the effect from the
// modifier keys (Shift moves, Shift with Ctrl links, else copy; the first
// the item and the source both allow when that one is not), and tells the
// item's event and then its own, which may change the effect and the
// result. A drop is answered with the effect settled by the last enter or
// over. A result the events leave at E_NOTIMPL means success.
//
// Items set up in code take part once RegisterAll has run on Formats
// (Loaded runs it for a target read from form text).
class TOleDropTarget : public TInterceptorUser {
public:
    FW_CLASS(TOleDropTarget, TInterceptorUser)
    explicit TOleDropTarget(Fw::TComponent* Owner);
    // No registration stays behind: the window's is revoked first.
    ~TOleDropTarget() override;

    TDFItems* Formats() const { return FFormats; }
    // The collection is edited in place, never replaced: always raises
    // "この動作はサポートされていません.".
    void SetFormats(TDFItems* Value);

    TDropTargetImpl* DropTarget() const { return FDropTarget.Get(); }
    // The item chosen by the last effect computation; null when none was, or
    // when it has been deleted since.
    TDFItem* CurrentItem() const;
    // The window registered with the system now, or null.
    HWND RegisteredWindow() const { return FRegisteredWindow; }

    // The effect for a drag of data with the keys held and the source's
    // effects (a DROPEFFECT mask); sets CurrentItem when an item matches.
    TDropEffectKind GetDropEffect(IDataObject* data, DWORD keyState, DWORD allowed);
    Fw::TPoint GetClientPoint(POINTL point);

    // The handlers in the drop target's slots.
    void DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD& effect, HRESULT& result);
    void DragOver(DWORD keyState, POINTL point, DWORD& effect, HRESULT& result);
    void DragLeave(HRESULT& result);
    void Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD& effect, HRESULT& result);

    TDragEvent OnDragEnter;
    TDragEvent OnDragOver;
    TDragLeaveEvent OnDragLeave;
    TDragEvent OnDrop;

protected:
    void DefineHandlers() override;
    void DoActivate(bool Value) override;
    void Loaded() override;

private:
    // Enter and over: the effect, then the item's event and the target's.
    void Track(IDataObject* data, DWORD keyState, POINTL point, DWORD& effect, HRESULT& result, bool enter);
    void Revoke();

    Fw::TComInit FOle;  // first made, last gone
    TDFItems* FFormats = nullptr;
    Fw::TComPtr<TDropTargetImpl> FDropTarget;
    int FCurrentItemID = -1;  // kept by ID: items may be deleted during a drag
    HWND FRegisteredWindow = nullptr;
};

// The unit's initialise and finalise steps.
FW_UNIT(Olednd)

}  // namespace Kit
