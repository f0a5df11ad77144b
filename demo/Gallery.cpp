#include "demo/Gallery.h"

#include <algorithm>

#include "framework/Application.h"

namespace Gallery {

using namespace Fw;

TGalleryForm* GalleryForm = nullptr;

FW_PUBLISH(TGalleryForm)
    .Field("PageControl1", &TGalleryForm::PageControl1)
    .Field("ThreadsPage", &TGalleryForm::ThreadsPage)
    .Field("ObserverPath", &TGalleryForm::ObserverPath)
    .Field("ObserverActive", &TGalleryForm::ObserverActive)
    .Field("ObserverWrite", &TGalleryForm::ObserverWrite)
    .Field("ObserverCount", &TGalleryForm::ObserverCount)
    .Field("ObserverLog", &TGalleryForm::ObserverLog)
    .Field("PathObserver1", &TGalleryForm::PathObserver1)
    .Field("BrokerLimit", &TGalleryForm::BrokerLimit)
    .Field("BrokerStart", &TGalleryForm::BrokerStart)
    .Field("BrokerCancel", &TGalleryForm::BrokerCancel)
    .Field("BrokerSpin", &TGalleryForm::BrokerSpin)
    .Field("BrokerStatus", &TGalleryForm::BrokerStatus)
    .Field("ThreadBroker1", &TGalleryForm::ThreadBroker1)
    .Field("AlerterSignal", &TGalleryForm::AlerterSignal)
    .Field("AlerterEnabled", &TGalleryForm::AlerterEnabled)
    .Field("AlerterLog", &TGalleryForm::AlerterLog)
    .Field("EventAlerter1", &TGalleryForm::EventAlerter1)
    .Method<&TGalleryForm::FormCreate>("FormCreate")
    .Method<&TGalleryForm::ObserverActiveClick>("ObserverActiveClick")
    .Method<&TGalleryForm::ObserverWriteClick>("ObserverWriteClick")
    .Method<&TGalleryForm::PathObserver1Notify>("PathObserver1Notify")
    .Method<&TGalleryForm::BrokerStartClick>("BrokerStartClick")
    .Method<&TGalleryForm::BrokerCancelClick>("BrokerCancelClick")
    .Method<&TGalleryForm::BrokerSpinClick>("BrokerSpinClick")
    .Method<&TGalleryForm::ThreadBroker1Start>("ThreadBroker1Start")
    .Method<&TGalleryForm::ThreadBroker1Execute>("ThreadBroker1Execute")
    .Method<&TGalleryForm::ThreadBroker1End>("ThreadBroker1End")
    .Method<&TGalleryForm::ThreadBroker1Terminate>("ThreadBroker1Terminate")
    .Method<&TGalleryForm::AlerterSignalClick>("AlerterSignalClick")
    .Method<&TGalleryForm::AlerterEnabledClick>("AlerterEnabledClick")
    .Method<&TGalleryForm::EventAlerter1Signal>("EventAlerter1Signal")
    // ---- The interception page ----
    .Field("InterceptorsPage", &TGalleryForm::InterceptorsPage)
    .Field("DropList", &TGalleryForm::DropList)
    .Field("DropFollowLink", &TGalleryForm::DropFollowLink)
    .Field("DropStatus", &TGalleryForm::DropStatus)
    .Field("FileDrop1", &TGalleryForm::FileDrop1)
    .Field("WheelDelta", &TGalleryForm::WheelDelta)
    .Field("WheelPos", &TGalleryForm::WheelPos)
    .Field("WheelShift", &TGalleryForm::WheelShift)
    .Field("WheelTotal", &TGalleryForm::WheelTotal)
    .Field("MouseWheel1", &TGalleryForm::MouseWheel1)
    .Field("FormInterceptor", &TGalleryForm::FormInterceptor)
    .Field("PaintPanel", &TGalleryForm::PaintPanel)
    .Field("PaintActive", &TGalleryForm::PaintActive)
    .Field("PaintTiled", &TGalleryForm::PaintTiled)
    .Field("PaintErase", &TGalleryForm::PaintErase)
    .Field("PanelInterceptor", &TGalleryForm::PanelInterceptor)
    .Field("ImageList1", &TGalleryForm::ImageList1)
    .Field("BitmapPainter1", &TGalleryForm::BitmapPainter1)
    .Field("SendHello", &TGalleryForm::SendHello)
    .Field("StartAnother", &TGalleryForm::StartAnother)
    .Field("RegisteredLog", &TGalleryForm::RegisteredLog)
    .Field("RegisteredMessage1", &TGalleryForm::RegisteredMessage1)
    .Method<&TGalleryForm::FileDrop1DropFiles>("FileDrop1DropFiles")
    .Method<&TGalleryForm::DropFollowLinkClick>("DropFollowLinkClick")
    .Method<&TGalleryForm::MouseWheel1Wheel>("MouseWheel1Wheel")
    .Method<&TGalleryForm::PaintActiveClick>("PaintActiveClick")
    .Method<&TGalleryForm::PaintTiledClick>("PaintTiledClick")
    .Method<&TGalleryForm::PaintEraseClick>("PaintEraseClick")
    .Method<&TGalleryForm::SendHelloClick>("SendHelloClick")
    .Method<&TGalleryForm::StartAnotherClick>("StartAnotherClick")
    .Method<&TGalleryForm::GalleryHello>("GalleryHello")
    .Method<&TGalleryForm::GalleryReply>("GalleryReply")
    // ---- End of the interception page ----
    // ---- The component array page (ComponentArrayPage.cpp) ----
    .Field("ComponentArrayPage", &TGalleryForm::ComponentArrayPage)
    .Field("ArrayCount", &TGalleryForm::ArrayCount)
    .Field("ArrayCreate", &TGalleryForm::ArrayCreate)
    .Field("ArrayRemove", &TGalleryForm::ArrayRemove)
    .Field("ArrayPanel", &TGalleryForm::ArrayPanel)
    .Field("ArrayStatus", &TGalleryForm::ArrayStatus)
    .Field("ArrayOrder", &TGalleryForm::ArrayOrder)
    .Field("ArrayNatural", &TGalleryForm::ArrayNatural)
    .Field("ButtonArray", &TGalleryForm::ButtonArray)
    .Field("SerialText", &TGalleryForm::SerialText)
    .Field("SerialCheck", &TGalleryForm::SerialCheck)
    .Field("SerialSave", &TGalleryForm::SerialSave)
    .Field("SerialLoad", &TGalleryForm::SerialLoad)
    .Field("SerialStatus", &TGalleryForm::SerialStatus)
    .Field("SerialBytes", &TGalleryForm::SerialBytes)
    .Field("PropertySerializer1", &TGalleryForm::PropertySerializer1)
    .Method<&TGalleryForm::ArrayCreateClick>("ArrayCreateClick")
    .Method<&TGalleryForm::ArrayRemoveClick>("ArrayRemoveClick")
    .Method<&TGalleryForm::ButtonArrayCreateNew>("ButtonArrayCreateNew")
    .Method<&TGalleryForm::ArrayButtonClick>("ArrayButtonClick")
    .Method<&TGalleryForm::SerialSaveClick>("SerialSaveClick")
    .Method<&TGalleryForm::SerialLoadClick>("SerialLoadClick")
    // ---- End of the component array page ----
    // ---- The drag-and-drop page ----
    .Field("DragDropPage", &TGalleryForm::DragDropPage)
    .Field("DragFileList", &TGalleryForm::DragFileList)
    .Field("DragFileResult", &TGalleryForm::DragFileResult)
    .Field("DragText", &TGalleryForm::DragText)
    .Field("DragTextHandle", &TGalleryForm::DragTextHandle)
    .Field("DragTextResult", &TGalleryForm::DragTextResult)
    .Field("DndStartAnother", &TGalleryForm::DndStartAnother)
    .Field("DropArea", &TGalleryForm::DropArea)
    .Field("DropEffectLabel", &TGalleryForm::DropEffectLabel)
    .Field("DropFormatLabel", &TGalleryForm::DropFormatLabel)
    .Field("DropLog", &TGalleryForm::DropLog)
    .Field("DropSource1", &TGalleryForm::DropSource1)
    .Field("FileGesture", &TGalleryForm::FileGesture)
    .Field("TextGesture", &TGalleryForm::TextGesture)
    .Field("OleDropTarget1", &TGalleryForm::OleDropTarget1)
    .Method<&TGalleryForm::FileGestureRecognized>("FileGestureRecognized")
    .Method<&TGalleryForm::TextGestureRecognized>("TextGestureRecognized")
    .Method<&TGalleryForm::DndStartAnotherClick>("DndStartAnotherClick")
    .Method<&TGalleryForm::DropItemOver>("DropItemOver")
    .Method<&TGalleryForm::OleDropTarget1DragLeave>("OleDropTarget1DragLeave")
    .Method<&TGalleryForm::DropFilesDrop>("DropFilesDrop")
    .Method<&TGalleryForm::DropTextDrop>("DropTextDrop")
    // ---- End of the drag-and-drop page ----
FW_END_PUBLISH

TGalleryForm::TGalleryForm(TComponent* owner) : TForm(owner) {}

TGalleryForm::~TGalleryForm() {
    if (FAlertEvent) CloseHandle(FAlertEvent);
}

void TGalleryForm::Log(TListBox* list, const AnsiString& text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    int at = list->Items()->Add(Format("%02u:%02u:%02u.%03u  ", now.wHour, now.wMinute, now.wSecond,
                                       now.wMilliseconds) + text);
    list->MakeVisible(at);
}

void TGalleryForm::FormCreate(TObject*) {
    // A folder of the gallery's own under the user's temporary folder.
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    AnsiString folder = AnsiString(temp) + "KitGallery";
    CreateDirectoryA(folder.c_str(), nullptr);
    ObserverPath->SetText(folder);

    // One auto-reset event that the alerter waits on beside its own.
    FAlertEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EventAlerter1->GetEvent()->Add(Kit::HandleValue(FAlertEvent));

    DragDropPageCreate();
    PlaceBesideAnother();
}

namespace {

RECT WorkArea() {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

struct TOtherGallery {
    HWND Self;
    HWND Found;
};

BOOL CALLBACK FindOtherGallery(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<TOtherGallery*>(param);
    if (wnd == search->Self || !IsWindowVisible(wnd)) return TRUE;
    char className[64] = "";
    GetClassNameA(wnd, className, sizeof className);
    if (AnsiString(className) != TGalleryForm::StaticClass()->ClassName()) return TRUE;
    search->Found = wnd;
    return FALSE;
}

}  // namespace

void TGalleryForm::MakeRoomForAnother() {
    const RECT area = WorkArea();
    const int middle = (area.left + area.right) / 2;
    if (Left() + Width() > middle) SetLeft(std::max<int>(area.left, middle - Width()));
}

void TGalleryForm::PlaceBesideAnother() {
    TOtherGallery search{HandleAllocated() ? Handle() : nullptr, nullptr};
    EnumWindows(FindOtherGallery, reinterpret_cast<LPARAM>(&search));
    RECT other;
    if (!search.Found || !GetWindowRect(search.Found, &other)) return;
    const RECT area = WorkArea();
    // To the right of the other, overlapping it a little where the screen
    // is just too narrow; where even that would hide half of it, a step
    // down and to the right.
    int left = std::min<int>(other.right, area.right - Width());
    int top = other.top;
    if (left < other.left + Width() / 2) {
        left = std::min<int>(other.left + 32, area.right - Width());
        top = std::min<int>(other.top + 32, area.bottom - Height());
    }
    SetPosition(poDesigned);
    SetBounds(std::max<int>(area.left, left), std::max<int>(area.top, top), Width(), Height());
}

// ---- Path observer ----

void TGalleryForm::ObserverActiveClick(TObject*) {
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

void TGalleryForm::ObserverWriteClick(TObject*) {
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

void TGalleryForm::PathObserver1Notify(TObject*) {
    ObserverCount->SetCaption(Format("通知: %d 回", ++FNotifications));
    Log(ObserverLog, "OnNotify: フォルダの中身が変わりました.");
}

// ---- Thread broker ----

void TGalleryForm::BrokerStartClick(TObject*) { ThreadBroker1->SetEnabled(true); }

void TGalleryForm::BrokerCancelClick(TObject*) {
    BrokerSpin->SetChecked(false);
    ThreadBroker1->SetEnabled(false);
}

void TGalleryForm::BrokerSpinClick(TObject*) { ThreadBroker1->SetSpinExecute(BrokerSpin->Checked()); }

void TGalleryForm::ThreadBroker1Start(TObject*) {
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
void TGalleryForm::ThreadBroker1Execute(TObject*, Kit::TBrokerThread* Thread) {
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
            Thread->Synchronize(MakeEvent<&TGalleryForm::ShowProgress>(this));
        }
    }
    FPrimeProgress = limit;
    FPrimeCount = count;
}

void TGalleryForm::ShowProgress() {
    BrokerStatus->SetCaption(Format("OnExecute: %u まで調べて素数 %u 個 (%u%%)", FPrimeProgress.load(),
                                    FPrimeCount.load(), FPrimeProgress.load() * 100u / FPrimeLimit));
}

void TGalleryForm::ThreadBroker1End(TObject*) {
    BrokerStart->SetEnabled(true);
    BrokerStatus->SetCaption(Format("OnEnd: %u 未満の素数は %u 個 (%lu ms)", FPrimeLimit, FPrimeCount.load(),
                                    GetTickCount() - FRunStarted));
}

void TGalleryForm::ThreadBroker1Terminate(TObject*) {
    BrokerStart->SetEnabled(true);
    BrokerStatus->SetCaption("OnTerminate: 計算を中止しました.");
}

// ---- Event alerter ----

void TGalleryForm::AlerterSignalClick(TObject*) {
    SetEvent(FAlertEvent);
    Log(AlerterLog, "イベントをセットしました.");
}

void TGalleryForm::AlerterEnabledClick(TObject*) {
    EventAlerter1->SetEnabled(AlerterEnabled->Checked());
    Log(AlerterLog, AlerterEnabled->Checked() ? "待機を始めました." : "待機を止めました.");
}

// Each enabling gives one wait: the page switches the alerter off and on
// again, so every setting of the event is reported.
void TGalleryForm::EventAlerter1Signal(TObject*, bool&) {
    Log(AlerterLog, "OnSignal: イベントがシグナル状態になりました.");
    EventAlerter1->SetEnabled(false);
    EventAlerter1->SetEnabled(true);
}

}  // namespace Gallery
