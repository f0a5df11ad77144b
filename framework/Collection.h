// Collections: a persistent list of items of one class, created by the
// collection itself and streamed with the object that holds it.
#pragma once

#include <vector>

#include "framework/Component.h"

namespace Fw {

class TCollection;

class TCollectionItem : public TPersistent {
public:
    FW_CLASS(TCollectionItem, TPersistent)
    // Joins collection (if any) as its last item.
    explicit TCollectionItem(TCollection* collection);
    // Leaves the collection.
    ~TCollectionItem() override;

    TCollection* Collection() const { return FCollection; }
    void SetCollection(TCollection* collection);
    int Index() const;
    void SetIndex(int index);
    int ID() const { return FID; }

    // The class name unless a descendant names its items otherwise.
    virtual AnsiString GetDisplayName();
    virtual void SetDisplayName(const AnsiString& value);
    AnsiString GetNamePath() override;

protected:
    TPersistent* GetOwner() override;
    // Tells the collection that this item (or, with allItems, every item) changed.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* FCollection = nullptr;
    int FID = 0;
};

class TCollection : public TPersistent {
public:
    FW_CLASS(TCollection, TPersistent)
    explicit TCollection(TMetaClass* itemClass, TPersistent* owner = nullptr);
    ~TCollection() override;

    TMetaClass* ItemClass() const { return FItemClass; }
    int Count() const { return static_cast<int>(FItems.size()); }
    TCollectionItem* Items(int index) const;
    void SetItem(int index, TCollectionItem* value);

    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    TCollectionItem* FindItemID(int id) const;

    // One new item per source item, each assigned from its source.
    void Assign(TPersistent* source) override;
    void BeginUpdate();
    void EndUpdate();
    AnsiString GetNamePath() override;

protected:
    TPersistent* GetOwner() override { return FOwner; }
    // Called after a change: item is the changed item, or null for many.
    virtual void Update(TCollectionItem* item);
    void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* item);
    void RemoveItem(TCollectionItem* item);
    void CheckIndex(int index) const;

    TMetaClass* FItemClass;
    TPersistent* FOwner;
    std::vector<TCollectionItem*> FItems;
    int FNextID = 0;
    int FUpdateCount = 0;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Collection)

}  // namespace Fw
