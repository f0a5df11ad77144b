// Fonts, canvases, bitmaps, icons and image lists on real GDI objects.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/Filer.h"
#include "framework/Graphics.h"
#include "framework/ImgList.h"
#include "framework/Streams.h"

using namespace Fw;

namespace GraphicsTest {

// A 24-bit memory DC of its own, filled white: somewhere to draw and read back.
class MemoryDC {
public:
    MemoryDC(int width, int height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        FBitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        FDC = CreateCompatibleDC(nullptr);
        FOld = SelectObject(FDC, FBitmap);
        PatBlt(FDC, 0, 0, width, height, WHITENESS);
    }
    ~MemoryDC() {
        SelectObject(FDC, FOld);
        DeleteDC(FDC);
        DeleteObject(FBitmap);
    }
    HDC DC() const { return FDC; }
    COLORREF At(int x, int y) const { return GetPixel(FDC, x, y); }
    // Pixels in the rectangle that are not white.
    int Inked(const TRect& r) const {
        int n = 0;
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                if (GetPixel(FDC, x, y) != RGB(255, 255, 255)) ++n;
        return n;
    }

private:
    HBITMAP FBitmap;
    HDC FDC;
    HGDIOBJ FOld;
};

std::vector<COLORREF> Snapshot(HDC dc, const TRect& r) {
    std::vector<COLORREF> v;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) v.push_back(GetPixel(dc, x, y));
    return v;
}

AnsiString TempFile(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return AnsiString(dir) + "fwgfx_" + IntToStr(static_cast<int>(GetCurrentProcessId())) + "_" + name;
}

// A solid 16 x 16 (or w x h) bitmap of one colour.
std::unique_ptr<TBitmap> Solid(TColor color, int w = 16, int h = 16, TPixelFormat format = pf24bit) {
    auto b = std::make_unique<TBitmap>(w, h, format);
    b->Canvas()->Brush()->SetColor(color);
    b->Canvas()->FillRect(Rect(0, 0, w, h));
    return b;
}

struct ChangeCounter {
    int Count = 0;
    void Changed(TObject*) { ++Count; }
};

// A component with a font, as controls hold one, to check how it streams.
class TGfxFontHolder : public TComponent {
public:
    FW_CLASS(TGfxFontHolder, TComponent)
    explicit TGfxFontHolder(TComponent* owner) : TComponent(owner), FFont(new TFont) {}
    ~TGfxFontHolder() override { delete FFont; }
    TFont* Font() const { return FFont; }
    void SetFont(TFont* value) { FFont->Assign(value); }

private:
    TFont* FFont;
};

FW_PUBLISH(TGfxFontHolder)
    .Property("Font", &TGfxFontHolder::Font, &TGfxFontHolder::SetFont)
FW_END_PUBLISH

// ---------------------------------------------------------------- TFont

TEST(Font, DefaultsAreTheProductsJapaneseFont) {
    TFont f;
    EXPECT_EQ("ＭＳ Ｐゴシック", f.Name());
    EXPECT_EQ(-12, f.Height());
    EXPECT_EQ(9, f.Size());
    EXPECT_EQ(SHIFTJIS_CHARSET, f.Charset());
    EXPECT_EQ(clWindowText, f.Color());
    EXPECT_TRUE(f.Style().Empty());
    EXPECT_EQ(fpDefault, f.Pitch());
}

TEST(Font, HandleDescribesTheFontAndFollowsChanges) {
    TFont f;
    LOGFONTA lf{};
    ASSERT_GT(GetObjectA(f.Handle(), sizeof lf, &lf), 0);
    EXPECT_STREQ("ＭＳ Ｐゴシック", lf.lfFaceName);
    EXPECT_EQ(-12, lf.lfHeight);
    EXPECT_EQ(SHIFTJIS_CHARSET, lf.lfCharSet);
    EXPECT_EQ(FW_NORMAL, lf.lfWeight);
    EXPECT_EQ(f.Handle(), f.Handle()) << "one handle until something changes";

    f.SetStyle(TFontStyles{fsBold, fsUnderline});
    f.SetHeight(-20);
    f.SetName("ＭＳ ゴシック");
    f.SetCharset(DEFAULT_CHARSET);
    ASSERT_GT(GetObjectA(f.Handle(), sizeof lf, &lf), 0);
    EXPECT_STREQ("ＭＳ ゴシック", lf.lfFaceName);
    EXPECT_EQ(-20, lf.lfHeight);
    EXPECT_EQ(DEFAULT_CHARSET, lf.lfCharSet);
    EXPECT_EQ(FW_BOLD, lf.lfWeight);
    EXPECT_TRUE(lf.lfUnderline);
    EXPECT_FALSE(lf.lfItalic);
}

TEST(Font, SizeAndHeightConvertAt96Dpi) {
    TFont f;
    f.SetSize(12);
    EXPECT_EQ(-16, f.Height());
    f.SetHeight(-15);
    EXPECT_EQ(11, f.Size());
    f.SetHeight(-13);
    EXPECT_EQ(10, f.Size());  // 9.75 points round to 10
}

TEST(Font, OnChangeFiresOncePerRealChange) {
    TFont f;
    ChangeCounter c;
    f.OnChange = MakeEvent<&ChangeCounter::Changed>(&c);
    f.SetHeight(-12);
    f.SetName("ＭＳ Ｐゴシック");
    f.SetStyle(TFontStyles{});
    EXPECT_EQ(0, c.Count) << "setting the same values is no change";
    f.SetHeight(-14);
    f.SetColor(clRed);
    f.SetStyle(TFontStyles{fsItalic});
    f.SetPitch(fpFixed);
    EXPECT_EQ(4, c.Count);
    TFont other;
    f.Assign(&other);
    EXPECT_EQ(5, c.Count) << "an assignment is one change";
}

