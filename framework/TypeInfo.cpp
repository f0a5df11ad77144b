#include "framework/TypeInfo.h"

#include <map>
#include <mutex>

namespace Fw {

namespace {

AnsiString KindName(TTypeKind kind) {
    static const char* const names[] = {
        "tkUnknown", "tkInteger", "tkChar", "tkEnumeration", "tkFloat", "tkString",
        "tkSet", "tkClass", "tkMethod", "tkWChar", "tkLString", "tkWString", "tkVariant",
        "tkArray", "tkRecord", "tkInterface", "tkInt64", "tkDynArray"};
    return kind >= tkUnknown && kind <= tkDynArray ? names[kind] : "?";
}

AnsiString TypeName(const TTypeInfo* type) {
    if (type->Kind == tkClass) {
        TMetaClass* cls = type->ClassType();
        return cls ? cls->ClassName() : AnsiString("TObject");
    }
    return type->Name;
}

[[noreturn]] void RaiseWrongKind(const TPropInfo* prop, const char* wanted) {
    throw EPropertyError("プロパティ " + prop->Name + " (" + KindName(prop->Kind()) + ") は" +
                         wanted + "として扱えません.");
}

// Method invokers are unique per member function, so the code half of a
// method pointer tells which published method (and so which shape) it is.
std::map<void*, TSignature>& SignatureRegistry() {
    static std::map<void*, TSignature> registry;
    return registry;
}

}  // namespace

namespace Detail {

const TTypeInfo* MakeEnumInfo(const char* name, std::initializer_list<const char*> names) {
    auto* info = new TTypeInfo;
    info->Kind = tkEnumeration;
    info->Name = name;
    info->OrdType = names.size() <= 256 ? otUByte : otUWord;
    info->MinValue = 0;
    info->MaxValue = static_cast<int>(names.size()) - 1;
    for (const char* n : names) info->EnumNames.emplace_back(n);
    return info;
}

const TTypeInfo* BooleanInfo() {
    static const TTypeInfo* const info = MakeEnumInfo("Boolean", {"False", "True"});
    return info;
}

const TTypeInfo* CharInfo() {
    static const TTypeInfo* const info = [] {
        auto* i = new TTypeInfo;
        i->Kind = tkChar;
        i->Name = "Char";
        i->OrdType = otUByte;
        i->MinValue = 0;
        i->MaxValue = 255;
        return i;
    }();
    return info;
}

const TTypeInfo* StringInfo() {
    static const TTypeInfo* const info = [] {
        auto* i = new TTypeInfo;
        i->Kind = tkLString;
        i->Name = "AnsiString";
        return i;
    }();
    return info;
}

const TTypeInfo* FloatInfo(TFloatType type) {
    static const TTypeInfo* const single = [] {
        auto* i = new TTypeInfo;
        i->Kind = tkFloat;
        i->Name = "Single";
        i->FloatType = ftSingle;
        return i;
    }();
    static const TTypeInfo* const dbl = [] {
        auto* i = new TTypeInfo;
        i->Kind = tkFloat;
        i->Name = "Double";
        i->FloatType = ftDouble;
        return i;
    }();
    return type == ftSingle ? single : dbl;
}

const TTypeInfo* IntegerInfo(const char* name, TOrdType ordType, int minValue, int maxValue) {
    static std::mutex lock;
    static std::map<std::pair<int, std::pair<int, int>>, const TTypeInfo*> cache;
    std::lock_guard<std::mutex> guard(lock);
    auto& slot = cache[{ordType, {minValue, maxValue}}];
    if (!slot) {
        auto* i = new TTypeInfo;
        i->Kind = tkInteger;
        i->Name = name;
        i->OrdType = ordType;
        i->MinValue = minValue;
        i->MaxValue = maxValue;
        slot = i;
    }
    return slot;
}

const TTypeInfo* SetInfo(const TTypeInfo* element) {
    static std::mutex lock;
    static std::map<const TTypeInfo*, const TTypeInfo*> cache;
    std::lock_guard<std::mutex> guard(lock);
    auto& slot = cache[element];
    if (!slot) {
        auto* i = new TTypeInfo;
        i->Kind = tkSet;
        i->Name = "set of " + element->Name;
        i->OrdType = otULong;
        i->CompType = element;
        slot = i;
    }
    return slot;
}

const TTypeInfo* MethodInfo(TSignature signature) {
    static std::mutex lock;
    static std::map<TSignature, const TTypeInfo*> cache;
    std::lock_guard<std::mutex> guard(lock);
    auto& slot = cache[signature];
    if (!slot) {
        auto* i = new TTypeInfo;
        i->Kind = tkMethod;
        i->Name = "TMethod";
        i->Signature = signature;
        slot = i;
    }
    return slot;
}

const TTypeInfo* MakeClassInfo(TMetaClass* (*classOf)()) {
    auto* i = new TTypeInfo;
    i->Kind = tkClass;
    i->ClassOf = classOf;
    return i;
}

void RaiseReadOnly(const TPropInfo* prop) {
    throw EPropertyError("プロパティ " + prop->Name + " は読み取り専用です.");
}

void RaiseOutOfRange(const TTypeInfo* type, int value) {
    throw EPropertyError("値 " + std::to_string(value) + " は型 " + TypeName(type) + " の範囲外です.");
}

void RaiseWrongClass(const TTypeInfo* type, TObject* value) {
    throw EPropertyError(value->ClassName() + " は型 " + TypeName(type) + " に代入できません.");
}

int ObjectToOrd(TObject* value) {
    if constexpr (sizeof(TObject*) > sizeof(int)) {
        if (value) throw EPropertyError("オブジェクトのアドレスは順序値に収まりません.");
        return 0;
    } else {
        return static_cast<int>(reinterpret_cast<std::intptr_t>(value));
    }
}

TObject* OrdToObject(int value) {
    if constexpr (sizeof(TObject*) > sizeof(int)) {
        if (value) throw EPropertyError("順序値はオブジェクトのアドレスになりません.");
        return nullptr;
    } else {
        return reinterpret_cast<TObject*>(static_cast<std::intptr_t>(value));
    }
}

}  // namespace Detail

int TPropAccessor::GetOrd(TObject*) const { throw EPropertyError("順序型ではないプロパティです."); }
void TPropAccessor::SetOrd(TObject*, int) const { throw EPropertyError("順序型ではないプロパティです."); }
double TPropAccessor::GetFloat(TObject*) const { throw EPropertyError("実数型ではないプロパティです."); }
void TPropAccessor::SetFloat(TObject*, double) const { throw EPropertyError("実数型ではないプロパティです."); }
AnsiString TPropAccessor::GetStr(TObject*) const { throw EPropertyError("文字列型ではないプロパティです."); }
void TPropAccessor::SetStr(TObject*, const AnsiString&) const { throw EPropertyError("文字列型ではないプロパティです."); }
TMethod TPropAccessor::GetMethod(TObject*) const { throw EPropertyError("イベント型ではないプロパティです."); }
void TPropAccessor::SetMethod(TObject*, const TMethod&) const { throw EPropertyError("イベント型ではないプロパティです."); }
TObject* TPropAccessor::GetObject(TObject*) const { throw EPropertyError("クラス型ではないプロパティです."); }
void TPropAccessor::SetObject(TObject*, TObject*) const { throw EPropertyError("クラス型ではないプロパティです."); }

AnsiString GetEnumName(const TTypeInfo* info, int value) {
    if (!info || info->Kind != tkEnumeration || value < 0 ||
        value >= static_cast<int>(info->EnumNames.size()))
        return AnsiString();
    return info->EnumNames[value];
}

int GetEnumValue(const TTypeInfo* info, const AnsiString& name) {
    if (!info || info->Kind != tkEnumeration) return -1;
    for (size_t i = 0; i < info->EnumNames.size(); ++i)
        if (SameText(info->EnumNames[i], name)) return static_cast<int>(i);
    return -1;
}

namespace {

const TTypeInfo* SetElementType(const TTypeInfo* setType) {
    if (!setType || setType->Kind != tkSet || !setType->CompType)
        throw EPropertyError("集合型ではありません.");
    return setType->CompType;
}

}  // namespace

AnsiString SetToString(const TTypeInfo* setType, int value, bool brackets) {
    const TTypeInfo* elem = SetElementType(setType);
    AnsiString text;
    for (int i = 0; i <= elem->MaxValue && i < 32; ++i) {
        if (!(static_cast<std::uint32_t>(value) & (1u << i))) continue;
        if (!text.empty()) text += ", ";
        text += GetEnumName(elem, i);
    }
    return brackets ? "[" + text + "]" : text;
}

int SetElementValue(const TTypeInfo* setType, const AnsiString& name) {
    const TTypeInfo* elem = SetElementType(setType);
    int v = GetEnumValue(elem, name);
    if (v < 0 || v > 31) throw EPropertyError(name + " は " + elem->Name + " の値ではありません.");
    return v;
}

int StringToSet(const TTypeInfo* setType, const AnsiString& text) {
    AnsiString body = Trim(text);
    if (!body.empty() && body.front() == '[') {
        if (body.back() != ']') throw EPropertyError("集合 " + text + " が ']' で閉じられていません.");
        body = body.substr(1, body.size() - 2);
    }
    std::uint32_t bits = 0;
    if (Trim(body).empty()) return 0;
    for (std::size_t start = 0;;) {
        std::size_t comma = body.find(',', start);
        AnsiString name = Trim(body.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start));
        bits |= 1u << SetElementValue(setType, name);
        if (comma == AnsiString::npos) break;
        start = comma + 1;
    }
    return static_cast<int>(bits);
}

