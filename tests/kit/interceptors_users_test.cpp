// Interceptors and their users on real forms: order and Handled rules of
// users sharing one interceptor, every order of destruction, control mode,
// users read from form text, and references to controls of another form.
#include <gtest/gtest.h>

#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "interceptors_support.h"

using namespace Fw;
using namespace Kit;
using namespace InterceptorsTest;

namespace {

constexpr UINT kMsg = WM_USER + 50;

// A form whose own message method logs as "form".
class TLoggedForm : public TForm {
public:
    FW_CLASS(TLoggedForm, TForm)
    explicit TLoggedForm(TComponent* owner) : TForm(owner) {}
    void WndProc(TMessage& message) override {
        if (message.Msg == kMsg) Log().Add("form", message.Msg);
        TForm::WndProc(message);
    }
    void InterceptorMessage(TObject*, TMessage& message, bool& handled) {
        if (message.Msg != kMsg) return;
        Log().Add("OnMessage", message.Msg);
        handled = SwallowInOnMessage;
    }
    bool SwallowInOnMessage = false;
};

using TFormPtr = TComponentPtr<TLoggedForm>;

class InterceptorUsers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }
    void SetUp() override {
        Form.reset(NewComponent<TLoggedForm>(nullptr));
        Interceptor = NewComponent<TFormMessageInterceptor>(Form.get());
        Interceptor->SetName("Interceptor");
        Interceptor->OnMessage = MakeEvent<&TLoggedForm::InterceptorMessage>(Form.get());
        for (int i = 0; i < 4; ++i) {
            Users[i] = NewComponent<TProbeUser>(Form.get());
            Users[i]->SetName(AnsiString("u").append(std::to_string(i + 1)));
            Users[i]->SetInterceptor(Interceptor);
            Users[i]->SetActive(true);
        }
        Log().Clear();
    }
    void TearDown() override {
        Form.reset();
        EXPECT_EQ(std::string::npos, Log().Text().find("DEAD")) << Log().Text();
    }
    LRESULT Send() { return SendMessageA(Form->Handle(), kMsg, 0, 0); }

    TFormPtr Form;
    TFormMessageInterceptor* Interceptor = nullptr;
    TProbeUser* Users[4] = {};
};

}  // namespace

FW_PUBLISH(TLoggedForm)
    .Method<&TLoggedForm::InterceptorMessage>("InterceptorMessage")
FW_END_PUBLISH

TEST_F(InterceptorUsers, FourUsersShareOneInterceptorInTheOrderTheyWereSwitchedOn) {
    EXPECT_EQ(Form->Handle(), Interceptor->Subclass()->Handle());
    Send();
    EXPECT_EQ("u1:1074 u2:1074 u3:1074 u4:1074 OnMessage:1074 form:1074", Log().Text());

    // A handler that handles it keeps it from OnMessage and from the form,
    // not from the other users.
    Users[1]->SetsHandled = true;
    Log().Clear();
    Send();
    EXPECT_EQ("u1:1074 u2:1074 u3:1074 u4:1074", Log().Text());
    Users[1]->SetsHandled = false;

    // OnMessage may swallow it too.
    Form->SwallowInOnMessage = true;
    Log().Clear();
    Send();
    EXPECT_EQ("u1:1074 u2:1074 u3:1074 u4:1074 OnMessage:1074", Log().Text());
    Form->SwallowInOnMessage = false;

    // Switched off and on again: last.
    Users[0]->SetActive(false);
    Users[0]->SetActive(true);
    Log().Clear();
    Send();
    EXPECT_EQ("u2:1074 u3:1074 u4:1074 u1:1074 OnMessage:1074 form:1074", Log().Text());
    auto handlers = Interceptor->Dispatcher()->Handlers(kMsg);
    ASSERT_EQ(4u, handlers.size());
    EXPECT_TRUE(handlers[3] == Users[0]->HandlerEvent());

    // Disabled, the window behaves as if not hooked.
    Interceptor->SetEnabled(false);
    Log().Clear();
    Send();
    EXPECT_EQ("form:1074", Log().Text());
    Interceptor->SetEnabled(true);

    // Setting the same value does nothing; the references exclude each other.
    Log().Clear();
    Users[2]->SetActive(true);
    EXPECT_EQ("", Log().Text()) << "no DoActivate";
    EXPECT_THROW(Users[2]->SetControl(nullptr), Exception);
    Users[2]->SetActive(false);
    Users[2]->SetControl(Form.get());
    EXPECT_EQ(nullptr, Users[2]->MessageInterceptor());
    Users[2]->SetInterceptor(nullptr);
    EXPECT_EQ(nullptr, Users[2]->Control());
    try {
        Users[2]->SetActive(true);
        ADD_FAILURE() << "switched on with nothing to use";
    } catch (Exception& e) {
        EXPECT_EQ("MessageInterceptor か Control を設定して下さい.", e.Message());
    }
    EXPECT_FALSE(Users[2]->Active());
}

