#include "demo/GalleryPage.h"

#include <algorithm>

#include "framework/Application.h"
#include "framework/Filer.h"

namespace Gallery {

using namespace Fw;

FW_PUBLISH(TGalleryPage)
FW_END_PUBLISH

void TGalleryPage::ParentChanged() {
    TTabSheet::ParentChanged();
    if (FLayoutRead || !Parent()) return;
    FLayoutRead = true;
    ReadComponentRes(this);
}

TCustomForm* TGalleryPage::Form() const { return dynamic_cast<TCustomForm*>(Owner()); }

void Log(TListBox* list, const AnsiString& text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    AddLine(list, Format("%02u:%02u:%02u.%03u  ", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds) + text);
}

void AddLine(TListBox* list, const AnsiString& text) { list->MakeVisible(list->Items()->Add(text)); }

AnsiString GalleryFolder(const AnsiString& name) {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    const AnsiString folder = AnsiString(temp) + "KitGallery";
    CreateDirectoryA(folder.c_str(), nullptr);
    return name.empty() ? folder : folder + "\\" + name;
}

namespace {

RECT WorkArea() {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

struct TOtherGallery {
    HWND Self;
    AnsiString ClassName;
    HWND Found;
};

BOOL CALLBACK FindOtherGallery(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<TOtherGallery*>(param);
    if (wnd == search->Self || !IsWindowVisible(wnd)) return TRUE;
    char className[64] = "";
    GetClassNameA(wnd, className, sizeof className);
    if (search->ClassName != className) return TRUE;
    search->Found = wnd;
    return FALSE;
}

}  // namespace

void StartAnotherGallery(TCustomForm* form) {
    const RECT area = WorkArea();
    const int middle = (area.left + area.right) / 2;
    if (form->Left() + form->Width() > middle) form->SetLeft(std::max<int>(area.left, middle - form->Width()));
    AnsiString program = Application->ExeName();
    AnsiString command = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        RaiseLastOSError();
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

void PlaceBesideAnother(TCustomForm* form) {
    TOtherGallery search{form->HandleAllocated() ? form->Handle() : nullptr, form->ClassName(), nullptr};
    EnumWindows(FindOtherGallery, reinterpret_cast<LPARAM>(&search));
    RECT other;
    if (!search.Found || !GetWindowRect(search.Found, &other)) return;
    const RECT area = WorkArea();
    // To the right of the other, overlapping it a little where the screen
    // is just too narrow; where even that would hide half of it, a step
    // down and to the right.
    const int width = form->Width(), height = form->Height();
    int left = std::min<int>(other.right, area.right - width);
    int top = other.top;
    if (left < other.left + width / 2) {
        const int step = form->ScaleValue(32);
        left = std::min<int>(other.left + step, area.right - width);
        top = std::min<int>(other.top + step, area.bottom - height);
    }
    form->SetPosition(poDesigned);
    form->SetBounds(std::max<int>(area.left, left), std::max<int>(area.top, top), width, height);
}

}  // namespace Gallery
