// Run-time type tools on real framework components: properties of every
// kind, events and methods by name and their messages, the argument-record
// converters, components made by class and named uniquely, the natural
// order of names and the sort, and the property names an inspector lists.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "kit/Catools.h"
#include "tests/support/ExceptionMessage.h"

using namespace Fw;
using namespace Kit;
using TestSupport::MessageOf;

namespace {

class TToolsForm : public TForm {
public:
    FW_CLASS(TToolsForm, TForm)
    explicit TToolsForm(TComponent* owner) : TForm(owner) {}
    void AfterConstruction() override {
        inherited::AfterConstruction();
        Finished = true;
    }
    double Ratio = 0;
    bool Finished = false;
    std::vector<TObject*> Clicked;
    void ButtonClick(TObject* Sender) { Clicked.push_back(Sender); }
};

}  // namespace

FW_PUBLISH(TToolsForm)
    .Property("Ratio", &TToolsForm::Ratio, &TToolsForm::Ratio)
    .Method<&TToolsForm::ButtonClick>("ButtonClick")
FW_END_PUBLISH

namespace {

struct TFormFixture : ::testing::Test {
    TToolsForm* Form = NewComponent<TToolsForm>(nullptr);
    TEdit* Edit = NewComponent<TEdit>(Form);
    TButton* Button = NewComponent<TButton>(Form);
    TCheckBox* Check = NewComponent<TCheckBox>(Form);
    TLabel* Label = NewComponent<TLabel>(Form);
    ~TFormFixture() override { FreeComponent(Form); }
};

using PropertyAccess = TFormFixture;

}  // namespace

TEST_F(PropertyAccess, ReadsEveryKindAsAnIntegerOrAString) {
    Form->Ratio = 3.75;
    Check->SetChecked(true);
    Form->SetPosition(poScreenCenter);
    Form->SetBorderIcons({biSystemMenu, biMaximize});
    Edit->SetPasswordChar('*');
    Button->SetCaption("押して");
    const struct {
        TObject* Object;
        const char* Name;
        Variant Value;
    } reads[] = {{Form, "ratio", 3},        {Check, "Checked", 1},       {Form, "POSITION", 4},
                 {Form, "BorderIcons", 5},   {Edit, "PasswordChar", 42},   {Button, "Caption", "押して"},
                 {Button, "Left", 0}};
    for (const auto& r : reads) {
        Variant v = GetProperty(r.Object, r.Name);
        EXPECT_EQ(VarType(r.Value), VarType(v)) << r.Name;
        EXPECT_EQ(r.Value, v) << r.Name;
    }
    Form->Ratio = -2.9;
    EXPECT_EQ(Variant(-2), GetProperty(Form, "Ratio"));
    Form->Ratio = 2147483647.5;
    EXPECT_EQ(Variant(2147483647), GetProperty(Form, "Ratio"));
    for (double outside : {2147483648.0, -2147483649.0, 1e300, std::nan("")}) {
        Form->Ratio = outside;
        EXPECT_THROW(GetProperty(Form, "Ratio"), EConvertError) << outside;
    }

    // An object reads as its address where an address fits the integer.
    EXPECT_EQ(Variant(0), GetProperty(Label, "FocusControl"));
    Label->SetFocusControl(Edit);
    if constexpr (sizeof(void*) == 4) {
        EXPECT_EQ(Variant(static_cast<int>(reinterpret_cast<std::intptr_t>(Edit))), GetProperty(Label, "FocusControl"));
        SetProperty(Label, "FocusControl", 0);
        EXPECT_EQ(nullptr, Label->FocusControl());
    } else {
        EXPECT_THROW(GetProperty(Label, "FocusControl"), EPropertyError);
    }
}

TEST_F(PropertyAccess, WritesThroughTheVariantCast) {
    SetProperty(Edit, "maxlength", "42");
    EXPECT_EQ(42, Edit->MaxLength());
    SetProperty(Edit, "Text", 5);
    EXPECT_EQ("5", Edit->Text());
    SetProperty(Edit, "PasswordChar", "65");
    EXPECT_EQ('A', Edit->PasswordChar());
    SetProperty(Form, "Ratio", 2);
    EXPECT_EQ(2.0, Form->Ratio);
    SetProperty(Form, "Ratio", "2.5");
    EXPECT_EQ(2.5, Form->Ratio);
    SetProperty(Check, "Checked", true);
    EXPECT_TRUE(Check->Checked());
    SetProperty(Form, "BorderIcons", 2);
    EXPECT_EQ(TBorderIcons({biMinimize}), Form->BorderIcons());
    // Failures of the cast and of the type pass through; nothing changes.
    EXPECT_THROW(SetProperty(Edit, "MaxLength", "x"), EConvertError);
    EXPECT_THROW(SetProperty(Form, "Position", 99), EPropertyError);
    EXPECT_EQ(42, Edit->MaxLength());
    EXPECT_EQ(poDesigned, Form->Position());
}

