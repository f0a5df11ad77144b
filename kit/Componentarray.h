// Component arrays and property persistence: an indexed array of like
// components of one owner, and a serializer that saves chosen properties of
// an owner's components to streams and files and loads them back.
//
// Both keep their list as string-list text in the owner's stored form data,
// under the custom property "Items" (one name, or one property line, a
// line). Both work on the components of their own owner, and refuse with an
// Exception when they have none.
//
// The unit's initialise step registers TComponentArray, TPropertySerializer
// and TComponentPropertyList by name (see Units in framework/Object.h).
#pragma once

#include "framework/Controls.h"
#include "framework/Filer.h"
#include "framework/StringList.h"
#include "kit/Catools.h"

namespace Kit {

// ---- Component array ----

using TCreateNewEvent = Fw::TEvent<Fw::TObject*, Fw::TComponent*>;
using TElementEvent = Fw::TEvent<Fw::TObject*, int, Fw::TComponent*>;

// An ordered list of components of one class that belong to the array's
// owner (usually a form), reached by index. The array never owns its
// elements: removing one leaves the component with its owner, and a
// component that is destroyed leaves the array (without OnDelete).
//
// The list is stored as the elements' names and turned back into components
// once loading ends: names that no component of the owner bears by then are
// dropped, and the element class follows the first element.
class TComponentArray : public Fw::TComponent {
public:
    FW_CLASS(TComponentArray, Fw::TComponent)
    explicit TComponentArray(Fw::TComponent* Owner);
    // Frees the list, not the elements.
    ~TComponentArray() override;

    // Makes a component of the element class (ElementClassType, else the
    // first element's class, else the class registered as ElementClassName)
    // owned by the array's owner, names it (name, or "Button" and the lowest
    // free number: Button1, Button2, ... whatever the class), puts a control
    // on ParentControl (else on the owner when that is a form), calls
    // OnCreateNew and adds it. "クラスが決定できません." when no class is
    // known; nothing is made then. A name that is invalid or taken raises
    // the framework's naming error; the component stays with the owner,
    // unnamed and not added.
    Fw::TComponent* CreateNew(Fw::AnsiString name = Fw::AnsiString());
    // Appends component (under its current name) and returns its index;
    // OnAdd may rename it, and the entry follows. A component of another
    // owner is watched, so that its destruction takes it out of the array.
    // Null is refused.
    int Add(Fw::TComponent* component);
    // Takes entry index out and returns its component, which stays alive;
    // OnDelete follows. "配列にコンポーネントが格納されていません." for an
    // entry without a component; EListError for an index outside the list.
    Fw::TComponent* Delete(int index);
    // Takes every entry out; no events, no component freed.
    void Clear();
    // The first index holding that very component, or -1.
    int IndexOfElement(Fw::TComponent* component) const;

    // Sets the property on every element in order; the first failure stops
    // the loop, and the elements done keep their new value.
    void SetProperty(Fw::AnsiString name, const Fw::Variant& value);
    // Sets start, start + step, start + 2 * step, ... on the elements in order.
    void SetPropertyAutoInc(Fw::AnsiString name, int start, int step);
    // Points the event of every element at target's published method
    // (refused before any element is touched when there is no such method).
    void SetEvent(Fw::AnsiString eventName, Fw::TObject* target, Fw::AnsiString methodName);

    // Turns the entries' names into the owner's components; entries whose
    // name no component bears are dropped.
    void UpdateElements();
    // Gives every entry its element's current name; entries without a
    // component are dropped.
    void UpdateStrings();

    int GetElementCount() const;
    int ElementCount() const { return GetElementCount(); }
    // Does nothing: the count follows the entries.
    void SetElementCount(int value);
    Fw::AnsiString ElementClassName() const { return FElementClassName; }
    void SetElementClassName(Fw::AnsiString value);
    Fw::TMetaClass* ElementClassType() const { return FElementClassType; }
    void SetElementClassType(Fw::TMetaClass* value);
    Fw::TWinControl* ParentControl() const { return FParentControl; }
    // Outside loading, drops the elements that are not controls directly on
    // control; when none is left, ElementClassName becomes empty.
    void SetParent(Fw::TWinControl* control);

    // Element index, wrapped.
    ObjectAttributes GetElements(int index) const;
    ObjectAttributes Elements(int index) const { return GetElements(index); }
    // The list itself, its texts refreshed from the elements' names first.
    Fw::TStrings* GetItems();
    Fw::TStrings* Items() { return GetItems(); }
    // Takes over the texts and objects of value; components of another
    // owner among them are watched, as Add watches them.
    void SetItems(Fw::TStrings* value);

