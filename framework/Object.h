// The root class, metaclasses and the registry of classes by name.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <vector>

// Names of the framework's own that <windows.h> would otherwise rename in
// some units and not in others. Call the Win32 functions by their A names.
#undef RegisterClass
#undef GetObject
#undef MessageBox

#include "framework/Events.h"
#include "framework/SysUtils.h"

namespace Fw {

class TObject;
class TMetaClass;
class TComponent;
class TCollection;
class TCollectionItem;
struct TTypeInfo;
struct TPropInfo;

using TClass = TMetaClass*;

// Declares the class's metaclass accessors; put it in the class's public
// part. It changes no access: the lines after it are as public as it is (a
// misplaced FW_CLASS fails to compile where FW_PUBLISH takes StaticClass).
// The metaclass itself is described once, in the class's .cpp, between
// FW_PUBLISH and FW_END_PUBLISH.
//
//     class TButton : public TWinControl {
//     public:
//         FW_CLASS(TButton, TWinControl)
//         explicit TButton(TComponent* owner);
//         ...
#define FW_CLASS(Cls, Parent)                         \
    using inherited = Parent;                         \
    static ::Fw::TMetaClass* StaticClass();           \
    ::Fw::TMetaClass* ClassType() const override { return StaticClass(); }

// A published method: the invoker of one member function, found by name.
struct TPublishedMethod {
    AnsiString Name;
    void* Code = nullptr;
    TSignature Signature = nullptr;
};

// A published field: a member pointer to a component, filled in by name when
// a form's components are read (the form's Button1 member after loading).
struct TPublishedField {
    AnsiString Name;
    TMetaClass* (*FieldClass)() = nullptr;
    void (*Assign)(const TPublishedField&, TObject* instance, TObject* value) = nullptr;
    std::shared_ptr<void> Member;  // the member pointer, typed by Assign
};

class TMetaClass {
public:
    using ComponentFactory = TComponent* (*)(TComponent* owner);
    using ItemFactory = TCollectionItem* (*)(TCollection* collection);

    TMetaClass(AnsiString name, TMetaClass* parent);
    TMetaClass(const TMetaClass&) = delete;
    TMetaClass& operator=(const TMetaClass&) = delete;
    ~TMetaClass();

    const AnsiString& ClassName() const { return FName; }
    TMetaClass* ClassParent() const { return FParent; }
    bool InheritsFrom(const TMetaClass* ancestor) const;
    bool ClassNameIs(const AnsiString& name) const;

    // Published properties in declaration order, ancestors' first.
    const std::vector<const TPropInfo*>& Properties() const;
    // The properties this class itself declares.
    const std::vector<std::unique_ptr<TPropInfo>>& OwnProperties() const { return FOwnProperties; }

    // Published methods by name, without regard to ASCII case; ancestors are
    // searched too. Null when there is no such method.
    const TPublishedMethod* FindMethod(const AnsiString& name) const;
    void* MethodAddress(const AnsiString& name) const;
    // Name of the published method whose invoker is code, or "".
    AnsiString MethodName(void* code) const;

    const TPublishedField* FindField(const AnsiString& name) const;

    // The virtual constructors: most derived class's constructor runs. A
    // component is then finished with AfterConstruction; when that raises,
    // it is destroyed again (FreeComponent) and the exception goes on. With
    // reference, *reference holds the component from the end of its
    // constructor on (AfterConstruction, a form's OnCreate, may look at it)
    // and is null again when creation fails.
    bool IsComponentClass() const { return FComponentFactory != nullptr; }
    TComponent* CreateComponent(TComponent* owner, TComponent** reference = nullptr) const;
    bool IsItemClass() const { return FItemFactory != nullptr; }
    TCollectionItem* CreateItem(TCollection* collection) const;

    // Used by the class declaration builder only.
    void SetFactories(ComponentFactory component, ItemFactory item);
    void AddProperty(std::unique_ptr<TPropInfo> prop);
    void AddMethod(TPublishedMethod method);
    void AddField(TPublishedField field);

private:
    AnsiString FName;
    TMetaClass* FParent;
    std::vector<std::unique_ptr<TPropInfo>> FOwnProperties;
    mutable std::vector<const TPropInfo*> FAllProperties;
    mutable bool FAllPropertiesReady = false;
    std::vector<TPublishedMethod> FMethods;
    std::vector<TPublishedField> FFields;
    ComponentFactory FComponentFactory = nullptr;
    ItemFactory FItemFactory = nullptr;
};

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject();

