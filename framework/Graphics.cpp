// The GDI side of the Graphics unit: colours by name, the font, brush and
// pen objects, and the canvas that draws with them. Bitmaps, icons and
// pictures are in Pictures.cpp.
#include "framework/Graphics.h"

#include <cstring>

namespace Fw {

FW_UNIT_BEGIN(Graphics)
    .Classes<TGraphicsObject, TFont, TBrush, TPen, TCanvas, TGraphic, TBitmap, TIcon, TPicture>()
FW_UNIT_END

// ---- Colours ----

namespace {

struct ColorName {
    TColor Color;
    const char* Name;
};

const ColorName ColorNames[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clNone, "clNone"}, {clDefault, "clDefault"},
    {clScrollBar, "clScrollBar"}, {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"}, {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"}, {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"}, {clWindowText, "clWindowText"}, {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"}, {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"}, {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"}, {clBtnFace, "clBtnFace"}, {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"}, {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"}, {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"}, {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
};

}  // namespace

COLORREF ColorToRGB(TColor color) {
    if (color < 0) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color);
}

AnsiString ColorToIdent(TColor color) {
    for (const ColorName& c : ColorNames)
        if (c.Color == color) return c.Name;
    return AnsiString();
}

bool IdentToColor(const AnsiString& ident, TColor& color) {
    // clLtGray and clDkGray are other names of clSilver and clGray.
    if (SameText(ident, "clLtGray")) return color = clLtGray, true;
    if (SameText(ident, "clDkGray")) return color = clDkGray, true;
    for (const ColorName& c : ColorNames)
        if (SameText(ident, c.Name)) return color = c.Color, true;
    return false;
}

// ---- Graphics objects ----

FW_PUBLISH(TGraphicsObject)
FW_END_PUBLISH

TGraphicsObject::~TGraphicsObject() { FreeGdiHandle(); }

HGDIOBJ TGraphicsObject::GdiHandle() const {
    if (!FHandle) {
        HGDIOBJ h = CreateGdiHandle();
        if (!h) throw EOutOfResources(ClassName() + " のハンドルを作成できません.");
        FStock = IsStockHandle(h);
        FHandle = h;
    }
    return FHandle;
}

void TGraphicsObject::FreeGdiHandle() {
    if (!FHandle) return;
    if (!FStock) DeleteObject(FHandle);
    FHandle = nullptr;
    FStock = false;
}

void TGraphicsObject::Changed() {
    // A handle cannot be deleted while a DC has it selected.
    if (FCanvas) FCanvas->ObjectChanged(this);
    FreeGdiHandle();
    if (OnChange) OnChange(this);
}

// ---- TFont ----

FW_PUBLISH(TFont)
    .Property("Charset", &TFont::Charset, &TFont::SetCharset)
    .Property("Color", &TFont::Color, &TFont::SetColor)
    .Property("Height", &TFont::Height, &TFont::SetHeight)
    .Property("Name", &TFont::Name, &TFont::SetName)
    .Property("Pitch", &TFont::Pitch, &TFont::SetPitch).Default(fpDefault)
    .Property("Size", &TFont::Size, &TFont::SetSize).Stored(false)
    .Property("Style", &TFont::Style, &TFont::SetStyle).Default(TFontStyles{})
FW_END_PUBLISH

TFont::TFont()
    : FCharset(SHIFTJIS_CHARSET), FColor(clWindowText), FName("ＭＳ Ｐゴシック"),
      FPixelsPerInch(SystemPixelsPerInch()) {
    FHeight = -MulDiv(9, FPixelsPerInch, 72);
}

void TFont::Assign(TPersistent* source) {
    if (auto* font = dynamic_cast<TFont*>(source)) {
        if (font == this) return;
        FCharset = font->FCharset;
        FColor = font->FColor;
        FHeight = font->FHeight;
        FName = font->FName;
        FPitch = font->FPitch;
        FStyle = font->FStyle;
        FPixelsPerInch = font->FPixelsPerInch;
        Changed();
        return;
    }
    TGraphicsObject::Assign(source);
}