TEST_F(PropertyAccess, RefusalsNameTheClassAndTheName) {
    EXPECT_EQ("クラス\"TEdit\"のプロパティ\"nosuch\"が取得できません.", MessageOf([&] { GetProperty(Edit, "nosuch"); }));
    EXPECT_EQ("クラス\"TEdit\"のプロパティ\"NoSuch\"が取得できません.", MessageOf([&] { SetEvent(Edit, "NoSuch", {}); }));
    // The unsupported kind shows the declared name, with no closing bracket.
    EXPECT_EQ("このプロパティは扱えません. [TEdit::OnChange", MessageOf([&] { GetProperty(Edit, "onchange"); }));
    EXPECT_EQ("このプロパティは扱えません. [TEdit::OnChange", MessageOf([&] { SetProperty(Edit, "ONCHANGE", 1); }));
    EXPECT_EQ("クラス\"TEdit\"のプロパティ\"text\"はイベント型ではありません.", MessageOf([&] { GetEvent(Edit, "text"); }));
    EXPECT_EQ("クラス\"TToolsForm\"のメソッド\"Caption\"が取得できません.", MessageOf([&] { GetMethod(Form, "Caption"); }));
    EXPECT_EQ("オブジェクトが指定されていません.", MessageOf([&] { GetProperty(nullptr, "Left"); }));
    EXPECT_EQ("オブジェクトが指定されていません.", MessageOf([&] { ObjectHasMethod(nullptr, "ButtonClick"); }));

    EXPECT_TRUE(ObjectHasProperty(Edit, "onchange"));
    EXPECT_TRUE(ObjectHasEvent(Edit, "OnChange"));
    EXPECT_FALSE(ObjectHasEvent(Edit, "Text"));
    EXPECT_FALSE(ObjectHasProperty(Edit, "Nothing"));
    EXPECT_TRUE(ObjectHasMethod(Form, "buttonclick"));
    EXPECT_FALSE(ObjectHasMethod(Form, "Caption"));
    EXPECT_FALSE(ObjectHasMethod(Form, "ButtonClick" + AnsiString(300, 'x')));
}

TEST_F(PropertyAccess, EventsTakePublishedMethodsByName) {
    TMethod handler = GetMethod(Form, "BUTTONCLICK");
    EXPECT_EQ(static_cast<void*>(Form), handler.Data);
    SetEvent(Button, "onclick", handler);
    EXPECT_EQ(handler, GetEvent(Button, "OnClick"));
    Button->Click();
    ASSERT_EQ(1u, Form->Clicked.size());
    EXPECT_EQ(Button, Form->Clicked[0]);
    // A method of another shape is refused by the type information.
    EXPECT_THROW(SetEvent(Edit, "OnKeyPress", handler), EPropertyError);

    // The same through the wrapper, by value and pointer-style.
    ObjectAttributes check(Check), form(Form);
    check.Events("OnClick") = form.Methods("ButtonClick");
    check->SetProperties("Caption", "確認");
    check.Properties("Left") = 8;
    check.Properties("Top") = check.Properties("Left");
    EXPECT_EQ(8, check.Properties("Top").Value().AsInteger());
    EXPECT_EQ(Variant("確認"), check->GetProperties("caption"));
    EXPECT_EQ(handler, check.GetEvents("OnClick"));
    ObjectAttributes copy = check;
    EXPECT_EQ(static_cast<TObject*>(Check), static_cast<TObject*>(copy));
}

