#include "framework/Menus.h"

#include <algorithm>
#include <mutex>

namespace Fw {

FW_UNIT_BEGIN(Menus)
    .Classes<TMenuItem, TMenu, TPopupMenu>()
FW_UNIT_END

// ---- Command numbers ----

namespace {

// WM_COMMAND carries the number in 16 bits; 0 means "nothing chosen".
constexpr int MaxCommand = 0xFFFF;

struct CommandTable {
    std::mutex Lock;
    std::vector<TMenuItem*> Items{nullptr};  // Items[command]; 0 never used
    int NextFree = 1;
};

CommandTable& Commands() {
    static CommandTable* table = new CommandTable;  // outlives every static menu
    return *table;
}

int AllocateCommand(TMenuItem* item) {
    CommandTable& t = Commands();
    std::lock_guard<std::mutex> guard(t.Lock);
    int n = static_cast<int>(t.Items.size());
    for (int c = t.NextFree; c < n; ++c) {
        if (!t.Items[c]) {
            t.Items[c] = item;
            t.NextFree = c + 1;
            return c;
        }
    }
    if (n > MaxCommand) throw EMenuError("メニュー項目が多すぎます.");
    t.Items.push_back(item);
    t.NextFree = n + 1;
    return n;
}

void FreeCommand(int command) {
    CommandTable& t = Commands();
    std::lock_guard<std::mutex> guard(t.Lock);
    if (command > 0 && command < static_cast<int>(t.Items.size())) {
        t.Items[command] = nullptr;
        t.NextFree = std::min(t.NextFree, command);
    }
}

[[noreturn]] void IndexError(int index) {
    throw EListError("メニューのインデックスが範囲を超えています (" + IntToStr(index) + ").");
}

}  // namespace

TMenuItem* TMenuItem::FindByCommand(int command) {
    CommandTable& t = Commands();
    std::lock_guard<std::mutex> guard(t.Lock);
    if (command <= 0 || command >= static_cast<int>(t.Items.size())) return nullptr;
    return t.Items[command];
}

// ---- Captions ----

AnsiString StripHotkey(const AnsiString& caption) {
    AnsiString result;
    result.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(caption[i]);
        if (IsLeadByte(c) && i + 1 < caption.size()) {
            result += caption[i];
            result += caption[++i];
        } else if (c == '&') {
            // "&&" is a plain ampersand; a single one only marks the next character.
            if (i + 1 < caption.size() && caption[i + 1] == '&') result += caption[++i];
        } else {
            result += caption[i];
        }
    }
    return result;
}

char GetHotkey(const AnsiString& caption) {
    for (std::size_t i = 0; i < caption.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(caption[i]);
        if (IsLeadByte(c)) {
            ++i;
        } else if (c == '&' && i + 1 < caption.size()) {
            if (caption[i + 1] == '&') {
                ++i;
                continue;
            }
            unsigned char k = static_cast<unsigned char>(caption[i + 1]);
            if (IsLeadByte(k)) return 0;
            return static_cast<char>(k >= 'a' && k <= 'z' ? k - 'a' + 'A' : k);
        }
    }
    return 0;
}

// ---- TMenuItem ----

