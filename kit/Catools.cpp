#include "kit/Catools.h"

#include <cmath>

#include "framework/ComObj.h"

namespace Kit {

using namespace Fw;

FW_UNIT_BEGIN(Catools)
FW_UNIT_END

namespace {

const char* const SNoObject = "オブジェクトが指定されていません.";
const char* const SNoOwner = "オーナーが指定されていません.";
const char* const SNoClass = "クラスが指定されていません.";
const char* const SNotString = "値を文字列に変換できませんでした.";
const char* const SNotObject = "値をオブジェクトに変換できませんでした.";

// "クラス"K"の<what>"N"<tail>": the class, then the name as the caller wrote it.
[[noreturn]] void RaiseNamed(TObject* object, const char* what, const AnsiString& name, const char* tail) {
    throw Exception("クラス\"" + object->ClassName() + "\"の" + what + "\"" + name + "\"" + tail);
}

bool IsOrdinalKind(TTypeKind kind) {
    return kind == tkInteger || kind == tkChar || kind == tkEnumeration || kind == tkSet || kind == tkClass;
}

bool IsStringKind(TTypeKind kind) { return kind == tkString || kind == tkLString || kind == tkWString; }

const TPropInfo* RequireEvent(TObject* object, const AnsiString& name) {
    const TPropInfo* prop = Detail::RequireProperty(object, name);
    if (prop->Kind() != tkMethod) RaiseNamed(object, "プロパティ", name, "はイベント型ではありません.");
    return prop;
}

}  // namespace

namespace Detail {

TObject* RequireObject(TObject* object) {
    if (!object) throw Exception(SNoObject);
    return object;
}

const TPropInfo* RequireProperty(TObject* object, const AnsiString& name) {
    const TPropInfo* prop = GetPropInfo(RequireObject(object)->ClassType(), name);
    if (!prop) RaiseNamed(object, "プロパティ", name, "が取得できません.");
    return prop;
}

void RaiseUnsupportedKind(TObject* object, const TPropInfo* prop) {
    // No closing bracket: the message ends with the declared name.
    throw Exception("このプロパティは扱えません. [" + object->ClassName() + "::" + prop->Name);
}

}  // namespace Detail

bool ObjectHasProperty(TObject* object, AnsiString name) {
    return GetPropInfo(Detail::RequireObject(object)->ClassType(), name) != nullptr;
}

bool ObjectHasEvent(TObject* object, AnsiString name) {
    const TPropInfo* prop = GetPropInfo(Detail::RequireObject(object)->ClassType(), name);
    return prop && prop->Kind() == tkMethod;
}

bool ObjectHasMethod(TObject* object, AnsiString name) {
    // Published method names are short strings: longer names are cut, as
    // the lookup has always seen them.
    return Detail::RequireObject(object)->MethodAddress(ShortString(name).Text()) != nullptr;
}

Variant GetProperty(TObject* object, AnsiString name) {
    const TPropInfo* prop = Detail::RequireProperty(object, name);
    const TTypeKind kind = prop->Kind();
    if (IsOrdinalKind(kind)) return Variant(GetOrdProp(object, prop));
    if (IsStringKind(kind)) return Variant(GetStrProp(object, prop));
    if (kind == tkFloat) {
        const double value = std::trunc(GetFloatProp(object, prop));
        // Outside the integer's range (or not a number) there is no integer
        // reading worth answering with.
        if (!(value >= -2147483648.0 && value <= 2147483647.0))
            throw EConvertError("プロパティ " + prop->Name + " の値 " + FloatToStr(value) +
                                " は整数に変換できません.");
        return Variant(static_cast<int>(value));
    }
    Detail::RaiseUnsupportedKind(object, prop);
}

void SetProperty(TObject* object, AnsiString name, const Variant& value) {
    const TPropInfo* prop = Detail::RequireProperty(object, name);
    const TTypeKind kind = prop->Kind();
    if (IsOrdinalKind(kind)) {
        SetOrdProp(object, prop, VarCast(value, varInteger).AsInteger());
    } else if (IsStringKind(kind)) {
        SetStrProp(object, prop, VarCast(value, varString).AsString());
    } else if (kind == tkFloat) {
        SetFloatProp(object, prop, VarCast(value, varDouble).AsDouble());
    } else {
        Detail::RaiseUnsupportedKind(object, prop);
    }
}

TMethod GetEvent(TObject* object, AnsiString name) { return GetMethodProp(object, RequireEvent(object, name)); }

void SetEvent(TObject* object, AnsiString name, const TMethod& handler) {
    SetMethodProp(object, RequireEvent(object, name), handler);
}

TMethod GetMethod(TObject* object, AnsiString name) {
    void* code = Detail::RequireObject(object)->MethodAddress(ShortString(name).Text());
    if (!code) RaiseNamed(object, "メソッド", name, "が取得できません.");
    return TMethod{code, static_cast<void*>(object)};
}

// ---- Open-array argument records ----

AnsiString VarRecToString(const TVarRec& record) {
    switch (record.VType) {
        case vtInteger: return Format("%i", record.VInteger);
        case vtBoolean: return record.VBoolean ? "true" : "false";
        case vtChar: return AnsiString(1, record.VChar);
        case vtString: return record.VString ? record.VString->Text() : AnsiString();
        case vtPChar: return record.VPChar ? AnsiString(record.VPChar) : AnsiString();
        case vtWideChar: return Format("%u", static_cast<unsigned>(record.VWideChar));
        case vtPWideChar: return WideCharToString(record.VPWideChar);
        // Up to the first zero character, as the text a string points at.
        case vtAnsiString: return record.VAnsiString ? AnsiString(record.VAnsiString->c_str()) : AnsiString();
        default: throw Exception(SNotString);
    }
}

TObject* VarRecToObject(const TVarRec& record) {
    switch (record.VType) {
        case vtPointer: return static_cast<TObject*>(const_cast<void*>(record.VPointer));
        case vtObject: return record.VObject;
        default: throw Exception(SNotObject);
    }
}

int VarRecToInteger(const TVarRec& record) {
    switch (record.VType) {
        case vtInteger: return record.VInteger;
        case vtBoolean: return record.VBoolean ? 1 : 0;
        case vtChar: case vtString: case vtPChar: case vtWideChar: case vtPWideChar: case vtAnsiString:
            return StrToInt(VarRecToString(record));
        default: throw Exception(SNotString);
    }
}

// ---- Components by class and by name ----

TComponent* CreateComponent(TMetaClass* componentClass, TComponent* owner) {
    if (!componentClass) throw Exception(SNoClass);
    return componentClass->CreateComponent(owner);
}

AnsiString FindUniqueName(TComponent* owner, AnsiString baseName) {
    if (!owner) throw Exception(SNoOwner);
    for (int n = 1;; ++n) {
        AnsiString candidate = baseName + IntToStr(n);
        if (!owner->FindComponent(candidate)) return candidate;
    }
}

namespace {

// Hands each property editor's name on.
struct TNameCollector {
    const TGetStrProc* Proc;
    void Take(TPropertyEditor* editor) { (*Proc)(editor->GetName()); }
};

}  // namespace

void GetProperties(TComponent* component, IFormDesigner* designer, const TGetStrProc& proc) {
    Detail::RequireObject(component);
    TDesignerSelectionList selection;
    selection.Add(component);
    // The designer is held for the call and given back however it ends.
    const TComPtr<IFormDesigner> hold(designer);
    TNameCollector collector{&proc};
    GetComponentProperties(&selection, tkProperties, designer, MakeEvent<&TNameCollector::Take>(&collector));
}

// ---- Natural order of names ----

int FirstNumPos(AnsiString text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] >= '0' && text[i] <= '9') return static_cast<int>(i) + 1;
    return 0;
}

