// Persistent objects and components: assignment, ownership, names,
// notification and component state.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "framework/TypeInfo.h"

namespace Fw {

class TFiler;
class TReader;
class TWriter;

class TPersistent : public TObject {
public:
    FW_CLASS(TPersistent, TObject)
    // Copies source's state into this object; the source decides how through
    // AssignTo. Raises EConvertError when neither side knows the other.
    virtual void Assign(TPersistent* source);
    virtual AnsiString GetNamePath();

protected:
    virtual void AssignTo(TPersistent* dest);
    // Where an object stores data that is not a published property.
    virtual void DefineProperties(TFiler* filer);
    virtual TPersistent* GetOwner();

    friend class TReader;
    friend class TWriter;
};

enum TComponentStateItem {
    csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor, csUpdating,
    csFixups, csFreeNotification, csInline, csDesignInstance
};
FW_ENUM_INFO(TComponentStateItem, "csLoading", "csReading", "csWriting", "csDestroying",
             "csDesigning", "csAncestor", "csUpdating", "csFixups", "csFreeNotification",
             "csInline", "csDesignInstance")
using TComponentState = TSet<TComponentStateItem>;

enum TOperation { opInsert, opRemove };

class TComponent;
using TGetChildProc = TEvent<TComponent*>;

// ---- An object destroyed by its own event ----
//
// A handler may free the component whose event it handles, or the form that
// owns it (a window closed from its own button's click), and nothing but a
// life token tells the code that fired the event. The rule, kept wherever
// the framework and Kit fire an event (or call a handler) and go on with the
// object afterwards: take the object's token before the call, and once it
// reads gone touch nothing of the object again - no field, no virtual
// function, no further event. Code that does nothing with the object after
// the call needs no token.
//
// Every component hands out tokens (TComponent::Life); a plain object that
// calls handlers (a message dispatcher) holds a TLife of its own. A token is
// cheap to copy, outlives its object, and may be read on another thread: a
// worker that reports to a component through a synchronised call learns
// from it that the call freed the component.
class TLifeToken {
public:
    TLifeToken() = default;  // watches nothing: reads gone
    bool Alive() const { return FAlive && FAlive->load(std::memory_order_acquire); }
    explicit operator bool() const { return Alive(); }

private:
    friend class TLife;
    explicit TLifeToken(std::shared_ptr<const std::atomic<bool>> alive) : FAlive(std::move(alive)) {}
    std::shared_ptr<const std::atomic<bool>> FAlive;
};

// The half that an object holds: its tokens read gone once it is destroyed
// (for a component, at the very end of its destruction, after its owned
// components have gone).
class TLife {
public:
    TLife() = default;
    ~TLife();
    TLife(const TLife&) = delete;
    TLife& operator=(const TLife&) = delete;
    // The flag is made at the first call, on the thread that uses the object.
    TLifeToken Token() const;

private:
    mutable std::shared_ptr<std::atomic<bool>> FAlive;
};

// A component's life has two steps beside its constructor and destructor,
// because C++ reaches a derived class's virtual functions only while that
// class's part of the object exists:
//
// - AfterConstruction runs once the most derived constructor has finished.
//   Every way the framework makes a component runs it: the metaclass's
//   CreateComponent (the form-text reader, creation by class name, the
//   application's CreateForm) and NewComponent<T>. A form reads its form
//   resource and fires OnCreate there.
// - BeforeDestruction runs while the object is still whole, before delete.
//   Every way the framework destroys a component runs it: FreeComponent,
//   which owners, parents, a form's release, the application and a failed
//   read all use. A component that must switch itself off through its
//   descendants' overrides (SetActive, DoActivate) does it there; its
//   destructor would see only its own class.
//
// A component made with plain new, or on the stack, skips AfterConstruction
// unless its user calls it; one destroyed with plain delete, or leaving
// scope, skips BeforeDestruction.
class TComponent : public TPersistent {
public:
    FW_CLASS(TComponent, TPersistent)
    explicit TComponent(TComponent* owner);
    // Frees the owned components (DestroyComponents), tells every component
    // that asked for free notification, and leaves the owner.
    ~TComponent() override;