FW_PUBLISH(TMenuItem)
    .Property("AutoCheck", &TMenuItem::AutoCheck, &TMenuItem::SetAutoCheck).Default(false)
    .Property("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption)
    .Property("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).Default(false)
    .Property("Default", &TMenuItem::Default, &TMenuItem::SetDefault).Default(false)
    .Property("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled).Default(true)
    .Property("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex).Default(0)
    .Property("Hint", &TMenuItem::Hint, &TMenuItem::SetHint)
    .Property("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem).Default(false)
    .Property("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible).Default(true)
    .Property("OnClick", &TMenuItem::OnClick, &TMenuItem::OnClick)
FW_END_PUBLISH

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) { FCommand = AllocateCommand(this); }

TMenuItem::~TMenuItem() {
    if (FParent) FParent->RemoveItem(this);
    // Emptied first, so that destroying this HMENU leaves the sub-items'
    // own HMENUs to them.
    ClearHandleEntries();
    while (!FItems.empty()) {
        TMenuItem* item = FItems.back();
        FItems.pop_back();
        item->FParent = nullptr;
        Detail::FreeInTeardown(item);
    }
    DestroyHandle();
    FreeCommand(FCommand);
}

void TMenuItem::SetCaption(const AnsiString& value) {
    if (value == FCaption) return;
    FCaption = value;
    MenuChanged(true);
}

void TMenuItem::SetChecked(bool value) {
    if (value == FChecked) return;
    FChecked = value;
    if (value && FRadioItem) UncheckGroupSiblings();
    MenuChanged(false);
}

void TMenuItem::SetDefault(bool value) {
    if (value == FDefault) return;
    // A menu has one default item at most.
    if (value && FParent)
        for (TMenuItem* sibling : FParent->FItems)
            if (sibling != this && sibling->FDefault) {
                sibling->FDefault = false;
            }
    FDefault = value;
    MenuChanged(true);
}

void TMenuItem::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    MenuChanged(false);
}

void TMenuItem::SetVisible(bool value) {
    if (value == FVisible) return;
    FVisible = value;
    MenuChanged(true);
}

void TMenuItem::SetRadioItem(bool value) {
    if (value == FRadioItem) return;
    FRadioItem = value;
    if (FRadioItem && FChecked) UncheckGroupSiblings();
    MenuChanged(true);
}

void TMenuItem::SetGroupIndex(int value) {
    if (value == FGroupIndex) return;
    FGroupIndex = value;
    if (FRadioItem && FChecked) UncheckGroupSiblings();
    MenuChanged(false);
}

void TMenuItem::UncheckGroupSiblings() {
    if (!FParent) return;
    for (TMenuItem* sibling : FParent->FItems)
        if (sibling != this && sibling->FRadioItem && sibling->FGroupIndex == FGroupIndex && sibling->FChecked) {
            sibling->FChecked = false;
            sibling->MenuChanged(false);
        }
}

void TMenuItem::MenuChanged(bool rebuild) {
    // Every HMENU above this item shows it, directly or through a sub-menu.
    for (TMenuItem* p = FParent; p; p = p->FParent) p->FHandleStale = true;
    if (TMenu* menu = GetParentMenu()) menu->MenuChanged(this, rebuild);
}

void TMenuItem::SubItemsChanged() {
    FHandleStale = true;
    MenuChanged(true);
    if (!FParent && FMenu) FMenu->MenuChanged(this, true);
}

HMENU TMenuItem::Handle() {
    if (!FHandle) {
        FHandle = CreatePopupMenu();
        if (!FHandle) throw EOutOfResources("メニューを作成できません.");
        FHandleStale = true;
    }
    if (FHandleStale) RebuildHandle();
    return FHandle;
}

void TMenuItem::ClearHandleEntries() {
    if (!FHandle) return;
    // RemoveMenu, unlike DeleteMenu, leaves sub-menus alive: they belong to
    // their own items.
    while (GetMenuItemCount(FHandle) > 0) RemoveMenu(FHandle, 0, MF_BYPOSITION);
    FHandleStale = true;
}

void TMenuItem::DestroyHandle() {
    if (!FHandle) return;
    ClearHandleEntries();
    DestroyMenu(FHandle);
    FHandle = nullptr;
}

void TMenuItem::RebuildHandle() {
    ClearHandleEntries();
    UINT position = 0;
    for (TMenuItem* item : FItems) {
        if (!item->FVisible) continue;
        MENUITEMINFOA mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE;
        mii.wID = static_cast<UINT>(item->FCommand);
        if (item->IsLine()) {
            mii.fType = MFT_SEPARATOR;
        } else {
            mii.fMask |= MIIM_STRING;
            mii.fType = MFT_STRING | (item->FRadioItem ? MFT_RADIOCHECK : 0);
            mii.dwTypeData = const_cast<char*>(item->FCaption.c_str());
            mii.cch = static_cast<UINT>(item->FCaption.size());
            mii.fState = (item->FChecked ? MFS_CHECKED : 0) | (item->FEnabled ? 0 : MFS_GRAYED) |
                         (item->FDefault ? MFS_DEFAULT : 0);
            if (!item->FItems.empty()) {
                mii.fMask |= MIIM_SUBMENU;
                mii.hSubMenu = item->Handle();
            }
        }
        if (!InsertMenuItemA(FHandle, position, TRUE, &mii)) RaiseLastOSError();
        ++position;
    }
    FHandleStale = false;
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return FItems[index];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
    auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Add(std::initializer_list<TMenuItem*> items) {
    for (TMenuItem* item : items) Add(item);
}

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item) throw EMenuError("メニュー項目がありません.");
    if (item->FParent) throw EMenuError("メニュー項目 " + item->Name() + " はすでにメニューに入っています.");
    if (item->FMenu) throw EMenuError("メニューの項目の根は他の項目に入れられません.");
    for (const TMenuItem* p = this; p; p = p->FParent)
        if (p == item) throw EMenuError("メニュー項目を自分自身の中に入れることはできません.");
    if (index < 0 || index > Count()) IndexError(index);
    InsertItem(index, item);
}

void TMenuItem::InsertItem(int index, TMenuItem* item) {
    FItems.insert(FItems.begin() + index, item);
    item->FParent = this;
    if (item->FRadioItem && item->FChecked) item->UncheckGroupSiblings();
    SubItemsChanged();
}

void TMenuItem::Delete(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    RemoveItem(FItems[index]);
}

void TMenuItem::Remove(TMenuItem* item) {
    int index = IndexOf(item);
    if (index < 0) throw EMenuError("メニュー項目が見つかりません.");
    Delete(index);
}

void TMenuItem::RemoveItem(TMenuItem* item) {
    auto it = std::find(FItems.begin(), FItems.end(), item);
    if (it == FItems.end()) return;
    // The HMENU may still name the item's sub-menu, which can go with the item.
    ClearHandleEntries();
    FItems.erase(it);
    item->FParent = nullptr;
    SubItemsChanged();
}

void TMenuItem::Clear() {
    while (!FItems.empty()) FreeComponent(FItems.back());
}

TMenuItem* TMenuItem::Find(const AnsiString& caption) const {
    AnsiString wanted = StripHotkey(caption);
    for (TMenuItem* item : FItems)
        if (SameText(StripHotkey(item->FCaption), wanted)) return item;
    return nullptr;
}

int TMenuItem::MenuIndex() const { return FParent ? FParent->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int value) {
    if (!FParent) return;
    int count = FParent->Count();
    if (value < 0 || value >= count) IndexError(value);
    int current = MenuIndex();
    if (current == value) return;
    auto& items = FParent->FItems;
    items.erase(items.begin() + current);
    items.insert(items.begin() + value, this);
    FParent->SubItemsChanged();
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* item = this;
    while (item->FParent) item = item->FParent;
    return item->FMenu;
}

void TMenuItem::Click() {
    if (!FEnabled) return;
    if (FAutoCheck) SetChecked(FRadioItem ? true : !FChecked);
    if (OnClick) OnClick(this);
}

TComponent* TMenuItem::GetParentComponent() const {
    if (FParent && FParent->FMenu) return FParent->FMenu;
    return FParent;
}

void TMenuItem::SetParentComponent(TComponent* parent) {
    if (parent == GetParentComponent()) return;
    auto* menu = dynamic_cast<TMenu*>(parent);
    auto* item = dynamic_cast<TMenuItem*>(parent);
    if (parent && !menu && !item)
        throw EMenuError(parent->ClassName() + " はメニュー項目の親になれません.");
    if (FParent) FParent->RemoveItem(this);
    if (menu) menu->Items()->Add(this);
    else if (item) item->Add(this);
}

void TMenuItem::GetChildren(const TGetChildProc& proc, TComponent*) {
    for (TMenuItem* item : std::vector<TMenuItem*>(FItems)) proc(item);
}

// ---- TMenu ----

FW_PUBLISH(TMenu)
FW_END_PUBLISH

TMenu::TMenu(TComponent* owner) : TComponent(owner), FItems(new TMenuItem(nullptr)) { FItems->FMenu = this; }

TMenu::~TMenu() { Detail::FreeInTeardown(FItems); }

namespace {

TMenuItem* FindIn(TMenuItem* item, UINT_PTR value, TFindItemKind kind) {
    if (kind == fkCommand ? static_cast<UINT_PTR>(item->Command()) == value
                          : item->HandleAllocated() && item->Handle() == reinterpret_cast<HMENU>(value))
        return item;
    for (int i = 0; i < item->Count(); ++i)
        if (TMenuItem* found = FindIn(item->Items(i), value, kind)) return found;
    return nullptr;
}

}  // namespace

TMenuItem* TMenu::FindItem(UINT_PTR value, TFindItemKind kind) const { return FindIn(FItems, value, kind); }

bool TMenu::DispatchCommand(int command) {
    TMenuItem* item = FindItem(command, fkCommand);
    if (!item || item == FItems) return false;
    item->Click();
    return true;
}

void TMenu::GetChildren(const TGetChildProc& proc, TComponent* root) { FItems->GetChildren(proc, root); }

// ---- TPopupMenu ----

FW_PUBLISH(TPopupMenu)
    .Property("Alignment", &TPopupMenu::Alignment, &TPopupMenu::SetAlignment).Default(paLeft)
    .Property("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup).Default(true)
    .Property("OnPopup", &TPopupMenu::OnPopup, &TPopupMenu::OnPopup)
FW_END_PUBLISH

namespace {

const char PopupWindowClass[] = "FwPopupMenuWindow";

void RegisterPopupWindowClass(HINSTANCE instance) {
    WNDCLASSA wc{};
    if (GetClassInfoA(instance, PopupWindowClass, &wc)) return;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = PopupWindowClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastOSError();
}

}  // namespace

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

TPopupMenu::~TPopupMenu() {
    if (FWindow) DestroyWindow(FWindow);
}

HWND TPopupMenu::OwnWindow() {
    if (FWindow && IsWindow(FWindow)) return FWindow;
    // A hidden tool window: never on the taskbar, yet able to be the
    // foreground window and the owner of a tracked menu.
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterPopupWindowClass(instance);
    FWindow = CreateWindowExA(WS_EX_TOOLWINDOW, PopupWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance, nullptr);
    if (!FWindow) throw EOutOfResources("ポップアップメニューのウィンドウを作成できません.");
    return FWindow;
}

void TPopupMenu::SetPopupComponent(TComponent* value) {
    if (value == FPopupComponent) return;
    if (FPopupComponent) FPopupComponent->RemoveFreeNotification(this);
    FPopupComponent = value;
    if (value) value->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
    TMenu::Notification(component, operation);
    if (operation == opRemove && component == FPopupComponent) FPopupComponent = nullptr;
}

void TPopupMenu::DoPopup(TObject* sender) {
    if (OnPopup) OnPopup(sender);
}

void TPopupMenu::Popup(int x, int y) {
    FPopupPoint = TPoint(x, y);
    const TLifeToken life = Life();
    DoPopup(this);
    if (!life) return;
    HMENU menu = Items()->Handle();
    if (GetMenuItemCount(menu) <= 0) return;
    HWND window = OwnWindow();
    // Without the foreground, a menu opened from a notification-area icon
    // does not close when the user clicks elsewhere.
    SetForegroundWindow(WindowHandle() ? WindowHandle() : window);
    UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON;
    switch (FAlignment) {
        case paLeft: flags |= TPM_LEFTALIGN; break;
        case paRight: flags |= TPM_RIGHTALIGN; break;
        case paCenter: flags |= TPM_CENTERALIGN; break;
    }
    int command = TrackPopupMenu(menu, flags, x, y, 0, window, nullptr);
    // Lets the system finish switching tasks, or the next popup of a tray
    // menu closes at once.
    PostMessageA(window, WM_NULL, 0, 0);
    // The menu's own loop ran messages: anything may have freed it.
    if (command && life) DispatchCommand(command);
}

}  // namespace Fw