TEST_F(InterceptorUsers, TheWindowDestroyedFirstSwitchesEveryUserOff) {
    Form->DestroyHandle();
    EXPECT_EQ("u1:off u2:off u3:off u4:off", Log().Text());
    for (TProbeUser* u : Users) {
        EXPECT_FALSE(u->Active());
        EXPECT_EQ(nullptr, u->MessageInterceptor());
    }
    EXPECT_EQ(nullptr, Interceptor->Subclass()->Handle());
    EXPECT_TRUE(Interceptor->Dispatcher()->Handlers(kMsg).empty()) << "the users took their handlers out";
    // A user destroyed now is never called by the interceptor again.
    FreeComponent(Users[1]);
    Log().Clear();
    FreeComponent(Interceptor);
    EXPECT_EQ("", Log().Text());
}

TEST_F(InterceptorUsers, TheInterceptorDestroyedFirstSwitchesEveryUserOffOnce) {
    FreeComponent(Interceptor);
    EXPECT_EQ("u1:off u2:off u3:off u4:off", Log().Text());
    for (TProbeUser* u : Users) {
        EXPECT_FALSE(u->Active());
        EXPECT_EQ(nullptr, u->MessageInterceptor());
    }
    Log().Clear();
    Send();
    EXPECT_EQ("form:1074", Log().Text()) << "the form's window has its own procedure back";

    // An inactive user hears of its interceptor's end too.
    auto* second = NewComponent<TFormMessageInterceptor>(Form.get());
    Users[0]->SetInterceptor(second);
    delete second;  // even without BeforeDestruction
    EXPECT_EQ(nullptr, Users[0]->MessageInterceptor());
}

TEST_F(InterceptorUsers, AUserDestroyedFirstIsNeverCalledAgain) {
    FreeComponent(Users[1]);
    Users[1] = nullptr;
    EXPECT_EQ("u2:off", Log().Text()) << "switched off while whole";
    Log().Clear();
    Send();
    EXPECT_EQ("u1:1074 u3:1074 u4:1074 OnMessage:1074 form:1074", Log().Text());
    // Destroyed with a plain delete, skipping BeforeDestruction: its handlers go all the same.
    delete Users[3];
    Users[3] = nullptr;
    Log().Clear();
    Send();
    EXPECT_EQ("u1:1074 u3:1074 OnMessage:1074 form:1074", Log().Text());
    EXPECT_EQ(2u, Interceptor->Dispatcher()->Handlers(WM_DESTROY).size());
    Log().Clear();
    FreeComponent(Interceptor);
    EXPECT_EQ("u1:off u3:off", Log().Text());
}

TEST_F(InterceptorUsers, TheOwnersTeardownInEitherOrderOfCreation) {
    // Users made before their interceptor, and after it.
    auto* late = NewComponent<TFormMessageInterceptor>(Form.get());
    auto* early = NewComponent<TProbeUser>(Form.get());
    early->SetName("early");
    early->SetInterceptor(late);
    early->SetActive(true);
    Form.reset();
    EXPECT_EQ(std::string::npos, Log().Text().find("DEAD")) << Log().Text();
}

