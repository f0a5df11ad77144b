// The pictures of the Graphics unit: the graphic base, bitmaps (device
// independent in memory, read and written as BMP files), icons (.ico files
// and resources) and the picture that holds either. The GDI objects and the
// canvas they draw on are in Graphics.cpp.
#include "framework/Graphics.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/Streams.h"

namespace Fw {

FW_UNIT_PART(Graphics)

// ---- TGraphic ----

FW_PUBLISH(TGraphic)
FW_END_PUBLISH

void TGraphic::LoadFromFile(const AnsiString& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const AnsiString& fileName) {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(&stream);
}

void TGraphic::Changed() {
    FModified = true;
    if (OnChange) OnChange(this);
}

// ---- TBitmap ----

namespace {

const char InvalidBitmap[] = "ビットマップ イメージが無効です.";

int BitsOf(TPixelFormat format) {
    switch (format) {
        case pf1bit: return 1;
        case pf4bit: return 4;
        case pf8bit: return 8;
        case pf15bit: return 16;
        case pf16bit: return 16;
        case pf24bit: return 24;
        case pf32bit: return 32;
        default: return 0;
    }
}

TPixelFormat FormatOf(const DIBSECTION& ds, bool isDib) {
    if (!isDib) return pfDevice;
    switch (ds.dsBm.bmBitsPixel) {
        case 1: return pf1bit;
        case 4: return pf4bit;
        case 8: return pf8bit;
        case 16:
            return ds.dsBmih.biCompression == BI_BITFIELDS && ds.dsBitfields[1] == 0x07E0 ? pf16bit : pf15bit;
        case 24: return pf24bit;
        case 32: return pf32bit;
        default: return pfCustom;
    }
}

// A BITMAPINFO with room for the largest colour table.
struct TBitmapInfo {
    BITMAPINFOHEADER Header{};
    RGBQUAD Colors[256]{};
    BITMAPINFO* Get() { return reinterpret_cast<BITMAPINFO*>(this); }
};

// The palettes a new DIB of 1, 4 or 8 bits starts with: black and white, the
// 16 VGA colours, and a 6x6x6 colour cube followed by greys.
int DefaultColorTable(int bits, RGBQUAD* table) {
    auto set = [&](int i, int r, int g, int b) {
        table[i] = RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0};
    };
    if (bits == 1) {
        set(0, 0, 0, 0);
        set(1, 255, 255, 255);
        return 2;
    }
    if (bits == 4) {
        static const int vga[16][3] = {{0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0},
                                       {0, 0, 128}, {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                       {192, 192, 192}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
                                       {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (int i = 0; i < 16; ++i) set(i, vga[i][0], vga[i][1], vga[i][2]);
        return 16;
    }
    if (bits == 8) {
        int i = 0;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) set(i++, r * 51, g * 51, b * 51);
        for (int k = 0; i < 256; ++i, ++k) {
            int v = k * 255 / 39;
            set(i, v, v, v);
        }
        return 256;
    }
    return 0;
}

HBITMAP CreateImage(int width, int height, TPixelFormat format) {
    if (format == pfDevice) {
        HDC screen = GetDC(nullptr);
        HBITMAP h = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        return h;
    }
    int bits = BitsOf(format);
    if (bits == 0) throw EInvalidGraphicOperation("ピクセル形式が無効です.");
    TBitmapInfo info;
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = width;
    info.Header.biHeight = height;
    info.Header.biPlanes = 1;
    info.Header.biBitCount = static_cast<WORD>(bits);
    info.Header.biCompression = BI_RGB;
    if (format == pf16bit) {
        info.Header.biCompression = BI_BITFIELDS;
        DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(info.Colors, masks, sizeof masks);
    } else {
        info.Header.biClrUsed = DefaultColorTable(bits, info.Colors);
    }
    void* pixels = nullptr;
    return CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &pixels, nullptr, 0);
}

// Copies the top-left part of source that fits into a new image of the given
// size and format; the rest is white. source must not be selected into a DC.
HBITMAP ResizedCopy(HBITMAP source, int srcWidth, int srcHeight, int width, int height, TPixelFormat format) {
    HBITMAP target = CreateImage(width, height, format);
    if (!target) throw EOutOfResources("ビットマップを作成できません.");
    HDC dst = CreateCompatibleDC(nullptr);
    HGDIOBJ oldDst = SelectObject(dst, target);
    PatBlt(dst, 0, 0, width, height, WHITENESS);
    if (source) {
        HDC src = CreateCompatibleDC(nullptr);
        HGDIOBJ oldSrc = SelectObject(src, source);
        BitBlt(dst, 0, 0, std::min(width, srcWidth), std::min(height, srcHeight), src, 0, 0, SRCCOPY);
        SelectObject(src, oldSrc);
        DeleteDC(src);
    }
    SelectObject(dst, oldDst);
    DeleteDC(dst);
    return target;
}

template <class T>
T ReadAt(const std::vector<unsigned char>& data, std::size_t offset) {
    T value;
    std::memcpy(&value, data.data() + offset, sizeof value);
    return value;
}

std::vector<unsigned char> ReadRest(TStream* stream) {
    std::int64_t size = stream->Size() - stream->Position();
    if (size < 0) size = 0;
    if (size > 0x7FFFFFFF) throw EInvalidGraphic("画像データが大きすぎます.");
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    if (size) stream->ReadBuffer(data.data(), static_cast<int>(size));
    return data;
}

// A bitmap made from a packed DIB (header, colour table or masks, pixels).
HBITMAP BitmapFromDib(const unsigned char* info, std::size_t infoSize, const unsigned char* pixels,
                      std::size_t pixelBytes) {
    if (infoSize < sizeof(BITMAPCOREHEADER)) throw EInvalidGraphic(InvalidBitmap);
    DWORD headerSize;
    std::memcpy(&headerSize, info, 4);
    if (headerSize >= sizeof(BITMAPINFOHEADER) && infoSize >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER h;
        std::memcpy(&h, info, sizeof h);
        int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
        if (h.biWidth <= 0 || rows == 0 || h.biPlanes != 1) throw EInvalidGraphic(InvalidBitmap);
        bool plain = (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) &&
                     (h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8 || h.biBitCount == 16 ||
                      h.biBitCount == 24 || h.biBitCount == 32);
        if (plain) {
            // Header, then masks (inside a V4/V5 header they follow the first
            // 40 bytes just as they follow a plain header), then colours.
            std::size_t masks = h.biCompression == BI_BITFIELDS ? 12 : 0;
            std::size_t colors = h.biClrUsed ? h.biClrUsed : (h.biBitCount <= 8 ? 1u << h.biBitCount : 0);
            if (colors > 256) throw EInvalidGraphic(InvalidBitmap);
            std::size_t colorAt = headerSize + (headerSize == sizeof(BITMAPINFOHEADER) ? masks : 0);
            if (infoSize < colorAt + colors * 4 || infoSize < sizeof(BITMAPINFOHEADER) + masks)
                throw EInvalidGraphic(InvalidBitmap);
            TBitmapInfo bi;
            bi.Header = h;
            bi.Header.biSize = sizeof(BITMAPINFOHEADER);
            bi.Header.biSizeImage = 0;
            std::memcpy(bi.Colors, info + sizeof(BITMAPINFOHEADER), masks);
            std::memcpy(reinterpret_cast<unsigned char*>(bi.Colors) + masks, info + colorAt, colors * 4);
            std::size_t stride = ((static_cast<std::size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
            if (pixelBytes < stride * rows) throw EInvalidGraphic(InvalidBitmap);
            void* bits = nullptr;
            HBITMAP bmp = CreateDIBSection(nullptr, bi.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
            if (!bmp) throw EOutOfResources("ビットマップを作成できません.");
            std::memcpy(bits, pixels, stride * rows);
            return bmp;
        }
    }
    // Run-length encoded and OS/2 bitmaps: let GDI decode them into 24 bits.
    int width, height;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER c;
        std::memcpy(&c, info, sizeof c);
        width = c.bcWidth;
        height = c.bcHeight;
    } else if (headerSize >= sizeof(BITMAPINFOHEADER) && infoSize >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER h;
        std::memcpy(&h, info, sizeof h);
        width = h.biWidth;
        height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    } else {
        throw EInvalidGraphic(InvalidBitmap);
    }
    if (width <= 0 || height <= 0) throw EInvalidGraphic(InvalidBitmap);
    HBITMAP bmp = CreateImage(width, height, pf24bit);
    if (!bmp) throw EOutOfResources("ビットマップを作成できません.");
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    int lines = SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, pixels,
                                  reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS);
    SelectObject(dc, old);
    DeleteDC(dc);
    if (lines <= 0) {
        DeleteObject(bmp);
        throw EInvalidGraphic(InvalidBitmap);
    }
    return bmp;
}

}  // namespace

// The memory DC through which a bitmap is drawn on.
class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
    ~TBitmapCanvas() override { FreeHandle(); }

