#include "framework/ImgList.h"

#include <cstdint>
#include <memory>

#include "framework/Filer.h"
#include "framework/Streams.h"

namespace Fw {

FW_UNIT_BEGIN(ImgList)
    .Classes<TCustomImageList, TImageList>()
FW_UNIT_END

FW_PUBLISH(TCustomImageList)
FW_END_PUBLISH

FW_PUBLISH(TImageList)
    .Property("AllocBy", &TImageList::AllocBy, &TImageList::SetAllocBy).Default(4)
    .Property("BkColor", &TImageList::BkColor, &TImageList::SetBkColor).Default(clNone)
    .Property("BlendColor", &TImageList::BlendColor, &TImageList::SetBlendColor).Default(clNone)
    .Property("Count", &TImageList::Count, nullptr).Stored(false)
    .Property("DrawingStyle", &TImageList::DrawingStyle, &TImageList::SetDrawingStyle).Default(dsNormal)
    .Property("Height", &TImageList::Height, &TImageList::SetHeight).Default(16)
    .Property("ImageType", &TImageList::ImageType, &TImageList::SetImageType).Default(itImage)
    .Property("Masked", &TImageList::Masked, &TImageList::SetMasked).Default(true)
    .Property("ShareImages", &TImageList::ShareImages, &TImageList::SetShareImages).Default(false)
    .Property("Width", &TImageList::Width, &TImageList::SetWidth).Default(16)
    .Property("OnChange", &TImageList::OnChange, &TImageList::OnChange)
FW_END_PUBLISH

namespace {

void InitControls() {
    static const bool done = (InitCommonControls(), true);
    (void)done;
}

COLORREF ListColor(TColor color) { return color == clNone ? CLR_NONE : ColorToRGB(color); }

}  // namespace

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) {}

TCustomImageList::~TCustomImageList() { FreeHandle(); }

void TCustomImageList::FreeHandle() {
    if (FHandle && !FShareImages) ImageList_Destroy(FHandle);
    FHandle = nullptr;
}

HIMAGELIST TCustomImageList::Handle() {
    if (!FHandle) {
        InitControls();
        FHandle = ImageList_Create(FWidth, FHeight, ILC_COLOR24 | (FMasked ? ILC_MASK : 0), FAllocBy, FAllocBy);
        if (!FHandle) throw EOutOfResources("イメージリストを作成できません.");
        ImageList_SetBkColor(FHandle, ListColor(FBkColor));
    }
    return FHandle;
}

void TCustomImageList::SetHandle(HIMAGELIST value) {
    if (value == FHandle) return;
    int w = FWidth, h = FHeight;
    if (value && !ImageList_GetIconSize(value, &w, &h)) throw EOutOfResources("イメージリストのハンドルが無効です.");
    FreeHandle();
    FHandle = value;
    FWidth = w;
    FHeight = h;
    if (FHandle) FBkColor = [](COLORREF c) { return c == CLR_NONE ? clNone : static_cast<TColor>(c); }(ImageList_GetBkColor(FHandle));
    Change();
}

int TCustomImageList::Count() const { return FHandle ? ImageList_GetImageCount(FHandle) : 0; }

void TCustomImageList::Change() {
    if (OnChange) OnChange(this);
}

void TCustomImageList::CheckIndex(int index, bool allowEnd) const {
    int limit = Count() + (allowEnd ? 1 : 0);
    if (index < 0 || index >= limit)
        throw EListError("イメージリストのインデックスが範囲を超えています (" + IntToStr(index) + ").");
}

void TCustomImageList::Recreate() {
    FreeHandle();
    Change();
}

void TCustomImageList::SetWidth(int value) {
    if (value < 1) throw EInvalidGraphicOperation("イメージリストの大きさが無効です (" + IntToStr(value) + ").");
    if (value == FWidth) return;
    FWidth = value;
    // A list's images all have one size: a new size starts an empty list.
    if (FHandle) ImageList_SetIconSize(FHandle, FWidth, FHeight);
    Change();
}

void TCustomImageList::SetHeight(int value) {
    if (value < 1) throw EInvalidGraphicOperation("イメージリストの大きさが無効です (" + IntToStr(value) + ").");
    if (value == FHeight) return;
    FHeight = value;
    if (FHandle) ImageList_SetIconSize(FHandle, FWidth, FHeight);
    Change();
}

void TCustomImageList::SetBkColor(TColor value) {
    if (value == FBkColor) return;
    FBkColor = value;
    if (FHandle) ImageList_SetBkColor(FHandle, ListColor(value));
    Change();
}

void TCustomImageList::SetBlendColor(TColor value) {
    if (value == FBlendColor) return;
    FBlendColor = value;
    Change();
}

