// Component trees written as form text and read back.
#include <gtest/gtest.h>

#include "framework/Collection.h"
#include "framework/Filer.h"
#include "framework/Streams.h"

using namespace Fw;

namespace StreamingTest {

enum TFruit { frApple, frBanana, frCherry, frDurian };
FW_ENUM_INFO(TFruit, "frApple", "frBanana", "frCherry", "frDurian")
using TFruits = TSet<TFruit>;

int LiveComponents = 0;

class TSample : public TPersistent {
public:
    FW_CLASS(TSample, TPersistent)
    int Width = 0;
    AnsiString Label;
    void Assign(TPersistent* source) override {
        if (auto* s = dynamic_cast<TSample*>(source)) {
            Width = s->Width;
            Label = s->Label;
        } else {
            TPersistent::Assign(source);
        }
    }
};

FW_PUBLISH(TSample)
    .Property("Width", &TSample::Width, &TSample::Width).Default(0)
    .Property("Label", &TSample::Label, &TSample::Label)
FW_END_PUBLISH

class TSampleItem : public TCollectionItem {
public:
    FW_CLASS(TSampleItem, TCollectionItem)
    explicit TSampleItem(TCollection* c) : TCollectionItem(c) {}
    AnsiString Caption;
    int Weight = 1;
    void Assign(TPersistent* source) override {
        if (auto* s = dynamic_cast<TSampleItem*>(source)) {
            Caption = s->Caption;
            Weight = s->Weight;
        } else {
            TCollectionItem::Assign(source);
        }
    }
};

FW_PUBLISH(TSampleItem)
    .Property("Caption", &TSampleItem::Caption, &TSampleItem::Caption)
    .Property("Weight", &TSampleItem::Weight, &TSampleItem::Weight).Default(1)
FW_END_PUBLISH

// A property of every kind the streaming system supports.
class TEveryKind : public TComponent {
public:
    FW_CLASS(TEveryKind, TComponent)
    explicit TEveryKind(TComponent* owner)
        : TComponent(owner), FItems(TSampleItem::StaticClass(), this) {
        ++LiveComponents;
    }
    ~TEveryKind() override { --LiveComponents; }

    int Count = 0;
    char Letter = 'A';
    TFruit Fruit = frApple;
    bool Flag = false;
    double Ratio = 0;
    AnsiString Text;
    TFruits Fruits;
    TEveryKind* Buddy = nullptr;
    TNotifyEvent OnPing;
    AnsiString Blob;     // custom data: any bytes
    AnsiString Binary;   // custom binary data

    TCollection* Items() { return &FItems; }
    void SetItems(TCollection* value) { FItems.Assign(value); }
    TSample* Sample() { return &FSample; }
    void SetSample(TSample* value) { FSample.Assign(value); }

    int LoadedCalls = 0;
    bool BuddyKnownAtLoaded = false;
    bool PingKnownAtLoaded = false;

protected:
    void Loaded() override {
        TComponent::Loaded();
        ++LoadedCalls;
        BuddyKnownAtLoaded = Buddy != nullptr;
        PingKnownAtLoaded = static_cast<bool>(OnPing);
    }
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == opRemove && component == Buddy) Buddy = nullptr;
    }
    void DefineProperties(TFiler* filer) override {
        TComponent::DefineProperties(filer);
        filer->DefineProperty("Blob", MakeEvent<&TEveryKind::ReadBlob>(this),
                              MakeEvent<&TEveryKind::WriteBlob>(this), !Blob.empty());
        filer->DefineBinaryProperty("Binary", MakeEvent<&TEveryKind::ReadBinary>(this),
                                    MakeEvent<&TEveryKind::WriteBinary>(this), !Binary.empty());
    }

private:
    void ReadBlob(TReader* reader) { Blob = reader->ReadString(); }
    void WriteBlob(TWriter* writer) { writer->WriteString(Blob); }
    void ReadBinary(TStream* stream) {
        Binary.assign(static_cast<size_t>(stream->Size()), '\0');
        stream->ReadBuffer(Binary.data(), static_cast<int>(Binary.size()));
    }
    void WriteBinary(TStream* stream) { stream->WriteBuffer(Binary.data(), static_cast<int>(Binary.size())); }

    TCollection FItems;
    TSample FSample;
};