    void Release() {
        if (HandleAllocated()) FreeHandle();
    }

protected:
    void CreateHandle() override {
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc) throw EOutOfResources("デバイスコンテキストを作成できません.");
        FOldBitmap = FBitmap->FHandle ? SelectObject(dc, FBitmap->FHandle) : nullptr;
        SetHandle(dc);
    }

    void FreeHandle() override {
        HDC dc = CurrentHandle();
        SetHandle(nullptr);
        if (!dc) return;
        if (FOldBitmap) SelectObject(dc, FOldBitmap);
        FOldBitmap = nullptr;
        DeleteDC(dc);
    }

private:
    TBitmap* FBitmap;
    HGDIOBJ FOldBitmap = nullptr;
};

FW_PUBLISH(TBitmap)
FW_END_PUBLISH

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat format) : FPixelFormat(format) {
    SetSize(width, height);
}

TBitmap::~TBitmap() {
    delete FCanvas;
    if (FHandle) DeleteObject(FHandle);
}

TCanvas* TBitmap::Canvas() {
    if (!FCanvas) {
        FCanvas = new TBitmapCanvas(this);
        FCanvas->OnChanging = MakeEvent<&TBitmap::CanvasChanging>(this);
        FCanvas->OnChange = MakeEvent<&TBitmap::CanvasChanged>(this);
    }
    return FCanvas;
}

