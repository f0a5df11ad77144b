// The program's entry: one copy at a time, the two windows, the message loop.
#include <windows.h>

#include "app/Main.h"
#include "app/Versioninfo.h"
#include "framework/Application.h"

using namespace Fw;
using namespace Velmora;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        // Opening, not creating, is the test: a mutex of that name made by
        // any process blocks a second start.
        if (OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "Velmora")) {
            ShowMessage("Velmoraはすでに起動しています。複数起動はできません。");
            return 0;
        }
        // Never closed: the mutex lives as long as the process.
        SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
        CreateMutexA(&attributes, TRUE, "Velmora");

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