TEST(Font, AssignCopiesEverything) {
    TFont a, b;
    a.SetName("ＭＳ ゴシック");
    a.SetHeight(-21);
    a.SetColor(clNavy);
    a.SetStyle(TFontStyles{fsBold, fsStrikeOut});
    a.SetCharset(DEFAULT_CHARSET);
    a.SetPitch(fpVariable);
    b.Assign(&a);
    EXPECT_EQ(a.Name(), b.Name());
    EXPECT_EQ(-21, b.Height());
    EXPECT_EQ(clNavy, b.Color());
    EXPECT_EQ(a.Style(), b.Style());
    EXPECT_EQ(DEFAULT_CHARSET, b.Charset());
    EXPECT_EQ(fpVariable, b.Pitch());
    EXPECT_NE(a.Handle(), b.Handle()) << "each font owns its own handle";

    TBrush brush;
    EXPECT_THROW(b.Assign(&brush), EConvertError);
    EXPECT_EQ(-21, b.Height()) << "a refused assignment changes nothing";
}

TEST(Font, BadValuesAreRefused) {
    TFont f;
    EXPECT_THROW(f.SetCharset(256), EInvalidGraphicOperation);
    EXPECT_THROW(f.SetHandle(nullptr), EInvalidGraphic);
    EXPECT_EQ(SHIFTJIS_CHARSET, f.Charset());
    f.SetName("");
    EXPECT_EQ("ＭＳ Ｐゴシック", f.Name()) << "a font always has a face name";
}

TEST(Font, SetHandleTakesTheDescriptionOfAnotherFont) {
    LOGFONTA lf{};
    lf.lfHeight = -18;
    lf.lfWeight = FW_BOLD;
    lf.lfItalic = TRUE;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    strcpy(lf.lfFaceName, "ＭＳ ゴシック");
    HFONT h = CreateFontIndirectA(&lf);
    TFont f;
    f.SetHandle(h);
    EXPECT_EQ("ＭＳ ゴシック", f.Name());
    EXPECT_EQ(-18, f.Height());
    EXPECT_EQ((TFontStyles{fsBold, fsItalic}), f.Style());
    EXPECT_NE(h, f.Handle());
    EXPECT_EQ(OBJ_FONT, static_cast<int>(GetObjectType(h))) << "the caller keeps its handle";
    DeleteObject(h);
}

TEST(Font, StreamsAsNestedPropertiesOfItsComponent) {
    TComponent root(nullptr);
    root.SetName("Root");
    auto* holder = new TGfxFontHolder(&root);
    holder->SetName("Holder");
    holder->Font()->SetHeight(-20);
    holder->Font()->SetStyle(TFontStyles{fsBold});
    AnsiString text = ComponentToText(&root);
    EXPECT_NE(AnsiString::npos, text.find("Font.Height = -20")) << text;
    EXPECT_NE(AnsiString::npos, text.find("Font.Style = [fsBold]")) << text;
    EXPECT_NE(AnsiString::npos, text.find("Font.Charset = 128")) << text;
    EXPECT_EQ(AnsiString::npos, text.find("Font.Size")) << "Size follows Height and is not stored";

    TComponent copy(nullptr);
    ComponentFromText(text, &copy);
    auto* read = dynamic_cast<TGfxFontHolder*>(copy.FindComponent("Holder"));
    ASSERT_NE(nullptr, read);
    EXPECT_EQ("ＭＳ Ｐゴシック", read->Font()->Name());
    EXPECT_EQ(-20, read->Font()->Height());
    EXPECT_EQ(TFontStyles{fsBold}, read->Font()->Style());
}

// ---------------------------------------------------------------- TCanvas

TEST(Canvas, FillRectThenPixelReadsTheBrushColour) {
    MemoryDC mem(40, 40);
    TCanvas c(mem.DC());
    c.Brush()->SetColor(clRed);
    c.FillRect(Rect(0, 0, 10, 10));
    EXPECT_EQ(clRed, c.Pixel(5, 5));
    EXPECT_EQ(clRed, c.Pixel(9, 9));
    EXPECT_EQ(clWhite, c.Pixel(10, 10)) << "right and bottom edges are outside";
    c.SetPixel(20, 20, clBlue);
    EXPECT_EQ(RGB(0, 0, 255), mem.At(20, 20));
    c.Brush()->SetColor(clBtnFace);
    c.FillRect(Rect(30, 30, 40, 40));
    EXPECT_EQ(static_cast<TColor>(GetSysColor(COLOR_BTNFACE)), c.Pixel(35, 35))
        << "system colours are resolved when drawing";
}

TEST(Canvas, JapaneseTextInkStaysInItsBox) {
    MemoryDC mem(200, 60);
    TCanvas c(mem.DC());
    c.Font()->SetName("ＭＳ Ｐゴシック");
    c.Font()->SetHeight(-24);
    c.Font()->SetColor(clBlack);
    c.Brush()->SetColor(clWhite);
    TSize extent = c.TextExtent("日本語");
    EXPECT_GT(extent.cx, c.TextWidth("日")) << "three characters are wider than one";
    EXPECT_GT(extent.cy, 20);
    EXPECT_GT(c.TextWidth("あ"), 0);
    c.TextOut(10, 10, "日本語");
    TRect box = Bounds(10, 10, extent.cx, extent.cy);
    EXPECT_GT(mem.Inked(box), 50) << "glyphs drawn inside the text box";
    EXPECT_EQ(0, mem.Inked(Rect(0, 0, 200, 10)));
    EXPECT_EQ(0, mem.Inked(Rect(box.Right, 0, 200, 60)));
    EXPECT_EQ(TPoint(10 + extent.cx, 10), c.PenPos()) << "TextOut moves the pen past the text";
}