FW_PUBLISH(TEveryKind)
    .Property("Count", &TEveryKind::Count, &TEveryKind::Count).Default(0)
    .Property("Letter", &TEveryKind::Letter, &TEveryKind::Letter).Default('A')
    .Property("Fruit", &TEveryKind::Fruit, &TEveryKind::Fruit).Default(frApple)
    .Property("Flag", &TEveryKind::Flag, &TEveryKind::Flag).Default(false)
    .Property("Ratio", &TEveryKind::Ratio, &TEveryKind::Ratio)
    .Property("Text", &TEveryKind::Text, &TEveryKind::Text)
    .Property("Fruits", &TEveryKind::Fruits, &TEveryKind::Fruits).Default(TFruits{})
    .Property("Buddy", &TEveryKind::Buddy, &TEveryKind::Buddy)
    .Property("OnPing", &TEveryKind::OnPing, &TEveryKind::OnPing)
    .Property("Items", &TEveryKind::Items, &TEveryKind::SetItems)
    .Property("Sample", &TEveryKind::Sample, &TEveryKind::SetSample)
FW_END_PUBLISH

class TTestRoot : public TComponent {
public:
    FW_CLASS(TTestRoot, TComponent)
    explicit TTestRoot(TComponent* owner) : TComponent(owner) { ++LiveComponents; }
    ~TTestRoot() override { --LiveComponents; }
    TEveryKind* First = nullptr;  // filled in by the reader
    int Pings = 0;
    void Ping(TObject*) { ++Pings; }
    void Other(TObject*, int) {}
};

FW_PUBLISH(TTestRoot)
    .Method<&TTestRoot::Ping>("Ping")
    .Method<&TTestRoot::Other>("Other")
    .Field("First", &TTestRoot::First)
FW_END_PUBLISH

AnsiString AllBytes() {
    AnsiString s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
}

// Root with two components that refer to each other, every property set away
// from its default.
std::unique_ptr<TTestRoot> MakeFullTree() {
    auto root = std::make_unique<TTestRoot>(nullptr);
    root->SetName("Root1");
    auto* a = new TEveryKind(root.get());
    a->SetName("First");
    auto* b = new TEveryKind(root.get());
    b->SetName("Second");
    a->Count = -123456;
    a->Letter = '\'';
    a->Fruit = frCherry;
    a->Flag = true;
    a->Ratio = 3.75;
    a->Text = "壁紙 'quoted' ソ表\\";
    a->Fruits = TFruits{frBanana, frDurian};
    a->Buddy = b;
    a->OnPing = MakeEvent<&TTestRoot::Ping>(root.get());
    a->Blob = AllBytes();
    a->Binary = AllBytes();
    auto* item = static_cast<TSampleItem*>(a->Items()->Add());
    item->Caption = "一つ目";
    item->Weight = 5;
    a->Items()->Add();
    a->Sample()->Width = 42;
    a->Sample()->Label = "ラベル";
    b->Buddy = a;
    b->Ratio = 1e-300;
    return root;
}

