// The standard controls: labels, edit boxes, push buttons, check boxes, list
// boxes and group boxes.
#pragma once

#include "framework/Forms.h"
#include "framework/StringList.h"

namespace Fw {

// Text painted on the parent. A "&" in the caption marks an access key:
// Alt plus that key (or the key alone when the focused control takes no
// characters) moves the focus to FocusControl.
class TCustomLabel : public TGraphicControl {
public:
    FW_CLASS(TCustomLabel, TGraphicControl)
    explicit TCustomLabel(TComponent* owner);

    TWinControl* FocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* value);
    // Whether "&" marks an access key (otherwise it is shown as it is).
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    // The label takes the size of its text whenever text or font change.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    // Without its own background the parent shows through.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);

    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void TextChanged() override;
    void FontChanged() override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    // Fits the bounds to the text (AutoSize).
    void AdjustBounds();

private:
    UINT TextFlags() const;

    TWinControl* FFocusControl = nullptr;
    bool FShowAccelChar = true;
    bool FAutoSize = true;
    TAlignment FAlignment = taLeftJustify;
    bool FWordWrap = false;
    bool FTransparent = false;
};

class TLabel : public TCustomLabel {
public:
    FW_CLASS(TLabel, TCustomLabel)
    explicit TLabel(TComponent* owner) : TCustomLabel(owner) {}
};

// A one-line edit box (the system's EDIT class).
class TCustomEdit : public TWinControl {
public:
    FW_CLASS(TCustomEdit, TWinControl)
    explicit TCustomEdit(TComponent* owner);

    // Most bytes the user can type; 0 for the system's limit.
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    // Selects the whole text when the box gets the focus from the keyboard.
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool value) { FAutoSelect = value; }
    // Shown in place of every character typed; #0 shows the text itself.
    char PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(char value);

    void SelectAll();
    void Clear() { SetText(AnsiString()); }
    int SelStart();
    int SelLength();
    void SetSelStart(int value);
    void SetSelLength(int value);

    // The text changed, by the user or by the program.
    TNotifyEvent OnChange;

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void InitializeHandle() override;
    virtual void Change();

private:
    int FMaxLength = 0;
    bool FReadOnly = false;
    bool FAutoSelect = true;
    char FPasswordChar = '\0';
};

class TEdit : public TCustomEdit {
public:
    FW_CLASS(TEdit, TCustomEdit)
    explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
};

// A push button. Enter clicks the Default button unless the focus is on
// another button (which Enter then clicks); Escape clicks the first enabled
// and visible button with Cancel, in the order the buttons were placed.
class TButton : public TWinControl {
public:
    FW_CLASS(TButton, TWinControl)
    explicit TButton(TComponent* owner);

    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    // Set on the form when the button is clicked (ends ShowModal).
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }

    // Whether Enter clicks this button now.
    bool Active() const;

    void Click() override;
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void InitializeHandle() override;

private:
    void UpdateDefaultLook();

    bool FDefault = false;
    bool FCancel = false;
    TModalResult FModalResult = mrNone;
};

// A check box with its caption (the system's BUTTON class).
class TCheckBox : public TWinControl {
public:
    FW_CLASS(TCheckBox, TWinControl)
    explicit TCheckBox(TComponent* owner);

    bool Checked() const { return FChecked; }
    // A change fires OnClick, as a click by the user does.
    void SetChecked(bool value);
    void Toggle() { SetChecked(!FChecked); }

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void InitializeHandle() override;
    void SaveHandleState() override;

private:
    bool FChecked = false;
};

// A list of texts to pick from (the system's LISTBOX class). Items is the
// list itself: while the window exists it holds the texts (and the objects,
// at pointer width); before it is made and after it is gone they are kept
// here, so Items can be filled before the control is shown.
class TListBox : public TWinControl {
public:
    FW_CLASS(TListBox, TWinControl)
    explicit TListBox(TComponent* owner);
    ~TListBox() override;

    TStrings* Items() const { return FItems; }
    void SetItems(TStrings* value) { FItems->Assign(value); }
    // The selected line; -1 when none.
    int ItemIndex() const;
    void SetItemIndex(int value);
    void Clear() { FItems->Clear(); }
    // Scrolls so that line index is in view.
    void MakeVisible(int index);

    // OnClick fires when the user selects another line.
    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void InitializeHandle() override;
    void SaveHandleState() override;

private:
    friend class TListBoxStrings;
    TStrings* FItems;
    TStringList* FSaved;  // the texts while there is no window
    int FSavedIndex = -1;
};

// A frame with a caption around a group of controls; the controls placed on
// it are its children.
class TGroupBox : public TCustomControl {
public:
    FW_CLASS(TGroupBox, TCustomControl)
    explicit TGroupBox(TComponent* owner);

protected:
    void Paint() override;
    void TextChanged() override { Invalidate(); }
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(StdCtrls)

}  // namespace Fw
