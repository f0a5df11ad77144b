#include "framework/StringList.h"

#include <algorithm>
#include <numeric>

namespace Fw {

FW_UNIT_BEGIN(StringList)
    .Classes<TStrings, TStringList>()
FW_UNIT_END

FW_PUBLISH(TStrings)
FW_END_PUBLISH

FW_PUBLISH(TStringList)
FW_END_PUBLISH

namespace {

const char* const SSortedListError = "ソートされたリストでは実行できません.";
const char* const SDuplicateString = "重複する文字列は許可されていません.";

// Ends an update also when the work inside it raises.
class TUpdateScope {
public:
    explicit TUpdateScope(TStrings* strings) : FStrings(strings) { FStrings->BeginUpdate(); }
    ~TUpdateScope() { FStrings->EndUpdate(); }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
    TStrings* FStrings;
};

// Whether CommaText must quote the text. The bytes looked for are all below
// 0x40, so they are never the trail byte of a double-byte character.
bool NeedsQuotes(const AnsiString& s) {
    if (s.empty())
        return true;
    for (char c : s)
        if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',')
            return true;
    return false;
}

bool IsCommaBlank(char c) {
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

// ---- TStrings ----

void TStrings::Error(int index) {
    throw EListError(Format("リストのインデックスが範囲を超えています (%d).", index));
}

void TStrings::Put(int index, const AnsiString& s) {
    TObject* object = GetObject(index);
    TUpdateScope update(this);
    Delete(index);
    InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int index) const {
    if (index < 0 || index >= GetCount())
        Error(index);
    return nullptr;
}

void TStrings::PutObject(int index, TObject*) {
    if (index < 0 || index >= GetCount())
        Error(index);
}

void TStrings::InsertObject(int index, const AnsiString& s, TObject* object) {
    TUpdateScope update(this);
    Insert(index, s);
    PutObject(index, object);
}

int TStrings::Add(const AnsiString& s) {
    int index = GetCount();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const AnsiString& s, TObject* object) {
    TUpdateScope update(this);
    int index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::Exchange(int index1, int index2) {
    AnsiString s1 = Get(index1), s2 = Get(index2);
    TObject* o1 = GetObject(index1);
    TObject* o2 = GetObject(index2);
    TUpdateScope update(this);
    Put(index1, s2);
    PutObject(index1, o2);
    Put(index2, s1);
    PutObject(index2, o1);
}

void TStrings::Move(int curIndex, int newIndex) {
    AnsiString s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    if (newIndex < 0 || newIndex >= GetCount())
        Error(newIndex);
    if (curIndex == newIndex)
        return;
    TUpdateScope update(this);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
}

int TStrings::IndexOf(const AnsiString& s) const {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (CompareStrings(Get(i), s) == 0)
            return i;
    return -1;
}

int TStrings::IndexOfObject(TObject* object) const {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (GetObject(i) == object)
            return i;
    return -1;
}

// '=' is below 0x40: never a trail byte, so a byte search finds the real one.
int TStrings::IndexOfName(const AnsiString& name) const {
    for (int i = 0, n = GetCount(); i < n; ++i) {
        AnsiString s = Get(i);
        std::size_t eq = s.find('=');
        if (eq != AnsiString::npos && CompareStrings(s.substr(0, eq), name) == 0)
            return i;
    }
    return -1;
}

AnsiString TStrings::Names(int index) const {
    AnsiString s = Get(index);
    std::size_t eq = s.find('=');
    return eq == AnsiString::npos ? AnsiString() : s.substr(0, eq);
}

AnsiString TStrings::ValueFromIndex(int index) const {
    AnsiString s = Get(index);
    std::size_t eq = s.find('=');
    return eq == AnsiString::npos ? AnsiString() : s.substr(eq + 1);
}

AnsiString TStrings::Values(const AnsiString& name) const {
    int index = IndexOfName(name);
    return index < 0 ? AnsiString() : ValueFromIndex(index);
}

void TStrings::SetValue(const AnsiString& name, const AnsiString& value) {
    int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
    } else if (index < 0) {
        Add(name + "=" + value);
    } else {
        Put(index, name + "=" + value);
    }
}

AnsiString TStrings::GetText() const {
    AnsiString text;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        text += Get(i);
        text += "\r\n";
    }
    return text;
}

// CR and LF are below 0x40: never trail bytes.
void TStrings::SetText(const AnsiString& text) {
    TUpdateScope update(this);
    Clear();
    std::size_t p = 0, n = text.size();
    while (p < n) {
        std::size_t start = p;
        while (p < n && text[p] != '\r' && text[p] != '\n')
            ++p;
        Add(text.substr(start, p - start));
        if (p < n && text[p] == '\r')
            ++p;
        if (p < n && text[p] == '\n')
            ++p;
    }
}

AnsiString TStrings::CommaText() const {
    AnsiString text;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        if (i > 0)
            text += ',';
        AnsiString s = Get(i);
        text += NeedsQuotes(s) ? AnsiQuotedStr(s, '"') : s;
    }
    return text;
}

