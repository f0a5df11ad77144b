// The gallery's drag-and-drop page: files dragged out of a list and a text
// dragged from a handle (each started by a gesture recognizer, carried by
// the drop source), and a drop area whose two format items, files and text,
// show what arrives and with which effect. Between two running galleries
// the text travels from one to the other. The components are placed in
// Gallery.form; this file holds only their event handlers.
#include "demo/Gallery.h"

#include "framework/Application.h"
#include "framework/ComObj.h"

namespace Gallery {

using namespace Fw;

namespace {

// The gallery's own files to drag, under the user's temporary folder.
AnsiString DragFolder() {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return AnsiString(temp) + "KitGallery\\ドラッグ";
}

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

// The drop log has no times in front: the paths and texts need the width.
void AddLine(TListBox* list, const AnsiString& text) { list->MakeVisible(list->Items()->Add(text)); }

void ResetDropStatus(TGalleryForm* form) {
    form->DropEffectLabel->SetCaption("効果: -");
    form->DropFormatLabel->SetCaption("形式: -");
}

}  // namespace

void TGalleryForm::DragDropPageCreate() {
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

void TGalleryForm::FileGestureRecognized(TObject*, TMouseButton) {
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

void TGalleryForm::TextGestureRecognized(TObject*, TMouseButton) {
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
    DragTextResult->SetCaption("テキストを" + EffectName(effect) + "でドロップしました.");
}

void TGalleryForm::DndStartAnotherClick(TObject* Sender) {
    StartAnotherClick(Sender);
    AddLine(DropLog, "もう一つ起動しました.");
}

// ---- Drop target ----

void TGalleryForm::DropItemOver(TObject* Sender, Kit::TDragContext* Context) {
    auto* item = static_cast<Kit::TDFItem*>(Sender);
    DropEffectLabel->SetCaption("効果: " + EffectName(Kit::GetDropEffectKind(Context->DropEffect)) + " (" +
                                KeysText(Context->KeyState) + ")");
    DropFormatLabel->SetCaption(Format("形式: %s, 位置 (%d, %d)", item->FormatName().c_str(), Context->Point.X,
                                       Context->Point.Y));
}

void TGalleryForm::OleDropTarget1DragLeave(TObject*, HRESULT&) { ResetDropStatus(this); }

void TGalleryForm::DropFilesDrop(TObject*, Kit::TDragContext* Context) {
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
    ResetDropStatus(this);
}

void TGalleryForm::DropTextDrop(TObject*, Kit::TDragContext* Context) {
    Kit::TDataObjectReader reader(Context->DataObject);
    AddLine(DropLog, "テキストを" + EffectName(Kit::GetDropEffectKind(Context->DropEffect)) +
                         "で受け取りました (CF_TEXT)");
    AddLine(DropLog, "  " + reader.GetText());
    ResetDropStatus(this);
}

}  // namespace Gallery
