// String lists and pointer lists: editing, order, text forms and events.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "framework/List.h"
#include "framework/StringList.h"

using namespace Fw;

namespace {

AnsiString Joined(const TStrings& list) {
    AnsiString r;
    for (int i = 0; i < list.Count(); ++i) {
        if (i) r += '|';
        r += list.Strings(i);
    }
    return r;
}

AnsiString ListIndexMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const EListError& e) {
        return e.Message();
    }
    return "no EListError";
}

// Records the change events of a list, and what the list held at each.
class TChangeLog : public TObject {
public:
    void Changing(TObject* sender) {
        Events += '<';
        Events += IntToStr(static_cast<TStrings*>(sender)->Count());
    }
    void Changed(TObject* sender) {
        Events += '>';
        Events += IntToStr(static_cast<TStrings*>(sender)->Count());
    }
    void Attach(TStringList& list) {
        list.OnChanging = MakeEvent<&TChangeLog::Changing>(this);
        list.OnChange = MakeEvent<&TChangeLog::Changed>(this);
    }
    AnsiString Events;
};

}  // namespace

TEST(StringListText, SplitsAtCrLfAndBoth) {
    TStringList list;
    list.SetText("a\r\nb\nc\rd\r\n");
    EXPECT_EQ("a|b|c|d", Joined(list));
    EXPECT_EQ("a\r\nb\r\nc\r\nd\r\n", list.Text());
    list.SetText("a\n\rb");  // LF then CR is two breaks
    EXPECT_EQ(3, list.Count());
    EXPECT_EQ("", list.Strings(1));
    list.SetText("a\r\n\r\n");
    EXPECT_EQ(2, list.Count());
    list.SetText("\r\n");
    EXPECT_EQ(1, list.Count());
    list.SetText("last");
    EXPECT_EQ("last", Joined(list));
    list.SetText("");
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ("", list.Text());
    // Bytes that are not line breaks survive, NULs and double-byte text included.
    AnsiString odd("x\0y\t表ソ", 9);
    list.SetText(odd + "\r\n");
    EXPECT_EQ(odd, list.Strings(0));
}

TEST(StringListText, CommaTextRoundTrips) {
    TStringList list;
    for (const char* s : {"plain", "two words", "say \"hi\"", "a,b", "", "壁紙ソ"})
        list.Add(s);
    TStringList back;
    back.SetCommaText(list.CommaText());
    EXPECT_TRUE(back.Equals(&list)) << list.CommaText();
    back.SetCommaText(" a b ,\"c,d\" ,, e");
    EXPECT_EQ("a|b|c,d||e", Joined(back));
}

TEST(StringListText, NameValuePairs) {
    TStringList list;
    list.SetText("SaveDir=C:\\壁紙\r\nPrefix=WALL\r\nnoequals\r\n");
    EXPECT_EQ(1, list.IndexOfName("prefix"));
    EXPECT_EQ("WALL", list.Values("PREFIX"));
    EXPECT_EQ("C:\\壁紙", list.ValueFromIndex(0));
    EXPECT_EQ("", list.Names(2));
    EXPECT_EQ("", list.Values("missing"));
    list.SetValue("Prefix", "IMG");
    list.SetValue("Beep", "1");
    list.SetValue("SaveDir", "");
    EXPECT_EQ("Prefix=IMG|noequals|Beep=1", Joined(list));
}

TEST(StringList, ObjectsTravelWithTheirStrings) {
    TObject a, b, c;
    TStringList list;
    list.AddObject("a", &a);
    list.AddObject("b", &b);
    list.InsertObject(0, "c", &c);
    list.Exchange(0, 2);
    EXPECT_EQ("b|a|c", Joined(list));
    EXPECT_EQ(&b, list.Objects(0));
    EXPECT_EQ(&c, list.Objects(2));
    list.Move(0, 2);
    EXPECT_EQ("a|c|b", Joined(list));
    EXPECT_EQ(&b, list.Objects(2));
    EXPECT_EQ(1, list.IndexOfObject(&c));
    list.Put(1, "C");
    EXPECT_EQ(&c, list.Objects(1));

    TStringList copy;
    copy.Add("old");
    copy.Assign(&list);
    EXPECT_EQ("a|C|b", Joined(copy));
    EXPECT_EQ(&a, copy.Objects(0));
    copy.AddStrings(&copy);
    EXPECT_EQ(6, copy.Count());
    TPersistent other;
    EXPECT_THROW(copy.Assign(&other), EConvertError);
    EXPECT_EQ(6, copy.Count());
}