TEST(Canvas, FontColourAndClearBrushApplyToText) {
    MemoryDC mem(100, 40);
    TCanvas c(mem.DC());
    c.Brush()->SetColor(clYellow);
    c.Font()->SetColor(clRed);
    c.Font()->SetHeight(-20);
    c.TextOut(0, 0, "■");
    TSize e = c.TextExtent("■");
    bool red = false, yellow = false;
    for (int y = 0; y < e.cy; ++y)
        for (int x = 0; x < e.cx; ++x) {
            red |= mem.At(x, y) == RGB(255, 0, 0);
            yellow |= mem.At(x, y) == RGB(255, 255, 0);
        }
    EXPECT_TRUE(red);
    EXPECT_TRUE(yellow) << "an opaque brush backs the text";

    c.Brush()->SetStyle(bsClear);
    c.TextOut(50, 0, "■");
    for (int y = 0; y < e.cy; ++y)
        for (int x = 50; x < 50 + e.cx; ++x) ASSERT_NE(RGB(255, 255, 0), mem.At(x, y)) << "clear brush: no background";
}

TEST(Canvas, PenDrawsLinesAndRectangleOutlines) {
    MemoryDC mem(40, 40);
    TCanvas c(mem.DC());
    c.Pen()->SetColor(clBlue);
    c.MoveTo(0, 5);
    c.LineTo(20, 5);
    EXPECT_EQ(RGB(0, 0, 255), mem.At(10, 5));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(20, 5)) << "the end point is not drawn";
    EXPECT_EQ(TPoint(20, 5), c.PenPos());
    c.Brush()->SetColor(clLime);
    c.Pen()->SetColor(clRed);
    c.Rectangle(10, 10, 30, 30);
    EXPECT_EQ(RGB(255, 0, 0), mem.At(10, 20));
    EXPECT_EQ(RGB(0, 255, 0), mem.At(20, 20));
}

TEST(Canvas, PutsTheDCsOwnObjectsBack) {
    MemoryDC mem(20, 20);
    HDC dc = mem.DC();
    HGDIOBJ font0 = GetCurrentObject(dc, OBJ_FONT);
    HGDIOBJ brush0 = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ pen0 = GetCurrentObject(dc, OBJ_PEN);
    COLORREF text0 = GetTextColor(dc);
    {
        TCanvas c(dc);
        c.Font()->SetColor(clRed);
        c.TextOut(0, 0, "a");
        c.Rectangle(0, 0, 5, 5);
        EXPECT_EQ(c.Font()->Handle(), GetCurrentObject(dc, OBJ_FONT));
        EXPECT_EQ(c.Brush()->Handle(), GetCurrentObject(dc, OBJ_BRUSH));
        EXPECT_EQ(c.Pen()->Handle(), GetCurrentObject(dc, OBJ_PEN));
        c.SetHandle(nullptr);
        EXPECT_EQ(font0, GetCurrentObject(dc, OBJ_FONT)) << "given up by SetHandle";
        EXPECT_EQ(brush0, GetCurrentObject(dc, OBJ_BRUSH));
        EXPECT_EQ(pen0, GetCurrentObject(dc, OBJ_PEN));
        EXPECT_EQ(text0, GetTextColor(dc));
        c.SetHandle(dc);
        c.TextOut(0, 0, "b");
        EXPECT_EQ(c.Font()->Handle(), GetCurrentObject(dc, OBJ_FONT));
    }
    EXPECT_EQ(font0, GetCurrentObject(dc, OBJ_FONT)) << "given up by the destructor";
    EXPECT_EQ(brush0, GetCurrentObject(dc, OBJ_BRUSH));
    EXPECT_EQ(pen0, GetCurrentObject(dc, OBJ_PEN));
}

TEST(Canvas, FontChangedWhileSelectedIsSwappedCleanly) {
    MemoryDC mem(20, 20);
    TCanvas c(mem.DC());
    int small = c.TextHeight("あ");
    HFONT before = c.Font()->Handle();
    c.Font()->SetHeight(-30);
    EXPECT_EQ(0u, GetObjectType(before)) << "the replaced font handle was deleted, not left selected";
    EXPECT_GT(c.TextHeight("あ"), small);
    EXPECT_EQ(c.Font()->Handle(), GetCurrentObject(mem.DC(), OBJ_FONT));
}

TEST(Canvas, WithoutADeviceContextDrawingIsRefused) {
    TCanvas c;
    EXPECT_FALSE(c.HandleAllocated());
    EXPECT_THROW(c.Handle(), EInvalidGraphicOperation);
    EXPECT_THROW(c.FillRect(Rect(0, 0, 1, 1)), EInvalidGraphicOperation);
    EXPECT_THROW(c.TextWidth("a"), EInvalidGraphicOperation);
}

TEST(Canvas, CopyRectAndStretchDrawMovePixels) {
    MemoryDC a(40, 40), b(40, 40);
    TCanvas src(a.DC()), dst(b.DC());
    src.Brush()->SetColor(clGreen);
    src.FillRect(Rect(0, 0, 10, 10));
    dst.CopyRect(Rect(20, 20, 30, 30), &src, Rect(0, 0, 10, 10));
    EXPECT_EQ(RGB(0, 128, 0), b.At(25, 25));
    EXPECT_EQ(RGB(255, 255, 255), b.At(19, 19));

    auto bmp = Solid(clRed, 4, 4);
    dst.StretchDraw(Rect(0, 0, 16, 8), bmp.get());
    EXPECT_EQ(RGB(255, 0, 0), b.At(15, 7));
    EXPECT_EQ(RGB(255, 255, 255), b.At(16, 8));
    dst.Draw(0, 30, bmp.get());
    EXPECT_EQ(RGB(255, 0, 0), b.At(3, 33));
    EXPECT_EQ(RGB(255, 255, 255), b.At(4, 34));
    EXPECT_THROW(dst.CopyRect(Rect(0, 0, 1, 1), nullptr, Rect(0, 0, 1, 1)), EInvalidGraphicOperation);
}