void TCustomImageList::SetDrawingStyle(TDrawingStyle value) {
    if (value == FDrawingStyle) return;
    FDrawingStyle = value;
    Change();
}

void TCustomImageList::SetImageType(TImageType value) {
    if (value == FImageType) return;
    FImageType = value;
    Change();
}

void TCustomImageList::SetMasked(bool value) {
    if (value == FMasked) return;
    FMasked = value;
    // The mask is part of how the list was made.
    if (FHandle) Recreate();
}

void TCustomImageList::Assign(TPersistent* source) {
    if (!source) {
        Clear();
        return;
    }
    auto* list = dynamic_cast<TCustomImageList*>(source);
    if (!list) {
        TComponent::Assign(source);
        return;
    }
    if (list == this) return;
    HIMAGELIST copy = nullptr;
    if (list->FHandle) {
        copy = ImageList_Duplicate(list->FHandle);
        if (!copy) throw EOutOfResources("イメージリストを複製できません.");
    }
    FreeHandle();
    FHandle = copy;
    FWidth = list->FWidth;
    FHeight = list->FHeight;
    FAllocBy = list->FAllocBy;
    FBkColor = list->FBkColor;
    FBlendColor = list->FBlendColor;
    FDrawingStyle = list->FDrawingStyle;
    FImageType = list->FImageType;
    FMasked = list->FMasked;
    FShareImages = false;  // the copy is this list's own
    Change();
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
    if (!image || image->Empty()) throw EInvalidGraphicOperation("イメージリストに追加する画像がありません.");
    HIMAGELIST list = Handle();
    // The list copies through DCs of its own, which cannot select a bitmap
    // that a canvas still holds.
    image->FreeContext();
    if (mask) mask->FreeContext();
    int index = ImageList_Add(list, image->Handle(), mask ? mask->Handle() : nullptr);
    if (index < 0) throw EOutOfResources("イメージリストに画像を追加できません.");
    Change();
    return index;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
    if (!image || image->Empty()) throw EInvalidGraphicOperation("イメージリストに追加する画像がありません.");
    if (!FMasked) return Add(image, nullptr);
    HIMAGELIST list = Handle();
    // ImageList_AddMasked blackens the masked pixels of the bitmap it is
    // given; the caller's bitmap stays as it was.
    TBitmap copy;
    copy.Assign(image);
    copy.FreeContext();
    int index = ImageList_AddMasked(list, copy.Handle(), ColorToRGB(maskColor));
    if (index < 0) throw EOutOfResources("イメージリストに画像を追加できません.");
    Change();
    return index;
}

int TCustomImageList::AddIcon(TIcon* icon) {
    if (!icon || icon->Empty()) throw EInvalidGraphicOperation("イメージリストに追加するアイコンがありません.");
    int index = ImageList_AddIcon(Handle(), icon->Handle());
    if (index < 0) throw EOutOfResources("イメージリストにアイコンを追加できません.");
    Change();
    return index;
}

void TCustomImageList::AddImages(TCustomImageList* value) {
    if (!value || value == this) return;
    int n = value->Count();
    for (int i = 0; i < n; ++i) {
        HICON icon = ImageList_GetIcon(value->Handle(), i, ILD_NORMAL);
        if (!icon) throw EOutOfResources("イメージを取り出せません.");
        int index = ImageList_AddIcon(Handle(), icon);
        DestroyIcon(icon);
        if (index < 0) throw EOutOfResources("イメージリストにアイコンを追加できません.");
    }
    if (n) Change();
}

void TCustomImageList::Move(int curIndex, int newIndex) {
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    if (curIndex == newIndex) return;
    HIMAGELIST list = Handle();
    // Copies only (ILCF_SWAP is not dependable everywhere): the image waits
    // in a scratch slot at the end while its neighbours shift over.
    int scratch = Count();
    if (!ImageList_SetImageCount(list, scratch + 1)) throw EOutOfResources("イメージを移動できません.");
    ImageList_Copy(list, scratch, list, curIndex, ILCF_MOVE);
    int step = curIndex < newIndex ? 1 : -1;
    for (int i = curIndex; i != newIndex; i += step) ImageList_Copy(list, i, list, i + step, ILCF_MOVE);
    ImageList_Copy(list, newIndex, list, scratch, ILCF_MOVE);
    ImageList_Remove(list, scratch);
    Change();
}

void TCustomImageList::Insert(int index, TBitmap* image, TBitmap* mask) {
    CheckIndex(index, true);
    int added = Add(image, mask);
    // A wide picture may have added several images; move each into place.
    for (int i = added, at = index; i < Count(); ++i, ++at) Move(i, at);
}

void TCustomImageList::InsertIcon(int index, TIcon* icon) {
    CheckIndex(index, true);
    int added = AddIcon(icon);
    Move(added, index);
}

