// Forms read from the test form resource: creation, showing, hiding and
// closing with their handlers, dialog keys and access keys, the message map,
// and the end of the message loop when the main form closes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/StdCtrls.h"
#include "tests/support/ExceptionRecord.h"

#include <commctrl.h>

using namespace Fw;

namespace {

// Handlers record here rather than in the form: OnDestroy may run after the
// form's own members are gone.
std::vector<std::string> gLog;
int gComponentsFreed = 0;

// Tells the test when the form's components really go.
class TUiSentinel : public TComponent {
public:
    FW_CLASS(TUiSentinel, TComponent)
    explicit TUiSentinel(TComponent* owner) : TComponent(owner) {}
    ~TUiSentinel() override { ++gComponentsFreed; }
};

}  // namespace

class TUiTestForm : public TForm {
public:
    FW_CLASS(TUiTestForm, TForm)
    explicit TUiTestForm(TComponent* owner) : TForm(owner) {}

    TLabel* Label1 = nullptr;
    TLabel* Label4 = nullptr;
    TEdit* Edit1 = nullptr;
    TEdit* Edit2 = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;
    TButton* Button3 = nullptr;
    TButton* Button4 = nullptr;
    TButton* Button5 = nullptr;
    TCheckBox* CheckBox1 = nullptr;
    TImage* Image1 = nullptr;
    TLabel* Label5 = nullptr;

    bool AllowClose = true;
    TCloseAction Action = caHide;
    bool ThrowInCreate = false;
    int DefaultedUserMessages = 0;
    LPARAM TrayLParam = 0;

    void FormCreate(TObject*) {
        gLog.push_back("Create");
        new TUiSentinel(this);
    }
    void FormShow(TObject*) { gLog.push_back("Show"); }
    void FormHide(TObject*) { gLog.push_back("Hide"); }
    void FormCloseQuery(TObject*, bool& canClose) {
        gLog.push_back("CloseQuery");
        canClose = AllowClose;
    }
    void FormClose(TObject*, TCloseAction& action) {
        gLog.push_back(action == caHide ? "Close(caHide)" : "Close(?)");
        action = Action;
    }
    void FormDestroy(TObject*) { gLog.push_back("Destroy"); }
    void FormKeyDown(TObject*, WORD& key, TShiftState) {
        if (key == VK_F2) {
            gLog.push_back("PreviewF2");
            key = 0;
        }
    }
    void Button1Click(TObject*) { gLog.push_back("Button1"); }
    void Button2Click(TObject*) { gLog.push_back("Button2"); }
    void Button3Click(TObject*) { gLog.push_back("Button3"); }
    void Button4Click(TObject*) { gLog.push_back("Button4"); }
    void Button5Click(TObject*) { gLog.push_back("Button5"); }
    void Label5Click(TObject* sender) { gLog.push_back("Label5:" + static_cast<TLabel*>(sender)->Caption()); }

    void TrayIconMessage(TMessage& message) {
        TrayLParam = message.LParam;
        message.Result = 42;
    }
    // A message number known only at run time.
    static UINT RegisteredTestMessage() {
        static const UINT message = RegisterWindowMessageA("VelmoraUiTestMessage");
        return message;
    }
    int RegisteredMessages = 0;
    void RegisteredMessage(TMessage& message) {
        ++RegisteredMessages;
        message.Result = 43;
    }

    void DefaultHandler(TMessage& message) override {
        if (message.Msg == WM_USER + 1 || message.Msg == WM_USER + 2) ++DefaultedUserMessages;
        TForm::DefaultHandler(message);
    }

    FW_BEGIN_MESSAGE_MAP
        FW_MESSAGE_HANDLER(WM_USER + 1, TrayIconMessage)
        FW_MESSAGE_HANDLER(RegisteredTestMessage(), RegisteredMessage)
    FW_END_MESSAGE_MAP(TForm)
};

FW_PUBLISH(TUiTestForm)
    .Field("Label1", &TUiTestForm::Label1)
    .Field("Label4", &TUiTestForm::Label4)
    .Field("Edit1", &TUiTestForm::Edit1)
    .Field("Edit2", &TUiTestForm::Edit2)
    .Field("Button1", &TUiTestForm::Button1)
    .Field("Button2", &TUiTestForm::Button2)
    .Field("Button3", &TUiTestForm::Button3)
    .Field("Button4", &TUiTestForm::Button4)
    .Field("Button5", &TUiTestForm::Button5)
    .Field("CheckBox1", &TUiTestForm::CheckBox1)
    .Field("Image1", &TUiTestForm::Image1)
    .Field("Label5", &TUiTestForm::Label5)
    .Method<&TUiTestForm::FormCreate>("FormCreate")
    .Method<&TUiTestForm::FormShow>("FormShow")
    .Method<&TUiTestForm::FormHide>("FormHide")
    .Method<&TUiTestForm::FormCloseQuery>("FormCloseQuery")
    .Method<&TUiTestForm::FormClose>("FormClose")
    .Method<&TUiTestForm::FormDestroy>("FormDestroy")
    .Method<&TUiTestForm::FormKeyDown>("FormKeyDown")
    .Method<&TUiTestForm::Button1Click>("Button1Click")
    .Method<&TUiTestForm::Button2Click>("Button2Click")
    .Method<&TUiTestForm::Button3Click>("Button3Click")
    .Method<&TUiTestForm::Button4Click>("Button4Click")
    .Method<&TUiTestForm::Button5Click>("Button5Click")
    .Method<&TUiTestForm::Label5Click>("Label5Click")
