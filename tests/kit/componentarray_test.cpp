// Component arrays and the property serializer on real forms and controls:
// creation, naming and placing of elements, setting one property or event on
// all of them, elements that go away, the array in form text; the stream
// format byte for byte, round trips of every kind through a file, the
// refusals, and fuzzed streams read against a real owner form.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "framework/Streams.h"
#include "kit/Componentarray.h"
#include "tests/support/ExceptionMessage.h"
#include "tests/support/GuardedHeap.h"

using namespace Fw;
using namespace Kit;
using TestSupport::MessageOf;

namespace {

class TArrayForm : public TForm {
public:
    FW_CLASS(TArrayForm, TForm)
    explicit TArrayForm(TComponent* owner) : TForm(owner) {}
    double Ratio = 0;
    std::vector<TObject*> Clicked;
    std::vector<std::string> Log;
    void ElementClick(TObject* Sender) { Clicked.push_back(Sender); }
    void ElementCreated(TObject*, TComponent* c) { Log.push_back("create " + c->Name()); }
    void ElementAdded(TObject*, int index, TComponent* c) {
        Log.push_back("add " + std::to_string(index));
        if (Rename) c->SetName(Rename);
    }
    void ElementDeleted(TObject*, int index, TComponent*) { Log.push_back("delete " + std::to_string(index)); }
    const char* Rename = nullptr;
};

}  // namespace

FW_PUBLISH(TArrayForm)
    .Property("Ratio", &TArrayForm::Ratio, &TArrayForm::Ratio)
    .Method<&TArrayForm::ElementClick>("ElementClick")
    .Method<&TArrayForm::ElementCreated>("ElementCreated")
    .Method<&TArrayForm::ElementAdded>("ElementAdded")
    .Method<&TArrayForm::ElementDeleted>("ElementDeleted")
FW_END_PUBLISH

namespace {

template <class T>
T* Named(TComponent* owner, const char* name) {
    T* c = NewComponent<T>(owner);
    c->SetName(name);
    return c;
}

struct ComponentArray : ::testing::Test {
    TArrayForm* Form = Named<TArrayForm>(nullptr, "ArrayForm");
    TComponentArray* Array = Named<TComponentArray>(Form, "ComponentArray1");
    ~ComponentArray() override { FreeComponent(Form); }
};

}  // namespace

TEST_F(ComponentArray, CreateNewNamesPlacesAndAddsElements) {
    Named<TButton>(Form, "Button1");
    TPanel* panel = Named<TPanel>(Form, "Panel1");
    Array->OnCreateNew = MakeEvent<&TArrayForm::ElementCreated>(Form);
    Array->OnAdd = MakeEvent<&TArrayForm::ElementAdded>(Form);
    Array->SetElementClassName("TLabel");
    TComponent* first = Array->CreateNew();
    EXPECT_EQ("TLabel", first->ClassName());
    EXPECT_EQ("Button2", first->Name());  // the stem is Button whatever the class
    EXPECT_EQ(Form, static_cast<TControl*>(first)->Parent());
    EXPECT_EQ((std::vector<std::string>{"create Button2", "add 0"}), Form->Log);

    // Onto the panel: the label on the form leaves, the class name empties.
    Array->SetParent(panel);
    EXPECT_EQ(0, Array->ElementCount());
    EXPECT_EQ("", Array->ElementClassName());
    TComponent* second = Array->CreateNew("Caption1");
    EXPECT_EQ("TLabel", second->ClassName());
    EXPECT_EQ(panel, static_cast<TControl*>(second)->Parent());
    EXPECT_EQ(0, Array->IndexOfElement(second));

    // A name already taken: made, kept by the owner unnamed, not added.
    const int owned = Form->ComponentCount();
    EXPECT_THROW(Array->CreateNew("button1"), EComponentError);
    EXPECT_EQ(owned + 1, Form->ComponentCount());
    EXPECT_EQ(1, Array->ElementCount());

    TComponentArray* plain = Named<TComponentArray>(Form, "Plain");
    plain->SetElementClassName("TPropertySerializer");
    EXPECT_EQ(Form, plain->CreateNew()->Owner());
    TComponentArray* unknown = Named<TComponentArray>(Form, "Unknown");
    unknown->SetElementClassName("TNoSuchClass");
    EXPECT_EQ("クラスが決定できません.", MessageOf([&] { unknown->CreateNew(); }));
    TComponentArray orphan(nullptr);
    orphan.SetElementClassName("TButton");
    EXPECT_EQ("コンポーネント配列にオーナーがありません.", MessageOf([&] { orphan.CreateNew(); }));
    EXPECT_EQ("コンポーネント配列にオーナーがありません.", MessageOf([&] { orphan.UpdateElements(); }));
}

