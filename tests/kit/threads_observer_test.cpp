// The path observer on real folders under the temporary folder.
#include <atomic>
#include <memory>
#include <string>

#include "framework/Filer.h"
#include "kit/Threads.h"
#include "threads_support.h"

using namespace ThreadsTest;
using Fw::MakeEvent;
using Fw::TObject;
using Kit::TNotifications;
using Kit::TPathObserver;

namespace {

const TNotifications kWrites{Kit::ntFileName, Kit::ntSize, Kit::ntLastWrite};

std::unique_ptr<TPathObserver> Watching(const std::string& path, TNotifyLog& log) {
    auto observer = std::make_unique<TPathObserver>(nullptr);
    observer->SetPath(path);
    observer->SetNotifyState(kWrites);
    observer->OnNotify = log.Bind();
    observer->SetActive(true);
    return observer;
}

template <class F>
std::string ErrorOf(F change) {
    try {
        change();
    } catch (const Fw::Exception& e) {
        return e.Message();
    }
    return "";
}

}  // namespace

TEST(PathObserver, PropertyErrorsLeaveItOffAndWhileOnTheWatchSettingsAreLocked) {
    TTempFolder folder;
    TPathObserver observer(nullptr);
    EXPECT_EQ(PropNames(TPathObserver::StaticClass()), "Active Path NotifyState WatchSubTree OnNotify");
    EXPECT_EQ(observer.NotifyState(), TNotifications{Kit::ntFileName});
    EXPECT_TRUE(observer.WatchSubTree());
    auto activate = [&] { observer.SetActive(true); };

    EXPECT_EQ(ErrorOf(activate), "Path が設定されていません.");
    observer.SetPath(folder / "無い");
    EXPECT_EQ(ErrorOf(activate), "\"" + folder / "無い" + "\"は無効なパスです.");
    observer.SetPath(folder.Path());
    observer.SetNotifyState(TNotifications{});
    EXPECT_EQ(ErrorOf(activate), "NotifyState に何も設定されていません.");
    EXPECT_FALSE(observer.Active());

    observer.SetNotifyState(kWrites);
    EXPECT_EQ(ErrorOf(activate), "");
    EXPECT_TRUE(observer.Active());
    for (auto change : {+[](TPathObserver& o) { o.SetPath("C:\\"); },
                        +[](TPathObserver& o) { o.SetNotifyState(TNotifications{Kit::ntSecurity}); },
                        +[](TPathObserver& o) { o.SetWatchSubTree(false); }})
        EXPECT_EQ(ErrorOf([&] { change(observer); }), "コンポーネントがアクティブです.");
    EXPECT_EQ(observer.Path(), folder.Path());
    EXPECT_EQ(observer.NotifyState(), kWrites);
    observer.SetActive(false);
    observer.SetPath("C:\\");
    EXPECT_EQ(observer.Path(), "C:\\");
}

TEST(PathObserver, ReportsWritesOnTheMainThreadWithOrWithoutATrailingBackslash) {
    TDeadlockGuard guard;
    // "表" ends in the byte 0x5C, which must not be taken for a backslash.
    TTempFolder folder("表");
    for (const std::string& path : {folder.Path(), folder.Path() + "\\"}) {
        SCOPED_TRACE(path);
        TNotifyLog log;
        auto observer = Watching(path, log);
        ASSERT_TRUE(WriteInto(folder / "壁紙.bmp"));
        ASSERT_TRUE(WaitServing(log.Event)) << "no OnNotify for a write";
        EXPECT_EQ(log.ThreadId, Fw::MainThreadID);
        EXPECT_EQ(log.Sender, observer.get());
    }
}

TEST(PathObserver, ADriveRootIsWatchedAsTheRootNotAsTheDrivesCurrentFolder) {
    TDeadlockGuard guard;
    TTempFolder elsewhere;
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.Path().c_str()));
    const std::string probe = "C:\\kit_root_probe.tmp";
    {
        TNotifyLog log;
        TPathObserver observer(nullptr);
        observer.SetPath("C:\\");
        observer.SetWatchSubTree(false);
        observer.OnNotify = log.Bind();
        observer.SetActive(true);
        ASSERT_TRUE(WriteInto(probe));
        EXPECT_TRUE(WaitServing(log.Event)) << "a file made in C:\\ went unseen";
    }
    DeleteFileA(probe.c_str());
    SetCurrentDirectoryA(saved);
}

