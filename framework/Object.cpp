#include "framework/Object.h"

#include <algorithm>
#include <map>

#include "framework/Component.h"

namespace Fw {

namespace {

// Function-local so that classes may register from any file's static
// initialisation, whatever the order of files; never destroyed, so that
// units may unregister theirs from any file's exit code.
std::map<AnsiString, TMetaClass*>& ClassRegistry() {
    static auto* const registry = new std::map<AnsiString, TMetaClass*>;
    return *registry;
}

}  // namespace

TMetaClass::TMetaClass(AnsiString name, TMetaClass* parent)
    : FName(std::move(name)), FParent(parent) {}

TMetaClass::~TMetaClass() = default;

bool TMetaClass::InheritsFrom(const TMetaClass* ancestor) const {
    for (const TMetaClass* c = this; c; c = c->FParent)
        if (c == ancestor) return true;
    return false;
}

bool TMetaClass::ClassNameIs(const AnsiString& name) const { return SameText(FName, name); }

const std::vector<const TPropInfo*>& TMetaClass::Properties() const {
    // Classes are fully described before their first instance exists, so the
    // flattened list can be built once and kept.
    if (!FAllPropertiesReady) {
        if (FParent) FAllProperties = FParent->Properties();
        for (const auto& p : FOwnProperties) FAllProperties.push_back(p.get());
        FAllPropertiesReady = true;
    }
    return FAllProperties;
}

const TPublishedMethod* TMetaClass::FindMethod(const AnsiString& name) const {
    for (const TMetaClass* c = this; c; c = c->FParent)
        for (const auto& m : c->FMethods)
            if (SameText(m.Name, name)) return &m;
    return nullptr;
}

void* TMetaClass::MethodAddress(const AnsiString& name) const {
    const TPublishedMethod* m = FindMethod(name);
    return m ? m->Code : nullptr;
}

AnsiString TMetaClass::MethodName(void* code) const {
    if (!code) return AnsiString();
    for (const TMetaClass* c = this; c; c = c->FParent)
        for (const auto& m : c->FMethods)
            if (m.Code == code) return m.Name;
    return AnsiString();
}

const TPublishedField* TMetaClass::FindField(const AnsiString& name) const {
    for (const TMetaClass* c = this; c; c = c->FParent)
        for (const auto& f : c->FFields)
            if (SameText(f.Name, name)) return &f;
    return nullptr;
}

TComponent* TMetaClass::CreateComponent(TComponent* owner, TComponent** reference) const {
    if (!FComponentFactory) throw EClassNotFound("クラス " + FName + " はコンポーネントとして生成できません.");
    return Detail::FinishConstruction(FComponentFactory(owner), reference);
}

TCollectionItem* TMetaClass::CreateItem(TCollection* collection) const {
    if (!FItemFactory) throw EClassNotFound("クラス " + FName + " はコレクション項目として生成できません.");
    return FItemFactory(collection);
}

void TMetaClass::SetFactories(ComponentFactory component, ItemFactory item) {
    FComponentFactory = component;
    FItemFactory = item;
}

void TMetaClass::AddProperty(std::unique_ptr<TPropInfo> prop) {
    FOwnProperties.push_back(std::move(prop));
    FAllPropertiesReady = false;
}

void TMetaClass::AddField(TPublishedField field) { FFields.push_back(std::move(field)); }

TObject::~TObject() = default;

TMetaClass* TObject::StaticClass() {
    static TMetaClass* const meta = new TMetaClass("TObject", nullptr);
    return meta;
}

void RegisterClass(TMetaClass* cls) {
    auto& registry = ClassRegistry();
    auto [it, inserted] = registry.emplace(UpperCase(cls->ClassName()), cls);
    if (!inserted && it->second != cls)
        throw EFilerError("クラス " + cls->ClassName() + " はすでに登録されています.");
}

void RegisterClasses(std::initializer_list<TMetaClass*> classes) {
    for (TMetaClass* c : classes) RegisterClass(c);
}

void UnRegisterClass(TMetaClass* cls) {
    auto& registry = ClassRegistry();
    auto it = registry.find(UpperCase(cls->ClassName()));
    if (it != registry.end() && it->second == cls) registry.erase(it);
}

TMetaClass* GetClass(const AnsiString& name) {
    auto& registry = ClassRegistry();
    auto it = registry.find(UpperCase(name));
    return it == registry.end() ? nullptr : it->second;
}

TMetaClass* FindClass(const AnsiString& name) {
    TMetaClass* cls = GetClass(name);
    if (!cls) throw EClassNotFound("クラス " + name + " が見つかりません.");
    return cls;
}

std::vector<TMetaClass*> RegisteredClasses() {
    std::vector<TMetaClass*> classes;
    for (const auto& [name, cls] : ClassRegistry()) classes.push_back(cls);
    return classes;
}

namespace {

// Every class FW_PUBLISH described, with its unit (null for a program's own).
// Never destroyed: it is read until the program's end.
std::vector<std::pair<TMetaClass* (*)(), TUnit& (*)()>>& Published() {
    static auto* const published = new std::vector<std::pair<TMetaClass* (*)(), TUnit& (*)()>>;
    return *published;
}

}  // namespace

TClassAutoRegister::TClassAutoRegister(TMetaClass* (*staticClass)(), TUnit& (*unit)()) {
    Published().emplace_back(staticClass, unit);
    if (!unit) RegisterClass(staticClass());
}

std::vector<TMetaClass*> UnlistedClasses() {
    std::vector<TMetaClass*> unlisted;
    for (const auto& [cls, unit] : Published()) {
        if (!unit) continue;
        const std::vector<TMetaClass*> listed = unit().ClassList();
        if (std::find(listed.begin(), listed.end(), cls()) == listed.end()) unlisted.push_back(cls());
    }
    return unlisted;
}

std::vector<TMetaClass*> TUnit::ClassList() const {
    std::vector<TMetaClass*> classes;
    for (auto cls : FClasses) classes.push_back(cls());
    return classes;
}

void TUnit::Use() {
    if (FUses++ > 0) return;
    for (auto cls : FClasses) RegisterClass(cls());
    if (FInitialize) FInitialize();
}

void TUnit::Release() {
    if (FUses == 0 || --FUses > 0) return;
    if (FFinalize) FFinalize();
    for (auto it = FClasses.rbegin(); it != FClasses.rend(); ++it) UnRegisterClass((*it)());
}

TNotifyEvent ApplicationHandleException;

void HandleException(TObject* sender) noexcept {
    std::exception_ptr current = std::current_exception();
    if (!current) return;
    try {
        if (ApplicationHandleException) {
            ApplicationHandleException(sender);
            return;
        }
        AnsiString text;
        try {
            std::rethrow_exception(current);
        } catch (EAbort&) {
            return;
        } catch (std::exception& e) {
            text = e.what();
        } catch (...) {
            text = "不明な例外が発生しました.";
        }
        char path[MAX_PATH + 1] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        AnsiString title = ChangeFileExt(ExtractFileName(path), "");
        MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    } catch (...) {
        // A report that fails has nothing left to report to.
    }
}

}  // namespace Fw
