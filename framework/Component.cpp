#include "framework/Component.h"

#include <algorithm>


namespace Fw {

FW_UNIT_BEGIN(Component)
    .Classes<TPersistent, TComponent>()
FW_UNIT_END

TLife::~TLife() {
    if (FAlive) FAlive->store(false, std::memory_order_release);
}

TLifeToken TLife::Token() const {
    if (!FAlive) FAlive = std::make_shared<std::atomic<bool>>(true);
    return TLifeToken(FAlive);
}

FW_PUBLISH(TPersistent)
FW_END_PUBLISH

void TPersistent::Assign(TPersistent* source) {
    if (source) {
        source->AssignTo(this);
        return;
    }
    throw EConvertError("nil を " + ClassName() + " に代入できません.");
}

void TPersistent::AssignTo(TPersistent* dest) {
    throw EConvertError(ClassName() + " を " + dest->ClassName() + " に代入できません.");
}

void TPersistent::DefineProperties(TFiler*) {}

TPersistent* TPersistent::GetOwner() { return nullptr; }

AnsiString TPersistent::GetNamePath() {
    TPersistent* owner = GetOwner();
    AnsiString path = owner ? owner->GetNamePath() : AnsiString();
    return path.empty() ? ClassName() : path + "." + ClassName();
}

FW_PUBLISH(TComponent)
    .Property("Name", &TComponent::Name, &TComponent::SetName).Stored(false)
    .Property("Tag", &TComponent::FTag, &TComponent::FTag).Default(0)
FW_END_PUBLISH

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

void TComponent::AfterConstruction() {}

void TComponent::BeforeDestruction() {}

void FreeComponent(TComponent* component) {
    if (!component) return;
    auto destroy = OnScopeExit([component] { delete component; });
    component->BeforeDestruction();
}

namespace {

// BeforeDestruction where nothing can pass an exception on: it is reported.
void BeforeDestructionInTeardown(TComponent* component) noexcept {
    try {
        component->BeforeDestruction();
    } catch (...) {
        HandleException(component);
    }
}

}  // namespace

namespace Detail {

void FreeInTeardown(TComponent* component) noexcept {
    if (!component) return;
    BeforeDestructionInTeardown(component);
    delete component;
}

TComponent* FinishConstruction(TComponent* component, TComponent** reference) {
    if (reference) *reference = component;
    try {
        component->AfterConstruction();
    } catch (...) {
        if (reference) *reference = nullptr;
        try {
            FreeComponent(component);
        } catch (...) {
            // The first failure is the one the caller hears of.
        }
        throw;
    }
    return component;
}

}  // namespace Detail

TComponent::~TComponent() {
    Destroying();
    // Whoever asked to hear of this component's end hears it now, and this
    // component stops listening to them.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& theirs = other->FFreeNotifies;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError("リストのインデックスが範囲を超えています (" + std::to_string(index) + ").");
    return FComponents[index];
}

int TComponent::ComponentIndex() const {
    if (!FOwner) return -1;
    const auto& list = FOwner->FComponents;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetName(const AnsiString& name) {
    if (name == FName) return;
    SetNameChecked(name);
}

void TComponent::SetNameChecked(const AnsiString& name) {
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("'" + name + "' はコンポーネント名として無効です.");
    if (FOwner && !name.empty()) {
        TComponent* other = FOwner->FindComponent(name);
        if (other && other != this)
            throw EComponentError("コンポーネント名 " + name + " はすでに存在します.");
    }
    FName = name;
}

void TComponent::SetDesigning(bool designing, bool setChildren) {
    if (designing) IncludeState(csDesigning);
    else ExcludeState(csDesigning);
    if (setChildren)
        for (TComponent* c : FComponents) c->SetDesigning(designing, true);
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    // A name must stay unique in its new owner too.
    if (!component->FName.empty()) {
        TComponent* other = FindComponent(component->FName);
        if (other && other != component)
            throw EComponentError("コンポーネント名 " + component->FName + " はすでに存在します.");
    }
    if (component->FOwner) component->FOwner->RemoveComponent(component);
    Insert(component);
    if (IsDesigning()) component->SetDesigning(true);
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (component->FOwner != this) return;
    Notification(component, opRemove);
    Remove(component);
}

void TComponent::Insert(TComponent* component) {
    FComponents.push_back(component);
    component->FOwner = this;
}

void TComponent::Remove(TComponent* component) {
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), component), FComponents.end());
    component->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        BeforeDestructionInTeardown(last);
        // Gone elsewhere in its last step: no longer this owner's to free.
        if (last->FOwner != this) continue;
        // Siblings that asked hear of it now, as they would if it went alone;
        // the others need not be told, which keeps a teardown linear.
        if (last->FSiblingNotify) RemoveComponent(last);
        else Remove(last);
        delete last;
    }
}

void TComponent::Destroying() {
    if (FComponentState.Contains(csDestroying)) return;
    IncludeState(csDestroying);
    for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    // Components of one owner hear of each other through the owner.
    if (FOwner && component->FOwner == FOwner) {
        FSiblingNotify = true;
        component->FSiblingNotify = true;
    } else if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(component);
        component->FreeNotification(this);
    }
    IncludeState(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    RemoveNotification(component);
    component->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* component) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component), FFreeNotifies.end());
    if (FFreeNotifies.empty()) ExcludeState(csFreeNotification);
}

AnsiString TComponent::GetNamePath() { return FName; }

void TComponent::GetChildren(const TGetChildProc& proc, TComponent* root) {
    // A plain component written as a root holds its owned components; those
    // with a parent of their own are written inside that parent instead.
    if (root != this) return;
    for (TComponent* c : FComponents)
        if (!c->HasParent()) proc(c);
}

void TComponent::Loaded() { ExcludeState(csLoading); }

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove && component) RemoveFreeNotification(component);
    // The owner passes the news on to everything it owns. Backwards by index,
    // since a listener may free components while it is told.
    for (int i = ComponentCount() - 1; i >= 0; --i)
        if (i < ComponentCount()) FComponents[i]->Notification(component, operation);
}

}  // namespace Fw
