// The settings window: the tool's main form. Hidden except while the user
// edits the settings, it owns the tray icon and its menu, the settings, the
// capture and its two sources: the path observer on the browser's folder,
// and the watch on the desktop wallpaper. Closing it ends the tool.
#pragma once

#include "app/CaptureScheduler.h"
#include "app/Desktop.h"
#include "app/Settings.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "kit/Threads.h"

namespace Velmora {

using Fw::AnsiString;

// The tray icon's callback message (WM_USER + 1) and identifier.
constexpr UINT WM_TRAYICON = 1025;
constexpr UINT TrayIconId = 100;

class TForm1 : public Fw::TForm {
public:
    FW_CLASS(TForm1, Fw::TForm)
    explicit TForm1(Fw::TComponent* owner);
    ~TForm1() override;

    Fw::TPopupMenu* PopupMenu1 = nullptr;
    Fw::TMenuItem* Exit = nullptr;
    Fw::TLabel* Label1 = nullptr;
    Fw::TEdit* Edit1 = nullptr;
    Fw::TButton* Button1 = nullptr;
    Fw::TButton* Button2 = nullptr;
    Fw::TButton* Button3 = nullptr;
    Fw::TMenuItem* Setting = nullptr;
    Fw::TLabel* Label4 = nullptr;
    Fw::TEdit* Edit2 = nullptr;
    Fw::TCheckBox* CheckBox1 = nullptr;
    Fw::TMenuItem* About1 = nullptr;
    Fw::TMenuItem* OpenFolder = nullptr;
    Kit::TPathObserver* PathObserver1 = nullptr;
    Fw::TButton* Button4 = nullptr;
    Fw::TButton* Button5 = nullptr;
    Fw::TMenuItem* Help1 = nullptr;
    Fw::TCheckBox* CheckBox2 = nullptr;  // the desktop wallpaper too
    Fw::TCheckBox* CheckBox3 = nullptr;  // no picture the save folder holds already
    Fw::TCheckBox* CheckBox4 = nullptr;  // start with Windows

    void FormCreate(Fw::TObject* Sender);
    void FormShow(Fw::TObject* Sender);
    void FormCloseQuery(Fw::TObject* Sender, bool& CanClose);
    void FormClose(Fw::TObject* Sender, Fw::TCloseAction& Action);
    void Button1Click(Fw::TObject* Sender);
    void Button2Click(Fw::TObject* Sender);
    void Button3Click(Fw::TObject* Sender);
    void Button4Click(Fw::TObject* Sender);
    void Button5Click(Fw::TObject* Sender);
    void SettingClick(Fw::TObject* Sender);
    void About1Click(Fw::TObject* Sender);
    void OpenFolderClick(Fw::TObject* Sender);
    void ExitClick(Fw::TObject* Sender);
    void PathObserver1Notify(Fw::TObject* Sender);
    void TrayIconMessage(Fw::TMessage& Message);
    void TaskbarCreated(Fw::TMessage& Message);
    void SettingChange(Fw::TMessage& Message);

    FW_BEGIN_MESSAGE_MAP
        FW_MESSAGE_HANDLER(WM_TRAYICON, TrayIconMessage)
        FW_MESSAGE_HANDLER(TaskbarCreatedMessage(), TaskbarCreated)
        FW_MESSAGE_HANDLER(WM_SETTINGCHANGE, SettingChange)
    FW_END_MESSAGE_MAP(Fw::TForm)

private:
    // The shell announces a rebuilt notification area (after Explorer
    // restarts) with this registered message; a tray icon added before is
    // gone then.
    static UINT TaskbarCreatedMessage();
    void AddTrayIcon();
    void EnableMenuItems(bool enabled);
    void StartWatching();
    void StopWatching();
    void Resume();
    void CaptureFailed();
    void DesktopChanged();
    void NotAPicture(const TCaptureResult& result);
    void Refuse(const AnsiString& text, Fw::TWinControl* control);

    AnsiString WallpaperFile;
    AnsiString SaveDir;
    AnsiString Prefix;
    bool Beep = false;
    TOptions Options;
    bool SettingsDeleted = false;
    // Captures run only while watching: not while the settings window is
    // open, for whatever reason it opened.
    bool Watching = false;
    // Stored values that could not be read (TSetting bits): the window shows
    // defaults in their place, and they are written back only once the user
    // has confirmed the window.
    unsigned UnreadSettings = 0;
    TCaptureScheduler Captures;
    // The desktop wallpaper's: its own wait for a quiet file, after the
    // browser's at every start of watching.
    TCaptureScheduler DesktopCaptures;
    TDesktopLocator Desktop;
    TDesktopWatch DesktopWatch;
    // The file last said to be no picture, as it was then: said once.
    std::wstring NotPictureFile;
    TFileState NotPictureState;
};

extern TForm1* Form1;

}  // namespace Velmora