const TPropInfo* GetPropInfo(const TMetaClass* cls, const AnsiString& name) {
    if (!cls) return nullptr;
    // Walk from the most derived class so that a redeclared property wins.
    for (const TMetaClass* c = cls; c; c = c->ClassParent())
        for (const auto& p : c->OwnProperties())
            if (SameText(p->Name, name)) return p.get();
    return nullptr;
}

const TPropInfo* GetPropInfo(const TObject* instance, const AnsiString& name) {
    return instance ? GetPropInfo(instance->ClassType(), name) : nullptr;
}

const std::vector<const TPropInfo*>& GetPropList(const TMetaClass* cls) { return cls->Properties(); }

bool IsPublishedProp(const TObject* instance, const AnsiString& name) {
    return GetPropInfo(instance, name) != nullptr;
}

bool IsStoredProp(TObject* instance, const TPropInfo* prop) { return prop->IsStored(instance); }

int GetOrdProp(TObject* instance, const TPropInfo* prop) {
    switch (prop->Kind()) {
        case tkInteger: case tkChar: case tkEnumeration: case tkSet: case tkClass:
            return prop->Access->GetOrd(instance);
        default:
            RaiseWrongKind(prop, "順序型");
    }
}

void SetOrdProp(TObject* instance, const TPropInfo* prop, int value) {
    switch (prop->Kind()) {
        case tkInteger: case tkChar: case tkEnumeration: case tkSet: case tkClass:
            if (!prop->Access->Writable()) Detail::RaiseReadOnly(prop);
            prop->Access->SetOrd(instance, value);
            return;
        default:
            RaiseWrongKind(prop, "順序型");
    }
}

