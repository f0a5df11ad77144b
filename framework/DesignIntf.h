// The design-time interfaces that a component library meets: the form
// designer, the selection of components it works on, and the property
// editors through which a property inspector lists and edits their
// properties.
//
// There is no form designer in this framework, but code written for one
// (a library's GetProperties, a component editor) runs against these names:
// a selection is made by hand, and GetComponentProperties hands out an editor
// for each published property of the selection, as an inspector would list
// them.
#pragma once

#include <vector>

#include "framework/Component.h"

namespace Fw {

using TTypeKinds = TSet<TTypeKind>;

// Every kind of property, and every kind but events (tkMethod).
inline constexpr TTypeKinds tkAny = TTypeKinds::FromBits((1u << (tkDynArray + 1)) - 1u);
inline constexpr TTypeKinds tkProperties = tkAny - TTypeKinds{tkMethod};

// The form designer that a design-time object works for. Reference counted:
// whoever keeps it beyond a call holds a reference (AddRef) and gives it
// back (Release).
class IFormDesigner {
public:
    virtual unsigned long AddRef() = 0;
    virtual unsigned long Release() = 0;
    // The form (or other root) being designed.
    virtual TComponent* GetRoot() = 0;
    // Something of the root was changed through the designer.
    virtual void Modified() = 0;

protected:
    ~IFormDesigner() = default;
};

// The persistent objects a design-time operation works on; not owned.
class TDesignerSelectionList : public TObject {
public:
    FW_CLASS(TDesignerSelectionList, TObject)
    TDesignerSelectionList() = default;

    int Add(TPersistent* item);
    int Count() const { return static_cast<int>(FItems.size()); }
    // EListError for an index outside the list.
    TPersistent* Items(int index) const;

private:
    std::vector<TPersistent*> FItems;
};

// The editor of one published property of a selection: the same property
// of every selected object.
class TPropertyEditor : public TObject {
public:
    FW_CLASS(TPropertyEditor, TObject)
    // The property of each selected object, in the selection's order; the
    // first names the property.
    TPropertyEditor(IFormDesigner* designer, std::vector<std::pair<TPersistent*, const TPropInfo*>> props);

    IFormDesigner* Designer() const { return FDesigner; }
    int PropCount() const { return static_cast<int>(FProps.size()); }
    TPersistent* GetComponent(int index) const;
    const TPropInfo* GetPropInfo() const { return FProps.front().second; }
    // The property's name as it is declared.
    virtual AnsiString GetName() const;

private:
    IFormDesigner* FDesigner;
    std::vector<std::pair<TPersistent*, const TPropInfo*>> FProps;
};

// Called with each editor; the editor lives until the call returns.
using TGetPropEditProc = TEvent<TPropertyEditor*>;

// An editor for each published property that every object of the selection
// has (the same name and kind) and whose kind is in filter, in the first
// object's declaration order, inherited properties first; a property that
// a class declares again is listed once, as the class declares it. An
// exception from proc ends the enumeration and passes on.
void GetComponentProperties(TDesignerSelectionList* components, TTypeKinds filter, IFormDesigner* designer,
                            const TGetPropEditProc& proc);

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(DesignIntf)

}  // namespace Fw