void TFont::SetHandle(HFONT font) {
    LOGFONTA lf{};
    if (!font || GetObjectA(font, sizeof lf, &lf) < static_cast<int>(sizeof lf) - LF_FACESIZE)
        throw EInvalidGraphic("フォントのハンドルが無効です.");
    FCharset = lf.lfCharSet;
    FHeight = lf.lfHeight;
    FName.assign(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
    switch (lf.lfPitchAndFamily & 3) {
        case FIXED_PITCH: FPitch = fpFixed; break;
        case VARIABLE_PITCH: FPitch = fpVariable; break;
        default: FPitch = fpDefault; break;
    }
    FStyle = TFontStyles{};
    if (lf.lfWeight >= FW_BOLD) FStyle << fsBold;
    if (lf.lfItalic) FStyle << fsItalic;
    if (lf.lfUnderline) FStyle << fsUnderline;
    if (lf.lfStrikeOut) FStyle << fsStrikeOut;
    Changed();
}

void TFont::SetCharset(TFontCharset value) {
    if (value < 0 || value > 255)
        throw EInvalidGraphicOperation("文字セット " + IntToStr(value) + " は無効です.");
    if (value == FCharset) return;
    FCharset = value;
    Changed();
}

void TFont::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    Changed();
}

void TFont::SetHeight(int value) {
    if (value == FHeight) return;
    FHeight = value;
    Changed();
}

void TFont::SetName(const AnsiString& value) {
    if (value.empty() || value == FName) return;
    FName = value;
    Changed();
}

void TFont::SetPitch(TFontPitch value) {
    if (value == FPitch) return;
    FPitch = value;
    Changed();
}

int TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int value) { SetHeight(-MulDiv(value, FPixelsPerInch, 72)); }

void TFont::SetPixelsPerInch(int value) {
    if (value <= 0)
        throw EInvalidGraphicOperation("解像度 " + IntToStr(value) + " は無効です.");
    FPixelsPerInch = value;
}

void TFont::ChangeScale(int to, int from) {
    if (to <= 0 || from <= 0)
        throw EInvalidGraphicOperation("解像度 " + IntToStr(to <= 0 ? to : from) + " は無効です.");
    const int height = ScaleLength(FHeight, to, from);
    if (height == FHeight && to == FPixelsPerInch) return;
    FHeight = height;
    FPixelsPerInch = to;
    // Fonts that copy this one (a parent's) take the resolution too.
    Changed();
}

void TFont::SetStyle(TFontStyles value) {
    if (value == FStyle) return;
    FStyle = value;
    Changed();
}

HGDIOBJ TFont::CreateGdiHandle() const {
    LOGFONTA lf{};
    lf.lfHeight = FHeight;
    lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FStyle.Contains(fsItalic);
    lf.lfUnderline = FStyle.Contains(fsUnderline);
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut);
    lf.lfCharSet = static_cast<BYTE>(FCharset);
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = FPitch == fpFixed ? FIXED_PITCH : FPitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
    // A face name longer than LOGFONT holds is cut at a character boundary.
    std::size_t n = 0;
    while (n < FName.size()) {
        std::size_t len = IsLeadByte(static_cast<unsigned char>(FName[n])) && n + 1 < FName.size() ? 2 : 1;
        if (n + len > LF_FACESIZE - 1) break;
        n += len;
    }
    std::memcpy(lf.lfFaceName, FName.data(), n);
    return CreateFontIndirectA(&lf);
}

// ---- TBrush ----

FW_PUBLISH(TBrush)
    .Property("Color", &TBrush::Color, &TBrush::SetColor).Default(clWhite)
    .Property("Style", &TBrush::Style, &TBrush::SetStyle).Default(bsSolid)
FW_END_PUBLISH

void TBrush::Assign(TPersistent* source) {
    if (auto* brush = dynamic_cast<TBrush*>(source)) {
        if (brush == this) return;
        FColor = brush->FColor;
        FStyle = brush->FStyle;
        Changed();
        return;
    }
    TGraphicsObject::Assign(source);
}

void TBrush::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    // Giving a clear brush a colour asks for it to be painted.
    if (FStyle == bsClear) FStyle = bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
    if (value == FStyle) return;
    FStyle = value;
    Changed();
}

