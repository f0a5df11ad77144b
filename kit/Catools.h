// Run-time type tools: an object's published properties, events and methods
// by name; the open-array argument records as text, numbers and objects;
// components made by class, named uniquely, and names in their natural order.
//
// Names are matched without regard to ASCII case, as the type information
// matches them. Values travel as Variants: a property reads as an integer
// (every ordinal kind, and a float truncated toward zero) or as a string,
// and is written from any Variant the framework's variant cast can turn into
// the property's kind. Every failure is an Exception with a message that
// names the class and the property, event or method; nothing is changed on
// the object before it is raised.
//
// The unit's initialise and finalise steps have nothing to register: it
// declares no classes of its own (see Units in framework/Object.h).
#pragma once

#include "framework/DesignIntf.h"
#include "framework/StringList.h"
#include "framework/VarRec.h"

namespace Kit {

// ---- Properties, events and methods by name ----

// Whether the object's class publishes a property of that name (events
// included). These three, like every function below that takes an object,
// refuse a null object with an Exception.
bool ObjectHasProperty(Fw::TObject* object, Fw::AnsiString name);
// Whether it publishes an event (a property of kind tkMethod) of that name.
bool ObjectHasEvent(Fw::TObject* object, Fw::AnsiString name);
// Whether it publishes a method of that name.
bool ObjectHasMethod(Fw::TObject* object, Fw::AnsiString name);

// The property's value: an integer Variant for the ordinal kinds (a
// character as its code, an enumeration or Boolean as its ordinal, a set as
// its bit mask, an object as its address) and for floats (truncated toward
// zero; EConvertError when the value has no 32-bit integer reading), a
// string Variant for strings. Other kinds raise the unsupported-kind error.
// The 64-bit build reads an object only when it is null (0): an address
// does not fit the integer.
Fw::Variant GetProperty(Fw::TObject* object, Fw::AnsiString name);
// Stores the value cast to integer (ordinal kinds), double (floats) or
// string (strings); the property's setter runs. The 64-bit build stores
// an object only as 0 (null).
void SetProperty(Fw::TObject* object, Fw::AnsiString name, const Fw::Variant& value);
Fw::TMethod GetEvent(Fw::TObject* object, Fw::AnsiString name);
void SetEvent(Fw::TObject* object, Fw::AnsiString name, const Fw::TMethod& handler);
// The published method as a handler: (its code, the object).
Fw::TMethod GetMethod(Fw::TObject* object, Fw::AnsiString name);

// ---- Open-array argument records ----

// vtInteger as decimal text, vtBoolean as "true" or "false", a character
// as itself, a wide character as the decimal number of its code, and the
// string kinds as their text (wide text in the ANSI code page). Other kinds
// raise "値を文字列に変換できませんでした.".
Fw::AnsiString VarRecToString(const Fw::TVarRec& record);
// vtPointer and vtObject; other kinds raise "値をオブジェクトに変換できませんでした.".
Fw::TObject* VarRecToObject(const Fw::TVarRec& record);
// vtInteger, vtBoolean as 0 or 1, and the text kinds through StrToInt
// (EConvertError for text that is not a number). Other kinds raise the
// error of VarRecToString.
int VarRecToInteger(const Fw::TVarRec& record);

// ---- A wrapper that reaches an object's members by name ----

// Wraps an object without owning it: copies share the object, and the
// wrapper's end leaves it alone. May wrap null (the accessors then refuse).
class ObjectAttributes {
public:
    ObjectAttributes(Fw::TObject* object = nullptr) : Object(object) {}

    Fw::Variant GetProperties(Fw::AnsiString name) const { return GetProperty(Object, name); }
    void SetProperties(Fw::AnsiString name, const Fw::Variant& value) const { SetProperty(Object, name, value); }
    Fw::TMethod GetEvents(Fw::AnsiString name) const { return GetEvent(Object, name); }
    void SetEvents(Fw::AnsiString name, const Fw::TMethod& handler) const { SetEvent(Object, name, handler); }
    Fw::TMethod GetMethods(Fw::AnsiString name) const { return GetMethod(Object, name); }

