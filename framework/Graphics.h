// Colours, fonts, brushes, pens, canvases and pictures on top of GDI.
//
// Every object here that holds a GDI handle owns it and frees it in its
// destructor. A canvas draws on a device context that someone else owns
// (a window's, a printer's) unless it is the canvas of a bitmap, which makes
// its own memory DC; either way the canvas puts the DC's original font,
// brush and pen back when it lets go of the DC.
#pragma once

// The framework headers come before <windows.h>: windows.h defines names such
// as GetObject as macros, and the type-information templates must be read
// with the plain names.
#include "framework/Component.h"
#include "framework/Dpi.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace Fw {

class TStream;

FW_DECLARE_EXCEPTION(EInvalidGraphic, Exception);           // data that is not a picture of the kind
FW_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);  // an operation the picture cannot do

// ---- Points and rectangles ----

// Laid out as POINT and RECT, so that they convert both ways without copies
// of meaning; Windows calls take them through the conversions below.
struct TPoint {
    int X = 0;
    int Y = 0;

    constexpr TPoint() = default;
    constexpr TPoint(int x, int y) : X(x), Y(y) {}
    TPoint(const POINT& p) : X(p.x), Y(p.y) {}
    operator POINT() const { return POINT{X, Y}; }
    constexpr bool operator==(const TPoint&) const = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;

    constexpr TSize() = default;
    constexpr TSize(int w, int h) : cx(w), cy(h) {}
    TSize(const SIZE& s) : cx(s.cx), cy(s.cy) {}
    operator SIZE() const { return SIZE{cx, cy}; }
    constexpr bool operator==(const TSize&) const = default;
};

// Right and Bottom lie just outside the rectangle, as in GDI.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(int left, int top, int right, int bottom)
        : Left(left), Top(top), Right(right), Bottom(bottom) {}
    constexpr TRect(TPoint topLeft, TPoint bottomRight)
        : Left(topLeft.X), Top(topLeft.Y), Right(bottomRight.X), Bottom(bottomRight.Y) {}
    TRect(const RECT& r) : Left(r.left), Top(r.top), Right(r.right), Bottom(r.bottom) {}
    operator RECT() const { return RECT{Left, Top, Right, Bottom}; }

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr TPoint TopLeft() const { return TPoint(Left, Top); }
    constexpr TPoint BottomRight() const { return TPoint(Right, Bottom); }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(TPoint p) const {
        return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
    }
    constexpr bool operator==(const TRect&) const = default;
};

static_assert(sizeof(TPoint) == sizeof(POINT) && sizeof(TRect) == sizeof(RECT) &&
                  sizeof(TSize) == sizeof(SIZE),
              "TPoint, TRect and TSize must keep the layout of their Windows twins");

constexpr TPoint Point(int x, int y) { return TPoint(x, y); }
constexpr TRect Rect(int left, int top, int right, int bottom) { return TRect(left, top, right, bottom); }
constexpr TRect Bounds(int left, int top, int width, int height) {
    return TRect(left, top, left + width, top + height);
}

// ---- Colours ----

// An RGB value 0x00BBGGRR, or a system colour: the high bit set and the
// COLOR_xxx index in the low byte, resolved at the moment of drawing so that
// it follows the user's colour scheme.
using TColor = int;

constexpr TColor clSystemColor = static_cast<int>(0x80000000u);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
// No colour at all (an image list without background colour, a transparent fill).
constexpr TColor clNone = 0x1FFFFFFF;
// Whatever the object's own default is.
constexpr TColor clDefault = 0x20000000;

constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = clSystemColor | COLOR_MENU;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
constexpr TColor clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER;
constexpr TColor clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER;
constexpr TColor clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;

// The RGB value a colour stands for now (system colours looked up).
COLORREF ColorToRGB(TColor color);
// The colour's identifier ("clBtnFace"), or "" when it has none.
AnsiString ColorToIdent(TColor color);
// The colour named by an identifier (ASCII case ignored); false when unknown.
bool IdentToColor(const AnsiString& ident, TColor& color);

