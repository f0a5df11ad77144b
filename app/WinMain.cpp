// The program's entry: one copy at a time, the two windows, the message loop.
#include <windows.h>

#include "app/Main.h"
#include "app/Versioninfo.h"
#include "framework/Application.h"

using namespace Fw;
using namespace Velmora;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        // Creating the mutex and learning that it was there already is one
        // step: two copies started together cannot both find no mutex and
        // both go on. A mutex of that name made by any process blocks the
        // start; one this user may not open (another user's, in the same
        // name space) as well. Never closed: it lives as long as the process.
        SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
        HANDLE mutex = CreateMutexA(&attributes, TRUE, "Velmora");
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED)) {
            ShowMessage("Velmoraはすでに起動しています。複数起動はできません。");
            return 0;
        }

        Application->Initialize();
        Application->SetTitle("Velmora");
        Application->CreateForm(Form1);
        Application->CreateForm(Form2);
        // No taskbar button: only the tray icon shows.
        ShowWindow(Application->Handle(), SW_HIDE);
        Application->SetShowMainForm(false);
        Application->SetShowHint(true);
        Application->Run();
    } catch (Exception& e) {
        Application->ShowException(&e);
    }
    return 0;
}
