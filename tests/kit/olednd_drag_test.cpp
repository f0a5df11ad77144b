// Real drags on the display, driven from outside with the X server's own
// mouse and keyboard (xdotool): a press and a move on one window is
// recognised as a drag, the system's DoDragDrop carries a file list to a
// drop target on another window - of this program, or of a second one -
// with the modifier keys choosing the effect, and Escape cancels.
//
// Each step of the input is started when the step before has shown its
// effect (the gesture recognised, the target entered, dragged over), so
// nothing waits on time.
#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/Forms.h"
#include "kit/Olednd.h"
#include "tests/kit/olednd_support.h"
#include "tests/support/UnixProgram.h"

using namespace Fw;
using namespace Kit;
using namespace OleTest;
using TestSupport::Xdotool;

namespace {

const DWORD kGenerous = 30000;  // ms
const char kPeerVariable[] = "KIT_DND_PEER";


template <class F>
bool PumpUntil(F done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > kGenerous) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Application->ProcessMessages();
    }
    return true;
}

std::string Pos(const TPoint& p) { return std::to_string(p.X) + " " + std::to_string(p.Y); }

bool Down(int key) { return GetAsyncKeyState(key) < 0; }

// Lets go of the button, then of the keys held (xdotool key names).
std::string Release(const std::string& keys) {
    return "mouseup 1" + (keys.empty() ? std::string() : " keyup " + keys);
}

// The names a drop brought, the effect first: "1|C:\dnd\a.txt|...".
std::string DropReport(TDragContext* context) {
    TDataObjectReader reader(context->DataObject);
    TStringList files;
    reader.GetFileList(&files);
    std::string report = std::to_string(context->DropEffect);
    for (int i = 0; i < files.Count(); ++i) report.append("|").append(files.Strings(i));
    return report;
}

// A form with a drop target for file lists that allows copy and move.
class TTargetForm : public TForm {
public:
    FW_CLASS(TTargetForm, TForm)
    explicit TTargetForm(TComponent* owner) : TForm(owner) {
        Target = NewComponent<TOleDropTarget>(this);
        TDFItem* item = Target->Formats()->Add();
        item->SetFormatName("CF_HDROP");
        item->SetDropEffects({ekCopy, ekMove});
        item->OnDragEnter = MakeEvent<&TTargetForm::ItemEnter>(this);
        item->OnDragOver = MakeEvent<&TTargetForm::ItemOver>(this);
        item->OnDrop = MakeEvent<&TTargetForm::ItemDrop>(this);
        Target->OnDragLeave = MakeEvent<&TTargetForm::Leave>(this);
        Target->Formats()->RegisterAll();
        Target->SetControl(this);
        Target->SetActive(true);
    }

    TOleDropTarget* Target;
    int Enters = 0, Overs = 0, Leaves = 0, Drops = 0;
    DWORD OverEffect = 0;
    std::string Dropped;
    // What the driver does once the target has been entered and dragged over.
    std::string OnEnter, OnOver;

    void Reset() {
        Enters = Overs = Leaves = Drops = 0;
        OverEffect = 0;
        Dropped.clear();
    }
    void ItemEnter(TObject*, TDragContext*) {
        if (++Enters == 1 && !OnEnter.empty()) Xdotool(OnEnter);
    }
    void ItemOver(TObject*, TDragContext* context) {
        OverEffect = context->DropEffect;
        if (++Overs == 1 && !OnOver.empty()) Xdotool(OnOver);
    }
    void Leave(TObject*, HRESULT&) { ++Leaves; }
    void ItemDrop(TObject*, TDragContext* context) {
        ++Drops;
        Dropped = DropReport(context);
    }
};

// A form that starts a drag of a file list when its gesture is recognised.
class TSourceForm : public TForm {
public:
    FW_CLASS(TSourceForm, TForm)
    explicit TSourceForm(TComponent* owner) : TForm(owner) {
        Source = NewComponent<TOleDropSource>(this);
        Source->SetValidDropEffects({ekCopy, ekMove, ekLink});
        Gesture = NewComponent<TDragGestureRecognizer>(this);
        Gesture->OnRecognized = MakeEvent<&TSourceForm::Recognized>(this);
        Gesture->SetControl(this);
        Gesture->SetActive(true);
        Files = TDOFileList::Create();
        Files->Directory = "C:\\dnd";
        TStringList names;
        names.Add("一.txt");
        names.Add("b.txt");
        Files->SetFiles(&names);
    }
    ~TSourceForm() override { Files->Destroy(); }

