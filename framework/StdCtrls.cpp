#include "framework/StdCtrls.h"

namespace Fw {

FW_UNIT_BEGIN(StdCtrls)
    .Classes<TCustomLabel, TLabel, TCustomEdit, TEdit, TButton, TCheckBox, TListBox, TGroupBox>()
FW_UNIT_END

FW_PUBLISH(TCustomLabel)
FW_END_PUBLISH

FW_PUBLISH(TLabel)
    .Property("Alignment", &TLabel::Alignment, &TLabel::SetAlignment).Default(taLeftJustify)
    .Property("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize).Default(true)
    .Property("Caption", &TLabel::Caption, &TLabel::SetCaption)
    .Property("Color", &TLabel::Color, &TLabel::SetColor).Default(clBtnFace).Stored(&TLabel::IsColorStored)
    .Property("Cursor", &TLabel::Cursor, &TLabel::SetCursor).Default(crDefault)
    .Property("Enabled", &TLabel::Enabled, &TLabel::SetEnabled).Default(true)
    .Property("FocusControl", &TLabel::FocusControl, &TLabel::SetFocusControl)
    .Property("Font", &TLabel::Font, &TLabel::SetFont).Stored(&TLabel::IsFontStored)
    .Property("Hint", &TLabel::Hint, &TLabel::SetHint)
    .Property("ParentColor", &TLabel::ParentColor, &TLabel::SetParentColor).Default(true)
    .Property("ParentFont", &TLabel::ParentFont, &TLabel::SetParentFont).Default(true)
    .Property("ParentShowHint", &TLabel::ParentShowHint, &TLabel::SetParentShowHint).Default(true)
    .Property("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar).Default(true)
    .Property("ShowHint", &TLabel::ShowHint, &TLabel::SetShowHint).Stored(&TLabel::IsShowHintStored)
    .Property("Transparent", &TLabel::Transparent, &TLabel::SetTransparent).Default(false)
    .Property("Visible", &TLabel::Visible, &TLabel::SetVisible).Default(true)
    .Property("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap).Default(false)
    .Property("OnClick", &TLabel::OnClick, &TLabel::OnClick)
    .Property("OnDblClick", &TLabel::OnDblClick, &TLabel::OnDblClick)
    .Property("OnMouseDown", &TLabel::OnMouseDown, &TLabel::OnMouseDown)
    .Property("OnMouseMove", &TLabel::OnMouseMove, &TLabel::OnMouseMove)
    .Property("OnMouseUp", &TLabel::OnMouseUp, &TLabel::OnMouseUp)
FW_END_PUBLISH

FW_PUBLISH(TCustomEdit)
FW_END_PUBLISH

FW_PUBLISH(TEdit)
    .Property("AutoSelect", &TEdit::AutoSelect, &TEdit::SetAutoSelect).Default(true)
    .Property("Color", &TEdit::Color, &TEdit::SetColor).Default(clWindow).Stored(&TEdit::IsColorStored)
    .Property("Cursor", &TEdit::Cursor, &TEdit::SetCursor).Default(crDefault)
    .Property("Enabled", &TEdit::Enabled, &TEdit::SetEnabled).Default(true)
    .Property("Font", &TEdit::Font, &TEdit::SetFont).Stored(&TEdit::IsFontStored)
    .Property("Hint", &TEdit::Hint, &TEdit::SetHint)
    .Property("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength).Default(0)
    .Property("ParentColor", &TEdit::ParentColor, &TEdit::SetParentColor).Default(false)
    .Property("ParentFont", &TEdit::ParentFont, &TEdit::SetParentFont).Default(true)
    .Property("ParentShowHint", &TEdit::ParentShowHint, &TEdit::SetParentShowHint).Default(true)
    .Property("PasswordChar", &TEdit::PasswordChar, &TEdit::SetPasswordChar).Default('\0')
    .Property("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly).Default(false)
    .Property("ShowHint", &TEdit::ShowHint, &TEdit::SetShowHint).Stored(&TEdit::IsShowHintStored)
    .Property("TabOrder", &TEdit::TabOrder, &TEdit::SetTabOrder).Default(-1)
    .Property("TabStop", &TEdit::TabStop, &TEdit::SetTabStop).Default(true)
    .Property("Text", &TEdit::Text, &TEdit::SetText)
    .Property("Visible", &TEdit::Visible, &TEdit::SetVisible).Default(true)
    .Property("OnChange", &TEdit::OnChange, &TEdit::OnChange)
    .Property("OnClick", &TEdit::OnClick, &TEdit::OnClick)
    .Property("OnDblClick", &TEdit::OnDblClick, &TEdit::OnDblClick)
    .Property("OnEnter", &TEdit::OnEnter, &TEdit::OnEnter)
    .Property("OnExit", &TEdit::OnExit, &TEdit::OnExit)
    .Property("OnKeyDown", &TEdit::OnKeyDown, &TEdit::OnKeyDown)
    .Property("OnKeyPress", &TEdit::OnKeyPress, &TEdit::OnKeyPress)
    .Property("OnKeyUp", &TEdit::OnKeyUp, &TEdit::OnKeyUp)
    .Property("OnMouseDown", &TEdit::OnMouseDown, &TEdit::OnMouseDown)
    .Property("OnMouseMove", &TEdit::OnMouseMove, &TEdit::OnMouseMove)
    .Property("OnMouseUp", &TEdit::OnMouseUp, &TEdit::OnMouseUp)
FW_END_PUBLISH

FW_PUBLISH(TButton)
    .Property("Cancel", &TButton::Cancel, &TButton::SetCancel).Default(false)
    .Property("Caption", &TButton::Caption, &TButton::SetCaption)
    .Property("Cursor", &TButton::Cursor, &TButton::SetCursor).Default(crDefault)
    .Property("Default", &TButton::Default, &TButton::SetDefault).Default(false)
    .Property("Enabled", &TButton::Enabled, &TButton::SetEnabled).Default(true)
    .Property("Font", &TButton::Font, &TButton::SetFont).Stored(&TButton::IsFontStored)
    .Property("Hint", &TButton::Hint, &TButton::SetHint)
    .Property("ModalResult", &TButton::ModalResult, &TButton::SetModalResult).Default(0)
    .Property("ParentFont", &TButton::ParentFont, &TButton::SetParentFont).Default(true)
    .Property("ParentShowHint", &TButton::ParentShowHint, &TButton::SetParentShowHint).Default(true)
    .Property("ShowHint", &TButton::ShowHint, &TButton::SetShowHint).Stored(&TButton::IsShowHintStored)
    .Property("TabOrder", &TButton::TabOrder, &TButton::SetTabOrder).Default(-1)
    .Property("TabStop", &TButton::TabStop, &TButton::SetTabStop).Default(true)
    .Property("Visible", &TButton::Visible, &TButton::SetVisible).Default(true)
    .Property("OnClick", &TButton::OnClick, &TButton::OnClick)
    .Property("OnEnter", &TButton::OnEnter, &TButton::OnEnter)
    .Property("OnExit", &TButton::OnExit, &TButton::OnExit)
    .Property("OnKeyDown", &TButton::OnKeyDown, &TButton::OnKeyDown)
    .Property("OnKeyPress", &TButton::OnKeyPress, &TButton::OnKeyPress)
    .Property("OnKeyUp", &TButton::OnKeyUp, &TButton::OnKeyUp)
    .Property("OnMouseDown", &TButton::OnMouseDown, &TButton::OnMouseDown)
    .Property("OnMouseMove", &TButton::OnMouseMove, &TButton::OnMouseMove)
    .Property("OnMouseUp", &TButton::OnMouseUp, &TButton::OnMouseUp)
FW_END_PUBLISH

FW_PUBLISH(TCheckBox)
    .Property("Caption", &TCheckBox::Caption, &TCheckBox::SetCaption)
    .Property("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked).Default(false)
    .Property("Color", &TCheckBox::Color, &TCheckBox::SetColor).Default(clBtnFace).Stored(&TCheckBox::IsColorStored)
    .Property("Cursor", &TCheckBox::Cursor, &TCheckBox::SetCursor).Default(crDefault)
    .Property("Enabled", &TCheckBox::Enabled, &TCheckBox::SetEnabled).Default(true)
    .Property("Font", &TCheckBox::Font, &TCheckBox::SetFont).Stored(&TCheckBox::IsFontStored)
    .Property("Hint", &TCheckBox::Hint, &TCheckBox::SetHint)
    .Property("ParentColor", &TCheckBox::ParentColor, &TCheckBox::SetParentColor).Default(true)
    .Property("ParentFont", &TCheckBox::ParentFont, &TCheckBox::SetParentFont).Default(true)
    .Property("ParentShowHint", &TCheckBox::ParentShowHint, &TCheckBox::SetParentShowHint).Default(true)
    .Property("ShowHint", &TCheckBox::ShowHint, &TCheckBox::SetShowHint).Stored(&TCheckBox::IsShowHintStored)
    .Property("TabOrder", &TCheckBox::TabOrder, &TCheckBox::SetTabOrder).Default(-1)
    .Property("TabStop", &TCheckBox::TabStop, &TCheckBox::SetTabStop).Default(true)
    .Property("Visible", &TCheckBox::Visible, &TCheckBox::SetVisible).Default(true)
    .Property("OnClick", &TCheckBox::OnClick, &TCheckBox::OnClick)
    .Property("OnEnter", &TCheckBox::OnEnter, &TCheckBox::OnEnter)
    .Property("OnExit", &TCheckBox::OnExit, &TCheckBox::OnExit)
    .Property("OnKeyDown", &TCheckBox::OnKeyDown, &TCheckBox::OnKeyDown)
    .Property("OnKeyPress", &TCheckBox::OnKeyPress, &TCheckBox::OnKeyPress)
    .Property("OnKeyUp", &TCheckBox::OnKeyUp, &TCheckBox::OnKeyUp)
    .Property("OnMouseDown", &TCheckBox::OnMouseDown, &TCheckBox::OnMouseDown)
    .Property("OnMouseMove", &TCheckBox::OnMouseMove, &TCheckBox::OnMouseMove)
    .Property("OnMouseUp", &TCheckBox::OnMouseUp, &TCheckBox::OnMouseUp)
FW_END_PUBLISH

FW_PUBLISH(TListBox)
    .Property("Color", &TListBox::Color, &TListBox::SetColor).Default(clWindow).Stored(&TListBox::IsColorStored)
    .Property("Cursor", &TListBox::Cursor, &TListBox::SetCursor).Default(crDefault)
    .Property("Enabled", &TListBox::Enabled, &TListBox::SetEnabled).Default(true)
    .Property("Font", &TListBox::Font, &TListBox::SetFont).Stored(&TListBox::IsFontStored)
    .Property("Hint", &TListBox::Hint, &TListBox::SetHint)
    .Property("ParentColor", &TListBox::ParentColor, &TListBox::SetParentColor).Default(false)
    .Property("ParentFont", &TListBox::ParentFont, &TListBox::SetParentFont).Default(true)
    .Property("ParentShowHint", &TListBox::ParentShowHint, &TListBox::SetParentShowHint).Default(true)
    .Property("ShowHint", &TListBox::ShowHint, &TListBox::SetShowHint).Stored(&TListBox::IsShowHintStored)
    .Property("TabOrder", &TListBox::TabOrder, &TListBox::SetTabOrder).Default(-1)
    .Property("TabStop", &TListBox::TabStop, &TListBox::SetTabStop).Default(true)
    .Property("Visible", &TListBox::Visible, &TListBox::SetVisible).Default(true)
    .Property("OnClick", &TListBox::OnClick, &TListBox::OnClick)
    .Property("OnDblClick", &TListBox::OnDblClick, &TListBox::OnDblClick)
    .Property("OnEnter", &TListBox::OnEnter, &TListBox::OnEnter)
    .Property("OnExit", &TListBox::OnExit, &TListBox::OnExit)
    .Property("OnKeyDown", &TListBox::OnKeyDown, &TListBox::OnKeyDown)
    .Property("OnKeyPress", &TListBox::OnKeyPress, &TListBox::OnKeyPress)
    .Property("OnKeyUp", &TListBox::OnKeyUp, &TListBox::OnKeyUp)
    .Property("OnMouseDown", &TListBox::OnMouseDown, &TListBox::OnMouseDown)
    .Property("OnMouseMove", &TListBox::OnMouseMove, &TListBox::OnMouseMove)
    .Property("OnMouseUp", &TListBox::OnMouseUp, &TListBox::OnMouseUp)
FW_END_PUBLISH

FW_PUBLISH(TGroupBox)
    .Property("Caption", &TGroupBox::Caption, &TGroupBox::SetCaption)
    .Property("Color", &TGroupBox::Color, &TGroupBox::SetColor).Default(clBtnFace).Stored(&TGroupBox::IsColorStored)
    .Property("Enabled", &TGroupBox::Enabled, &TGroupBox::SetEnabled).Default(true)
    .Property("Font", &TGroupBox::Font, &TGroupBox::SetFont).Stored(&TGroupBox::IsFontStored)
    .Property("Hint", &TGroupBox::Hint, &TGroupBox::SetHint)
    .Property("ParentColor", &TGroupBox::ParentColor, &TGroupBox::SetParentColor).Default(true)
    .Property("ParentFont", &TGroupBox::ParentFont, &TGroupBox::SetParentFont).Default(true)
    .Property("ParentShowHint", &TGroupBox::ParentShowHint, &TGroupBox::SetParentShowHint).Default(true)
    .Property("ShowHint", &TGroupBox::ShowHint, &TGroupBox::SetShowHint).Stored(&TGroupBox::IsShowHintStored)
    .Property("TabOrder", &TGroupBox::TabOrder, &TGroupBox::SetTabOrder).Default(-1)
    .Property("Visible", &TGroupBox::Visible, &TGroupBox::SetVisible).Default(true)
    .Property("OnClick", &TGroupBox::OnClick, &TGroupBox::OnClick)
    .Property("OnDblClick", &TGroupBox::OnDblClick, &TGroupBox::OnDblClick)
FW_END_PUBLISH

// ---- TCustomLabel ----

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
    FClickEvents = true;
    FParentColor = true;
    FColor = clBtnFace;
    FWidth = 65;
    FHeight = 17;
}

void TCustomLabel::SetFocusControl(TWinControl* value) {
    if (value == FFocusControl) return;
    if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
    FFocusControl = value;
    if (value) value->FreeNotification(this);
}

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
    TGraphicControl::Notification(component, operation);
    if (operation == opRemove && component == FFocusControl) FFocusControl = nullptr;
}

void TCustomLabel::SetShowAccelChar(bool value) {
    if (value == FShowAccelChar) return;
    FShowAccelChar = value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetAutoSize(bool value) {
    if (value == FAutoSize) return;
    FAutoSize = value;
    AdjustBounds();
}

void TCustomLabel::SetAlignment(TAlignment value) {
    if (value == FAlignment) return;
    FAlignment = value;
    Invalidate();
}

void TCustomLabel::SetWordWrap(bool value) {
    if (value == FWordWrap) return;
    FWordWrap = value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetTransparent(bool value) {
    if (value == FTransparent) return;
    FTransparent = value;
    Invalidate();
}

UINT TCustomLabel::TextFlags() const {
    UINT flags = DT_EXPANDTABS;
    flags |= FWordWrap ? DT_WORDBREAK : DT_SINGLELINE;
    if (!FShowAccelChar) flags |= DT_NOPREFIX;
    switch (FAlignment) {
        case taLeftJustify: flags |= DT_LEFT; break;
        case taRightJustify: flags |= DT_RIGHT; break;
        case taCenter: flags |= DT_CENTER; break;
    }
    return flags;
}

void TCustomLabel::AdjustBounds() {
    if (!FAutoSize || IsLoading()) return;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FFont->Handle());
    AnsiString text = FText;
    // An empty label keeps the height of one line.
    if (text.empty() || (FShowAccelChar && text == "&")) text = " ";
    RECT r{0, 0, FWordWrap ? FWidth : 0, 0};
    DrawTextA(dc, text.c_str(), -1, &r, TextFlags() | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    // A wrapping label keeps the width it wraps at: only its height follows
    // the text (else each shorter text would narrow it for the next).
    if (FWordWrap) r.right = FWidth;
    int left = FLeft;
    // Right-aligned text keeps its right edge where it was.
    if (FAlignment == taRightJustify) left = FLeft + FWidth - r.right;
    SetBounds(left, FTop, r.right, r.bottom);
}

void TCustomLabel::TextChanged() {
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::FontChanged() {
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

void TCustomLabel::Paint() {
    TCanvas* canvas = Canvas();
    RECT r = ClientRect();
    if (!FTransparent) {
        canvas->Brush()->SetStyle(bsSolid);
        canvas->Brush()->SetColor(FColor);
        canvas->FillRect(r);
    }
    HDC dc = canvas->Handle();
    SetBkMode(dc, TRANSPARENT);
    if (FEnabled) {
        SetTextColor(dc, ColorToRGB(FFont->Color()));
        DrawTextA(dc, FText.c_str(), -1, &r, TextFlags());
    } else {
        // Engraved: a light copy one pixel down and right, the grey text above it.
        RECT shifted = r;
        OffsetRect(&shifted, 1, 1);
        SetTextColor(dc, ColorToRGB(clBtnHighlight));
        DrawTextA(dc, FText.c_str(), -1, &shifted, TextFlags());
        SetTextColor(dc, ColorToRGB(clBtnShadow));
        DrawTextA(dc, FText.c_str(), -1, &r, TextFlags());
    }
}

void TCustomLabel::Dispatch(TMessage& message) {
    if (message.Msg == CM_DIALOGCHAR && FFocusControl && FEnabled && FShowAccelChar &&
        IsAccel(static_cast<WORD>(message.WParam), FText) && FFocusControl->CanFocus()) {
        FFocusControl->SetFocus();
        message.Result = 1;
        return;
    }
    TGraphicControl::Dispatch(message);
}

// ---- TCustomEdit ----

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
    FTabStop = true;
    FWidth = 121;
    FHeight = 21;
    SetColor(clWindow);
}

void TCustomEdit::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    CreateSubClass(params, "EDIT");
    params.Style |= ES_AUTOHSCROLL | ES_LEFT;
    if (FReadOnly) params.Style |= ES_READONLY;
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::InitializeHandle() {
    SendMessageA(FHandle, EM_LIMITTEXT, FMaxLength, 0);
    if (FPasswordChar) SendMessageA(FHandle, EM_SETPASSWORDCHAR, static_cast<unsigned char>(FPasswordChar), 0);
}

void TCustomEdit::SetPasswordChar(char value) {
    if (value == FPasswordChar) return;
    FPasswordChar = value;
    if (!HandleAllocated()) return;
    SendMessageA(FHandle, EM_SETPASSWORDCHAR, static_cast<unsigned char>(value), 0);
    Invalidate();
}

void TCustomEdit::SetMaxLength(int value) {
    if (value < 0) throw EInvalidOperation("MaxLength に負の値は設定できません.");
    FMaxLength = value;
    if (HandleAllocated()) SendMessageA(FHandle, EM_LIMITTEXT, value, 0);
}

void TCustomEdit::SetReadOnly(bool value) {
    FReadOnly = value;
    if (HandleAllocated()) SendMessageA(FHandle, EM_SETREADONLY, value, 0);
}

void TCustomEdit::SelectAll() {
    if (HandleAllocated()) SendMessageA(FHandle, EM_SETSEL, 0, -1);
}

int TCustomEdit::SelStart() {
    DWORD start = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return static_cast<int>(start);
}

int TCustomEdit::SelLength() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

void TCustomEdit::SetSelStart(int value) { SendMessageA(Handle(), EM_SETSEL, value, value); }

void TCustomEdit::SetSelLength(int value) {
    int start = SelStart();
    SendMessageA(Handle(), EM_SETSEL, start, start + value);
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case CN_COMMAND:
            if (HIWORD(message.WParam) == EN_CHANGE && !IsLoading()) Change();
            return;
        case WM_SETFOCUS:
            TWinControl::Dispatch(message);
            // Tabbing into a box selects what is in it; a click places the caret.
            if (FAutoSelect && !(GetKeyState(VK_LBUTTON) < 0)) SelectAll();
            return;
        default:
            break;
    }
    TWinControl::Dispatch(message);
}

// ---- TButton ----

TButton::TButton(TComponent* owner) : TWinControl(owner) {
    FTabStop = true;
    FWidth = 75;
    FHeight = 25;
}

void TButton::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    CreateSubClass(params, "BUTTON");
    params.Style |= Active() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::InitializeHandle() { UpdateDefaultLook(); }

void TButton::SetDefault(bool value) {
    if (value == FDefault) return;
    FDefault = value;
    UpdateDefaultLook();
}

bool TButton::Active() const {
    TCustomForm* form = ParentForm();
    TWinControl* focused = form ? form->ActiveControl() : nullptr;
    if (focused && dynamic_cast<TButton*>(focused) && focused->Focused()) return focused == this;
    return FDefault;
}

void TButton::UpdateDefaultLook() {
    if (!HandleAllocated()) return;
    bool active = Active();
    LONG style = GetWindowLongA(FHandle, GWL_STYLE) & 0x0F;
    if ((style == BS_DEFPUSHBUTTON) != active)
        SendMessageA(FHandle, BM_SETSTYLE, active ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
    if (TCustomForm* form = ParentForm(); form && FModalResult != mrNone) form->SetModalResult(FModalResult);
    TWinControl::Click();
}

void TButton::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case CN_COMMAND:
            if (HIWORD(message.WParam) == BN_CLICKED) Click();
            return;
        case CM_DIALOGKEY: {
            WORD key = static_cast<WORD>(message.WParam);
            if (((key == VK_RETURN && Active()) || (key == VK_ESCAPE && FCancel)) && CanFocus()) {
                Click();
                message.Result = 1;
                return;
            }
            break;
        }
        case CM_DIALOGCHAR:
            if (IsAccel(static_cast<WORD>(message.WParam), Caption()) && CanFocus()) {
                Click();
                message.Result = 1;
                return;
            }
            break;
        case CM_FOCUSCHANGED:
            UpdateDefaultLook();
            return;
        default:
            break;
    }
    TWinControl::Dispatch(message);
}

// ---- TCheckBox ----

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
    FTabStop = true;
    SetColor(clBtnFace);
    FParentColor = true;
    FWidth = 97;
    FHeight = 17;
}

void TCheckBox::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    CreateSubClass(params, "BUTTON");
    params.Style |= BS_AUTOCHECKBOX;
}

void TCheckBox::InitializeHandle() {
    SendMessageA(FHandle, BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::SaveHandleState() {
    FChecked = SendMessageA(FHandle, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool value) {
    if (value == FChecked) return;
    FChecked = value;
    if (HandleAllocated()) SendMessageA(FHandle, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!IsLoading()) Click();
}

void TCheckBox::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case CN_COMMAND:
            if (HIWORD(message.WParam) == BN_CLICKED) {
                FChecked = SendMessageA(FHandle, BM_GETCHECK, 0, 0) == BST_CHECKED;
                Click();
            }
            return;
        case CM_DIALOGCHAR:
            if (IsAccel(static_cast<WORD>(message.WParam), Caption()) && CanFocus()) {
                SetFocus();
                if (Focused()) Toggle();
                message.Result = 1;
                return;
            }
            break;
        default:
            break;
    }
    TWinControl::Dispatch(message);
}

// ---- TListBox ----

// The list box's texts: the window's while it exists, else the saved list.
class TListBoxStrings : public TStrings {
public:
    explicit TListBoxStrings(TListBox* box) : FBox(box) {}

    int GetCount() const override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->Count();
        return static_cast<int>(SendMessageA(FBox->FHandle, LB_GETCOUNT, 0, 0));
    }
    AnsiString Get(int index) const override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->Get(index);
        LRESULT length = SendMessageA(FBox->FHandle, LB_GETTEXTLEN, index, 0);
        if (length == LB_ERR) Error(index);
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        SendMessageA(FBox->FHandle, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
        return AnsiString(buffer.data(), static_cast<std::size_t>(length));
    }
    TObject* GetObject(int index) const override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->GetObject(index);
        LRESULT data = SendMessageA(FBox->FHandle, LB_GETITEMDATA, index, 0);
        if (data == LB_ERR && (index < 0 || index >= GetCount())) Error(index);
        return reinterpret_cast<TObject*>(data);
    }
    void PutObject(int index, TObject* object) override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->PutObject(index, object);
        if (index < 0 || index >= GetCount()) Error(index);
        SendMessageA(FBox->FHandle, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(object));
    }
    void Put(int index, const AnsiString& s) override {
        TObject* object = GetObject(index);
        int selected = FBox->ItemIndex();
        Delete(index);
        InsertObject(index, s, object);
        if (selected == index) FBox->SetItemIndex(index);
    }
    void Insert(int index, const AnsiString& s) override { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const AnsiString& s, TObject* object) override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->InsertObject(index, s, object);
        if (index < 0 || index > GetCount()) Error(index);
        LRESULT at = SendMessageA(FBox->FHandle, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(s.c_str()));
        if (at < 0) throw EOutOfResources("リストボックスに項目を追加できません.");
        SendMessageA(FBox->FHandle, LB_SETITEMDATA, at, reinterpret_cast<LPARAM>(object));
    }
    void Delete(int index) override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->Delete(index);
        if (SendMessageA(FBox->FHandle, LB_DELETESTRING, index, 0) == LB_ERR) Error(index);
    }
    void Clear() override {
        if (!FBox->HandleAllocated()) return FBox->FSaved->Clear();
        SendMessageA(FBox->FHandle, LB_RESETCONTENT, 0, 0);
    }

protected:
    void SetUpdateState(bool updating) override {
        if (FBox->HandleAllocated()) SendMessageA(FBox->FHandle, WM_SETREDRAW, !updating, 0);
        if (!updating && FBox->HandleAllocated()) InvalidateRect(FBox->FHandle, nullptr, TRUE);
    }

private:
    TListBox* FBox;
};