TEST(Canvas, ChangeEventsSurroundDrawing) {
    MemoryDC mem(10, 10);
    TCanvas c(mem.DC());
    ChangeCounter changing, changed;
    c.OnChanging = MakeEvent<&ChangeCounter::Changed>(&changing);
    c.OnChange = MakeEvent<&ChangeCounter::Changed>(&changed);
    c.FillRect(Rect(0, 0, 5, 5));
    c.TextOut(0, 0, "x");
    c.TextWidth("x");
    c.Pixel(0, 0);
    EXPECT_EQ(2, changing.Count) << "measuring and reading change nothing";
    EXPECT_EQ(2, changed.Count);
}

// ---------------------------------------------------------------- TBitmap

TEST(Bitmap, SizeAndCanvasMakeADrawableImage) {
    TBitmap b;
    EXPECT_TRUE(b.Empty());
    b.SetSize(30, 20);
    EXPECT_FALSE(b.Empty());
    EXPECT_EQ(30, b.Width());
    EXPECT_EQ(20, b.Height());
    BITMAP bm{};
    ASSERT_GT(GetObjectA(b.Handle(), sizeof bm, &bm), 0);
    EXPECT_EQ(30, bm.bmWidth);
    b.Canvas()->Brush()->SetColor(clAqua);
    b.Canvas()->FillRect(Rect(0, 0, 30, 20));
    b.Canvas()->SetPixel(3, 4, clMaroon);
    EXPECT_EQ(clAqua, b.Canvas()->Pixel(29, 19));
    EXPECT_EQ(clMaroon, b.Canvas()->Pixel(3, 4));
    EXPECT_THROW(b.SetSize(-1, 5), EInvalidGraphicOperation);
    EXPECT_EQ(30, b.Width());
}

TEST(Bitmap, ResizingKeepsWhatStillFits) {
    auto b = Solid(clRed, 10, 10);
    b->SetSize(20, 5);
    EXPECT_EQ(clRed, b->Canvas()->Pixel(9, 4));
    EXPECT_EQ(clWhite, b->Canvas()->Pixel(15, 2)) << "new area is white";
    EXPECT_EQ(pf24bit, b->PixelFormat());
}

TEST(Bitmap, SettingTheHandleTakesItOverAndFreesTheOldOne) {
    HDC screen = GetDC(nullptr);
    HBITMAP first = CreateCompatibleBitmap(screen, 12, 7);
    HBITMAP second = CreateCompatibleBitmap(screen, 5, 6);
    ReleaseDC(nullptr, screen);

    TBitmap b;
    ChangeCounter c;
    b.OnChange = MakeEvent<&ChangeCounter::Changed>(&c);
    b.SetHandle(first);
    EXPECT_EQ(first, b.Handle());
    EXPECT_EQ(12, b.Width());
    EXPECT_EQ(7, b.Height());
    EXPECT_EQ(pfDevice, b.PixelFormat());
    b.Canvas()->FillRect(Rect(0, 0, 2, 2));  // the canvas holds the bitmap in its DC
    EXPECT_EQ(2, c.Count) << "taking the handle and drawing on it are changes";
    b.SetHandle(second);
    EXPECT_EQ(0u, GetObjectType(first)) << "the old bitmap was freed";
    EXPECT_EQ(5, b.Width());
    EXPECT_EQ(3, c.Count);

    HBITMAP released = b.ReleaseHandle();
    EXPECT_EQ(second, released);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(0, b.Width());
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(released)) << "a released handle stays valid";
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_NE(nullptr, SelectObject(dc, released)) << "and no DC of the bitmap's holds it any more";
    DeleteDC(dc);
    DeleteObject(released);

    HBITMAP third = CreateBitmap(3, 3, 1, 1, nullptr);
    { TBitmap owner; owner.SetHandle(third); }
    EXPECT_EQ(0u, GetObjectType(third)) << "the destructor frees the bitmap";
}

TEST(Bitmap, AHandleThatIsNoBitmapIsRefused) {
    auto b = Solid(clRed, 4, 4);
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_THROW(b->SetHandle(reinterpret_cast<HBITMAP>(brush)), EInvalidGraphic);
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(brush));
    EXPECT_EQ(clRed, b->Canvas()->Pixel(1, 1)) << "the bitmap is unchanged";
    DeleteObject(brush);
}

TEST(Bitmap, FileRoundTripKeepsThePixels) {
    for (TPixelFormat format : {pf24bit, pf32bit, pfDevice, pf8bit, pf1bit}) {
        SCOPED_TRACE(GetEnumName(TypeInfoOf<TPixelFormat>(), format));
        TBitmap b(13, 9, format);
        TCanvas* c = b.Canvas();
        c->Brush()->SetColor(clWhite);
        c->FillRect(Rect(0, 0, 13, 9));
        c->Brush()->SetColor(clBlack);
        c->FillRect(Rect(0, 0, 4, 3));
        if (format != pf1bit) {
            c->Brush()->SetColor(clRed);
            c->FillRect(Rect(9, 6, 13, 9));
        }
        AnsiString file = TempFile("roundtrip.bmp");
        b.SaveToFile(file);

        TBitmap r;
        r.LoadFromFile(file);
        DeleteFileA(file.c_str());
        ASSERT_EQ(13, r.Width());
        ASSERT_EQ(9, r.Height());
        EXPECT_EQ(clBlack, r.Canvas()->Pixel(0, 0));
        EXPECT_EQ(clBlack, r.Canvas()->Pixel(3, 2));
        EXPECT_EQ(clWhite, r.Canvas()->Pixel(4, 3));
        EXPECT_EQ(format == pf1bit ? clWhite : clRed, r.Canvas()->Pixel(12, 8)) << "bottom row stays at the bottom";
    }
}

