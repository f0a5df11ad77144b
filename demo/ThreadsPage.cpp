// The threads page: a folder watched by a path observer, a count of primes
// worked out by a thread broker's worker while the window stays live, and
// an event alerter that reports an event set by a button.
#include <atomic>

#include "demo/GalleryPage.h"
#include "kit/Threads.h"

namespace Gallery {

using namespace Fw;

class TThreadsPage : public TGalleryPage {
public:
    FW_CLASS(TThreadsPage, TGalleryPage)
    explicit TThreadsPage(TComponent* owner) : TGalleryPage(owner) {}
    ~TThreadsPage() override {
        if (FAlertEvent) CloseHandle(FAlertEvent);
    }

    TEdit* ObserverPath = nullptr;
    TCheckBox* ObserverActive = nullptr;
    TLabel* ObserverCount = nullptr;
    TListBox* ObserverLog = nullptr;
    Kit::TPathObserver* PathObserver1 = nullptr;
    TEdit* BrokerLimit = nullptr;
    TButton* BrokerStart = nullptr;
    TCheckBox* BrokerSpin = nullptr;
    TLabel* BrokerStatus = nullptr;
    Kit::TThreadBroker* ThreadBroker1 = nullptr;
    TCheckBox* AlerterEnabled = nullptr;
    TListBox* AlerterLog = nullptr;
    Kit::TEventAlerter* EventAlerter1 = nullptr;

    void PageCreate() override;
    void ObserverActiveClick(TObject* Sender);
    void ObserverWriteClick(TObject* Sender);
    void PathObserver1Notify(TObject* Sender);
    void BrokerStartClick(TObject* Sender);
    void BrokerCancelClick(TObject* Sender);
    void BrokerSpinClick(TObject* Sender);
    void ThreadBroker1Start(TObject* Sender);
    void ThreadBroker1Execute(TObject* Sender, Kit::TBrokerThread* Thread);
    void ThreadBroker1End(TObject* Sender);
    void ThreadBroker1Terminate(TObject* Sender);
    void AlerterSignalClick(TObject* Sender);
    void AlerterEnabledClick(TObject* Sender);
    void EventAlerter1Signal(TObject* Sender, bool& Reset);

private:
    void ShowProgress();

    int FNotifications = 0;
    int FWrites = 0;
    // The broker's run: its limit read on the main thread before it starts,
    // its progress and result written by the worker.
    unsigned FPrimeLimit = 0;
    std::atomic<unsigned> FPrimeProgress{0};
    std::atomic<unsigned> FPrimeCount{0};
    DWORD FRunStarted = 0;
    HANDLE FAlertEvent = nullptr;
};

FW_PUBLISH(TThreadsPage)
    .Field("ObserverPath", &TThreadsPage::ObserverPath)
    .Field("ObserverActive", &TThreadsPage::ObserverActive)
    .Field("ObserverCount", &TThreadsPage::ObserverCount)
    .Field("ObserverLog", &TThreadsPage::ObserverLog)
    .Field("PathObserver1", &TThreadsPage::PathObserver1)
    .Field("BrokerLimit", &TThreadsPage::BrokerLimit)
    .Field("BrokerStart", &TThreadsPage::BrokerStart)
    .Field("BrokerSpin", &TThreadsPage::BrokerSpin)
    .Field("BrokerStatus", &TThreadsPage::BrokerStatus)
    .Field("ThreadBroker1", &TThreadsPage::ThreadBroker1)
    .Field("AlerterEnabled", &TThreadsPage::AlerterEnabled)
    .Field("AlerterLog", &TThreadsPage::AlerterLog)
    .Field("EventAlerter1", &TThreadsPage::EventAlerter1)
    .Method<&TThreadsPage::ObserverActiveClick>("ObserverActiveClick")
    .Method<&TThreadsPage::ObserverWriteClick>("ObserverWriteClick")
    .Method<&TThreadsPage::PathObserver1Notify>("PathObserver1Notify")
    .Method<&TThreadsPage::BrokerStartClick>("BrokerStartClick")
    .Method<&TThreadsPage::BrokerCancelClick>("BrokerCancelClick")
    .Method<&TThreadsPage::BrokerSpinClick>("BrokerSpinClick")
    .Method<&TThreadsPage::ThreadBroker1Start>("ThreadBroker1Start")
    .Method<&TThreadsPage::ThreadBroker1Execute>("ThreadBroker1Execute")
    .Method<&TThreadsPage::ThreadBroker1End>("ThreadBroker1End")
    .Method<&TThreadsPage::ThreadBroker1Terminate>("ThreadBroker1Terminate")
    .Method<&TThreadsPage::AlerterSignalClick>("AlerterSignalClick")
    .Method<&TThreadsPage::AlerterEnabledClick>("AlerterEnabledClick")
    .Method<&TThreadsPage::EventAlerter1Signal>("EventAlerter1Signal")
FW_END_PUBLISH

void TThreadsPage::PageCreate() {
    ObserverPath->SetText(GalleryFolder());
    // One auto-reset event that the alerter waits on beside its own.
    FAlertEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EventAlerter1->GetEvent()->Add(Kit::HandleValue(FAlertEvent));
}

// ---- Path observer ----

void TThreadsPage::ObserverActiveClick(TObject*) {
    try {
        if (ObserverActive->Checked()) {
            PathObserver1->SetPath(ObserverPath->Text());
            PathObserver1->SetActive(true);
            Log(ObserverLog, "監視を始めました: " + PathObserver1->Path());
        } else if (PathObserver1->Active()) {
            PathObserver1->SetActive(false);
            Log(ObserverLog, "監視を止めました.");
        }
    } catch (Exception&) {
        ObserverActive->SetChecked(false);
        throw;
    }
    ObserverPath->SetEnabled(!PathObserver1->Active());
}

void TThreadsPage::ObserverWriteClick(TObject*) {
    AnsiString name = ObserverPath->Text() + "\\gallery.txt";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseLastOSError();
    AnsiString line = Format("書き込み %d\r\n", ++FWrites);
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_END);
    BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok) RaiseLastOSError();
    Log(ObserverLog, "gallery.txt に書き込みました.");
}

