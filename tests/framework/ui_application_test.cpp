// The application object: title, icon and program name, the reporting of
// exceptions (to OnException, or in a real message box), message boxes,
// and the message loop serving worker threads' synchronised calls.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "framework/StdCtrls.h"
#include "framework/Thread.h"
#include "tests/support/ExceptionRecord.h"

using namespace Fw;

namespace {

// Ends a wait that took too long: posts WM_QUIT to the waiting thread, which
// ends Run and any modal loop, so the test fails instead of hanging.
class TWatchdog {
public:
    explicit TWatchdog(DWORD timeoutMs) : FEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        DWORD target = GetCurrentThreadId();
        FThread = std::thread([this, target, timeoutMs] {
            if (WaitForSingleObject(FEvent, timeoutMs) == WAIT_TIMEOUT) {
                Fired = true;
                PostThreadMessageA(target, WM_QUIT, 0, 0);
            }
        });
    }
    ~TWatchdog() {
        SetEvent(FEvent);
        FThread.join();
        CloseHandle(FEvent);
    }
    std::atomic<bool> Fired{false};

private:
    HANDLE FEvent;
    std::thread FThread;
};

using TRecord = TestSupport::TExceptionRecord;

class ApplicationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }
    void TearDown() override {
        Application->OnException = nullptr;
        Application->DestroyForms();
        Application->ProcessMessages();
    }
    TRecord Record;
};

// What a message box showed, read by a CBT hook when it becomes active; the
// hook then presses Answer.
struct TBoxSeen {
    bool Seen = false;
    std::string Caption;
    std::string Text;
    bool HasIcon = false;
    HWND Owner = nullptr;
    int Answer = IDOK;
};
TBoxSeen* gBox = nullptr;
HHOOK gHook = nullptr;

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM) {
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0) return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        if (SendMessageA(child, STM_GETICON, 0, 0)) gBox->HasIcon = true;
        return TRUE;
    }
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) gBox->Text = text;
    return TRUE;
}

LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && gBox && !gBox->Seen) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char cls[16] = {};
        GetClassNameA(box, cls, sizeof cls);
        if (std::string(cls) == "#32770") {
            gBox->Seen = true;
            char caption[256] = {};
            GetWindowTextA(box, caption, sizeof caption);
            gBox->Caption = caption;
            gBox->Owner = GetWindow(box, GW_OWNER);
            EnumChildWindows(box, &ReadBoxChild, 0);
            PostMessageA(box, WM_COMMAND, gBox->Answer, 0);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

class TBoxWatch {
public:
    explicit TBoxWatch(TBoxSeen& seen) {
        gBox = &seen;
        gHook = SetWindowsHookExA(WH_CBT, &BoxHook, nullptr, GetCurrentThreadId());
    }
    ~TBoxWatch() {
        UnhookWindowsHookEx(gHook);
        gHook = nullptr;
        gBox = nullptr;
    }
};

}  // namespace

TEST_F(ApplicationTest, TitleIconAndProgramName) {
    TApplication fresh(nullptr);
    AnsiString exe = fresh.ExeName();
    EXPECT_TRUE(SameText(ExtractFileExt(exe), ".exe")) << exe;
    EXPECT_TRUE(FileExists(exe));
    EXPECT_EQ(ChangeFileExt(ExtractFileName(exe), ""), fresh.Title());

    Application->SetTitle("Velmora");
    EXPECT_EQ("Velmora", Application->Title());
    char text[64] = {};
    GetWindowTextA(Application->Handle(), text, sizeof text);
    EXPECT_STREQ("Velmora", text);
    // The program's MAINICON.
    ASSERT_FALSE(Application->Icon()->Empty());
    EXPECT_EQ(32, Application->Icon()->Width());
    // The application window is a top-level window that nothing owns.
    EXPECT_EQ(nullptr, GetWindow(Application->Handle(), GW_OWNER));
    EXPECT_FALSE(GetWindowLongA(Application->Handle(), GWL_STYLE) & WS_CHILD);
}

TEST_F(ApplicationTest, HandleExceptionReportsEveryKindButEAbort) {
    Application->OnException = MakeEvent<&TRecord::Record>(&Record);
    TObject sender;
    try {
        throw EConvertError("変換できません");
    } catch (...) {
        Application->HandleException(&sender);
    }
    try {
        Abort();
    } catch (...) {
        Application->HandleException(&sender);
    }
    try {
        throw std::runtime_error("標準の例外");
    } catch (...) {
        Application->HandleException(&sender);
    }
    try {
        throw 42;
    } catch (...) {
        Application->HandleException(nullptr);
    }
    Application->HandleException(&sender);  // outside a handler: nothing to report
    ASSERT_EQ(3u, Record.Messages.size());
    EXPECT_EQ("変換できません", Record.Messages[0]);
    EXPECT_EQ(&sender, Record.Senders[0]);
    EXPECT_EQ("標準の例外", Record.Messages[1]);
    EXPECT_EQ("不明な例外が発生しました.", Record.Messages[2]);
    EXPECT_EQ(nullptr, Record.Senders[2]);

    // A failing reporter does not take the caller down.
    struct TBad {
        void Report(TObject*, Exception*) { throw Exception("報告の失敗"); }
    } bad;
    Application->OnException = MakeEvent<&TBad::Report>(&bad);
    try {
        throw Exception("元の例外");
    } catch (...) {
        EXPECT_NO_THROW(Application->HandleException(nullptr));
    }
}