TEST(PathObserver, SwitchedOffAndOnAgainItWatchesTheCurrentPathEvenAfterAFailedRun) {
    TDeadlockGuard guard;
    TTempFolder first, second;
    ASSERT_TRUE(WriteInto(first / "plain.txt"));
    TNotifyLog log;
    TPathObserver observer(nullptr);
    observer.SetNotifyState(kWrites);
    observer.OnNotify = log.Bind();

    // A plain file passes the path check but cannot be watched: the run fails.
    observer.SetPath(first / "plain.txt");
    observer.SetActive(true);
    observer.SetActive(false);
    observer.SetPath(first.Path());
    observer.SetActive(true);
    ASSERT_TRUE(WriteInto(first / "a.txt"));
    ASSERT_TRUE(WaitServing(log.Event)) << "no longer observing after a failed run";

    // Off inside OnNotify, as the capture does on a failure; then quickly
    // off and on again with another folder.
    log.Then = [&] { observer.SetActive(false); };
    ASSERT_TRUE(WriteInto(first / "b.txt"));
    ASSERT_TRUE(WaitServing(log.Event));
    log.Then = nullptr;
    EXPECT_FALSE(observer.Active());
    observer.SetPath(second.Path());
    observer.SetActive(true);
    observer.SetActive(false);
    observer.SetActive(true);
    ASSERT_TRUE(WriteInto(second / "c.txt"));
    ASSERT_TRUE(WaitServing(log.Event)) << "the quick off and on lost the run";

    // A change already on its way to the main thread at the switch-off is
    // not reported.
    const int calls = log.Calls;
    ASSERT_TRUE(WriteInto(second / "d.txt"));
    ASSERT_EQ(WaitForSingleObject(Fw::SyncEvent(), kGenerous), WAIT_OBJECT_0);
    observer.SetActive(false);
    Drain();
    EXPECT_EQ(log.Calls, calls);
}

TEST(PathObserver, AnExceptionEscapingOnNotifyIsReportedAndObservingGoesOn) {
    TDeadlockGuard guard;
    TAppErrors appErrors;
    TTempFolder folder;
    TNotifyLog log;
    log.Then = [&] {
        if (log.Calls == 1) throw Fw::EConvertError("取り込みに失敗");
    };
    auto observer = Watching(folder.Path(), log);
    ASSERT_TRUE(WriteInto(folder / "a.txt"));
    ASSERT_TRUE(WaitServing(appErrors.Event));
    EXPECT_EQ(appErrors.Message, "取り込みに失敗");
    EXPECT_EQ(appErrors.Sender, observer.get());
    EXPECT_EQ(appErrors.ThreadId, Fw::MainThreadID);
    ResetEvent(log.Event);  // set by the call that raised
    ASSERT_TRUE(WriteInto(folder / "b.txt"));
    ASSERT_TRUE(WaitServing(log.Event)) << "observing stopped";
}

namespace {

class TObserverHost : public Fw::TComponent {
public:
    FW_CLASS(TObserverHost, Fw::TComponent)
    explicit TObserverHost(Fw::TComponent* owner) : Fw::TComponent(owner) {}
    TPathObserver* PathObserver1 = nullptr;
    TNotifyLog Log;
    void PathObserver1Notify(TObject* sender) { Log.Handle(sender); }
};

}  // namespace

FW_PUBLISH(TObserverHost)
    .Method<&TObserverHost::PathObserver1Notify>("PathObserver1Notify")
    .Field("PathObserver1", &TObserverHost::PathObserver1)
FW_END_PUBLISH

