// A list of untyped pointers that does not own what they point to.
#pragma once

#include <vector>

#include "framework/TypeInfo.h"

namespace Fw {

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// Negative, 0 or positive as item1 sorts before, with or after item2.
using TListSortCompare = int (*)(void* item1, void* item2);

// Indexes count from 0; an index outside the list raises EListError naming it.
class TList : public TObject {
public:
    FW_CLASS(TList, TObject)
    TList() = default;
    // Deletes the items, but a derived class's Notify is gone by then: a
    // list that owns its items clears itself in its own destructor.
    ~TList() override;

    int Count() const { return static_cast<int>(FItems.size()); }
    // Grows with null items or drops items from the end.
    void SetCount(int count);
    int Capacity() const { return static_cast<int>(FItems.capacity()); }
    // Raises EListError for a capacity below Count.
    void SetCapacity(int capacity);

    void* Get(int index) const;
    void Put(int index, void* item);
    void* Items(int index) const { return Get(index); }
    void* operator[](int index) const { return Get(index); }

    int Add(void* item);
    void Insert(int index, void* item);
    void Delete(int index);
    // Deletes the first occurrence of item; returns its index, or -1.
    int Remove(void* item);
    // Takes the first occurrence of item out without it counting as deleted
    // (Notify says lnExtracted); returns item, or null when it is not there.
    void* Extract(void* item);
    void Clear();

    int IndexOf(void* item) const;
    void* First() const { return Get(0); }
    void* Last() const { return Get(Count() - 1); }

    void Exchange(int index1, int index2);
    // Takes the item at curIndex out and puts it back at newIndex.
    void Move(int curIndex, int newIndex);
    // Removes every null item.
    void Pack();
    // A stable sort: items that compare equal keep their order.
    void Sort(TListSortCompare compare);

    // Copies the items of source.
    void Assign(TList* source);

    const std::vector<void*>& List() const { return FItems; }

protected:
    // Told of each item that enters or leaves the list, after the fact; a
    // list that owns its items frees them on lnDeleted.
    virtual void Notify(void* item, TListNotification action);

    [[noreturn]] static void Error(int index);
    void CheckIndex(int index) const;

private:
    std::vector<void*> FItems;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(List)

}  // namespace Fw