namespace {

// The number that the tail of a name spells in decimal digits alone.
bool TailNumber(const AnsiString& tail, int& value) {
    for (char c : tail)
        if (c < '0' || c > '9') return false;
    return TryStrToInt(tail, value);
}

}  // namespace

int CompareComponentNames(AnsiString a, AnsiString b) {
    const int pa = FirstNumPos(a);
    const int pb = FirstNumPos(b);
    if (pa != pb || pa == 0 || pb == 0) return AnsiCompareStr(a, b);
    if (int stems = AnsiCompareStr(a.substr(0, pa - 1), b.substr(0, pb - 1))) return stems;
    int na = 0, nb = 0;
    if (!TailNumber(a.substr(pa - 1), na) || !TailNumber(b.substr(pb - 1), nb)) return AnsiCompareStr(a, b);
    return na == nb ? 0 : (na > nb ? 1 : -1);
}

void SortStrings(TStrings* list, int first, int last, TStringCompare compare) {
    int i;
    do {
        i = first;
        int j = last;
        const AnsiString pivot = list->Get((first + last) / 2);
        do {
            while (compare(list->Get(i), pivot) < 0) ++i;
            while (compare(list->Get(j), pivot) > 0) --j;
            if (i <= j) {
                list->Exchange(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (first < j) SortStrings(list, first, j, compare);
        first = i;
    } while (i < last);
}

}  // namespace Kit