void TBitmap::CanvasChanging(TObject*) {}

void TBitmap::CanvasChanged(TObject*) { Changed(); }

void TBitmap::FreeContext() {
    if (FCanvas) FCanvas->Release();
    // Drawing on a DIB section may still be queued; readers of its bits
    // must see it done.
    GdiFlush();
}

void TBitmap::NewImage(HBITMAP value) {
    DIBSECTION ds{};
    int got = 0;
    if (value) {
        got = GetObjectA(value, sizeof ds, &ds);
        if (got < static_cast<int>(sizeof(BITMAP))) throw EInvalidGraphic(InvalidBitmap);
    }
    FreeContext();
    if (FHandle && FHandle != value) DeleteObject(FHandle);
    FHandle = value;
    if (value) {
        FWidth = ds.dsBm.bmWidth;
        FHeight = ds.dsBm.bmHeight < 0 ? -ds.dsBm.bmHeight : ds.dsBm.bmHeight;
        FPixelFormat = FormatOf(ds, got >= static_cast<int>(sizeof(DIBSECTION)));
    } else {
        FWidth = 0;
        FHeight = 0;
    }
}

void TBitmap::SetHandle(HBITMAP value) {
    if (value == FHandle) return;
    if (value && GetObjectType(value) != OBJ_BITMAP) throw EInvalidGraphic(InvalidBitmap);
    NewImage(value);
    Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
    FreeContext();
    HBITMAP h = FHandle;
    FHandle = nullptr;
    FWidth = 0;
    FHeight = 0;
    if (h) Changed();
    return h;
}

