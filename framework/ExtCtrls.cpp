#include "framework/ExtCtrls.h"

namespace Fw {

FW_UNIT_BEGIN(ExtCtrls)
    .Classes<TImage, TPanel>()
FW_UNIT_END

FW_PUBLISH(TImage)
    .Property("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize).Default(false)
    .Property("Center", &TImage::Center, &TImage::SetCenter).Default(false)
    .Property("Cursor", &TImage::Cursor, &TImage::SetCursor).Default(crDefault)
    .Property("Enabled", &TImage::Enabled, &TImage::SetEnabled).Default(true)
    .Property("Hint", &TImage::Hint, &TImage::SetHint)
    .Property("ParentShowHint", &TImage::ParentShowHint, &TImage::SetParentShowHint).Default(true)
    .Property("Picture", &TImage::Picture, &TImage::SetPicture)
    .Property("ShowHint", &TImage::ShowHint, &TImage::SetShowHint).Stored(&TImage::IsShowHintStored)
    .Property("Stretch", &TImage::Stretch, &TImage::SetStretch).Default(false)
    .Property("Visible", &TImage::Visible, &TImage::SetVisible).Default(true)
    .Property("OnClick", &TImage::OnClick, &TImage::OnClick)
    .Property("OnDblClick", &TImage::OnDblClick, &TImage::OnDblClick)
    .Property("OnMouseDown", &TImage::OnMouseDown, &TImage::OnMouseDown)
    .Property("OnMouseMove", &TImage::OnMouseMove, &TImage::OnMouseMove)
    .Property("OnMouseUp", &TImage::OnMouseUp, &TImage::OnMouseUp)
FW_END_PUBLISH

FW_PUBLISH(TPanel)
    .Property("Alignment", &TPanel::Alignment, &TPanel::SetAlignment).Default(taCenter)
    .Property("BevelInner", &TPanel::BevelInner, &TPanel::SetBevelInner).Default(bvNone)
    .Property("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter).Default(bvRaised)
    .Property("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth).Default(1)
    .Property("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth).Default(0)
    .Property("Caption", &TPanel::Caption, &TPanel::SetCaption)
    .Property("Color", &TPanel::Color, &TPanel::SetColor).Default(clBtnFace).Stored(&TPanel::IsColorStored)
    .Property("Cursor", &TPanel::Cursor, &TPanel::SetCursor).Default(crDefault)
    .Property("Enabled", &TPanel::Enabled, &TPanel::SetEnabled).Default(true)
    .Property("Font", &TPanel::Font, &TPanel::SetFont).Stored(&TPanel::IsFontStored)
    .Property("Hint", &TPanel::Hint, &TPanel::SetHint)
    .Property("ParentColor", &TPanel::ParentColor, &TPanel::SetParentColor).Default(false)
    .Property("ParentFont", &TPanel::ParentFont, &TPanel::SetParentFont).Default(true)
    .Property("ParentShowHint", &TPanel::ParentShowHint, &TPanel::SetParentShowHint).Default(true)
    .Property("ShowHint", &TPanel::ShowHint, &TPanel::SetShowHint).Stored(&TPanel::IsShowHintStored)
    .Property("TabOrder", &TPanel::TabOrder, &TPanel::SetTabOrder).Default(-1)
    .Property("TabStop", &TPanel::TabStop, &TPanel::SetTabStop).Default(false)
    .Property("Visible", &TPanel::Visible, &TPanel::SetVisible).Default(true)
    .Property("OnClick", &TPanel::OnClick, &TPanel::OnClick)
    .Property("OnDblClick", &TPanel::OnDblClick, &TPanel::OnDblClick)
    .Property("OnEnter", &TPanel::OnEnter, &TPanel::OnEnter)
    .Property("OnExit", &TPanel::OnExit, &TPanel::OnExit)
    .Property("OnMouseDown", &TPanel::OnMouseDown, &TPanel::OnMouseDown)
    .Property("OnMouseMove", &TPanel::OnMouseMove, &TPanel::OnMouseMove)
    .Property("OnMouseUp", &TPanel::OnMouseUp, &TPanel::OnMouseUp)
FW_END_PUBLISH

// ---- TImage ----

TImage::TImage(TComponent* owner) : TGraphicControl(owner), FPicture(new TPicture) {
    FClickEvents = true;
    FWidth = 105;
    FHeight = 105;
    FPicture->OnChange = MakeEvent<&TImage::PictureChanged>(this);
}

TImage::~TImage() {
    FPicture->OnChange = nullptr;
    delete FPicture;
}

void TImage::PictureChanged(TObject*) {
    if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
        SetBounds(FLeft, FTop, FPicture->Width(), FPicture->Height());
    Invalidate();
}

void TImage::SetCenter(bool value) {
    if (value == FCenter) return;
    FCenter = value;
    Invalidate();
}

void TImage::SetStretch(bool value) {
    if (value == FStretch) return;
    FStretch = value;
    Invalidate();
}

void TImage::SetAutoSize(bool value) {
    FAutoSize = value;
    if (value) PictureChanged(nullptr);
}

TRect TImage::DestRect() const {
    int w = FPicture->Width(), h = FPicture->Height();
    if (FStretch) return TRect(0, 0, FWidth, FHeight);
    if (FCenter) return Bounds((FWidth - w) / 2, (FHeight - h) / 2, w, h);
    return TRect(0, 0, w, h);
}

void TImage::Paint() {
    TGraphic* graphic = FPicture->Graphic();
    if (!graphic || graphic->Empty()) return;
    Canvas()->StretchDraw(DestRect(), graphic);
}

// ---- TPanel ----

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) {
    FClickEvents = true;
    FWidth = 185;
    FHeight = 41;
    SetColor(clBtnFace);
}

void TPanel::SetBevelInner(TPanelBevel value) {
    FBevelInner = value;
    Invalidate();
}

void TPanel::SetBevelOuter(TPanelBevel value) {
    FBevelOuter = value;
    Invalidate();
}

void TPanel::SetBevelWidth(int value) {
    if (value < 1) throw EInvalidOperation("BevelWidth は 1 以上でなければなりません.");
    FBevelWidth = value;
    Invalidate();
}

void TPanel::SetBorderWidth(int value) {
    if (value < 0) throw EInvalidOperation("BorderWidth に負の値は設定できません.");
    FBorderWidth = value;
    Invalidate();
}

void TPanel::SetAlignment(TAlignment value) {
    FAlignment = value;
    Invalidate();
}

namespace {

// One bevel, width pixels wide, drawn inward from r.
void DrawBevel(HDC dc, RECT& r, TPanelBevel bevel, int width) {
    if (bevel == bvNone) return;
    for (int i = 0; i < width; ++i) {
        if (bevel != bvSpace)
            DrawEdge(dc, &r, bevel == bvLowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        InflateRect(&r, -1, -1);
    }
}

}  // namespace

void TPanel::Paint() {
    TCanvas* canvas = Canvas();
    HDC dc = canvas->Handle();
    RECT r = ClientRect();
    DrawBevel(dc, r, FBevelOuter, FBevelWidth);
    InflateRect(&r, -FBorderWidth, -FBorderWidth);
    DrawBevel(dc, r, FBevelInner, FBevelWidth);
    AnsiString caption = FText;
    if (caption.empty()) return;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(FEnabled ? FFont->Color() : clGrayText));
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS |
                 (FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT);
    DrawTextA(dc, caption.c_str(), -1, &r, flags);
}

}  // namespace Fw
