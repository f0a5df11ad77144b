// Controls made in code: windows on demand, recreation, parents, fonts and
// colours inherited from the parent, the per-control message method, and
// the standard controls' own behaviour.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/Menus.h"
#include "framework/ObjectInstance.h"
#include "framework/StdCtrls.h"

using namespace Fw;

namespace {

class ControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }

    void SetUp() override {
        Form = NewForm<TForm>(nullptr);
        Form->SetBounds(10, 10, 400, 300);
    }
    void TearDown() override {
        delete Form;
        Application->ProcessMessages();
    }

    template <class T>
    T* Add(int left, int top, int width, int height, TWinControl* parent = nullptr) {
        T* c = new T(Form);
        c->SetParent(parent ? parent : Form);
        c->SetBounds(left, top, width, height);
        return c;
    }

    TForm* Form = nullptr;
};

struct TClickCounter {
    int Clicks = 0;
    std::vector<TObject*> Senders;
    void Click(TObject* sender) {
        ++Clicks;
        Senders.push_back(sender);
    }
};

std::string ClassOf(HWND wnd) {
    char name[64] = {};
    GetClassNameA(wnd, name, sizeof name);
    return name;
}

}  // namespace

TEST_F(ControlTest, TheWindowIsMadeWhenTheHandleIsFirstUsed) {
    auto* button = Add<TButton>(10, 10, 80, 25);
    button->SetCaption("参照(&F)");
    EXPECT_FALSE(button->HandleAllocated());
    EXPECT_FALSE(Form->HandleAllocated());
    HWND wnd = button->Handle();
    ASSERT_NE(nullptr, wnd);
    // The parent's window came first; the button is its child.
    EXPECT_TRUE(Form->HandleAllocated());
    EXPECT_EQ(Form->Handle(), GetParent(wnd));
    EXPECT_EQ("TButton", ClassOf(wnd));
    char text[32] = {};
    GetWindowTextA(wnd, text, sizeof text);
    EXPECT_STREQ("参照(&F)", text);
    // The window's procedure is the control's thunk, and the window leads back to it.
    auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC));
    EXPECT_TRUE(IsObjectInstance(proc));
    EXPECT_EQ(button, TWinControl::FindControl(wnd));
    RECT r;
    GetWindowRect(wnd, &r);
    EXPECT_EQ(80, r.right - r.left);
    EXPECT_EQ(25, r.bottom - r.top);
}

TEST_F(ControlTest, AControlWithoutParentHasNoWindow) {
    auto* edit = new TEdit(Form);
    EXPECT_THROW(edit->Handle(), EInvalidOperation);
    EXPECT_FALSE(edit->HandleAllocated());
}

TEST_F(ControlTest, RecreatingKeepsWhatTheWindowShowedAndItsClicks) {
    auto* check = Add<TCheckBox>(10, 10, 150, 20);
    check->SetCaption("壁紙保存時に音を鳴らす(&B)");
    auto* edit = Add<TEdit>(10, 40, 150, 20);
    edit->SetMaxLength(5);
    TClickCounter counter;
    check->OnClick = MakeEvent<&TClickCounter::Click>(&counter);
    HWND old = check->Handle();
    SendMessageA(old, BM_CLICK, 0, 0);  // the user ticks it
    EXPECT_TRUE(check->Checked());
    EXPECT_EQ(1, counter.Clicks);
    SetWindowTextA(edit->Handle(), "あいう");

    Form->RecreateWnd();
    HWND now = check->Handle();
    EXPECT_FALSE(IsWindow(old));
    EXPECT_TRUE(IsWindow(now));
    EXPECT_EQ(BST_CHECKED, SendMessageA(now, BM_GETCHECK, 0, 0));
    EXPECT_EQ("あいう", edit->Text());
    EXPECT_EQ(5, static_cast<int>(SendMessageA(edit->Handle(), EM_GETLIMITTEXT, 0, 0)));
    SendMessageA(now, BM_CLICK, 0, 0);
    EXPECT_FALSE(check->Checked());
    EXPECT_EQ(2, counter.Clicks);
    EXPECT_EQ(check, counter.Senders.back());
}

namespace {

// Hooks a control's message method the way a component library does:
// keeps the old one and passes on what it does not swallow.
struct TMessageSpy {
    TControl* Control = nullptr;
    TWndMethod Old;
    std::vector<UINT> Seen;
    UINT Swallow = 0;
    void Hook(TMessage& message) {
        Seen.push_back(message.Msg);
        if (message.Msg == Swallow) {
            message.Result = 99;
            return;
        }
        Old(message);
    }
};

}  // namespace