double GetFloatProp(TObject* instance, const TPropInfo* prop) {
    if (prop->Kind() != tkFloat) RaiseWrongKind(prop, "実数型");
    return prop->Access->GetFloat(instance);
}

void SetFloatProp(TObject* instance, const TPropInfo* prop, double value) {
    if (prop->Kind() != tkFloat) RaiseWrongKind(prop, "実数型");
    if (!prop->Access->Writable()) Detail::RaiseReadOnly(prop);
    prop->Access->SetFloat(instance, value);
}

AnsiString GetStrProp(TObject* instance, const TPropInfo* prop) {
    if (prop->Kind() != tkLString && prop->Kind() != tkString) RaiseWrongKind(prop, "文字列型");
    return prop->Access->GetStr(instance);
}

void SetStrProp(TObject* instance, const TPropInfo* prop, const AnsiString& value) {
    if (prop->Kind() != tkLString && prop->Kind() != tkString) RaiseWrongKind(prop, "文字列型");
    if (!prop->Access->Writable()) Detail::RaiseReadOnly(prop);
    prop->Access->SetStr(instance, value);
}

TMethod GetMethodProp(TObject* instance, const TPropInfo* prop) {
    if (prop->Kind() != tkMethod) RaiseWrongKind(prop, "イベント型");
    return prop->Access->GetMethod(instance);
}

