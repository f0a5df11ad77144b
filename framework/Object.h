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

// Registers a class when the unit that describes it is loaded.
struct TClassAutoRegister {
    explicit TClassAutoRegister(TMetaClass* (*staticClass)()) { RegisterClass(staticClass()); }
};

}  // namespace Fw