TEST(PathObserver, LoadedActiveWithAMissingPathItStartsQuietlyAndWatchesOnceSwitchedAgain) {
    TDeadlockGuard guard;
    TTempFolder later;
    Fw::AnsiString text;
    {
        TObserverHost source(nullptr);
        source.SetName("Host");
        auto* observer = new TPathObserver(&source);
        observer->SetName("PathObserver1");
        source.SetDesigning(true);  // checked against the folder, never run
        observer->SetPath(later.Path());
        observer->SetNotifyState(kWrites);
        observer->SetWatchSubTree(false);
        observer->OnNotify = MakeEvent<&TObserverHost::PathObserver1Notify>(&source);
        observer->SetActive(true);
        text = Fw::ComponentToText(&source);
    }
    size_t at = 0;
    for (const char* line : {"Active = True", "Path = ", "NotifyState = [ntFileName, ntSize, ntLastWrite]",
                             "WatchSubTree = False", "OnNotify = PathObserver1Notify"}) {
        at = text.find(line, at);
        ASSERT_NE(at, Fw::AnsiString::npos) << line << " missing or out of order in\n" << text;
    }

    ASSERT_TRUE(RemoveDirectoryA(later.Path().c_str()));
    TObserverHost copy(nullptr);
    EXPECT_NO_THROW(Fw::ComponentFromText(text, &copy));
    ASSERT_NE(copy.PathObserver1, nullptr);
    EXPECT_TRUE(copy.PathObserver1->Active());

    // The folder appears: another observer sees a write, the loaded one,
    // whose run failed, does not - until switched off and on.
    ASSERT_TRUE(CreateDirectoryA(later.Path().c_str(), nullptr));
    TNotifyLog witness;
    auto other = Watching(later.Path(), witness);
    ASSERT_TRUE(WriteInto(later / "a.txt"));
    ASSERT_TRUE(WaitServing(witness.Event));
    EXPECT_EQ(copy.Log.Calls, 0);
    copy.PathObserver1->SetActive(false);
    copy.PathObserver1->SetActive(true);
    ASSERT_TRUE(WriteInto(later / "b.txt"));
    EXPECT_TRUE(WaitServing(copy.Log.Event)) << "switched on again, it still does not observe";
}

namespace {

// Writes into a folder without pause; once told to, writes a last 200 and ends.
struct TWriter {
    std::string Folder;
    HANDLE Last = NewEvent(true);
    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<TWriter*>(param);
        for (int i = 0; !IsSignalled(self->Last); ++i) WriteInto(self->Folder + "\\f" + std::to_string(i % 4));
        for (int i = 0; i < 200; ++i) WriteInto(self->Folder + "\\tail", std::to_string(i));
        return 0;
    }
};

}  // namespace

TEST(PathObserver, AThousandSwitchesUnderConstantWritesLeaveNoLateEventAndNoHandle) {
    TDeadlockGuard guard(240000);
    TTempFolder folder;
    {  // The first life makes what the framework keeps once per process.
        TNotifyLog log;
        auto observer = Watching(folder.Path(), log);
        ASSERT_TRUE(WriteInto(folder / "warm"));
        ASSERT_TRUE(WaitServing(log.Event));
    }
    Drain();
    const unsigned long before = OpenHandleCount();
    {
        TWriter writer{folder.Path()};
        bool off = false;
        int late = 0;
        TNotifyLog log;
        log.Then = [&] { late += off; };
        auto observer = Watching(folder.Path(), log);
        HANDLE thread = CreateThread(nullptr, 0, &TWriter::Run, &writer, 0, nullptr);
        for (int i = 0; i < 1000; ++i) {
            observer->SetActive(false);
            Drain();
            observer->SetActive(true);
            Drain();
        }
        ResetEvent(log.Event);
        ASSERT_TRUE(WaitServing(log.Event)) << "not observing after the switches";
        observer->SetActive(false);
        off = true;
        SetEvent(writer.Last);
        ASSERT_TRUE(WaitServing(thread));  // serving whatever the worker still sends
        Drain();
        EXPECT_EQ(late, 0) << "OnNotify after the observer was switched off";
        CloseHandle(thread);
        CloseHandle(writer.Last);
    }
    EXPECT_EQ(OpenHandleCount(), before);
}

TEST(PathObserver, DestroyingItWhileItsWorkerWaitsOrSynchronisesNeverDeadlocks) {
    TDeadlockGuard guard;
    TTempFolder folder;
    {  // Blocked in the wait.
        TNotifyLog log;
        Watching(folder.Path(), log).reset();
    }
    {  // Blocked in Synchronize with a change not yet delivered: dropped.
        TNotifyLog log;
        auto observer = Watching(folder.Path(), log);
        ASSERT_TRUE(WriteInto(folder / "a.txt"));
        ASSERT_EQ(WaitForSingleObject(Fw::SyncEvent(), kGenerous), WAIT_OBJECT_0);
        observer.reset();
        EXPECT_EQ(log.Calls, 0);
    }
    {  // Freed by its own OnNotify: the worker is let go and ends by itself.
        TNotifyLog log;
        TPathObserver* observer = Watching(folder.Path(), log).release();
        log.Then = [&] { delete observer; };
        ASSERT_TRUE(WriteInto(folder / "b.txt"));
        EXPECT_TRUE(WaitThreadEnd(observer->Thread()->Handle())) << "the let-go worker did not end";
        EXPECT_EQ(log.Calls, 1);
    }
}
