// The drag-and-drop page: files dragged out of a list and a text dragged
// from a handle (each started by a gesture recognizer, carried by the drop
// source), and a drop area whose two format items, files and text, show
// what arrives and with which effect. Between two running galleries the
// text travels from one to the other.
#include "demo/GalleryPage.h"
#include "framework/ComObj.h"
#include "framework/ExtCtrls.h"
#include "kit/Olednd.h"

namespace Gallery {

using namespace Fw;

class TDragDropPage : public TGalleryPage {
public:
    FW_CLASS(TDragDropPage, TGalleryPage)
    explicit TDragDropPage(TComponent* owner) : TGalleryPage(owner) {}

    TListBox* DragFileList = nullptr;
    TLabel* DragFileResult = nullptr;
    TEdit* DragText = nullptr;
    TLabel* DragTextResult = nullptr;
    TLabel* DropEffectLabel = nullptr;
    TLabel* DropFormatLabel = nullptr;
    TListBox* DropLog = nullptr;
    Kit::TOleDropSource* DropSource1 = nullptr;

    void PageCreate() override;
    void FileGestureRecognized(TObject* Sender, TMouseButton Button);
    void TextGestureRecognized(TObject* Sender, TMouseButton Button);
    void DndStartAnotherClick(TObject* Sender);
    void DropItemOver(TObject* Sender, Kit::TDragContext* Context);
    void OleDropTarget1DragLeave(TObject* Sender, HRESULT& Result);
    void DropFilesDrop(TObject* Sender, Kit::TDragContext* Context);
    void DropTextDrop(TObject* Sender, Kit::TDragContext* Context);

private:
    void ResetDropStatus();
};

FW_PUBLISH(TDragDropPage)
    .Field("DragFileList", &TDragDropPage::DragFileList)
    .Field("DragFileResult", &TDragDropPage::DragFileResult)
    .Field("DragText", &TDragDropPage::DragText)
    .Field("DragTextResult", &TDragDropPage::DragTextResult)
    .Field("DropEffectLabel", &TDragDropPage::DropEffectLabel)
    .Field("DropFormatLabel", &TDragDropPage::DropFormatLabel)
    .Field("DropLog", &TDragDropPage::DropLog)
    .Field("DropSource1", &TDragDropPage::DropSource1)
    .Method<&TDragDropPage::FileGestureRecognized>("FileGestureRecognized")
    .Method<&TDragDropPage::TextGestureRecognized>("TextGestureRecognized")
    .Method<&TDragDropPage::DndStartAnotherClick>("DndStartAnotherClick")
    .Method<&TDragDropPage::DropItemOver>("DropItemOver")
    .Method<&TDragDropPage::OleDropTarget1DragLeave>("OleDropTarget1DragLeave")
    .Method<&TDragDropPage::DropFilesDrop>("DropFilesDrop")
    .Method<&TDragDropPage::DropTextDrop>("DropTextDrop")
FW_END_PUBLISH

namespace {

// The gallery's own files to drag.
AnsiString DragFolder() { return GalleryFolder("ドラッグ"); }

AnsiString EffectName(Kit::TDropEffectKind effect) {
    switch (effect) {
        case Kit::ekCopy: return "コピー";
        case Kit::ekMove: return "移動";
        case Kit::ekLink: return "リンク";
        default: return "なし";
    }
}

AnsiString KeysText(DWORD keys) {
    AnsiString text;
    if (keys & MK_SHIFT) text += "Shift ";
    if (keys & MK_CONTROL) text += "Ctrl ";
    return text.empty() ? AnsiString("キーなし") : text.substr(0, text.size() - 1);
}

}  // namespace

void TDragDropPage::PageCreate() {
    const AnsiString folder = DragFolder();
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"メモ.txt", "買い物リスト.txt", "readme.txt"}) {
        const AnsiString path = folder + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const AnsiString line = AnsiString("Kit ギャラリーのサンプル: ") + name + "\r\n";
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
        }
        DragFileList->Items()->Add(name);
    }
    DragFileList->SetItemIndex(0);
}