    TOleDropSource* Source;
    TDragGestureRecognizer* Gesture;
    TDOFileList* Files;
    // What the driver does once the drag has started.
    std::string OnStart;
    int Drags = 0;
    bool Done = false, Result = false;
    ULONG CountAfter = 0;
    // From a peer process: its target window, and what it received.
    HWND Peer = nullptr;
    std::string PeerReport;

    void Recognized(TObject*, TMouseButton) {
        ++Drags;
        Done = false;
        if (!OnStart.empty()) Xdotool(OnStart);
        Result = Source->DoDragDrop(Files);
        CountAfter = Files->RefCount();
        Done = true;
    }

protected:
    void WndProc(TMessage& message) override {
        if (message.Msg == RegisterWindowMessageA("Kit.Test.DndPeer")) {
            Peer = reinterpret_cast<HWND>(message.LParam);
            return;
        }
        if (message.Msg == WM_COPYDATA) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(message.LParam);
            PeerReport.assign(static_cast<const char*>(data->lpData), data->cbData);
            message.Result = 1;
            return;
        }
        TForm::WndProc(message);
    }
};

class OleDndDrag : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }

    // The source on the left; at is a point inside it to press on.
    void ShowSource() {
        Source.reset(NewComponent<TSourceForm>(nullptr));
        Source->SetBounds(60, 120, 320, 240);
        Source->Show();
        SetForegroundWindow(Source->Handle());
        Source->SetFocus();
        Application->ProcessMessages();
    }

    // Waits until the previous drag's buttons and keys are up.
    void WaitForReleasedInput() {
        ASSERT_TRUE(PumpUntil([] {
            return !Down(VK_LBUTTON) && !Down(VK_SHIFT) && !Down(VK_CONTROL) && !Down(VK_ESCAPE);
        })) << "the last drag's input is still down";
    }

    // Presses on the source with keys held (xdotool key names, "" for none)
    // and moves far enough for a drag; target is where it is carried. The
    // rest of the input is started by the target's events.
    void Drag(const std::string& keys, const TPoint& target) {
        WaitForReleasedInput();
        const TPoint from = Source->ClientToScreen(TPoint(100, 100));
        Source->OnStart = "mousemove " + Pos(target);
        Source->Done = false;
        std::string press = "mousemove " + Pos(from);
        if (!keys.empty()) press += " keydown " + keys;
        press += " mousedown 1";
        for (int dx : {3, 6, 10, 14}) press += " mousemove " + Pos(TPoint(from.X + dx, from.Y));
        ASSERT_TRUE(Xdotool(press)) << "xdotool could not be started";
        ASSERT_TRUE(PumpUntil([&] { return Source->Done; })) << "the drag did not end (" << Source->Drags
                                                                  << " recognised)";
    }

    TComponentPtr<TSourceForm> Source;
};

}  // namespace

FW_PUBLISH(TTargetForm)
FW_END_PUBLISH

FW_PUBLISH(TSourceForm)
FW_END_PUBLISH

