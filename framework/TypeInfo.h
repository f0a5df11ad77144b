// Published-property type information: kinds, enumeration and set names,
// property descriptions with getters and setters, and access by name: by
// kind, as enumeration and set text, and as Variants. This unit is the one
// place for it; the form-text code and the run-time type tools use it.
//
// A class describes itself once, in its .cpp, in a table that reads like the
// declaration it stands for:
//
//     FW_PUBLISH(TThreadBroker)
//         .Property("Enabled", &TThreadBroker::FEnabled, &TThreadBroker::SetEnabled).Default(false)
//         .Property("OnStart", &TThreadBroker::FOnStart, &TThreadBroker::FOnStart)
//         .Method<&TThreadBroker::Execute>("Execute")
//     FW_END_PUBLISH
#pragma once

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "framework/Object.h"
#include "framework/Variant.h"

namespace Fw {

// Numbered as the platform numbers them; streams and callers rely on it.
enum TTypeKind {
    tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
    tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64, tkDynArray
};

enum TOrdType { otSByte, otUByte, otSWord, otUWord, otSLong, otULong };
enum TFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

struct TTypeInfo {
    TTypeKind Kind = tkUnknown;
    AnsiString Name;
    TOrdType OrdType = otSLong;
    int MinValue = 0;
    int MaxValue = 0;
    std::vector<AnsiString> EnumNames;  // tkEnumeration: element names by ordinal
    const TTypeInfo* CompType = nullptr;  // tkSet: the element type
    TMetaClass* (*ClassOf)() = nullptr;   // tkClass, resolved late: classes may refer to each other
    TSignature Signature = nullptr;       // tkMethod: the event shape
    TFloatType FloatType = ftDouble;

    TMetaClass* ClassType() const { return ClassOf ? ClassOf() : nullptr; }
};

// Name of an enumeration element; "" when the value is outside the type.
AnsiString GetEnumName(const TTypeInfo* info, int value);
// Ordinal of the named element (ASCII case ignored), or -1.
int GetEnumValue(const TTypeInfo* info, const AnsiString& name);

// Sets as text, in the form text's notation: element names in ordinal
// order, separated by ", ", in brackets ("[frBanana, frDurian]", "[]").
// setType is a tkSet type. Bits outside the element type are left out.
AnsiString SetToString(const TTypeInfo* setType, int value, bool brackets = true);
// The bit mask of the set the text names: element names separated by
// commas, in any order and ASCII case, with or without the brackets, blanks
// around them ignored; "" and "[]" are the empty set. A name that is not an
// element raises EPropertyError naming it.
int StringToSet(const TTypeInfo* setType, const AnsiString& text);
// The ordinal of the set's element of that name; EPropertyError when none.
int SetElementValue(const TTypeInfo* setType, const AnsiString& name);

// A set of up to 32 elements of an enumeration, as one ordinal bit mask.
template <class E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items) FBits |= Bit(e);
    }
    static constexpr TSet FromBits(std::uint32_t bits) {
        TSet s;
        s.FBits = bits;
        return s;
    }
    constexpr std::uint32_t Bits() const { return FBits; }
    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    TSet& operator<<(E e) { FBits |= Bit(e); return *this; }
    TSet& operator>>(E e) { FBits &= ~Bit(e); return *this; }
    constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
    constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
    constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr std::uint32_t Bit(E e) { return std::uint32_t(1) << static_cast<int>(e); }
    std::uint32_t FBits = 0;
};

namespace Detail {

const TTypeInfo* MakeEnumInfo(const char* name, std::initializer_list<const char*> names);
const TTypeInfo* BooleanInfo();
const TTypeInfo* CharInfo();
const TTypeInfo* StringInfo();
const TTypeInfo* FloatInfo(TFloatType type);
const TTypeInfo* IntegerInfo(const char* name, TOrdType ordType, int minValue, int maxValue);
const TTypeInfo* SetInfo(const TTypeInfo* element);
const TTypeInfo* MethodInfo(TSignature signature);
const TTypeInfo* MakeClassInfo(TMetaClass* (*classOf)());

template <class T>
const TTypeInfo* ClassRefInfo() {
    static const TTypeInfo* const info = MakeClassInfo(&T::StaticClass);
    return info;
}

template <class T> struct IsSet : std::false_type {};
template <class E> struct IsSet<TSet<E>> : std::true_type { using Element = E; };
template <class T> struct IsEvent : std::false_type {};
template <class... A> struct IsEvent<TEvent<A...>> : std::true_type {};

template <class T>
constexpr bool IsObjectPointer =
    std::is_pointer_v<T> && std::is_base_of_v<TObject, std::remove_pointer_t<T>>;

template <class T>
constexpr bool IsOrdinal = std::is_integral_v<T> || std::is_enum_v<T> || IsSet<T>::value ||
                           IsObjectPointer<T>;

}  // namespace Detail