FW_END_PUBLISH

FW_PUBLISH(TUiSentinel)
FW_END_PUBLISH

namespace {

// Points at a component that may live on another form, and lets go of it
// when that component goes.
class TUiRefHolder : public TComponent {
public:
    FW_CLASS(TUiRefHolder, TComponent)
    explicit TUiRefHolder(TComponent* owner) : TComponent(owner) {}
    TComponent* Target() const { return FTarget; }
    void SetTarget(TComponent* value) {
        if (FTarget) FTarget->RemoveFreeNotification(this);
        FTarget = value;
        if (value) value->FreeNotification(this);
    }

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == opRemove && component == FTarget) FTarget = nullptr;
    }

private:
    TComponent* FTarget = nullptr;
};

}  // namespace

FW_PUBLISH(TUiRefHolder)
    .Property("Target", &TUiRefHolder::Target, &TUiRefHolder::SetTarget)
FW_END_PUBLISH

namespace {

// A form without a resource of its own whose OnCreate fails.
class TUiFailingForm : public TForm {
public:
    FW_CLASS(TUiFailingForm, TForm)
    explicit TUiFailingForm(TComponent* owner) : TForm(owner) {
        OnCreate = MakeEvent<&TUiFailingForm::FormCreate>(this);
    }
    void FormCreate(TObject*) {
        gLog.push_back("FailingCreate");
        throw Exception("作成ハンドラの例外");
    }
};

}  // namespace

FW_PUBLISH(TUiFailingForm)
FW_END_PUBLISH

namespace {

using TestSupport::TExceptionRecord;

class FormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }

    void SetUp() override {
        gLog.clear();
        gComponentsFreed = 0;
        Application->OnException = MakeEvent<&TExceptionRecord::Record>(&Errors);
        ASSERT_EQ(nullptr, Application->MainForm()) << "a form of an earlier test is still alive";
    }

    void TearDown() override {
        Application->DestroyForms();
        Application->ProcessMessages();
        Application->OnException = nullptr;
    }

    TUiTestForm* CreateTestForm() {
        TUiTestForm* form = nullptr;
        Application->CreateForm(form);
        return form;
    }

    // Posts a key press to the focused window and lets the loop handle it
    // (key handling lives in the loop, as for keys typed by the user).
    static void PressKey(WORD vk) {
        HWND focus = GetFocus();
        ASSERT_NE(nullptr, focus) << "no window has the focus";
        PostMessageA(focus, WM_KEYDOWN, vk, 1);
        PostMessageA(focus, WM_KEYUP, vk, 0xC0000001);
        Application->ProcessMessages();
    }

    static void PressAltChar(char c) {
        HWND focus = GetFocus();
        ASSERT_NE(nullptr, focus) << "no window has the focus";
        PostMessageA(focus, WM_SYSCHAR, static_cast<unsigned char>(c), 0x20000001);
        Application->ProcessMessages();
    }

    TExceptionRecord Errors;
};

std::vector<std::string> Log(std::initializer_list<const char*> items) {
    return std::vector<std::string>(items.begin(), items.end());
}

}  // namespace