void TCustomImageList::Replace(int index, TBitmap* image, TBitmap* mask) {
    CheckIndex(index);
    if (!image || image->Empty()) throw EInvalidGraphicOperation("イメージリストに追加する画像がありません.");
    image->FreeContext();
    if (mask) mask->FreeContext();
    if (!ImageList_Replace(Handle(), index, image->Handle(), mask ? mask->Handle() : nullptr))
        throw EOutOfResources("イメージを置き換えられません.");
    Change();
}

void TCustomImageList::ReplaceIcon(int index, TIcon* icon) {
    CheckIndex(index);
    if (!icon || icon->Empty()) throw EInvalidGraphicOperation("イメージリストに追加するアイコンがありません.");
    if (ImageList_ReplaceIcon(Handle(), index, icon->Handle()) < 0)
        throw EOutOfResources("イメージを置き換えられません.");
    Change();
}

void TCustomImageList::Delete(int index) {
    CheckIndex(index);
    ImageList_Remove(FHandle, index);
    Change();
}

void TCustomImageList::Clear() {
    if (!FHandle || Count() == 0) return;
    ImageList_Remove(FHandle, -1);
    Change();
}

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
    CheckIndex(index);
    if (!image) throw EInvalidGraphicOperation("ビットマップがありません.");
    image->SetSize(FWidth, FHeight);
    TCanvas* canvas = image->Canvas();
    canvas->Brush()->SetColor(FBkColor == clNone ? clBtnFace : FBkColor);
    canvas->FillRect(Rect(0, 0, FWidth, FHeight));
    ImageList_Draw(FHandle, index, canvas->Handle(), 0, 0, ILD_NORMAL);
}

void TCustomImageList::GetIcon(int index, TIcon* icon) {
    CheckIndex(index);
    if (!icon) throw EInvalidGraphicOperation("アイコンがありません.");
    HICON h = ImageList_GetIcon(FHandle, index, ILD_NORMAL);
    if (!h) throw EOutOfResources("イメージを取り出せません.");
    icon->SetHandle(h);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
    Draw(canvas, x, y, index, FDrawingStyle, FImageType, enabled);
}

void TCustomImageList::StretchDraw(TCanvas* canvas, const TRect& dest, int index) {
    if (dest.Width() == FWidth && dest.Height() == FHeight) {
        Draw(canvas, dest.Left, dest.Top, index);
        return;
    }
    if (!canvas) throw EInvalidGraphicOperation("キャンバスがありません.");
    CheckIndex(index);
    // An icon of the image carries its mask, and an icon is drawn at any size.
    HICON icon = ImageList_GetIcon(FHandle, index, ILD_NORMAL);
    if (!icon) RaiseLastOSError();
    auto release = OnScopeExit([icon] { DestroyIcon(icon); });
    DrawIconEx(canvas->Handle(), dest.Left, dest.Top, icon, dest.Width(), dest.Height(), 0, nullptr, DI_NORMAL);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
                            bool enabled) {
    if (!canvas) throw EInvalidGraphicOperation("キャンバスがありません.");
    CheckIndex(index);
    HDC dc = canvas->Handle();
    if (enabled) {
        UINT flags = type == itMask ? ILD_MASK : ILD_NORMAL;
        switch (style) {
            case dsFocus: flags |= ILD_FOCUS; break;
            case dsSelected: flags |= ILD_SELECTED; break;
            case dsTransparent: flags |= ILD_TRANSPARENT; break;
            case dsNormal: break;
        }
        COLORREF blend = FBlendColor == clNone ? CLR_DEFAULT : ColorToRGB(FBlendColor);
        ImageList_DrawEx(FHandle, index, dc, x, y, 0, 0, CLR_DEFAULT, blend, flags);
        return;
    }
    // Disabled: the image in washed-out greys, so that its details stay
    // readable, laid over the target through its own mask.
    TBitmap grey(FWidth, FHeight, pf32bit);
    TBitmap mask(FWidth, FHeight, pf32bit);
    HDC greyDC = grey.Canvas()->Handle();
    HDC maskDC = mask.Canvas()->Handle();
    PatBlt(greyDC, 0, 0, FWidth, FHeight, BLACKNESS);
    ImageList_DrawEx(FHandle, index, greyDC, 0, 0, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_TRANSPARENT);
    // The mask drawn in colour: white where the image is transparent.
    SetTextColor(maskDC, RGB(0, 0, 0));
    ::SetBkColor(maskDC, RGB(255, 255, 255));
    // White first: some implementations AND the mask onto what is there.
    PatBlt(maskDC, 0, 0, FWidth, FHeight, FMasked ? WHITENESS : BLACKNESS);
    if (FMasked) ImageList_DrawEx(FHandle, index, maskDC, 0, 0, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_MASK);
    grey.FreeContext();
    mask.FreeContext();
    DIBSECTION gs{}, ms{};
    GetObjectA(grey.Handle(), sizeof gs, &gs);
    GetObjectA(mask.Handle(), sizeof ms, &ms);
    auto* gp = static_cast<std::uint32_t*>(gs.dsBm.bmBits);
    auto* mp = static_cast<const std::uint32_t*>(ms.dsBm.bmBits);
    for (int i = 0, n = FWidth * FHeight; i < n; ++i) {
        if ((mp[i] & 0xFFFFFF) != 0) {
            gp[i] = 0;  // transparent: adds nothing when ORed onto the target
            continue;
        }
        std::uint32_t c = gp[i];
        std::uint32_t luma = (((c >> 16) & 0xFF) * 30 + ((c >> 8) & 0xFF) * 59 + (c & 0xFF) * 11) / 100;
        std::uint32_t v = 112 + luma / 2;
        gp[i] = (v << 16) | (v << 8) | v;
    }
    // AND with the mask clears the image's place; OR puts the greys there.
    BitBlt(dc, x, y, FWidth, FHeight, mask.Canvas()->Handle(), 0, 0, SRCAND);
    BitBlt(dc, x, y, FWidth, FHeight, grey.Canvas()->Handle(), 0, 0, SRCPAINT);
}

