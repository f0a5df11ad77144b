// The gallery's window: a page control with a page for each unit of Kit.
// The pages themselves (GalleryPage.h) are placed in the window's form text
// and found by their class names; each is a file of its own.
#pragma once

#include "framework/ComCtrls.h"
#include "framework/Forms.h"

namespace Gallery {

class TGalleryForm : public Fw::TForm {
public:
    FW_CLASS(TGalleryForm, Fw::TForm)
    explicit TGalleryForm(Fw::TComponent* owner) : TForm(owner) {}

    Fw::TPageControl* PageControl1 = nullptr;

    // Lets each page finish what its form text cannot, and stands beside a
    // gallery already running.
    void FormCreate(Fw::TObject* Sender);
};

extern TGalleryForm* GalleryForm;

}  // namespace Gallery