// ---- Fonts, brushes and pens ----

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
FW_ENUM_INFO(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = TSet<TFontStyle>;

enum TFontPitch { fpDefault, fpVariable, fpFixed };
FW_ENUM_INFO(TFontPitch, "fpDefault", "fpVariable", "fpFixed")

// A LOGFONT character set: SHIFTJIS_CHARSET (128), DEFAULT_CHARSET (1), ...
using TFontCharset = int;

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
FW_ENUM_INFO(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
             "bsBDiagonal", "bsCross", "bsDiagCross")

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
FW_ENUM_INFO(TPenStyle, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
             "psInsideFrame")

class TCanvas;

// A font, brush or pen: a description whose GDI handle is made when first
// asked for and made again after any change.
class TGraphicsObject : public TPersistent {
public:
    FW_CLASS(TGraphicsObject, TPersistent)
    TGraphicsObject() = default;
    ~TGraphicsObject() override;

    // Made on demand; owned by this object. A handle once given out stays
    // valid until the next change or the object's end.
    HGDIOBJ GdiHandle() const;
    bool HandleAllocated() const { return FHandle != nullptr; }

    // Fired after every change (the new handle is made on the next request).
    TNotifyEvent OnChange;

protected:
    virtual HGDIOBJ CreateGdiHandle() const = 0;
    // Whether the handle came from GetStockObject and must not be deleted.
    virtual bool IsStockHandle(HGDIOBJ) const { return false; }
    // Forgets the handle (the canvas that has it selected lets go of it
    // first), then tells OnChange.
    virtual void Changed();

private:
    friend class TCanvas;
    void FreeGdiHandle();

    mutable HGDIOBJ FHandle = nullptr;
    mutable bool FStock = false;
    TCanvas* FCanvas = nullptr;  // the canvas this object belongs to, if any
};

class TFont : public TGraphicsObject {
public:
    FW_CLASS(TFont, TGraphicsObject)
    // "ＭＳ Ｐゴシック", 9 points (height -12 at 96 pixels per inch),
    // SHIFTJIS_CHARSET, clWindowText, at the system's resolution.
    TFont();

    void Assign(TPersistent* source) override;

    HFONT Handle() const { return static_cast<HFONT>(GdiHandle()); }
    // Takes the description (face, height, charset, style, pitch) from an
    // existing font; the caller keeps that handle.
    void SetHandle(HFONT font);

    TFontCharset Charset() const { return FCharset; }
    void SetCharset(TFontCharset value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    // Negative: character height in pixels (without internal leading);
    // positive: cell height.
    int Height() const { return FHeight; }
    void SetHeight(int value);
    const AnsiString& Name() const { return FName; }
    void SetName(const AnsiString& value);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch value);
    // Points, derived from Height at PixelsPerInch: Size = -Height * 72 / PixelsPerInch.
    int Size() const;
    void SetSize(int value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles value);

    // The resolution Height is in pixels of, and Size converts at: the
    // system's for a new font, the window's for a control's font (its form
    // keeps it so). Setting it leaves Height as it is.
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int value);
    // Takes Height from resolution from to resolution to (× to / from,
    // rounded), which becomes PixelsPerInch: the same Size, drawn at to.
    void ChangeScale(int to, int from);

protected:
    HGDIOBJ CreateGdiHandle() const override;

private:
    TFontCharset FCharset;
    TColor FColor;
    int FHeight;
    AnsiString FName;
    TFontPitch FPitch = fpDefault;
    TFontStyles FStyle;
    int FPixelsPerInch;
};

class TBrush : public TGraphicsObject {
public:
    FW_CLASS(TBrush, TGraphicsObject)
    TBrush() = default;  // clWhite, bsSolid

    void Assign(TPersistent* source) override;

    HBRUSH Handle() const { return static_cast<HBRUSH>(GdiHandle()); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value);

protected:
    HGDIOBJ CreateGdiHandle() const override;
    bool IsStockHandle(HGDIOBJ) const override { return FStyle == bsClear; }

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

class TPen : public TGraphicsObject {
public:
    FW_CLASS(TPen, TGraphicsObject)
    TPen() = default;  // clBlack, width 1, psSolid

    void Assign(TPersistent* source) override;

    HPEN Handle() const { return static_cast<HPEN>(GdiHandle()); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value);
    int Width() const { return FWidth; }
    // At least 1.
    void SetWidth(int value);

protected:
    HGDIOBJ CreateGdiHandle() const override;

private:
    TColor FColor = clBlack;
    TPenStyle FStyle = psSolid;
    int FWidth = 1;
};

// ---- Canvas ----

class TGraphic;

// Raster operation codes for CopyRect and Draw (SRCCOPY and the rest).
using TCopyMode = int;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmWhiteness = WHITENESS;

class TCanvas : public TPersistent {
public:
    FW_CLASS(TCanvas, TPersistent)
    TCanvas();
    // A canvas on a device context someone else owns and releases.
    explicit TCanvas(HDC dc);
    // Puts the DC's own font, brush and pen back.
    ~TCanvas() override;

    // The device context, with this canvas's font, brush and pen selected
    // into it. A canvas that makes its own DC (a bitmap's) makes it here;
    // a canvas without one raises EInvalidGraphicOperation.
    HDC Handle();
    // Lets go of the previous DC (its objects put back) and draws on dc from
    // now on; the canvas never frees a DC given here.
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return FHandle != nullptr; }