TEST_F(ApplicationTest, ShowExceptionShowsAStopBoxUnderTheTitle) {
    Application->SetTitle("Velmora");
    TBoxSeen seen;
    {
        TBoxWatch watch(seen);
        TWatchdog dog(30000);
        Exception e("フォルダがありません");
        Application->ShowException(&e);
        ASSERT_FALSE(dog.Fired) << "the message box never showed";
    }
    ASSERT_TRUE(seen.Seen);
    EXPECT_EQ("Velmora", seen.Caption);
    EXPECT_EQ("フォルダがありません.", seen.Text);  // a full stop is added
    EXPECT_TRUE(seen.HasIcon);

    // Without OnException, HandleException shows the same box.
    TBoxSeen second;
    {
        TBoxWatch watch(second);
        TWatchdog dog(30000);
        try {
            throw Exception("コンポーネントがアクティブです.");
        } catch (...) {
            Application->HandleException(nullptr);
        }
        ASSERT_FALSE(dog.Fired);
    }
    EXPECT_EQ("コンポーネントがアクティブです.", second.Text);
}

TEST_F(ApplicationTest, MessageBoxIsOwnedByTheActiveFormAndReturnsTheAnswer) {
    Application->SetTitle("Velmora");
    TForm* form = nullptr;
    Application->CreateForm(form);
    form->SetCaption("設定");
    form->Show();
    SetForegroundWindow(form->Handle());
    TBoxSeen seen;
    seen.Answer = IDNO;
    int answer = 0;
    {
        TBoxWatch watch(seen);
        TWatchdog dog(30000);
        answer = Application->MessageBox("設定を削除しますか?", "", MB_YESNO | MB_ICONQUESTION);
        ASSERT_FALSE(dog.Fired);
    }
    EXPECT_EQ(IDNO, answer);
    EXPECT_EQ("Velmora", seen.Caption);
    EXPECT_EQ("設定を削除しますか?", seen.Text);
    EXPECT_EQ(form->Handle(), seen.Owner);

    TBoxSeen plain;
    {
        TBoxWatch watch(plain);
        TWatchdog dog(30000);
        ShowMessage("Velmoraはすでに起動しています。複数起動はできません。");
        ASSERT_FALSE(dog.Fired);
    }
    EXPECT_EQ("Velmora", plain.Caption);
    EXPECT_EQ("Velmoraはすでに起動しています。複数起動はできません。", plain.Text);
    EXPECT_FALSE(plain.HasIcon);
}

namespace {

struct TSyncTarget {
    DWORD RanOn = 0;
    int Calls = 0;
    bool TerminateAfter = false;
    void Run() {
        RanOn = GetCurrentThreadId();
        ++Calls;
        if (TerminateAfter) Application->Terminate();
    }
};

}  // namespace

TEST_F(ApplicationTest, RunServesAWorkerThreadsSynchronisedCall) {
    ASSERT_EQ(nullptr, Application->MainForm());
    TSyncTarget target;
    target.TerminateAfter = true;
    std::thread worker([&target] { TThread::Synchronize(nullptr, MakeEvent<&TSyncTarget::Run>(&target)); });
    {
        TWatchdog dog(30000);
        Application->Run();
        EXPECT_FALSE(dog.Fired) << "Run was never woken by the synchronised call";
    }
    worker.join();
    EXPECT_EQ(1, target.Calls);
    EXPECT_EQ(GetCurrentThreadId(), target.RanOn);
}

TEST_F(ApplicationTest, ProcessMessagesAndModalBoxesServeSynchronisedCallsToo) {
    TSyncTarget target;
    HANDLE queued = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&target, queued] {
        SetEvent(queued);
        TThread::Synchronize(nullptr, MakeEvent<&TSyncTarget::Run>(&target));
    });
    // The worker is blocked in Synchronize once the wake message is posted;
    // waiting on the sync event tells when the call is queued.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(queued, 30000));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(SyncEvent(), 30000));
    Application->ProcessMessages();
    worker.join();
    CloseHandle(queued);
    EXPECT_EQ(1, target.Calls);
}

TEST_F(ApplicationTest, TerminateBeforeRunEndsRunAtOnce) {
    Application->Terminate();
    TWatchdog dog(30000);
    Application->Run();
    EXPECT_FALSE(dog.Fired);
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(ApplicationTest, AnExceptionInAQueuedMessageIsReportedAndTheLoopGoesOn) {
    Application->OnException = MakeEvent<&TRecord::Record>(&Record);
    TForm* form = nullptr;
    Application->CreateForm(form);
    auto* button = new TButton(form);
    button->SetParent(form);
    struct TThrower {
        int Calls = 0;
        void Click(TObject*) {
            ++Calls;
            throw EListError("リストのインデックスが範囲を超えています (5).");
        }
    } thrower;
    button->OnClick = MakeEvent<&TThrower::Click>(&thrower);
    PostMessageA(button->Handle(), BM_CLICK, 0, 0);
    PostMessageA(button->Handle(), BM_CLICK, 0, 0);
    Application->ProcessMessages();
    EXPECT_EQ(2, thrower.Calls);
    ASSERT_EQ(2u, Record.Messages.size());
    // The click arrives as the parent window's notification, whose procedure reports it.
    EXPECT_EQ(form, Record.Senders[0]);
}
