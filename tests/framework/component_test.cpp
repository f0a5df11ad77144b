// Type information, ownership, names, notification and collections.
#include <gtest/gtest.h>

#include <algorithm>

#include "framework/Collection.h"
#include "framework/Filer.h"

using namespace Fw;

namespace ComponentTest {

enum TShade { shLight, shMedium, shDark };
FW_ENUM_INFO(TShade, "shLight", "shMedium", "shDark")

std::vector<AnsiString>* DestroyLog = nullptr;

class TBase : public TComponent {
public:
    FW_CLASS(TBase, TComponent)
    explicit TBase(TComponent* owner) : TComponent(owner) {}
    ~TBase() override {
        if (DestroyLog) DestroyLog->push_back(Name());
    }
    int Size() const { return FSize; }
    void SetSize(int value) {
        FSize = value;
        ++SetterCalls;
    }
    int SetterCalls = 0;
    TNotifyEvent OnChange;
    void Handler(TObject*) {}

    std::vector<std::pair<TComponent*, TOperation>> Heard;

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        Heard.emplace_back(component, operation);
    }

private:
    int FSize = 3;
};

FW_PUBLISH(TBase)
    .Property("Size", &TBase::Size, &TBase::SetSize).Default(3)
    .Property("OnChange", &TBase::OnChange, &TBase::OnChange)
    .Method<&TBase::Handler>("Handler")
FW_END_PUBLISH

class TDerived : public TBase {
public:
    FW_CLASS(TDerived, TBase)
    explicit TDerived(TComponent* owner) : TBase(owner) { ++Constructed; }
    static int Constructed;
    TShade Shade = shLight;
    double Weight = 0;
    AnsiString Caption;
    TBase* Link = nullptr;
    int ReadOnly() const { return 7; }
    void Clicked(TObject*, int) {}
};
int TDerived::Constructed = 0;

FW_PUBLISH(TDerived)
    .Property("Shade", &TDerived::Shade, &TDerived::Shade).Default(shLight)
    .Property("Weight", &TDerived::Weight, &TDerived::Weight)
    .Property("Caption", &TDerived::Caption, &TDerived::Caption)
    .Property("Link", &TDerived::Link, &TDerived::Link)
    .Property("ReadOnly", &TDerived::ReadOnly, nullptr)
    .Method<&TDerived::Clicked>("Clicked")
FW_END_PUBLISH

TEST(TypeInfo, KindsAreNumberedAsThePlatformNumbersThem) {
    EXPECT_EQ(tkInteger, 1);
    EXPECT_EQ(tkMethod, 8);
    EXPECT_EQ(tkLString, 10);
    EXPECT_EQ(tkDynArray, 17);
}