TEST_F(FormTest, ResourceBuildsTheFormWithItsJapaneseCaptionsAndLayout) {
    TUiTestForm* form = CreateTestForm();
    ASSERT_NE(nullptr, form);
    EXPECT_EQ(form, Application->MainForm());
    ASSERT_NE(nullptr, form->Button5);
    EXPECT_EQ("Velmoraの設定", form->Caption());
    EXPECT_EQ("設定削除（&U)", form->Button5->Caption());
    EXPECT_EQ("壁紙の保存フォルダ(&S)", form->Label1->Caption());
    EXPECT_EQ(form->Edit1, form->Label1->FocusControl());
    EXPECT_EQ(50, form->Edit2->MaxLength());
    EXPECT_TRUE(form->Button1->Default());
    EXPECT_TRUE(form->Button4->Cancel());
    EXPECT_EQ(bsDialog, form->BorderStyle());
    EXPECT_EQ(poScreenCenter, form->Position());
    EXPECT_TRUE(form->KeyPreview());
    // The form's font reaches the controls that keep ParentFont; the link
    // label keeps its own.
    EXPECT_EQ("ＭＳ Ｐゴシック", form->Edit1->Font()->Name());
    EXPECT_EQ(-12, form->Button2->Font()->Height());
    EXPECT_EQ(SHIFTJIS_CHARSET, form->CheckBox1->Font()->Charset());
    EXPECT_TRUE(form->Button2->ParentFont());
    EXPECT_FALSE(form->Label5->ParentFont());
    EXPECT_EQ(clBlue, form->Label5->Font()->Color());
    EXPECT_TRUE(form->Label5->Font()->Style().Contains(fsUnderline));
    EXPECT_EQ(crHandPoint, form->Label5->Cursor());

    // Sizes as stored, exactly: the client area and each control's bounds.
    HWND wnd = form->Handle();
    RECT client;
    GetClientRect(wnd, &client);
    EXPECT_EQ(422, client.right);
    EXPECT_EQ(190, client.bottom);
    RECT r;
    GetWindowRect(form->Button5->Handle(), &r);
    MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(310, r.left);
    EXPECT_EQ(111, r.top);
    EXPECT_EQ(82, r.right - r.left);
    EXPECT_EQ(25, r.bottom - r.top);

    // Windows carry the captions and the font.
    char text[64] = {};
    GetWindowTextA(form->Button5->Handle(), text, sizeof text);
    EXPECT_STREQ("設定削除（&U)", text);
    EXPECT_EQ(reinterpret_cast<LRESULT>(form->Button5->Font()->Handle()),
              SendMessageA(form->Button5->Handle(), WM_GETFONT, 0, 0));
    EXPECT_EQ(50, static_cast<int>(SendMessageA(form->Edit2->Handle(), EM_GETLIMITTEXT, 0, 0)));
    EXPECT_EQ(Log({"Create"}), gLog);
}

TEST_F(FormTest, TheFormWritesBackWhatItReadAndReadsItAgain) {
    TUiTestForm* form = CreateTestForm();
    form->Edit1->SetText("D:\\保存先");
    form->CheckBox1->SetChecked(true);
    AnsiString text = ComponentToText(form);
    // The form stores its client size, not its outer size; controls keep
    // their places, tab order and flags; inherited fonts are not repeated.
    EXPECT_NE(AnsiString::npos, text.find("ClientWidth = 422"));
    EXPECT_EQ(AnsiString::npos, text.find("\n  Width = "));
    EXPECT_NE(AnsiString::npos, text.find("object Button5: TButton"));
    EXPECT_NE(AnsiString::npos, text.find("TabOrder = 7"));
    EXPECT_NE(AnsiString::npos, text.find("Checked = True"));
    EXPECT_NE(AnsiString::npos, text.find("OnClick = Button3Click"));
    EXPECT_NE(AnsiString::npos, text.find("FocusControl = Edit2"));
    EXPECT_NE(AnsiString::npos, text.find("Cursor = crHandPoint"));
    std::size_t edit1 = text.find("object Edit1: TEdit");
    ASSERT_NE(AnsiString::npos, edit1);
    EXPECT_EQ(AnsiString::npos, text.substr(edit1, text.find("end", edit1) - edit1).find("Font."));

    TUiTestForm copy(nullptr);
    ComponentFromText(text, &copy);
    SCOPED_TRACE(text);
    ASSERT_NE(nullptr, copy.Button5);
    EXPECT_NE(form->Button5, copy.Button5);
    EXPECT_EQ("設定削除（&U)", copy.Button5->Caption());
    EXPECT_EQ("D:\\保存先", copy.Edit1->Text());
    EXPECT_TRUE(copy.CheckBox1->Checked());
    EXPECT_EQ(copy.Edit2, copy.Label4->FocusControl());
    EXPECT_EQ(7, copy.Button5->TabOrder());
    EXPECT_EQ(422, copy.ClientWidth());
    EXPECT_EQ(clBlue, copy.Label5->Font()->Color());
    EXPECT_TRUE(copy.Button2->Cancel());
    EXPECT_TRUE(copy.OnClose == MakeEvent<&TUiTestForm::FormClose>(&copy));
}

TEST_F(FormTest, TabOrderFollowsTheStoredValuesNotTheOrderOfReading) {
    TUiTestForm* form = CreateTestForm();
    EXPECT_EQ(0, form->Edit1->TabOrder());
    EXPECT_EQ(1, form->Button3->TabOrder());
    EXPECT_EQ(2, form->Edit2->TabOrder());
    EXPECT_EQ(7, form->Button5->TabOrder());
    form->Button5->SetTabOrder(0);
    EXPECT_EQ(0, form->Button5->TabOrder());
    EXPECT_EQ(1, form->Edit1->TabOrder());
    EXPECT_EQ(7, form->Button4->TabOrder());
}

