// When the capture runs: the scheduler on this thread's message loop, with
// a real wallpaper file and a capture that reports what the test chooses.
#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>

#include "app/CaptureScheduler.h"

using namespace Velmora;

namespace {

void Write(const AnsiString& name, const AnsiString& content) {
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << name;
    DWORD written = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(f);
}

AnsiString Content(const AnsiString& name) {
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "(missing)";
    char buffer[256];
    DWORD read = 0;
    ReadFile(f, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(f);
    return AnsiString(buffer, read);
}

// Runs this thread's messages (the scheduler's timer among them) until done()
// holds or the time is up; it waits on the message queue, never spins.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout = 10000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return true;
}

class Scheduler : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        Wallpaper = Fw::Format("%svelmora-scheduler-%lu.bmp", temp, GetCurrentProcessId());
        Write(Wallpaper, "picture");
        Captures.WallpaperFile = Wallpaper;
        Captures.OnCapture = [this] {
            Seen.push_back(Content(Wallpaper));
            TCaptureResult r;
            if (!Outcomes.empty()) {
                r.Outcome = Outcomes.front();
                Outcomes.pop_front();
            } else {
                r.Outcome = coSaved;
            }
            return r;
        };
        Captures.OnFailed = [this](const TCaptureResult&) {
            ++Failures;
            EXPECT_FALSE(Captures.Pending()) << "nothing is pending while a failure is reported";
        };
    }
    void TearDown() override {
        Captures.Stop();
        DeleteFileA(Wallpaper.c_str());
    }

    AnsiString Wallpaper;
    TCaptureScheduler Captures;
    std::deque<TCaptureOutcome> Outcomes;  // what the captures report, in turn; then coSaved
    std::vector<AnsiString> Seen;          // the wallpaper as each capture found it
    int Failures = 0;
};

}  // namespace

TEST_F(Scheduler, AChangeIsCapturedOnceTheWallpaperIsQuiet) {
    Captures.Changed();
    EXPECT_TRUE(Seen.empty()) << "not before the settle time";
    EXPECT_TRUE(Captures.Pending());
    // Reported several times, and written again before the first look:
    // one capture, of the last picture.
    Captures.Changed();
    Write(Wallpaper, "picture, rewritten");
    Captures.Changed();
    Write(Wallpaper, "picture, rewritten, and again");
    ASSERT_TRUE(PumpUntil([&] { return !Captures.Pending(); }));
    ASSERT_EQ(1u, Seen.size());
    EXPECT_EQ("picture, rewritten, and again", Seen[0]);
}

// Another file of the browser's folder changing all the time: the changes
// keep coming, the wallpaper stays as it is, and the capture is not put off.
TCaptureScheduler* Busy;
void CALLBACK AnotherFileChanged(HWND, UINT, UINT_PTR, DWORD) { Busy->Changed(); }

TEST_F(Scheduler, ChangesOfOtherFilesDoNotPutTheCaptureOff) {
    Busy = &Captures;
    const UINT_PTR folder = SetTimer(nullptr, 0, TCaptureScheduler::DefaultSettleTime / 4, AnotherFileChanged);
    ASSERT_NE(0u, folder);
    Captures.Changed();
    const bool captured = PumpUntil([&] { return !Seen.empty(); }, 10 * TCaptureScheduler::DefaultSettleTime);
    KillTimer(nullptr, folder);
    EXPECT_TRUE(captured) << "the capture waited for the folder to fall quiet";
}

TEST_F(Scheduler, AtOnceWhenAskedAndAgainWhileTheFileIsBusyOrChanging) {
    Captures.CaptureNow();
    EXPECT_EQ(1u, Seen.size()) << "watching resumed: no wait";
    EXPECT_FALSE(Captures.Pending());

    // Still open for writing twice, then torn by a write under the copy:
    // tried until a capture goes through, and no more.
    Outcomes = {coBusy, coBusy, coChanged};
    Captures.CaptureNow();
    EXPECT_TRUE(Captures.Pending());
    ASSERT_TRUE(PumpUntil([&] { return !Captures.Pending(); }));
    EXPECT_EQ(5u, Seen.size());
    EXPECT_EQ(0, Failures);

    // Nothing new to keep, or no wallpaper: nothing more is tried.
    for (TCaptureOutcome quiet : {coUnchanged, coNoWallpaper}) {
        Outcomes = {quiet};
        Captures.CaptureNow();
        EXPECT_FALSE(Captures.Pending());
    }
}

TEST_F(Scheduler, AFailureIsReportedOnceAndAStopForgetsWhatIsPending) {
    Outcomes = {coFailed};
    Captures.CaptureNow();
    EXPECT_EQ(1, Failures);
    EXPECT_FALSE(Captures.Pending());

    Outcomes = {coBusy};
    Captures.CaptureNow();
    ASSERT_TRUE(Captures.Pending());
    Captures.Stop();
    // A later timer proves the stopped one gone: the retry would come first.
    TCaptureScheduler other(3 * TCaptureScheduler::DefaultRetryTime);
    bool otherRan = false;
    other.WallpaperFile = Wallpaper;
    other.OnCapture = [&] {
        otherRan = true;
        return TCaptureResult();
    };
    other.Changed();
    ASSERT_TRUE(PumpUntil([&] { return otherRan; }));
    EXPECT_EQ(2u, Seen.size()) << "no capture after the stop";
    EXPECT_FALSE(Captures.Pending());
}