// Control mode: a user made in code defines its handlers when first
// switched on, hooks the control itself, and never doubles its handlers.
TEST(InterceptorUserControlMode, AUserMadeInCodeHooksItsControl) {
    Application->Initialize();
    TFormPtr form(NewComponent<TLoggedForm>(nullptr));
    auto* panel = NewComponent<TPanel>(form.get());
    panel->SetParent(form.get());
    HWND wnd = panel->Handle();
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC));
    auto* user = NewComponent<TProbeUser>(form.get());
    user->SetName("user");
    user->SetControl(panel);
    for (int round = 0; round < 2; ++round) {
        Log().Clear();
        user->SetActive(true);
        EXPECT_EQ(user->GetSubclass()->Proc(), reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC)));
        SendMessageA(wnd, kMsg, 0, 0);
        EXPECT_EQ("user:on user:1074", Log().Text());
        EXPECT_EQ(1u, user->GetDispatcher()->Handlers(kMsg).size()) << "not doubled";
        EXPECT_EQ(1, user->DefineCount);
        user->SetActive(false);
        EXPECT_EQ(own, reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC)));
    }
    // Active, the control's window dies: the user lets go and forgets it.
    user->SetActive(true);
    Log().Clear();
    panel->DestroyHandle();
    EXPECT_EQ("user:off", Log().Text());
    EXPECT_EQ(nullptr, user->Control());
    // Active again on the panel, and the panel destroyed.
    user->SetControl(panel);
    user->SetActive(true);
    Log().Clear();
    FreeComponent(panel);
    EXPECT_EQ("user:off", Log().Text());
    EXPECT_EQ(nullptr, user->Control());
    // A plain delete of an active user gives the window its procedure back.
    auto* other = NewComponent<TPanel>(form.get());
    other->SetParent(form.get());
    WNDPROC otherOwn = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(other->Handle(), GWLP_WNDPROC));
    user->SetControl(other);
    user->SetActive(true);
    delete user;
    EXPECT_EQ(otherOwn, reinterpret_cast<WNDPROC>(GetWindowLongPtrA(other->Handle(), GWLP_WNDPROC)));
}

// ---- Form text and references between forms ----

namespace {

const char kUserForm[] =
    "object UserForm: TLoggedForm\n"
    "  object Panel1: TPanel\n"
    "    Width = 50\n"
    "    Height = 50\n"
    "  end\n"
    "  object Interceptor1: TFormMessageInterceptor\n"
    "    OnMessage = InterceptorMessage\n"
    "  end\n"
    "  object Probe1: TProbeUser\n"
    "    Active = True\n"
    "    MessageInterceptor = Interceptor1\n"
    "  end\n"
    "end\n";

// A form holding a control interceptor and a user that point at a panel of
// another form, read before or after that form.
const char kHookForm[] =
    "object HookForm: TLoggedForm\n"
    "  object Interceptor2: TControlMessageInterceptor\n"
    "    Control = PanelForm.Panel1\n"
    "  end\n"
    "  object Probe2: TProbeUser\n"
    "    Active = True\n"
    "    Control = PanelForm.Panel1\n"
    "  end\n"
    "end\n";
const char kPanelForm[] =
    "object PanelForm: TLoggedForm\n"
    "  object Panel1: TPanel\n"
    "    Width = 50\n"
    "    Height = 50\n"
    "  end\n"
    "end\n";

TComponent* ReadForm(const char* text) { return ComponentFromText(text, nullptr, Application); }

}  // namespace

TEST(InterceptorUserFormText, AnActiveUserIsRegisteredAfterLoading) {
    Application->Initialize();
    Log().Clear();
    TFormPtr form(static_cast<TLoggedForm*>(ReadForm(kUserForm)));
    auto* interceptor = static_cast<TFormMessageInterceptor*>(form->FindComponent("Interceptor1"));
    auto* probe = static_cast<TProbeUser*>(form->FindComponent("Probe1"));
    EXPECT_EQ("Probe1:on", Log().Text()) << "DoActivate once";
    EXPECT_TRUE(probe->Active());
    EXPECT_EQ((std::vector<TMessageHandler>{probe->DestroyEvent()}), interceptor->Dispatcher()->Handlers(WM_DESTROY));
    EXPECT_EQ((std::vector<TMessageHandler>{probe->HandlerEvent()}), interceptor->Dispatcher()->Handlers(kMsg));
    Log().Clear();
    SendMessageA(form->Handle(), kMsg, 0, 0);
    EXPECT_EQ("Probe1:1074 OnMessage:1074 form:1074", Log().Text());

    AnsiString text = ComponentToText(form.get());
    EXPECT_NE(AnsiString::npos, text.find("MessageInterceptor = Interceptor1")) << text;
    EXPECT_NE(AnsiString::npos, text.find("OnMessage = InterceptorMessage")) << text;
}