void TStrings::SetCommaText(const AnsiString& text) {
    TUpdateScope update(this);
    Clear();
    std::size_t p = 0, n = text.size();
    while (p < n && IsCommaBlank(text[p]))
        ++p;
    while (p < n) {
        AnsiString s;
        if (text[p] == '"') {
            s = AnsiExtractQuotedStr(text, p, '"');
        } else {
            std::size_t start = p;
            while (p < n && static_cast<unsigned char>(text[p]) > ' ' && text[p] != ',')
                p += (IsLeadByte(static_cast<unsigned char>(text[p])) && p + 1 < n) ? 2 : 1;
            s = text.substr(start, p - start);
        }
        Add(s);
        while (p < n && IsCommaBlank(text[p]))
            ++p;
        if (p < n && text[p] == ',') {
            do
                ++p;
            while (p < n && IsCommaBlank(text[p]));
        }
    }
}

void TStrings::Assign(TPersistent* source) {
    if (auto* strings = dynamic_cast<TStrings*>(source)) {
        if (strings == this)
            return;
        TUpdateScope update(this);
        Clear();
        AddStrings(strings);
        return;
    }
    TPersistent::Assign(source);
}

void TStrings::AddStrings(TStrings* strings) {
    TUpdateScope update(this);
    // Counted once, so that adding a list to itself ends.
    for (int i = 0, n = strings->GetCount(); i < n; ++i)
        AddObject(strings->Get(i), strings->GetObject(i));
}

bool TStrings::Equals(TStrings* strings) const {
    int n = GetCount();
    if (n != strings->GetCount())
        return false;
    for (int i = 0; i < n; ++i)
        if (Get(i) != strings->Get(i))
            return false;
    return true;
}

void TStrings::BeginUpdate() {
    if (FUpdateCount == 0)
        SetUpdateState(true);
    ++FUpdateCount;
}

void TStrings::EndUpdate() {
    if (FUpdateCount == 0)
        return;
    if (--FUpdateCount == 0)
        SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(const AnsiString& a, const AnsiString& b) const {
    return AnsiCompareText(a, b);
}

void TStrings::LoadFromStream(TStream* stream) {
    std::int64_t left = stream->Size() - stream->Position();
    AnsiString text;
    if (left > 0) {
        text.resize(static_cast<std::size_t>(left));
        stream->ReadBuffer(text.data(), static_cast<int>(left));
    }
    SetText(text);
}

void TStrings::SaveToStream(TStream* stream) {
    AnsiString text = GetText();
    stream->WriteBuffer(text.data(), static_cast<int>(text.size()));
}

void TStrings::LoadFromFile(const AnsiString& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&file);
}

void TStrings::SaveToFile(const AnsiString& fileName) {
    TFileStream file(fileName, fmCreate);
    SaveToStream(&file);
}

// ---- TStringList ----

TStringList::~TStringList() {
    // Nobody is told of the list's end: handlers may belong to objects that
    // are already gone.
    OnChange = nullptr;
    OnChanging = nullptr;
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount())
        Error(index);
}

void TStringList::Changing() {
    if (UpdateCount() == 0 && OnChanging)
        OnChanging(this);
}

void TStringList::Changed() {
    if (UpdateCount() == 0 && OnChange)
        OnChange(this);
}

