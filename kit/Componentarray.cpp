#include "kit/Componentarray.h"

#include "framework/Forms.h"
#include "framework/Streams.h"

namespace Kit {

using namespace Fw;

FW_UNIT_BEGIN(Componentarray)
    .Classes<TComponentArray, TComponentPropertyList, TPropertySerializer>()
FW_UNIT_END

namespace {

const char* const SNoClass = "クラスが決定できません.";
const char* const SNoComponent = "配列にコンポーネントが格納されていません.";
const char* const SNoneGiven = "コンポーネントが指定されていません.";
const char* const SArrayNoOwner = "コンポーネント配列にオーナーがありません.";
const char* const SSerializerNoOwner = "プロパティ シリアライザにオーナーがありません.";
const char* const SReadError = "read error!!";

// A text of the stream format: at most 126 bytes, so that its count byte
// (length + 1) reads back as a positive signed byte.
constexpr std::size_t MaxText = 126;

AnsiString AtLine(int index) { return " (" + IntToStr(index + 1) + " 行目)"; }

}  // namespace

// ---------------------------------------------------------------- TComponentArray

FW_PUBLISH(TComponentArray)
    .Property("ElementCount", &TComponentArray::GetElementCount, &TComponentArray::SetElementCount).Stored(false)
    .Property("ElementClassName", &TComponentArray::ElementClassName, &TComponentArray::SetElementClassName)
    .Property("ParentControl", &TComponentArray::ParentControl, &TComponentArray::SetParent)
    .Property("OnCreateNew", &TComponentArray::OnCreateNew, &TComponentArray::OnCreateNew)
    .Property("OnAdd", &TComponentArray::OnAdd, &TComponentArray::OnAdd)
    .Property("OnDelete", &TComponentArray::OnDelete, &TComponentArray::OnDelete)
FW_END_PUBLISH

TComponentArray::TComponentArray(TComponent* Owner) : TComponent(Owner), FItems(new TStringList) {}

TComponentArray::~TComponentArray() {
    delete FItems;
    FItems = nullptr;
}

TComponent* TComponentArray::RequireOwner() const {
    if (!Owner()) throw Exception(SArrayNoOwner);
    return Owner();
}

// The owner tells of its own components' end; a component of another owner
// is heard of only when asked for.
void TComponentArray::Watch(TComponent* component) {
    if (component && component != this && (!Owner() || component->Owner() != Owner()))
        component->FreeNotification(this);
}

TComponent* TComponentArray::ElementAt(int index) const {
    return dynamic_cast<TComponent*>(FItems->Objects(index));
}

TComponent* TComponentArray::CreateNew(AnsiString name) {
    TComponent* owner = RequireOwner();
    if (!FElementClassType) {
        if (FItems->Count() > 0 && ElementAt(0)) FElementClassType = ElementAt(0)->ClassType();
        else FElementClassType = GetClass(FElementClassName);
    }
    if (!FElementClassType) throw Exception(SNoClass);
    TComponent* component = Kit::CreateComponent(FElementClassType, owner);
    // The stem is the same for every class.
    component->SetName(name.empty() ? FindUniqueName(owner, "Button") : name);
    if (auto* control = dynamic_cast<TControl*>(component)) {
        if (FParentControl) control->SetParent(FParentControl);
        else control->SetParent(dynamic_cast<TCustomForm*>(owner));
    }
    if (OnCreateNew) {
        const TLifeToken life = Life();
        OnCreateNew(this, component);
        if (!life) return component;
    }
    Add(component);
    return component;
}

int TComponentArray::Add(TComponent* component) {
    if (!component) throw Exception(SNoneGiven);
    GetItems();
    const int index = FItems->AddObject(component->Name(), component);
    Watch(component);
    if (OnAdd) {
        const TLifeToken life = Life();
        OnAdd(this, index, component);
        if (!life) return index;
        // The handler may have renamed it.
        GetItems();
        if (index < FItems->Count() && FItems->Objects(index) == component) FItems->Put(index, component->Name());
    }
    return index;
}

TComponent* TComponentArray::Delete(int index) {
    TComponent* component = ElementAt(index);
    if (!component) throw Exception(SNoComponent);
    FItems->Delete(index);
    if (OnDelete) OnDelete(this, index, component);
    return component;
}

void TComponentArray::Clear() { FItems->Clear(); }

int TComponentArray::IndexOfElement(TComponent* component) const {
    return FItems->IndexOfObject(component);
}

void TComponentArray::SetProperty(AnsiString name, const Variant& value) {
    for (int i = 0; i < FItems->Count(); ++i)
        if (TComponent* element = ElementAt(i)) Kit::SetProperty(element, name, value);
}

void TComponentArray::SetPropertyAutoInc(AnsiString name, int start, int step) {
    int value = start;
    const int count = FItems->Count();
    for (int i = 0; i < count; ++i) {
        TComponent* element = ElementAt(i);
        if (!element) continue;
        Kit::SetProperty(element, name, Variant(value));
        value += step;
    }
}

void TComponentArray::SetEvent(AnsiString eventName, TObject* target, AnsiString methodName) {
    const TMethod handler = Kit::GetMethod(target, methodName);
    for (int i = 0; i < FItems->Count(); ++i)
        if (TComponent* element = ElementAt(i)) Kit::SetEvent(element, eventName, handler);
}

void TComponentArray::UpdateElements() {
    TComponent* owner = RequireOwner();
    for (int i = 0; i < FItems->Count();) {
        if (TComponent* component = owner->FindComponent(FItems->Strings(i))) {
            FItems->PutObject(i, component);
            ++i;
        } else {
            FItems->Delete(i);
        }
    }
}

void TComponentArray::UpdateStrings() {
    for (int i = 0; i < FItems->Count();) {
        if (TComponent* component = ElementAt(i)) {
            if (FItems->Strings(i) != component->Name()) FItems->Put(i, component->Name());
            ++i;
        } else {
            FItems->Delete(i);
        }
    }
}

int TComponentArray::GetElementCount() const { return FItems->Count(); }

void TComponentArray::SetElementCount(int) {}

void TComponentArray::SetElementClassName(AnsiString value) {
    if (value == FElementClassName) return;
    FElementClassName = value;
    FElementClassType = GetClass(value);
    if (!IsLoading()) Clear();
}

void TComponentArray::SetElementClassType(TMetaClass* value) {
    if (value == FElementClassType) return;
    FElementClassType = value;
    // No class names no class.
    const AnsiString name = value ? value->ClassName() : AnsiString();
    if (name != FElementClassName) {
        FElementClassName = name;
        if (!IsLoading()) Clear();
    }
}

void TComponentArray::SetParent(TWinControl* control) {
    FParentControl = control;
    Watch(control);
    if (IsLoading()) return;
    for (int i = 0; i < FItems->Count();) {
        auto* element = dynamic_cast<TControl*>(FItems->Objects(i));
        if (element && element->Parent() == control) ++i;
        else FItems->Delete(i);
    }
    if (FItems->Count() == 0) FElementClassName.clear();
}

ObjectAttributes TComponentArray::GetElements(int index) const { return ObjectAttributes(FItems->Objects(index)); }

TStrings* TComponentArray::GetItems() {
    UpdateStrings();
    return FItems;
}

void TComponentArray::SetItems(TStrings* value) {
    FItems->Assign(value);
    for (int i = 0; i < FItems->Count(); ++i) Watch(ElementAt(i));
}

void TComponentArray::DefineProperties(TFiler* filer) {
    filer->DefineProperty("Items", MakeEvent<&TComponentArray::ReadItems>(this),
                          MakeEvent<&TComponentArray::WriteItems>(this), FItems->Count() > 0);
    inherited::DefineProperties(filer);
}

void TComponentArray::ReadItems(TReader* reader) { FItems->SetText(reader->ReadString()); }

void TComponentArray::WriteItems(TWriter* writer) {
    UpdateStrings();
    writer->WriteString(FItems->Text());
}

void TComponentArray::Loaded() {
    inherited::Loaded();
    // Without an owner no name can name a component.
    if (Owner()) UpdateElements();
    else Clear();
    if (FItems->Count() > 0) FElementClassType = ElementAt(0)->ClassType();
}

void TComponentArray::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove && FItems && !ComponentState().Contains(csDestroying)) {
        if (component == FParentControl) FParentControl = nullptr;
        // Every entry of it: an element added twice leaves no entry behind.
        for (int i; (i = IndexOfElement(component)) >= 0;) FItems->Delete(i);
    }
    inherited::Notification(component, operation);
}