TEST(StringList, IndexErrorsNameTheIndex) {
    TStringList list;
    list.Add("x");
    EXPECT_EQ("リストのインデックスが範囲を超えています (5).", ListIndexMessage([&] { list.Get(5); }));
    EXPECT_EQ("リストのインデックスが範囲を超えています (-1).", ListIndexMessage([&] { list.Delete(-1); }));
    EXPECT_NE("no EListError", ListIndexMessage([&] { list.Insert(2, "y"); }));
    EXPECT_NE("no EListError", ListIndexMessage([&] { list.Exchange(0, 1); }));
    EXPECT_NE("no EListError", ListIndexMessage([&] { list.PutObject(1, nullptr); }));
    EXPECT_NE("no EListError", ListIndexMessage([&] { list.Move(1, 0); }));
    list.Insert(1, "y");  // at Count is an append
    EXPECT_EQ("x|y", Joined(list));
}

TEST(StringList, IndexOfIgnoresCaseUnlessAsked) {
    TStringList list;
    list.SetText("Alpha\r\nbeta\r\n");
    EXPECT_EQ(1, list.IndexOf("BETA"));
    list.SetCaseSensitive(true);
    EXPECT_EQ(-1, list.IndexOf("BETA"));
    EXPECT_EQ(1, list.IndexOf("beta"));
}

TEST(StringList, SortedListsKeepOrderAndRuleDuplicates) {
    TStringList list;
    list.SetText("pear\r\nApple\r\nfig\r\n");
    list.SetSorted(true);
    EXPECT_EQ("Apple|fig|pear", Joined(list));
    EXPECT_EQ(1, list.Add("banana"));
    EXPECT_EQ(0, list.Add("APPLE"));  // dupIgnore: the existing index
    EXPECT_EQ(4, list.Count());
    int index = -1;
    EXPECT_FALSE(list.Find("cherry", index));
    EXPECT_EQ(2, index);
    EXPECT_TRUE(list.Find("PEAR", index));
    EXPECT_EQ(3, index);

    list.SetDuplicates(dupError);
    try {
        list.Add("fig");
        FAIL() << "duplicate accepted";
    } catch (const EStringListError& e) {
        EXPECT_EQ("重複する文字列は許可されていません.", e.Message());
    }
    list.SetDuplicates(dupAccept);
    list.Add("Fig");
    EXPECT_EQ(5, list.Count());
    EXPECT_THROW(list.Insert(0, "zz"), EStringListError);
    EXPECT_THROW(list.Put(0, "zz"), EStringListError);
    EXPECT_THROW(list.Move(0, 1), EStringListError);
    EXPECT_EQ(5, list.Count());

    TStringList cased;
    cased.SetText("b\r\nB\r\na\r\nA\r\n");
    cased.SetCaseSensitive(true);
    cased.SetSorted(true);  // the locale puts lower case first
    EXPECT_EQ("a|A|b|B", Joined(cased));
}

TEST(StringList, CustomSortIsStableAndUsesTheComparison) {
    TStringList list;
    list.SetText("ccc\r\na\r\nbb\r\nx\r\ndd\r\n");
    TObject tag;
    list.PutObject(2, &tag);
    list.CustomSort([](TStringList* l, int i, int j) {
        return static_cast<int>(l->Strings(i).size()) - static_cast<int>(l->Strings(j).size());
    });
    EXPECT_EQ("a|x|bb|dd|ccc", Joined(list));
    EXPECT_EQ(&tag, list.Objects(2));
    list.Sort();
    EXPECT_EQ("a|bb|ccc|dd|x", Joined(list));
}

TEST(StringList, ChangeEventsAroundEachChangeAndOnceForAnUpdate) {
    TStringList list;
    TChangeLog log;
    log.Attach(list);
    list.Add("a");
    list.Insert(0, "b");
    list.Exchange(0, 1);
    list.Delete(0);
    EXPECT_EQ("<0>1<1>2<2>2<2>1", log.Events);

    log.Events.clear();
    list.BeginUpdate();
    list.Add("x");
    list.BeginUpdate();
    list.Add("y");
    list.EndUpdate();
    EXPECT_EQ("<1", log.Events);
    list.EndUpdate();
    EXPECT_EQ("<1>3", log.Events);

    log.Events.clear();
    list.SetText("p\r\nq\r\n");
    TStringList source;
    source.Add("only");
    list.Assign(&source);
    EXPECT_EQ("<3>2<2>1", log.Events);

    log.Events.clear();
    list.Clear();
    list.Clear();  // nothing to clear: no events
    EXPECT_EQ("<1>0", log.Events);
}