HGDIOBJ TBrush::CreateGdiHandle() const {
    switch (FStyle) {
        case bsSolid: return CreateSolidBrush(ColorToRGB(FColor));
        case bsClear: return GetStockObject(NULL_BRUSH);
        case bsHorizontal: return CreateHatchBrush(HS_HORIZONTAL, ColorToRGB(FColor));
        case bsVertical: return CreateHatchBrush(HS_VERTICAL, ColorToRGB(FColor));
        case bsFDiagonal: return CreateHatchBrush(HS_FDIAGONAL, ColorToRGB(FColor));
        case bsBDiagonal: return CreateHatchBrush(HS_BDIAGONAL, ColorToRGB(FColor));
        case bsCross: return CreateHatchBrush(HS_CROSS, ColorToRGB(FColor));
        case bsDiagCross: return CreateHatchBrush(HS_DIAGCROSS, ColorToRGB(FColor));
    }
    return nullptr;
}

// ---- TPen ----

FW_PUBLISH(TPen)
    .Property("Color", &TPen::Color, &TPen::SetColor).Default(clBlack)
    .Property("Style", &TPen::Style, &TPen::SetStyle).Default(psSolid)
    .Property("Width", &TPen::Width, &TPen::SetWidth).Default(1)
FW_END_PUBLISH

void TPen::Assign(TPersistent* source) {
    if (auto* pen = dynamic_cast<TPen*>(source)) {
        if (pen == this) return;
        FColor = pen->FColor;
        FStyle = pen->FStyle;
        FWidth = pen->FWidth;
        Changed();
        return;
    }
    TGraphicsObject::Assign(source);
}

void TPen::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    Changed();
}

void TPen::SetStyle(TPenStyle value) {
    if (value == FStyle) return;
    FStyle = value;
    Changed();
}

void TPen::SetWidth(int value) {
    if (value < 1) value = 1;
    if (value == FWidth) return;
    FWidth = value;
    Changed();
}

HGDIOBJ TPen::CreateGdiHandle() const {
    // TPenStyle counts as the PS_ styles do (psClear is PS_NULL).
    return CreatePen(static_cast<int>(FStyle), FWidth, ColorToRGB(FColor));
}

// ---- TCanvas ----

FW_PUBLISH(TCanvas)
    .Property("Brush", &TCanvas::Brush, &TCanvas::SetBrush)
    .Property("CopyMode", &TCanvas::CopyMode, &TCanvas::SetCopyMode).Default(cmSrcCopy)
    .Property("Font", &TCanvas::Font, &TCanvas::SetFont)
    .Property("Pen", &TCanvas::Pen, &TCanvas::SetPen)
FW_END_PUBLISH

TCanvas::TCanvas() : FFont(new TFont), FBrush(new TBrush), FPen(new TPen) {
    FFont->FCanvas = this;
    FBrush->FCanvas = this;
    FPen->FCanvas = this;
}

TCanvas::TCanvas(HDC dc) : TCanvas() { SetHandle(dc); }

TCanvas::~TCanvas() {
    // A derived canvas has freed its own DC already; this one only lets go.
    DeselectAll();
    FHandle = nullptr;
    delete FFont;
    delete FBrush;
    delete FPen;
}

HDC TCanvas::Handle() {
    if (!FHandle) CreateHandle();
    if (!FHandle) throw EInvalidGraphicOperation("キャンバスに描画できません.");
    RequireFont();
    RequireBrush();
    RequirePen();
    return FHandle;
}

void TCanvas::SetHandle(HDC dc) {
    if (dc == FHandle) return;
    if (FHandle) DeselectAll();
    FHandle = dc;
}

void TCanvas::FreeHandle() { SetHandle(nullptr); }

void TCanvas::RequireFont() {
    if (FFontSelected) return;
    if (!FColorsSaved) {
        FOldTextColor = GetTextColor(FHandle);
        FOldBkColor = GetBkColor(FHandle);
        FOldBkMode = GetBkMode(FHandle);
        FColorsSaved = true;
    }
    FOldFont = SelectObject(FHandle, FFont->Handle());
    SetTextColor(FHandle, ColorToRGB(FFont->Color()));
    FFontSelected = true;
}

void TCanvas::RequireBrush() {
    if (FBrushSelected) return;
    if (!FColorsSaved) {
        FOldTextColor = GetTextColor(FHandle);
        FOldBkColor = GetBkColor(FHandle);
        FOldBkMode = GetBkMode(FHandle);
        FColorsSaved = true;
    }
    FOldBrush = SelectObject(FHandle, FBrush->Handle());
    // Text and hatches are backed by the brush colour, or by nothing for a
    // clear brush.
    SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
    SetBkMode(FHandle, FBrush->Style() == bsClear ? TRANSPARENT : OPAQUE);
    FBrushSelected = true;
}

