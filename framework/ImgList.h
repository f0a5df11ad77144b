// Image lists: many small pictures of one size in one common-controls list,
// drawn by index.
#pragma once

#include "framework/Graphics.h"

#include <commctrl.h>

namespace Fw {

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
FW_ENUM_INFO(TDrawingStyle, "dsFocus", "dsSelected", "dsNormal", "dsTransparent")

enum TImageType { itImage, itMask };
FW_ENUM_INFO(TImageType, "itImage", "itMask")

// Indexes count from 0; an index outside the list raises EListError.
class TCustomImageList : public TComponent {
public:
    FW_CLASS(TCustomImageList, TComponent)
    explicit TCustomImageList(TComponent* owner);
    // Destroys the list unless ShareImages says it belongs to someone else.
    ~TCustomImageList() override;

    void Assign(TPersistent* source) override;

    // ImageList_Create(Width, Height, ILC_COLOR24 | ILC_MASK) on first use.
    HIMAGELIST Handle();
    // Takes value over (its image size becomes Width and Height); the old
    // list is destroyed unless shared.
    void SetHandle(HIMAGELIST value);
    bool HandleAllocated() const { return FHandle != nullptr; }

    // Image size in pixels, at least 1. A new size empties the list.
    int Width() const { return FWidth; }
    void SetWidth(int value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    int Count() const;

    int AllocBy() const { return FAllocBy; }
    void SetAllocBy(int value) { FAllocBy = value < 1 ? 1 : value; }
    // Filled behind the images by Draw; clNone draws them transparent.
    TColor BkColor() const { return FBkColor; }
    void SetBkColor(TColor value);
    // Mixed into images drawn in dsFocus or dsSelected style; clNone means
    // the highlight colour.
    TColor BlendColor() const { return FBlendColor; }
    void SetBlendColor(TColor value);
    TDrawingStyle DrawingStyle() const { return FDrawingStyle; }
    void SetDrawingStyle(TDrawingStyle value);
    TImageType ImageType() const { return FImageType; }
    void SetImageType(TImageType value);
    // Whether images keep a mask (transparent parts). A change empties the list.
    bool Masked() const { return FMasked; }
    void SetMasked(bool value);
    // The list belongs to someone else and outlives this component.
    bool ShareImages() const { return FShareImages; }
    void SetShareImages(bool value) { FShareImages = value; }

    // Each returns the new image's index. A wider picture adds one image for
    // each Width pixels. mask may be null (no transparent parts).
    int Add(TBitmap* image, TBitmap* mask);
    // The pixels of maskColor become transparent.
    int AddMasked(TBitmap* image, TColor maskColor);
    int AddIcon(TIcon* icon);
    // Appends every image of another list (stretched when sizes differ).
    void AddImages(TCustomImageList* value);
    void Insert(int index, TBitmap* image, TBitmap* mask);
    void InsertIcon(int index, TIcon* icon);
    void Replace(int index, TBitmap* image, TBitmap* mask);
    void ReplaceIcon(int index, TIcon* icon);
    void Move(int curIndex, int newIndex);
    void Delete(int index);
    void Clear();

    // Image index drawn on a bitmap of Width x Height (image over BkColor,
    // or over clBtnFace when BkColor is clNone); the icon with its mask.
    void GetBitmap(int index, TBitmap* image);
    void GetIcon(int index, TIcon* icon);

    // Draws image index with its top-left corner at (x, y) in DrawingStyle
    // and ImageType. A disabled image is drawn greyed.
    void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
    void Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
              bool enabled = true);
    // Draws image index stretched to fill dest, through its mask: the images
    // are drawn at their own size unless a program asks for another (a
    // higher resolution). A dest of the images' size draws as Draw does.
    void StretchDraw(TCanvas* canvas, const TRect& dest, int index);

    // Fired after every change of the images or their size.
    TNotifyEvent OnChange;

protected:
    virtual void Change();
    // The images are stored with the component as one strip of pixels and
    // one of masks, under the property name "Bitmap".
    void DefineProperties(TFiler* filer) override;

private:
    void CheckIndex(int index, bool allowEnd = false) const;
    void FreeHandle();
    void Recreate();
    void ReadData(TStream* stream);
    void WriteData(TStream* stream);

    HIMAGELIST FHandle = nullptr;
    int FWidth = 16;
    int FHeight = 16;
    int FAllocBy = 4;
    TColor FBkColor = clNone;
    TColor FBlendColor = clNone;
    TDrawingStyle FDrawingStyle = dsNormal;
    TImageType FImageType = itImage;
    bool FMasked = true;
    bool FShareImages = false;
};

class TImageList : public TCustomImageList {
public:
    FW_CLASS(TImageList, TCustomImageList)
    explicit TImageList(TComponent* owner) : TCustomImageList(owner) {}
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(ImgList)

}  // namespace Fw