// ---------------------------------------------------------------- TComponentPropertyList

FW_PUBLISH(TComponentPropertyList)
FW_END_PUBLISH

namespace {

// Walks the list's entries: f(component line, property line, component
// name, property name) for each property line, in order.
template <class F>
void WalkEntries(const TStrings* list, F&& f) {
    AnsiString component;
    int componentLine = -1;
    for (int i = 0; i < list->Count(); ++i) {
        const AnsiString line = list->Strings(i);
        if (line.empty()) throw Exception("プロパティ リストに空の行があります." + AtLine(i));
        if (line[0] != '\t') {
            component = line;
            componentLine = i;
            continue;
        }
        if (componentLine < 0)
            throw Exception("プロパティ " + line.substr(1) + " の前にコンポーネントの行がありません." + AtLine(i));
        f(componentLine, i, component, line.substr(1));
    }
}

}  // namespace

void TComponentPropertyList::GetComponentProperties(const TPropertyProc& proc) const {
    WalkEntries(this, [&](int, int, const AnsiString& component, const AnsiString& property) {
        proc(component, property);
    });
}

// ---------------------------------------------------------------- the filers

namespace {

// A stored property is one whose value means the same in another run.
void CheckStorable(ObjectAttributes* component, const AnsiString& propertyName) {
    const TPropInfo* prop = Detail::RequireProperty(component->Object, propertyName);
    // An address means nothing in another run.
    if (prop->Kind() == tkClass) Detail::RaiseUnsupportedKind(component->Object, prop);
}

void CheckLength(const AnsiString& text, const AnsiString& what) {
    if (text.size() > MaxText)
        throw Exception(what + " が長すぎます (" + IntToStr(text.size()) + " バイト). 保存できるのは " +
                        IntToStr(MaxText) + " バイトまでです.");
}

void PutText(AnsiString& entry, const AnsiString& text) {
    entry += static_cast<char>(text.size() + 1);
    entry += text;
    entry += '\0';
}

AnsiString ReadText(TStream* stream) {
    signed char count = 0;
    stream->ReadBuffer(&count, 1);
    if (count <= 0) throw EReadError("文字列の長さ " + IntToStr(static_cast<int>(count)) + " が正しくありません.");
    char bytes[128];
    stream->ReadBuffer(bytes, count);
    if (bytes[count - 1] != '\0') throw EReadError("文字列が 0 で終わっていません.");
    return AnsiString(bytes, static_cast<std::size_t>(count - 1));
}

}  // namespace

