// The drag-and-drop components without the mouse: published properties and
// form text, the gesture recognizer's states on a real window, the drop
// target's effects and events as the system calls its COM object, and what
// stays behind when a component goes while the system holds its object.
#include <gtest/gtest.h>

#include "framework/Filer.h"
#include "framework/Forms.h"
#include "kit/Olednd.h"
#include "tests/kit/olednd_support.h"

using namespace Fw;
using namespace Kit;
using namespace OleTest;

namespace {


std::string Who(TObject* sender) {
    if (auto* item = dynamic_cast<TDFItem*>(sender)) return "item" + std::to_string(item->Index());
    return "target";
}

// A form that logs what its window sees of the mouse and what the
// components' events report.
class TDndForm : public TForm {
public:
    FW_CLASS(TDndForm, TForm)
    explicit TDndForm(TComponent* owner) : TForm(owner) {}

    std::vector<std::string> Log;
    std::string Text() const {
        std::string s;
        for (const auto& l : Log) s += (s.empty() ? "" : " ") + l;
        return s;
    }

    // Recognizer events.
    RecognizeStartingMode Mode = rsmNormal;
    void RecognizeStart(TObject*, TMouseButton button, TPoint, RecognizeStartingMode& mode) {
        Log.push_back("start" + std::to_string(button));
        mode = Mode;
    }
    void Recognized(TObject*, TMouseButton button) {
        Log.push_back("recognized" + std::to_string(button));
    }
    void RecognizeEnd(TObject*) { Log.push_back("end"); }

    // Drop target events.
    TDragContext Seen;
    DWORD ForceEffect = 0;
    HRESULT LeaveResult = E_NOTIMPL;
    std::string Files;
    void Enter(TObject* sender, TDragContext* context) {
        Log.push_back(Who(sender) + ":enter");
        Seen = *context;
        if (ForceEffect) context->DropEffect = ForceEffect;
    }
    void Over(TObject* sender, TDragContext* context) {
        Log.push_back(Who(sender) + ":over");
        Seen = *context;
    }
    void Leave(TObject*, HRESULT& result) {
        Log.push_back("leave");
        result = LeaveResult;
    }
    bool ThrowOnDrop = false;
    void Dropped(TObject* sender, TDragContext* context) {
        if (ThrowOnDrop) throw Exception("ドロップを受け取れません.");
        Log.push_back(Who(sender) + ":drop");
        Seen = *context;
        TDataObjectReader reader(context->DataObject);
        TStringList list;
        reader.GetFileList(&list);
        Files = list.Count() ? list.Strings(0) : "";
    }
    void QueryContinue(TObject*, bool escape, DWORD keys, HRESULT& result) {
        Log.push_back(escape ? "escape" : "query" + std::to_string(keys));
        result = DRAGDROP_S_CANCEL;
    }
    TDropEffectKind Feedback = ekNone;
    void GiveFeedback(TObject*, TDropEffectKind effect, HRESULT& result) {
        Feedback = effect;
        if (effect == ekMove) result = S_OK;
    }

protected:
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
        Log.push_back("down" + std::to_string(button) + (shift.Contains(ssLeft) ? "L" : ""));
        TForm::MouseDown(button, shift, x, y);
    }
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
        Log.push_back("up" + std::to_string(button) + (shift.Contains(ssLeft) ? "L" : "") +
                      (shift.Contains(ssShift) ? "S" : ""));
        TForm::MouseUp(button, shift, x, y);
    }
    void MouseMove(TShiftState shift, int x, int y) override {
        Log.push_back("move");
        TForm::MouseMove(shift, x, y);
    }
};

class OleDndComponents : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        Form.reset(NewComponent<TDndForm>(nullptr));
    }
    void TearDown() override {
        Form.reset();
        OleUninitialize();
    }
    TComponentPtr<TDndForm> Form;
};