void TStringList::SetUpdateState(bool updating) {
    if (updating)
        Changing();
    else
        Changed();
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
    return FCaseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

AnsiString TStringList::Get(int index) const {
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)].Text;
}

void TStringList::Put(int index, const AnsiString& s) {
    if (FSorted)
        throw EStringListError(SSortedListError);
    CheckIndex(index);
    Changing();
    FItems[static_cast<std::size_t>(index)].Text = s;
    Changed();
}

TObject* TStringList::GetObject(int index) const {
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)].Object;
}

void TStringList::PutObject(int index, TObject* object) {
    CheckIndex(index);
    Changing();
    FItems[static_cast<std::size_t>(index)].Object = object;
    Changed();
}

void TStringList::InsertItem(int index, const AnsiString& s, TObject* object) {
    Changing();
    FItems.insert(FItems.begin() + index, Item{s, object});
    Changed();
}

void TStringList::Insert(int index, const AnsiString& s) {
    InsertObject(index, s, nullptr);
}

void TStringList::InsertObject(int index, const AnsiString& s, TObject* object) {
    if (FSorted)
        throw EStringListError(SSortedListError);
    if (index < 0 || index > GetCount())
        Error(index);
    InsertItem(index, s, object);
}

int TStringList::Add(const AnsiString& s) {
    return AddObject(s, nullptr);
}

int TStringList::AddObject(const AnsiString& s, TObject* object) {
    int index = GetCount();
    if (FSorted && Find(s, index)) {
        if (FDuplicates == dupIgnore)
            return index;
        if (FDuplicates == dupError)
            throw EStringListError(SDuplicateString);
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TStringList::Clear() {
    if (FItems.empty())
        return;
    Changing();
    FItems.clear();
    FItems.shrink_to_fit();
    Changed();
}

void TStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
    Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    if (FSorted)
        throw EStringListError(SSortedListError);
    if (curIndex == newIndex)
        return;
    Changing();
    auto first = FItems.begin();
    if (curIndex < newIndex)
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
    else
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
    Changed();
}

int TStringList::IndexOf(const AnsiString& s) const {
    if (!FSorted)
        return TStrings::IndexOf(s);
    int index;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const AnsiString& s, int& index) const {
    bool found = false;
    int lo = 0, hi = GetCount() - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = CompareStrings(FItems[static_cast<std::size_t>(mid)].Text, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                // Only a list that accepts duplicates needs the first of
                // several equal texts.
                if (FDuplicates != dupAccept)
                    lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

void TStringList::Sort() {
    CustomSort([](TStringList* list, int index1, int index2) {
        return list->CompareStrings(list->Get(index1), list->Get(index2));
    });
}

void TStringList::CustomSort(TStringListSortCompare compare) {
    if (FSorted || GetCount() < 2)
        return;
    // The comparison takes indexes into the list as it stands, so the order
    // is worked out on a permutation and applied afterwards. A comparison
    // that raises leaves the list untouched.
    std::vector<int> order(FItems.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this, compare](int a, int b) { return compare(this, a, b) < 0; });
    std::vector<Item> sorted;
    sorted.reserve(FItems.size());
    for (int i : order)
        sorted.push_back(FItems[static_cast<std::size_t>(i)]);
    Changing();
    FItems.swap(sorted);
    Changed();
}

void TStringList::SetSorted(bool sorted) {
    if (sorted == FSorted)
        return;
    if (sorted)
        Sort();
    FSorted = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive == FCaseSensitive)
        return;
    FCaseSensitive = caseSensitive;
    if (FSorted) {
        FSorted = false;
        Sort();
        FSorted = true;
    }
}

void TStringList::SetCapacity(int capacity) {
    if (capacity < GetCount())
        throw EListError(Format("リストの容量が範囲を超えています (%d).", capacity));
    if (capacity > Capacity()) {
        FItems.reserve(static_cast<std::size_t>(capacity));
    } else if (capacity < Capacity()) {
        std::vector<Item> smaller;
        smaller.reserve(static_cast<std::size_t>(capacity));
        smaller.assign(FItems.begin(), FItems.end());
        FItems.swap(smaller);
    }
}

}  // namespace Fw