TEST(InterceptorUserFormText, AControlOfAnotherFormIsFollowedInEitherLoadOrder) {
    Application->Initialize();
    for (bool panelFirst : {true, false}) {
        SCOPED_TRACE(panelFirst ? "panel's form read first" : "panel's form read last");
        Log().Clear();
        TFormPtr panelForm, hookForm;
        if (panelFirst) panelForm.reset(static_cast<TLoggedForm*>(ReadForm(kPanelForm)));
        hookForm.reset(static_cast<TLoggedForm*>(ReadForm(kHookForm)));
        if (!panelFirst) panelForm.reset(static_cast<TLoggedForm*>(ReadForm(kPanelForm)));
        auto* panel = static_cast<TPanel*>(panelForm->FindComponent("Panel1"));
        auto* interceptor = static_cast<TControlMessageInterceptor*>(hookForm->FindComponent("Interceptor2"));
        auto* probe = static_cast<TProbeUser*>(hookForm->FindComponent("Probe2"));
        ASSERT_EQ(panel, interceptor->Control());
        ASSERT_EQ(panel, probe->Control());
        EXPECT_TRUE(probe->Active());
        EXPECT_EQ(panel->Handle(), interceptor->Subclass()->Handle());
        Log().Clear();
        SendMessageA(panel->Handle(), kMsg, 0, 0);
        EXPECT_EQ("Probe2:1074", Log().Text());

        // The control's form goes first: both let go of the control.
        Log().Clear();
        panelForm.reset();
        EXPECT_EQ("Probe2:off", Log().Text());
        EXPECT_EQ(nullptr, interceptor->Control());
        EXPECT_EQ(nullptr, interceptor->Subclass()->Handle());
        EXPECT_EQ(nullptr, probe->Control());
        EXPECT_FALSE(probe->Active());
    }
}

namespace {
struct TNotified {
    std::vector<std::pair<TComponent*, TOperation>> Calls;
    void Heard(TComponent* c, TOperation op) { Calls.emplace_back(c, op); }
};
}  // namespace

TEST(NotificationProxy, TurnsNotificationsIntoAnEvent) {
    TNotified heard;
    TNotificationProxy proxy;
    EXPECT_EQ(nullptr, proxy.Owner());
    proxy.OnNotification = MakeEvent<&TNotified::Heard>(&heard);
    auto* watched = new TComponent(nullptr);
    proxy.FreeNotification(watched);
    FreeComponent(watched);
    ASSERT_EQ(1u, heard.Calls.size());
    EXPECT_EQ(watched, heard.Calls[0].first);
    EXPECT_EQ(opRemove, heard.Calls[0].second);
}

TEST(InterceptorConstruction, FormAndMDIVariantsCheckTheirOwner) {
    Application->Initialize();
    auto message = [](auto make) {
        try {
            make();
        } catch (Exception& e) {
            return e.Message();
        }
        return AnsiString("no exception");
    };
    TComponent plain(nullptr);
    EXPECT_EQ("オーナーがフォームではありません.", message([&] { new TFormMessageInterceptor(&plain); }));
    EXPECT_EQ("オーナーがフォームではありません.", message([] { new TFormMessageInterceptor(nullptr); }));
    EXPECT_EQ(0, plain.ComponentCount());
    TFormPtr form(NewComponent<TLoggedForm>(nullptr));
    EXPECT_EQ("フォームは MDIForm ではありません.", message([&] { new TMDIFormClientMessageInterceptor(form.get()); }));

    // The MDI client window of a form whose window did not exist yet.
    form->SetFormStyle(fsMDIForm);
    EXPECT_FALSE(form->HandleAllocated());
    auto* mdi = NewComponent<TMDIFormClientMessageInterceptor>(form.get());
    ASSERT_NE(nullptr, form->ClientHandle());
    EXPECT_EQ(form->ClientHandle(), mdi->Subclass()->Handle());
    auto* user = NewComponent<TProbeUser>(form.get());
    user->SetName("mdi");
    user->SetInterceptor(mdi);
    user->SetActive(true);
    Log().Clear();
    SendMessageA(form->ClientHandle(), kMsg, 0, 0);
    EXPECT_EQ("mdi:1074", Log().Text());
}
