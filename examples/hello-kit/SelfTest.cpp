// `hello-kit --self-test`, run once by the library's own tests: the program
// drops a file of a new folder on its list, as the shell would, then writes a
// second file there, and ends with status 0 when the observer reports it
// (status 1 if nothing arrives within 30 s). Not needed by a program of your
// own.
#include <shlobj.h>

#include <cstring>

#include "HelloKit.h"
#include "framework/Application.h"
#include "framework/SysUtils.h"

namespace Hello {

using namespace Fw;

namespace {

const UINT_PTR SelfTestTimer = 1;

void WriteSmallFile(const AnsiString& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseLastOSError();
    DWORD written = 0;
    WriteFile(file, "Hello, Kit\r\n", 12, &written, nullptr);
    CloseHandle(file);
}

// What the shell passes with WM_DROPFILES: a DROPFILES header, then the
// names, each ended by a zero, and one more zero. The receiver frees it.
HGLOBAL DropBlock(const AnsiString& name) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + name.size() + 2);
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->pt = POINT{20, 20};
    std::memcpy(reinterpret_cast<char*>(header + 1), name.c_str(), name.size());
    GlobalUnlock(block);
    return block;
}

void CALLBACK SelfTestTimedOut(HWND, UINT, UINT_PTR, DWORD) { HelloForm->EndSelfTest(1); }

}  // namespace

void THelloForm::StartSelfTest() {
    FSelfTest = true;
    ExitStatus = 1;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    FSelfTestFolder = IncludeTrailingBackslash(temp) + "hello-kit-" + IntToStr(GetCurrentProcessId());
    CreateDirectoryA(FSelfTestFolder.c_str(), nullptr);
    WriteSmallFile(FSelfTestFolder + "\\dropped.txt");
    SetTimer(Handle(), SelfTestTimer, 30000, SelfTestTimedOut);
    // Handled once the message loop runs, with the window shown.
    PostMessageA(DropList->Handle(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(DropBlock(FSelfTestFolder + "\\dropped.txt")), 0);
}

// The drop has set the observer on the folder: a new file there is a change.
void THelloForm::SelfTestStep() {
    if (DropList->Items()->Count() != 1) return EndSelfTest(1);
    WriteSmallFile(FSelfTestFolder + "\\changed.txt");
}

void THelloForm::EndSelfTest(int status) {
    if (!FSelfTest) return;
    FSelfTest = false;
    KillTimer(Handle(), SelfTestTimer);
    PathObserver1->SetActive(false);
    DeleteFileA((FSelfTestFolder + "\\dropped.txt").c_str());
    DeleteFileA((FSelfTestFolder + "\\changed.txt").c_str());
    RemoveDirectoryA(FSelfTestFolder.c_str());
    ExitStatus = status;
    Close();
}

}  // namespace Hello