void SetMethodProp(TObject* instance, const TPropInfo* prop, const TMethod& value) {
    if (prop->Kind() != tkMethod) RaiseWrongKind(prop, "イベント型");
    if (!prop->Access->Writable()) Detail::RaiseReadOnly(prop);
    if (value.Code) {
        TSignature sig = PublishedMethodSignature(value.Code);
        if (sig && sig != prop->PropType->Signature)
            throw EPropertyError("メソッドの型がイベント " + prop->Name + " の型と一致しません.");
    }
    prop->Access->SetMethod(instance, value);
}

TObject* GetObjectProp(TObject* instance, const TPropInfo* prop) {
    if (prop->Kind() != tkClass) RaiseWrongKind(prop, "クラス型");
    return prop->Access->GetObject(instance);
}

void SetObjectProp(TObject* instance, const TPropInfo* prop, TObject* value) {
    if (prop->Kind() != tkClass) RaiseWrongKind(prop, "クラス型");
    if (!prop->Access->Writable()) Detail::RaiseReadOnly(prop);
    prop->Access->SetObject(instance, value);
}

AnsiString GetEnumProp(TObject* instance, const TPropInfo* prop) {
    if (prop->Kind() != tkEnumeration) RaiseWrongKind(prop, "列挙型");
    return GetEnumName(prop->PropType, prop->Access->GetOrd(instance));
}

void SetEnumProp(TObject* instance, const TPropInfo* prop, const AnsiString& value) {
    if (prop->Kind() != tkEnumeration) RaiseWrongKind(prop, "列挙型");
    int v = GetEnumValue(prop->PropType, value);
    if (v < 0) throw EPropertyError("'" + value + "' は型 " + prop->PropType->Name + " の値ではありません.");
    SetOrdProp(instance, prop, v);
}

AnsiString GetSetProp(TObject* instance, const TPropInfo* prop, bool brackets) {
    if (prop->Kind() != tkSet) RaiseWrongKind(prop, "集合型");
    return SetToString(prop->PropType, prop->Access->GetOrd(instance), brackets);
}

void SetSetProp(TObject* instance, const TPropInfo* prop, const AnsiString& value) {
    if (prop->Kind() != tkSet) RaiseWrongKind(prop, "集合型");
    SetOrdProp(instance, prop, StringToSet(prop->PropType, value));
}

Variant GetPropValue(TObject* instance, const TPropInfo* prop, bool preferStrings) {
    switch (prop->Kind()) {
        case tkInteger: case tkChar:
            return Variant(GetOrdProp(instance, prop));
        case tkEnumeration:
            if (prop->PropType == Detail::BooleanInfo()) return Variant(GetOrdProp(instance, prop) != 0);
            if (preferStrings) return Variant(GetEnumProp(instance, prop));
            return Variant(GetOrdProp(instance, prop));
        case tkSet:
            if (preferStrings) return Variant(GetSetProp(instance, prop));
            return Variant(GetOrdProp(instance, prop));
        case tkFloat:
            return Variant(GetFloatProp(instance, prop));
        case tkLString: case tkString:
            return Variant(GetStrProp(instance, prop));
        default:
            RaiseWrongKind(prop, "Variant");
    }
}

