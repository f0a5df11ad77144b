// Classes found by name in a program whose own code names them nowhere but
// in form text: it includes no header of the units that declare them and
// links the framework and Kit libraries, as a program that places
// components in its forms and refers to them by field-less name does.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/Collection.h"
#include "framework/Filer.h"

using namespace Fw;

namespace {

// A form made of classes of several units of both libraries, as UTF-8 form
// text.
const char8_t kFormText[] =
    u8"object Form1: TForm\n"
    "  Caption = 'クラス名だけで作るフォーム'\n"
    "  object Panel1: TPanel\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 200\n"
    "    Height = 60\n"
    "    object CheckBox1: TCheckBox\n"
    "      Left = 4\n"
    "      Top = 4\n"
    "      Width = 120\n"
    "      Height = 17\n"
    "      Caption = '保存時に音を鳴らす'\n"
    "      Checked = True\n"
    "    end\n"
    "  end\n"
    "  object Button1: TButton\n"
    "    Left = 8\n"
    "    Top = 80\n"
    "    Width = 75\n"
    "    Height = 25\n"
    "    Caption = 'OK'\n"
    "    Default = True\n"
    "  end\n"
    "  object PopupMenu1: TPopupMenu\n"
    "    object Exit1: TMenuItem\n"
    "      Caption = '終了(&X)'\n"
    "    end\n"
    "  end\n"
    "  object PathObserver1: TPathObserver\n"
    "    NotifyState = [ntLastWrite]\n"
    "    WatchSubTree = False\n"
    "  end\n"
    "  object ThreadBroker1: TThreadBroker\n"
    "    Priority = tpLower\n"
    "  end\n"
    "end\n";


}  // namespace

TEST(ClassesByName, EveryUnitsClassesAreRegisteredWithoutTheirHeaders) {
    for (const char* name : {"TComponent", "TForm", "TButton", "TCheckBox", "TEdit", "TLabel", "TPanel",
                             "TImage", "TPopupMenu", "TMenuItem", "TImageList", "TFont", "TStringList",
                             "TApplication", "TThreadBroker", "TPathObserver", "TEventAlerter",
                             "TComponentArray", "TPropertySerializer", "TComponentPropertyList"})
        EXPECT_NE(nullptr, GetClass(name)) << name;
}

// A unit's classes are registered by its Classes list only: a class it
// publishes but forgot to list is found by no name, and the check names it.
TEST(ClassesByName, EveryClassAUnitPublishesIsOnItsList) {
    std::vector<AnsiString> unlisted;
    for (TMetaClass* cls : UnlistedClasses()) unlisted.push_back(cls->ClassName());
    EXPECT_EQ(std::vector<AnsiString>{"TForgottenThing"}, unlisted) << "only the test's own forgetful unit";
    EXPECT_EQ(nullptr, GetClass("TForgottenThing"));
    EXPECT_NE(nullptr, GetClass("TListedThing"));
}

TEST(ClassesByName, AFormTextOfClassesNamedNowhereElseIsReadAndWrittenBack) {
    TComponentPtr<> form(ComponentFromText(reinterpret_cast<const char*>(kFormText), nullptr));
    ASSERT_NE(nullptr, form);
    EXPECT_EQ("TForm", form->ClassName());
    const struct {
        const char* Name;
        const char* Class;
    } expected[] = {{"Panel1", "TPanel"},           {"CheckBox1", "TCheckBox"},
                    {"Button1", "TButton"},         {"PopupMenu1", "TPopupMenu"},
                    {"Exit1", "TMenuItem"},         {"PathObserver1", "TPathObserver"},
                    {"ThreadBroker1", "TThreadBroker"}};
    for (const auto& e : expected) {
        TComponent* c = form->FindComponent(e.Name);
        ASSERT_NE(nullptr, c) << e.Name;
        EXPECT_EQ(e.Class, c->ClassName());
    }
    EXPECT_EQ("保存時に音を鳴らす", GetStrProp(form->FindComponent("CheckBox1"), "Caption"));
    EXPECT_EQ(1, GetOrdProp(form->FindComponent("CheckBox1"), "Checked"));
    EXPECT_EQ("tpLower", GetEnumProp(form->FindComponent("ThreadBroker1"), GetPropInfo(form->FindComponent("ThreadBroker1"), "Priority")));

    // Written and read again, it gives the same text.
    AnsiString text = ComponentToText(form.get());
    EXPECT_NE(AnsiString::npos, text.find("object PathObserver1: TPathObserver")) << text;
    EXPECT_NE(AnsiString::npos, text.find("NotifyState = [ntLastWrite]")) << text;
    TComponentPtr<> again(ComponentFromText(text, nullptr));
    EXPECT_EQ(text, ComponentToText(again.get()));
}