    static TMetaClass* StaticClass();
    virtual TMetaClass* ClassType() const { return StaticClass(); }

    AnsiString ClassName() const { return ClassType()->ClassName(); }
    bool ClassNameIs(const AnsiString& name) const { return ClassType()->ClassNameIs(name); }
    bool InheritsFrom(const TMetaClass* ancestor) const { return ClassType()->InheritsFrom(ancestor); }
    void* MethodAddress(const AnsiString& name) const { return ClassType()->MethodAddress(name); }
    AnsiString MethodName(void* code) const { return ClassType()->MethodName(code); }
};

// Makes a class findable by its name. Registering the same class twice is
// harmless; another class under a name already taken raises EFilerError.
void RegisterClass(TMetaClass* cls);
void RegisterClasses(std::initializer_list<TMetaClass*> classes);
void UnRegisterClass(TMetaClass* cls);
// The class registered under name (ASCII case ignored), or null.
TMetaClass* GetClass(const AnsiString& name);
// As GetClass, but raises EClassNotFound naming the class when it is missing.
TMetaClass* FindClass(const AnsiString& name);
// Every class registered now, ordered by name.
std::vector<TMetaClass*> RegisteredClasses();

// ---- Exceptions at the boundaries ----
//
// Code that the system calls (a window procedure, a synchronised call) and
// code that runs in a teardown cannot let an exception unwind into its
// caller. Such a boundary catches it and hands it to HandleException, which
// passes it to ApplicationHandleException: the application object sets that
// to its own HandleException (OnException, or a message box), so the core
// needs nothing of the application.
extern TNotifyEvent ApplicationHandleException;
// Reports the exception being handled (call it inside a catch block) with
// sender as its source. Without ApplicationHandleException the exception's
// text is shown in a message box under the program's file name. EAbort
// passes in silence. Never raises; outside a catch block it does nothing.
void HandleException(TObject* sender) noexcept;

class TUnit;

// Made by FW_PUBLISH for each class it describes. A class of a library unit
// (its file has FW_UNIT_BEGIN or FW_UNIT_PART before the FW_PUBLISH) is
// registered by its unit's Classes list and nowhere else; any other class (a
// program's own) is registered when the file that describes it is
// initialised. Either way the class is recorded as published, so that
// UnlistedClasses can find a unit's class its list forgot.
struct TClassAutoRegister {
    TClassAutoRegister(TMetaClass* (*staticClass)(), TUnit& (*unit)());
};

// ---- Units: the initialise and finalise steps ----
//
// Each library unit (a header and its .cpp: framework/StdCtrls, kit/Threads)
// has an initialise and a finalise step, run once per program. The first
// registers the unit's classes, so that they are found by name (GetClass,
// the form-text reader, creation by class name), and does whatever else the
// unit must do before it is used; the second undoes it at the program's end.
//
// Static initialisers in the unit's .cpp alone do not do: the libraries are
// static archives, and the linker takes an object file into a program only
// when something else in the program refers to it. A class that a program
// names only in form text, or through GetClass, sits in an object file
// nothing refers to, so its registration never runs and the class is not
// found. And where it does run, C++ leaves the order of initialisation
// across files open, so another file's static initialiser could look for
// the class before it is registered. So a unit takes part in two ways:
//
// 1. Including its header is enough. The header declares the unit with
//    FW_UNIT(Name), which puts a small counter object (TUnitUse) into every
//    file that includes it. Constructing it refers to the unit's definition,
//    which draws the unit's object file into the program; the first one
//    constructed runs the initialise step, before any static object that
//    file defines after the #include. The last one destroyed runs the
//    finalise step, after those objects are gone. A header includes the
//    headers of the units it builds on, so units initialise in the order of
//    their dependencies and finalise in the reverse order.
//
// 2. Linking the library is enough. The framework and Kit libraries are
//    linked whole (WHOLE_ARCHIVE in CMakeLists.txt), so every unit's object
//    file is in every program that uses the library; each unit's .cpp
//    includes its own header, so every unit initialises at start-up, and a
//    class named only in a form is found.
//
// The unit itself is defined in its .cpp, in the namespace of its header's
// FW_UNIT, in a table that reads like a declaration:
//
//     // Threads.h, in namespace Kit, after the declarations:
//     FW_UNIT(Threads)
//
//     // Threads.cpp, in namespace Kit:
//     FW_UNIT_BEGIN(Threads)
//         .Classes<TEventWaiter, TThreadBroker, TPathObserver, TEventAlerter>()
//         .Initialization(&StartThreads)    // optional: void () functions
//         .Finalization(&EndThreads)        // optional
//     FW_UNIT_END
//
// Classes lists the classes the unit describes with FW_PUBLISH: they are
// registered before the Initialization step runs and unregistered after the
// Finalization step. (FW_PUBLISH also registers its class when its file is
// initialised, which is all a program's own classes need: a program's own
// object files are always linked.) The steps run on the thread that starts
// the program, before main and after it returns; a step that raises ends
// the program, as any static initialiser that raises does.
class TUnit {
public:
    explicit TUnit(const char* name) : FName(name) {}
    TUnit(const TUnit&) = delete;
    TUnit& operator=(const TUnit&) = delete;

