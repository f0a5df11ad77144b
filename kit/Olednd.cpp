#include "kit/Olednd.h"

#include <cmath>

namespace Kit {

using namespace Fw;

FW_UNIT_BEGIN(Olednd)
    .Classes<TOleDropSource, TDragGestureRecognizer, TDFItem, TDFItems, TOleDropTarget>()
FW_UNIT_END

// ---- TOleDropSource ----

FW_PUBLISH(TOleDropSource)
    .Property("ValidDropEffects", &TOleDropSource::ValidDropEffects, &TOleDropSource::SetValidDropEffects)
        .Default(TDropEffectKinds{ekCopy})
    .Property("OnQueryContinueDrag", &TOleDropSource::OnQueryContinueDrag, &TOleDropSource::OnQueryContinueDrag)
    .Property("OnGiveFeedback", &TOleDropSource::OnGiveFeedback, &TOleDropSource::OnGiveFeedback)
FW_END_PUBLISH

// OLE for the thread, for as long as a component lives; none in the designer.
TOleDropSource::TOleDropSource(TComponent* Owner)
    : TComponent(Owner), FOle(TComInit::ikOle, !IsDesigning()),
      FDropSource(TComPtr<TDropSourceImpl>::Adopt(TDropSourceImpl::Create())) {
    FDropSource->GiveFeedbackHandler = MakeEvent<&TOleDropSource::GiveFeedback>(this);
    FDropSource->QueryContinueDragHandler = MakeEvent<&TOleDropSource::QueryContinueDrag>(this);
}

TOleDropSource::~TOleDropSource() {
    // A drag in progress keeps the object: it carries on with its defaults.
    FDropSource->GiveFeedbackHandler = nullptr;
    FDropSource->QueryContinueDragHandler = nullptr;
}

bool TOleDropSource::DoDragDrop(IDataObject* data) {
    const TLifeToken life = Life();
    DWORD effect = DROPEFFECT_NONE;
    // The system holds the drop source until the drag ends, whatever
    // becomes of this component meanwhile.
    HRESULT result = ::DoDragDrop(data, FDropSource.Get(), GetDropEffects(FValidDropEffects), &effect);
    if (life) FLastDropEffect = GetDropEffectKind(effect);
    return result == DRAGDROP_S_DROP;
}

void TOleDropSource::QueryContinueDrag(bool escapePressed, DWORD keyState, HRESULT& result) {
    if (OnQueryContinueDrag) OnQueryContinueDrag(this, escapePressed, keyState, result);
}

void TOleDropSource::GiveFeedback(DWORD effect, HRESULT& result) {
    if (OnGiveFeedback) OnGiveFeedback(this, GetDropEffectKind(effect), result);
}

// ---- TDragGestureRecognizer ----

FW_PUBLISH(TDragGestureRecognizer)
    .Property("Threshold", &TDragGestureRecognizer::Threshold, &TDragGestureRecognizer::SetThreshold).Default(5)
    .Property("ThroughMessage", &TDragGestureRecognizer::ThroughMessage, &TDragGestureRecognizer::SetThroughMessage)
        .Default(true)
    .Property("OnRecognizeStart", &TDragGestureRecognizer::OnRecognizeStart, &TDragGestureRecognizer::OnRecognizeStart)
    .Property("OnRecognized", &TDragGestureRecognizer::OnRecognized, &TDragGestureRecognizer::OnRecognized)
    .Property("OnRecognizeEnd", &TDragGestureRecognizer::OnRecognizeEnd, &TDragGestureRecognizer::OnRecognizeEnd)
FW_END_PUBLISH

TDragGestureRecognizer::TDragGestureRecognizer(TComponent* Owner) : TInterceptorUser(Owner) {}

void TDragGestureRecognizer::DefineHandlers() {
    if (IsDesigning()) return;
    DefineHandler(WM_LBUTTONDOWN, MakeEvent<&TDragGestureRecognizer::ButtonDownHandler>(this));
    DefineHandler(WM_RBUTTONDOWN, MakeEvent<&TDragGestureRecognizer::ButtonDownHandler>(this));
    DefineHandler(WM_MOUSEMOVE, MakeEvent<&TDragGestureRecognizer::MouseMoveHandler>(this));
    DefineHandler(WM_LBUTTONUP, MakeEvent<&TDragGestureRecognizer::ButtonUpHandler>(this));
    DefineHandler(WM_RBUTTONUP, MakeEvent<&TDragGestureRecognizer::ButtonUpHandler>(this));
}

void TDragGestureRecognizer::ButtonDownHandler(TObject*, TMessage& Message, bool& Handled) {
    // The press the recognizer sends itself, or a second button while one
    // is tracked: it goes on to the window, and tracking ends.
    if (FTracking) {
        FTracking = false;
        return;
    }
    TWMMouse mouse(Message);
    const WORD keys = mouse.Keys();
    if (keys & MK_LBUTTON) FTrackedButton = mbLeft;
    if (keys & MK_RBUTTON) FTrackedButton = mbRight;
    if (keys & MK_MBUTTON) FTrackedButton = mbMiddle;
    RecognizeStartingMode mode = rsmNormal;
    if (OnRecognizeStart) {
        const TLifeToken life = Life();
        POINT cursor{};
        GetCursorPos(&cursor);
        OnRecognizeStart(this, FTrackedButton, TPoint(cursor), mode);
        if (!life) return;
    }
    if (mode == rsmCancel) return;
    if (mode == rsmThrough && !FThroughMessage) {
        // The window gets the press now; it comes back through the step above.
        FTracking = true;
        const TLifeToken life = Life();
        SendMessageA(GetHandle(), Message.Msg, Message.WParam, Message.LParam);
        if (!life) return;
    }
    Handled = !FThroughMessage;
    FStartPos = TPoint(mouse.X(), mouse.Y());
    FTracking = true;
}

void TDragGestureRecognizer::MouseMoveHandler(TObject*, TMessage& Message, bool& Handled) {
    if (!FTracking) return;
    Handled = !FThroughMessage;
    TWMMouse mouse(Message);
    const int dx = FStartPos.X - mouse.X();
    const int dy = FStartPos.Y - mouse.Y();
    const int distance = static_cast<int>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    if (distance <= FThreshold) return;
    const TLifeToken life = Life();
    if (OnRecognized) {
        OnRecognized(this, FTrackedButton);
        if (!life) return;
    }
    FTracking = false;
    if (OnRecognizeEnd) OnRecognizeEnd(this);
}

namespace {

UINT ButtonMessage(TMouseButton button, bool down) {
    switch (button) {
        case mbRight: return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        case mbMiddle: return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        default: return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    }
}

WPARAM ButtonFlag(TMouseButton button) {
    switch (button) {
        case mbRight: return MK_RBUTTON;
        case mbMiddle: return MK_MBUTTON;
        default: return MK_LBUTTON;
    }
}

}  // namespace

void TDragGestureRecognizer::ButtonUpHandler(TObject*, TMessage& Message, bool& Handled) {
    if (!FTracking) return;
    FTracking = false;
    if (FThroughMessage) return;
    // The window never saw the press: it gets the whole click now, a down
    // and an up, passing this recognizer's handlers as a click passes them
    // with ThroughMessage true. The up carries the keys still held: the real
    // up's, without the released button.
    const TLifeToken life = Life();
    const HWND wnd = GetHandle();
    const TMouseButton button = FTrackedButton;
    FThroughMessage = true;
    {
        auto restore = OnScopeExit([this, &life] {
            if (life) FThroughMessage = false;
        });
        SendMessageA(wnd, ButtonMessage(button, true), Message.WParam, Message.LParam);
        if (!life) return;
        SendMessageA(wnd, ButtonMessage(button, false), Message.WParam & ~ButtonFlag(button), Message.LParam);
        if (!life) return;
    }
    Handled = true;
    if (OnRecognizeEnd) OnRecognizeEnd(this);
}

// ---- TDFItem and TDFItems ----

FW_PUBLISH(TDFItem)
    .Property("DropEffects", &TDFItem::DropEffects, &TDFItem::SetDropEffects).Default(TDropEffectKinds{ekCopy})
    .Property("FormatName", &TDFItem::FormatName, &TDFItem::SetFormatName)
    .Property("Tag", &TDFItem::Tag, &TDFItem::SetTag).Default(0)
    .Property("OnDragEnter", &TDFItem::OnDragEnter, &TDFItem::OnDragEnter)
    .Property("OnDragOver", &TDFItem::OnDragOver, &TDFItem::OnDragOver)
    .Property("OnDrop", &TDFItem::OnDrop, &TDFItem::OnDrop)
FW_END_PUBLISH

TDFItem::TDFItem(TCollection* Collection) : TCollectionItem(Collection) {}

void TDFItem::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TDFItem*>(Source);
    if (!other) {
        TCollectionItem::Assign(Source);
        return;
    }
    FDropEffects = other->FDropEffects;
    SetFormatName(other->FFormatName);
    FTag = other->FTag;
    FClipFormat = other->FClipFormat;
    OnDragEnter = other->OnDragEnter;
    OnDragOver = other->OnDragOver;
    OnDrop = other->OnDrop;
}