// ---- Drag sources ----

void TDragDropPage::FileGestureRecognized(TObject*, TMouseButton) {
    const int index = DragFileList->ItemIndex();
    if (index < 0) return;
    TStringList names;
    names.Add(DragFileList->Items()->Strings(index));
    // The drag holds references of its own; the page lets go of its one after.
    auto files = TComPtr<Kit::TDOFileList>::Adopt(Kit::TDOFileList::Create());
    files->Directory = DragFolder();
    files->SetFiles(&names);
    if (DropSource1->DoDragDrop(files.Get()))
        DragFileResult->SetCaption(names.Strings(0) + " を" + EffectName(DropSource1->LastDropEffect()) +
                                   "でドロップしました.");
    else
        DragFileResult->SetCaption("ドラッグは取り消されました.");
}

void TDragDropPage::TextGestureRecognized(TObject*, TMouseButton) {
    const AnsiString text = DragText->Text();
    auto data = TComPtr<Kit::TDOText>::Adopt(Kit::TDOText::Create());
    data->SetText(text);
    if (!DropSource1->DoDragDrop(data.Get())) {
        DragTextResult->SetCaption("ドラッグは取り消されました.");
        return;
    }
    const Kit::TDropEffectKind effect = DropSource1->LastDropEffect();
    // A move takes the text away from here.
    if (effect == Kit::ekMove) DragText->SetText("");
    DragTextResult->SetCaption(Format("テキストを%sでドロップしました.", EffectName(effect).c_str()));
}

void TDragDropPage::DndStartAnotherClick(TObject*) {
    StartAnotherGallery(Form());
    AddLine(DropLog, "もう一つ起動しました.");
}

// ---- Drop target ----

void TDragDropPage::ResetDropStatus() {
    DropEffectLabel->SetCaption("効果: -");
    DropFormatLabel->SetCaption("形式: -");
}

void TDragDropPage::DropItemOver(TObject* Sender, Kit::TDragContext* Context) {
    auto* item = static_cast<Kit::TDFItem*>(Sender);
    DropEffectLabel->SetCaption("効果: " + EffectName(Kit::GetDropEffectKind(Context->DropEffect)) + " (" +
                                KeysText(Context->KeyState) + ")");
    DropFormatLabel->SetCaption(Format("形式: %s, 位置 (%d, %d)", item->FormatName().c_str(), Context->Point.X,
                                       Context->Point.Y));
}

void TDragDropPage::OleDropTarget1DragLeave(TObject*, HRESULT&) { ResetDropStatus(); }

void TDragDropPage::DropFilesDrop(TObject*, Kit::TDragContext* Context) {
    Kit::TDataObjectReader reader(Context->DataObject);
    TStringList files;
    reader.GetFileList(&files);
    AddLine(DropLog, Format("ファイル %d 個を%sで受け取りました (CF_HDROP)", files.Count(),
                            EffectName(Kit::GetDropEffectKind(Context->DropEffect)).c_str()));
    // The folder once for the names that follow in it.
    AnsiString folder;
    for (int i = 0; i < files.Count(); ++i) {
        const AnsiString dir = ExtractFileDir(files.Strings(i));
        if (i == 0 || dir != folder) AddLine(DropLog, "  場所: " + dir);
        folder = dir;
        AddLine(DropLog, "    " + ExtractFileName(files.Strings(i)));
    }
    ResetDropStatus();
}

void TDragDropPage::DropTextDrop(TObject*, Kit::TDragContext* Context) {
    Kit::TDataObjectReader reader(Context->DataObject);
    AddLine(DropLog, Format("テキストを%sで受け取りました (CF_TEXT)",
                            EffectName(Kit::GetDropEffectKind(Context->DropEffect)).c_str()));
    AddLine(DropLog, "  " + reader.GetText());
    ResetDropStatus();
}

}  // namespace Gallery