void TBitmap::SetSize(int width, int height) {
    if (width < 0 || height < 0)
        throw EInvalidGraphicOperation("ビットマップの大きさが無効です (" + IntToStr(width) + " x " +
                                       IntToStr(height) + ").");
    if (width == FWidth && height == FHeight) return;
    if (width == 0 || height == 0) {
        FreeContext();
        if (FHandle) DeleteObject(FHandle);
        FHandle = nullptr;
        FWidth = width;
        FHeight = height;
        Changed();
        return;
    }
    FreeContext();
    HBITMAP image = ResizedCopy(FHandle, FWidth, FHeight, width, height, FPixelFormat);
    TPixelFormat format = FPixelFormat;
    NewImage(image);
    FPixelFormat = format;  // pf15bit and pfDevice read back as what was asked for
    Changed();
}

TPixelFormat TBitmap::PixelFormat() const { return FPixelFormat; }

void TBitmap::SetPixelFormat(TPixelFormat value) {
    if (value == FPixelFormat) return;
    if (value == pfCustom) throw EInvalidGraphicOperation("ピクセル形式が無効です.");
    if (!FHandle) {
        FPixelFormat = value;
        return;
    }
    FreeContext();
    HBITMAP image = ResizedCopy(FHandle, FWidth, FHeight, FWidth, FHeight, value);
    NewImage(image);
    FPixelFormat = value;
    Changed();
}

void TBitmap::Assign(TPersistent* source) {
    if (!source) {
        if (FHandle) {
            NewImage(nullptr);
            Changed();
        }
        return;
    }
    auto* bitmap = dynamic_cast<TBitmap*>(source);
    if (!bitmap) {
        TGraphic::Assign(source);
        return;
    }
    if (bitmap == this) return;
    if (!bitmap->FHandle) {
        NewImage(nullptr);
        FWidth = bitmap->FWidth;
        FHeight = bitmap->FHeight;
        FPixelFormat = bitmap->FPixelFormat;
        Changed();
        return;
    }
    bitmap->FreeContext();
    UINT flags = bitmap->FPixelFormat == pfDevice ? 0 : LR_CREATEDIBSECTION;
    HBITMAP copy = static_cast<HBITMAP>(CopyImage(bitmap->FHandle, IMAGE_BITMAP, 0, 0, flags));
    if (!copy) throw EOutOfResources("ビットマップを複製できません.");
    NewImage(copy);
    FPixelFormat = bitmap->FPixelFormat;
    Changed();
}

void TBitmap::Draw(TCanvas* canvas, const TRect& rect) {
    if (!FHandle) return;
    HDC src = Canvas()->Handle();
    HDC dst = canvas->Handle();
    // A one-bit device bitmap takes its two colours from the target DC.
    BITMAP bm{};
    GetObjectA(FHandle, sizeof bm, &bm);
    bool mono = bm.bmBitsPixel == 1 && FPixelFormat == pfDevice;
    COLORREF oldText = 0, oldBk = 0;
    if (mono) {
        oldText = SetTextColor(dst, RGB(0, 0, 0));
        oldBk = SetBkColor(dst, RGB(255, 255, 255));
    }
    if (rect.Width() == FWidth && rect.Height() == FHeight) {
        BitBlt(dst, rect.Left, rect.Top, FWidth, FHeight, src, 0, 0, canvas->CopyMode());
    } else {
        int old = SetStretchBltMode(dst, COLORONCOLOR);
        StretchBlt(dst, rect.Left, rect.Top, rect.Width(), rect.Height(), src, 0, 0, FWidth, FHeight,
                   canvas->CopyMode());
        SetStretchBltMode(dst, old);
    }
    if (mono) {
        SetTextColor(dst, oldText);
        SetBkColor(dst, oldBk);
    }
}