TEST(Bitmap, SavedFileIsAPlainBmp) {
    auto b = Solid(clBlue, 3, 2);
    TMemoryStream s;
    b->SaveToStream(&s);
    const auto* p = static_cast<const unsigned char*>(s.Memory());
    ASSERT_EQ(14 + 40 + 12 * 2, s.Size()) << "24-bit rows padded to 4 bytes";
    EXPECT_EQ('B', p[0]);
    EXPECT_EQ('M', p[1]);
    BITMAPINFOHEADER h;
    memcpy(&h, p + 14, sizeof h);
    EXPECT_EQ(3, h.biWidth);
    EXPECT_EQ(2, h.biHeight);
    EXPECT_EQ(24, h.biBitCount);
    EXPECT_EQ(0xFF, p[54]) << "pixels are stored blue, green, red";
    EXPECT_EQ(0x00, p[56]);
}

TEST(Bitmap, LoadsHandMadeFilesOfOtherShapes) {
    // 2 x 2, 8 bits with a palette of three colours, top-down rows.
    std::vector<unsigned char> f(14 + 40 + 3 * 4 + 2 * 4, 0);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(f.size()), 0, 0, 14 + 40 + 12};
    BITMAPINFOHEADER ih{};
    ih.biSize = 40;
    ih.biWidth = 2;
    ih.biHeight = -2;
    ih.biPlanes = 1;
    ih.biBitCount = 8;
    ih.biClrUsed = 3;
    memcpy(f.data(), &fh, 14);
    memcpy(f.data() + 14, &ih, 40);
    RGBQUAD pal[3] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};  // red, green, blue
    memcpy(f.data() + 54, pal, 12);
    unsigned char rows[8] = {0, 1, 0, 0, 2, 2, 0, 0};
    memcpy(f.data() + 66, rows, 8);
    TMemoryStream s;
    s.WriteBuffer(f.data(), static_cast<int>(f.size()));
    s.SetPosition(0);
    TBitmap b;
    b.LoadFromStream(&s);
    EXPECT_EQ(pf8bit, b.PixelFormat());
    EXPECT_EQ(clRed, b.Canvas()->Pixel(0, 0)) << "top-down: first row is the top";
    EXPECT_EQ(clLime, b.Canvas()->Pixel(1, 0));
    EXPECT_EQ(clBlue, b.Canvas()->Pixel(0, 1));
}

TEST(Bitmap, BadFilesRaiseAndLoseNothing) {
    auto b = Solid(clRed, 4, 4);
    EXPECT_THROW(b->LoadFromFile(TempFile("missing.bmp")), EFOpenError);
    AnsiString junk = TempFile("junk.bmp");
    {
        TFileStream s(junk, fmCreate);
        s.WriteBuffer("これはビットマップではありません", 32);
    }
    EXPECT_THROW(b->LoadFromFile(junk), EInvalidGraphic);
    TMemoryStream truncated;
    {
        auto src = Solid(clBlue, 8, 8);
        src->SaveToStream(&truncated);
        truncated.SetSize(truncated.Size() - 10);
        truncated.SetPosition(0);
    }
    EXPECT_THROW(b->LoadFromStream(&truncated), EInvalidGraphic);
    DeleteFileA(junk.c_str());
    EXPECT_EQ(4, b->Width());
    EXPECT_EQ(clRed, b->Canvas()->Pixel(2, 2));
    EXPECT_THROW(b->LoadFromResourceName(GetModuleHandleA(nullptr), "NOSUCHBITMAP"), EResNotFound);
}

TEST(Bitmap, AssignCopiesThePixelsIntoAnImageOfItsOwn) {
    for (TPixelFormat format : {pf24bit, pfDevice}) {
        auto a = Solid(clGreen, 6, 5, format);
        a->Canvas()->SetPixel(1, 1, clYellow);
        TBitmap b;
        b.Assign(a.get());
        EXPECT_NE(a->Handle(), b.Handle());
        EXPECT_EQ(6, b.Width());
        EXPECT_EQ(format, b.PixelFormat());
        EXPECT_EQ(clYellow, b.Canvas()->Pixel(1, 1));
        EXPECT_EQ(clGreen, b.Canvas()->Pixel(5, 4));
        b.Canvas()->SetPixel(1, 1, clBlack);
        EXPECT_EQ(clYellow, a->Canvas()->Pixel(1, 1)) << "the copy is independent";
    }
    TBitmap empty, target;
    target.SetSize(3, 3);
    target.Assign(&empty);
    EXPECT_TRUE(target.Empty());
    TFont font;
    EXPECT_THROW(target.Assign(&font), EConvertError);
}

TEST(Bitmap, PixelFormatConvertsThePixels) {
    auto b = Solid(clRed, 5, 5, pfDevice);
    b->SetPixelFormat(pf32bit);
    EXPECT_EQ(pf32bit, b->PixelFormat());
    DIBSECTION ds{};
    EXPECT_EQ(static_cast<int>(sizeof ds), GetObjectA(b->Handle(), sizeof ds, &ds)) << "now a DIB section";
    EXPECT_EQ(32, ds.dsBm.bmBitsPixel);
    EXPECT_EQ(clRed, b->Canvas()->Pixel(2, 2));
}

// The system's own pictures (OBM_CHECK and OemInformationIcon, which windows.h
// declares only under OEMRESOURCE).
constexpr int OemCheckBitmap = 32760;
constexpr int OemInformationIcon = 32516;

TEST(Bitmap, LoadsTheSystemsOwnBitmapResources) {
    TBitmap b;
    b.LoadFromResourceID(nullptr, OemCheckBitmap);
    EXPECT_FALSE(b.Empty());
    BITMAP bm{};
    ASSERT_GT(GetObjectA(b.Handle(), sizeof bm, &bm), 0);
    EXPECT_EQ(bm.bmWidth, b.Width());
    EXPECT_GT(b.Width(), 0);
    EXPECT_THROW(b.LoadFromResourceID(GetModuleHandleA(nullptr), 4711), EResNotFound);
    EXPECT_EQ(bm.bmWidth, b.Width()) << "a missing resource leaves the bitmap alone";
}

