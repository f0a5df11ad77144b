#include "app/Main.h"

#include <shlobj.h>
#include <shellapi.h>

#include "app/Capture.h"
#include "app/Versioninfo.h"
#include "framework/Application.h"

#include <vector>

namespace Velmora {

using namespace Fw;

TForm1* Form1 = nullptr;

FW_PUBLISH(TForm1)
    .Field("PopupMenu1", &TForm1::PopupMenu1)
    .Field("Exit", &TForm1::Exit)
    .Field("Label1", &TForm1::Label1)
    .Field("Edit1", &TForm1::Edit1)
    .Field("Button1", &TForm1::Button1)
    .Field("Button2", &TForm1::Button2)
    .Field("Button3", &TForm1::Button3)
    .Field("Setting", &TForm1::Setting)
    .Field("Label4", &TForm1::Label4)
    .Field("Edit2", &TForm1::Edit2)
    .Field("CheckBox1", &TForm1::CheckBox1)
    .Field("About1", &TForm1::About1)
    .Field("OpenFolder", &TForm1::OpenFolder)
    .Field("PathObserver1", &TForm1::PathObserver1)
    .Field("Button4", &TForm1::Button4)
    .Field("Button5", &TForm1::Button5)
    .Field("Help1", &TForm1::Help1)
    .Field("CheckBox2", &TForm1::CheckBox2)
    .Field("CheckBox3", &TForm1::CheckBox3)
    .Field("CheckBox4", &TForm1::CheckBox4)
    .Method<&TForm1::FormCreate>("FormCreate")
    .Method<&TForm1::FormShow>("FormShow")
    .Method<&TForm1::FormCloseQuery>("FormCloseQuery")
    .Method<&TForm1::FormClose>("FormClose")
    .Method<&TForm1::Button1Click>("Button1Click")
    .Method<&TForm1::Button2Click>("Button2Click")
    .Method<&TForm1::Button3Click>("Button3Click")
    .Method<&TForm1::Button4Click>("Button4Click")
    .Method<&TForm1::Button5Click>("Button5Click")
    .Method<&TForm1::SettingClick>("SettingClick")
    .Method<&TForm1::About1Click>("About1Click")
    .Method<&TForm1::OpenFolderClick>("OpenFolderClick")
    .Method<&TForm1::ExitClick>("ExitClick")
    .Method<&TForm1::PathObserver1Notify>("PathObserver1Notify")
FW_END_PUBLISH

namespace {

NOTIFYICONDATAA TrayIconRecord(HWND window) {
    NOTIFYICONDATAA data{};
    data.cbSize = 88;  // the original record: every shell version takes it
    data.hWnd = window;
    data.uID = TrayIconId;
    return data;
}

// A prefix as a message shows it: a message box does not break a line inside
// a word, so a long one would run off the screen. The edit box takes 50
// characters; more are cut there, whole characters only.
AnsiString Shown(const AnsiString& prefix) {
    constexpr int MaxShown = 50;
    const char* p = prefix.c_str();
    for (int n = 0; n < MaxShown && *p; ++n)
        p += (IsLeadByte(static_cast<unsigned char>(*p)) && p[1]) ? 2 : 1;
    return *p ? AnsiString(prefix.c_str(), p) + "…" : prefix;
}

AnsiString SpecialFolder(int folder) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(Application->Handle(), path, folder, FALSE);
    return path;
}

}  // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner) {}

TForm1::~TForm1() {
    // The observer outlives this part of the form (the form's components go
    // with its base): no change may reach the capture's scheduler, gone
    // first, on the way. A report of the desktop watch still on its way is
    // dropped once it is off.
    if (PathObserver1)
        PathObserver1->SetActive(false);
    DesktopWatch.SetActive(false);
}