    TCreateNewEvent OnCreateNew;  // each element CreateNew made, before it is added
    TElementEvent OnAdd;          // after an element was added at Index
    TElementEvent OnDelete;       // after Delete took the element at Index out

protected:
    void DefineProperties(Fw::TFiler* filer) override;
    void Loaded() override;
    void Notification(Fw::TComponent* component, Fw::TOperation operation) override;
    void ReadItems(Fw::TReader* reader);
    void WriteItems(Fw::TWriter* writer);

private:
    Fw::TComponent* RequireOwner() const;
    void Watch(Fw::TComponent* component);
    Fw::TComponent* ElementAt(int index) const;

    Fw::TStringList* FItems;
    Fw::TWinControl* FParentControl = nullptr;
    Fw::AnsiString FElementClassName;
    Fw::TMetaClass* FElementClassType = nullptr;
};

// ---- Property serializer ----

// The selection of components and properties: a line without a leading tab
// names a component of the serializer's owner, and each line below it that
// starts with a tab names one of that component's published properties.
//
//     Button1
//     <tab>Left
//     <tab>Caption
//     Edit1
//     <tab>Text
class TComponentPropertyList : public Fw::TStringList {
public:
    FW_CLASS(TComponentPropertyList, Fw::TStringList)
    using TPropertyProc = Fw::TEvent<const Fw::AnsiString&, const Fw::AnsiString&>;

    // Calls proc with (component name, property name) for each property
    // line, in list order. An empty line, or a property line before the
    // first component line, raises an Exception naming its line when the
    // walk reaches it.
    void GetComponentProperties(const TPropertyProc& proc) const;
};

// One pass over the entries, writing or reading each in turn.
class TComponentPropertyFiler {
public:
    TComponentPropertyFiler(Fw::TComponent* owner, Fw::TStream* stream) : FOwner(owner), FStream(stream) {}
    virtual ~TComponentPropertyFiler() = default;
    TComponentPropertyFiler(const TComponentPropertyFiler&) = delete;
    TComponentPropertyFiler& operator=(const TComponentPropertyFiler&) = delete;

    // The serializer's owner and the stream of the pass; neither is owned.
    Fw::TComponent* Owner() const { return FOwner; }
    Fw::TStream* Stream() const { return FStream; }

    // The step of one entry: component is the entry's component, wrapped.
    virtual void ProcessProperty(ObjectAttributes* component, const Fw::AnsiString& componentName,
                                 const Fw::AnsiString& propertyName) = 0;

protected:
    Fw::TComponent* FOwner;
    Fw::TStream* FStream;
};

// Writes an entry: the component name, the property name and the value as
// text, each as a count byte (length + 1) and the bytes with a zero byte.
// A text longer than 126 bytes is refused before any byte of the entry is
// written.
class TComponentPropertyWriter : public TComponentPropertyFiler {
public:
    using TComponentPropertyFiler::TComponentPropertyFiler;
    void ProcessProperty(ObjectAttributes* component, const Fw::AnsiString& componentName,
                         const Fw::AnsiString& propertyName) override;
};

// Reads an entry and applies its value. Stored names that differ from the
// entry's (case-sensitively) raise "read error!!"; a count byte of 0 or
// below, or a text without its zero byte, raises EReadError, and so does a
// stream that ends inside the entry.
class TComponentPropertyReader : public TComponentPropertyFiler {
public:
    using TComponentPropertyFiler::TComponentPropertyFiler;
    void ProcessProperty(ObjectAttributes* component, const Fw::AnsiString& componentName,
                         const Fw::AnsiString& propertyName) override;
};

// Saves the listed properties of its owner's components, in list order,
// and loads them back. Values go as text: ordinal kinds (characters,
// enumerations, Booleans, sets) as signed decimal numbers, floats as their
// truncated integer, strings as they are; class and event properties are
// refused. Loading applies each value as it is read: an error leaves the
// entries before it applied and the rest untouched.
//
// A component line that names no component of the owner is refused,
// naming its line, before anything of its first entry is read or written.
class TPropertySerializer : public Fw::TComponent {
public:
    FW_CLASS(TPropertySerializer, Fw::TComponent)
    explicit TPropertySerializer(Fw::TComponent* Owner);
    ~TPropertySerializer() override;

    // The list, stored with the owner as "Items"; edit it as a string list.
    TComponentPropertyList* Items() const { return FItems; }
    void SetItems(Fw::TStrings* value);

    // From the stream's current position on.
    void SaveToStream(Fw::TStream* stream);
    void LoadFromStream(Fw::TStream* stream);
    // The file is written only once every entry has been saved: a save
    // that fails leaves the file as it was.
    void SaveToFile(const Fw::AnsiString& fileName);
    void LoadFromFile(const Fw::AnsiString& fileName);

protected:
    void DefineProperties(Fw::TFiler* filer) override;
    void ReadItems(Fw::TReader* reader);
    void WriteItems(Fw::TWriter* writer);

private:
    Fw::TComponent* RequireOwner() const;
    void Pass(TComponentPropertyFiler& filer);

    TComponentPropertyList* FItems;
};

// The unit's initialise and finalise steps.
FW_UNIT(Componentarray)

}  // namespace Kit