TEST(TypeInfo, PropertiesComeInDeclarationOrderAncestorsFirst) {
    std::vector<AnsiString> names;
    for (const TPropInfo* p : GetPropList(TDerived::StaticClass())) names.push_back(p->Name);
    std::vector<AnsiString> expected{"Name", "Tag", "Size", "OnChange", "Shade", "Weight", "Caption", "Link", "ReadOnly"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(GetPropInfo(TDerived::StaticClass(), "shade")->Kind(), tkEnumeration);
    EXPECT_EQ(GetPropInfo(TDerived::StaticClass(), "SIZE")->Declarer, TBase::StaticClass());
    EXPECT_EQ(GetPropInfo(TDerived::StaticClass(), "Weight")->Kind(), tkFloat);
    EXPECT_EQ(GetPropInfo(TDerived::StaticClass(), "Link")->Kind(), tkClass);
    EXPECT_EQ(GetPropInfo(TDerived::StaticClass(), "OnChange")->Kind(), tkMethod);
    EXPECT_EQ(GetPropInfo(TDerived::StaticClass(), "Missing"), nullptr);
    EXPECT_EQ(GetEnumName(GetPropInfo(TDerived::StaticClass(), "Shade")->PropType, 2), "shDark");
    EXPECT_EQ(GetEnumValue(GetPropInfo(TDerived::StaticClass(), "Shade")->PropType, "SHMEDIUM"), 1);
}

TEST(TypeInfo, AccessByNameRunsSettersAndChecksKindAndRange) {
    TDerived d(nullptr);
    SetOrdProp(&d, "size", 11);
    EXPECT_EQ(d.Size(), 11);
    EXPECT_EQ(d.SetterCalls, 1) << "the setter runs, not a field write";
    SetOrdProp(&d, "Shade", shDark);
    EXPECT_EQ(GetOrdProp(&d, "Shade"), 2);
    EXPECT_THROW(SetOrdProp(&d, "Shade", 3), EPropertyError) << "outside the enumeration";
    SetFloatProp(&d, "Weight", 3.75);
    EXPECT_EQ(GetFloatProp(&d, "weight"), 3.75);
    SetStrProp(&d, "Caption", "表題");
    EXPECT_EQ(GetStrProp(&d, "Caption"), "表題");
    EXPECT_THROW(GetStrProp(&d, "Size"), EPropertyError);
    EXPECT_THROW(SetOrdProp(&d, "Nothing", 1), EPropertyError);
    EXPECT_EQ(GetOrdProp(&d, "ReadOnly"), 7);
    EXPECT_THROW(SetOrdProp(&d, "ReadOnly", 1), EPropertyError);

    TComponent plain(nullptr);
    EXPECT_THROW(SetObjectProp(&d, "Link", &plain), EPropertyError) << "a TComponent is no TBase";
    TBase other(nullptr);
    SetObjectProp(&d, "Link", &other);
    EXPECT_EQ(d.Link, &other);
    EXPECT_EQ(GetObjectProp(&d, "Link"), &other);
}

TEST(TypeInfo, EventsAreClosuresEqualByObjectAndCode) {
    TBase a(nullptr), b(nullptr);
    auto ea = MakeEvent<&TBase::Handler>(&a);
    EXPECT_EQ(ea, MakeEvent<&TBase::Handler>(&a));
    EXPECT_NE(ea, MakeEvent<&TBase::Handler>(&b));
    TMethod m = ea.Method();
    EXPECT_EQ(m.Data, static_cast<void*>(&a));
    EXPECT_EQ(m.Code, a.MethodAddress("handler"));
    EXPECT_EQ(TNotifyEvent::FromMethod(m), ea);
    EXPECT_EQ(a.MethodName(m.Code), "Handler");

    TDerived d(nullptr);
    SetMethodProp(&d, "OnChange", m);
    EXPECT_EQ(d.OnChange, ea);
    EXPECT_EQ(GetMethodProp(&d, "OnChange"), m);
    // A published method of another shape is refused, not called wrongly.
    TMethod wrong{d.MethodAddress("Clicked"), &d};
    ASSERT_NE(wrong.Code, nullptr);
    EXPECT_THROW(SetMethodProp(&d, "OnChange", wrong), EPropertyError);
    EXPECT_EQ(d.OnChange, ea);
    EXPECT_EQ(d.MethodAddress("NoSuchMethod"), nullptr);
}

TEST(TypeInfo, ClassesAreFoundByNameAndCreatedByTheirMostDerivedConstructor) {
    EXPECT_EQ(GetClass("tderived"), TDerived::StaticClass());
    EXPECT_EQ(GetClass("TNothing"), nullptr);
    EXPECT_THROW(FindClass("TNothing"), EClassNotFound);
    TBase owner(nullptr);
    int before = TDerived::Constructed;
    TComponent* made = GetClass("TDerived")->CreateComponent(&owner);
    EXPECT_EQ(TDerived::Constructed, before + 1);
    EXPECT_EQ(made->ClassName(), "TDerived");
    EXPECT_TRUE(made->InheritsFrom(TBase::StaticClass()));
    EXPECT_FALSE(owner.InheritsFrom(TDerived::StaticClass()));
    EXPECT_EQ(made->Owner(), &owner);
    EXPECT_THROW(TPersistent::StaticClass()->CreateComponent(nullptr), EClassNotFound);
}

TEST(Components, OwnerFreesItsComponentsLastFirst) {
    std::vector<AnsiString> log;
    DestroyLog = &log;
    {
        auto* owner = new TBase(nullptr);
        owner->SetName("Owner");
        (new TBase(owner))->SetName("A");
        auto* b = new TBase(owner);
        b->SetName("B");
        (new TBase(b))->SetName("B1");
        (new TBase(owner))->SetName("C");
        delete owner;
    }
    DestroyLog = nullptr;
    EXPECT_EQ(log, (std::vector<AnsiString>{"Owner", "C", "B", "B1", "A"}));
}

TEST(Components, NamesAreIdentifiersUniqueWithinTheOwnerWithoutRegardToCase) {
    TBase owner(nullptr);
    auto* a = new TBase(&owner);
    a->SetName("Button1");
    auto* b = new TBase(&owner);
    EXPECT_THROW(b->SetName("BUTTON1"), EComponentError);
    EXPECT_EQ(b->Name(), "");
    EXPECT_THROW(b->SetName("1abc"), EComponentError);
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    EXPECT_THROW(b->SetName("ボタン"), EComponentError);
    b->SetName("_Button2");
    a->SetName("button1") /* its own name in another case */;
    EXPECT_EQ(owner.FindComponent("BUTTON1"), a);
    EXPECT_EQ(owner.FindComponent(""), nullptr);
    EXPECT_EQ(owner.FindComponent("Nobody"), nullptr);
    // Unowned components never clash.
    TBase x(nullptr), y(nullptr);
    x.SetName("Same");
    y.SetName("Same");
}

TEST(Components, OwnerAndItsComponentsHearOfInsertionAndRemoval) {
    TBase owner(nullptr);
    auto* watcher = new TBase(&owner);
    owner.Heard.clear();
    auto* c = new TBase(&owner);
    EXPECT_EQ(owner.Heard.back(), std::make_pair(static_cast<TComponent*>(c), opInsert));
    EXPECT_EQ(watcher->Heard.back(), std::make_pair(static_cast<TComponent*>(c), opInsert));
    delete c;
    EXPECT_EQ(owner.Heard.back(), std::make_pair(static_cast<TComponent*>(c), opRemove));
    EXPECT_EQ(watcher->Heard.back(), std::make_pair(static_cast<TComponent*>(c), opRemove));
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(Components, FreeNotificationReachesComponentsOfOtherOwners) {
    TBase ownerA(nullptr), ownerB(nullptr);
    auto* a = new TBase(&ownerA);
    auto* b = new TBase(&ownerB);
    a->FreeNotification(b);
    delete b;
    ASSERT_FALSE(a->Heard.empty());
    EXPECT_EQ(a->Heard.back(), std::make_pair(static_cast<TComponent*>(b), opRemove));

    auto* c = new TBase(&ownerB);
    a->FreeNotification(c);
    a->RemoveFreeNotification(c);
    a->Heard.clear();
    delete c;
    EXPECT_TRUE(a->Heard.empty()) << "after RemoveFreeNotification nothing is heard";
    // And the other direction: c no longer points at a either, so deleting
    // a now must not touch the freed c.
    delete a;
}

// A component that holds a reference to another and lets go of it when
// told; its destructor still looks at what it holds, as a real one would
// (a hook, a handler list). It records what it held when it went.
std::vector<std::pair<AnsiString, AnsiString>>* HeldAtDestruction = nullptr;

class TWatcher : public TBase {
public:
    FW_CLASS(TWatcher, TBase)
    using TBase::TBase;
    ~TWatcher() override {
        if (HeldAtDestruction) HeldAtDestruction->emplace_back(Name(), Watched ? Watched->Name() : AnsiString("-"));
    }
    void Watch(TComponent* other) {
        Watched = other;
        other->FreeNotification(this);
    }
    TComponent* Watched = nullptr;

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TBase::Notification(component, operation);
        if (operation == opRemove && component == Watched) Watched = nullptr;
    }
};

FW_PUBLISH(TWatcher)
FW_END_PUBLISH

// Siblings that asked to hear of each other are told by the owner when it
// destroys them, whichever of the two was made first and so goes first.
TEST(Components, OwnerTeardownTellsSiblingsThatAskedInEitherCreationOrder) {
    for (bool watcherFirst : {true, false}) {
        SCOPED_TRACE(watcherFirst ? "watcher made first" : "watched made first");
        std::vector<std::pair<AnsiString, AnsiString>> held;
        HeldAtDestruction = &held;
        auto* owner = new TBase(nullptr);
        TWatcher* a = nullptr;
        TWatcher* b = nullptr;
        if (watcherFirst) {
            a = new TWatcher(owner);
            b = new TWatcher(owner);
        } else {
            b = new TWatcher(owner);
            a = new TWatcher(owner);
        }
        a->SetName("A");
        b->SetName("B");
        // The asking goes both ways: each hears of the other's end.
        a->Watch(b);
        b->Watch(a);
        // The end of an unrelated sibling does not make them forget.
        delete new TBase(owner);
        delete owner;
        HeldAtDestruction = nullptr;
        // Whichever went second had been told of the first: it held nothing.
        ASSERT_EQ(held.size(), 2u);
        EXPECT_EQ(held[1].second, "-") << held[1].first << " still held the freed " << held[0].first;
        EXPECT_EQ(held[0].second, held[1].first) << "the first to go still held the other, alive";
    }
}

// A switch that turns itself on once made and off before it goes, through
// its descendant's override, as a component that hooks something must.
std::vector<AnsiString>* SwitchLog = nullptr;

class TSwitch : public TComponent {
public:
    FW_CLASS(TSwitch, TComponent)
    explicit TSwitch(TComponent* owner) : TComponent(owner) {}
    bool Active() const { return FActive; }
    void SetActive(bool value) {
        if (value == FActive) return;
        FActive = value;
        DoActivate(value);
    }
    void AfterConstruction() override {
        TComponent::AfterConstruction();
        SetActive(true);
    }
    void BeforeDestruction() override {
        SetActive(false);
        TComponent::BeforeDestruction();
    }

protected:
    virtual void DoActivate(bool) {}

private:
    bool FActive = false;
};

class TLamp : public TSwitch {
public:
    FW_CLASS(TLamp, TSwitch)
    explicit TLamp(TComponent* owner) : TSwitch(owner) { Number = ++Made; }
    static int Made;
    int Number = 0;
    std::vector<bool> Changes;  // the descendant's own state: gone in ~TSwitch

    void AfterConstruction() override {
        TSwitch::AfterConstruction();
        if (FailNext) {
            FailNext = false;
            throw Exception("点灯できません");
        }
    }
    static bool FailNext;

protected:
    void DoActivate(bool value) override {
        Changes.push_back(value);
        if (SwitchLog) SwitchLog->push_back("Lamp" + std::to_string(Number) + (value ? " on" : " off"));
    }
};
int TLamp::Made = 0;
bool TLamp::FailNext = false;

FW_PUBLISH(TSwitch)
FW_END_PUBLISH

FW_PUBLISH(TLamp)
FW_END_PUBLISH

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        TLamp::Made = 0;
        SwitchLog = &Log;
    }
    void TearDown() override { SwitchLog = nullptr; }
    std::vector<AnsiString> Log;
};

