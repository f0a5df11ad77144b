// Lists of strings, each with an optional object attached.
#pragma once

#include <vector>

#include "framework/Component.h"
#include "framework/Streams.h"

namespace Fw {

// The abstract list: texts by index from 0, an object per text (never owned),
// and the conversions to and from text. An index outside the list raises
// EListError naming it.
class TStrings : public TPersistent {
public:
    FW_CLASS(TStrings, TPersistent)
    virtual int GetCount() const = 0;
    virtual AnsiString Get(int index) const = 0;
    // Replaces the text and keeps the object.
    virtual void Put(int index, const AnsiString& s);
    // The base keeps no objects: null, and storing one is ignored.
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* object);
    virtual void Insert(int index, const AnsiString& s) = 0;
    virtual void InsertObject(int index, const AnsiString& s, TObject* object);
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    // Return the index the text landed at.
    virtual int Add(const AnsiString& s);
    virtual int AddObject(const AnsiString& s, TObject* object);
    // Swap texts and their objects.
    virtual void Exchange(int index1, int index2);
    virtual void Move(int curIndex, int newIndex);

    int Count() const { return GetCount(); }
    AnsiString Strings(int index) const { return Get(index); }
    TObject* Objects(int index) const { return GetObject(index); }

    // First index of the text, compared as CompareStrings does; -1 if none.
    virtual int IndexOf(const AnsiString& s) const;
    int IndexOfObject(TObject* object) const;

    // Lines of the form name=value. A name matches as CompareStrings does.
    int IndexOfName(const AnsiString& name) const;
    AnsiString Names(int index) const;  // "" for a line without '='
    AnsiString Values(const AnsiString& name) const;
    AnsiString ValueFromIndex(int index) const;
    // An empty value deletes the line; otherwise the line is replaced or added.
    void SetValue(const AnsiString& name, const AnsiString& value);

    // Every text followed by CR LF. Setting splits at CR, LF or CR LF; a
    // break at the very end does not make an empty last line.
    virtual AnsiString GetText() const;
    virtual void SetText(const AnsiString& text);
    AnsiString Text() const { return GetText(); }

    // Texts separated by commas; a text that holds a blank, a control
    // character, a comma or a quote, or is empty, is in double quotes with
    // quotes doubled. Setting also splits at unquoted blanks.
    AnsiString CommaText() const;
    void SetCommaText(const AnsiString& text);

    // From another TStrings: its texts and objects replace these.
    void Assign(TPersistent* source) override;
    void AddStrings(TStrings* strings);
    // Same texts in the same order (objects are not compared).
    bool Equals(TStrings* strings) const;

    // Changes between the calls are announced once, when the last EndUpdate
    // is called.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    // Lines are read from the stream's position to its end.
    virtual void LoadFromStream(TStream* stream);
    virtual void SaveToStream(TStream* stream);
    virtual void LoadFromFile(const AnsiString& fileName);
    virtual void SaveToFile(const AnsiString& fileName);

protected:
    virtual void SetUpdateState(bool updating);
    // By the user's locale, ignoring case (AnsiCompareText).
    virtual int CompareStrings(const AnsiString& a, const AnsiString& b) const;
    [[noreturn]] static void Error(int index);

private:
    int FUpdateCount = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
// Negative, 0 or positive as the item at index1 sorts before, with or after
// the item at index2.
using TStringListSortCompare = int (*)(TStringList* list, int index1, int index2);

// The list of strings. When Sorted, texts are kept in CompareStrings order
// and Duplicates decides what adding an equal text does; inserting at a
// chosen place raises EStringListError. OnChanging and OnChange are called
// before and after each change, unless inside BeginUpdate/EndUpdate.
class TStringList : public TStrings {
public:
    FW_CLASS(TStringList, TStrings)
    TStringList() = default;
    ~TStringList() override;

    int GetCount() const override { return static_cast<int>(FItems.size()); }
    AnsiString Get(int index) const override;
    void Put(int index, const AnsiString& s) override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    void Insert(int index, const AnsiString& s) override;
    void InsertObject(int index, const AnsiString& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    int Add(const AnsiString& s) override;
    int AddObject(const AnsiString& s, TObject* object) override;
    // Allowed on a sorted list too, as the platform allows it; the caller
    // answers for the order.
    void Exchange(int index1, int index2) override;
    // Raises EStringListError on a sorted list.
    void Move(int curIndex, int newIndex) override;
    int IndexOf(const AnsiString& s) const override;

    // Binary search of a sorted list: true and the index of the text when it
    // is there, else false and the index it would be inserted at.
    virtual bool Find(const AnsiString& s, int& index) const;
    // Both do nothing on a list that is already Sorted. The sort is stable.
    virtual void Sort();
    virtual void CustomSort(TStringListSortCompare compare);

    bool Sorted() const { return FSorted; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates duplicates) { FDuplicates = duplicates; }
    // False by default: texts compare without regard to case.
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool caseSensitive);
    int Capacity() const { return static_cast<int>(FItems.capacity()); }
    void SetCapacity(int capacity);

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    virtual void Changed();
    virtual void Changing();
    void SetUpdateState(bool updating) override;
    int CompareStrings(const AnsiString& a, const AnsiString& b) const override;

private:
    struct Item {
        AnsiString Text;
        TObject* Object;
    };

    void CheckIndex(int index) const;
    void InsertItem(int index, const AnsiString& s, TObject* object);

    std::vector<Item> FItems;
    bool FSorted = false;
    TDuplicates FDuplicates = dupIgnore;
    bool FCaseSensitive = false;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(StringList)

}  // namespace Fw
