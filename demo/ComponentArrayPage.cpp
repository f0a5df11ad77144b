// The component array page: buttons that a component array makes at run
// time, placed, captioned and wired in one call each, and chosen properties
// of the page that a property serializer saves to a file and reads back.
#include "demo/Gallery.h"

namespace Gallery {

using namespace Fw;

namespace {

// The panel holds this many buttons side by side, a step apart.
constexpr int MaxButtons = 8;
constexpr int ButtonStep = 70;

}  // namespace

void TGalleryForm::ArrayCreateClick(TObject*) {
    int count = 0;
    if (!TryStrToInt(ArrayCount->Text(), count) || count < 1)
        throw Exception("作るボタンの数には 1 以上の整数を入れてください.");
    if (ButtonArray->ElementCount() + count > MaxButtons)
        throw Exception(Format("ボタンは %d 個までです.", MaxButtons));
    // Each takes the lowest free number: Button1, Button2, ... and fills
    // the gaps that removed buttons left.
    for (int i = 0; i < count; ++i) ButtonArray->CreateNew();
    ButtonArray->SetPropertyAutoInc("Left", 8, ButtonStep);
    ButtonArray->SetProperty("Top", 9);
    ButtonArray->SetProperty("Width", ButtonStep - 6);
    ButtonArray->SetProperty("Height", 25);
    ButtonArray->SetEvent("OnClick", this, "ArrayButtonClick");
    ShowArrayOrder();
}

void TGalleryForm::ArrayRemoveClick(TObject*) {
    if (ButtonArray->ElementCount() == 0) throw Exception("取り除くボタンがありません.");
    // The array lets go of it; the form, its owner, frees it.
    FreeComponent(ButtonArray->Delete(0));
    ButtonArray->SetPropertyAutoInc("Left", 8, ButtonStep);
    ArrayStatus->SetCaption("先頭のボタンを取り除きました.");
    ShowArrayOrder();
}

void TGalleryForm::ButtonArrayCreateNew(TObject*, TComponent* AComponent) {
    Kit::SetProperty(AComponent, "Caption", AComponent->Name());
}

void TGalleryForm::ArrayButtonClick(TObject* Sender) {
    auto* button = dynamic_cast<TComponent*>(Sender);
    if (!button) return;
    ArrayStatus->SetCaption(Format("%s が押されました (IndexOfElement = %d).", button->Name().c_str(),
                                   ButtonArray->IndexOfElement(button)));
}

// The array keeps the order the buttons came in; their names sorted
// naturally put Button2 before Button10.
void TGalleryForm::ShowArrayOrder() {
    TStringList names;
    names.Assign(ButtonArray->Items());
    ArrayOrder->SetCaption("配列の順: " + names.CommaText());
    if (names.Count() > 1) Kit::SortStrings(&names, 0, names.Count() - 1, Kit::CompareComponentNames);
    ArrayNatural->SetCaption("名前の自然順: " + names.CommaText());
}

// ---- Property serializer ----

AnsiString TGalleryForm::SerialFile() {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return AnsiString(temp) + "KitGallery\\properties.dat";
}

void TGalleryForm::SerialSaveClick(TObject*) {
    PropertySerializer1->SaveToFile(SerialFile());
    SerialStatus->SetCaption("保存しました: " + SerialFile());
    ShowSavedBytes();
}

void TGalleryForm::SerialLoadClick(TObject*) {
    PropertySerializer1->LoadFromFile(SerialFile());
    SerialStatus->SetCaption("読み込みました: " + SerialFile());
    ShowSavedBytes();
}

// The file as it is, 16 bytes a line: each text is its count byte, its
// bytes and a zero byte.
void TGalleryForm::ShowSavedBytes() {
    TMemoryStream saved;
    saved.LoadFromFile(SerialFile());
    const auto* bytes = static_cast<const unsigned char*>(saved.Memory());
    SerialBytes->Items()->BeginUpdate();
    auto endUpdate = OnScopeExit([this] { SerialBytes->Items()->EndUpdate(); });
    SerialBytes->Items()->Clear();
    for (std::int64_t line = 0; line < saved.Size(); line += 16) {
        AnsiString text = IntToHex(static_cast<std::uint32_t>(line), 4) + ":";
        for (std::int64_t i = line; i < line + 16 && i < saved.Size(); ++i) {
            text += ' ';
            text += IntToHex(bytes[i], 2);
        }
        SerialBytes->Items()->Add(text);
    }
}

}  // namespace Gallery