using Lines = std::vector<AnsiString>;

TEST_F(LifecycleTest, EveryCreationPathRunsAfterConstruction) {
    TBase owner(nullptr);
    owner.SetName("Owner");
    TLamp* a = NewComponent<TLamp>(&owner);
    EXPECT_TRUE(a->Active());
    TComponent* b = nullptr;
    TComponent* made = GetClass("TLamp")->CreateComponent(&owner, &b);
    EXPECT_EQ(made, b);
    EXPECT_TRUE(static_cast<TLamp*>(made)->Active());
    ComponentFromText("object Owner: TBase\n  object Read1: TLamp\n  end\nend\n", &owner);
    EXPECT_TRUE(static_cast<TLamp*>(owner.FindComponent("Read1"))->Active());
    EXPECT_EQ((Lines{"Lamp1 on", "Lamp2 on", "Lamp3 on"}), Log);
}

// The owner's teardown and FreeComponent reach the descendant's override
// while the whole object is there; plain delete does not.
TEST_F(LifecycleTest, TeardownRunsTheDescendantsOverrideBeforeTheObjectGoes) {
    auto* owner = new TBase(nullptr);
    NewComponent<TLamp>(owner);
    auto* inner = NewComponent<TLamp>(owner);
    NewComponent<TLamp>(inner);
    NewComponent<TLamp>(owner);
    Log.clear();
    delete owner;
    EXPECT_EQ((Lines{"Lamp4 off", "Lamp2 off", "Lamp3 off", "Lamp1 off"}), Log);

    Log.clear();
    TLamp* single = NewComponent<TLamp>(nullptr);
    FreeComponent(single);
    FreeComponent(nullptr);
    EXPECT_EQ((Lines{"Lamp5 on", "Lamp5 off"}), Log);
}