AnsiString TDFItem::GetDisplayName() {
    return FFormatName.empty() ? TCollectionItem::GetDisplayName() : FFormatName;
}

void TDFItem::SetFormatName(const AnsiString& Value) {
    FFormatName = Value;
    SetDisplayName(Value);
}

void TDFItem::Register() {
    if (!FFormatName.empty()) FClipFormat = GetCFValue(FFormatName);
}

void TDFItem::FireEnter(TDragContext* Context) {
    if (OnDragEnter) OnDragEnter(this, Context);
}

void TDFItem::FireOver(TDragContext* Context) {
    if (OnDragOver) OnDragOver(this, Context);
}

void TDFItem::FireDrop(TDragContext* Context) {
    if (OnDrop) OnDrop(this, Context);
}

FW_PUBLISH(TDFItems)
FW_END_PUBLISH

TDFItems::TDFItems(TComponent* Owner) : TCollection(TDFItem::StaticClass(), Owner), FOwnerComponent(Owner) {}

void TDFItems::RegisterAll() {
    for (int i = 0; i < Count(); ++i) Items(i)->Register();
}

// ---- TOleDropTarget ----

FW_PUBLISH(TOleDropTarget)
    .Property("Formats", &TOleDropTarget::Formats, &TOleDropTarget::SetFormats)
    .Property("OnDragEnter", &TOleDropTarget::OnDragEnter, &TOleDropTarget::OnDragEnter)
    .Property("OnDragOver", &TOleDropTarget::OnDragOver, &TOleDropTarget::OnDragOver)
    .Property("OnDragLeave", &TOleDropTarget::OnDragLeave, &TOleDropTarget::OnDragLeave)
    .Property("OnDrop", &TOleDropTarget::OnDrop, &TOleDropTarget::OnDrop)