    TFont* Font() const { return FFont; }
    TBrush* Brush() const { return FBrush; }
    TPen* Pen() const { return FPen; }
    // Copy the description; the canvas keeps its own objects.
    void SetFont(TFont* value) { FFont->Assign(value); }
    void SetBrush(TBrush* value) { FBrush->Assign(value); }
    void SetPen(TPen* value) { FPen->Assign(value); }

    TCopyMode CopyMode() const { return FCopyMode; }
    void SetCopyMode(TCopyMode value) { FCopyMode = value; }
    TPoint PenPos();
    void SetPenPos(TPoint value) { MoveTo(value.X, value.Y); }
    TRect ClipRect();

    // Fills with the brush (no outline).
    void FillRect(const TRect& rect);
    // A one-pixel border in the brush's colour.
    void FrameRect(const TRect& rect);
    // Outline with the pen, inside filled with the brush.
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const TRect& rect) { Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void MoveTo(int x, int y);
    // From the pen position to (x, y), the end point itself not drawn.
    void LineTo(int x, int y);

    // Text in the font, its background filled with the brush unless the brush
    // is bsClear. The pen position moves to the end of the text.
    // (windows.h makes the name TextOutA, alike in every unit, since this
    // header always includes windows.h first.)
    void TextOut(int x, int y, const AnsiString& text);
    // As TextOut, clipped to rect.
    void TextRect(const TRect& rect, int x, int y, const AnsiString& text);
    TSize TextExtent(const AnsiString& text);
    int TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
    int TextHeight(const AnsiString& text) { return TextExtent(text).cy; }

    // A picture at its own size, or stretched to rect. Null or empty draws nothing.
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const TRect& rect, TGraphic* graphic);
    // Copies (stretching if sizes differ) source's rectangle of canvas into
    // dest of this one, with CopyMode.
    void CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source);

    // The pixel's RGB value; CLR_INVALID (-1 as a TColor) outside the DC.
    TColor Pixel(int x, int y);
    void SetPixel(int x, int y, TColor color);

    // Puts the DC's own font, brush and pen back (they are selected again on
    // the next drawing call).
    void Refresh();

    // Around every drawing call: a picture behind the canvas learns of it.
    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    // A canvas that can make its own DC does so here and gives it to
    // SetHandle; the default has none to make.
    virtual void CreateHandle() {}
    // Lets go of the DC (after its objects are put back); the default just
    // forgets it, since it belongs to someone else.
    virtual void FreeHandle();
    virtual void Changing();
    virtual void Changed();
    // The DC as it is, without making one or selecting anything into it.
    HDC CurrentHandle() const { return FHandle; }

    // Selects what is not yet selected into the DC.
    void RequireFont();
    void RequireBrush();
    void RequirePen();

private:
    friend class TGraphicsObject;
    void Deselect(TGraphicsObject* object);
    void DeselectAll();
    void ObjectChanged(TGraphicsObject* object) { Deselect(object); }

    HDC FHandle = nullptr;
    TFont* FFont;
    TBrush* FBrush;
    TPen* FPen;
    TCopyMode FCopyMode = cmSrcCopy;
    // What the DC held before this canvas selected its own objects.
    HGDIOBJ FOldFont = nullptr;
    HGDIOBJ FOldBrush = nullptr;
    HGDIOBJ FOldPen = nullptr;
    bool FFontSelected = false;
    bool FBrushSelected = false;
    bool FPenSelected = false;
    COLORREF FOldTextColor = 0;
    COLORREF FOldBkColor = 0;
    int FOldBkMode = 0;
    bool FColorsSaved = false;
};

// ---- Pictures ----

class TGraphic : public TPersistent {
public:
    FW_CLASS(TGraphic, TPersistent)
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int value) = 0;
    virtual void SetHeight(int value) = 0;

    // Draws the picture into rect of canvas, stretched to fit.
    virtual void Draw(TCanvas* canvas, const TRect& rect) = 0;

    // The file's or stream's whole content is one picture in the class's
    // own format. EFOpenError / EFCreateError for files that cannot be
    // opened or made; EInvalidGraphic for data of another kind.
    virtual void LoadFromStream(TStream* stream) = 0;
    virtual void SaveToStream(TStream* stream) = 0;
    virtual void LoadFromFile(const AnsiString& fileName);
    virtual void SaveToFile(const AnsiString& fileName);

    bool Modified() const { return FModified; }
    void SetModified(bool value) { FModified = value; }

    TNotifyEvent OnChange;

protected:
    virtual void Changed();

private:
    bool FModified = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