TEST_F(LifecycleTest, AFailedAfterConstructionFreesTheComponentThroughBeforeDestruction) {
    TBase owner(nullptr);
    TLamp::FailNext = true;
    TComponent* reference = &owner;
    EXPECT_THROW(GetClass("TLamp")->CreateComponent(&owner, &reference), Exception);
    EXPECT_EQ(nullptr, reference);
    EXPECT_EQ(0, owner.ComponentCount());
    TLamp::FailNext = true;
    EXPECT_THROW(NewComponent<TLamp>(&owner), Exception);
    EXPECT_EQ(0, owner.ComponentCount());
    EXPECT_EQ((Lines{"Lamp1 on", "Lamp1 off", "Lamp2 on", "Lamp2 off"}), Log);
}

TEST_F(LifecycleTest, AFailedReadFreesWhatItMadeThroughBeforeDestruction) {
    TBase owner(nullptr);
    EXPECT_THROW(ComponentFromText("object Owner: TBase\n"
                                   "  object Read1: TLamp\n"
                                   "  end\n"
                                   "  object Read2: TLamp\n"
                                   "    NoSuchProperty = 1\n"
                                   "  end\n"
                                   "end\n",
                                   &owner),
                 EReadError);
    EXPECT_EQ(0, owner.ComponentCount());
    EXPECT_EQ((Lines{"Lamp1 on", "Lamp2 on", "Lamp2 off", "Lamp1 off"}), Log);
}