void TCanvas::RequirePen() {
    if (FPenSelected) return;
    FOldPen = SelectObject(FHandle, FPen->Handle());
    FPenSelected = true;
}

void TCanvas::Deselect(TGraphicsObject* object) {
    if (!FHandle) return;
    if (object == FFont && FFontSelected) {
        SelectObject(FHandle, FOldFont);
        FFontSelected = false;
    } else if (object == FBrush && FBrushSelected) {
        SelectObject(FHandle, FOldBrush);
        FBrushSelected = false;
    } else if (object == FPen && FPenSelected) {
        SelectObject(FHandle, FOldPen);
        FPenSelected = false;
    }
}

void TCanvas::DeselectAll() {
    if (!FHandle) return;
    Deselect(FFont);
    Deselect(FBrush);
    Deselect(FPen);
    if (FColorsSaved) {
        SetTextColor(FHandle, FOldTextColor);
        SetBkColor(FHandle, FOldBkColor);
        SetBkMode(FHandle, FOldBkMode);
        FColorsSaved = false;
    }
}

void TCanvas::Refresh() { DeselectAll(); }

void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

TPoint TCanvas::PenPos() {
    POINT p{};
    GetCurrentPositionEx(Handle(), &p);
    return p;
}

TRect TCanvas::ClipRect() {
    RECT r{};
    GetClipBox(Handle(), &r);
    return r;
}

void TCanvas::FillRect(const TRect& rect) {
    HDC dc = Handle();
    Changing();
    RECT r = rect;
    ::FillRect(dc, &r, FBrush->Handle());
    Changed();
}

void TCanvas::FrameRect(const TRect& rect) {
    HDC dc = Handle();
    Changing();
    RECT r = rect;
    ::FrameRect(dc, &r, FBrush->Handle());
    Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    HDC dc = Handle();
    Changing();
    ::Rectangle(dc, x1, y1, x2, y2);
    Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    HDC dc = Handle();
    Changing();
    ::Ellipse(dc, x1, y1, x2, y2);
    Changed();
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(Handle(), x, y, nullptr); }

void TCanvas::LineTo(int x, int y) {
    HDC dc = Handle();
    Changing();
    ::LineTo(dc, x, y);
    Changed();
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
    HDC dc = Handle();
    Changing();
    ::TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
    MoveToEx(dc, x + TextWidth(text), y, nullptr);
    Changed();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const AnsiString& text) {
    HDC dc = Handle();
    Changing();
    RECT r = rect;
    UINT options = ETO_CLIPPED | (FBrush->Style() != bsClear ? ETO_OPAQUE : 0);
    ExtTextOutA(dc, x, y, options, &r, text.data(), static_cast<UINT>(text.size()), nullptr);
    Changed();
}

TSize TCanvas::TextExtent(const AnsiString& text) {
    SIZE s{};
    GetTextExtentPoint32A(Handle(), text.data(), static_cast<int>(text.size()), &s);
    return s;
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    graphic->Draw(this, Bounds(x, y, graphic->Width(), graphic->Height()));
    Changed();
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    graphic->Draw(this, rect);
    Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source) {
    if (!canvas) throw EInvalidGraphicOperation("コピー元のキャンバスがありません.");
    HDC src = canvas->Handle();
    HDC dc = Handle();
    Changing();
    if (dest.Width() == source.Width() && dest.Height() == source.Height()) {
        BitBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), src, source.Left, source.Top, FCopyMode);
    } else {
        int old = SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), src, source.Left, source.Top,
                   source.Width(), source.Height(), FCopyMode);
        SetStretchBltMode(dc, old);
    }
    Changed();
}

TColor TCanvas::Pixel(int x, int y) { return static_cast<TColor>(GetPixel(Handle(), x, y)); }

void TCanvas::SetPixel(int x, int y, TColor color) {
    HDC dc = Handle();
    Changing();
    ::SetPixel(dc, x, y, ColorToRGB(color));
    Changed();
}

}  // namespace Fw