TEST_F(FormTest, ShowHideAndCloseRunTheHandlersInOrder) {
    TUiTestForm* form = CreateTestForm();
    TUiTestForm* second = NewForm<TUiTestForm>(Application);
    ASSERT_NE(form, second);
    EXPECT_EQ(form, Application->MainForm());
    gLog.clear();

    second->Show();
    EXPECT_TRUE(IsWindowVisible(second->Handle()));
    EXPECT_TRUE(second->Visible());
    second->Hide();
    EXPECT_FALSE(IsWindowVisible(second->Handle()));
    EXPECT_EQ(Log({"Show", "Hide"}), gLog);

    // A refused close query stops everything.
    second->Show();
    gLog.clear();
    second->AllowClose = false;
    second->Close();
    EXPECT_EQ(Log({"CloseQuery"}), gLog);
    EXPECT_TRUE(IsWindowVisible(second->Handle()));

    // A form that is not the main form hides on close.
    gLog.clear();
    second->AllowClose = true;
    second->Close();
    EXPECT_EQ(Log({"CloseQuery", "Close(caHide)", "Hide"}), gLog);
    EXPECT_FALSE(IsWindowVisible(second->Handle()));

    // caNone keeps it; the close box goes the same way as Close.
    second->Show();
    gLog.clear();
    second->Action = caNone;
    SendMessageA(second->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Log({"CloseQuery", "Close(caHide)"}), gLog);
    EXPECT_TRUE(IsWindowVisible(second->Handle()));
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "a form that is not the main form ended the loop";

    // caFree frees the form after the current message.
    gLog.clear();
    second->Action = caFree;
    second->Close();
    EXPECT_EQ(Log({"CloseQuery", "Close(caHide)"}), gLog);
    Application->ProcessMessages();
    EXPECT_EQ(Log({"CloseQuery", "Close(caHide)", "Destroy"}), gLog);
    EXPECT_EQ(1, gComponentsFreed);
}

TEST_F(FormTest, ClosingTheMainFormEndsRunAndTheFormsGoAtTheEnd) {
    TUiTestForm* form = CreateTestForm();
    TUiTestForm* second = NewForm<TUiTestForm>(Application);
    (void)second;
    EXPECT_EQ(Log({"Create", "Create"}), gLog);
    gLog.clear();

    // Run shows the main form; the close box ends the loop once it is reached.
    PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    Application->Run();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(Log({"Show", "CloseQuery", "Close(caHide)"}), gLog);
    // The main form is not merely hidden by its close: it stays until the end.
    EXPECT_TRUE(IsWindowVisible(form->Handle()));

    // What the program's end does: every form and its components go.
    gLog.clear();
    HWND wnd = form->Handle();
    Application->DestroyForms();
    EXPECT_EQ(Log({"Destroy", "Destroy"}), gLog);
    EXPECT_EQ(2, gComponentsFreed);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(nullptr, Application->MainForm());
    EXPECT_EQ(0, Application->ComponentCount());
}

TEST_F(FormTest, AnExceptionInOnCreateIsReportedAndCreationGoesOn) {
    TUiFailingForm* form = nullptr;
    Application->CreateForm(form);
    ASSERT_NE(nullptr, form);
    EXPECT_EQ(Log({"FailingCreate"}), gLog);
    ASSERT_EQ(1u, Errors.Messages.size());
    EXPECT_EQ("作成ハンドラの例外", Errors.Messages[0]);
    EXPECT_EQ(form, Errors.Senders[0]);
    EXPECT_EQ(form, Application->MainForm());
    EXPECT_NE(nullptr, form->Handle());
}

// What a form text or a component array does: the class is known by its
// name only, and the form comes out as whole as CreateForm makes it.
TEST_F(FormTest, AFormCreatedByClassNameHasReadItsResourceAndFiredOnCreate) {
    TMetaClass* cls = GetClass("TUiTestForm");
    ASSERT_NE(nullptr, cls);
    TComponent* made = cls->CreateComponent(Application);
    auto* form = dynamic_cast<TUiTestForm*>(made);
    ASSERT_NE(nullptr, form);
    EXPECT_EQ(Log({"Create"}), gLog);
    ASSERT_NE(nullptr, form->Button5) << "the form resource was not read";
    EXPECT_EQ("設定削除（&U)", form->Button5->Caption());
    EXPECT_EQ(bsDialog, form->BorderStyle());
}