void TBitmap::LoadFromStream(TStream* stream) {
    std::vector<unsigned char> data = ReadRest(stream);
    if (data.empty()) {
        if (FHandle) {
            NewImage(nullptr);
            Changed();
        }
        return;
    }
    if (data.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPCOREHEADER) || data[0] != 'B' || data[1] != 'M')
        throw EInvalidGraphic(InvalidBitmap);
    auto file = ReadAt<BITMAPFILEHEADER>(data, 0);
    std::size_t infoAt = sizeof(BITMAPFILEHEADER);
    std::size_t pixelsAt = file.bfOffBits;
    if (pixelsAt <= infoAt || pixelsAt > data.size()) throw EInvalidGraphic(InvalidBitmap);
    HBITMAP bmp = BitmapFromDib(data.data() + infoAt, pixelsAt - infoAt, data.data() + pixelsAt,
                                data.size() - pixelsAt);
    NewImage(bmp);
    Changed();
}

void TBitmap::SaveToStream(TStream* stream) {
    if (!FHandle) return;
    FreeContext();
    DIBSECTION ds{};
    int got = GetObjectA(FHandle, sizeof ds, &ds);
    bool isDib = got >= static_cast<int>(sizeof(DIBSECTION));
    int bits = ds.dsBm.bmBitsPixel;
    // DIB sections keep their depth (16 bits become 24, which every reader
    // knows); device bitmaps are written in 24 bits, or 1 when monochrome.
    if (isDib) {
        if (bits == 16) bits = 24;
    } else {
        bits = bits == 1 ? 1 : 24;
    }
    TBitmapInfo info;
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = FWidth;
    info.Header.biHeight = FHeight;
    info.Header.biPlanes = 1;
    info.Header.biBitCount = static_cast<WORD>(bits);
    info.Header.biCompression = BI_RGB;
    std::size_t colors = bits <= 8 ? (1u << bits) : 0;
    std::size_t stride = ((static_cast<std::size_t>(FWidth) * bits + 31) / 32) * 4;
    std::vector<unsigned char> pixels(stride * FHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    int lines = GetDIBits(dc, FHandle, 0, FHeight, pixels.data(), info.Get(), DIB_RGB_COLORS);
    DeleteDC(dc);
    if (lines != FHeight) throw EWriteError("ビットマップのビットを読み取れません.");
    info.Header.biClrUsed = static_cast<DWORD>(colors);
    info.Header.biSizeImage = static_cast<DWORD>(pixels.size());
    info.Header.biXPelsPerMeter = info.Header.biYPelsPerMeter = 3780;  // 96 dpi

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = static_cast<DWORD>(sizeof file + sizeof(BITMAPINFOHEADER) + colors * 4);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    stream->WriteBuffer(&file, sizeof file);
    stream->WriteBuffer(&info.Header, sizeof(BITMAPINFOHEADER));
    if (colors) stream->WriteBuffer(info.Colors, static_cast<int>(colors * 4));
    stream->WriteBuffer(pixels.data(), static_cast<int>(pixels.size()));
}

void TBitmap::LoadFromResourceName(HINSTANCE instance, const AnsiString& name) {
    auto bmp = static_cast<HBITMAP>(LoadImageA(instance, name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bmp) throw EResNotFound("リソース " + name + " が見つかりません.");
    NewImage(bmp);
    Changed();
}

void TBitmap::LoadFromResourceID(HINSTANCE instance, int id) {
    auto bmp = static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bmp) throw EResNotFound("リソース " + IntToStr(id) + " が見つかりません.");
    NewImage(bmp);
    Changed();
}

// ---- TIcon ----

FW_PUBLISH(TIcon)
FW_END_PUBLISH

namespace {

const char InvalidIcon[] = "アイコン イメージが無効です.";

// The image size of an icon; GetIconInfo's bitmap copies are freed here.
bool IconSize(HICON icon, int& width, int& height) {
    ICONINFO ii{};
    if (!icon || !GetIconInfo(icon, &ii)) return false;
    BITMAP bm{};
    if (ii.hbmColor) {
        GetObjectA(ii.hbmColor, sizeof bm, &bm);
        width = bm.bmWidth;
        height = bm.bmHeight;
    } else {
        // A monochrome icon's mask holds the AND and XOR halves one above the other.
        GetObjectA(ii.hbmMask, sizeof bm, &bm);
        width = bm.bmWidth;
        height = bm.bmHeight / 2;
    }
    if (ii.hbmColor) DeleteObject(ii.hbmColor);
    if (ii.hbmMask) DeleteObject(ii.hbmMask);
    return true;
}

#pragma pack(push, 1)
struct IconDir {
    WORD Reserved;
    WORD Type;
    WORD Count;
};
struct IconDirEntry {
    BYTE Width;
    BYTE Height;
    BYTE ColorCount;
    BYTE Reserved;
    WORD Planes;
    WORD BitCount;
    DWORD BytesInRes;
    DWORD ImageOffset;
};
#pragma pack(pop)

}  // namespace

TIcon::~TIcon() {
    if (FHandle) DestroyIcon(FHandle);
}

void TIcon::NewIcon(HICON value) {
    int w = 0, h = 0;
    if (value && !IconSize(value, w, h)) throw EInvalidGraphic(InvalidIcon);
    if (FHandle && FHandle != value) DestroyIcon(FHandle);
    FHandle = value;
    FWidth = w;
    FHeight = h;
}

void TIcon::SetHandle(HICON value) {
    if (value == FHandle) return;
    NewIcon(value);
    Changed();
}

HICON TIcon::ReleaseHandle() {
    HICON h = FHandle;
    FHandle = nullptr;
    FWidth = 0;
    FHeight = 0;
    if (h) Changed();
    return h;
}

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation("アイコンの大きさは変更できません."); }