TEST_F(ComponentArray, AddDeleteClassAndEvents) {
    TEdit* edit = Named<TEdit>(Form, "Edit1");
    Array->OnAdd = MakeEvent<&TArrayForm::ElementAdded>(Form);
    Array->OnDelete = MakeEvent<&TArrayForm::ElementDeleted>(Form);
    EXPECT_EQ(0, Array->Add(Named<TEdit>(Form, "Edit0")));
    Form->Rename = "Renamed";
    EXPECT_EQ(1, Array->Add(edit));
    EXPECT_EQ("Edit0\r\nRenamed\r\n", Array->Items()->Text());
    EXPECT_EQ(edit, Array->Delete(1));
    EXPECT_EQ(Form, edit->Owner());
    EXPECT_EQ((std::vector<std::string>{"add 0", "add 1", "delete 1"}), Form->Log);
    EXPECT_THROW(Array->Delete(5), EListError);
    EXPECT_EQ("コンポーネントが指定されていません.", MessageOf([&] { Array->Add(nullptr); }));
    TStringList bare;
    bare.Add("Edit0");
    Array->SetItems(&bare);
    EXPECT_EQ("配列にコンポーネントが格納されていません.", MessageOf([&] { Array->Delete(0); }));
    EXPECT_EQ(1, Array->ElementCount());

    // The element class: the same name keeps the list, another one empties it.
    Array->UpdateElements();
    Array->SetElementClassName("TEdit");
    EXPECT_EQ(0, Array->ElementCount());
    Array->Add(edit);
    Array->SetElementClassName("TEdit");
    EXPECT_EQ(1, Array->ElementCount());
    EXPECT_EQ(TEdit::StaticClass(), Array->ElementClassType());
    Array->SetElementClassType(TButton::StaticClass());
    EXPECT_EQ("TButton", Array->ElementClassName());
    EXPECT_EQ(0, Array->ElementCount());
    Array->Add(edit);
    SetProperty(Array, "ElementCount", 7);
    EXPECT_EQ(1, Array->ElementCount());
    Array->Clear();
    EXPECT_EQ(0, Array->ElementCount());
    EXPECT_EQ(Form, edit->Owner());
}