TEST_F(ControlTest, WindowProcSeesTheControlsMessagesFirst) {
    auto* button = Add<TButton>(10, 10, 80, 25);
    TClickCounter counter;
    button->OnClick = MakeEvent<&TClickCounter::Click>(&counter);
    TMessageSpy spy;
    spy.Old = button->WindowProc;
    button->WindowProc = MakeEvent<&TMessageSpy::Hook>(&spy);
    spy.Swallow = WM_USER + 3;
    EXPECT_EQ(99, SendMessageA(button->Handle(), WM_USER + 3, 0, 0));
    // The click notification reaches the button through the same road.
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(1, counter.Clicks);
    EXPECT_NE(std::find(spy.Seen.begin(), spy.Seen.end(), static_cast<UINT>(CN_COMMAND)), spy.Seen.end());
    // Perform goes through it too, with or without a window.
    EXPECT_EQ(99, button->Perform(WM_USER + 3));
    button->WindowProc = spy.Old;
}

TEST_F(ControlTest, AnExceptionInAHandlerIsReportedAndDoesNotLeaveTheWindowProcedure) {
    auto* button = Add<TButton>(10, 10, 80, 25);
    struct TThrower {
        void Click(TObject*) { throw EConvertError("変換できません"); }
    } thrower;
    struct TRecord {
        std::vector<std::string> Messages;
        void Record(TObject*, Exception* e) { Messages.push_back(e->Message()); }
    } record;
    button->OnClick = MakeEvent<&TThrower::Click>(&thrower);
    Application->OnException = MakeEvent<&TRecord::Record>(&record);
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    Application->OnException = nullptr;
    ASSERT_EQ(1u, record.Messages.size());
    EXPECT_EQ("変換できません", record.Messages[0]);
}

TEST_F(ControlTest, ParentsCannotFormACycle) {
    auto* outer = Add<TPanel>(0, 0, 200, 200);
    auto* inner = Add<TPanel>(10, 10, 100, 100, outer);
    EXPECT_THROW(outer->SetParent(inner), EInvalidOperation);
    EXPECT_THROW(outer->SetParent(outer), EInvalidOperation);
    EXPECT_EQ(Form, outer->Parent());
    EXPECT_EQ(1, outer->ControlCount());
    EXPECT_EQ(inner, outer->Controls(0));
    EXPECT_THROW(outer->Controls(1), EListError);
}

TEST_F(ControlTest, MovingAControlToAnotherParentMovesItsWindow) {
    auto* panel = Add<TPanel>(0, 0, 200, 200);
    auto* edit = Add<TEdit>(5, 5, 100, 20);
    HWND first = edit->Handle();
    edit->SetParent(panel);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(panel->Handle(), GetParent(edit->Handle()));
    EXPECT_EQ(0, edit->TabOrder());
    edit->SetParent(nullptr);
    EXPECT_FALSE(edit->HandleAllocated());
    EXPECT_EQ(0, panel->ControlCount());
}

TEST_F(ControlTest, FontsFollowTheParentUntilAControlGetsItsOwn) {
    auto* label = Add<TLabel>(10, 10, 100, 20);
    auto* button = Add<TButton>(10, 40, 100, 25);
    HWND wnd = button->Handle();
    Form->Font()->SetHeight(-16);
    Form->Font()->SetName("ＭＳ ゴシック");
    EXPECT_EQ(-16, label->Font()->Height());
    EXPECT_EQ("ＭＳ ゴシック", button->Font()->Name());
    EXPECT_EQ(reinterpret_cast<LRESULT>(button->Font()->Handle()), SendMessageA(wnd, WM_GETFONT, 0, 0));

    button->Font()->SetStyle(TFontStyles{fsBold});
    EXPECT_FALSE(button->ParentFont());
    Form->Font()->SetHeight(-20);
    EXPECT_EQ(-20, label->Font()->Height());
    EXPECT_EQ(-16, button->Font()->Height());
    button->SetParentFont(true);
    EXPECT_EQ(-20, button->Font()->Height());
    EXPECT_FALSE(button->Font()->Style().Contains(fsBold));
}