// FormA's holder points at a component of FormB: written as FormB.Target,
// and read back whichever form is read first.
TEST_F(FormTest, AReferenceToAComponentOfAnotherFormIsReadBackInEitherOrder) {
    AnsiString textA, textB;
    {
        TForm* formA = NewForm<TForm>(Application);
        formA->SetName("FormA");
        TForm* formB = NewForm<TForm>(Application);
        formB->SetName("FormB");
        auto* holder = new TUiRefHolder(formA);
        holder->SetName("Holder");
        auto* target = new TComponent(formB);
        target->SetName("Target");
        holder->SetTarget(target);
        textA = ComponentToText(formA);
        textB = ComponentToText(formB);
        ASSERT_NE(AnsiString::npos, textA.find("Target = FormB.Target")) << textA;
        Application->DestroyForms();
    }
    auto holderOf = [](TComponent* form) {
        return static_cast<TUiRefHolder*>(form->FindComponent("Holder"));
    };
    for (bool aFirst : {false, true}) {
        SCOPED_TRACE(aFirst ? "FormA read first" : "FormB read first");
        TComponent* formA = nullptr;
        TComponent* formB = nullptr;
        if (aFirst) {
            formA = ComponentFromText(textA, nullptr, Application);
            EXPECT_EQ(nullptr, holderOf(formA)->Target()) << "FormB does not exist yet";
            formB = ComponentFromText(textB, nullptr, Application);
        } else {
            formB = ComponentFromText(textB, nullptr, Application);
            formA = ComponentFromText(textA, nullptr, Application);
        }
        TComponent* target = formB->FindComponent("Target");
        ASSERT_NE(nullptr, target);
        EXPECT_EQ(target, holderOf(formA)->Target());
        // The reference holds: FormB's end clears it.
        delete formB;
        EXPECT_EQ(nullptr, holderOf(formA)->Target());
        delete formA;
    }
    // A form that waited for FormB and went before it came leaves nothing
    // behind for FormB's reading to trip over.
    delete ComponentFromText(textA, nullptr, Application);
    TComponent* formB = ComponentFromText(textB, nullptr, Application);
    EXPECT_NE(nullptr, formB->FindComponent("Target"));
    TComponent* formA = ComponentFromText(textA, nullptr, Application);
    EXPECT_EQ(formB->FindComponent("Target"), holderOf(formA)->Target());
    delete formA;

    // A loaded FormB without the component is an error of the text, as a
    // missing component of the form itself is.
    AnsiString wrong = textA;
    wrong.replace(wrong.find("FormB.Target"), 12, "FormB.Gone");
    EXPECT_THROW(ComponentFromText(wrong, nullptr, Application), EReadError);
    EXPECT_EQ(nullptr, Application->FindComponent("FormA"));
}

TEST_F(FormTest, FormsAreOwnedByTheHiddenApplicationWindow) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    EXPECT_EQ(Application->Handle(), GetWindow(form->Handle(), GW_OWNER));
    ShowWindow(Application->Handle(), SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(Application->Handle()));
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    // Centred on the screen, as poScreenCenter asks.
    RECT r;
    GetWindowRect(form->Handle(), &r);
    EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2, (r.left + r.right) / 2, 1);
    EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (r.top + r.bottom) / 2, 1);
}

TEST_F(FormTest, TheMessageMapRoutesItsMessageAndLeavesTheRestToTheDefault) {
    TUiTestForm* form = CreateTestForm();
    HWND wnd = form->Handle();
    EXPECT_EQ(42, SendMessageA(wnd, WM_USER + 1, 0, WM_RBUTTONDOWN));
    EXPECT_EQ(WM_RBUTTONDOWN, form->TrayLParam);
    EXPECT_EQ(0, form->DefaultedUserMessages);

    form->TrayLParam = 0;
    SendMessageA(wnd, WM_USER + 2, 0, 7);
    EXPECT_EQ(0, form->TrayLParam);
    EXPECT_EQ(1, form->DefaultedUserMessages);

    // A registered message has its entry like any other.
    ASSERT_NE(0u, TUiTestForm::RegisteredTestMessage());
    EXPECT_EQ(43, SendMessageA(wnd, TUiTestForm::RegisteredTestMessage(), 0, 0));
    EXPECT_EQ(1, form->RegisteredMessages);
    EXPECT_EQ(1, form->DefaultedUserMessages);

    // Everything else still gets the window's own processing.
    SendMessageA(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("バージョン情報"));
    EXPECT_EQ("バージョン情報", form->Caption());
}

namespace {

WNDPROC gPreviousProc = nullptr;
int gHookedMessages = 0;

LRESULT CALLBACK CountingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 1) ++gHookedMessages;
    return CallWindowProcA(gPreviousProc, wnd, msg, wParam, lParam);
}

}  // namespace