// ---------------------------------------------------------------- TIcon

TEST(Icon, LoadsIconResourcesAtTheAskedSize) {
    TIcon icon;
    icon.LoadFromResourceID(nullptr, OemInformationIcon, 16);
    EXPECT_EQ(16, icon.Width());
    EXPECT_EQ(16, icon.Height());
    icon.LoadFromResourceID(nullptr, OemInformationIcon);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), icon.Width()) << "size 0 is the system's icon size";
    EXPECT_THROW(icon.LoadFromResourceName(GetModuleHandleA(nullptr), "NOSUCHICON"), EResNotFound);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), icon.Width());
}

// A 32 x 32 icon: red square in the middle, transparent border of 8 pixels.
HICON MakeIcon() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP color = CreateCompatibleBitmap(screen, 32, 32);
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(dc, color);
    PatBlt(dc, 0, 0, 32, 32, BLACKNESS);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{8, 8, 24, 24};
    FillRect(dc, &r, red);
    DeleteObject(red);
    SelectObject(dc, mask);
    PatBlt(dc, 0, 0, 32, 32, WHITENESS);
    PatBlt(dc, 8, 8, 16, 16, BLACKNESS);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    ICONINFO ii{TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&ii);
    DeleteObject(color);
    DeleteObject(mask);
    return icon;
}

TEST(Icon, TakesOverItsHandleAndDrawsThroughTheMask) {
    HICON h = MakeIcon();
    HICON other = MakeIcon();
    TIcon icon;
    icon.SetHandle(h);
    EXPECT_EQ(32, icon.Width());
    EXPECT_EQ(32, icon.Height());
    MemoryDC mem(40, 40);
    TCanvas c(mem.DC());
    c.Draw(4, 4, &icon);
    EXPECT_EQ(RGB(255, 0, 0), mem.At(20, 20));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(6, 6)) << "masked border stays transparent";

    icon.SetHandle(other);
    ICONINFO ii{};
    EXPECT_FALSE(GetIconInfo(h, &ii)) << "the old icon was destroyed";
    HICON released = icon.ReleaseHandle();
    EXPECT_EQ(other, released);
    EXPECT_TRUE(icon.Empty());
    ASSERT_TRUE(GetIconInfo(released, &ii));
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    DestroyIcon(released);

    EXPECT_THROW(icon.SetWidth(16), EInvalidGraphicOperation);
    EXPECT_THROW(icon.SetHandle(reinterpret_cast<HICON>(static_cast<INT_PTR>(0x1234))), EInvalidGraphic);
}

TEST(Icon, StreamRoundTripAndCopy) {
    TIcon icon;
    icon.SetHandle(MakeIcon());
    TMemoryStream s;
    icon.SaveToStream(&s);
    s.SetPosition(0);
    TIcon back;
    back.LoadFromStream(&s);
    EXPECT_EQ(32, back.Width());
    MemoryDC mem(32, 32);
    TCanvas c(mem.DC());
    c.Draw(0, 0, &back);
    EXPECT_EQ(RGB(255, 0, 0), mem.At(16, 16));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(2, 2));

    TIcon copy;
    copy.Assign(&icon);
    EXPECT_NE(icon.Handle(), copy.Handle());
    EXPECT_EQ(32, copy.Width());

    TMemoryStream junk;
    junk.WriteBuffer("not an icon file", 16);
    junk.SetPosition(0);
    EXPECT_THROW(copy.LoadFromStream(&junk), EInvalidGraphic);
    EXPECT_EQ(32, copy.Width());
}

TEST(Picture, HoldsOneGraphicOfEitherKind) {
    TPicture p;
    ChangeCounter c;
    p.OnChange = MakeEvent<&ChangeCounter::Changed>(&c);
    p.Bitmap()->SetSize(7, 3);
    EXPECT_EQ(7, p.Width());
    EXPECT_GE(c.Count, 2) << "making the bitmap and sizing it are changes";
    TIcon icon;
    icon.SetHandle(MakeIcon());
    p.SetGraphic(&icon);
    ASSERT_NE(nullptr, dynamic_cast<TIcon*>(p.Graphic()));
    EXPECT_NE(icon.Handle(), p.Icon()->Handle()) << "the picture holds a copy";
    EXPECT_EQ(32, p.Height());
    EXPECT_THROW(p.LoadFromFile(TempFile("x.gif")), EInvalidGraphic);
    EXPECT_EQ(32, p.Height());
}

// ---------------------------------------------------------------- TImageList

TEST(ImageList, DefaultsAndPublishedProperties) {
    TImageList list(nullptr);
    EXPECT_EQ(16, list.Width());
    EXPECT_EQ(16, list.Height());
    EXPECT_EQ(0, list.Count());
    EXPECT_FALSE(list.HandleAllocated()) << "made on first use only";
    EXPECT_EQ(16, GetOrdProp(&list, "Width"));
    const TPropInfo* count = GetPropInfo(&list, "Count");
    ASSERT_NE(nullptr, count);
    EXPECT_FALSE(count->Access->Writable());
    EXPECT_FALSE(count->IsStored(&list));
    int w = 0, h = 0;
    ImageList_GetIconSize(list.Handle(), &w, &h);
    EXPECT_EQ(16, w);
}

class ImageListDraw : public ::testing::Test {
protected:
    void SetUp() override {
        for (TColor c : {clRed, clLime, clBlue}) {
            int expected = list.Count();
            EXPECT_EQ(expected, list.Add(Solid(c).get(), nullptr));
        }
    }
    TImageList list{nullptr};
    MemoryDC mem{80, 40};
    TCanvas canvas{mem.DC()};
};