namespace {

// Published ordinal properties of instance (and of the persistent objects
// it holds, such as its Font) whose Default differs from the value it has.
void DefaultMismatches(TObject* instance, const AnsiString& path, int depth, std::vector<AnsiString>& out) {
    for (const TPropInfo* prop : GetPropList(instance->ClassType())) {
        const AnsiString name = path + prop->Name;
        switch (prop->Kind()) {
            case tkInteger: case tkChar: case tkEnumeration: case tkSet: {
                if (!prop->HasDefault() || !prop->Access->Writable() || !prop->IsStored(instance)) break;
                const int value = GetOrdProp(instance, prop);
                if (value != prop->Default)
                    out.push_back(name + ": Default " + IntToStr(prop->Default) + ", a fresh one holds " + IntToStr(value));
                break;
            }
            case tkClass: {
                TObject* held = GetObjectProp(instance, prop);
                auto* nested = dynamic_cast<TPersistent*>(held);
                if (!nested || dynamic_cast<TComponent*>(nested) || depth > 3) break;
                DefaultMismatches(nested, name + ".", depth + 1, out);
                break;
            }
            default:
                break;
        }
    }
}

}  // namespace

// A Default that differs from what a fresh instance holds loses data without
// a word: the writer leaves out a value equal to the default, and the
// reader's fresh instance keeps its own value instead. Every class the
// libraries register is made as the reader makes it and compared.
TEST(PublishedDefaults, EveryRegisteredClassStartsAtItsPublishedDefaults) {
    int checked = 0;
    for (TMetaClass* cls : RegisteredClasses()) {
        SCOPED_TRACE(cls->ClassName());
        std::vector<AnsiString> wrong;
        if (cls->IsComponentClass()) {
            // Made without an owner, or, for the components that must sit on
            // a form (an interceptor hooks its form's window), on a form of
            // the first style that takes them.
            TComponentPtr<> owner;
            TComponent* instance = nullptr;
            AnsiString failure;
            for (const char* style : {"", "fsNormal", "fsMDIForm"}) {
                try {
                    if (*style) {
                        owner.reset(FindClass("TForm")->CreateComponent(nullptr));
                        SetEnumProp(owner.get(), "FormStyle", style);
                    }
                    instance = cls->CreateComponent(owner.get());
                    break;
                } catch (Exception& e) {
                    failure = e.Message();
                }
            }
            if (!instance) {
                ADD_FAILURE() << "cannot be made: " << failure;
                continue;
            }
            TComponentPtr<> unowned(owner ? nullptr : instance);
            DefaultMismatches(instance, cls->ClassName() + ".", 0, wrong);
        } else if (cls->IsItemClass()) {
            TCollection collection(cls);
            DefaultMismatches(collection.Add(), cls->ClassName() + ".", 0, wrong);
        } else {
            continue;  // reached through the components that hold one
        }
        ++checked;
        for (const AnsiString& w : wrong) ADD_FAILURE() << w;
    }
    EXPECT_GT(checked, 20);
}
