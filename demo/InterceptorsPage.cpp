// The interception page: files dropped on a list, the mouse wheel read
// through an interceptor of the gallery's window, a panel whose background
// an image list paints, and a message registered by name that running
// galleries send each other.
#include <cstdint>

#include "demo/GalleryPage.h"
#include "kit/Interceptors.h"

namespace Gallery {

using namespace Fw;

class TInterceptorsPage : public TGalleryPage {
public:
    FW_CLASS(TInterceptorsPage, TGalleryPage)
    explicit TInterceptorsPage(TComponent* owner) : TGalleryPage(owner) {}

    TListBox* DropList = nullptr;
    TCheckBox* DropFollowLink = nullptr;
    TLabel* DropStatus = nullptr;
    Kit::TFileDrop* FileDrop1 = nullptr;
    TLabel* WheelDelta = nullptr;
    TLabel* WheelPos = nullptr;
    TLabel* WheelShift = nullptr;
    TLabel* WheelTotal = nullptr;
    Kit::TControlMessageInterceptor* FormInterceptor = nullptr;
    TCheckBox* PaintActive = nullptr;
    TCheckBox* PaintTiled = nullptr;
    TCheckBox* PaintErase = nullptr;
    TCheckBox* PaintScaled = nullptr;
    Kit::TBitmapPainter* BitmapPainter1 = nullptr;
    TListBox* RegisteredLog = nullptr;
    Kit::TRegisteredMessage* RegisteredMessage1 = nullptr;