std::string PropNames(TMetaClass* cls) {
    std::string names;
    for (const TPropInfo* p : cls->Properties()) names += (names.empty() ? "" : " ") + p->Name;
    return names;
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace

FW_PUBLISH(TDndForm)
    .Method<&TDndForm::RecognizeStart>("RecognizeStart")
    .Method<&TDndForm::Recognized>("Recognized")
    .Method<&TDndForm::RecognizeEnd>("RecognizeEnd")
    .Method<&TDndForm::Enter>("Enter")
    .Method<&TDndForm::Over>("Over")
    .Method<&TDndForm::Leave>("Leave")
    .Method<&TDndForm::Dropped>("Dropped")
    .Method<&TDndForm::QueryContinue>("QueryContinue")
    .Method<&TDndForm::GiveFeedback>("GiveFeedback")
FW_END_PUBLISH

// ---- Published properties and form text ----

TEST_F(OleDndComponents, PublishedInOrderAndReadAndWrittenInFormText) {
    const std::string user = "Name Tag Active MessageInterceptor Control";
    EXPECT_EQ("Name Tag ValidDropEffects OnQueryContinueDrag OnGiveFeedback", PropNames(TOleDropSource::StaticClass()));
    EXPECT_EQ(user + " Threshold ThroughMessage OnRecognizeStart OnRecognized OnRecognizeEnd",
              PropNames(TDragGestureRecognizer::StaticClass()));
    EXPECT_EQ(user + " Formats OnDragEnter OnDragOver OnDragLeave OnDrop", PropNames(TOleDropTarget::StaticClass()));
    EXPECT_EQ("DropEffects FormatName Tag OnDragEnter OnDragOver OnDrop", PropNames(TDFItem::StaticClass()));
    for (const char* name : {"TOleDropSource", "TDragGestureRecognizer", "TOleDropTarget", "TDFItem", "TDFItems"})
        EXPECT_NE(nullptr, GetClass(name)) << name;

    Form->SetName("DndForm");
    auto* source = NewComponent<TOleDropSource>(Form.get());
    source->SetName("Source1");
    source->SetValidDropEffects({ekCopy, ekMove});
    source->OnQueryContinueDrag = MakeEvent<&TDndForm::QueryContinue>(Form.get());
    auto* gesture = NewComponent<TDragGestureRecognizer>(Form.get());
    gesture->SetName("Gesture1");
    gesture->SetThreshold(8);
    gesture->SetThroughMessage(false);
    gesture->OnRecognized = MakeEvent<&TDndForm::Recognized>(Form.get());
    gesture->SetControl(Form.get());
    gesture->SetActive(true);
    auto* target = NewComponent<TOleDropTarget>(Form.get());
    target->SetName("Target1");
    TDFItem* files = target->Formats()->Add();
    files->SetFormatName("CF_HDROP");
    files->SetDropEffects({ekCopy, ekMove});
    files->SetTag(3);
    files->OnDrop = MakeEvent<&TDndForm::Dropped>(Form.get());
    TDFItem* own = target->Formats()->Add();
    EXPECT_EQ("TDFItem", own->GetDisplayName()) << "no name yet";
    own->SetFormatName("Kit.Test.Private");
    own->SetDropEffects({ekLink});
    target->OnDragLeave = MakeEvent<&TDndForm::Leave>(Form.get());
    target->SetControl(Form.get());
    target->SetActive(true);
    EXPECT_EQ(Form->Handle(), target->RegisteredWindow());
    EXPECT_EQ(0, files->ClipFormat()) << "made in code: not registered yet";

    const AnsiString text = ComponentToText(Form.get());
    for (const char* line :
         {"ValidDropEffects = [ekCopy, ekMove]", "OnQueryContinueDrag = QueryContinue", "Threshold = 8",
          "ThroughMessage = False", "OnRecognized = Recognized", "Formats = <", "DropEffects = [ekCopy, ekMove]",
          "FormatName = 'CF_HDROP'", "Tag = 3", "OnDrop = Dropped", "DropEffects = [ekLink]",
          "FormatName = 'Kit.Test.Private'", "OnDragLeave = Leave"})
        EXPECT_NE(AnsiString::npos, text.find(line)) << line << " in\n" << text;

    TComponentPtr<TDndForm> again(static_cast<TDndForm*>(ComponentFromText(text, nullptr)));
    auto* target2 = static_cast<TOleDropTarget*>(again->FindComponent("Target1"));
    ASSERT_EQ(2, target2->Formats()->Count());
    EXPECT_EQ(target2, target2->Formats()->GetOwner());
    EXPECT_EQ(CF_HDROP, target2->Formats()->Items(0)->ClipFormat()) << "read: registered by Loaded";
    EXPECT_EQ(RegisterClipboardFormatA("Kit.Test.Private"), target2->Formats()->Items(1)->ClipFormat());
    EXPECT_EQ("CF_HDROP", target2->Formats()->Items(0)->GetDisplayName());
    EXPECT_TRUE(target2->Active());
    EXPECT_EQ(again->Handle(), target2->RegisteredWindow());
    auto* gesture2 = static_cast<TDragGestureRecognizer*>(again->FindComponent("Gesture1"));
    EXPECT_EQ(1u, gesture2->GetDispatcher()->Handlers(WM_LBUTTONDOWN).size());
    EXPECT_EQ(text, ComponentToText(again.get()));

    try {
        target->SetFormats(target2->Formats());
        ADD_FAILURE() << "Formats was replaced";
    } catch (const Exception& e) {
        EXPECT_EQ("この動作はサポートされていません.", e.Message());
    }

    // In the form designer they stay inert: no handlers, no registration.
    TComponentPtr<TDndForm> design(NewComponent<TDndForm>(nullptr));
    design->SetDesigning(true);
    auto* inertGesture = NewComponent<TDragGestureRecognizer>(design.get());
    auto* inertTarget = NewComponent<TOleDropTarget>(design.get());
    for (TInterceptorUser* user : std::initializer_list<TInterceptorUser*>{inertGesture, inertTarget}) {
        user->SetControl(design.get());
        user->SetActive(true);
    }
    EXPECT_TRUE(inertGesture->GetDispatcher()->Handlers(WM_LBUTTONDOWN).empty());
    EXPECT_EQ(nullptr, inertTarget->RegisteredWindow());
}

// ---- The gesture ----

TEST_F(OleDndComponents, TheRecognizerTellsADragFromAClick) {
    auto* gesture = NewComponent<TDragGestureRecognizer>(Form.get());
    gesture->OnRecognizeStart = MakeEvent<&TDndForm::RecognizeStart>(Form.get());
    gesture->OnRecognized = MakeEvent<&TDndForm::Recognized>(Form.get());
    gesture->OnRecognizeEnd = MakeEvent<&TDndForm::RecognizeEnd>(Form.get());
    gesture->SetControl(Form.get());
    gesture->SetActive(true);
    HWND wnd = Form->Handle();
    auto send = [&](UINT msg, WPARAM keys, int x, int y) { SendMessageA(wnd, msg, keys, At(x, y)); };

    // Further than Threshold: a distance of 5 is not, 6.4 (taken as 6) is.
    // The window sees everything while ThroughMessage is true.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10);
    EXPECT_TRUE(gesture->Tracking());
    EXPECT_EQ(TPoint(10, 10), gesture->StartPos());
    send(WM_MOUSEMOVE, MK_LBUTTON, 13, 14);
    EXPECT_TRUE(gesture->Tracking());
    send(WM_MOUSEMOVE, MK_LBUTTON, 14, 15);
    EXPECT_FALSE(gesture->Tracking());
    EXPECT_EQ("start0 down0L move recognized0 end move", Form->Text());

    // A click: the window has it as usual, and no end is reported.
    Form->Log.clear();
    send(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10);
    send(WM_LBUTTONUP, 0, 11, 10);
    EXPECT_EQ("start0 down0L up0", Form->Text());

    // Held back: the press and the moves while tracking. Released before it
    // became a drag, the click is replayed (the press reported again), and
    // the window sees one down and one up, without the released button.
    gesture->SetThroughMessage(false);
    Form->Log.clear();
    send(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10);
    send(WM_MOUSEMOVE, MK_LBUTTON, 12, 10);
    send(WM_LBUTTONUP, MK_SHIFT, 12, 10);
    EXPECT_EQ("start0 start0 down0 up0S end", Form->Text());
    EXPECT_FALSE(gesture->Tracking());
    EXPECT_FALSE(gesture->ThroughMessage()) << "back after the replay";
    Form->Log.clear();
    send(WM_RBUTTONDOWN, MK_RBUTTON, 10, 10);
    send(WM_MOUSEMOVE, MK_RBUTTON, 20, 10);
    send(WM_MOUSEMOVE, MK_RBUTTON, 21, 10);
    EXPECT_EQ("start1 recognized1 end move", Form->Text()) << "the moves flow again once recognised";

    // Cancelled in OnRecognizeStart: the press passes and nothing is tracked.
    Form->Log.clear();
    Form->Mode = rsmCancel;
    send(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10);
    EXPECT_FALSE(gesture->Tracking());
    EXPECT_EQ("start0 down0L", Form->Text());
    // Through: the window has the press at once, and it is tracked.
    Form->Log.clear();
    Form->Mode = rsmThrough;
    send(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10);
    EXPECT_TRUE(gesture->Tracking());
    EXPECT_EQ("start0 down0L", Form->Text());

    // A second button while one is tracked ends the tracking in silence.
    Form->Mode = rsmNormal;
    Form->Log.clear();
    send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 10, 10);
    EXPECT_FALSE(gesture->Tracking());
    send(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 30, 30);
    EXPECT_EQ("down1L move", Form->Text());
}