TEST_F(OleDndDrag, AFileListIsDraggedToAnotherWindowWithTheKeysEffect) {
    ShowSource();
    TComponentPtr<TTargetForm> target(NewComponent<TTargetForm>(nullptr));
    target->SetBounds(600, 120, 320, 240);
    target->Show();
    Application->ProcessMessages();
    const TPoint into = target->ClientToScreen(TPoint(120, 100));
    const std::string expectedFiles = "|C:\\dnd\\一.txt|C:\\dnd\\b.txt";

    // The item allows copy and move: Shift moves, Ctrl copies, and Shift with
    // Ctrl (link) is not the item's, so the first it allows is taken.
    const struct {
        const char* Keys;
        DWORD Effect;
        TDropEffectKind Kind;
    } cases[] = {{"", DROPEFFECT_COPY, ekCopy},
                 {"shift", DROPEFFECT_MOVE, ekMove},
                 {"ctrl", DROPEFFECT_COPY, ekCopy},
                 {"shift+ctrl", DROPEFFECT_COPY, ekCopy}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("keys: ") + c.Keys);
        target->Reset();
        target->OnEnter = "mousemove " + Pos(TPoint(into.X + 6, into.Y + 4));
        target->OnOver = Release(c.Keys);
        Drag(c.Keys, into);
        EXPECT_EQ(1, target->Enters);
        EXPECT_GE(target->Overs, 1);
        EXPECT_EQ(0, target->Leaves);
        EXPECT_EQ(1, target->Drops);
        EXPECT_EQ(c.Effect, target->OverEffect);
        EXPECT_EQ(std::to_string(c.Effect) + expectedFiles, target->Dropped);
        EXPECT_TRUE(Source->Result) << "DoDragDrop reports the drop";
        EXPECT_EQ(c.Kind, Source->Source->LastDropEffect()) << "the source learns the item's effect";
        EXPECT_EQ(1u, Source->CountAfter) << "the system let go of the data object";
    }

    // Escape cancels: the target is left, nothing is dropped.
    target->Reset();
    target->OnEnter.clear();
    target->OnOver = "key Escape";
    Drag("", into);
    EXPECT_EQ(1, target->Enters);
    EXPECT_EQ(1, target->Leaves);
    EXPECT_EQ(0, target->Drops);
    EXPECT_FALSE(Source->Result);
    EXPECT_EQ(ekNone, Source->Source->LastDropEffect());
    ASSERT_TRUE(Xdotool("mouseup 1"));
    WaitForReleasedInput();
    EXPECT_EQ(1u, Source->Source->DropSource()->RefCount());
}

TEST_F(OleDndDrag, AFileListIsDraggedToAnotherProcess) {
    Application->Initialize();
    if (const char* parent = std::getenv(kPeerVariable)) {
        // The second process: a target on the right, reported to the first
        // process. Once entered, it moves the drag on and releases it; what
        // the drop brings goes back to the first process.
        TComponentPtr<TTargetForm> target(NewComponent<TTargetForm>(nullptr));
        target->SetBounds(600, 120, 320, 240);
        target->Show();
        Application->ProcessMessages();
        const TPoint into = target->ClientToScreen(TPoint(126, 104));
        target->OnEnter = "mousemove " + Pos(into);
        target->OnOver = Release("");
        HWND first = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(parent, nullptr, 10)));
        PostMessageA(first, RegisterWindowMessageA("Kit.Test.DndPeer"), 0, reinterpret_cast<LPARAM>(target->Handle()));
        ASSERT_TRUE(PumpUntil([&] { return target->Drops > 0; })) << "nothing was dropped";
        COPYDATASTRUCT data{0, static_cast<DWORD>(target->Dropped.size()), target->Dropped.data()};
        SendMessageA(first, WM_COPYDATA, reinterpret_cast<WPARAM>(target->Handle()), reinterpret_cast<LPARAM>(&data));
        return;
    }
    ShowSource();
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA(kPeerVariable,
                            std::to_string(reinterpret_cast<std::uintptr_t>(Source->Handle())).c_str());
    std::string command = "\"" + std::string(self) + "\" --gtest_filter=OleDndDrag.AFileListIsDraggedToAnotherProcess";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    SetEnvironmentVariableA(kPeerVariable, nullptr);
    CloseHandle(info.hThread);
    auto closeProcess = OnScopeExit([&] {
        if (WaitForSingleObject(info.hProcess, kGenerous) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
    });
    ASSERT_TRUE(PumpUntil([&] { return Source->Peer != nullptr; })) << "the second process did not report";

    // Carried into the other process's window, whose target drives the rest.
    POINT into{120, 100};
    ClientToScreen(Source->Peer, &into);
    Drag("", TPoint(into));
    EXPECT_TRUE(Source->Result);
    EXPECT_EQ(ekCopy, Source->Source->LastDropEffect());
    ASSERT_TRUE(PumpUntil([&] { return !Source->PeerReport.empty(); })) << "no report from the second process";
    EXPECT_EQ("1|C:\\dnd\\一.txt|C:\\dnd\\b.txt", Source->PeerReport);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, kGenerous));
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    EXPECT_EQ(0u, code);
}