TEST(StringList, LoadAndSaveKeepTheText) {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    AnsiString name = IncludeTrailingBackslash(temp) + Format("fw_strings_%lu_表.txt", GetCurrentProcessId());
    TStringList list;
    list.SetText("一行目\r\nsecond\r\n");
    list.SaveToFile(name);
    TStringList back;
    back.LoadFromFile(name);
    DeleteFileA(name.c_str());
    EXPECT_TRUE(back.Equals(&list));

    TStringStream stream("skip\nline1\nline2");
    stream.SetPosition(5);  // reading starts at the stream's position
    back.LoadFromStream(&stream);
    EXPECT_EQ("line1|line2", Joined(back));
    TStringStream out;
    back.SaveToStream(&out);
    EXPECT_EQ("line1\r\nline2\r\n", out.DataString());
    EXPECT_THROW(back.LoadFromFile(name), EFOpenError);
    EXPECT_EQ(2, back.Count());
}

namespace {

// Counts what the list reports entering and leaving it.
class TCountingList : public TList {
public:
    ~TCountingList() override { Clear(); }
    std::vector<std::pair<void*, TListNotification>> Log;

protected:
    void Notify(void* item, TListNotification action) override { Log.emplace_back(item, action); }
};

int CompareInts(void* a, void* b) {
    return *static_cast<int*>(a) - *static_cast<int*>(b);
}

}  // namespace

TEST(PointerList, EditsAndNotifications) {
    int v[5] = {0, 1, 2, 3, 4};
    TCountingList list;
    list.Add(&v[0]);
    list.Add(&v[1]);
    list.Insert(1, &v[2]);
    list.Add(nullptr);  // null items are not reported
    EXPECT_EQ(4, list.Count());
    EXPECT_EQ(&v[2], list[1]);
    EXPECT_EQ(0, list.Remove(&v[0]));
    EXPECT_EQ(-1, list.Remove(&v[4]));
    EXPECT_EQ(&v[1], list.Extract(&v[1]));
    EXPECT_EQ(nullptr, list.Extract(&v[1]));
    list.Put(0, &v[3]);
    using N = std::pair<void*, TListNotification>;
    std::vector<N> expected{{&v[0], lnAdded},   {&v[1], lnAdded},   {&v[2], lnAdded},
                            {&v[0], lnDeleted}, {&v[1], lnExtracted}, {&v[2], lnDeleted},
                            {&v[3], lnAdded}};
    EXPECT_EQ(expected, list.Log);
    list.Pack();
    EXPECT_EQ(1, list.Count());
    list.Log.clear();
    list.Clear();
    EXPECT_EQ((std::vector<N>{{&v[3], lnDeleted}}), list.Log);
}

TEST(PointerList, OrderAndIndexErrors) {
    int v[4] = {30, 10, 20, 10};
    TList list;
    for (int& x : v)
        list.Add(&x);
    list.Sort(CompareInts);
    EXPECT_EQ(&v[1], list.First());  // stable: the first 10 stays first
    EXPECT_EQ(&v[3], list.Get(1));
    EXPECT_EQ(&v[0], list.Last());
    list.Move(3, 0);
    EXPECT_EQ(&v[0], list.First());
    list.Exchange(0, 3);
    EXPECT_EQ(&v[0], list.Last());
    EXPECT_EQ("リストのインデックスが範囲を超えています (4).", ListIndexMessage([&] { list.Get(4); }));
    EXPECT_NE("no EListError", ListIndexMessage([&] { list.Insert(5, nullptr); }));
    EXPECT_NE("no EListError", ListIndexMessage([&] { list.SetCapacity(2); }));
    TList empty;
    EXPECT_NE("no EListError", ListIndexMessage([&] { empty.First(); }));
    list.SetCount(6);
    EXPECT_EQ(nullptr, list.Last());
    list.SetCount(1);
    EXPECT_EQ(1, list.Count());
}