TListBox::TListBox(TComponent* owner)
    : TWinControl(owner), FItems(new TListBoxStrings(this)), FSaved(new TStringList) {
    FTabStop = true;
    FWidth = 121;
    FHeight = 97;
}

TListBox::~TListBox() {
    // The window goes later, in the base destructor, which saves nothing.
    delete FItems;
    delete FSaved;
}

void TListBox::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    CreateSubClass(params, "LISTBOX");
    params.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::InitializeHandle() {
    for (int i = 0; i < FSaved->Count(); ++i) {
        LRESULT at = SendMessageA(FHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FSaved->Get(i).c_str()));
        SendMessageA(FHandle, LB_SETITEMDATA, at, reinterpret_cast<LPARAM>(FSaved->GetObject(i)));
    }
    FSaved->Clear();
    SendMessageA(FHandle, LB_SETCURSEL, FSavedIndex, 0);
}

void TListBox::SaveHandleState() {
    FSaved->Clear();
    const int count = static_cast<int>(SendMessageA(FHandle, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) FSaved->AddObject(FItems->Get(i), FItems->GetObject(i));
    FSavedIndex = static_cast<int>(SendMessageA(FHandle, LB_GETCURSEL, 0, 0));
}

int TListBox::ItemIndex() const {
    if (!HandleAllocated()) return FSavedIndex;
    return static_cast<int>(SendMessageA(FHandle, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int value) {
    if (value < -1 || value >= FItems->Count()) throw EListError("リストのインデックスが範囲外です (" + IntToStr(value) + ").");
    if (!HandleAllocated()) FSavedIndex = value;
    else SendMessageA(FHandle, LB_SETCURSEL, value, 0);
}

void TListBox::MakeVisible(int index) {
    if (HandleAllocated() && index >= 0 && index < FItems->Count()) SendMessageA(FHandle, LB_SETTOPINDEX, index, 0);
}

void TListBox::Dispatch(TMessage& message) {
    if (message.Msg == CN_COMMAND) {
        // A double click reaches OnDblClick as for every control, from the
        // mouse message itself, not from LBN_DBLCLK as well.
        if (HIWORD(message.WParam) == LBN_SELCHANGE) Click();
        return;
    }
    TWinControl::Dispatch(message);
}

// ---- TGroupBox ----

TGroupBox::TGroupBox(TComponent* owner) : TCustomControl(owner) {
    FWidth = 185;
    FHeight = 105;
    SetColor(clBtnFace);
    FParentColor = true;
}

void TGroupBox::Paint() {
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    const AnsiString caption = Caption();
    const int textHeight = canvas->TextHeight(caption.empty() ? AnsiString("0") : caption);
    RECT frame{0, textHeight / 2, FWidth, FHeight};
    DrawEdge(canvas->Handle(), &frame, EDGE_ETCHED, BF_RECT);
    if (caption.empty()) return;
    RECT text{8, 0, FWidth - 8, textHeight};
    canvas->Brush()->SetColor(Color());
    UINT flags = DT_SINGLELINE | DT_LEFT | DT_TOP;
    DrawTextA(canvas->Handle(), caption.c_str(), static_cast<int>(caption.size()), &text, flags | DT_CALCRECT);
    text.left -= 2;
    text.right += 2;
    canvas->FillRect(text);
    text.left += 2;
    SetBkMode(canvas->Handle(), TRANSPARENT);
    SetTextColor(canvas->Handle(), ColorToRGB(Enabled() ? Font()->Color() : clGrayText));
    DrawTextA(canvas->Handle(), caption.c_str(), static_cast<int>(caption.size()), &text, flags);
}

}  // namespace Fw