// A class that no file registers: only the unit below does.
class TUnitSample : public TComponent {
public:
    FW_CLASS(TUnitSample, TComponent)
    using TComponent::TComponent;
};

TMetaClass* TUnitSample::StaticClass() {
    static TMetaClass* const meta = TClassDecl<TUnitSample>("TUnitSample").Finish();
    return meta;
}

std::vector<AnsiString> UnitSteps;

TEST(Units, TheFirstUseInitialisesAndTheLastReleaseFinalises) {
    UnitSteps.clear();
    TUnit unit("Sample");
    unit.Classes<TUnitSample>()
        .Initialization([] { UnitSteps.push_back(GetClass("TUnitSample") ? "init, registered" : "init, missing"); })
        .Finalization([] { UnitSteps.push_back(GetClass("TUnitSample") ? "done, registered" : "done, missing"); });
    EXPECT_EQ(nullptr, GetClass("TUnitSample"));
    EXPECT_FALSE(unit.Initialized());
    unit.Use();
    unit.Use();
    EXPECT_TRUE(unit.Initialized());
    EXPECT_EQ(TUnitSample::StaticClass(), GetClass("TUnitSample"));
    unit.Release();
    EXPECT_EQ((std::vector<AnsiString>{"init, registered"}), UnitSteps) << "initialised once, still in use";
    unit.Release();
    EXPECT_EQ((std::vector<AnsiString>{"init, registered", "done, registered"}), UnitSteps);
    EXPECT_EQ(nullptr, GetClass("TUnitSample"));
    EXPECT_FALSE(unit.Initialized());
    unit.Release();  // one release too many changes nothing
    EXPECT_EQ(2u, UnitSteps.size());
}