void TIcon::SetHeight(int) { throw EInvalidGraphicOperation("アイコンの大きさは変更できません."); }

void TIcon::Assign(TPersistent* source) {
    if (!source) {
        if (FHandle) {
            NewIcon(nullptr);
            Changed();
        }
        return;
    }
    auto* icon = dynamic_cast<TIcon*>(source);
    if (!icon) {
        TGraphic::Assign(source);
        return;
    }
    if (icon == this) return;
    HICON copy = nullptr;
    if (icon->FHandle) {
        copy = CopyIcon(icon->FHandle);
        if (!copy) throw EOutOfResources("アイコンを複製できません.");
    }
    NewIcon(copy);
    Changed();
}

void TIcon::Draw(TCanvas* canvas, const TRect& rect) {
    if (!FHandle) return;
    DrawIconEx(canvas->Handle(), rect.Left, rect.Top, FHandle, rect.Width(), rect.Height(), 0, nullptr, DI_NORMAL);
}

void TIcon::LoadFromStream(TStream* stream) {
    std::vector<unsigned char> data = ReadRest(stream);
    if (data.size() < sizeof(IconDir)) throw EInvalidGraphic(InvalidIcon);
    auto dir = ReadAt<IconDir>(data, 0);
    if (dir.Reserved != 0 || dir.Type != 1 || dir.Count == 0 ||
        data.size() < sizeof(IconDir) + dir.Count * sizeof(IconDirEntry))
        throw EInvalidGraphic(InvalidIcon);
    // The image nearest the system's icon size, the deepest of those.
    int want = GetSystemMetrics(SM_CXICON);
    int best = -1, bestDiff = 0, bestBits = 0;
    for (int i = 0; i < dir.Count; ++i) {
        auto e = ReadAt<IconDirEntry>(data, sizeof(IconDir) + i * sizeof(IconDirEntry));
        if (static_cast<std::size_t>(e.ImageOffset) + e.BytesInRes > data.size() || e.BytesInRes == 0) continue;
        int w = e.Width ? e.Width : 256;
        int diff = w > want ? w - want : want - w;
        int bits = e.BitCount ? e.BitCount : 0;
        if (best < 0 || diff < bestDiff || (diff == bestDiff && bits > bestBits)) {
            best = i;
            bestDiff = diff;
            bestBits = bits;
        }
    }
    if (best < 0) throw EInvalidGraphic(InvalidIcon);
    auto e = ReadAt<IconDirEntry>(data, sizeof(IconDir) + best * sizeof(IconDirEntry));
    int w = e.Width ? e.Width : 256;
    int h = e.Height ? e.Height : 256;
    HICON icon = CreateIconFromResourceEx(data.data() + e.ImageOffset, e.BytesInRes, TRUE, 0x00030000, w, h,
                                          LR_DEFAULTCOLOR);
    if (!icon) throw EInvalidGraphic(InvalidIcon);
    NewIcon(icon);
    Changed();
}