// Describes an enumeration for published properties. Put it in the enum's own
// namespace, after the enum: FW_ENUM_INFO(TNotifyType, "ntFileName", ...).
#define FW_ENUM_INFO(Enum, ...)                                                      \
    inline const ::Fw::TTypeInfo* FwEnumTypeInfo(Enum*) {                            \
        static const ::Fw::TTypeInfo* const info =                                   \
            ::Fw::Detail::MakeEnumInfo(#Enum, {__VA_ARGS__});                        \
        return info;                                                                 \
    }

template <class T>
const TTypeInfo* TypeInfoOf() {
    using namespace Detail;
    if constexpr (std::is_same_v<T, bool>) {
        return BooleanInfo();
    } else if constexpr (std::is_same_v<T, char>) {
        return CharInfo();
    } else if constexpr (std::is_enum_v<T>) {
        return FwEnumTypeInfo(static_cast<T*>(nullptr));
    } else if constexpr (std::is_integral_v<T>) {
        static_assert(sizeof(T) <= 4, "64-bit ordinal properties are not supported");
        constexpr TOrdType ot = sizeof(T) == 1   ? (std::is_signed_v<T> ? otSByte : otUByte)
                                : sizeof(T) == 2 ? (std::is_signed_v<T> ? otSWord : otUWord)
                                                 : (std::is_signed_v<T> ? otSLong : otULong);
        constexpr int lo = std::is_signed_v<T> || sizeof(T) < 4 ? int(std::numeric_limits<T>::min()) : 0;
        constexpr int hi = sizeof(T) < 4 || std::is_signed_v<T> ? int(std::numeric_limits<T>::max()) : INT_MAX;
        return IntegerInfo(sizeof(T) == 4 && std::is_signed_v<T> ? "Integer" : "Cardinal", ot, lo, hi);
    } else if constexpr (std::is_floating_point_v<T>) {
        return FloatInfo(sizeof(T) == 4 ? ftSingle : ftDouble);
    } else if constexpr (std::is_same_v<T, AnsiString>) {
        return StringInfo();
    } else if constexpr (IsSet<T>::value) {
        return SetInfo(TypeInfoOf<typename IsSet<T>::Element>());
    } else if constexpr (IsEvent<T>::value) {
        return MethodInfo(T::Signature());
    } else if constexpr (IsObjectPointer<T>) {
        return ClassRefInfo<std::remove_pointer_t<T>>();
    } else {
        static_assert(sizeof(T) == 0, "type cannot be published");
    }
}

// How a property's value is read and written. The kind-specific accessors
// raise EPropertyError when the property is of another kind.
class TPropAccessor {
public:
    virtual ~TPropAccessor() = default;
    virtual bool Writable() const = 0;
    virtual int GetOrd(TObject* instance) const;
    virtual void SetOrd(TObject* instance, int value) const;
    virtual double GetFloat(TObject* instance) const;
    virtual void SetFloat(TObject* instance, double value) const;
    virtual AnsiString GetStr(TObject* instance) const;
    virtual void SetStr(TObject* instance, const AnsiString& value) const;
    virtual TMethod GetMethod(TObject* instance) const;
    virtual void SetMethod(TObject* instance, const TMethod& value) const;
    virtual TObject* GetObject(TObject* instance) const;
    virtual void SetObject(TObject* instance, TObject* value) const;
};

struct TPropInfo {
    static constexpr int NoDefault = INT_MIN;

    AnsiString Name;
    const TTypeInfo* PropType = nullptr;
    TMetaClass* Declarer = nullptr;
    int Default = NoDefault;  // ordinal properties only
    std::unique_ptr<TPropAccessor> Access;
    bool StoredConst = true;
    bool (*StoredCall)(const TPropInfo&, TObject*) = nullptr;
    std::shared_ptr<void> StoredMember;  // the "stored" member function, typed by StoredCall

    TTypeKind Kind() const { return PropType->Kind; }
    bool HasDefault() const { return Default != NoDefault; }
    bool IsStored(TObject* instance) const {
        return StoredCall ? StoredCall(*this, instance) : StoredConst;
    }
};

namespace Detail {

[[noreturn]] void RaiseReadOnly(const TPropInfo* prop);
[[noreturn]] void RaiseOutOfRange(const TTypeInfo* type, int value);
[[noreturn]] void RaiseWrongClass(const TTypeInfo* type, TObject* value);

// A class property's value as an ordinal is the object's address, as in the
// 32-bit build. In the 64-bit build an address does not fit an ordinal:
// ObjectToOrd raises EPropertyError for any object there (null reads 0), and
// such properties are reached through Get/SetObjectProp instead.
int ObjectToOrd(TObject* value);
TObject* OrdToObject(int value);

template <class V>
int ToOrd(const V& v) {
    if constexpr (std::is_same_v<V, char>) return static_cast<unsigned char>(v);
    else if constexpr (std::is_integral_v<V> || std::is_enum_v<V>) return static_cast<int>(v);
    else if constexpr (IsSet<V>::value) return static_cast<int>(v.Bits());
    else return ObjectToOrd(static_cast<TObject*>(v));
}

template <class V>
V FromOrd(int v) {
    const TTypeInfo* type = TypeInfoOf<V>();
    if constexpr (IsSet<V>::value) {
        const TTypeInfo* elem = type->CompType;
        std::uint32_t valid = elem->MaxValue >= 31 ? ~0u : ((1u << (elem->MaxValue + 1)) - 1u);
        if (static_cast<std::uint32_t>(v) & ~valid) RaiseOutOfRange(type, v);
        return V::FromBits(static_cast<std::uint32_t>(v));
    } else if constexpr (IsObjectPointer<V>) {
        return static_cast<V>(OrdToObject(v));
    } else {
        if (type->OrdType != otULong && (v < type->MinValue || v > type->MaxValue))
            RaiseOutOfRange(type, v);
        return static_cast<V>(v);
    }
}

template <class G> struct GetterTraits;
template <class C, class V> struct GetterTraits<V C::*> { using Value = V; };
template <class C, class V> struct GetterTraits<V (C::*)() const> { using Value = std::decay_t<V>; };
template <class C, class V> struct GetterTraits<V (C::*)()> { using Value = std::decay_t<V>; };

template <class C, class V, class G, class S>
class TPropAccessorImpl final : public TPropAccessor {
public:
    TPropAccessorImpl(const TPropInfo* info, G getter, S setter)
        : FInfo(info), FGet(getter), FSet(setter) {}

    bool Writable() const override { return !std::is_null_pointer_v<S>; }

    V Read(TObject* instance) const {
        C* self = static_cast<C*>(instance);
        if constexpr (std::is_member_object_pointer_v<G>) return self->*FGet;
        else return (self->*FGet)();
    }

    void Write(TObject* instance, const V& value) const {
        C* self = static_cast<C*>(instance);
        if constexpr (std::is_null_pointer_v<S>) RaiseReadOnly(FInfo);
        else if constexpr (std::is_member_object_pointer_v<S>) self->*FSet = value;
        else (self->*FSet)(value);
    }

    int GetOrd(TObject* instance) const override {
        if constexpr (IsOrdinal<V>) return ToOrd(Read(instance));
        else return TPropAccessor::GetOrd(instance);
    }
    void SetOrd(TObject* instance, int value) const override {
        if constexpr (IsObjectPointer<V>) SetObject(instance, OrdToObject(value));
        else if constexpr (IsOrdinal<V>) Write(instance, FromOrd<V>(value));
        else TPropAccessor::SetOrd(instance, value);
    }
    double GetFloat(TObject* instance) const override {
        if constexpr (std::is_floating_point_v<V>) return Read(instance);
        else return TPropAccessor::GetFloat(instance);
    }
    void SetFloat(TObject* instance, double value) const override {
        if constexpr (std::is_floating_point_v<V>) Write(instance, static_cast<V>(value));
        else TPropAccessor::SetFloat(instance, value);
    }
    AnsiString GetStr(TObject* instance) const override {
        if constexpr (std::is_same_v<V, AnsiString>) return Read(instance);
        else return TPropAccessor::GetStr(instance);
    }
    void SetStr(TObject* instance, const AnsiString& value) const override {
        if constexpr (std::is_same_v<V, AnsiString>) Write(instance, value);
        else TPropAccessor::SetStr(instance, value);
    }
    TMethod GetMethod(TObject* instance) const override {
        if constexpr (IsEvent<V>::value) return Read(instance).Method();
        else return TPropAccessor::GetMethod(instance);
    }
    void SetMethod(TObject* instance, const TMethod& value) const override {
        if constexpr (IsEvent<V>::value) Write(instance, V::FromMethod(value));
        else TPropAccessor::SetMethod(instance, value);
    }
    TObject* GetObject(TObject* instance) const override {
        if constexpr (IsObjectPointer<V>) return Read(instance);
        else return TPropAccessor::GetObject(instance);
    }
    void SetObject(TObject* instance, TObject* value) const override {
        if constexpr (IsObjectPointer<V>) {
            using Pointee = std::remove_pointer_t<V>;
            if (value && !value->InheritsFrom(Pointee::StaticClass()))
                RaiseWrongClass(FInfo->PropType, value);
            Write(instance, static_cast<V>(value));
        } else {
            TPropAccessor::SetObject(instance, value);
        }
    }

private:
    const TPropInfo* FInfo;
    G FGet;
    S FSet;
};

template <class C>
TMetaClass* ParentClassOf() {
    if constexpr (std::is_same_v<C, TObject>) return nullptr;
    else return C::inherited::StaticClass();
}

}  // namespace Detail

// Builds a class's metaclass; see the example at the top of this file.
template <class C>
class TClassDecl {
public:
    explicit TClassDecl(const char* name) : FMeta(new TMetaClass(name, Detail::ParentClassOf<C>())) {
        TMetaClass::ComponentFactory component = nullptr;
        TMetaClass::ItemFactory item = nullptr;
        // Only the derived type need be complete for is_base_of, so this holds
        // in units that never include the component header.
        if constexpr (std::is_base_of_v<TComponent, C> && !std::is_abstract_v<C> &&
                      std::is_constructible_v<C, TComponent*>)
            component = [](TComponent* owner) -> TComponent* { return new C(owner); };
        if constexpr (std::is_base_of_v<TCollectionItem, C> && !std::is_abstract_v<C> &&
                      std::is_constructible_v<C, TCollection*>)
            item = [](TCollection* collection) -> TCollectionItem* { return new C(collection); };
        FMeta->SetFactories(component, item);
    }

    template <class G, class S>
    TClassDecl& Property(const char* name, G getter, S setter) {
        using V = typename Detail::GetterTraits<G>::Value;
        auto info = std::make_unique<TPropInfo>();
        info->Name = name;
        info->PropType = TypeInfoOf<V>();
        info->Declarer = FMeta;
        info->Access = std::make_unique<Detail::TPropAccessorImpl<C, V, G, S>>(info.get(), getter, setter);
        FLast = info.get();
        FMeta->AddProperty(std::move(info));
        return *this;
    }

    // Default value of the last ordinal property: equal values are not stored.
    template <class V>
    TClassDecl& Default(const V& value) {
        FLast->Default = Detail::ToOrd(value);
        return *this;
    }

    TClassDecl& Stored(bool stored) {
        FLast->StoredConst = stored;
        return *this;
    }

    TClassDecl& Stored(bool (C::*isStored)() const) {
        using M = bool (C::*)() const;
        FLast->StoredMember = std::make_shared<M>(isStored);
        FLast->StoredCall = [](const TPropInfo& p, TObject* instance) {
            return (static_cast<C*>(instance)->*(*static_cast<M*>(p.StoredMember.get())))();
        };
        return *this;
    }

    template <auto Member>
    TClassDecl& Method(const char* name) {
        using Inv = Detail::MemberInvoker<Member>;
        FMeta->AddMethod(TPublishedMethod{name, reinterpret_cast<void*>(&Inv::Call), Inv::Event::Signature()});
        return *this;
    }

    template <class F>
    TClassDecl& Field(const char* name, F* C::*member) {
        using M = F* C::*;
        TPublishedField field;
        field.Name = name;
        field.FieldClass = &F::StaticClass;
        field.Member = std::make_shared<M>(member);
        field.Assign = [](const TPublishedField& f, TObject* instance, TObject* value) {
            static_cast<C*>(instance)->*(*static_cast<M*>(f.Member.get())) = static_cast<F*>(value);
        };
        FMeta->AddField(std::move(field));
        return *this;
    }

    TMetaClass* Finish() { return FMeta; }

private:
    TMetaClass* FMeta;
    TPropInfo* FLast = nullptr;
};

#define FW_PUBLISH(Cls)                                                      \
    static const ::Fw::TClassAutoRegister fwAutoRegister_##Cls(&Cls::StaticClass, fwThisUnit); \
    ::Fw::TMetaClass* Cls::StaticClass() {                                   \
        static ::Fw::TMetaClass* const meta = ::Fw::TClassDecl<Cls>(#Cls)

#define FW_END_PUBLISH \
        .Finish();     \
        return meta;   \
    }

// Lookup by name searches ancestors and ignores ASCII case; null when missing.
const TPropInfo* GetPropInfo(const TMetaClass* cls, const AnsiString& name);
const TPropInfo* GetPropInfo(const TObject* instance, const AnsiString& name);
// Published properties in declaration order, ancestors' first.
const std::vector<const TPropInfo*>& GetPropList(const TMetaClass* cls);
bool IsPublishedProp(const TObject* instance, const AnsiString& name);
bool IsStoredProp(TObject* instance, const TPropInfo* prop);

int GetOrdProp(TObject* instance, const TPropInfo* prop);
void SetOrdProp(TObject* instance, const TPropInfo* prop, int value);
double GetFloatProp(TObject* instance, const TPropInfo* prop);
void SetFloatProp(TObject* instance, const TPropInfo* prop, double value);
AnsiString GetStrProp(TObject* instance, const TPropInfo* prop);
void SetStrProp(TObject* instance, const TPropInfo* prop, const AnsiString& value);
TMethod GetMethodProp(TObject* instance, const TPropInfo* prop);
// Refuses (EPropertyError) a published method whose shape differs from the event's.
void SetMethodProp(TObject* instance, const TPropInfo* prop, const TMethod& value);
TObject* GetObjectProp(TObject* instance, const TPropInfo* prop);
void SetObjectProp(TObject* instance, const TPropInfo* prop, TObject* value);
AnsiString GetEnumProp(TObject* instance, const TPropInfo* prop);
void SetEnumProp(TObject* instance, const TPropInfo* prop, const AnsiString& value);
AnsiString GetSetProp(TObject* instance, const TPropInfo* prop, bool brackets = true);
void SetSetProp(TObject* instance, const TPropInfo* prop, const AnsiString& value);

// Any property of a kind a Variant holds, as a Variant: integers as
// integers, characters as their codes, Booleans as Booleans, other
// enumerations and sets as their text (preferStrings) or as their ordinal and
// bit mask, floats as doubles, strings as strings. Class and event
// properties raise EPropertyError.
Variant GetPropValue(TObject* instance, const TPropInfo* prop, bool preferStrings = true);
// Sets the property from a Variant of any type, converted to the property's
// kind by the Variant's own rules (VarCast): an integer property takes "12"
// or 12.0, a string property takes 5 as "5". An enumeration takes an
// element's name or its ordinal, a set its text or its bit mask, a character
// a one-byte string or its code. A value that does not convert raises
// EConvertError or EVariantError; a value outside the type, EPropertyError.
void SetPropValue(TObject* instance, const TPropInfo* prop, const Variant& value);

// The same by property name; a missing property raises EPropertyError.
int GetOrdProp(TObject* instance, const AnsiString& name);
void SetOrdProp(TObject* instance, const AnsiString& name, int value);
double GetFloatProp(TObject* instance, const AnsiString& name);
void SetFloatProp(TObject* instance, const AnsiString& name, double value);
AnsiString GetStrProp(TObject* instance, const AnsiString& name);
void SetStrProp(TObject* instance, const AnsiString& name, const AnsiString& value);
TMethod GetMethodProp(TObject* instance, const AnsiString& name);
void SetMethodProp(TObject* instance, const AnsiString& name, const TMethod& value);
TObject* GetObjectProp(TObject* instance, const AnsiString& name);
void SetObjectProp(TObject* instance, const AnsiString& name, TObject* value);
AnsiString GetEnumProp(TObject* instance, const AnsiString& name);
void SetEnumProp(TObject* instance, const AnsiString& name, const AnsiString& value);
AnsiString GetSetProp(TObject* instance, const AnsiString& name, bool brackets = true);
void SetSetProp(TObject* instance, const AnsiString& name, const AnsiString& value);
Variant GetPropValue(TObject* instance, const AnsiString& name, bool preferStrings = true);
void SetPropValue(TObject* instance, const AnsiString& name, const Variant& value);

// The signature of the published method whose invoker is code, or null.
TSignature PublishedMethodSignature(void* code);

}  // namespace Fw