TEST(Streaming, EveryKindOfPropertySurvivesAWriteAndARead) {
    auto source = MakeFullTree();
    AnsiString text = ComponentToText(source.get());

    TTestRoot copy(nullptr);
    ComponentFromText(text, &copy);

    ASSERT_EQ(copy.ComponentCount(), 2);
    auto* a = dynamic_cast<TEveryKind*>(copy.FindComponent("First"));
    auto* b = dynamic_cast<TEveryKind*>(copy.FindComponent("Second"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(copy.Name(), "Root1");
    EXPECT_EQ(copy.First, a) << "published field filled in";
    EXPECT_EQ(a->Count, -123456);
    EXPECT_EQ(a->Letter, '\'');
    EXPECT_EQ(a->Fruit, frCherry);
    EXPECT_TRUE(a->Flag);
    EXPECT_EQ(a->Ratio, 3.75);
    EXPECT_EQ(a->Text, "壁紙 'quoted' ソ表\\");
    EXPECT_EQ(a->Fruits, (TFruits{frBanana, frDurian}));
    EXPECT_EQ(a->Buddy, b);
    EXPECT_EQ(b->Buddy, a) << "a reference backwards in the text resolves too";
    EXPECT_EQ(b->Ratio, 1e-300);
    EXPECT_EQ(a->Blob, AllBytes());
    EXPECT_EQ(a->Binary, AllBytes());
    ASSERT_EQ(a->Items()->Count(), 2);
    EXPECT_EQ(static_cast<TSampleItem*>(a->Items()->Items(0))->Caption, "一つ目");
    EXPECT_EQ(static_cast<TSampleItem*>(a->Items()->Items(0))->Weight, 5);
    EXPECT_EQ(static_cast<TSampleItem*>(a->Items()->Items(1))->Weight, 1);
    EXPECT_EQ(a->Sample()->Width, 42);
    EXPECT_EQ(a->Sample()->Label, "ラベル");
    ASSERT_TRUE(a->OnPing);
    a->OnPing(a);
    EXPECT_EQ(copy.Pings, 1) << "the event calls the reading root's method";
    EXPECT_EQ(a->OnPing, MakeEvent<&TTestRoot::Ping>(&copy));

    // Written again, the copy gives the same text.
    EXPECT_EQ(ComponentToText(&copy), text);
}

TEST(Streaming, TextIsUtf8AndHandEditable) {
    auto source = MakeFullTree();
    AnsiString text = ComponentToText(source.get());
    // "壁紙" in UTF-8, not Shift-JIS.
    EXPECT_NE(text.find("\xE5\xA3\x81\xE7\xB4\x99"), AnsiString::npos) << text;
    EXPECT_NE(text.find("object First: TEveryKind"), AnsiString::npos);
    EXPECT_NE(text.find("Fruits = [frBanana, frDurian]"), AnsiString::npos);
    EXPECT_NE(text.find("OnPing = Ping"), AnsiString::npos);
    EXPECT_NE(text.find("Sample.Width = 42"), AnsiString::npos);
    EXPECT_NE(text.find("Buddy = Second"), AnsiString::npos);
}

TEST(Streaming, ValuesEqualToTheirDefaultsAreNotWritten) {
    TTestRoot root(nullptr);
    root.SetName("Root1");
    (new TEveryKind(&root))->SetName("Plain");
    AnsiString text = ComponentToText(&root);
    for (const char* name : {"Count", "Letter", "Fruit", "Flag", "Ratio", "Text", "Fruits", "Buddy",
                             "OnPing", "Items", "Sample", "Blob", "Binary", "Tag"})
        EXPECT_EQ(text.find(AnsiString(name) + " ="), AnsiString::npos) << name << " in\n" << text;
}

TEST(Streaming, LoadedRunsOncePerComponentAfterReferencesAndEvents) {
    auto source = MakeFullTree();
    AnsiString text = ComponentToText(source.get());
    TTestRoot copy(nullptr);
    ComponentFromText(text, &copy);
    auto* a = static_cast<TEveryKind*>(copy.FindComponent("First"));
    auto* b = static_cast<TEveryKind*>(copy.FindComponent("Second"));
    EXPECT_EQ(a->LoadedCalls, 1);
    EXPECT_EQ(b->LoadedCalls, 1);
    EXPECT_TRUE(a->BuddyKnownAtLoaded) << "a forward reference is resolved before Loaded";
    EXPECT_TRUE(a->PingKnownAtLoaded);
    EXPECT_TRUE(b->BuddyKnownAtLoaded);
    EXPECT_FALSE(a->ComponentState().Contains(csLoading));
    EXPECT_FALSE(a->ComponentState().Contains(csReading));
    EXPECT_FALSE(copy.ComponentState().Contains(csLoading));
}

TEST(Streaming, RootCanBeCreatedFromTheStreamByClassName) {
    auto source = MakeFullTree();
    AnsiString text = ComponentToText(source.get());
    TComponent owner(nullptr);
    TComponent* made = ComponentFromText(text, nullptr, &owner);
    ASSERT_NE(dynamic_cast<TTestRoot*>(made), nullptr);
    EXPECT_EQ(made->Owner(), &owner);
    EXPECT_EQ(made->ComponentCount(), 2);
}

struct BrokenCase {
    const char* text;
    int line;
    const char* fragment;
};

TEST(Streaming, CorruptedTextFailsNamingTheLineAndFreesWhatWasMade) {
    const BrokenCase cases[] = {
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Count = 'x'\n  end\nend\n", 3, ""},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Nothing = 1\n  end\nend\n", 3, "Nothing"},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Fruit = frMango\n  end\nend\n", 3, "frMango"},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n  end\n  object X: TNoSuchClass\n  end\nend\n", 4, "TNoSuchClass"},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    OnPing = Missing\n  end\nend\n", 3, "Missing"},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    OnPing = Other\n  end\nend\n", 3, ""},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Buddy = Nobody\n  end\nend\n", 3, "Nobody"},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n  end\n  object first: TEveryKind\n  end\nend\n", 4, "first"},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Text = 'open\n  end\nend\n", 3, ""},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Count = 99999999999\n  end\nend\n", 3, ""},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Fruits = [frApple frBanana]\n  end\nend\n", 3, ""},
        {"object Root1: TTestRoot\n  object First: TEveryKind\n    Blob = #300\n  end\nend\n", 3, ""},
    };
    for (const BrokenCase& c : cases) {
        TTestRoot root(nullptr);
        int before = LiveComponents;
        try {
            ComponentFromText(c.text, &root);
            ADD_FAILURE() << "no error for\n" << c.text;
        } catch (const EFilerError& e) {
            EXPECT_NE(e.Message().find("(" + std::to_string(c.line) + " 行目)"), AnsiString::npos)
                << e.Message() << "\nfor\n" << c.text;
            EXPECT_NE(e.Message().find(c.fragment), AnsiString::npos) << e.Message();
        }
        EXPECT_EQ(LiveComponents, before) << "components made before the error are freed:\n" << c.text;
        EXPECT_EQ(root.ComponentCount(), 0);
        EXPECT_EQ(root.First, nullptr) << "field does not point at a freed component";
        EXPECT_FALSE(root.ComponentState().Contains(csLoading));
    }
}