void SetPropValue(TObject* instance, const TPropInfo* prop, const Variant& value) {
    const bool text = VarType(value) == varString;
    switch (prop->Kind()) {
        case tkInteger:
            SetOrdProp(instance, prop, VarCast(value, varInteger).AsInteger());
            return;
        case tkChar:
            if (text && value.AsString().size() == 1)
                SetOrdProp(instance, prop, static_cast<unsigned char>(value.AsString()[0]));
            else
                SetOrdProp(instance, prop, VarCast(value, varInteger).AsInteger());
            return;
        case tkEnumeration:
            if (text && GetEnumValue(prop->PropType, Trim(value.AsString())) >= 0)
                SetOrdProp(instance, prop, GetEnumValue(prop->PropType, Trim(value.AsString())));
            else if (VarType(value) == varBoolean)
                SetOrdProp(instance, prop, value.AsBoolean() ? 1 : 0);
            else
                SetOrdProp(instance, prop, VarCast(value, varInteger).AsInteger());
            return;
        case tkSet:
            if (text) SetSetProp(instance, prop, value.AsString());
            else SetOrdProp(instance, prop, VarCast(value, varInteger).AsInteger());
            return;
        case tkFloat:
            SetFloatProp(instance, prop, VarCast(value, varDouble).AsDouble());
            return;
        case tkLString: case tkString:
            SetStrProp(instance, prop, VarCast(value, varString).AsString());
            return;
        default:
            RaiseWrongKind(prop, "Variant");
    }
}

namespace {

const TPropInfo* RequireProp(TObject* instance, const AnsiString& name) {
    const TPropInfo* p = GetPropInfo(instance, name);
    if (!p) throw EPropertyError("クラス " + instance->ClassName() + " にプロパティ " + name + " はありません.");
    return p;
}

}  // namespace

int GetOrdProp(TObject* o, const AnsiString& n) { return GetOrdProp(o, RequireProp(o, n)); }
void SetOrdProp(TObject* o, const AnsiString& n, int v) { SetOrdProp(o, RequireProp(o, n), v); }
double GetFloatProp(TObject* o, const AnsiString& n) { return GetFloatProp(o, RequireProp(o, n)); }
void SetFloatProp(TObject* o, const AnsiString& n, double v) { SetFloatProp(o, RequireProp(o, n), v); }
AnsiString GetStrProp(TObject* o, const AnsiString& n) { return GetStrProp(o, RequireProp(o, n)); }
void SetStrProp(TObject* o, const AnsiString& n, const AnsiString& v) { SetStrProp(o, RequireProp(o, n), v); }
TMethod GetMethodProp(TObject* o, const AnsiString& n) { return GetMethodProp(o, RequireProp(o, n)); }
void SetMethodProp(TObject* o, const AnsiString& n, const TMethod& v) { SetMethodProp(o, RequireProp(o, n), v); }
TObject* GetObjectProp(TObject* o, const AnsiString& n) { return GetObjectProp(o, RequireProp(o, n)); }
void SetObjectProp(TObject* o, const AnsiString& n, TObject* v) { SetObjectProp(o, RequireProp(o, n), v); }
AnsiString GetEnumProp(TObject* o, const AnsiString& n) { return GetEnumProp(o, RequireProp(o, n)); }
void SetEnumProp(TObject* o, const AnsiString& n, const AnsiString& v) { SetEnumProp(o, RequireProp(o, n), v); }
AnsiString GetSetProp(TObject* o, const AnsiString& n, bool b) { return GetSetProp(o, RequireProp(o, n), b); }
void SetSetProp(TObject* o, const AnsiString& n, const AnsiString& v) { SetSetProp(o, RequireProp(o, n), v); }
Variant GetPropValue(TObject* o, const AnsiString& n, bool s) { return GetPropValue(o, RequireProp(o, n), s); }
void SetPropValue(TObject* o, const AnsiString& n, const Variant& v) { SetPropValue(o, RequireProp(o, n), v); }

TSignature PublishedMethodSignature(void* code) {
    auto& registry = SignatureRegistry();
    auto it = registry.find(code);
    return it == registry.end() ? nullptr : it->second;
}

void TMetaClass::AddMethod(TPublishedMethod method) {
    SignatureRegistry()[method.Code] = method.Signature;
    FMethods.push_back(std::move(method));
}

}  // namespace Fw