// ---- The drop target ----

namespace {

// A data object whose only rendering of format is on a stream.
TDataObjectImpl* StreamOnly(WORD format) {
    IStream* stream = nullptr;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    TDataObjectImpl* data = TDataObjectImpl::Create();
    EXPECT_EQ(S_OK, data->SetData(format, stream, TYMED_ISTREAM));
    return data;
}

}  // namespace

TEST_F(OleDndComponents, TheTargetChoosesTheFirstFittingItemAndItsEffect) {
    Form->SetBounds(120, 90, 300, 200);
    auto* target = NewComponent<TOleDropTarget>(Form.get());
    TDFItem* linkOnly = target->Formats()->Add();
    linkOnly->SetFormatName("CF_HDROP");
    linkOnly->SetDropEffects({ekLink});
    TDFItem* files = target->Formats()->Add();
    files->SetFormatName("CF_HDROP");
    files->SetDropEffects({ekCopy, ekMove});
    TDFItem* text = target->Formats()->Add();
    text->SetFormatName("CF_TEXT");
    text->SetDropEffects({ekMove});
    for (TDFItem* item : {linkOnly, files, text}) {
        item->OnDragEnter = MakeEvent<&TDndForm::Enter>(Form.get());
        item->OnDragOver = MakeEvent<&TDndForm::Over>(Form.get());
        item->OnDrop = MakeEvent<&TDndForm::Dropped>(Form.get());
    }
    target->OnDragEnter = MakeEvent<&TDndForm::Enter>(Form.get());
    target->OnDragLeave = MakeEvent<&TDndForm::Leave>(Form.get());
    target->SetControl(Form.get());
    target->SetActive(true);
    IDropTarget* com = target->DropTarget();

    TDOFileList* fileList = TDOFileList::Create();
    fileList->Directory = "C:\\dir";
    TStringList names;
    names.Add("a.txt");
    fileList->SetFiles(&names);
    TDOText* textData = TDOText::Create();
    textData->SetText("テキスト");
    TDataObjectImpl* stream = StreamOnly(CF_HDROP);
    const TPoint origin = Form->ClientToScreen(TPoint(0, 0));
    const POINTL corner{origin.X, origin.Y};
    const DWORD copyMove = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    auto enter = [&](IDataObject* data, DWORD keys, DWORD allowed) {
        DWORD effect = allowed;
        EXPECT_EQ(S_OK, com->DragEnter(data, keys, corner, &effect));
        EXPECT_EQ(S_OK, com->DragLeave());
        return effect;
    };

    // Made in code, the items match nothing until they are registered.
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), enter(fileList, 0, copyMove));
    target->Formats()->RegisterAll();

    // The keys choose among what the item and the source both allow.
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), enter(fileList, 0, copyMove));
    EXPECT_EQ(files, target->CurrentItem()) << "the item that allows only link is passed over";
    EXPECT_EQ(DWORD(DROPEFFECT_MOVE), enter(fileList, MK_SHIFT, copyMove));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), enter(fileList, MK_CONTROL, copyMove));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), enter(fileList, MK_SHIFT | MK_CONTROL, copyMove)) << "link is not the item's";
    EXPECT_EQ(DWORD(DROPEFFECT_LINK), enter(fileList, 0, DROPEFFECT_LINK | DROPEFFECT_COPY));
    EXPECT_EQ(linkOnly, target->CurrentItem());
    EXPECT_EQ(DWORD(DROPEFFECT_MOVE), enter(textData, 0, copyMove)) << "copy is not the item's: its first effect";
    EXPECT_EQ(text, target->CurrentItem());
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), enter(stream, 0, copyMove)) << "only a global block counts";
    EXPECT_EQ(nullptr, target->CurrentItem());
    Form->ForceEffect = DROPEFFECT_LINK;
    EXPECT_EQ(DWORD(DROPEFFECT_LINK), enter(stream, 0, copyMove)) << "the target's own event decides last";
    Form->ForceEffect = 0;

    // Enter, over, leave: the item's event, then the target's, with the
    // point in client coordinates; the leave's result goes back, and the
    // item of the last over stays.
    Form->Log.clear();
    Form->LeaveResult = E_FAIL;
    DWORD effect = copyMove;
    EXPECT_EQ(S_OK, com->DragEnter(fileList, 0, corner, &effect));
    EXPECT_EQ(TPoint(0, 0), Form->Seen.Point);
    EXPECT_EQ(static_cast<IDataObject*>(fileList), Form->Seen.DataObject);
    effect = copyMove;
    EXPECT_EQ(S_OK, com->DragOver(MK_SHIFT, POINTL{origin.X + 7, origin.Y + 9}, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_MOVE), effect);
    EXPECT_EQ(TPoint(7, 9), Form->Seen.Point);
    EXPECT_EQ(DWORD(MK_SHIFT), Form->Seen.KeyState);
    EXPECT_EQ(E_FAIL, com->DragLeave());
    EXPECT_EQ(files, target->CurrentItem());
    EXPECT_EQ("item1:enter target:enter item1:over leave", Form->Text());
    EXPECT_EQ(1u, fileList->RefCount()) << "the held data object is let go";

    // A drop keeps the effect of the last over, whatever the keys are now,
    // and the source learns it: the item's event took the drop.
    Form->Log.clear();
    effect = copyMove;
    com->DragEnter(fileList, MK_SHIFT, corner, &effect);
    effect = copyMove;
    EXPECT_EQ(S_OK, com->Drop(fileList, MK_CONTROL, corner, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_MOVE), effect);
    EXPECT_EQ(DWORD(DROPEFFECT_MOVE), Form->Seen.DropEffect);
    EXPECT_EQ("C:\\dir\\a.txt", Form->Files);
    EXPECT_EQ("item1:enter target:enter item1:drop", Form->Text());
    EXPECT_EQ(1u, fileList->RefCount());

    // With no event to take it, nothing is dropped; an exception from an
    // event is reported and answered with E_UNEXPECTED.
    files->OnDrop = nullptr;
    effect = copyMove;
    com->DragEnter(fileList, 0, corner, &effect);
    EXPECT_EQ(S_OK, com->Drop(fileList, 0, corner, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
    {
        TReports reports;
        files->OnDrop = MakeEvent<&TDndForm::Dropped>(Form.get());
        Form->ThrowOnDrop = true;
        effect = copyMove;
        com->DragEnter(fileList, 0, corner, &effect);
        EXPECT_EQ(E_UNEXPECTED, com->Drop(fileList, 0, corner, &effect));
        ASSERT_EQ(1u, reports.Messages.size());
        EXPECT_EQ("ドロップを受け取れません.", reports.Messages[0]);
        EXPECT_EQ(1u, fileList->RefCount());
    }
    for (IUnknown* data : std::initializer_list<IUnknown*>{fileList, textData, stream}) EXPECT_EQ(0u, data->Release());
}

// ---- When a component goes ----

TEST_F(OleDndComponents, NothingStaysRegisteredOrCallsAComponentThatWent) {
    HWND wnd = Form->Handle();
    TDropTargetImpl* probe = TDropTargetImpl::Create();
    auto registered = [&] {
        // Free exactly when RegisterDragDrop takes the probe.
        if (RegisterDragDrop(wnd, probe) != S_OK) return true;
        RevokeDragDrop(wnd);
        return false;
    };

    auto* first = NewComponent<TOleDropTarget>(Form.get());
    first->SetControl(Form.get());
    first->SetActive(true);
    EXPECT_TRUE(registered());
    EXPECT_GT(first->DropTarget()->RefCount(), 1u) << "the system holds the registered target";
    // A second target on the same window does not take the first one's
    // registration away when it is switched off.
    auto* second = NewComponent<TOleDropTarget>(Form.get());
    second->SetControl(Form.get());
    second->SetActive(true);
    EXPECT_EQ(nullptr, second->RegisteredWindow());
    FreeComponent(second);
    EXPECT_TRUE(registered());

    // The system still holds the object of a target that goes (a drag in
    // progress): the registration goes with the component, and the object
    // calls it no more.
    TDropTargetImpl* held = first->DropTarget();
    held->AddRef();
    Form->Log.clear();
    first->OnDragEnter = MakeEvent<&TDndForm::Enter>(Form.get());
    FreeComponent(first);
    EXPECT_FALSE(registered());
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(S_OK, held->DragEnter(nullptr, 0, {}, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), effect) << "the object's own behaviour";
    EXPECT_TRUE(Form->Log.empty());
    EXPECT_EQ(S_OK, held->DragLeave());
    EXPECT_EQ(0u, held->Release());

    // Destroyed without BeforeDestruction, it still revokes first.
    auto* plain = new TOleDropTarget(nullptr);
    plain->SetControl(Form.get());
    plain->SetActive(true);
    EXPECT_TRUE(registered());
    delete plain;
    EXPECT_FALSE(registered());

    // The window goes first: the registration goes on its WM_DESTROY.
    TComponentPtr<TOleDropTarget> survivor(NewComponent<TOleDropTarget>(nullptr));
    {
        TComponentPtr<TDndForm> other(NewComponent<TDndForm>(nullptr));
        survivor->SetControl(other.get());
        survivor->SetActive(true);
        EXPECT_NE(nullptr, survivor->RegisteredWindow());
    }
    EXPECT_FALSE(survivor->Active());
    EXPECT_EQ(nullptr, survivor->RegisteredWindow());
    EXPECT_EQ(1u, survivor->DropTarget()->RefCount()) << "the system let go of it";
    probe->Destroy();

    // A drop source held by the system falls back to its defaults.
    auto* source = NewComponent<TOleDropSource>(Form.get());
    source->OnQueryContinueDrag = MakeEvent<&TDndForm::QueryContinue>(Form.get());
    TDropSourceImpl* heldSource = source->DropSource();
    heldSource->AddRef();
    FreeComponent(source);
    EXPECT_EQ(S_OK, heldSource->QueryContinueDrag(FALSE, MK_LBUTTON));
    EXPECT_EQ(DRAGDROP_S_DROP, heldSource->QueryContinueDrag(FALSE, 0));
    EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, heldSource->GiveFeedback(DROPEFFECT_COPY));
    EXPECT_TRUE(Form->Log.empty());
    EXPECT_EQ(0u, heldSource->Release());
}

