// The Kit gallery: one window with a page for each unit of the library.
#include <windows.h>

#include "demo/Gallery.h"
#include "framework/Application.h"

using namespace Fw;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        Application->Initialize();
        Application->SetTitle("Kit ギャラリー");
        Application->CreateForm(Gallery::GalleryForm);
        Application->Run();
    } catch (Exception& e) {
        Application->ShowException(&e);
    }
    return 0;
}