void TComponentPropertyWriter::ProcessProperty(ObjectAttributes* component, const AnsiString& componentName,
                                               const AnsiString& propertyName) {
    CheckStorable(component, propertyName);
    const AnsiString value = VarCast(component->GetProperties(propertyName), varString).AsString();
    const AnsiString where = componentName + "." + propertyName;
    CheckLength(componentName, "コンポーネント名 " + componentName);
    CheckLength(propertyName, "プロパティ名 " + where);
    CheckLength(value, "プロパティ " + where + " の値");
    AnsiString entry;
    PutText(entry, componentName);
    PutText(entry, propertyName);
    PutText(entry, value);
    FStream->WriteBuffer(entry.data(), static_cast<int>(entry.size()));
}

void TComponentPropertyReader::ProcessProperty(ObjectAttributes* component, const AnsiString& componentName,
                                               const AnsiString& propertyName) {
    CheckStorable(component, propertyName);
    if (AnsiCompareStr(ReadText(FStream), componentName) != 0) throw Exception(SReadError);
    if (AnsiCompareStr(ReadText(FStream), propertyName) != 0) throw Exception(SReadError);
    component->SetProperties(propertyName, Variant(ReadText(FStream)));
}

// ---------------------------------------------------------------- TPropertySerializer

FW_PUBLISH(TPropertySerializer)
FW_END_PUBLISH

TPropertySerializer::TPropertySerializer(TComponent* Owner)
    : TComponent(Owner), FItems(new TComponentPropertyList) {}

TPropertySerializer::~TPropertySerializer() { delete FItems; }

void TPropertySerializer::SetItems(TStrings* value) { FItems->Assign(value); }

TComponent* TPropertySerializer::RequireOwner() const {
    if (!Owner()) throw Exception(SSerializerNoOwner);
    return Owner();
}

void TPropertySerializer::Pass(TComponentPropertyFiler& filer) {
    TComponent* owner = filer.Owner();
    // Consecutive entries of one component line share its lookup.
    int foundLine = -1;
    TComponent* found = nullptr;
    WalkEntries(FItems, [&](int componentLine, int, const AnsiString& componentName, const AnsiString& propertyName) {
        if (componentLine != foundLine) {
            found = owner->FindComponent(componentName);
            foundLine = componentLine;
        }
        if (!found)
            throw Exception("コンポーネント " + componentName + " がオーナーにありません." + AtLine(componentLine));
        ObjectAttributes attributes(found);
        filer.ProcessProperty(&attributes, componentName, propertyName);
    });
}

void TPropertySerializer::SaveToStream(TStream* stream) {
    TComponentPropertyWriter writer(RequireOwner(), stream);
    Pass(writer);
}

void TPropertySerializer::LoadFromStream(TStream* stream) {
    TComponentPropertyReader reader(RequireOwner(), stream);
    Pass(reader);
}

void TPropertySerializer::SaveToFile(const AnsiString& fileName) {
    TMemoryStream saved;
    SaveToStream(&saved);
    TFileStream file(fileName, fmCreate);
    if (saved.Size() > 0) file.WriteBuffer(saved.Memory(), static_cast<int>(saved.Size()));
}

void TPropertySerializer::LoadFromFile(const AnsiString& fileName) {
    RequireOwner();
    TFileStream file(fileName, fmOpenRead);
    LoadFromStream(&file);
}

void TPropertySerializer::DefineProperties(TFiler* filer) {
    filer->DefineProperty("Items", MakeEvent<&TPropertySerializer::ReadItems>(this),
                          MakeEvent<&TPropertySerializer::WriteItems>(this), FItems->Count() > 0);
    inherited::DefineProperties(filer);
}

void TPropertySerializer::ReadItems(TReader* reader) { FItems->SetText(reader->ReadString()); }

void TPropertySerializer::WriteItems(TWriter* writer) { writer->WriteString(FItems->Text()); }

}  // namespace Kit