TEST_F(OleDndComponents, TheSourceHandsItsEventsTheDragsState) {
    auto* source = NewComponent<TOleDropSource>(Form.get());
    source->OnGiveFeedback = MakeEvent<&TDndForm::GiveFeedback>(Form.get());
    IDropSource* com = source->DropSource();
    EXPECT_EQ(S_OK, com->GiveFeedback(DROPEFFECT_MOVE));
    EXPECT_EQ(ekMove, Form->Feedback);
    EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, com->GiveFeedback(DROPEFFECT_COPY | DROPEFFECT_MOVE));
    EXPECT_EQ(ekNone, Form->Feedback) << "several effects";
    com->GiveFeedback(DROPEFFECT_SCROLL | DROPEFFECT_COPY);
    EXPECT_EQ(ekNone, Form->Feedback);

    // A drag that its event cancels at once: no drop, no effect.
    source->OnQueryContinueDrag = MakeEvent<&TDndForm::QueryContinue>(Form.get());
    TDOText* text = TDOText::Create();
    text->SetText("x");
    EXPECT_FALSE(source->DoDragDrop(text));
    EXPECT_EQ(ekNone, source->LastDropEffect());
    ASSERT_FALSE(Form->Log.empty());
    EXPECT_EQ("query", Form->Log[0].substr(0, 5));
    EXPECT_EQ(1u, text->RefCount());
    EXPECT_EQ(1u, source->DropSource()->RefCount());
    EXPECT_EQ(0u, text->Release());
}
