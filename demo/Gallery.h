// The gallery's window: a page for each unit of Kit, placed in its form text
// the way a program that uses the library places them.
#pragma once

#include <atomic>

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/ImgList.h"
#include "framework/StdCtrls.h"
#include "kit/Componentarray.h"
#include "kit/Interceptors.h"
#include "kit/Olednd.h"
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

    // ---- The interception page (InterceptorsPage.cpp) ----
    Fw::TTabSheet* InterceptorsPage = nullptr;
    Fw::TListBox* DropList = nullptr;
    Fw::TCheckBox* DropFollowLink = nullptr;
    Fw::TLabel* DropStatus = nullptr;
    Kit::TFileDrop* FileDrop1 = nullptr;
    Fw::TLabel* WheelDelta = nullptr;
    Fw::TLabel* WheelPos = nullptr;
    Fw::TLabel* WheelShift = nullptr;
    Fw::TLabel* WheelTotal = nullptr;
    Kit::TMouseWheel* MouseWheel1 = nullptr;
    Kit::TFormMessageInterceptor* FormInterceptor = nullptr;
    Fw::TPanel* PaintPanel = nullptr;
    Fw::TCheckBox* PaintActive = nullptr;
    Fw::TCheckBox* PaintTiled = nullptr;
    Fw::TCheckBox* PaintErase = nullptr;
    Kit::TControlMessageInterceptor* PanelInterceptor = nullptr;
    Fw::TImageList* ImageList1 = nullptr;
    Kit::TBitmapPainter* BitmapPainter1 = nullptr;
    Fw::TButton* SendHello = nullptr;
    Fw::TButton* StartAnother = nullptr;
    Fw::TListBox* RegisteredLog = nullptr;
    Kit::TRegisteredMessage* RegisteredMessage1 = nullptr;

    void FileDrop1DropFiles(Fw::TObject* Sender);
    void DropFollowLinkClick(Fw::TObject* Sender);
    void MouseWheel1Wheel(Fw::TObject* Sender, short Delta, Fw::TShiftState Shift, int X, int Y);
    void PaintActiveClick(Fw::TObject* Sender);
    void PaintTiledClick(Fw::TObject* Sender);
    void PaintEraseClick(Fw::TObject* Sender);
    void SendHelloClick(Fw::TObject* Sender);
    void StartAnotherClick(Fw::TObject* Sender);
    void GalleryHello(Kit::TRMItem* Sender, Fw::TMessage& Message);
    void GalleryReply(Kit::TRMItem* Sender, Fw::TMessage& Message);
    // ---- End of the interception page ----

    // ---- The component array page (ComponentArrayPage.cpp) ----
    Fw::TTabSheet* ComponentArrayPage = nullptr;
    Fw::TEdit* ArrayCount = nullptr;
    Fw::TButton* ArrayCreate = nullptr;
    Fw::TButton* ArrayRemove = nullptr;
    Fw::TPanel* ArrayPanel = nullptr;
    Fw::TLabel* ArrayStatus = nullptr;
    Fw::TLabel* ArrayOrder = nullptr;
    Fw::TLabel* ArrayNatural = nullptr;
    Kit::TComponentArray* ButtonArray = nullptr;
    Fw::TEdit* SerialText = nullptr;
    Fw::TCheckBox* SerialCheck = nullptr;
    Fw::TButton* SerialSave = nullptr;
    Fw::TButton* SerialLoad = nullptr;
    Fw::TLabel* SerialStatus = nullptr;
    Fw::TListBox* SerialBytes = nullptr;
    Kit::TPropertySerializer* PropertySerializer1 = nullptr;

    void ArrayCreateClick(Fw::TObject* Sender);
    void ArrayRemoveClick(Fw::TObject* Sender);
    void ButtonArrayCreateNew(Fw::TObject* Sender, Fw::TComponent* AComponent);
    void ArrayButtonClick(Fw::TObject* Sender);
    void SerialSaveClick(Fw::TObject* Sender);
    void SerialLoadClick(Fw::TObject* Sender);
    // ---- End of the component array page ----

    // ---- The drag-and-drop page (DragDropPage.cpp) ----
    Fw::TTabSheet* DragDropPage = nullptr;
    Fw::TListBox* DragFileList = nullptr;
    Fw::TLabel* DragFileResult = nullptr;
    Fw::TEdit* DragText = nullptr;
    Fw::TPanel* DragTextHandle = nullptr;
    Fw::TLabel* DragTextResult = nullptr;
    Fw::TButton* DndStartAnother = nullptr;
    Fw::TPanel* DropArea = nullptr;
    Fw::TLabel* DropEffectLabel = nullptr;
    Fw::TLabel* DropFormatLabel = nullptr;
    Fw::TListBox* DropLog = nullptr;
    Kit::TOleDropSource* DropSource1 = nullptr;
    Kit::TDragGestureRecognizer* FileGesture = nullptr;
    Kit::TDragGestureRecognizer* TextGesture = nullptr;
    Kit::TOleDropTarget* OleDropTarget1 = nullptr;

    void FileGestureRecognized(Fw::TObject* Sender, Fw::TMouseButton Button);
    void TextGestureRecognized(Fw::TObject* Sender, Fw::TMouseButton Button);
    void DndStartAnotherClick(Fw::TObject* Sender);
    void DropItemOver(Fw::TObject* Sender, Kit::TDragContext* Context);
    void OleDropTarget1DragLeave(Fw::TObject* Sender, HRESULT& Result);
    void DropFilesDrop(Fw::TObject* Sender, Kit::TDragContext* Context);
    void DropTextDrop(Fw::TObject* Sender, Kit::TDragContext* Context);
    // Fills the list of files to drag (FormCreate).
    void DragDropPageCreate();
    // ---- End of the drag-and-drop page ----

private:
    // A line with the time in front, at the end of list, kept in view.
    static void Log(Fw::TListBox* list, const Fw::AnsiString& text);
    void ShowProgress();
    // Galleries stand side by side where the screen has room, so that one
    // can drag to or send to the other: the one that starts another steps
    // aside, the new one takes its place beside the first it finds.
    void MakeRoomForAnother();
    void PlaceBesideAnother();

    int FNotifications = 0;
    int FWrites = 0;
    // The broker's run: its limit read on the main thread before it starts,
    // its progress and result written by the worker.
    unsigned FPrimeLimit = 0;
    std::atomic<unsigned> FPrimeProgress{0};
    std::atomic<unsigned> FPrimeCount{0};
    DWORD FRunStarted = 0;
    HANDLE FAlertEvent = nullptr;

    // The interception page: wheel notches turned so far, greetings sent.
    int FWheelNotches = 0;
    int FHellosSent = 0;

    // ---- The component array page (ComponentArrayPage.cpp) ----
    void ShowArrayOrder();
    void ShowSavedBytes();
    static Fw::AnsiString SerialFile();
    // ---- End of the component array page ----
};

extern TGalleryForm* GalleryForm;

}  // namespace Gallery