    // The two steps (see above); both do nothing here. An override calls the
    // inherited one.
    virtual void AfterConstruction();
    virtual void BeforeDestruction();

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const;
    int ComponentIndex() const;

    const AnsiString& Name() const { return FName; }
    // An identifier, or empty; unique among the owner's components without
    // regard to ASCII case. Raises EComponentError otherwise.
    virtual void SetName(const AnsiString& name);
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // A token that reads gone once this component is destroyed (see above).
    TLifeToken Life() const { return FLife.Token(); }

    TComponentState ComponentState() const { return FComponentState; }
    // The two questions components ask of their state: placed in the form
    // designer (stay inert: no threads, hooks or OLE), and being read from a
    // stream (setters only record; Loaded acts).
    bool IsDesigning() const { return FComponentState.Contains(csDesigning); }
    bool IsLoading() const { return FComponentState.Contains(csLoading); }
    // The designer is not part of this framework, but design mode is settable
    // so that components' design-time behaviour can be exercised.
    void SetDesigning(bool designing, bool setChildren = true);

    // The owned component of that name, ASCII case ignored; null for "".
    TComponent* FindComponent(const AnsiString& name) const;

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Frees the owned components, last created first: each one's
    // BeforeDestruction while it is whole and still owned, then delete. An
    // exception from BeforeDestruction is reported (HandleException) and the
    // component goes all the same.
    void DestroyComponents();
    // Marks this component and its owned components as being destroyed.
    void Destroying();

    // Asks to hear (through Notification with opRemove) when component is
    // destroyed, and tells component the same of this one. Components of one
    // owner hear of each other through that owner: when either is destroyed,
    // alone or in the owner's teardown, the owner tells all its components.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    AnsiString GetNamePath() override;

    // Streaming: the component that a reader places this one inside.
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent* parent) {}
    // Calls proc for each component that is written inside this one.
    virtual void GetChildren(const TGetChildProc& proc, TComponent* root);

protected:
    // Runs once every property, reference and event of a component read from
    // a stream is in place.
    virtual void Loaded();
    // Told of components inserted into or removed from the owner, and of
    // components destroyed after FreeNotification. A component reported by
    // opRemove may be half destroyed: compare its address, nothing more.
    virtual void Notification(TComponent* component, TOperation operation);
    void IncludeState(TComponentStateItem item) { FComponentState << item; }
    void ExcludeState(TComponentStateItem item) { FComponentState >> item; }

    friend class TReader;
    friend class TWriter;

private:
    void SetNameChecked(const AnsiString& name);
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void RemoveNotification(TComponent* component);

    TComponent* FOwner = nullptr;
    AnsiString FName;
    int FTag = 0;
    TComponentState FComponentState;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    // A component of the same owner asked to hear of this one's end (or
    // this one of its): the owner's teardown tells its components.
    bool FSiblingNotify = false;
    TLife FLife;
};

// BeforeDestruction, then delete; null is ignored. The component goes even
// when BeforeDestruction raises; the exception goes on after it.
void FreeComponent(TComponent* component);

// A component without an owner held by a smart pointer goes the same way.
struct TComponentDeleter {
    void operator()(TComponent* component) const { FreeComponent(component); }
};
template <class T = TComponent>
using TComponentPtr = std::unique_ptr<T, TComponentDeleter>;

namespace Detail {
// FreeComponent for destructors, which cannot pass an exception on: one
// from BeforeDestruction is reported (HandleException) instead.
void FreeInTeardown(TComponent* component) noexcept;
// AfterConstruction of a component just made, setting *reference first when
// given; on failure *reference is cleared, the component freed and the
// exception passed on.
TComponent* FinishConstruction(TComponent* component, TComponent** reference = nullptr);
}  // namespace Detail

// Makes a component of class T owned by owner: its constructor, then
// AfterConstruction (a form has read its resource and fired OnCreate).
template <class T>
T* NewComponent(TComponent* owner) {
    static_assert(std::is_base_of_v<TComponent, T>, "NewComponent makes components");
    T* component = new T(owner);
    Detail::FinishConstruction(component);
    return component;
}

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Component)

}  // namespace Fw