TEST_F(ControlTest, ColoursAndHintSwitchesFollowTheParentToo) {
    auto* label = Add<TLabel>(10, 10, 100, 20);
    auto* check = Add<TCheckBox>(10, 40, 100, 20);
    auto* edit = Add<TEdit>(10, 70, 100, 20);
    Form->SetColor(clYellow);
    EXPECT_EQ(clYellow, label->Color());
    EXPECT_EQ(clYellow, check->Color());
    EXPECT_EQ(clWindow, edit->Color());  // an edit box keeps its own
    label->SetColor(clRed);
    EXPECT_FALSE(label->ParentColor());
    Form->SetColor(clLime);
    EXPECT_EQ(clRed, label->Color());

    Form->SetShowHint(true);
    EXPECT_TRUE(edit->ShowHint());
    edit->SetShowHint(false);
    EXPECT_FALSE(edit->ParentShowHint());
    Form->SetShowHint(false);
    Form->SetShowHint(true);
    EXPECT_FALSE(edit->ShowHint());
    EXPECT_TRUE(check->ShowHint());
}

TEST_F(ControlTest, ALabelSizesItselfToItsTextAndPaintsIt) {
    auto* label = Add<TLabel>(10, 10, 5, 5);
    label->SetCaption("壁紙の保存フォルダ(&S)");
    // The access-key mark takes no room.
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, label->Font()->Handle());
    SIZE size;
    const char* shown = "壁紙の保存フォルダ(S)";
    GetTextExtentPoint32A(dc, shown, static_cast<int>(strlen(shown)), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(size.cx, label->Width());
    EXPECT_EQ(size.cy, label->Height());
    label->SetAutoSize(false);
    label->SetCaption("短い");
    EXPECT_EQ(size.cx, label->Width());

    // Painted on the form: text pixels of the font colour appear in the label's box.
    label->SetAutoSize(true);
    label->Font()->SetColor(clBlue);
    Form->Show();
    UpdateWindow(Form->Handle());
    HDC formDc = GetDC(Form->Handle());
    int blue = 0;
    for (int y = label->Top(); y < label->Top() + label->Height(); ++y)
        for (int x = label->Left(); x < label->Left() + label->Width(); ++x) {
            COLORREF c = GetPixel(formDc, x, y);
            if (GetBValue(c) > 160 && GetRValue(c) < 100 && GetGValue(c) < 100) ++blue;
        }
    ReleaseDC(Form->Handle(), formDc);
    EXPECT_GT(blue, 10);
    EXPECT_EQ("短い", StripHotkey(label->Caption()));
    EXPECT_EQ("a&b", StripHotkey("a&&&b"));
}

TEST_F(ControlTest, AccessKeysIgnoreTheTrailBytesOfDoubleByteCharacters) {
    // "ソ" ends in the byte 0x5C, "ア" in 0x41 ('A'): neither is a key.
    EXPECT_FALSE(IsAccel('A', "ア&&b"));
    EXPECT_TRUE(IsAccel('U', "設定削除（&U)"));
    EXPECT_TRUE(IsAccel('u', "設定削除（&U)"));
    EXPECT_FALSE(IsAccel('S', "設定"));
    EXPECT_FALSE(IsAccel('B', "a&&b"));
    EXPECT_TRUE(IsAccel('X', "&&a&x"));
}

TEST_F(ControlTest, SetFocusRefusesAHiddenOrDisabledControl) {
    auto* edit = Add<TEdit>(10, 10, 100, 20);
    EXPECT_THROW(edit->SetFocus(), EInvalidOperation);  // the form is not shown
    Form->Show();
    edit->SetFocus();
    EXPECT_TRUE(edit->Focused());
    auto* other = Add<TEdit>(10, 40, 100, 20);
    other->SetEnabled(false);
    EXPECT_FALSE(other->CanFocus());
    EXPECT_THROW(other->SetFocus(), EInvalidOperation);
    EXPECT_FALSE(IsWindowEnabled(other->Handle()));
    EXPECT_TRUE(edit->Focused());
}

TEST_F(ControlTest, ControlsAreDestroyedWithTheirParent) {
    auto* panel = new TPanel(nullptr);  // owned by nobody: the parent frees it
    panel->SetParent(Form);
    auto* edit = new TEdit(nullptr);
    edit->SetParent(panel);
    HWND editWnd = edit->Handle();
    struct TWatch : TComponent {
        explicit TWatch(TComponent* o) : TComponent(o) {}
        bool* Gone = nullptr;
        void Notification(TComponent* c, TOperation op) override {
            if (op == opRemove && Target == c) *Gone = true;
        }
        TComponent* Target = nullptr;
    };
    bool gone = false;
    TWatch watch(nullptr);
    watch.Gone = &gone;
    watch.Target = edit;
    edit->FreeNotification(&watch);
    delete panel;
    EXPECT_TRUE(gone);
    EXPECT_FALSE(IsWindow(editWnd));
    EXPECT_EQ(0, Form->ControlCount());
}