// The framework's units were initialised before the first test ran.
TEST(Units, TheFrameworksClassesAreRegisteredByTheirUnits) {
    EXPECT_TRUE(FwUnitComponent().Initialized());
    EXPECT_TRUE(FwUnitCollection().Initialized());
    EXPECT_EQ(TComponent::StaticClass(), GetClass("TComponent"));
    EXPECT_EQ(TCollection::StaticClass(), GetClass("tcollection"));
}

TEST(Components, StateFlagsDuringDestructionAndDesign) {
    struct TProbe : TBase {
        using TBase::TBase;
        TComponentState* seen = nullptr;
        ~TProbe() override {
            if (seen) *seen = ComponentState();
        }
    };
    TComponentState seen;
    auto* owner = new TBase(nullptr);
    auto* probe = new TProbe(owner);
    probe->seen = &seen;
    owner->SetDesigning(true);
    EXPECT_TRUE(probe->ComponentState().Contains(csDesigning));
    auto* later = new TBase(owner);
    EXPECT_TRUE(later->ComponentState().Contains(csDesigning)) << "inserted into a designing owner";
    delete owner;
    EXPECT_TRUE(seen.Contains(csDestroying));
}

class TTestItem : public TCollectionItem {
public:
    FW_CLASS(TTestItem, TCollectionItem)
    explicit TTestItem(TCollection* c) : TCollectionItem(c) {}
    int Value = 0;
    void Assign(TPersistent* source) override {
        if (auto* s = dynamic_cast<TTestItem*>(source)) Value = s->Value;
        else TCollectionItem::Assign(source);
    }
};

FW_PUBLISH(TTestItem)
    .Property("Value", &TTestItem::Value, &TTestItem::Value).Default(0)
FW_END_PUBLISH

class TNamedItem : public TTestItem {
public:
    FW_CLASS(TNamedItem, TTestItem)
    using TTestItem::TTestItem;
    AnsiString GetDisplayName() override { return FName.empty() ? TTestItem::GetDisplayName() : FName; }
    void SetDisplayName(const AnsiString& v) override {
        FName = v;
        TTestItem::SetDisplayName(v);
    }

private:
    AnsiString FName;
};

FW_PUBLISH(TNamedItem)
FW_END_PUBLISH

TEST(Collections, AddAssignOwnerAndDisplayName) {
    TBase holder(nullptr);
    holder.SetName("Holder");
    TCollection source(TTestItem::StaticClass(), &holder);
    for (int i = 0; i < 3; ++i) static_cast<TTestItem*>(source.Add())->Value = i * 10;
    EXPECT_EQ(source.Count(), 3);
    EXPECT_EQ(source.Items(1)->Index(), 1);
    EXPECT_EQ(source.Items(2)->GetDisplayName(), "TTestItem");
    EXPECT_EQ(source.GetNamePath(), "Holder");

    TCollection copy(TTestItem::StaticClass());
    copy.Add();
    copy.Assign(&source);
    ASSERT_EQ(copy.Count(), 3) << "one new item per source item, old items gone";
    EXPECT_EQ(static_cast<TTestItem*>(copy.Items(2))->Value, 20);
    EXPECT_NE(copy.Items(0), source.Items(0));
    EXPECT_EQ(copy.Items(0)->Collection(), &copy);

    delete copy.Items(1);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(static_cast<TTestItem*>(copy.Items(1))->Value, 20);
    EXPECT_THROW(copy.Items(2), EListError);

    TCollection named(TNamedItem::StaticClass());
    auto* item = named.Add();
    EXPECT_EQ(item->ClassName(), "TNamedItem") << "the collection makes items of its item class";
    EXPECT_EQ(item->GetDisplayName(), "TNamedItem");
    item->SetDisplayName("名前");
    EXPECT_EQ(item->GetDisplayName(), "名前");
    EXPECT_THROW(TCollection(TBase::StaticClass()), EConvertError) << "not an item class";
}

}  // namespace ComponentTest
