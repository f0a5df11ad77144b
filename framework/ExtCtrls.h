// More controls: pictures and panels.
#pragma once

#include "framework/StdCtrls.h"

namespace Fw {

// Shows a picture (an icon or a bitmap) at its own size, centred or
// stretched over the control.
class TImage : public TGraphicControl {
public:
    FW_CLASS(TImage, TGraphicControl)
    explicit TImage(TComponent* owner);
    ~TImage() override;

    TPicture* Picture() const { return FPicture; }
    // Copies value's picture.
    void SetPicture(TPicture* value) { FPicture->Assign(value); }
    bool Center() const { return FCenter; }
    void SetCenter(bool value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    // The control takes the picture's size whenever the picture changes.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);

    // Where the picture lands inside the control.
    TRect DestRect() const;

protected:
    void Paint() override;

private:
    void PictureChanged(TObject* sender);

    TPicture* FPicture;
    bool FCenter = false;
    bool FStretch = false;
    bool FAutoSize = false;
};

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };
FW_ENUM_INFO(TPanelBevel, "bvNone", "bvLowered", "bvRaised", "bvSpace")

// A window that holds other controls, with bevels and a caption.
class TPanel : public TCustomControl {
public:
    FW_CLASS(TPanel, TCustomControl)
    explicit TPanel(TComponent* owner);

    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel value);
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel value);
    int BevelWidth() const { return FBevelWidth; }
    // At least 1 (EInvalidOperation).
    void SetBevelWidth(int value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);

protected:
    void Paint() override;
    void TextChanged() override { Invalidate(); }

private:
    TPanelBevel FBevelInner = bvNone;
    TPanelBevel FBevelOuter = bvRaised;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    TAlignment FAlignment = taCenter;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(ExtCtrls)

}  // namespace Fw