TEST_F(FormTest, APlainSubclassChainsToTheFormAndARecreatedWindowIsServedAgain) {
    TUiTestForm* form = CreateTestForm();
    HWND wnd = form->Handle();
    gHookedMessages = 0;
    gPreviousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
    ASSERT_NE(nullptr, gPreviousProc);
    EXPECT_EQ(42, SendMessageA(wnd, WM_USER + 1, 0, 5));
    EXPECT_EQ(1, gHookedMessages);
    EXPECT_EQ(5, form->TrayLParam);

    form->Edit1->SetText("変更した");
    form->CheckBox1->SetChecked(true);
    form->RecreateWnd();
    HWND again = form->Handle();
    ASSERT_TRUE(IsWindow(again));
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(42, SendMessageA(again, WM_USER + 1, 0, 6));
    EXPECT_EQ(1, gHookedMessages);  // the hook went with the old window
    EXPECT_EQ(6, form->TrayLParam);
    // The controls came back with what they showed.
    EXPECT_EQ("変更した", form->Edit1->Text());
    EXPECT_EQ(BST_CHECKED, SendMessageA(form->CheckBox1->Handle(), BM_GETCHECK, 0, 0));
    EXPECT_EQ(again, GetParent(form->Edit1->Handle()));
}

TEST_F(FormTest, EnterClicksTheDefaultButtonUnlessAButtonHasTheFocus) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    form->Edit1->SetFocus();
    ASSERT_EQ(form->Edit1->Handle(), GetFocus());
    gLog.clear();
    PressKey(VK_RETURN);
    EXPECT_EQ(Log({"Button1"}), gLog);

    form->Button4->SetFocus();
    ASSERT_EQ(form->Button4->Handle(), GetFocus());
    gLog.clear();
    PressKey(VK_RETURN);
    EXPECT_EQ(Log({"Button4"}), gLog);
    // The focused button now looks like the default one, and Button1 does not.
    EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(form->Button4->Handle(), GWL_STYLE) & 0x0F);
    EXPECT_EQ(BS_PUSHBUTTON, GetWindowLongA(form->Button1->Handle(), GWL_STYLE) & 0x0F);

    form->CheckBox1->SetFocus();
    gLog.clear();
    PressKey(VK_RETURN);
    EXPECT_EQ(Log({"Button1"}), gLog);
}

TEST_F(FormTest, EscapeClicksTheFirstEnabledCancelButton) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    form->Edit1->SetFocus();
    gLog.clear();
    PressKey(VK_ESCAPE);
    EXPECT_EQ(Log({"Button2"}), gLog);

    // As on a first run: Cancel and Delete disabled, so Escape opens the help.
    form->Button2->SetEnabled(false);
    form->Button5->SetEnabled(false);
    gLog.clear();
    PressKey(VK_ESCAPE);
    EXPECT_EQ(Log({"Button4"}), gLog);

    form->Button4->SetEnabled(false);
    gLog.clear();
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(gLog.empty()) << gLog.front();

    form->Button5->SetEnabled(true);
    gLog.clear();
    PressKey(VK_ESCAPE);
    EXPECT_EQ(Log({"Button5"}), gLog);
}

TEST_F(FormTest, TabAndShiftTabFollowTheTabOrder) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    gLog.clear();
    // The first control in tab order has the focus when the form shows.
    EXPECT_EQ(form->Edit1->Handle(), GetFocus());
    EXPECT_EQ(form->Edit1, form->ActiveControl());

    std::vector<TWinControl*> expected{form->Button3, form->Edit2, form->CheckBox1, form->Button1,
                                       form->Button2, form->Button4, form->Button5, form->Edit1};
    for (TWinControl* next : expected) {
        PressKey(VK_TAB);
        EXPECT_EQ(next->Handle(), GetFocus()) << next->Name();
        EXPECT_EQ(next, form->ActiveControl());
    }

    // Disabled controls are passed over.
    form->Button3->SetEnabled(false);
    PressKey(VK_TAB);
    EXPECT_EQ(form->Edit2->Handle(), GetFocus());

    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    PressKey(VK_TAB);
    EXPECT_EQ(form->Edit1->Handle(), GetFocus());
    PressKey(VK_TAB);
    EXPECT_EQ(form->Button5->Handle(), GetFocus());
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_TRUE(gLog.empty()) << "Tab clicked " << gLog.front();
}

TEST_F(FormTest, AltPlusALabelsAccessKeyFocusesItsFocusControl) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    form->Button1->SetFocus();
    PressAltChar('p');
    EXPECT_EQ(form->Edit2->Handle(), GetFocus());
    PressAltChar('S');
    EXPECT_EQ(form->Edit1->Handle(), GetFocus());

    // A button's access key clicks it; a check box's focuses and toggles it.
    gLog.clear();
    PressAltChar('f');
    EXPECT_EQ(Log({"Button3"}), gLog);
    PressAltChar('b');
    EXPECT_EQ(form->CheckBox1->Handle(), GetFocus());
    EXPECT_TRUE(form->CheckBox1->Checked());

    // Without Alt, a key is a mnemonic only where the focus takes no characters.
    form->Edit1->SetFocus();
    gLog.clear();
    HWND edit = GetFocus();
    PostMessageA(edit, WM_CHAR, 'h', 1);
    Application->ProcessMessages();
    EXPECT_TRUE(gLog.empty());
    EXPECT_EQ("h", form->Edit1->Text());  // the whole text was selected on entry
    form->Button1->SetFocus();
    PostMessageA(GetFocus(), WM_CHAR, 'h', 1);
    Application->ProcessMessages();
    EXPECT_EQ(Log({"Button4"}), gLog);

    // A disabled label's access key does nothing.
    form->Label4->SetEnabled(false);
    form->Button1->SetFocus();
    PressAltChar('p');
    EXPECT_EQ(form->Button1->Handle(), GetFocus());
}