TEST(Streaming, EveryTruncationOfAValidTextFailsCleanly) {
    auto source = MakeFullTree();
    AnsiString text = ComponentToText(source.get());
    // Cut at every line end and in the middle of lines: never a crash or a
    // leak, always a read error with a line number.
    for (size_t cut = 0; cut + 3 < text.size(); cut += 7) {
        TTestRoot root(nullptr);
        int before = LiveComponents;
        try {
            ComponentFromText(text.substr(0, cut), &root);
            ADD_FAILURE() << "truncation at " << cut << " was accepted";
        } catch (const EReadError& e) {
            EXPECT_NE(e.Message().find(" 行目)"), AnsiString::npos) << e.Message();
        }
        EXPECT_EQ(LiveComponents, before) << "cut at " << cut;
    }
}

TEST(Streaming, UnknownClassRaisesClassNotFound) {
    TTestRoot root(nullptr);
    EXPECT_THROW(ComponentFromText("object Root1: TTestRoot\n  object A: TMissing\n  end\nend\n", &root),
                 EClassNotFound);
}

// The type-information unit offers what the form text writes and reads:
// set text, and every kind of property as a Variant.
TEST(TypeInfoText, SetsAsTextBothWays) {
    const TTypeInfo* fruits = TypeInfoOf<TFruits>();
    EXPECT_EQ("[]", SetToString(fruits, 0));
    EXPECT_EQ("[frBanana, frDurian]", SetToString(fruits, TFruits{frDurian, frBanana}.Bits()));
    EXPECT_EQ("frApple, frCherry", SetToString(fruits, TFruits{frApple, frCherry}.Bits(), false));
    EXPECT_EQ("[frApple]", SetToString(fruits, 1 | (1 << 20))) << "bits outside the type are left out";
    EXPECT_EQ(static_cast<int>(TFruits{frBanana, frDurian}.Bits()), StringToSet(fruits, " [ FRDURIAN ,frbanana ] "));
    EXPECT_EQ(static_cast<int>(TFruits{frCherry}.Bits()), StringToSet(fruits, "frCherry"));
    EXPECT_EQ(0, StringToSet(fruits, "[]"));
    EXPECT_EQ(0, StringToSet(fruits, ""));
    EXPECT_THROW(StringToSet(fruits, "[frApple, frMango]"), EPropertyError);
    EXPECT_THROW(StringToSet(fruits, "[frApple"), EPropertyError);
    EXPECT_THROW(StringToSet(fruits, "frApple,"), EPropertyError) << "an empty name is no element";
    EXPECT_THROW(SetToString(TypeInfoOf<TFruit>(), 1), EPropertyError) << "not a set type";

    TEveryKind k(nullptr);
    SetSetProp(&k, "Fruits", "[frApple, frDurian]");
    EXPECT_EQ((TFruits{frApple, frDurian}), k.Fruits);
    EXPECT_EQ("frApple, frDurian", GetSetProp(&k, "Fruits", false));
    SetEnumProp(&k, "Fruit", "FRCHERRY");
    EXPECT_EQ(frCherry, k.Fruit);
    EXPECT_EQ("frCherry", GetEnumProp(&k, "Fruit"));
    EXPECT_THROW(SetSetProp(&k, "Fruit", "[]"), EPropertyError) << "an enumeration is no set";
}

