// The run-time type tools page: an inspector of sorts. Pick one of the
// page's sample components (those with Tag 1), see the names of its
// published properties as the designer lists them (GetProperties), and read
// and change any of them by name (GetProperty, SetProperty).
#include "demo/GalleryPage.h"
#include "framework/ExtCtrls.h"
#include "kit/Catools.h"
#include "kit/Threads.h"

namespace Gallery {

using namespace Fw;

class TTypeToolsPage : public TGalleryPage {
public:
    FW_CLASS(TTypeToolsPage, TGalleryPage)
    explicit TTypeToolsPage(TComponent* owner) : TGalleryPage(owner) {}

    TListBox* ToolsComponents = nullptr;
    TListBox* ToolsProperties = nullptr;
    TEdit* ToolsValue = nullptr;
    TLabel* ToolsType = nullptr;
    TLabel* ToolsMeaning = nullptr;
    TLabel* ToolsStatus = nullptr;

    void PageCreate() override;
    void ToolsComponentsClick(TObject* Sender);
    void ToolsPropertiesClick(TObject* Sender);
    void ToolsReadClick(TObject* Sender);
    void ToolsWriteClick(TObject* Sender);

private:
    // The chosen component and property; null and "" when none is chosen.
    TComponent* Chosen() const;
    AnsiString ChosenProperty() const;
    void AddPropertyName(const AnsiString& name) { ToolsProperties->Items()->Add(name); }
    // Reads the chosen property into the value box; false, with the reason
    // shown, when it cannot.
    bool ReadValue();
};

FW_PUBLISH(TTypeToolsPage)
    .Field("ToolsComponents", &TTypeToolsPage::ToolsComponents)
    .Field("ToolsProperties", &TTypeToolsPage::ToolsProperties)
    .Field("ToolsValue", &TTypeToolsPage::ToolsValue)
    .Field("ToolsType", &TTypeToolsPage::ToolsType)
    .Field("ToolsMeaning", &TTypeToolsPage::ToolsMeaning)
    .Field("ToolsStatus", &TTypeToolsPage::ToolsStatus)
    .Method<&TTypeToolsPage::ToolsComponentsClick>("ToolsComponentsClick")
    .Method<&TTypeToolsPage::ToolsPropertiesClick>("ToolsPropertiesClick")
    .Method<&TTypeToolsPage::ToolsReadClick>("ToolsReadClick")
    .Method<&TTypeToolsPage::ToolsWriteClick>("ToolsWriteClick")
FW_END_PUBLISH

// The samples, named in their natural order, each with its class.
void TTypeToolsPage::PageCreate() {
    TStringList names;
    for (int i = 0; i < ComponentCount(); ++i)
        if (Components(i)->Tag() == 1) names.AddObject(Components(i)->Name(), Components(i));
    if (names.Count() > 1) Kit::SortStrings(&names, 0, names.Count() - 1, Kit::CompareComponentNames);
    for (int i = 0; i < names.Count(); ++i)
        ToolsComponents->Items()->AddObject(names.Strings(i) + " (" + names.Objects(i)->ClassName() + ")",
                                            names.Objects(i));
    ToolsComponents->SetItemIndex(0);
    ToolsComponentsClick(nullptr);
}

TComponent* TTypeToolsPage::Chosen() const {
    const int index = ToolsComponents->ItemIndex();
    return index < 0 ? nullptr : static_cast<TComponent*>(ToolsComponents->Items()->Objects(index));
}

AnsiString TTypeToolsPage::ChosenProperty() const {
    const int index = ToolsProperties->ItemIndex();
    return index < 0 ? AnsiString() : ToolsProperties->Items()->Strings(index);
}

void TTypeToolsPage::ToolsComponentsClick(TObject*) {
    ToolsProperties->Items()->Clear();
    TComponent* component = Chosen();
    if (!component) return;
    Kit::GetProperties(component, nullptr, MakeEvent<&TTypeToolsPage::AddPropertyName>(this));
    ToolsProperties->SetItemIndex(0);
    ToolsStatus->SetCaption(Format("%s: 公開プロパティ %d 個", component->Name().c_str(),
                                   ToolsProperties->Items()->Count()));
    ReadValue();
}

void TTypeToolsPage::ToolsPropertiesClick(TObject*) {
    if (ReadValue()) ToolsStatus->SetCaption(ChosenProperty() + " を読みました.");
}

void TTypeToolsPage::ToolsReadClick(TObject* Sender) { ToolsPropertiesClick(Sender); }

void TTypeToolsPage::ToolsWriteClick(TObject*) {
    TComponent* component = Chosen();
    const AnsiString name = ChosenProperty();
    if (!component || name.empty()) return;
    try {
        Kit::SetProperty(component, name, Variant(ToolsValue->Text()));
    } catch (Exception& e) {
        ToolsStatus->SetCaption("書けません: " + e.Message());
        return;
    }
    if (ReadValue()) ToolsStatus->SetCaption(name + " に書き込みました.");
}

bool TTypeToolsPage::ReadValue() {
    TComponent* component = Chosen();
    const AnsiString name = ChosenProperty();
    ToolsValue->SetText("");
    ToolsType->SetCaption("型: -");
    ToolsMeaning->SetCaption("意味: -");
    if (!component || name.empty()) return false;
    const TPropInfo* prop = GetPropInfo(component, name);
    ToolsType->SetCaption("型: " + prop->PropType->Name);
    Variant value;
    try {
        value = Kit::GetProperty(component, name);
    } catch (Exception& e) {
        ToolsStatus->SetCaption("読めません: " + e.Message());
        return false;
    }
    ToolsValue->SetText(value.AsString());
    // What the number stands for, where the type says.
    if (prop->Kind() == tkEnumeration) ToolsMeaning->SetCaption("意味: " + GetEnumName(prop->PropType, value.AsInteger()));
    else if (prop->Kind() == tkSet) ToolsMeaning->SetCaption("意味: " + SetToString(prop->PropType, value.AsInteger()));
    return true;
}

}  // namespace Gallery