void TForm1::AddTrayIcon() {
    NOTIFYICONDATAA data = TrayIconRecord(Handle());
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYICON;
    // The notification area shows small icons, larger at higher resolutions:
    // the image drawn for the size, not a larger one the shell shrinks.
    data.hIcon = Application->IconHandle(SystemMetricForPPI(SM_CXSMICON, CurrentPPI()));
    lstrcpyA(data.szTip, "Velmora");
    Shell_NotifyIconA(NIM_ADD, &data);
}

UINT TForm1::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

void TForm1::TaskbarCreated(TMessage& Message) {
    AddTrayIcon();
    TForm::Dispatch(Message);
}

void TForm1::FormCreate(TObject*) {
    AddTrayIcon();

    AnsiString appData = SpecialFolder(CSIDL_APPDATA);
    WallpaperFile = appData + "\\Microsoft\\Internet Explorer\\Internet Explorer 壁紙.bmp";
    PathObserver1->SetPath(appData + "\\Microsoft\\Internet Explorer");

    Captures.WallpaperFile = WallpaperFile;
    Captures.OnCapture = [this] {
        return CaptureWallpaper(WallpaperFile, SaveDir, Prefix, Beep, Options.NoDuplicates);
    };
    Captures.OnFailed = [this](const TCaptureResult&) { CaptureFailed(); };

    DesktopCaptures.OnLook = [this] { return DesktopPictureState(Desktop.Current()); };
    DesktopCaptures.OnCapture = [this] {
        return CaptureDesktopWallpaper(Desktop.Current(), WallpaperFile, SaveDir, Prefix, Beep, Options.NoDuplicates);
    };
    DesktopCaptures.OnFailed = Captures.OnFailed;
    DesktopCaptures.OnNotPicture = [this](const TCaptureResult& result) { NotAPicture(result); };
    DesktopWatch.OnChange = [this] { DesktopChanged(); };

    // A value that is not stored, or cannot be used, is a first run's.
    FirstRunSettings(Application->Handle(), SaveDir, Prefix, Beep);
    std::vector<TUnreadSetting> unread;
    if (!LoadSettings(SaveDir, Prefix, Beep, Options, unread)) {
        Application->MessageBox("お使いいただき、ありがとうございます。\nまず、壁紙の保存先などを設定してください。",
                                "Velmora", MB_ICONINFORMATION);
        Button2->SetEnabled(false);
        Button5->SetEnabled(false);
        Show();
        return;
    }
    if (unread.empty()) {
        // A wallpaper set while the tool was not running is kept now.
        StartWatching();
        return;
    }
    // Said once, naming each value. Nothing is saved until the user has
    // seen the values in force and confirmed them; "Cancel" would resume
    // with values nobody chose, so it waits for that confirmation, as on a
    // first run.
    AnsiString text = "レジストリに保存された設定を読み込めませんでした。\n";
    for (const TUnreadSetting& u : unread) {
        text += "\n" + u.Name + "：" + u.Reason;
        UnreadSettings |= u.Setting;
    }
    text += "\n\n読み込めなかった設定は初めの値にしてあります。確かめて「設定」を押してください。";
    Application->MessageBox(text, "Velmora", MB_ICONEXCLAMATION);
    Button2->SetEnabled(false);
    Show();
}

void TForm1::StartWatching() {
    Watching = true;
    // On first, so that no change from here on is missed.
    DesktopWatch.SetActive(Options.Desktop);
    PathObserver1->SetActive(true);
    EnableMenuItems(true);
    // The picture that a failure or the open settings window held back is
    // kept if it is still there. The browser's bitmap first: its capture
    // decides by the marker's time, which the desktop's capture then keeps,
    // so neither takes the other's picture for a new one at the next start.
    Captures.CaptureNow();
    if (Watching && Options.Desktop)
        DesktopCaptures.CaptureNow();
}

void TForm1::StopWatching() {
    Watching = false;
    Captures.Stop();
    DesktopCaptures.Stop();
    DesktopWatch.SetActive(false);
    PathObserver1->SetActive(false);
}