void TIcon::SaveToStream(TStream* stream) {
    if (!FHandle) return;
    ICONINFO ii{};
    if (!GetIconInfo(FHandle, &ii)) throw EInvalidGraphic(InvalidIcon);
    // GetIconInfo's bitmaps are copies: free them on every way out.
    std::unique_ptr<void, decltype(&DeleteObject)> colorGuard(ii.hbmColor, &DeleteObject);
    std::unique_ptr<void, decltype(&DeleteObject)> maskGuard(ii.hbmMask, &DeleteObject);
    int w = FWidth, h = FHeight;
    HDC dc = CreateCompatibleDC(nullptr);
    std::vector<unsigned char> image;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = w;
    header.biHeight = h * 2;  // image and mask, as icon resources count it
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    std::size_t maskStride = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
    bool ok;
    if (ii.hbmColor) {
        // 32 bits with the AND mask after it.
        header.biBitCount = 32;
        TBitmapInfo info;
        info.Header = header;
        info.Header.biHeight = h;
        std::vector<unsigned char> color(static_cast<std::size_t>(w) * 4 * h);
        ok = GetDIBits(dc, ii.hbmColor, 0, h, color.data(), info.Get(), DIB_RGB_COLORS) == h;
        TBitmapInfo maskInfo;
        maskInfo.Header = header;
        maskInfo.Header.biHeight = h;
        maskInfo.Header.biBitCount = 1;
        std::vector<unsigned char> mask(maskStride * h);
        ok = ok && GetDIBits(dc, ii.hbmMask, 0, h, mask.data(), maskInfo.Get(), DIB_RGB_COLORS) == h;
        header.biSizeImage = static_cast<DWORD>(color.size() + mask.size());
        image.resize(sizeof header);
        std::memcpy(image.data(), &header, sizeof header);
        image.insert(image.end(), color.begin(), color.end());
        image.insert(image.end(), mask.begin(), mask.end());
    } else {
        // Monochrome: the mask bitmap is XOR below AND, which read bottom-up
        // is the XOR image followed by the AND mask.
        header.biBitCount = 1;
        TBitmapInfo info;
        info.Header = header;
        std::vector<unsigned char> both(maskStride * h * 2);
        ok = GetDIBits(dc, ii.hbmMask, 0, h * 2, both.data(), info.Get(), DIB_RGB_COLORS) == h * 2;
        header.biSizeImage = static_cast<DWORD>(both.size());
        RGBQUAD table[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        image.resize(sizeof header + sizeof table);
        std::memcpy(image.data(), &header, sizeof header);
        std::memcpy(image.data() + sizeof header, table, sizeof table);
        image.insert(image.end(), both.begin(), both.end());
    }
    DeleteDC(dc);
    if (!ok) throw EWriteError("アイコンのビットを読み取れません.");
    IconDir dir{0, 1, 1};
    IconDirEntry entry{};
    entry.Width = static_cast<BYTE>(w >= 256 ? 0 : w);
    entry.Height = static_cast<BYTE>(h >= 256 ? 0 : h);
    entry.Planes = 1;
    entry.BitCount = header.biBitCount;
    entry.BytesInRes = static_cast<DWORD>(image.size());
    entry.ImageOffset = sizeof dir + sizeof entry;
    stream->WriteBuffer(&dir, sizeof dir);
    stream->WriteBuffer(&entry, sizeof entry);
    stream->WriteBuffer(image.data(), static_cast<int>(image.size()));
}

void TIcon::LoadFromResourceName(HINSTANCE instance, const AnsiString& name, int size) {
    auto icon = static_cast<HICON>(
        LoadImageA(instance, name.c_str(), IMAGE_ICON, size, size, size == 0 ? LR_DEFAULTSIZE : 0));
    if (!icon) throw EResNotFound("リソース " + name + " が見つかりません.");
    NewIcon(icon);
    Changed();
}

void TIcon::LoadFromResourceID(HINSTANCE instance, int id, int size) {
    auto icon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, size == 0 ? LR_DEFAULTSIZE : 0));
    if (!icon) throw EResNotFound("リソース " + IntToStr(id) + " が見つかりません.");
    NewIcon(icon);
    Changed();
}

