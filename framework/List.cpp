#include "framework/List.h"

#include <algorithm>

namespace Fw {

FW_UNIT_BEGIN(List)
    .Classes<TList>()
FW_UNIT_END

FW_PUBLISH(TList)
FW_END_PUBLISH

TList::~TList() {
    Clear();
}

void TList::Error(int index) {
    throw EListError(Format("リストのインデックスが範囲を超えています (%d).", index));
}

void TList::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        Error(index);
}

void TList::SetCount(int count) {
    if (count < 0)
        throw EListError(Format("リストの項目数が範囲を超えています (%d).", count));
    if (count > Count()) {
        FItems.resize(static_cast<std::size_t>(count), nullptr);
        return;
    }
    for (int i = Count() - 1; i >= count; --i)
        Delete(i);
}

void TList::SetCapacity(int capacity) {
    if (capacity < Count())
        throw EListError(Format("リストの容量が範囲を超えています (%d).", capacity));
    if (capacity > Capacity()) {
        FItems.reserve(static_cast<std::size_t>(capacity));
    } else if (capacity < Capacity()) {
        std::vector<void*> smaller;
        smaller.reserve(static_cast<std::size_t>(capacity));
        smaller.assign(FItems.begin(), FItems.end());
        FItems.swap(smaller);
    }
}

void* TList::Get(int index) const {
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)];
}

void TList::Put(int index, void* item) {
    CheckIndex(index);
    void* old = FItems[static_cast<std::size_t>(index)];
    FItems[static_cast<std::size_t>(index)] = item;
    if (old)
        Notify(old, lnDeleted);
    if (item)
        Notify(item, lnAdded);
}

int TList::Add(void* item) {
    FItems.push_back(item);
    if (item)
        Notify(item, lnAdded);
    return Count() - 1;
}

void TList::Insert(int index, void* item) {
    if (index < 0 || index > Count())
        Error(index);
    FItems.insert(FItems.begin() + index, item);
    if (item)
        Notify(item, lnAdded);
}

void TList::Delete(int index) {
    CheckIndex(index);
    void* item = FItems[static_cast<std::size_t>(index)];
    FItems.erase(FItems.begin() + index);
    if (item)
        Notify(item, lnDeleted);
}

int TList::Remove(void* item) {
    int index = IndexOf(item);
    if (index >= 0)
        Delete(index);
    return index;
}

void* TList::Extract(void* item) {
    int index = IndexOf(item);
    if (index < 0)
        return nullptr;
    FItems.erase(FItems.begin() + index);
    Notify(item, lnExtracted);
    return item;
}

void TList::Clear() {
    SetCount(0);
    FItems.shrink_to_fit();
}

int TList::IndexOf(void* item) const {
    auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    auto first = FItems.begin();
    if (curIndex < newIndex)
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
    else if (curIndex > newIndex)
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
}

void TList::Pack() {
    FItems.erase(std::remove(FItems.begin(), FItems.end(), nullptr), FItems.end());
}

void TList::Sort(TListSortCompare compare) {
    std::stable_sort(FItems.begin(), FItems.end(),
                     [compare](void* a, void* b) { return compare(a, b) < 0; });
}

void TList::Assign(TList* source) {
    if (source == this)
        return;
    Clear();
    for (void* item : source->FItems)
        Add(item);
}

void TList::Notify(void*, TListNotification) {}

}  // namespace Fw