FW_END_PUBLISH

TOleDropTarget::TOleDropTarget(TComponent* Owner)
    : TInterceptorUser(Owner), FOle(TComInit::ikOle, !IsDesigning()), FFormats(new TDFItems(this)),
      FDropTarget(TComPtr<TDropTargetImpl>::Adopt(TDropTargetImpl::Create())) {
    FDropTarget->DragEnterHandler = MakeEvent<&TOleDropTarget::DragEnter>(this);
    FDropTarget->DragOverHandler = MakeEvent<&TOleDropTarget::DragOver>(this);
    FDropTarget->DragLeaveHandler = MakeEvent<&TOleDropTarget::DragLeave>(this);
    FDropTarget->DropHandler = MakeEvent<&TOleDropTarget::Drop>(this);
}

TOleDropTarget::~TOleDropTarget() {
    // Normally revoked already, when BeforeDestruction switched the target
    // off; without it, here, while OLE is still up.
    Revoke();
    FDropTarget->DragEnterHandler = nullptr;
    FDropTarget->DragOverHandler = nullptr;
    FDropTarget->DragLeaveHandler = nullptr;
    FDropTarget->DropHandler = nullptr;
    delete FFormats;
    FFormats = nullptr;
}

void TOleDropTarget::SetFormats(TDFItems*) { throw Exception("この動作はサポートされていません."); }

TDFItem* TOleDropTarget::CurrentItem() const {
    return FCurrentItemID < 0 ? nullptr : static_cast<TDFItem*>(FFormats->FindItemID(FCurrentItemID));
}