    void PageCreate() override;
    void FileDrop1DropFiles(TObject* Sender);
    void DropFollowLinkClick(TObject* Sender);
    void MouseWheel1Wheel(TObject* Sender, short Delta, TShiftState Shift, int X, int Y);
    void PaintActiveClick(TObject* Sender);
    void PaintTiledClick(TObject* Sender);
    void PaintEraseClick(TObject* Sender);
    void PaintScaledClick(TObject* Sender);
    void SendHelloClick(TObject* Sender);
    void StartAnotherClick(TObject* Sender);
    void GalleryHello(Kit::TRMItem* Sender, TMessage& Message);
    void GalleryReply(Kit::TRMItem* Sender, TMessage& Message);

private:
    int FWheelNotches = 0;
    int FHellosSent = 0;
};

FW_PUBLISH(TInterceptorsPage)
    .Field("DropList", &TInterceptorsPage::DropList)
    .Field("DropFollowLink", &TInterceptorsPage::DropFollowLink)
    .Field("DropStatus", &TInterceptorsPage::DropStatus)
    .Field("FileDrop1", &TInterceptorsPage::FileDrop1)
    .Field("WheelDelta", &TInterceptorsPage::WheelDelta)
    .Field("WheelPos", &TInterceptorsPage::WheelPos)
    .Field("WheelShift", &TInterceptorsPage::WheelShift)
    .Field("WheelTotal", &TInterceptorsPage::WheelTotal)
    .Field("FormInterceptor", &TInterceptorsPage::FormInterceptor)
    .Field("PaintActive", &TInterceptorsPage::PaintActive)
    .Field("PaintTiled", &TInterceptorsPage::PaintTiled)
    .Field("PaintErase", &TInterceptorsPage::PaintErase)
    .Field("PaintScaled", &TInterceptorsPage::PaintScaled)
    .Field("BitmapPainter1", &TInterceptorsPage::BitmapPainter1)
    .Field("RegisteredLog", &TInterceptorsPage::RegisteredLog)
    .Field("RegisteredMessage1", &TInterceptorsPage::RegisteredMessage1)
    .Method<&TInterceptorsPage::FileDrop1DropFiles>("FileDrop1DropFiles")
    .Method<&TInterceptorsPage::DropFollowLinkClick>("DropFollowLinkClick")
    .Method<&TInterceptorsPage::MouseWheel1Wheel>("MouseWheel1Wheel")
    .Method<&TInterceptorsPage::PaintActiveClick>("PaintActiveClick")
    .Method<&TInterceptorsPage::PaintTiledClick>("PaintTiledClick")
    .Method<&TInterceptorsPage::PaintEraseClick>("PaintEraseClick")
    .Method<&TInterceptorsPage::PaintScaledClick>("PaintScaledClick")
    .Method<&TInterceptorsPage::SendHelloClick>("SendHelloClick")
    .Method<&TInterceptorsPage::StartAnotherClick>("StartAnotherClick")
    .Method<&TInterceptorsPage::GalleryHello>("GalleryHello")
    .Method<&TInterceptorsPage::GalleryReply>("GalleryReply")
FW_END_PUBLISH

// The wheel and the registered messages reach the gallery's window: its
// interceptor hooks that window, which the page's form text cannot name.
void TInterceptorsPage::PageCreate() { FormInterceptor->SetControl(Form()); }

// ---- File drop ----

void TInterceptorsPage::FileDrop1DropFiles(TObject*) {
    DropList->Items()->Assign(FileDrop1->Files());
    DropStatus->SetCaption(Format("%d 個のファイル, 位置 (%d, %d)", FileDrop1->Files()->Count(),
                                  FileDrop1->DropPoint().X, FileDrop1->DropPoint().Y));
}

void TInterceptorsPage::DropFollowLinkClick(TObject*) { FileDrop1->SetFollowLink(DropFollowLink->Checked()); }

// ---- Mouse wheel ----

void TInterceptorsPage::MouseWheel1Wheel(TObject*, short Delta, TShiftState Shift, int X, int Y) {
    FWheelNotches += Delta / WHEEL_DELTA;
    WheelDelta->SetCaption(Format("回転量: %+d (%s)", Delta, Delta > 0 ? "向こうへ" : "手前へ"));
    WheelPos->SetCaption(Format("位置 (スクリーン座標): (%d, %d)", X, Y));
    WheelShift->SetCaption("キーとボタン: " + (Shift.Empty() ? AnsiString("なし")
                                                   : SetToString(TypeInfoOf<TShiftState>(),
                                                                 static_cast<int>(Shift.Bits()))));
    WheelTotal->SetCaption(Format("合計: %+d ノッチ", FWheelNotches));
}

// ---- Bitmap painter ----

void TInterceptorsPage::PaintActiveClick(TObject*) { BitmapPainter1->SetActive(PaintActive->Checked()); }

void TInterceptorsPage::PaintTiledClick(TObject*) { BitmapPainter1->SetTiled(PaintTiled->Checked()); }

void TInterceptorsPage::PaintScaledClick(TObject*) { BitmapPainter1->SetScaled(PaintScaled->Checked()); }

void TInterceptorsPage::PaintEraseClick(TObject*) {
    BitmapPainter1->SetDrawMessage(PaintErase->Checked() ? Kit::dmEraseBkgnd : Kit::dmPaint);
}

// ---- Registered messages ----
//
// A greeting goes to every top-level window; each other gallery answers the
// window named in LParam. Only the message's name is agreed on: each program
// asks the system for its number.

void TInterceptorsPage::SendHelloClick(TObject*) {
    ++FHellosSent;
    PostMessageA(HWND_BROADCAST, RegisteredMessage1->Messages()->Items(0)->MessageNumber(),
                 static_cast<WPARAM>(FHellosSent), reinterpret_cast<LPARAM>(Form()->Handle()));
    Log(RegisteredLog, Format("Hello #%d を送りました.", FHellosSent));
}

void TInterceptorsPage::StartAnotherClick(TObject*) {
    StartAnotherGallery(Form());
    Log(RegisteredLog, "もう一つ起動しました.");
}

namespace {

// A window named by its number, as short as the log's width wants it.
AnsiString WindowNumber(LPARAM window) {
    return Format("%llx", static_cast<unsigned long long>(static_cast<std::uintptr_t>(window)));
}

}  // namespace

void TInterceptorsPage::GalleryHello(Kit::TRMItem*, TMessage& Message) {
    HWND sender = reinterpret_cast<HWND>(Message.LParam);
    if (sender == Form()->Handle()) return;  // our own greeting, back from the broadcast
    Log(RegisteredLog, Format("%s から Hello #%d.", WindowNumber(Message.LParam).c_str(),
                              static_cast<int>(Message.WParam)));
    PostMessageA(sender, RegisteredMessage1->Messages()->Items(1)->MessageNumber(), Message.WParam,
                 reinterpret_cast<LPARAM>(Form()->Handle()));
}

void TInterceptorsPage::GalleryReply(Kit::TRMItem*, TMessage& Message) {
    Log(RegisteredLog, Format("%s から返事 (#%d).", WindowNumber(Message.LParam).c_str(),
                              static_cast<int>(Message.WParam)));
}

}  // namespace Gallery