TEST_F(ImageListDraw, DrawPutsTheChosenImageAtThePoint) {
    ASSERT_EQ(3, list.Count());
    list.Draw(&canvas, 20, 10, 1);
    EXPECT_EQ(RGB(0, 255, 0), mem.At(20, 10));
    EXPECT_EQ(RGB(0, 255, 0), mem.At(35, 25));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(36, 26));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(19, 10));
    list.Draw(&canvas, 50, 10, 2);
    EXPECT_EQ(RGB(0, 0, 255), mem.At(55, 15));
}

TEST_F(ImageListDraw, DisabledImagesAreDrawnOtherwise) {
    list.Draw(&canvas, 0, 0, 0, true);
    list.Draw(&canvas, 40, 0, 0, false);
    auto enabled = Snapshot(mem.DC(), Bounds(0, 0, 16, 16));
    auto disabled = Snapshot(mem.DC(), Bounds(40, 0, 16, 16));
    EXPECT_NE(enabled, disabled);
    for (COLORREF c : disabled) {
        ASSERT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c))
            << "a greyed image shows only greys, not " << std::hex << c;
    }
    EXPECT_NE(RGB(255, 255, 255), mem.At(48, 8)) << "but the image is drawn";

    // Details survive greying, and transparent parts stay transparent.
    auto b = Solid(clFuchsia);
    b->Canvas()->Brush()->SetColor(clNavy);
    b->Canvas()->FillRect(Rect(2, 2, 14, 14));
    b->Canvas()->Brush()->SetColor(clYellow);
    b->Canvas()->FillRect(Rect(6, 6, 10, 10));
    list.AddMasked(b.get(), clFuchsia);
    list.Draw(&canvas, 60, 20, 3, false);
    EXPECT_EQ(RGB(255, 255, 255), mem.At(60, 20)) << "masked corner";
    EXPECT_NE(mem.At(63, 23), mem.At(68, 28)) << "navy and yellow give different greys";
}

TEST_F(ImageListDraw, DeleteMovesLaterImagesUp) {
    list.Delete(1);
    EXPECT_EQ(2, list.Count());
    list.Draw(&canvas, 0, 0, 1);
    EXPECT_EQ(RGB(0, 0, 255), mem.At(8, 8));
    list.Clear();
    EXPECT_EQ(0, list.Count());
}

TEST_F(ImageListDraw, IndexesOutsideTheListRaise) {
    EXPECT_THROW(list.Draw(&canvas, 0, 0, 3), EListError);
    EXPECT_THROW(list.Draw(&canvas, 0, 0, -1), EListError);
    EXPECT_THROW(list.Delete(3), EListError);
    TBitmap b;
    EXPECT_THROW(list.GetBitmap(7, &b), EListError);
    EXPECT_THROW(list.Replace(3, Solid(clRed).get(), nullptr), EListError);
    EXPECT_EQ(3, list.Count());
    EXPECT_EQ(0, mem.Inked(Rect(0, 0, 80, 40))) << "nothing drawn for a bad index";
    try {
        list.Delete(5);
    } catch (const EListError& e) {
        EXPECT_NE(AnsiString::npos, e.Message().find("イメージリストのインデックスが範囲を超えています"));
    }
}

TEST_F(ImageListDraw, ANewSizeEmptiesTheList) {
    ChangeCounter c;
    list.OnChange = MakeEvent<&ChangeCounter::Changed>(&c);
    list.SetWidth(16);
    EXPECT_EQ(3, list.Count()) << "the same size changes nothing";
    list.SetWidth(24);
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ(1, c.Count);
    EXPECT_THROW(list.SetHeight(0), EInvalidGraphicOperation);
    list.Add(Solid(clRed, 24, 16).get(), nullptr);
    EXPECT_EQ(1, list.Count());
}

TEST_F(ImageListDraw, GetBitmapMoveInsertAndWidePictures) {
    TBitmap b;
    list.GetBitmap(2, &b);
    EXPECT_EQ(16, b.Width());
    EXPECT_EQ(clBlue, b.Canvas()->Pixel(7, 7));

    list.Move(2, 0);  // blue, red, green
    list.Draw(&canvas, 0, 0, 0);
    EXPECT_EQ(RGB(0, 0, 255), mem.At(1, 1));
    list.Insert(1, Solid(clYellow).get(), nullptr);  // blue, yellow, red, green
    list.Draw(&canvas, 0, 0, 1);
    EXPECT_EQ(RGB(255, 255, 0), mem.At(1, 1));
    list.Draw(&canvas, 0, 0, 3);
    EXPECT_EQ(RGB(0, 255, 0), mem.At(1, 1));

    auto masked = Solid(clFuchsia);
    masked->Canvas()->Brush()->SetColor(clTeal);
    masked->Canvas()->FillRect(Rect(4, 4, 12, 12));
    list.AddMasked(masked.get(), clFuchsia);
    list.Move(4, 0);  // teal with its mask, blue, yellow, red, green
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(Rect(0, 0, 16, 16));
    list.Draw(&canvas, 0, 0, 0);
    EXPECT_EQ(RGB(0, 128, 128), mem.At(8, 8));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(1, 1)) << "the mask moves with its image";
    list.Draw(&canvas, 0, 0, 4);
    EXPECT_EQ(RGB(0, 255, 0), mem.At(1, 1));
    list.Delete(0);

    auto wide = Solid(clNavy, 48, 16);
    wide->Canvas()->Brush()->SetColor(clPurple);
    wide->Canvas()->FillRect(Rect(32, 0, 48, 16));
    EXPECT_EQ(4, list.Add(wide.get(), nullptr));
    EXPECT_EQ(7, list.Count()) << "a 48-pixel strip is three images";
    list.Draw(&canvas, 0, 0, 6);
    EXPECT_EQ(RGB(128, 0, 128), mem.At(1, 1));
}