void TOleDropTarget::DefineHandlers() {}

void TOleDropTarget::DoActivate(bool Value) {
    TInterceptorUser::DoActivate(Value);
    if (IsDesigning()) return;
    if (!Value) {
        Revoke();
        return;
    }
    // Only a registration of its own is revoked later: a window that has
    // another target keeps it.
    HWND wnd = GetHandle();
    if (wnd && !FRegisteredWindow && RegisterDragDrop(wnd, FDropTarget.Get()) == S_OK) FRegisteredWindow = wnd;
}

void TOleDropTarget::Revoke() {
    HWND wnd = FRegisteredWindow;
    FRegisteredWindow = nullptr;
    if (wnd) RevokeDragDrop(wnd);
}

void TOleDropTarget::Loaded() {
    TInterceptorUser::Loaded();
    if (!IsDesigning()) FFormats->RegisterAll();
}

TPoint TOleDropTarget::GetClientPoint(POINTL point) {
    POINT p{point.x, point.y};
    ScreenToClient(GetHandle(), &p);
    return TPoint(p);
}

TDropEffectKind TOleDropTarget::GetDropEffect(IDataObject* data, DWORD keyState, DWORD allowed) {
    const TDropEffectKinds allowedSet = GetDropEffects(allowed);
    TDataObjectReader reader(data);
    for (int i = 0; i < FFormats->Count(); ++i) {
        TDFItem* item = FFormats->Items(i);
        if (!reader.HasFormat(item->ClipFormat())) continue;
        const TDropEffectKinds common = item->DropEffects() * allowedSet;
        if (common.Empty()) continue;
        TDropEffectKind result = GetStdDropEffect(keyState);
        if (!common.Contains(result))
            for (TDropEffectKind kind : {ekCopy, ekMove, ekLink})
                if (common.Contains(kind)) {
                    result = kind;
                    break;
                }
        FCurrentItemID = item->ID();
        return result;
    }
    return ekNone;
}

void TOleDropTarget::Track(IDataObject* data, DWORD keyState, POINTL point, DWORD& effect, HRESULT& result,
                           bool enter) {
    FCurrentItemID = -1;
    effect = GetDropEffectValue(GetDropEffect(data, keyState, effect));
    TDragContext context{data, keyState, GetClientPoint(point), effect, result};
    {
        // The effect and the result go back whatever the events do to this
        // component.
        auto answer = OnScopeExit([&] {
            effect = context.DropEffect;
            result = context.Result;
        });
        const TLifeToken life = Life();
        if (TDFItem* item = CurrentItem()) {
            if (enter) item->FireEnter(&context);
            else item->FireOver(&context);
            if (!life) return;
        }
        const TDragEvent& event = enter ? OnDragEnter : OnDragOver;
        if (event) event(this, &context);
    }
}

void TOleDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD& effect, HRESULT& result) {
    Track(data, keyState, point, effect, result, true);
}

void TOleDropTarget::DragOver(DWORD keyState, POINTL point, DWORD& effect, HRESULT& result) {
    Track(FDropTarget->HeldDataObject(), keyState, point, effect, result, false);
}

void TOleDropTarget::DragLeave(HRESULT& result) {
    if (OnDragLeave) OnDragLeave(this, result);
}

void TOleDropTarget::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD& effect, HRESULT& result) {
    effect = FDropTarget->LastEffect();
    TDragContext context{data, keyState, GetClientPoint(point), effect, result};
    bool told = false;
    {
        auto answer = OnScopeExit([&] {
            effect = context.DropEffect;
            // A drop that an event took is a success unless it said
            // otherwise: the source learns the effect it was offered. With
            // no event to take it, nothing was dropped (DROPEFFECT_NONE).
            result = told && context.Result == E_NOTIMPL ? S_OK : context.Result;
        });
        const TLifeToken life = Life();
        if (TDFItem* item = CurrentItem(); item && item->OnDrop) {
            told = true;
            item->FireDrop(&context);
            if (!life) return;
        }
        if (OnDrop) {
            told = true;
            OnDrop(this, &context);
        }
    }
}

}  // namespace Kit
