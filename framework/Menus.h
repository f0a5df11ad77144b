// Menu items and popup menus on top of Win32 menus.
//
// Items form a tree under a menu's root item. Each item with sub-items has
// an HMENU of its own, made on demand and brought up to date when the items
// under it change. Every item carries a command number unique in the
// process, which is what Windows reports when the item is chosen.
#pragma once

#include <initializer_list>
#include <vector>

#include "framework/Graphics.h"

namespace Fw {

class TMenu;

FW_DECLARE_EXCEPTION(EMenuError, Exception);  // an item placed where it cannot go

enum TPopupAlignment { paLeft, paRight, paCenter };
FW_ENUM_INFO(TPopupAlignment, "paLeft", "paRight", "paCenter")

class TMenuItem : public TComponent {
public:
    FW_CLASS(TMenuItem, TComponent)
    explicit TMenuItem(TComponent* owner);
    // Frees the sub-items and leaves the parent item.
    ~TMenuItem() override;

    // "&" marks the access key ("&&" is a plain "&"); "-" makes a separator.
    const AnsiString& Caption() const { return FCaption; }
    void SetCaption(const AnsiString& value);
    bool Checked() const { return FChecked; }
    void SetChecked(bool value);
    // Shown in bold; the item a double-click on the menu's owner stands for.
    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    // A disabled item is greyed and its OnClick never runs.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    // Clicking toggles Checked (or, for a radio item, checks it).
    bool AutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool value) { FAutoCheck = value; }
    // Checked radio items of one GroupIndex under one parent exclude each
    // other; a checked radio item shows a dot instead of a tick.
    bool RadioItem() const { return FRadioItem; }
    void SetRadioItem(bool value);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    const AnsiString& Hint() const { return FHint; }
    void SetHint(const AnsiString& value) { FHint = value; }

    TNotifyEvent OnClick;

    // The number WM_COMMAND and TrackPopupMenu report for this item; unique
    // in the process while the item lives.
    int Command() const { return FCommand; }
    // The item whose Command is command, or null.
    static TMenuItem* FindByCommand(int command);

    // The popup HMENU of this item's sub-items (made on first use, brought
    // up to date after changes). Owned by the item.
    HMENU Handle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    // Sub-items, indexes from 0 (EListError outside).
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int index) const;
    TMenuItem* operator[](int index) const { return Items(index); }
    int IndexOf(const TMenuItem* item) const;
    // Places item last (Add) or at index (Insert; index Count appends). An
    // item that has a parent already, or an item placed into itself or one
    // of its own sub-items, raises EMenuError.
    void Add(TMenuItem* item);
    void Add(std::initializer_list<TMenuItem*> items);
    void Insert(int index, TMenuItem* item);
    // Takes the item at index out; it is not freed (its owner still owns it).
    void Delete(int index);
    void Remove(TMenuItem* item);
    // Frees every sub-item.
    void Clear();
    // The sub-item whose caption without "&" marks is caption (ASCII case
    // ignored), or null.
    TMenuItem* Find(const AnsiString& caption) const;

    TMenuItem* Parent() const { return FParent; }
    // Position among the parent's items; -1 without parent.
    int MenuIndex() const;
    void SetMenuIndex(int value);
    // The menu at the root of this item's tree, or null.
    TMenu* GetParentMenu() const;

    bool IsLine() const { return FCaption == "-"; }

    // Does what choosing the item does: nothing when disabled; otherwise
    // AutoCheck, then OnClick.
    virtual void Click();

    // Streaming: an item is written inside its menu or parent item.
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void GetChildren(const TGetChildProc& proc, TComponent* root) override;

protected:
    // Something of this item that its parent's menu shows changed (rebuild
    // true: the parent's HMENU must be made again).
    virtual void MenuChanged(bool rebuild);

private:
    friend class TMenu;
    void InsertItem(int index, TMenuItem* item);
    void RemoveItem(TMenuItem* item);
    void SubItemsChanged();
    void RebuildHandle();
    void ClearHandleEntries();
    void DestroyHandle();
    void UncheckGroupSiblings();

    AnsiString FCaption;
    bool FChecked = false;
    bool FDefault = false;
    bool FEnabled = true;
    bool FVisible = true;
    bool FAutoCheck = false;
    bool FRadioItem = false;
    int FGroupIndex = 0;
    AnsiString FHint;
    int FCommand = 0;
    HMENU FHandle = nullptr;
    bool FHandleStale = false;
    TMenuItem* FParent = nullptr;
    TMenu* FMenu = nullptr;  // set on a menu's root item only
    std::vector<TMenuItem*> FItems;
};

enum TFindItemKind { fkCommand, fkHandle };

class TMenu : public TComponent {
public:
    FW_CLASS(TMenu, TComponent)
    explicit TMenu(TComponent* owner);
    ~TMenu() override;

    // The root item; its sub-items are the menu's items.
    TMenuItem* Items() const { return FItems; }
    // The root item's HMENU.
    virtual HMENU Handle() { return FItems->Handle(); }

    // The window that menu messages concern (a form's); 0 when none.
    HWND WindowHandle() const { return FWindowHandle; }
    void SetWindowHandle(HWND value) { FWindowHandle = value; }

    // The item in this menu with that command number or sub-menu handle
    // (a handle as reinterpret_cast<UINT_PTR>).
    TMenuItem* FindItem(UINT_PTR value, TFindItemKind kind) const;
    // Clicks this menu's item with that command (WM_COMMAND's low word);
    // false when the command is none of this menu's.
    bool DispatchCommand(int command);

    // Streaming: the top items are written inside the menu.
    void GetChildren(const TGetChildProc& proc, TComponent* root) override;

protected:
    friend class TMenuItem;
    // An item of this menu changed what the menu shows.
    virtual void MenuChanged(TMenuItem* /*source*/, bool /*rebuild*/) {}

private:
    TMenuItem* FItems;
    HWND FWindowHandle = nullptr;
};

class TPopupMenu : public TMenu {
public:
    FW_CLASS(TPopupMenu, TMenu)
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;

    // Shows the menu at screen point (x, y) and returns when it closes; the
    // chosen item (if any, and if enabled) is clicked before it returns.
    // OnPopup runs first, so a handler can still change the items. The
    // calling thread is brought to the foreground first (through
    // WindowHandle, or the menu's own hidden window), as a menu opened from a
    // notification-area icon needs in order to close when the user clicks
    // elsewhere.
    virtual void Popup(int x, int y);
    // The screen point of the last Popup.
    TPoint PopupPoint() const { return FPopupPoint; }

    TPopupAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TPopupAlignment value) { FAlignment = value; }
    // Whether a control opens the menu by itself on a right click.
    bool AutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool value) { FAutoPopup = value; }
    // The component the menu was opened for; controls set it before Popup.
    TComponent* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* value);

    TNotifyEvent OnPopup;

protected:
    virtual void DoPopup(TObject* sender);
    void Notification(TComponent* component, TOperation operation) override;

private:
    HWND OwnWindow();

    TPopupAlignment FAlignment = paLeft;
    bool FAutoPopup = true;
    TComponent* FPopupComponent = nullptr;
    TPoint FPopupPoint;
    HWND FWindow = nullptr;  // hidden window that owns the menu while it is shown
};

// The caption without its "&" marks ("&&" stays one "&").
AnsiString StripHotkey(const AnsiString& caption);
// The access key of a caption (upper-cased letter after a single "&"), or 0.
char GetHotkey(const AnsiString& caption);

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Menus)

}  // namespace Fw