void TForm1::FormShow(TObject*) {
    // No capture while the settings are being edited.
    StopWatching();
    EnableMenuItems(false);
    Edit1->SetText(SaveDir);
    Edit2->SetText(Prefix);
    CheckBox1->SetChecked(Beep);
    CheckBox2->SetChecked(Options.Desktop);
    CheckBox3->SetChecked(Options.NoDuplicates);
    // The system's value itself, whoever changed it last.
    CheckBox4->SetChecked(StartsWithWindows());
}

void TForm1::EnableMenuItems(bool enabled) {
    Setting->SetEnabled(enabled);
    About1->SetEnabled(enabled);
}

void TForm1::Resume() {
    Hide();
    StartWatching();
}

void TForm1::Refuse(const AnsiString& text, TWinControl* control) {
    Application->MessageBox(text, "Velmora", MB_ICONEXCLAMATION);
    if (control->CanFocus())
        control->SetFocus();
}

void TForm1::Button1Click(TObject*) {
    // Values that would save outside the save folder, or nowhere, are
    // refused before they take the place of the ones in force.
    const AnsiString saveDir = TrimSaveDir(Edit1->Text());
    const AnsiString prefix = Edit2->Text();
    if (!IsAbsoluteSaveDir(saveDir)) {
        Refuse("保存先フォルダは、「C:\\壁紙」のようにドライブ名から始まるフォルダを指定してください。", Edit1);
        return;
    }
    if (AnsiString problem = PrefixProblem(saveDir, prefix); !problem.empty()) {
        Refuse(Format("ファイル名の先頭文字「%s」は使えません。\n%s", Shown(prefix).c_str(), problem.c_str()), Edit2);
        return;
    }
    if (AnsiString folder = PrefixFolder(prefix); !folder.empty() && !DirectoryExists(saveDir + "\\" + folder)) {
        Refuse(Format("ファイル名の先頭文字「%s」は使えません。\nフォルダ「%s」が保存先フォルダの中にありません。",
                      Shown(prefix).c_str(), Shown(folder).c_str()),
               Edit2);
        return;
    }

    // The typed values are the tool's from here on, whatever follows, and
    // are written when it ends.
    SaveDir = saveDir;
    Prefix = prefix;
    Beep = CheckBox1->Checked();
    Options.Desktop = CheckBox2->Checked();
    Options.NoDuplicates = CheckBox3->Checked();
    UnreadSettings = 0;
    // Only a change is written: a value that names another program is left
    // to it while the box stays clear.
    if (const bool start = CheckBox4->Checked(); start != StartsWithWindows()) {
        if (DWORD error = SetStartWithWindows(start)) {
            const char* what = start ? "Windowsの起動時に起動するよう登録できませんでした。"
                                     : "Windowsの起動時に起動する登録を解除できませんでした。";
            Application->MessageBox(Format("%s\n%s", what, SysErrorMessage(error).c_str()), "Velmora",
                                    MB_ICONEXCLAMATION);
        }
    }

    if (SaveDirExists(SaveDir)) {
        Resume();
        Button2->SetEnabled(true);
        Button5->SetEnabled(true);
        return;
    }
    if (Application->MessageBox("指定された保存先フォルダは存在しません。作成しますか？", "Velmora",
                                MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (DWORD error = CreateSaveDir(SaveDir)) ShowMessage(SysErrorMessage(error));
    Resume();
}

void TForm1::Button2Click(TObject*) { Resume(); }

void TForm1::Button3Click(TObject*) {
    char displayName[MAX_PATH] = "";
    BROWSEINFOA info{};
    info.hwndOwner = Handle();
    info.pszDisplayName = displayName;
    info.lpszTitle = "壁紙の保存先を選択してください";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list) return;
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(list, path)) Edit1->SetText(path);
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
}

