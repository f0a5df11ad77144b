// Menu items, their Win32 menus, popup menus driven by keystrokes, and menus
// read from and written to form text.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/Filer.h"
#include "framework/Menus.h"

using namespace Fw;

namespace MenusTest {

struct ClickLog {
    std::vector<TObject*> Clicked;
    std::vector<std::string> Events;
    void Click(TObject* sender) {
        Clicked.push_back(sender);
        Events.push_back("click");
    }
    void Popup(TObject*) { Events.push_back("popup"); }
    int Count(TObject* item) const {
        int n = 0;
        for (TObject* o : Clicked) n += o == item;
        return n;
    }
};

TMenuItem* NewItem(TComponent* owner, const char* caption, ClickLog* log = nullptr) {
    auto* item = new TMenuItem(owner);
    item->SetCaption(caption);
    if (log) item->OnClick = MakeEvent<&ClickLog::Click>(log);
    return item;
}

AnsiString MenuString(HMENU menu, int position) {
    char buf[256] = {};
    GetMenuStringA(menu, position, buf, sizeof buf, MF_BYPOSITION);
    return buf;
}

// ---------------------------------------------------------------- items

TEST(MenuItem, DefaultsAndCommandNumbers) {
    TComponent owner(nullptr);
    auto* a = new TMenuItem(&owner);
    auto* b = new TMenuItem(&owner);
    EXPECT_TRUE(a->Enabled());
    EXPECT_TRUE(a->Visible());
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(a->Default());
    EXPECT_EQ("", a->Caption());
    EXPECT_GT(a->Command(), 0);
    EXPECT_LE(a->Command(), 0xFFFF) << "must fit WM_COMMAND's low word";
    EXPECT_NE(a->Command(), b->Command());
    EXPECT_EQ(a, TMenuItem::FindByCommand(a->Command()));
    int gone = b->Command();
    delete b;
    EXPECT_EQ(nullptr, TMenuItem::FindByCommand(gone));
    auto* c = new TMenuItem(&owner);
    EXPECT_EQ(gone, c->Command()) << "a freed number is used again";
}

TEST(MenuItem, ClickRunsOnClickOnlyWhenEnabled) {
    ClickLog log;
    TMenuItem item(nullptr);
    item.OnClick = MakeEvent<&ClickLog::Click>(&log);
    item.Click();
    EXPECT_EQ(1, log.Count(&item));
    item.SetEnabled(false);
    item.Click();
    EXPECT_EQ(1, log.Count(&item)) << "a disabled item's OnClick never runs";
}

TEST(MenuItem, AutoCheckAndRadioGroups) {
    TMenuItem root(nullptr);
    auto* a = NewItem(&root, "A");
    auto* b = NewItem(&root, "B");
    auto* c = NewItem(&root, "C");
    root.Add({a, b, c});
    for (TMenuItem* i : {a, b, c}) {
        i->SetRadioItem(true);
        i->SetAutoCheck(true);
    }
    c->SetGroupIndex(1);
    a->Click();
    EXPECT_TRUE(a->Checked());
    c->Click();
    EXPECT_TRUE(a->Checked()) << "C is in another group";
    b->Click();
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    b->Click();
    EXPECT_TRUE(b->Checked()) << "clicking a checked radio item keeps it checked";

    TMenuItem plain(nullptr);
    plain.SetAutoCheck(true);
    plain.Click();
    EXPECT_TRUE(plain.Checked());
    plain.Click();
    EXPECT_FALSE(plain.Checked());
}

TEST(MenuItem, TreeOperations) {
    TComponent owner(nullptr);
    TMenuItem* root = NewItem(&owner, "root");
    TMenuItem* a = NewItem(&owner, "&A");
    TMenuItem* b = NewItem(&owner, "&B");
    TMenuItem* c = NewItem(&owner, "&C");
    root->Add(a);
    root->Add(c);
    root->Insert(1, b);
    ASSERT_EQ(3, root->Count());
    EXPECT_EQ(b, root->Items(1));
    EXPECT_EQ(root, b->Parent());
    EXPECT_EQ(2, c->MenuIndex());
    EXPECT_EQ(b, root->Find("b")) << "found without its & and without regard to case";

    c->SetMenuIndex(0);
    EXPECT_EQ(c, root->Items(0));
    EXPECT_EQ(a, root->Items(1));

    root->Delete(0);
    EXPECT_EQ(2, root->Count());
    EXPECT_EQ(nullptr, c->Parent());
    EXPECT_EQ(&owner, c->Owner()) << "Delete takes the item out without freeing it";

    EXPECT_THROW(root->Items(2), EListError);
    EXPECT_THROW(root->Insert(5, c), EListError);
    EXPECT_THROW(root->Add(a), EMenuError) << "already in a menu";
    EXPECT_THROW(a->Add(root), EMenuError) << "an item cannot hold its own parent";
    EXPECT_THROW(a->Add(a), EMenuError);
    EXPECT_THROW(root->Remove(c), EMenuError);
    EXPECT_THROW(root->Add(static_cast<TMenuItem*>(nullptr)), EMenuError);
    EXPECT_EQ(2, root->Count()) << "refusals change nothing";

    int before = owner.ComponentCount();
    root->Clear();
    EXPECT_EQ(0, root->Count());
    EXPECT_EQ(before - 2, owner.ComponentCount()) << "Clear frees the items";

    a = NewItem(&owner, "x");
    a->Add(NewItem(&owner, "y"));
    root->Add(a);
    before = owner.ComponentCount();
    delete a;
    EXPECT_EQ(0, root->Count()) << "a freed item leaves its parent";
    EXPECT_EQ(before - 2, owner.ComponentCount()) << "and frees its own sub-items";
}

TEST(MenuItem, HandleShowsTheItemsAsWindowsMenuEntries) {
    TComponent owner(nullptr);
    TMenuItem* root = NewItem(&owner, "");
    TMenuItem* about = NewItem(&owner, "バージョン情報(&A)");
    TMenuItem* line = NewItem(&owner, "-");
    TMenuItem* hidden = NewItem(&owner, "隠し");
    TMenuItem* setting = NewItem(&owner, "設定(&S)...");
    TMenuItem* sub = NewItem(&owner, "その他");
    TMenuItem* inner = NewItem(&owner, "内側");
    root->Add({about, line, hidden, setting, sub});
    sub->Add(inner);
    hidden->SetVisible(false);
    setting->SetEnabled(false);
    about->SetDefault(true);
    inner->SetChecked(true);

    HMENU h = root->Handle();
    ASSERT_TRUE(IsMenu(h));
    ASSERT_EQ(4, GetMenuItemCount(h)) << "invisible items are left out";
    EXPECT_EQ("バージョン情報(&A)", MenuString(h, 0));
    EXPECT_EQ(static_cast<UINT>(about->Command()), GetMenuItemID(h, 0));
    EXPECT_TRUE(GetMenuState(h, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ("設定(&S)...", MenuString(h, 2));
    EXPECT_TRUE(GetMenuState(h, 2, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(h, 0, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_EQ(0u, GetMenuDefaultItem(h, TRUE, 0));
    HMENU subMenu = GetSubMenu(h, 3);
    ASSERT_EQ(sub->Handle(), subMenu);
    EXPECT_TRUE(GetMenuState(subMenu, 0, MF_BYPOSITION) & MF_CHECKED);

    // Later changes show on the next request, in the same HMENUs.
    setting->SetEnabled(true);
    about->SetCaption("情報(&I)");
    inner->SetChecked(false);
    hidden->SetVisible(true);
    EXPECT_EQ(h, root->Handle());
    ASSERT_EQ(5, GetMenuItemCount(h));
    EXPECT_EQ("情報(&I)", MenuString(h, 0));
    EXPECT_EQ("隠し", MenuString(h, 2));
    EXPECT_FALSE(GetMenuState(h, 3, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(subMenu, 0, MF_BYPOSITION) & MF_CHECKED);

    setting->SetDefault(true);
    EXPECT_FALSE(about->Default()) << "one default item per menu";

    delete sub;
    EXPECT_FALSE(IsMenu(subMenu)) << "an item's sub-menu goes with it";
    EXPECT_EQ(4, GetMenuItemCount(root->Handle()));
    delete root;
    EXPECT_FALSE(IsMenu(h));
}

TEST(MenuItem, HotkeysInCaptions) {
    EXPECT_EQ("バージョン情報(A)", StripHotkey("バージョン情報(&A)"));
    EXPECT_EQ('A', GetHotkey("バージョン情報(&A)"));
    EXPECT_EQ("設定削除（U)", StripHotkey("設定削除（&U)"));
    EXPECT_EQ('U', GetHotkey("設定削除（&u)"));
    EXPECT_EQ("R&D", StripHotkey("R&&D"));
    EXPECT_EQ(0, GetHotkey("R&&D"));
    EXPECT_EQ(0, GetHotkey("終了"));
}

// ---------------------------------------------------------------- popup menus

// Drives a popup menu that the main thread is showing, as a user at the
// keyboard would. The menu's modal loop tells its owner window that it is
// idle (WM_ENTERIDLE with MSGF_MENU) once the menu is on the screen; a
// call-window hook on the main thread hears it and wakes the helper thread,
// which finds the menu window and posts keys to it.
class MenuDriver {
public:
    using OnShown = void (*)(void* context);

    explicit MenuDriver(std::vector<UINT> keys, OnShown onShown = nullptr, void* context = nullptr)
        : FKeys(std::move(keys)), FOnShown(onShown), FContext(context) {
        Current = this;
        FShown = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        FHook = SetWindowsHookExA(WH_CALLWNDPROC, &HookProc, nullptr, GetCurrentThreadId());
        FThread = std::thread([this] { Drive(); });
    }
    ~MenuDriver() {
        SetEvent(FShown);  // releases the helper if the menu never opened
        if (FThread.joinable()) FThread.join();
        UnhookWindowsHookEx(FHook);
        CloseHandle(FShown);
        Current = nullptr;
    }

    // The helper's findings, read after Popup returned.
    void Join() {
        SetEvent(FShown);
        if (FThread.joinable()) FThread.join();
    }
    bool SawMenu() const { return FSawMenu; }
    bool TimedOut() const { return FTimedOut; }
    HWND MenuWindow() const { return FMenuWindow; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
        auto* cwp = reinterpret_cast<CWPSTRUCT*>(lParam);
        MenuDriver* self = Current;
        if (code == HC_ACTION && self && cwp->message == WM_ENTERIDLE && cwp->wParam == MSGF_MENU &&
            !self->FSignalled) {
            self->FSignalled = true;
            self->FIdleWindow = reinterpret_cast<HWND>(cwp->lParam);
            if (self->FOnShown) self->FOnShown(self->FContext);
            SetEvent(self->FShown);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    void Drive() {
        bool shown = WaitForSingleObject(FShown, 20000) == WAIT_OBJECT_0;
        HWND menu = FindWindowA("#32768", nullptr);
        if (!shown) {
            // The menu never said it was shown: close whatever is open, so
            // that the test fails instead of hanging.
            FTimedOut = true;
            for (int i = 0; i < 3 && menu; ++i) PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
            return;
        }
        if (!FSignalled) return;  // released by the destructor
        FMenuWindow = menu;
        FSawMenu = menu && IsWindowVisible(menu);
        if (!menu) menu = FIdleWindow;
        for (UINT key : FKeys) {
            if (key >= 0x10000) {
                PostMessageA(menu, WM_CHAR, key - 0x10000, 0);
            } else {
                PostMessageA(menu, WM_KEYDOWN, key, 0);
                PostMessageA(menu, WM_KEYUP, key, 0xC0000000);
            }
        }
    }

    static inline MenuDriver* Current = nullptr;
    std::vector<UINT> FKeys;
    OnShown FOnShown;
    void* FContext;
    HANDLE FShown;
    HHOOK FHook;
    std::thread FThread;
    bool FSignalled = false;
    HWND FIdleWindow = nullptr;
    HWND FMenuWindow = nullptr;
    bool FSawMenu = false;
    bool FTimedOut = false;
};

constexpr UINT Char(char c) { return 0x10000 + static_cast<unsigned char>(c); }

// The tray menu of the settings window, in its order.
struct TrayMenu {
    TComponent Owner{nullptr};
    TPopupMenu* Menu = new TPopupMenu(&Owner);
    ClickLog Log;
    TMenuItem* About1 = NewItem(&Owner, "バージョン情報(&A)", &Log);
    TMenuItem* Help1 = NewItem(&Owner, "ヘルプ(&H)", &Log);
    TMenuItem* Setting = NewItem(&Owner, "設定(&S)...", &Log);
    TMenuItem* OpenFolder = NewItem(&Owner, "壁紙フォルダを開く(&O)", &Log);
    TMenuItem* Exit = NewItem(&Owner, "終了(&E)", &Log);
    TrayMenu() {
        Menu->Items()->Add({About1, Help1, Setting, OpenFolder, Exit});
        Menu->OnPopup = MakeEvent<&ClickLog::Popup>(&Log);
    }
};

TEST(PopupMenu, ArrowKeysAndEnterClickTheChosenItem) {
    TrayMenu t;
    HWND owner = CreateWindowExA(0, "STATIC", "メニューの持ち主", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 200,
                                 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    t.Menu->SetWindowHandle(owner);
    {
        MenuDriver driver({VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
        t.Menu->Popup(300, 200);
        driver.Join();
        EXPECT_FALSE(driver.TimedOut()) << "the menu never reported itself shown";
        EXPECT_TRUE(driver.SawMenu()) << "no visible #32768 window while the menu was open";
    }
    EXPECT_EQ(1, t.Log.Count(t.Setting));
    EXPECT_EQ(1u, t.Log.Clicked.size()) << "only the chosen item";
    EXPECT_EQ((std::vector<std::string>{"popup", "click"}), t.Log.Events);
    EXPECT_EQ(TPoint(300, 200), t.Menu->PopupPoint());
    EXPECT_EQ(owner, GetForegroundWindow()) << "the owner window was brought to the front";
    DestroyWindow(owner);
}

TEST(PopupMenu, AccessKeyClicksItsItem) {
    TrayMenu t;
    {
        MenuDriver driver({Char('o')});
        t.Menu->Popup(50, 50);
        driver.Join();
        EXPECT_FALSE(driver.TimedOut());
    }
    ASSERT_EQ(1u, t.Log.Clicked.size());
    EXPECT_EQ(t.OpenFolder, t.Log.Clicked[0]);
}

TEST(PopupMenu, EscapeClosesWithoutAClick) {
    TrayMenu t;
    {
        MenuDriver driver({VK_DOWN, VK_ESCAPE});
        t.Menu->Popup(50, 50);
        driver.Join();
        EXPECT_FALSE(driver.TimedOut());
    }
    EXPECT_TRUE(t.Log.Clicked.empty());
    EXPECT_EQ((std::vector<std::string>{"popup"}), t.Log.Events);
}

TEST(PopupMenu, ADisabledItemCannotBeChosen) {
    TrayMenu t;
    t.Setting->SetEnabled(false);
    t.About1->SetEnabled(false);
    // Down to the greyed About1 and Enter on it; Escape closes the menu in
    // case Enter left it open, as it does for a greyed item.
    {
        MenuDriver driver({VK_DOWN, VK_RETURN, VK_ESCAPE, VK_ESCAPE});
        t.Menu->Popup(50, 50);
        driver.Join();
        EXPECT_FALSE(driver.TimedOut());
    }
    EXPECT_EQ(0, t.Log.Count(t.About1));
    EXPECT_EQ(0, t.Log.Count(t.Setting));
    {
        MenuDriver driver({Char('s'), VK_ESCAPE, VK_ESCAPE});
        t.Menu->Popup(50, 50);
        driver.Join();
        EXPECT_FALSE(driver.TimedOut());
    }
    EXPECT_EQ(0, t.Log.Count(t.Setting)) << "not by its access key either";
}

TEST(PopupMenu, AnItemDisabledWhileTheMenuIsOpenDoesNotRun) {
    // The menu on the screen still shows Help1 enabled; it is disabled
    // before the user picks it. Windows reports the command, and the item
    // itself refuses to run.
    TrayMenu t;
    {
        MenuDriver driver({VK_DOWN, VK_DOWN, VK_RETURN},
                          [](void* help) { static_cast<TMenuItem*>(help)->SetEnabled(false); }, t.Help1);
        t.Menu->Popup(50, 50);
        driver.Join();
        EXPECT_FALSE(driver.TimedOut());
    }
    EXPECT_TRUE(t.Log.Clicked.empty());
    t.Help1->SetEnabled(true);
    {
        MenuDriver driver({VK_DOWN, VK_DOWN, VK_RETURN});
        t.Menu->Popup(50, 50);
        driver.Join();
    }
    EXPECT_EQ(1, t.Log.Count(t.Help1)) << "the same keys choose it once it is enabled again";
}

TEST(PopupMenu, DispatchCommandAndFindItem) {
    TrayMenu t;
    TMenuItem* sub = NewItem(&t.Owner, "サブ", &t.Log);
    t.Exit->Add(sub);
    EXPECT_TRUE(t.Menu->DispatchCommand(sub->Command()));
    EXPECT_EQ(1, t.Log.Count(sub));
    TrayMenu other;
    EXPECT_FALSE(t.Menu->DispatchCommand(other.Exit->Command())) << "another menu's command";
    EXPECT_EQ(sub, t.Menu->FindItem(sub->Command(), fkCommand));
    HMENU h = t.Exit->Handle();
    EXPECT_EQ(t.Exit, t.Menu->FindItem(reinterpret_cast<UINT_PTR>(h), fkHandle));
    EXPECT_EQ(t.Menu, sub->GetParentMenu());
}

TEST(PopupMenu, ForgetsAFreedPopupComponent) {
    TComponent a(nullptr), b(nullptr);
    auto* menu = new TPopupMenu(&a);
    auto* target = new TComponent(&b);
    menu->SetPopupComponent(target);
    EXPECT_EQ(target, menu->PopupComponent());
    delete target;
    EXPECT_EQ(nullptr, menu->PopupComponent());
}

// ---------------------------------------------------------------- streaming

class TMenuHost : public TComponent {
public:
    FW_CLASS(TMenuHost, TComponent)
    explicit TMenuHost(TComponent* owner) : TComponent(owner) {}
    TPopupMenu* PopupMenu1 = nullptr;
    TMenuItem* About1 = nullptr;
    int AboutClicks = 0;
    void About1Click(TObject*) { ++AboutClicks; }
};

FW_PUBLISH(TMenuHost)
    .Method<&TMenuHost::About1Click>("About1Click")
    .Field("PopupMenu1", &TMenuHost::PopupMenu1)
    .Field("About1", &TMenuHost::About1)
FW_END_PUBLISH

AnsiString Utf8(const char8_t* s) { return AnsiString(reinterpret_cast<const char*>(s)); }

const char8_t FormText[] =
    u8"object Host: TMenuHost\n"
    u8"  object PopupMenu1: TPopupMenu\n"
    u8"    AutoPopup = False\n"
    u8"    object About1: TMenuItem\n"
    u8"      Caption = 'バージョン情報(&A)'\n"
    u8"      OnClick = About1Click\n"
    u8"    end\n"
    u8"    object N1: TMenuItem\n"
    u8"      Caption = '-'\n"
    u8"    end\n"
    u8"    object Sub1: TMenuItem\n"
    u8"      Caption = 'その他'\n"
    u8"      object Inner1: TMenuItem\n"
    u8"        Caption = '内側'\n"
    u8"        Enabled = False\n"
    u8"        Checked = True\n"
    u8"      end\n"
    u8"    end\n"
    u8"  end\n"
    u8"end\n";

void ExpectTheFormsMenu(TMenuHost& host) {
    ASSERT_NE(nullptr, host.PopupMenu1);
    TMenuItem* items = host.PopupMenu1->Items();
    ASSERT_EQ(3, items->Count());
    EXPECT_FALSE(host.PopupMenu1->AutoPopup());
    EXPECT_EQ(host.About1, items->Items(0));
    EXPECT_EQ("バージョン情報(&A)", items->Items(0)->Caption());
    EXPECT_TRUE(items->Items(1)->IsLine());
    TMenuItem* sub = items->Items(2);
    ASSERT_EQ(1, sub->Count());
    TMenuItem* inner = sub->Items(0);
    EXPECT_EQ("内側", inner->Caption());
    EXPECT_FALSE(inner->Enabled());
    EXPECT_TRUE(inner->Checked());
    EXPECT_EQ(host.PopupMenu1, inner->GetParentMenu());
    EXPECT_EQ(sub, inner->GetParentComponent());
    EXPECT_EQ(host.PopupMenu1, sub->GetParentComponent());
    EXPECT_EQ(&host, inner->Owner());
    int before = host.AboutClicks;
    host.About1->Click();
    EXPECT_EQ(before + 1, host.AboutClicks) << "OnClick bound to the form's method";
}

TEST(MenuStreaming, FormTextBuildsTheMenu) {
    TMenuHost host(nullptr);
    ComponentFromText(Utf8(FormText), &host);
    ExpectTheFormsMenu(host);
}

TEST(MenuStreaming, ItemsAreWrittenInsideTheirMenuAndReadBack) {
    TMenuHost host(nullptr);
    ComponentFromText(Utf8(FormText), &host);
    AnsiString text = ComponentToText(&host);
    auto at = [&](const char* s) { return text.find(s); };
    ASSERT_NE(AnsiString::npos, at("object PopupMenu1: TPopupMenu")) << text;
    EXPECT_LT(at("object PopupMenu1"), at("object About1"));
    EXPECT_LT(at("object About1"), at("object N1"));
    EXPECT_LT(at("object Sub1"), at("object Inner1"));
    EXPECT_EQ(text.rfind("object About1"), at("object About1")) << "each item written once";
    EXPECT_NE(AnsiString::npos, at("OnClick = About1Click"));
    EXPECT_EQ(AnsiString::npos, at("Visible")) << "defaults are not written";

    TMenuHost again(nullptr);
    ComponentFromText(text, &again);
    ExpectTheFormsMenu(again);
}

TEST(MenuStreaming, AnItemOutsideAMenuIsRefused) {
    TMenuHost host(nullptr);
    const char8_t bad[] =
        u8"object Host: TMenuHost\n"
        u8"  object Holder: TComponent\n"
        u8"    object Item1: TMenuItem\n"
        u8"    end\n"
        u8"  end\n"
        u8"end\n";
    EXPECT_THROW(ComponentFromText(Utf8(bad), &host), Exception);
}

}  // namespace MenusTest