void TThreadsPage::PathObserver1Notify(TObject*) {
    ObserverCount->SetCaption(Format("通知: %d 回", ++FNotifications));
    Log(ObserverLog, "OnNotify: フォルダの中身が変わりました.");
}

// ---- Thread broker ----

void TThreadsPage::BrokerStartClick(TObject*) { ThreadBroker1->SetEnabled(true); }

void TThreadsPage::BrokerCancelClick(TObject*) {
    BrokerSpin->SetChecked(false);
    ThreadBroker1->SetEnabled(false);
}

void TThreadsPage::BrokerSpinClick(TObject*) { ThreadBroker1->SetSpinExecute(BrokerSpin->Checked()); }

void TThreadsPage::ThreadBroker1Start(TObject*) {
    int limit = 0;
    if (!TryStrToInt(BrokerLimit->Text(), limit) || limit < 2)
        throw Exception("上限には 2 以上の整数を入れてください.");
    FPrimeLimit = static_cast<unsigned>(limit);
    FPrimeProgress = 0;
    FPrimeCount = 0;
    FRunStarted = GetTickCount();
    BrokerStart->SetEnabled(false);
    BrokerStatus->SetCaption("OnStart: 計算中…");
}

// The work, on the broker's worker thread: counts the primes below the limit
// by trial division, reporting progress to the main thread now and then and
// leaving early when the run is cancelled.
void TThreadsPage::ThreadBroker1Execute(TObject*, Kit::TBrokerThread* Thread) {
    const unsigned limit = FPrimeLimit;
    const unsigned step = limit / 20 + 1;
    unsigned count = 0;
    for (unsigned n = 2; n < limit; ++n) {
        bool prime = true;
        for (unsigned d = 2; d * d <= n; ++d)
            if (n % d == 0) {
                prime = false;
                break;
            }
        if (prime) ++count;
        if (n % step == 0) {
            if (Thread->Terminated()) return;
            FPrimeProgress = n;
            FPrimeCount = count;
            Thread->Synchronize(MakeEvent<&TThreadsPage::ShowProgress>(this));
        }
    }
    FPrimeProgress = limit;
    FPrimeCount = count;
}

void TThreadsPage::ShowProgress() {
    BrokerStatus->SetCaption(Format("OnExecute: %u まで調べて素数 %u 個 (%u%%)", FPrimeProgress.load(),
                                    FPrimeCount.load(), FPrimeProgress.load() * 100u / FPrimeLimit));
}

void TThreadsPage::ThreadBroker1End(TObject*) {
    BrokerStart->SetEnabled(true);
    BrokerStatus->SetCaption(Format("OnEnd: %u 未満の素数は %u 個 (%lu ms)", FPrimeLimit, FPrimeCount.load(),
                                    GetTickCount() - FRunStarted));
}

void TThreadsPage::ThreadBroker1Terminate(TObject*) {
    BrokerStart->SetEnabled(true);
    BrokerStatus->SetCaption("OnTerminate: 計算を中止しました.");
}

// ---- Event alerter ----

void TThreadsPage::AlerterSignalClick(TObject*) {
    SetEvent(FAlertEvent);
    Log(AlerterLog, "イベントをセットしました.");
}

void TThreadsPage::AlerterEnabledClick(TObject*) {
    EventAlerter1->SetEnabled(AlerterEnabled->Checked());
    Log(AlerterLog, AlerterEnabled->Checked() ? "待機を始めました." : "待機を止めました.");
}

// Each enabling gives one wait: the page switches the alerter off and on
// again, so every setting of the event is reported.
void TThreadsPage::EventAlerter1Signal(TObject*, bool&) {
    Log(AlerterLog, "OnSignal: イベントがシグナル状態になりました.");
    EventAlerter1->SetEnabled(false);
    EventAlerter1->SetEnabled(true);
}

}  // namespace Gallery