TEST_F(ControlTest, AnImageShowsTheProgramIcon) {
    auto* image = Add<TImage>(20, 20, 33, 33);
    image->Picture()->Icon()->SetHandle(CopyIcon(Application->Icon()->Handle()));
    EXPECT_EQ(32, image->Picture()->Width());
    EXPECT_EQ(TRect(0, 0, 32, 32), image->DestRect());
    image->SetCenter(true);
    EXPECT_EQ(TRect(0, 0, 32, 32), image->DestRect());  // (33-32)/2 = 0
    Form->Show();
    UpdateWindow(Form->Handle());
    // The icon's yellow square sits in its middle.
    HDC dc = GetDC(Form->Handle());
    COLORREF middle = GetPixel(dc, 20 + 16, 20 + 16);
    COLORREF corner = GetPixel(dc, 20, 20);
    ReleaseDC(Form->Handle(), dc);
    EXPECT_EQ(RGB(255, 255, 0), middle);
    EXPECT_EQ(ColorToRGB(clBtnFace), corner);  // transparent corner shows the form
}

TEST_F(ControlTest, APanelHoldsControlsAndPaintsItsCaption) {
    auto* panel = Add<TPanel>(10, 10, 200, 60);
    panel->SetCaption("パネル");
    auto* button = Add<TButton>(5, 5, 60, 20, panel);
    EXPECT_EQ(panel->Handle(), GetParent(button->Handle()));
    EXPECT_EQ("TPanel", ClassOf(panel->Handle()));
    // Its face is painted around its controls, never over them.
    EXPECT_TRUE(GetWindowLongA(panel->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);
    EXPECT_THROW(panel->SetBevelWidth(0), EInvalidOperation);
    TClickCounter counter;
    panel->OnClick = MakeEvent<&TClickCounter::Click>(&counter);
    SendMessageA(panel->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 30));
    SendMessageA(panel->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(150, 30));
    EXPECT_EQ(1, counter.Clicks);
}

TEST_F(ControlTest, EditTextAndChangeEvents) {
    auto* edit = Add<TEdit>(10, 10, 150, 20);
    TClickCounter changes;
    edit->OnChange = MakeEvent<&TClickCounter::Click>(&changes);
    edit->SetText("初期値");
    edit->Handle();
    EXPECT_EQ("初期値", edit->Text());
    EXPECT_EQ(0, changes.Clicks);  // made with its text: no change yet
    edit->SetText("ファイル名");
    EXPECT_EQ("ファイル名", edit->Text());
    EXPECT_EQ(1, changes.Clicks);
    edit->SetMaxLength(4);
    SetWindowTextA(edit->Handle(), "");
    for (char c : std::string("abcdef")) SendMessageA(edit->Handle(), WM_CHAR, c, 1);
    EXPECT_EQ("abcd", edit->Text());
    EXPECT_THROW(edit->SetMaxLength(-1), EInvalidOperation);
    edit->SetReadOnly(true);
    EXPECT_TRUE(GetWindowLongA(edit->Handle(), GWL_STYLE) & ES_READONLY);
    // A password character hides what the window shows, not the text.
    edit->SetPasswordChar('*');
    EXPECT_EQ('*', SendMessageA(edit->Handle(), EM_GETPASSWORDCHAR, 0, 0));
    EXPECT_EQ("abcd", edit->Text());
    auto* hidden = Add<TEdit>(10, 40, 150, 20);
    hidden->SetPasswordChar('#');
    EXPECT_EQ('#', SendMessageA(hidden->Handle(), EM_GETPASSWORDCHAR, 0, 0));
}

namespace {

// Like a component that hooks its form's window: it asks for the window
// while the form is still being read.
class TUiHandleGrabber : public TComponent {
public:
    FW_CLASS(TUiHandleGrabber, TComponent)
    explicit TUiHandleGrabber(TComponent* owner) : TComponent(owner) {
        if (auto* form = dynamic_cast<TCustomForm*>(owner)) Grabbed = form->Handle();
    }
    HWND Grabbed = nullptr;
};

}  // namespace

FW_PUBLISH(TUiHandleGrabber)
FW_END_PUBLISH