FW_ENUM_INFO(TPixelFormat, "pfDevice", "pf1bit", "pf4bit", "pf8bit", "pf15bit", "pf16bit", "pf24bit",
             "pf32bit", "pfCustom")

class TBitmapCanvas;

class TBitmap : public TGraphic {
public:
    FW_CLASS(TBitmap, TGraphic)
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = pfDevice);
    ~TBitmap() override;

    void Assign(TPersistent* source) override;

    // The bitmap; setting takes the handle over (this object frees it) and
    // frees the previous one. Null empties the bitmap.
    HBITMAP Handle() const { return FHandle; }
    void SetHandle(HBITMAP value);
    // Gives the handle away: the bitmap is empty afterwards and the caller
    // frees what it got.
    HBITMAP ReleaseHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    // Drawing onto the bitmap, through a memory DC made on first use.
    TCanvas* Canvas();

    bool Empty() const override { return FHandle == nullptr; }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    // A new size keeps the pixels that still fit (the rest is white); a
    // bitmap that had none is made as PixelFormat says.
    void SetWidth(int value) override { SetSize(value, FHeight); }
    void SetHeight(int value) override { SetSize(FWidth, value); }
    void SetSize(int width, int height);

    // pfDevice: a bitmap compatible with the screen; pfNbit: a DIB section
    // of that depth. Changing it converts the pixels.
    TPixelFormat PixelFormat() const;
    void SetPixelFormat(TPixelFormat value);

    void Draw(TCanvas* canvas, const TRect& rect) override;

    // .bmp data: a BITMAPFILEHEADER and a DIB.
    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    // A BITMAP resource of the module, by name or by number.
    void LoadFromResourceName(HINSTANCE instance, const AnsiString& name);
    void LoadFromResourceID(HINSTANCE instance, int id);

    // Lets go of the canvas's memory DC, so that the bitmap can be selected
    // into another DC or read with GetDIBits; the canvas makes a new DC on
    // its next use (a DC taken from Canvas()->Handle() before is gone).
    void FreeContext();

private:
    friend class TBitmapCanvas;
    // Takes over value with its size and format; the canvas lets go first.
    void NewImage(HBITMAP value);
    void CanvasChanging(TObject* sender);
    void CanvasChanged(TObject* sender);

    HBITMAP FHandle = nullptr;
    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FPixelFormat = pfDevice;
    TBitmapCanvas* FCanvas = nullptr;
};

class TIcon : public TGraphic {
public:
    FW_CLASS(TIcon, TGraphic)
    TIcon() = default;
    ~TIcon() override;

    void Assign(TPersistent* source) override;

    // The icon; setting takes it over (this object destroys it) and destroys
    // the previous one.
    HICON Handle() const { return FHandle; }
    void SetHandle(HICON value);
    HICON ReleaseHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    bool Empty() const override { return FHandle == nullptr; }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    // An icon's size is its image's: EInvalidGraphicOperation.
    void SetWidth(int value) override;
    void SetHeight(int value) override;

    // DrawIconEx at rect's size.
    void Draw(TCanvas* canvas, const TRect& rect) override;

    // .ico data; loading picks the image closest to the system's icon size.
    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    // An ICON resource by name or number; size 0 is the system's icon size
    // (SM_CXICON), any other a square of that many pixels.
    void LoadFromResourceName(HINSTANCE instance, const AnsiString& name, int size = 0);
    void LoadFromResourceID(HINSTANCE instance, int id, int size = 0);

private:
    void NewIcon(HICON value);

    HICON FHandle = nullptr;
    int FWidth = 0;
    int FHeight = 0;
};

// Holds one picture of any kind; what a picture control shows.
class TPicture : public TPersistent {
public:
    FW_CLASS(TPicture, TPersistent)
    TPicture() = default;
    ~TPicture() override;

    void Assign(TPersistent* source) override;

    // The picture, or null. Setting copies value into a new object of its class.
    TGraphic* Graphic() const { return FGraphic; }
    void SetGraphic(TGraphic* value);
    // The picture as a bitmap or icon; one is made (replacing a picture of
    // another kind) when the picture is not of that kind.
    TBitmap* Bitmap();
    TIcon* Icon();

    int Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // By extension: .bmp or .ico (EInvalidGraphic for others).
    void LoadFromFile(const AnsiString& fileName);
    // Raises EInvalidGraphicOperation when there is no picture.
    void SaveToFile(const AnsiString& fileName);

    TNotifyEvent OnChange;

protected:
    virtual void Changed();

private:
    void Take(TGraphic* graphic);
    void GraphicChanged(TObject* sender);

    TGraphic* FGraphic = nullptr;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Graphics)

}  // namespace Fw
