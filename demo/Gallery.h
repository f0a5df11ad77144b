// The gallery's window: a page for each unit of Kit, placed in its form text
// the way a program that uses the library places them.
#pragma once

#include <atomic>

#include "framework/ComCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "kit/Threads.h"

namespace Gallery {

class TGalleryForm : public Fw::TForm {
public:
    FW_CLASS(TGalleryForm, Fw::TForm)
    explicit TGalleryForm(Fw::TComponent* owner);
    ~TGalleryForm() override;

    Fw::TPageControl* PageControl1 = nullptr;

    // The threads page.
    Fw::TTabSheet* ThreadsPage = nullptr;
    Fw::TEdit* ObserverPath = nullptr;
    Fw::TCheckBox* ObserverActive = nullptr;
    Fw::TButton* ObserverWrite = nullptr;
    Fw::TLabel* ObserverCount = nullptr;
    Fw::TListBox* ObserverLog = nullptr;
    Kit::TPathObserver* PathObserver1 = nullptr;
    Fw::TEdit* BrokerLimit = nullptr;
    Fw::TButton* BrokerStart = nullptr;
    Fw::TButton* BrokerCancel = nullptr;
    Fw::TCheckBox* BrokerSpin = nullptr;
    Fw::TLabel* BrokerStatus = nullptr;
    Kit::TThreadBroker* ThreadBroker1 = nullptr;
    Fw::TButton* AlerterSignal = nullptr;
    Fw::TCheckBox* AlerterEnabled = nullptr;
    Fw::TListBox* AlerterLog = nullptr;
    Kit::TEventAlerter* EventAlerter1 = nullptr;

    void FormCreate(Fw::TObject* Sender);
    void ObserverActiveClick(Fw::TObject* Sender);
    void ObserverWriteClick(Fw::TObject* Sender);
    void PathObserver1Notify(Fw::TObject* Sender);
    void BrokerStartClick(Fw::TObject* Sender);
    void BrokerCancelClick(Fw::TObject* Sender);
    void BrokerSpinClick(Fw::TObject* Sender);
    void ThreadBroker1Start(Fw::TObject* Sender);
    void ThreadBroker1Execute(Fw::TObject* Sender, Kit::TBrokerThread* Thread);
    void ThreadBroker1End(Fw::TObject* Sender);
    void ThreadBroker1Terminate(Fw::TObject* Sender);
    void AlerterSignalClick(Fw::TObject* Sender);
    void AlerterEnabledClick(Fw::TObject* Sender);
    void EventAlerter1Signal(Fw::TObject* Sender, bool& Reset);

private:
    // A line with the time in front, at the end of list, kept in view.
    static void Log(Fw::TListBox* list, const Fw::AnsiString& text);
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

extern TGalleryForm* GalleryForm;

}  // namespace Gallery
