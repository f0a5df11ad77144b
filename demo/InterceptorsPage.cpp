// The gallery's interception page: files dropped on a list, the mouse wheel
// read through the form's interceptor, a panel whose background an image
// list paints, and a message registered by name that running galleries
// send each other. The components are placed in Gallery.form; this file
// holds only their event handlers.
#include "demo/Gallery.h"

#include "framework/Application.h"

namespace Gallery {

using namespace Fw;

// ---- File drop ----

void TGalleryForm::FileDrop1DropFiles(TObject*) {
    DropList->Items()->Assign(FileDrop1->Files());
    DropStatus->SetCaption(Format("%d 個のファイル, 位置 (%d, %d)", FileDrop1->Files()->Count(),
                                  FileDrop1->DropPoint().X, FileDrop1->DropPoint().Y));
}

void TGalleryForm::DropFollowLinkClick(TObject*) { FileDrop1->SetFollowLink(DropFollowLink->Checked()); }

// ---- Mouse wheel ----

void TGalleryForm::MouseWheel1Wheel(TObject*, short Delta, TShiftState Shift, int X, int Y) {
    FWheelNotches += Delta / WHEEL_DELTA;
    WheelDelta->SetCaption(Format("回転量: %+d (%s)", Delta, Delta > 0 ? "向こうへ" : "手前へ"));
    WheelPos->SetCaption(Format("位置 (スクリーン座標): (%d, %d)", X, Y));
    WheelShift->SetCaption("キーとボタン: " + (Shift.Empty() ? AnsiString("なし")
                                                   : SetToString(TypeInfoOf<TShiftState>(),
                                                                 static_cast<int>(Shift.Bits()))));
    WheelTotal->SetCaption(Format("合計: %+d ノッチ", FWheelNotches));
}

// ---- Bitmap painter ----

void TGalleryForm::PaintActiveClick(TObject*) { BitmapPainter1->SetActive(PaintActive->Checked()); }

void TGalleryForm::PaintTiledClick(TObject*) { BitmapPainter1->SetTiled(PaintTiled->Checked()); }

void TGalleryForm::PaintEraseClick(TObject*) {
    BitmapPainter1->SetDrawMessage(PaintErase->Checked() ? Kit::dmEraseBkgnd : Kit::dmPaint);
}

// ---- Registered messages ----
//
// A greeting goes to every top-level window; each other gallery answers the
// window named in LParam. Only the message's name is agreed on: each program
// asks the system for its number.

void TGalleryForm::SendHelloClick(TObject*) {
    ++FHellosSent;
    PostMessageA(HWND_BROADCAST, RegisteredMessage1->Messages()->Items(0)->MessageNumber(),
                 static_cast<WPARAM>(FHellosSent), reinterpret_cast<LPARAM>(Handle()));
    Log(RegisteredLog, Format("Hello #%d を送りました.", FHellosSent));
}

void TGalleryForm::StartAnotherClick(TObject*) {
    AnsiString program = Application->ExeName();
    AnsiString command = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    MakeRoomForAnother();
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        RaiseLastOSError();
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    Log(RegisteredLog, "もう一つ起動しました.");
}

namespace {

// A window named by its number, as short as the log's width wants it.
AnsiString WindowNumber(LPARAM window) {
    return Format("%llx", static_cast<unsigned long long>(static_cast<std::uintptr_t>(window)));
}

}  // namespace

void TGalleryForm::GalleryHello(Kit::TRMItem*, TMessage& Message) {
    HWND sender = reinterpret_cast<HWND>(Message.LParam);
    if (sender == Handle()) return;  // our own greeting, back from the broadcast
    Log(RegisteredLog, Format("%s から Hello #%d.", WindowNumber(Message.LParam).c_str(),
                              static_cast<int>(Message.WParam)));
    PostMessageA(sender, RegisteredMessage1->Messages()->Items(1)->MessageNumber(), Message.WParam,
                 reinterpret_cast<LPARAM>(Handle()));
}

void TGalleryForm::GalleryReply(Kit::TRMItem*, TMessage& Message) {
    Log(RegisteredLog, Format("%s から返事 (#%d).", WindowNumber(Message.LParam).c_str(),
                              static_cast<int>(Message.WParam)));
}

}  // namespace Gallery