TEST_F(FormTest, KeyPreviewShowsTheFormTheKeysFirst) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    form->Edit1->SetFocus();
    int editKeys = 0;
    struct Counter {
        int* Count;
        void KeyDown(TObject*, WORD&, TShiftState) { ++*Count; }
    } counter{&editKeys};
    form->Edit1->OnKeyDown = MakeEvent<&Counter::KeyDown>(&counter);
    gLog.clear();
    PressKey(VK_F2);
    EXPECT_EQ(Log({"PreviewF2"}), gLog);
    EXPECT_EQ(0, editKeys);
    PressKey(VK_F3);
    EXPECT_EQ(1, editKeys);
}

TEST_F(FormTest, ALinkLabelIsClickedByTheMouseOnItsParent) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    HWND wnd = form->Handle();
    int x = form->Label5->Left() + 5, y = form->Label5->Top() + 3;
    gLog.clear();
    SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    EXPECT_EQ(Log({"Label5:http://velmora.example/"}), gLog);

    // Released away from the label: no click.
    gLog.clear();
    SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(300, 20));
    EXPECT_TRUE(gLog.empty());
    EXPECT_NE(wnd, GetCapture());
}

TEST_F(FormTest, AHintShowsForTheControlUnderTheMouse) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    Application->SetShowHint(true);
    HWND wnd = form->Handle();
    // The pointer itself is moved there too: the system's own mouse moves
    // must tell the same story as the posted one.
    auto moveTo = [&](TControl* c) {
        TPoint p(c->Left() + 4, c->Top() + 4);
        TPoint s = form->ClientToScreen(p);
        SetCursorPos(s.X, s.Y);
        PostMessageA(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.X, p.Y));
        Application->ProcessMessages();
    };
    moveTo(form->Label5);
    EXPECT_EQ(form->Label5, Application->HintControl());
    ASSERT_NE(nullptr, Application->HintWindow());
    EXPECT_EQ(1, SendMessageA(Application->HintWindow(), TTM_GETTOOLCOUNT, 0, 0));
    char text[80] = {};
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.lpszText = text;
    ASSERT_TRUE(SendMessageA(Application->HintWindow(), TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&ti)));
    EXPECT_STREQ("ウェブサイトを開く", text);
    EXPECT_EQ(form->Label5->BoundsRect(), TRect(ti.rect));

    // Over a control without a hint there is none; switched off, none at all.
    moveTo(form->Label1);
    EXPECT_EQ(nullptr, Application->HintControl());
    EXPECT_EQ(0, SendMessageA(Application->HintWindow(), TTM_GETTOOLCOUNT, 0, 0));
    Application->SetShowHint(false);
    moveTo(form->Label5);
    EXPECT_EQ(nullptr, Application->HintControl());
    Application->SetShowHint(true);
}