// ---- Storage with the component ----

void TCustomImageList::DefineProperties(TFiler* filer) {
    TComponent::DefineProperties(filer);
    filer->DefineBinaryProperty("Bitmap", MakeEvent<&TCustomImageList::ReadData>(this),
                                MakeEvent<&TCustomImageList::WriteData>(this), Count() > 0);
}

namespace {

void WritePicture(TStream* stream, TBitmap* bitmap) {
    TMemoryStream data;
    bitmap->SaveToStream(&data);
    std::int32_t size = static_cast<std::int32_t>(data.Size());
    stream->WriteBuffer(&size, sizeof size);
    stream->WriteBuffer(data.Memory(), size);
}

void ReadPicture(TStream* stream, TBitmap* bitmap) {
    std::int32_t size = 0;
    stream->ReadBuffer(&size, sizeof size);
    if (size <= 0 || size > stream->Size() - stream->Position())
        throw EReadError("イメージリストのデータが壊れています.");
    TMemoryStream data;
    data.SetSize(size);
    stream->ReadBuffer(data.Memory(), size);
    data.SetPosition(0);
    bitmap->LoadFromStream(&data);
}

}  // namespace

// Layout: image count, then the images side by side as a 24-bit .bmp and
// their masks likewise as a 1-bit .bmp, each .bmp preceded by its size.
void TCustomImageList::WriteData(TStream* stream) {
    std::int32_t n = Count();
    stream->WriteBuffer(&n, sizeof n);
    if (n == 0) return;
    TBitmap images(FWidth * n, FHeight, pf24bit);
    TBitmap masks(FWidth * n, FHeight, pf1bit);
    HDC imageDC = images.Canvas()->Handle();
    HDC maskDC = masks.Canvas()->Handle();
    for (int i = 0; i < n; ++i) {
        // Transparent parts read black in the image, white in the mask, as
        // ImageList_Add wants them back.
        ImageList_DrawEx(FHandle, i, imageDC, i * FWidth, 0, 0, 0, RGB(0, 0, 0), CLR_NONE, ILD_NORMAL);
        if (FMasked) ImageList_DrawEx(FHandle, i, maskDC, i * FWidth, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK);
    }
    if (!FMasked) PatBlt(maskDC, 0, 0, FWidth * n, FHeight, BLACKNESS);
    WritePicture(stream, &images);
    WritePicture(stream, &masks);
}

void TCustomImageList::ReadData(TStream* stream) {
    std::int32_t n = 0;
    stream->ReadBuffer(&n, sizeof n);
    if (n < 0) throw EReadError("イメージリストのデータが壊れています.");
    TBitmap images, masks;
    if (n > 0) {
        ReadPicture(stream, &images);
        ReadPicture(stream, &masks);
        if (images.Width() != FWidth * n || images.Height() != FHeight)
            throw EReadError("イメージリストのデータが壊れています.");
    }
    // Everything is read before the old images go.
    HIMAGELIST list = Handle();
    ImageList_Remove(list, -1);
    if (n > 0) {
        images.FreeContext();
        masks.FreeContext();
        if (ImageList_Add(list, images.Handle(), FMasked ? masks.Handle() : nullptr) < 0)
            throw EOutOfResources("イメージリストに画像を追加できません.");
    }
    Change();
}

}  // namespace Fw