void TForm1::Button4Click(TObject*) {
    // tool.exe -> tool.html, beside the program.
    AnsiString exe = Application->GetExeName();
    AnsiString help = exe.substr(0, exe.size() >= 3 ? exe.size() - 3 : 0) + "html";
    ShellExecuteA(Application->Handle(), "open", help.c_str(), nullptr, nullptr, SW_HIDE);
}

void TForm1::Button5Click(TObject*) {
    if (Application->MessageBox("レジストリの設定を削除して終了します。よろしいですか？", "設定削除",
                                MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    DeleteSettings();
    SetStartWithWindows(false);
    SettingsDeleted = true;
    Close();
}

void TForm1::FormCloseQuery(TObject*, bool& CanClose) {
    CanClose = true;
    // Values that could not be read stay as stored until the user confirms.
    const unsigned which = stAll & ~UnreadSettings;
    if (SettingsDeleted || !which) return;
    if (!SaveSettings(SaveDir, Prefix, Beep, Options, which))
        Application->MessageBox("設定の保存に失敗しました。多分バグなんで作者に連絡してくださいm(__)m",
                                "緊急事態(^_^;)", MB_ICONEXCLAMATION);
}

void TForm1::FormClose(TObject*, TCloseAction&) {
    NOTIFYICONDATAA data = TrayIconRecord(Handle());
    Shell_NotifyIconA(NIM_DELETE, &data);
}

void TForm1::SettingClick(TObject*) { Show(); }

void TForm1::About1Click(TObject*) { Form2->Show(); }

void TForm1::OpenFolderClick(TObject*) {
    ShellExecuteA(Application->Handle(), "open", SaveDir.c_str(), nullptr, nullptr, SW_SHOW);
}

void TForm1::ExitClick(TObject*) { Close(); }

void TForm1::TrayIconMessage(TMessage& Message) {
    switch (Message.LParam) {
        case WM_RBUTTONDOWN: {
            POINT at;
            GetCursorPos(&at);
            // Without it the menu would not close when the user clicks elsewhere.
            SetForegroundWindow(Handle());
            PopupMenu1->Popup(at.x, at.y);
            break;
        }
        case WM_LBUTTONDBLCLK:
            SettingClick(nullptr);
            break;
        default:
            break;
    }
}

void TForm1::PathObserver1Notify(TObject*) {
    // The capture follows once the wallpaper is quiet.
    if (Watching)
        Captures.Changed();
}

void TForm1::SettingChange(TMessage& Message) {
    // Also a wallpaper set for this session only, which stores nothing.
    if (Message.WParam == SPI_SETDESKWALLPAPER)
        DesktopChanged();
    TForm::Dispatch(Message);
}

void TForm1::DesktopChanged() {
    // The capture follows once the picture is quiet; a change reported twice
    // (by the registry and by the message) is one wait.
    if (Watching && Options.Desktop)
        DesktopCaptures.Changed();
}

void TForm1::NotAPicture(const TCaptureResult& result) {
    const TFileState state = FileStateOf(result.SourceFile);
    if (result.SourceFile == NotPictureFile && state == NotPictureState)
        return;
    // Noted before the box: the box's own message loop may run this capture
    // again meanwhile.
    NotPictureFile = result.SourceFile;
    NotPictureState = state;
    Application->MessageBox(Format("デスクトップの壁紙「%s」は画像（BMP、JPEG、PNG、GIF）ではないため、保存しませんでした。",
                                   WideCharToString(result.SourceFile.c_str()).c_str()),
                            "Velmora", MB_ICONEXCLAMATION);
}

void TForm1::CaptureFailed() {
    // Nothing more is captured, and so nothing more reported, until the
    // user confirms or cancels the settings window; then the capture runs
    // again at once.
    StopWatching();
    Application->MessageBox("壁紙の保存に失敗しました。\n保存先フォルダの設定などを確認してください。", "Velmora",
                            MB_ICONEXCLAMATION);
    Show();
}

}  // namespace Velmora