TEST_F(FormTest, TheHandCursorShowsOverTheLinkLabel) {
    TUiTestForm* form = CreateTestForm();
    form->Show();
    TPoint p = form->ClientToScreen(TPoint(form->Label5->Left() + 4, form->Label5->Top() + 4));
    ASSERT_TRUE(SetCursorPos(p.X, p.Y));
    HWND wnd = form->Handle();
    EXPECT_EQ(TRUE, SendMessageA(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(LoadCursorA(nullptr, IDC_HAND), GetCursor());
}

TEST_F(FormTest, ActiveControlMustBeOnTheForm) {
    TUiTestForm* form = CreateTestForm();
    TUiTestForm* other = NewForm<TUiTestForm>(Application);
    EXPECT_THROW(form->SetActiveControl(other->Edit1), EInvalidOperation);
    form->SetActiveControl(form->Edit2);
    form->Show();
    EXPECT_EQ(form->Edit2->Handle(), GetFocus());
}

TEST_F(FormTest, AnMdiFormHasItsClientWindow) {
    TForm* form = NewForm<TForm>(Application);
    EXPECT_EQ(nullptr, form->ClientHandle());
    form->SetFormStyle(fsMDIForm);
    HWND client = form->ClientHandle();
    EXPECT_EQ(nullptr, client);  // made with the form's window
    HWND wnd = form->Handle();
    client = form->ClientHandle();
    ASSERT_NE(nullptr, client);
    EXPECT_EQ(wnd, GetParent(client));
    char cls[32] = {};
    GetClassNameA(client, cls, sizeof cls);
    EXPECT_STREQ("MDIClient", cls) << "class " << cls;
    EXPECT_THROW(form->SetFormStyle(fsMDIChild), EInvalidOperation);
    EXPECT_EQ(fsMDIForm, form->FormStyle());
}

TEST_F(FormTest, ShowModalRunsUntilAButtonSetsTheResult) {
    TUiTestForm* main = CreateTestForm();
    main->Show();
    TUiTestForm* dialog = NewForm<TUiTestForm>(Application);
    dialog->Button1->SetModalResult(mrOk);
    // Clicked once the modal loop runs.
    PostMessageA(dialog->Button1->Handle(), BM_CLICK, 0, 0);
    gLog.clear();
    EXPECT_EQ(mrOk, dialog->ShowModal());
    EXPECT_EQ(Log({"Show", "Button1", "CloseQuery", "Close(caHide)", "Hide"}), gLog);
    EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
}

// ---- Resolution ----
//
// These run at the resolution of the Wine prefix they run in: 96 pixels per
// inch in the suite's own, 144 in the one CTest makes for
// framework_tests_144dpi (VELMORA_TEST_PPI says which a run must be at).

namespace {

int ScreenPPI() {
    HDC dc = GetDC(nullptr);
    const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return ppi;
}

// ui_test.form's controls and fonts, given at 96 pixels per inch, at ppi.
void ExpectLaidOutAt(TUiTestForm* form, int ppi) {
    auto at = [ppi](int length) { return MulDiv(length, ppi, 96); };
    EXPECT_EQ(ppi, form->PixelsPerInch());
    EXPECT_EQ(Bounds(at(146), at(20), at(207), at(20)), form->Edit1->BoundsRect());
    EXPECT_EQ(Bounds(at(310), at(111), at(82), at(25)), form->Button5->BoundsRect());
    EXPECT_EQ(Bounds(at(8), at(148), at(33), at(33)), form->Image1->BoundsRect());
    EXPECT_EQ(at(8), form->Label1->Left());
    // The form's font, one that follows it and one of a label's own: the
    // same 9 points, in pixels at ppi.
    for (TControl* c : std::initializer_list<TControl*>{form, form->Edit1, form->Label5}) {
        EXPECT_EQ(at(-12), c->Font()->Height()) << c->Name();
        EXPECT_EQ(ppi, c->Font()->PixelsPerInch()) << c->Name();
        EXPECT_EQ(9, c->Font()->Size()) << c->Name();
    }
    // A label fits its text in the font it is drawn in.
    SIZE text{};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, form->Label1->Font()->Handle());
    GetTextExtentPoint32A(dc, "壁紙の保存フォルダ(S)", 21, &text);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(text.cx, form->Label1->Width());
}

}  // namespace

TEST_F(FormTest, AFormIsLaidOutAtTheResolutionOfTheScreenItOpensOn) {
    const int ppi = ScreenPPI();
    if (const char* required = std::getenv("VELMORA_TEST_PPI")) {
        ASSERT_EQ(std::atoi(required), ppi) << "the prefix does not run at the resolution this run is for";
    }
    TUiTestForm* form = CreateTestForm();
    ExpectLaidOutAt(form, ppi);
    EXPECT_EQ(ppi, form->CurrentPPI());
    form->Show();
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(MulDiv(422, ppi, 96), client.right);
    EXPECT_EQ(MulDiv(190, ppi, 96), client.bottom);
    ExpectLaidOutAt(form, ppi);
}

TEST_F(FormTest, AFormMovedToAMonitorOfAnotherResolutionScalesFromWhereItIs) {
    const int ppi = ScreenPPI(), other = ppi == 96 ? 144 : 96;
    TUiTestForm* form = CreateTestForm();
    form->Show();
    // As the system moves a window: the new resolution, and the window's
    // rectangle there.
    auto moveTo = [&](int to, const RECT& suggested) {
        SendMessageA(form->Handle(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
        RECT now{};
        GetWindowRect(form->Handle(), &now);
        EXPECT_TRUE(EqualRect(&suggested, &now)) << "the form did not take the suggested rectangle";
        EXPECT_EQ(to, form->CurrentPPI());
        ExpectLaidOutAt(form, to);
    };
    RECT first{};
    GetWindowRect(form->Handle(), &first);
    moveTo(other, RECT{40, 30, 40 + MulDiv(first.right - first.left, other, ppi),
                       30 + MulDiv(first.bottom - first.top, other, ppi)});
    moveTo(ppi, first);
}