TEST_F(ComponentArray, SetsOnePropertyOrEventOnEveryElement) {
    Array->SetElementClassName("TButton");
    for (int i = 0; i < 3; ++i) Array->CreateNew();
    Array->SetPropertyAutoInc("Left", 0, 80);
    Array->SetPropertyAutoInc("caption", 1, 1);
    Array->SetPropertyAutoInc("Tag", 10, 5);
    Array->SetEvent("OnClick", Form, "elementclick");
    for (int i = 0; i < 3; ++i) {
        auto* button = static_cast<TButton*>(static_cast<TObject*>(Array->Elements(i)));
        EXPECT_EQ("Button" + std::to_string(i + 1), button->Name());
        EXPECT_EQ(std::to_string(i + 1), button->Caption());
        EXPECT_EQ(10 + 5 * i, Array->Elements(i)->GetProperties("Tag").AsInteger());
        // The real window stands where Left says.
        RECT r;
        GetWindowRect(button->Handle(), &r);
        MapWindowPoints(HWND_DESKTOP, GetParent(button->Handle()), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(80 * i, r.left);
        SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    }
    ASSERT_EQ(3u, Form->Clicked.size());
    EXPECT_EQ(static_cast<TObject*>(Array->Elements(2)), Form->Clicked[2]);

    // A missing method touches no element; a missing property stops the loop.
    const TMethod before = GetEvent(Array->Elements(0), "OnClick");
    EXPECT_EQ("クラス\"TArrayForm\"のメソッド\"NoSuch\"が取得できません.",
              MessageOf([&] { Array->SetEvent("OnClick", Form, "NoSuch"); }));
    EXPECT_EQ(before, GetEvent(Array->Elements(0), "OnClick"));
    Array->Add(Named<TLabel>(Form, "Label1"));
    Array->Add(Named<TButton>(Form, "Last"));
    EXPECT_EQ("クラス\"TLabel\"のプロパティ\"Cancel\"が取得できません.", MessageOf([&] { Array->SetProperty("Cancel", true); }));
    EXPECT_TRUE(static_cast<TButton*>(Form->FindComponent("Button3"))->Cancel());
    EXPECT_FALSE(static_cast<TButton*>(Form->FindComponent("Last"))->Cancel());
}

TEST_F(ComponentArray, ElementsAndTheParentThatGoAwayLeaveTheArray) {
    TPanel* panel = Named<TPanel>(Form, "Panel1");
    Array->SetParent(panel);
    Array->SetElementClassName("TEdit");
    Array->OnDelete = MakeEvent<&TArrayForm::ElementDeleted>(Form);
    TComponent* a = Array->CreateNew();
    Array->CreateNew();
    Array->Add(a);  // twice
    FreeComponent(a);
    EXPECT_EQ("Button2\r\n", Array->Items()->Text());

    // A component of another owner is watched.
    TArrayForm* other = Named<TArrayForm>(nullptr, "Other");
    TEdit* foreign = Named<TEdit>(other, "Foreign");
    Array->Add(foreign);
    Array->Add(Named<TEdit>(other, "Foreign2"));
    FreeComponent(foreign);
    EXPECT_EQ("Button2\r\nForeign2\r\n", Array->Items()->Text());
    FreeComponent(other);
    EXPECT_EQ("Button2\r\n", Array->Items()->Text());

    // The panel takes its controls with it.
    FreeComponent(panel);
    EXPECT_EQ(nullptr, Array->ParentControl());
    EXPECT_EQ(0, Array->ElementCount());
    EXPECT_TRUE(Form->Log.empty());  // no OnDelete for any of them
}

TEST(ComponentArrayText, IsStoredAsNamesAndResolvedWhenLoaded) {
    // Edit2 has gone since the array was stored; ElementClassName names
    // another class than the first element's.
    const char8_t text[] =
        u8"object Form1: TArrayForm\n"
        "  object Panel1: TPanel\n"
        "  end\n"
        "  object Edit1: TEdit\n"
        "  end\n"
        "  object Edit3: TEdit\n"
        "  end\n"
        "  object ComponentArray1: TComponentArray\n"
        "    ElementClassName = 'TButton'\n"
        "    ParentControl = Panel1\n"
        "    OnAdd = ElementAdded\n"
        "    Items = 'Edit1'#13#10'Edit2'#13#10'Edit3'#13#10\n"
        "  end\n"
        "end\n";
    TComponent* form = ComponentFromText(reinterpret_cast<const char*>(text), nullptr);
    auto free = OnScopeExit([form] { FreeComponent(form); });
    auto* array = static_cast<TComponentArray*>(form->FindComponent("ComponentArray1"));
    EXPECT_EQ("Edit1\r\nEdit3\r\n", array->Items()->Text());
    EXPECT_EQ(form->FindComponent("Edit3"), static_cast<TObject*>(array->Elements(1)));
    EXPECT_EQ(TEdit::StaticClass(), array->ElementClassType());
    EXPECT_EQ(form->FindComponent("Panel1"), array->ParentControl());
    EXPECT_TRUE(static_cast<TArrayForm*>(form)->Log.empty());

    AnsiString written = ComponentToText(form);
    EXPECT_NE(AnsiString::npos, written.find("Items = 'Edit1'#13#10'Edit3'#13#10")) << written;
    EXPECT_EQ(AnsiString::npos, written.find("ElementCount")) << written;
    TComponent* again = ComponentFromText(written, nullptr);
    EXPECT_EQ(written, ComponentToText(again));
    FreeComponent(again);
}

// ---------------------------------------------------------------- the serializer

namespace {

struct PropertySerializer : ::testing::Test {
    TArrayForm* Form = Named<TArrayForm>(nullptr, "SerialForm");
    TArrayForm* Dialog = Named<TArrayForm>(Form, "Dialog1");
    TEdit* Edit = Named<TEdit>(Form, "Edit1");
    TButton* Button = Named<TButton>(Form, "Button1");
    TCheckBox* Check = Named<TCheckBox>(Form, "CheckBox1");
    TLabel* Label = Named<TLabel>(Form, "Label1");
    TPropertySerializer* Serializer = Named<TPropertySerializer>(Form, "PropertySerializer1");
    ~PropertySerializer() override { FreeComponent(Form); }

    void List(const char* lines) { Serializer->Items()->SetText(lines); }
    AnsiString Saved() {
        TStringStream stream;
        Serializer->SaveToStream(&stream);
        return stream.DataString();
    }
    void Load(const AnsiString& bytes) {
        TStringStream stream(bytes);
        Serializer->LoadFromStream(&stream);
    }
};

std::string TempFile(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

}  // namespace

TEST_F(PropertySerializer, WritesTheStreamFormatByteForByte) {
    Button->SetLeft(8);
    List("Button1\n\tLeft");
    EXPECT_EQ(AnsiString("\x08" "Button1\0" "\x05" "Left\0" "\x02" "8\0", 18), Saved());
    List("Edit1\n\tText\nButton1");  // an empty text; a component line alone adds nothing
    EXPECT_EQ(AnsiString("\x06" "Edit1\0" "\x05" "Text\0" "\x01\0", 15), Saved());
    List("");
    EXPECT_EQ("", Saved());
    TStringStream anything("\xFF\xFF");
    Serializer->LoadFromStream(&anything);
    EXPECT_EQ(0, anything.Position());
}

TEST_F(PropertySerializer, RoundTripsEveryKindThroughAFileAndFormText) {
    Edit->SetText("東京都千代田区千代田1番1号");
    Edit->SetMaxLength(40);
    Edit->SetPasswordChar('#');
    Button->SetLeft(-12);
    Button->SetCaption("保存(&S)");
    Button->SetDefault(true);
    Check->SetChecked(true);
    Dialog->SetPosition(poMainFormCenter);
    Dialog->SetBorderIcons({biSystemMenu, biHelp});
    Dialog->Ratio = -2.75;
    List("Edit1\n\tText\n\tMaxLength\n\tPasswordChar\nButton1\n\tLeft\n\tCaption\n\tDefault\n"
         "CheckBox1\n\tChecked\ndialog1\n\tPosition\n\tBorderIcons\n\tRatio");
    const std::string file = TempFile("serializer-roundtrip.dat");
    Serializer->SaveToFile(file);

    Edit->SetText("");
    Edit->SetMaxLength(0);
    Edit->SetPasswordChar('\0');
    Button->SetLeft(0);
    Button->SetCaption("");
    Button->SetDefault(false);
    Check->SetChecked(false);
    Dialog->SetPosition(poDesigned);
    Dialog->SetBorderIcons({});
    Dialog->Ratio = 0;
    Serializer->LoadFromFile(file);
    EXPECT_EQ("東京都千代田区千代田1番1号", Edit->Text());
    EXPECT_EQ(40, Edit->MaxLength());
    EXPECT_EQ('#', Edit->PasswordChar());
    EXPECT_EQ(-12, Button->Left());
    EXPECT_EQ("保存(&S)", Button->Caption());
    EXPECT_TRUE(Button->Default());
    EXPECT_TRUE(Check->Checked());
    EXPECT_EQ(poMainFormCenter, Dialog->Position());
    EXPECT_EQ(TBorderIcons({biSystemMenu, biHelp}), Dialog->BorderIcons());
    EXPECT_EQ(-2.0, Dialog->Ratio);  // stored truncated
    DeleteFileA(file.c_str());

    // The list travels with the form as "Items".
    AnsiString text = ComponentToText(Form);
    EXPECT_NE(AnsiString::npos, text.find("Items = 'Edit1'#13#10#9'Text'#13#10")) << text;
    TComponent* copy = ComponentFromText(text, nullptr);
    auto* serializer = static_cast<TPropertySerializer*>(copy->FindComponent("PropertySerializer1"));
    EXPECT_EQ(Serializer->Items()->Text(), serializer->Items()->Text());
    FreeComponent(copy);
}

TEST_F(PropertySerializer, ReadErrorsStopTheLoadWithTheEntriesBeforeApplied) {
    Button->SetLeft(5);
    Button->SetTop(6);
    List("Button1\n\tLeft\n\tTop");
    const AnsiString saved = Saved();
    Button->SetLeft(0);
    Button->SetTop(0);
    List("Button1\n\tLeft\n\tWidth");
    EXPECT_EQ("read error!!", MessageOf([&] { Load(saved); }));
    EXPECT_EQ(5, Button->Left());
    List("Button1\n\tTag\n\tLeft\n\tTop");  // a line in front of the saved ones
    EXPECT_EQ("read error!!", MessageOf([&] { Load(saved); }));
    List("BUTTON1\n\tLeft\n\tTop");  // still found, but stored as Button1
    EXPECT_EQ("read error!!", MessageOf([&] { Load(saved); }));

    List("Button1\n\tLeft");
    const AnsiString entry = saved.substr(0, 18);
    for (const AnsiString& bad : {entry.substr(0, 11), AnsiString("\x00", 1), AnsiString("\x80" "Button1", 8),
                                  AnsiString("\x08" "Button1X", 9) + entry.substr(9)})
        EXPECT_THROW(Load(bad), EReadError) << bad.size();
    EXPECT_THROW(Load(entry.substr(0, 15) + "\x02x" + AnsiString(1, '\0')), EConvertError);
}

TEST_F(PropertySerializer, RefusesWhatItCannotStoreBeforeTouchingTheEntry) {
    List("Button1\n\tLeft\nEdit1\n\tText");
    Edit->SetText(AnsiString(126, 'x'));
    EXPECT_EQ('\x7F', Saved()[18 + 13]);
    Edit->SetText(AnsiString(127, 'x'));
    TStringStream stream;
    EXPECT_THROW(Serializer->SaveToStream(&stream), Exception);
    EXPECT_EQ(18, stream.Size());  // the entry before, and nothing of this one

    const std::string file = TempFile("serializer-kept.dat");
    Edit->SetText("ok");
    Serializer->SaveToFile(file);
    Edit->SetText(AnsiString(200, 'x'));
    EXPECT_THROW(Serializer->SaveToFile(file), Exception);
    Edit->SetText("");
    Serializer->LoadFromFile(file);  // the failed save left the file alone
    EXPECT_EQ("ok", Edit->Text());
    DeleteFileA(file.c_str());

    // Refused where the entry begins: the stream stays at its first byte.
    const struct {
        const char* List;
        const char* Message;
        int At;
    } refused[] = {
        {"Button1\n\tLeft\nButton9\n\tLeft", "コンポーネント Button9 がオーナーにありません. (3 行目)", 18},
        {"\tLeft\nButton1", "プロパティ Left の前にコンポーネントの行がありません. (1 行目)", 0},
        {"Button1\n\tLeft\n\n\tTop", "プロパティ リストに空の行があります. (3 行目)", 18},
        {"Label1\n\tFocusControl", "このプロパティは扱えません. [TLabel::FocusControl", 0},
        {"Label1\n\tnosuch", "クラス\"TLabel\"のプロパティ\"nosuch\"が取得できません.", 0},
    };
    for (const auto& r : refused) {
        List(r.List);
        TStringStream out;
        EXPECT_EQ(r.Message, MessageOf([&] { Serializer->SaveToStream(&out); })) << r.List;
        EXPECT_EQ(r.At, out.Size()) << r.List;
        TStringStream in(AnsiString("\x08" "Button1\0" "\x05" "Left\0" "\x02" "8\0", 18) + AnsiString(18, '\x01'));
        EXPECT_EQ(r.Message, MessageOf([&] { Serializer->LoadFromStream(&in); })) << r.List;
        EXPECT_EQ(r.At, in.Position()) << r.List;
    }

    TPropertySerializer orphan(nullptr);
    orphan.Items()->SetText("Button1\n\tLeft");
    TStringStream out;
    EXPECT_EQ("プロパティ シリアライザにオーナーがありません.", MessageOf([&] { orphan.SaveToStream(&out); }));
    EXPECT_THROW(orphan.SaveToFile(TempFile("serializer-orphan.dat")), Exception);
    EXPECT_FALSE(FileExists(TempFile("serializer-orphan.dat")));
}

TEST_F(PropertySerializer, FuzzedStreamsGiveOnlyClearErrors) {
    // Long texts live on the heap from the start, so that the values
    // restored at the end hold the blocks they held before.
    Edit->SetText("東京都千代田区千代田一丁目一番一号");
    Button->SetCaption("この値はヒープに置かれる長さです");
    Button->SetLeft(8);
    Check->SetChecked(true);
    Dialog->SetPosition(poScreenCenter);
    Dialog->Ratio = 12.5;
    List("Edit1\n\tText\n\tMaxLength\n\tPasswordChar\nButton1\n\tLeft\n\tCaption\n\tDefault\n"
         "CheckBox1\n\tChecked\nDialog1\n\tPosition\n\tBorderIcons\n\tRatio\n\tTag");
    const AnsiString valid = Saved();
    const int components = Form->ComponentCount();

    std::mt19937 random(20240601);
    auto below = [&](std::size_t n) { return n ? static_cast<std::size_t>(random() % n) : 0; };
    auto mutate = [&](AnsiString s) {
        for (std::size_t n = 1 + below(4); n > 0 && !s.empty(); --n) {
            const char special[] = {'\0', '\x7F', '\x80', '\xFF', '\x01'};
            s[below(s.size())] = random() % 2 ? special[below(5)] : static_cast<char>(random());
        }
        return s;
    };
    int failures = 0, loads = 0;
    long liveAfterWarmUp = 0;
    for (int i = 0; i < 12000; ++i) {
        if (i == 300) {  // past what the first loads set up for good
            Load(valid);
            liveAfterWarmUp = TestSupport::LiveBlocks();
        }
        AnsiString bytes;
        switch (i % 3) {
            case 0:
                for (std::size_t n = below(120); n > 0; --n) bytes += static_cast<char>(random());
                break;
            case 1: bytes = valid.substr(0, below(valid.size())); break;
            default: bytes = mutate(valid); break;
        }
        try {
            Load(bytes);
            ++loads;
        } catch (Exception& e) {
            ++failures;
            ASSERT_FALSE(e.Message().empty());
        } catch (...) {
            FAIL() << "not an Exception, at stream " << i;
        }
    }
    Load(valid);
    EXPECT_EQ(liveAfterWarmUp, TestSupport::LiveBlocks());
    EXPECT_EQ(components, Form->ComponentCount());
    EXPECT_EQ(12000, failures + loads);
    EXPECT_GT(failures, 9000);
    EXPECT_EQ("東京都千代田区千代田一丁目一番一号", Edit->Text());
    EXPECT_EQ(12.0, Dialog->Ratio);
}