TEST_F(ControlTest, ControlsReadAfterTheFormWindowWasMadeGetWindowsToo) {
    // Form text is UTF-8, whatever the program's narrow literals are.
    const char8_t* text =
        u8"object Form: TForm\n"
        u8"  object Grabber: TUiHandleGrabber\n"
        u8"  end\n"
        u8"  object Edit1: TEdit\n"
        u8"    Left = 8\n"
        u8"    Top = 8\n"
        u8"    Text = '読み込み中'\n"
        u8"  end\n"
        u8"end\n";
    ComponentFromText(reinterpret_cast<const char*>(text), Form);
    auto* grabber = static_cast<TUiHandleGrabber*>(Form->FindComponent("Grabber"));
    auto* edit = static_cast<TEdit*>(Form->FindComponent("Edit1"));
    ASSERT_NE(nullptr, grabber);
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(Form->Handle(), grabber->Grabbed);
    ASSERT_TRUE(edit->HandleAllocated());
    Form->Show();
    EXPECT_TRUE(IsWindowVisible(edit->Handle()));
    EXPECT_EQ("読み込み中", edit->Text());
}

TEST_F(ControlTest, ClientSizeOfAFormIsExactAfterTheBorderChanges) {
    Form->SetBorderStyle(bsDialog);
    Form->SetClientSize(300, 120);
    HWND wnd = Form->Handle();
    RECT r;
    GetClientRect(wnd, &r);
    EXPECT_EQ(300, r.right);
    EXPECT_EQ(120, r.bottom);
    Form->SetBorderStyle(bsSizeable);
    EXPECT_FALSE(IsWindow(wnd));
    GetClientRect(Form->Handle(), &r);
    EXPECT_EQ(300, r.right);
    EXPECT_EQ(120, r.bottom);
    EXPECT_EQ(300, Form->ClientWidth());
    EXPECT_TRUE(GetWindowLongA(Form->Handle(), GWL_STYLE) & WS_THICKFRAME);
}

// The typed views read each field with its sign and width, as the system
// packs it.
TEST(MessageViews, CrackTheirMessagesFields) {
    TMessage wheel{WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL | MK_LBUTTON, static_cast<WORD>(-2 * WHEEL_DELTA)),
                   static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(static_cast<WORD>(-5), 300))), 0};
    TWMMouseWheel w(wheel);
    EXPECT_EQ(-240, w.WheelDelta());
    EXPECT_TRUE(w.Shift().Contains(ssCtrl));
    EXPECT_TRUE(w.Shift().Contains(ssLeft));
    EXPECT_FALSE(w.Shift().Contains(ssShift));
    EXPECT_EQ(-5, w.X()) << "left of the primary screen";
    EXPECT_EQ(300, w.Y());

    TMessage dbl{WM_RBUTTONDBLCLK, MK_RBUTTON | MK_SHIFT,
                 static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(static_cast<WORD>(-3), static_cast<WORD>(-4)))), 0};
    TWMMouse d(dbl);
    EXPECT_EQ(mbRight, d.Button());
    EXPECT_TRUE(d.ButtonDown());
    EXPECT_TRUE(d.DoubleClick());
    EXPECT_FALSE(d.ButtonUp());
    EXPECT_EQ((TShiftState{ssShift, ssRight, ssDouble}), d.Shift() - TShiftState{ssAlt});
    EXPECT_EQ(-3, d.X());
    EXPECT_EQ(-4, d.Y());

    TMessage up{WM_MBUTTONUP, 0, MAKELPARAM(7, 8), 0};
    TWMMouse u(up);
    EXPECT_EQ(mbMiddle, u.Button());
    EXPECT_TRUE(u.ButtonUp());
    EXPECT_FALSE(u.ButtonDown());
    EXPECT_EQ(7, u.Pos().x);
    EXPECT_EQ(8, u.Pos().y);

    HDC dc = GetDC(nullptr);
    TMessage erase{WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0, 0};
    TWMEraseBkgnd e(erase);
    EXPECT_EQ(dc, e.DC());
    EXPECT_FALSE(e.Erased());
    e.SetErased(true);
    EXPECT_EQ(1, erase.Result);
    ReleaseDC(nullptr, dc);

    TMessage drop{WM_DROPFILES, static_cast<WPARAM>(0x5678), 0, 0};
    EXPECT_EQ(reinterpret_cast<HDROP>(0x5678), TWMDropFiles(drop).Drop());

    TMessage key{WM_CONTEXTMENU, 0, -1, 0};
    EXPECT_TRUE(TWMContextMenu(key).FromKeyboard());
    TMessage click{WM_CONTEXTMENU, 0, MAKELPARAM(10, 20), 0};
    EXPECT_FALSE(TWMContextMenu(click).FromKeyboard());
    EXPECT_EQ(20, TWMContextMenu(click).Pos().y);
}