    template <class... C>
    TUnit& Classes() {
        (FClasses.push_back(&C::StaticClass), ...);
        return *this;
    }
    TUnit& Initialization(void (*step)()) {
        FInitialize = step;
        return *this;
    }
    TUnit& Finalization(void (*step)()) {
        FFinalize = step;
        return *this;
    }

    const char* Name() const { return FName; }
    bool Initialized() const { return FUses > 0; }
    // The classes Classes listed, in order.
    std::vector<TMetaClass*> ClassList() const;
    // The first use registers the classes and runs the initialise step; the
    // last release runs the finalise step and unregisters the classes.
    void Use();
    void Release();

private:
    const char* FName;
    std::vector<TMetaClass* (*)()> FClasses;
    void (*FInitialize)() = nullptr;
    void (*FFinalize)() = nullptr;
    int FUses = 0;
};

// One use of a unit by a file that includes its header (FW_UNIT).
class TUnitUse {
public:
    explicit TUnitUse(TUnit& (*unit)()) : FUnit(unit()) { FUnit.Use(); }
    ~TUnitUse() { FUnit.Release(); }
    TUnitUse(const TUnitUse&) = delete;
    TUnitUse& operator=(const TUnitUse&) = delete;

private:
    TUnit& FUnit;
};

#define FW_UNIT(Unit)                                                         \
    ::Fw::TUnit& FwUnit##Unit();                                              \
    namespace {                                                               \
    [[maybe_unused]] const ::Fw::TUnitUse fwUnitUse##Unit(&FwUnit##Unit);     \
    }

// Marks the rest of a file as the unit's: the classes it publishes belong to
// the unit's list. FW_UNIT_BEGIN does it for the file that defines the unit;
// FW_UNIT_PART for any further file of the same unit.
#define FW_UNIT_PART(Unit)                                                      \
    namespace {                                                                 \
    [[maybe_unused]] constexpr ::Fw::TUnit& (*fwThisUnit)() = &FwUnit##Unit;    \
    }

// The unit object lives as long as the program, past every file's exit code.
// It comes before the file's FW_PUBLISH descriptions.
#define FW_UNIT_BEGIN(Unit)                                    \
    FW_UNIT_PART(Unit)                                         \
    ::Fw::TUnit& FwUnit##Unit() {                              \
        static ::Fw::TUnit& fwUnit = (*new ::Fw::TUnit(#Unit))

#define FW_UNIT_END  \
        ;            \
        return fwUnit; \
    }

// Classes described with FW_PUBLISH in a unit's files that the unit's
// Classes list does not name (and so nothing registers), in no set order.
std::vector<TMetaClass*> UnlistedClasses();

}  // namespace Fw

// No unit: the files of a program's own classes.
inline constexpr ::Fw::TUnit& (*fwThisUnit)() = nullptr;
