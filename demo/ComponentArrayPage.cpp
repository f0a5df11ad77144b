// The component array page: buttons that a component array makes at run
// time, placed, captioned and wired in one call each, and chosen properties
// of the page that a property serializer saves to a file and reads back.
#include <cstdint>

#include "demo/GalleryPage.h"
#include "framework/ExtCtrls.h"
#include "framework/Streams.h"
#include "kit/Catools.h"
#include "kit/Componentarray.h"

namespace Gallery {

using namespace Fw;

class TComponentArrayPage : public TGalleryPage {
public:
    FW_CLASS(TComponentArrayPage, TGalleryPage)
    explicit TComponentArrayPage(TComponent* owner) : TGalleryPage(owner) {}

    TEdit* ArrayCount = nullptr;
    TLabel* ArrayStatus = nullptr;
    TLabel* ArrayOrder = nullptr;
    TLabel* ArrayNatural = nullptr;
    Kit::TComponentArray* ButtonArray = nullptr;
    TLabel* SerialStatus = nullptr;
    TListBox* SerialBytes = nullptr;
    Kit::TPropertySerializer* PropertySerializer1 = nullptr;

    void ArrayCreateClick(TObject* Sender);
    void ArrayRemoveClick(TObject* Sender);
    void ButtonArrayCreateNew(TObject* Sender, TComponent* AComponent);
    void ArrayButtonClick(TObject* Sender);
    void SerialSaveClick(TObject* Sender);
    void SerialLoadClick(TObject* Sender);

private:
    void ShowArrayOrder();
    void ShowSavedBytes();
};

FW_PUBLISH(TComponentArrayPage)
    .Field("ArrayCount", &TComponentArrayPage::ArrayCount)
    .Field("ArrayStatus", &TComponentArrayPage::ArrayStatus)
    .Field("ArrayOrder", &TComponentArrayPage::ArrayOrder)
    .Field("ArrayNatural", &TComponentArrayPage::ArrayNatural)
    .Field("ButtonArray", &TComponentArrayPage::ButtonArray)
    .Field("SerialStatus", &TComponentArrayPage::SerialStatus)
    .Field("SerialBytes", &TComponentArrayPage::SerialBytes)
    .Field("PropertySerializer1", &TComponentArrayPage::PropertySerializer1)
    .Method<&TComponentArrayPage::ArrayCreateClick>("ArrayCreateClick")
    .Method<&TComponentArrayPage::ArrayRemoveClick>("ArrayRemoveClick")
    .Method<&TComponentArrayPage::ButtonArrayCreateNew>("ButtonArrayCreateNew")
    .Method<&TComponentArrayPage::ArrayButtonClick>("ArrayButtonClick")
    .Method<&TComponentArrayPage::SerialSaveClick>("SerialSaveClick")
    .Method<&TComponentArrayPage::SerialLoadClick>("SerialLoadClick")
FW_END_PUBLISH

namespace {

// The panel holds this many buttons side by side, a step apart.
constexpr int MaxButtons = 8;
constexpr int ButtonStep = 70;

AnsiString SerialFile() { return GalleryFolder("properties.dat"); }

}  // namespace

void TComponentArrayPage::ArrayCreateClick(TObject*) {
    int count = 0;
    if (!TryStrToInt(ArrayCount->Text(), count) || count < 1)
        throw Exception("作るボタンの数には 1 以上の整数を入れてください.");
    if (ButtonArray->ElementCount() + count > MaxButtons)
        throw Exception(Format("ボタンは %d 個までです.", MaxButtons));
    // Each takes the lowest free number: Button1, Button2, ... and fills
    // the gaps that removed buttons left.
    for (int i = 0; i < count; ++i) ButtonArray->CreateNew();
    // Lengths at 96 pixels per inch, as the form text gives them, taken to
    // the page's resolution.
    ButtonArray->SetPropertyAutoInc("Left", ScaleValue(8), ScaleValue(ButtonStep));
    ButtonArray->SetProperty("Top", ScaleValue(9));
    ButtonArray->SetProperty("Width", ScaleValue(ButtonStep - 6));
    ButtonArray->SetProperty("Height", ScaleValue(25));
    ButtonArray->SetEvent("OnClick", this, "ArrayButtonClick");
    ShowArrayOrder();
}

void TComponentArrayPage::ArrayRemoveClick(TObject*) {
    if (ButtonArray->ElementCount() == 0) throw Exception("取り除くボタンがありません.");
    // The array lets go of it; the page, its owner, frees it.
    FreeComponent(ButtonArray->Delete(0));
    ButtonArray->SetPropertyAutoInc("Left", ScaleValue(8), ScaleValue(ButtonStep));
    ArrayStatus->SetCaption("先頭のボタンを取り除きました.");
    ShowArrayOrder();
}

void TComponentArrayPage::ButtonArrayCreateNew(TObject*, TComponent* AComponent) {
    Kit::SetProperty(AComponent, "Caption", AComponent->Name());
}

void TComponentArrayPage::ArrayButtonClick(TObject* Sender) {
    auto* button = dynamic_cast<TComponent*>(Sender);
    if (!button) return;
    ArrayStatus->SetCaption(Format("%s が押されました (IndexOfElement = %d).", button->Name().c_str(),
                                   ButtonArray->IndexOfElement(button)));
}

// The array keeps the order the buttons came in; their names sorted
// naturally put Button2 before Button10.
void TComponentArrayPage::ShowArrayOrder() {
    TStringList names;
    names.Assign(ButtonArray->Items());
    ArrayOrder->SetCaption("配列の順: " + names.CommaText());
    if (names.Count() > 1) Kit::SortStrings(&names, 0, names.Count() - 1, Kit::CompareComponentNames);
    ArrayNatural->SetCaption("名前の自然順: " + names.CommaText());
}

// ---- Property serializer ----

void TComponentArrayPage::SerialSaveClick(TObject*) {
    PropertySerializer1->SaveToFile(SerialFile());
    SerialStatus->SetCaption("保存しました: " + SerialFile());
    ShowSavedBytes();
}

void TComponentArrayPage::SerialLoadClick(TObject*) {
    PropertySerializer1->LoadFromFile(SerialFile());
    SerialStatus->SetCaption("読み込みました: " + SerialFile());
    ShowSavedBytes();
}

// The file as it is, 16 bytes a line: each text is its count byte, its
// bytes and a zero byte.
void TComponentArrayPage::ShowSavedBytes() {
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