TEST(VarRec, ConvertsEachKindAsItsTableSays) {
    const long double extended = 1.5;
    const ShortString shortText("abc");
    const AnsiString withZero("ab\0cd", 5);
    const wchar_t wide[] = L"日本";
    TComponent component(nullptr);
    EXPECT_EQ("-5", VarRecToString(TVarRec(-5)));
    EXPECT_EQ("false", VarRecToString(TVarRec(false)));
    EXPECT_EQ("7", VarRecToString(TVarRec('7')));
    EXPECT_EQ("abc", VarRecToString(TVarRec(shortText)));
    EXPECT_EQ("12", VarRecToString(TVarRec("12")));
    EXPECT_EQ("65", VarRecToString(TVarRec(L'A')));
    EXPECT_EQ("日本", VarRecToString(TVarRec(wide)));
    EXPECT_EQ("ab", VarRecToString(TVarRec(withZero)));
    EXPECT_EQ(-5, VarRecToInteger(TVarRec(-5)));
    EXPECT_EQ(1, VarRecToInteger(TVarRec(true)));
    EXPECT_EQ(7, VarRecToInteger(TVarRec('7')));
    EXPECT_EQ(65, VarRecToInteger(TVarRec(L'A')));
    EXPECT_EQ(12, VarRecToInteger(TVarRec("12")));
    EXPECT_THROW(VarRecToInteger(TVarRec('x')), EConvertError);
    for (const TVarRec& r : {TVarRec(extended), TVarRec(&component), TVarRec(TComponent::StaticClass())}) {
        EXPECT_EQ("値を文字列に変換できませんでした.", MessageOf([&] { VarRecToString(r); }));
        EXPECT_EQ("値を文字列に変換できませんでした.", MessageOf([&] { VarRecToInteger(r); }));
    }
    EXPECT_EQ(&component, VarRecToObject(TVarRec(static_cast<TObject*>(&component))));
    EXPECT_EQ(&component, VarRecToObject(TVarRec(static_cast<const void*>(&component))));
    EXPECT_EQ("値をオブジェクトに変換できませんでした.", MessageOf([] { VarRecToObject(TVarRec(TComponent::StaticClass())); }));
    EXPECT_EQ("値をオブジェクトに変換できませんでした.", MessageOf([] { VarRecToObject(TVarRec(3)); }));
}

TEST(ComponentNames, UniqueNamesAndCreationByClass) {
    TComponent owner(nullptr);
    EXPECT_EQ("Button1", FindUniqueName(&owner, "Button"));
    TComponent* first = CreateComponent(GetClass("TButton"), &owner);
    EXPECT_EQ("TButton", first->ClassName());
    EXPECT_EQ(&owner, first->Owner());
    first->SetName("BUTTON1");
    NewComponent<TComponent>(&owner)->SetName("Button3");
    EXPECT_EQ("Button2", FindUniqueName(&owner, "Button"));
    EXPECT_EQ("Label31", FindUniqueName(&owner, "Label3"));
    EXPECT_EQ("オーナーが指定されていません.", MessageOf([] { FindUniqueName(nullptr, "Button"); }));

    // A form made by class is whole: its last step has run.
    auto* form = static_cast<TToolsForm*>(CreateComponent(GetClass("ttoolsform"), &owner));
    EXPECT_TRUE(form->Finished);
    EXPECT_THROW(CreateComponent(GetClass("TStringList"), &owner), EClassNotFound);
    EXPECT_EQ("クラスが指定されていません.", MessageOf([&] { CreateComponent(nullptr, &owner); }));
}

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

std::vector<std::string> gCompared;
int RecordingCompare(AnsiString a, AnsiString b) {
    gCompared.push_back(a + "," + b);
    return CompareStr(a, b);
}
int Descending(AnsiString a, AnsiString b) { return CompareComponentNames(b, a); }

// A list that records the exchanges a sort makes.
class TExchangeLog : public TStringList {
public:
    std::vector<std::string> Exchanges;
    void Exchange(int a, int b) override {
        Exchanges.push_back(std::to_string(a) + "-" + std::to_string(b));
        TStringList::Exchange(a, b);
    }
};

}  // namespace

TEST(NaturalOrder, DigitsAndComparison) {
    EXPECT_EQ(7, FirstNumPos("Button12"));
    EXPECT_EQ(0, FirstNumPos("Label"));
    EXPECT_EQ(0, FirstNumPos(""));
    EXPECT_EQ(1, FirstNumPos("1abc"));
    EXPECT_EQ(7, FirstNumPos("ボタン1"));
    EXPECT_EQ(0, FirstNumPos("ボタン１"));  // a full-width digit is no digit

    EXPECT_EQ(-1, CompareComponentNames("Button2", "Button10"));
    EXPECT_EQ(1, CompareComponentNames("Button10", "Button2"));
    EXPECT_EQ(0, CompareComponentNames("Button10", "Button10"));
    EXPECT_EQ(0, CompareComponentNames("Button01", "Button1"));
    for (auto [a, b] : {std::pair{"Item1x", "Item2"}, {"Label", "Edit"}, {"Edit1", "Button10"}, {"Btn10", "Button2"},
                        {"Button99999999999", "Button2"}, {"Button0x1F", "Button31"}})
        EXPECT_EQ(Sign(AnsiCompareStr(a, b)), Sign(CompareComponentNames(a, b))) << a << " " << b;
    EXPECT_GT(CompareComponentNames("Edit1", "Button10"), 0);
    EXPECT_LT(CompareComponentNames("Btn10", "Button2"), 0);
}