    // The three members as properties indexed by name:
    //     attributes.Properties("Left") = 8;
    //     int left = attributes.Properties("Left").Value().AsInteger();
    //     attributes.Events("OnClick") = attributes.Methods("Button1Click");
    template <class V, V (*Get)(Fw::TObject*, Fw::AnsiString), void (*Set)(Fw::TObject*, Fw::AnsiString, const V&)>
    class TNamedMember {
    public:
        TNamedMember(Fw::TObject* object, Fw::AnsiString name) : FObject(object), FName(std::move(name)) {}
        operator V() const { return Get(FObject, FName); }
        V Value() const { return Get(FObject, FName); }
        const TNamedMember& operator=(const V& value) const {
            Set(FObject, FName, value);
            return *this;
        }
        const TNamedMember& operator=(const TNamedMember& other) const { return *this = other.Value(); }

    private:
        Fw::TObject* FObject;
        Fw::AnsiString FName;
    };
    using TPropertyRef = TNamedMember<Fw::Variant, &GetProperty, &SetProperty>;
    using TEventRef = TNamedMember<Fw::TMethod, &GetEvent, &SetEvent>;

    TPropertyRef Properties(Fw::AnsiString name) const { return TPropertyRef(Object, std::move(name)); }
    TEventRef Events(Fw::AnsiString name) const { return TEventRef(Object, std::move(name)); }
    Fw::TMethod Methods(Fw::AnsiString name) const { return GetMethod(Object, std::move(name)); }

    // Pointer-style access on a value: attributes->GetProperties("Left").
    ObjectAttributes* operator->() { return this; }
    const ObjectAttributes* operator->() const { return this; }
    operator Fw::TObject*() const { return Object; }

    Fw::TObject* Object;
};

// ---- Components by class and by name ----

// A new component of the class, made by its virtual constructor (the most
// derived class's constructor, then AfterConstruction: a form has read its
// form resource) and owned by owner.
Fw::TComponent* CreateComponent(Fw::TMetaClass* componentClass, Fw::TComponent* owner);
// baseName followed by the lowest number from 1 that no component of owner
// bears (ASCII case ignored): Button1, Button2, ... The base is used as it
// is (Label3 gives Label31). Raises an Exception for a null owner.
Fw::AnsiString FindUniqueName(Fw::TComponent* owner, Fw::AnsiString baseName);

// Called with each property name.
using TGetStrProc = Fw::TEvent<const Fw::AnsiString&>;
// The names of the component's published properties other than events, as
// the designer's property inspector lists them: in declaration order,
// inherited ones first. designer may be null; it is held for the call.
void GetProperties(Fw::TComponent* component, Fw::IFormDesigner* designer, const TGetStrProc& proc);

// ---- Natural order of names ----

// 1-based position of the first byte '0' to '9' in text, 0 when there is
// none (bytes of double-byte characters are never digits).
int FirstNumPos(Fw::AnsiString text);
// Names of one stem in the order of the number at their end (Button2 before
// Button10); other names in AnsiCompareStr order. Negative, 0 or positive.
int CompareComponentNames(Fw::AnsiString a, Fw::AnsiString b);

using TStringCompare = int (*)(Fw::AnsiString, Fw::AnsiString);
// Sorts items first..last (inclusive) of list by compare with a quicksort
// whose pivot is the middle item's text; the list's Exchange moves each pair,
// so attached objects go with their texts. Not stable. The range must lie in
// the list: an empty list raises the list's index error.
void SortStrings(Fw::TStrings* list, int first, int last, TStringCompare compare);

namespace Detail {
// The property of that name, or the missing-property error.
const Fw::TPropInfo* RequireProperty(Fw::TObject* object, const Fw::AnsiString& name);
[[noreturn]] void RaiseUnsupportedKind(Fw::TObject* object, const Fw::TPropInfo* prop);
// The object, or an Exception that says none was given.
Fw::TObject* RequireObject(Fw::TObject* object);
}  // namespace Detail

// The unit's initialise and finalise steps.
FW_UNIT(Catools)

}  // namespace Kit