TEST(TypeInfoText, EveryKindThroughVariants) {
    TEveryKind k(nullptr);
    k.Count = -7;
    k.Letter = 'Z';
    k.Fruit = frBanana;
    k.Flag = true;
    k.Ratio = 2.5;
    k.Text = "文字列";
    k.Fruits = TFruits{frCherry};
    EXPECT_EQ(Variant(-7), GetPropValue(&k, "Count"));
    EXPECT_EQ(Variant('Z' + 0), GetPropValue(&k, "Letter"));
    EXPECT_EQ(Variant("frBanana"), GetPropValue(&k, "Fruit"));
    EXPECT_EQ(Variant(1), GetPropValue(&k, "Fruit", false));
    EXPECT_EQ(Variant(true), GetPropValue(&k, "Flag"));
    EXPECT_EQ(Variant(2.5), GetPropValue(&k, "Ratio"));
    EXPECT_EQ(Variant("文字列"), GetPropValue(&k, "Text"));
    EXPECT_EQ(Variant("[frCherry]"), GetPropValue(&k, "Fruits"));
    EXPECT_EQ(Variant(4), GetPropValue(&k, "Fruits", false));
    EXPECT_THROW(GetPropValue(&k, "Buddy"), EPropertyError);
    EXPECT_THROW(GetPropValue(&k, "OnPing"), EPropertyError);

    SetPropValue(&k, "Count", Variant("12"));
    EXPECT_EQ(12, k.Count);
    SetPropValue(&k, "Count", Variant(3.5));
    EXPECT_EQ(4, k.Count) << "halves round to the even integer";
    EXPECT_THROW(SetPropValue(&k, "Count", Variant("twelve")), EConvertError);
    SetPropValue(&k, "Letter", Variant("7"));
    EXPECT_EQ('7', k.Letter) << "a one-byte string is the character itself";
    SetPropValue(&k, "Letter", Variant(65));
    EXPECT_EQ('A', k.Letter);
    SetPropValue(&k, "Fruit", Variant("frDurian"));
    EXPECT_EQ(frDurian, k.Fruit);
    SetPropValue(&k, "Fruit", Variant(0));
    EXPECT_EQ(frApple, k.Fruit);
    EXPECT_THROW(SetPropValue(&k, "Fruit", Variant(9)), EPropertyError);
    SetPropValue(&k, "Flag", Variant(false));
    EXPECT_FALSE(k.Flag);
    SetPropValue(&k, "Flag", Variant("True"));
    EXPECT_TRUE(k.Flag);
    SetPropValue(&k, "Fruits", Variant("[frApple, frBanana]"));
    EXPECT_EQ((TFruits{frApple, frBanana}), k.Fruits);
    SetPropValue(&k, "Fruits", Variant(8));
    EXPECT_EQ((TFruits{frDurian}), k.Fruits);
    SetPropValue(&k, "Ratio", Variant(3));
    EXPECT_EQ(3.0, k.Ratio);
    SetPropValue(&k, "Text", Variant(5));
    EXPECT_EQ("5", k.Text);
    EXPECT_THROW(SetPropValue(&k, "Missing", Variant(1)), EPropertyError);
}

TEST(Streaming, StreamsCarryTheTextUnchanged) {
    auto source = MakeFullTree();
    TMemoryStream stream;
    WriteComponentToStream(&stream, source.get());
    stream.SetPosition(0);
    TTestRoot copy(nullptr);
    ReadComponentFromStream(&stream, &copy);
    EXPECT_EQ(static_cast<TEveryKind*>(copy.FindComponent("First"))->Blob, AllBytes());
}

}  // namespace StreamingTest