TEST(NaturalOrder, SortStringsMovesObjectsWithTheirTexts) {
    TComponent a(nullptr), b(nullptr), c(nullptr);
    TStringList list;
    list.AddObject("Button10", &a);
    list.AddObject("Button2", &b);
    list.AddObject("Button1", &c);
    int changes = 0;
    struct TCounter {
        int* Count;
        void Changed(TObject*) { ++*Count; }
    } counter{&changes};
    list.OnChange = MakeEvent<&TCounter::Changed>(&counter);
    SortStrings(&list, 0, 2, CompareComponentNames);
    EXPECT_EQ("Button1\r\nButton2\r\nButton10\r\n", list.Text());
    EXPECT_EQ(&c, list.Objects(0));
    EXPECT_EQ(&b, list.Objects(1));
    EXPECT_EQ(&a, list.Objects(2));
    EXPECT_GT(changes, 0);

    // The calls always put the item first, the pivot second; the pivot is
    // the middle item's text, taken once per pass.
    TExchangeLog log;
    log.SetText("c\na\nb");
    gCompared.clear();
    SortStrings(&log, 0, 2, RecordingCompare);
    EXPECT_EQ("a\r\nb\r\nc\r\n", log.Text());
    EXPECT_EQ((std::vector<std::string>{"c,a", "b,a", "a,a", "c,c", "b,c"}), gCompared);
    EXPECT_EQ((std::vector<std::string>{"0-1", "1-2"}), log.Exchanges);

    log.Exchanges.clear();
    SortStrings(&log, 1, 1, RecordingCompare);
    EXPECT_EQ((std::vector<std::string>{"1-1"}), log.Exchanges);  // with itself

    log.SetText("Item3\nItem10\nItem1\nItem22\nItem2");
    SortStrings(&log, 0, 4, Descending);
    EXPECT_EQ("Item22\r\nItem10\r\nItem3\r\nItem2\r\nItem1\r\n", log.Text());
    TStringList empty;
    EXPECT_THROW(SortStrings(&empty, 0, 0, CompareComponentNames), EListError);
}

namespace {

class TCountingDesigner : public IFormDesigner {
public:
    unsigned long AddRef() override { return ++Refs; }
    unsigned long Release() override {
        ++Releases;
        return --Refs;
    }
    TComponent* GetRoot() override { return nullptr; }
    void Modified() override {}
    unsigned long Refs = 1;
    int Releases = 0;
};

struct TNames {
    std::vector<std::string> Names;
    bool Raise = false;
    void Take(const AnsiString& name) {
        if (Raise) throw Exception("stop");
        Names.push_back(name);
    }
};

}  // namespace

TEST(PropertyNames, PublishedNonEventsInDeclarationOrderInheritedFirst) {
    TComponent owner(nullptr);
    TButton* button = NewComponent<TButton>(&owner);
    TCountingDesigner designer;
    TNames names;
    GetProperties(button, &designer, MakeEvent<&TNames::Take>(&names));
    EXPECT_EQ(1u, designer.Refs);
    EXPECT_EQ(1, designer.Releases);
    ASSERT_GE(names.Names.size(), 7u);
    EXPECT_EQ((std::vector<std::string>{"Name", "Tag", "Left", "Top", "Width", "Height", "Cancel"}),
              std::vector<std::string>(names.Names.begin(), names.Names.begin() + 7));
    std::size_t events = 0;
    for (const TPropInfo* p : GetPropList(TButton::StaticClass())) events += p->Kind() == tkMethod;
    EXPECT_EQ(GetPropList(TButton::StaticClass()).size() - events, names.Names.size());
    for (const auto& n : names.Names) EXPECT_NE("On", n.substr(0, 2)) << n;

    // A callback that raises ends it; the designer is given back all the same.
    names.Raise = true;
    EXPECT_THROW(GetProperties(button, &designer, MakeEvent<&TNames::Take>(&names)), Exception);
    EXPECT_EQ(1u, designer.Refs);
    names.Raise = false;
    names.Names.clear();
    GetProperties(button, nullptr, MakeEvent<&TNames::Take>(&names));
    EXPECT_FALSE(names.Names.empty());
}