// ---- TPicture ----

FW_PUBLISH(TPicture)
FW_END_PUBLISH

TPicture::~TPicture() { delete FGraphic; }

void TPicture::Take(TGraphic* graphic) {
    delete FGraphic;
    FGraphic = graphic;
    if (FGraphic) FGraphic->OnChange = MakeEvent<&TPicture::GraphicChanged>(this);
    Changed();
}

void TPicture::GraphicChanged(TObject*) { Changed(); }

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(TGraphic* value) {
    if (value == FGraphic) return;
    if (!value) {
        Take(nullptr);
        return;
    }
    std::unique_ptr<TGraphic> copy;
    if (dynamic_cast<TBitmap*>(value)) copy = std::make_unique<TBitmap>();
    else if (dynamic_cast<TIcon*>(value)) copy = std::make_unique<TIcon>();
    else throw EInvalidGraphic(value->ClassName() + " は画像として扱えません.");
    copy->Assign(value);
    Take(copy.release());
}

TBitmap* TPicture::Bitmap() {
    if (!dynamic_cast<TBitmap*>(FGraphic)) Take(new TBitmap);
    return static_cast<TBitmap*>(FGraphic);
}

TIcon* TPicture::Icon() {
    if (!dynamic_cast<TIcon*>(FGraphic)) Take(new TIcon);
    return static_cast<TIcon*>(FGraphic);
}

void TPicture::Assign(TPersistent* source) {
    if (!source) {
        Take(nullptr);
    } else if (auto* picture = dynamic_cast<TPicture*>(source)) {
        if (picture != this) SetGraphic(picture->FGraphic);
    } else if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        SetGraphic(graphic);
    } else {
        TPersistent::Assign(source);
    }
}

void TPicture::LoadFromFile(const AnsiString& fileName) {
    AnsiString ext = LowerCase(ExtractFileExt(fileName));
    std::unique_ptr<TGraphic> graphic;
    if (ext == ".bmp") graphic = std::make_unique<TBitmap>();
    else if (ext == ".ico") graphic = std::make_unique<TIcon>();
    else throw EInvalidGraphic("不明な画像ファイルの拡張子です (" + ext + ").");
    graphic->LoadFromFile(fileName);
    Take(graphic.release());
}

void TPicture::SaveToFile(const AnsiString& fileName) {
    if (!FGraphic) throw EInvalidGraphicOperation("保存する画像がありません.");
    FGraphic->SaveToFile(fileName);
}

}  // namespace Fw