TEST(ImageList, MasksMakePartsTransparent) {
    TImageList list(nullptr);
    auto b = Solid(clFuchsia);
    b->Canvas()->Brush()->SetColor(clRed);
    b->Canvas()->FillRect(Rect(4, 4, 12, 12));
    list.AddMasked(b.get(), clFuchsia);
    EXPECT_EQ(clFuchsia, b->Canvas()->Pixel(0, 0)) << "the caller's bitmap is left as it was";

    TIcon icon;
    icon.SetHandle(MakeIcon());
    EXPECT_EQ(1, list.AddIcon(&icon));

    MemoryDC mem(40, 20);
    TCanvas c(mem.DC());
    list.Draw(&c, 0, 0, 0);
    EXPECT_EQ(RGB(255, 0, 0), mem.At(8, 8));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(1, 1)) << "masked colour is transparent";
    list.Draw(&c, 20, 0, 1);
    EXPECT_EQ(RGB(255, 0, 0), mem.At(28, 8)) << "icon scaled to 16 x 16";
    EXPECT_EQ(RGB(255, 255, 255), mem.At(20, 0));

    EXPECT_THROW(list.Add(nullptr, nullptr), EInvalidGraphicOperation);
    TIcon none;
    EXPECT_THROW(list.AddIcon(&none), EInvalidGraphicOperation);
}

TEST(ImageList, StreamsItsImagesWithTheComponent) {
    TComponent root(nullptr);
    root.SetName("Root");
    auto* list = new TImageList(&root);
    list->SetName("ImageList1");
    list->SetWidth(8);
    list->SetHeight(8);
    auto b = Solid(clFuchsia, 16, 8);
    b->Canvas()->Brush()->SetColor(clBlue);
    b->Canvas()->FillRect(Rect(10, 2, 14, 6));
    list->AddMasked(b.get(), clFuchsia);
    AnsiString text = ComponentToText(&root);
    EXPECT_NE(AnsiString::npos, text.find("Width = 8")) << text.substr(0, 300);
    EXPECT_NE(AnsiString::npos, text.find("Bitmap = {"));
    EXPECT_EQ(AnsiString::npos, text.find("Count ="));

    TComponent copy(nullptr);
    ComponentFromText(text, &copy);
    auto* read = dynamic_cast<TImageList*>(copy.FindComponent("ImageList1"));
    ASSERT_NE(nullptr, read);
    ASSERT_EQ(2, read->Count());
    MemoryDC mem(20, 10);
    TCanvas c(mem.DC());
    read->Draw(&c, 0, 0, 1);
    EXPECT_EQ(RGB(0, 0, 255), mem.At(3, 3));
    EXPECT_EQ(RGB(255, 255, 255), mem.At(0, 0)) << "the mask came along";
}

TEST(ImageList, AssignDuplicatesTheImages) {
    TImageList a(nullptr), b(nullptr);
    a.SetWidth(10);
    a.Add(Solid(clRed, 10, 16).get(), nullptr);
    b.Assign(&a);
    EXPECT_EQ(10, b.Width());
    EXPECT_EQ(1, b.Count());
    EXPECT_NE(a.Handle(), b.Handle());
    a.Clear();
    EXPECT_EQ(1, b.Count());
}

// ---------------------------------------------------------------- GDI handles

// Every object checks, right after it is freed, that the GDI handle it owned
// is gone; GetGuiResources adds a process-wide count where the system keeps one.
TEST(GdiHandles, NothingLeaksOverManyObjects) {
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    MemoryDC mem(30, 30);
    for (int i = 0; i < 300; ++i) {
        HGDIOBJ fontHandle, brushHandle, penHandle, bitmapHandle;
        HDC bitmapDC;
        {
            TCanvas c(mem.DC());
            c.Font()->SetHeight(-10 - i % 7);
            c.Brush()->SetColor(RGB(i, 0, 0));
            c.Pen()->SetWidth(1 + i % 3);
            c.TextOut(0, 0, "漢字");
            c.Rectangle(0, 0, 10, 10);
            fontHandle = c.Font()->Handle();
            brushHandle = c.Brush()->Handle();
            penHandle = c.Pen()->Handle();

            TBitmap b(8, 8, i % 2 ? pf24bit : pfDevice);
            b.Canvas()->TextOut(0, 0, "a");
            b.SetSize(9, 9);
            c.Draw(0, 0, &b);
            bitmapHandle = b.Handle();
            bitmapDC = b.Canvas()->Handle();
        }
        ASSERT_EQ(0u, GetObjectType(fontHandle)) << "font of round " << i;
        ASSERT_EQ(0u, GetObjectType(brushHandle)) << "brush of round " << i;
        ASSERT_EQ(0u, GetObjectType(penHandle)) << "pen of round " << i;
        ASSERT_EQ(0u, GetObjectType(bitmapHandle)) << "bitmap of round " << i;
        ASSERT_EQ(0u, GetObjectType(bitmapDC)) << "memory DC of round " << i;

        HICON iconHandle;
        {
            TIcon icon;
            icon.SetHandle(MakeIcon());
            TMemoryStream s;
            icon.SaveToStream(&s);
            iconHandle = icon.Handle();
            TImageList list(nullptr);
            list.AddIcon(&icon);
            TCanvas c(mem.DC());
            list.Draw(&c, 0, 0, 0, i % 2 == 0);
        }
        ICONINFO ii{};
        ASSERT_FALSE(GetIconInfo(iconHandle, &ii)) << "icon of round " << i;
    }
    DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (before != 0 || after != 0) {
        EXPECT_LE(after, before + 2) << "GDI objects before " << before << ", after " << after;
    }
}

}  // namespace GraphicsTest
