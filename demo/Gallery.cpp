#include "demo/Gallery.h"

#include "demo/GalleryPage.h"

namespace Gallery {

using namespace Fw;

TGalleryForm* GalleryForm = nullptr;

FW_PUBLISH(TGalleryForm)
    .Field("PageControl1", &TGalleryForm::PageControl1)
    .Method<&TGalleryForm::FormCreate>("FormCreate")
FW_END_PUBLISH

void TGalleryForm::FormCreate(TObject*) {
    for (int i = 0; i < PageControl1->PageCount(); ++i)
        if (auto* page = dynamic_cast<TGalleryPage*>(PageControl1->Pages(i))) page->PageCreate();
    PlaceBesideAnother(this);
}

}  // namespace Gallery
