// The components built on the interceptor users, on real windows: file drop
// from shell drop blocks with real shortcuts, the wheel turned on the
// display, the painter's pixels, messages registered by name (also between
// two processes), and their published properties in form text.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "interceptors_support.h"
#include "tests/support/UnixProgram.h"

using namespace Fw;
using namespace Kit;
using namespace InterceptorsTest;

namespace {


// A form with a form interceptor and the events the tests hand out.
class TComponentsForm : public TForm {
public:
    FW_CLASS(TComponentsForm, TForm)
    explicit TComponentsForm(TComponent* owner) : TForm(owner) {}

    TFormMessageInterceptor* Interceptor() {
        if (!FInterceptor) FInterceptor = NewComponent<TFormMessageInterceptor>(this);
        return FInterceptor;
    }

    int Drops = 0;
    void FilesDropped(TObject*) { ++Drops; }

    int Wheels = 0;
    short Delta = 0;
    TShiftState Shift;
    int X = 0, Y = 0;
    void Wheel(TObject*, short delta, TShiftState shift, int x, int y) {
        ++Wheels;
        Delta = delta;
        Shift = shift;
        X = x;
        Y = y;
    }

    std::vector<std::string> Fired;
    void ItemMessage(TRMItem* Sender, TMessage&) {
        Fired.push_back(Sender->Text() + "/" + std::to_string(Sender->Tag()));
    }

private:
    TFormMessageInterceptor* FInterceptor = nullptr;
};

class InterceptorComponents : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }
    void SetUp() override { Form.reset(NewComponent<TComponentsForm>(nullptr)); }
    TComponentPtr<TComponentsForm> Form;
};

}  // namespace

FW_PUBLISH(TComponentsForm)
    .Method<&TComponentsForm::FilesDropped>("FilesDropped")
    .Method<&TComponentsForm::Wheel>("Wheel")
    .Method<&TComponentsForm::ItemMessage>("ItemMessage")
FW_END_PUBLISH

// ---- File drop ----

namespace {

// A drop block as the shell builds it: the header, then the names, each
// ended by a zero, and one more zero at the end.
HGLOBAL DropBlock(const std::vector<std::wstring>& names, bool wide, POINT at) {
    std::string bytes;
    for (const auto& name : names) {
        if (wide) {
            bytes.append(reinterpret_cast<const char*>(name.c_str()), (name.size() + 1) * sizeof(wchar_t));
        } else {
            bytes += WideToAnsi(name) + '\0';
        }
    }
    bytes.append(wide ? sizeof(wchar_t) : 1, '\0');
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes.size());
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->pt = at;
    header->fNC = FALSE;
    header->fWide = wide;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

class TTempDir {
public:
    TTempDir() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Path = std::wstring(temp) + L"kit-drop-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(Path.c_str(), nullptr);
    }
    ~TTempDir() {
        for (const auto& f : Files) DeleteFileW(f.c_str());
        RemoveDirectoryW(Path.c_str());
    }
    std::wstring File(const std::wstring& name, const char* content = "x") {
        std::wstring full = Path + L"\\" + name;
        HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        DWORD written;
        WriteFile(h, content, static_cast<DWORD>(strlen(content)), &written, nullptr);
        CloseHandle(h);
        Files.push_back(full);
        return full;
    }
    // A real shortcut, made as the shell makes them.
    std::wstring Shortcut(const std::wstring& name, const std::wstring& target) {
        std::wstring full = Path + L"\\" + name;
        CoInitialize(nullptr);
        IShellLinkW* link = nullptr;
        IPersistFile* file = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&link)));
        if (link) {
            link->SetPath(target.c_str());
            link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        }
        if (file) {
            EXPECT_EQ(S_OK, file->Save(full.c_str(), TRUE));
            file->Release();
        }
        if (link) link->Release();
        CoUninitialize();
        Files.push_back(full);
        return full;
    }
    std::wstring Path;
    std::vector<std::wstring> Files;
};

std::string ReadAnsiFile(const std::string& name) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "(cannot open)";
    char buffer[64] = "";
    DWORD read = 0;
    ReadFile(h, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(h);
    return std::string(buffer, read);
}

}  // namespace

TEST_F(InterceptorComponents, FileDropReportsEveryNameWholeAndFollowsShortcuts) {
    TTempDir dir;
    const std::wstring plain = dir.File(L"a.txt");
    const std::wstring japanese = dir.File(AnsiToWide("壁紙 です.txt"));
    const std::wstring target = dir.File(L"target.txt");
    const std::wstring link = dir.Shortcut(L"c.lnk", target);
    const std::wstring upper = dir.Shortcut(L"d.LNK", target);
    const std::wstring broken = dir.File(L"broken.lnk", "not a shortcut");
    std::wstring longName = dir.Path + L"\\";
    longName += std::wstring(300 - longName.size() - 4, L'n') + L".txt";
    ASSERT_EQ(300u, longName.size());

    auto* drop = NewComponent<TFileDrop>(Form.get());
    drop->OnDropFiles = MakeEvent<&TComponentsForm::FilesDropped>(Form.get());
    drop->SetActivateWindow(false);
    drop->SetInterceptor(Form->Interceptor());
    drop->SetActive(true);
    HWND wnd = Form->Handle();
    EXPECT_TRUE(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    const std::vector<std::wstring> names{plain, link, japanese, upper, broken, longName};
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide names" : "ANSI names");
        Form->Drops = 0;
        PostMessageA(wnd, WM_DROPFILES, reinterpret_cast<WPARAM>(DropBlock(names, wide, POINT{12, 34})), 0);
        ASSERT_TRUE(PumpUntil([&] { return Form->Drops > 0; }));
        EXPECT_EQ(1, Form->Drops);
        ASSERT_EQ(6, drop->Files()->Count());
        EXPECT_EQ(WideToAnsi(plain), drop->Files()->Strings(0));
        EXPECT_EQ(WideToAnsi(target), drop->Files()->Strings(1)) << "the shortcut's target";
        EXPECT_EQ(WideToAnsi(japanese), drop->Files()->Strings(2));
        EXPECT_EQ(WideToAnsi(upper), drop->Files()->Strings(3)) << ".LNK is not .lnk";
        EXPECT_EQ(WideToAnsi(broken), drop->Files()->Strings(4)) << "what cannot be resolved is reported itself";
        EXPECT_EQ(WideToAnsi(longName), drop->Files()->Strings(5)) << "300 characters, whole";
        EXPECT_EQ(TPoint(12, 34), drop->DropPoint());
    }

    // A name the code page cannot spell opens the file through its short
    // form; without a short form it keeps '?' where it cannot be spelled.
    const std::wstring foreign = dir.File(L"caf\u00e9 \u0101.txt", "contents");
    const std::wstring missing = dir.Path + L"\\missing \u00e9.txt";
    Form->Drops = 0;
    PostMessageA(wnd, WM_DROPFILES, reinterpret_cast<WPARAM>(DropBlock({foreign, missing}, true, POINT{})), 0);
    ASSERT_TRUE(PumpUntil([&] { return Form->Drops > 0; }));
    ASSERT_EQ(2, drop->Files()->Count());
    EXPECT_EQ("contents", ReadAnsiFile(drop->Files()->Strings(0))) << drop->Files()->Strings(0);
    EXPECT_EQ(WideToAnsi(dir.Path) + "\\missing ?.txt", drop->Files()->Strings(1));

    // Switched off, the window no longer accepts drops; in the designer it never does.
    drop->SetActive(false);
    EXPECT_FALSE(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    drop->SetDesigning(true);
    drop->SetActive(true);
    EXPECT_FALSE(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(InterceptorComponents, EveryFileDropOnAWindowGetsTheWholeDropAndTheBlockIsFreedOnce) {
    // Two on the form's interceptor, one hooking the form itself, and one on
    // an interceptor of a control with a drop of its own.
    auto* panel = NewComponent<TPanel>(Form.get());
    panel->SetParent(Form.get());
    auto* panelInterceptor = NewComponent<TControlMessageInterceptor>(Form.get());
    panelInterceptor->SetControl(panel);
    std::vector<TFileDrop*> drops;
    for (TComponent* on : {static_cast<TComponent*>(Form->Interceptor()), static_cast<TComponent*>(Form->Interceptor()),
                           static_cast<TComponent*>(Form.get()), static_cast<TComponent*>(panelInterceptor)}) {
        auto* drop = NewComponent<TFileDrop>(Form.get());
        drop->OnDropFiles = MakeEvent<&TComponentsForm::FilesDropped>(Form.get());
        drop->SetActivateWindow(false);
        if (auto* interceptor = dynamic_cast<TCustomMessageInterceptor*>(on)) drop->SetInterceptor(interceptor);
        else drop->SetControl(Form.get());
        drop->SetActive(true);
        drops.push_back(drop);
    }
    HGLOBAL block = DropBlock({L"C:\\a.txt", L"C:\\b.txt"}, true, POINT{3, 4});
    SendMessageA(Form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
    EXPECT_EQ(3, Form->Drops);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(2, drops[i]->Files()->Count());
        EXPECT_EQ("C:\\b.txt", drops[i]->Files()->Strings(1));
        EXPECT_EQ(TPoint(3, 4), drops[i]->DropPoint());
    }
    EXPECT_EQ(0, drops[3]->Files()->Count()) << "the panel's drop saw nothing of the form's";
    EXPECT_EQ(nullptr, GlobalLock(block)) << "the block is freed once all have read it";

    // A block whose list lies outside it reads as no drop at all.
    DROPFILES wild{};
    wild.pFiles = 0x7FFFFFF0;
    HGLOBAL bad = GlobalAlloc(GMEM_FIXED, sizeof wild);
    std::memcpy(bad, &wild, sizeof wild);
    Form->Drops = 0;
    SendMessageA(panel->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(bad), 0);
    EXPECT_EQ(0, Form->Drops);
    EXPECT_EQ(0, drops[3]->Files()->Count());
}

TEST(ResolveShortcutFile, GivesTheTargetOrTheNameItself) {
    TTempDir dir;
    const std::wstring target = dir.File(AnsiToWide("対象.txt"));
    EXPECT_EQ(WideToAnsi(target), ResolveShortcutFile(WideToAnsi(dir.Shortcut(AnsiToWide("リンク.lnk"), target))));
    const std::string none = WideToAnsi(dir.Path) + "\\none.lnk";
    EXPECT_EQ(none, ResolveShortcutFile(none));

    // On a thread in the multithreaded apartment nothing can be resolved,
    // and the thread stays in its apartment.
    HRESULT again = E_FAIL;
    std::string resolved;
    std::thread mta([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        resolved = ResolveShortcutFile(none);
        again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    mta.join();
    EXPECT_EQ(none, resolved);
    EXPECT_EQ(S_FALSE, again) << "the thread's own initialisation was undone";
}

// ---- Mouse wheel ----

TEST_F(InterceptorComponents, TheWheelTurnedOnTheDisplayReachesOnWheel) {
    auto* wheel = NewComponent<TMouseWheel>(Form.get());
    wheel->OnWheel = MakeEvent<&TComponentsForm::Wheel>(Form.get());
    wheel->SetControl(Form.get());
    wheel->SetActive(true);
    Form->SetBounds(200, 150, 300, 200);
    Form->Show();
    SetForegroundWindow(Form->Handle());
    Pump();
    const TPoint at = Form->ClientToScreen(TPoint(150, 100));

    for (int button : {4, 5}) {
        SCOPED_TRACE("button " + std::to_string(button));
        Form->Wheels = 0;
        ASSERT_TRUE(TestSupport::Xdotool("mousemove " + std::to_string(at.X) + " " + std::to_string(at.Y) +
                                         " click " + std::to_string(button)))
            << "xdotool could not be started";
        ASSERT_TRUE(PumpUntil([&] { return Form->Wheels > 0; })) << "no wheel message arrived";
        EXPECT_EQ(button == 4 ? WHEEL_DELTA : -WHEEL_DELTA, Form->Delta) << "positive: away from the user";
        EXPECT_EQ(at.X, Form->X);
        EXPECT_EQ(at.Y, Form->Y);
    }

    // Keys held, and a position left of and above the primary screen.
    SendMessageA(Form->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL | MK_LBUTTON, -240), MAKELPARAM(-5, -7));
    EXPECT_EQ(-240, Form->Delta);
    EXPECT_EQ((TShiftState{ssCtrl, ssLeft}), Form->Shift);
    EXPECT_EQ(-5, Form->X);
    EXPECT_EQ(-7, Form->Y);
}

// ---- Bitmap painter ----

namespace {

// An image list of one 32x32 image: red, with a blue top-left pixel and a
// lime bottom-right one.
TImageList* MarkedImages(TComponent* owner) {
    auto* images = NewComponent<TImageList>(owner);
    images->SetWidth(32);
    images->SetHeight(32);
    TBitmap bitmap(32, 32, pf24bit);
    bitmap.Canvas()->Brush()->SetColor(clRed);
    bitmap.Canvas()->FillRect(TRect(0, 0, 32, 32));
    bitmap.Canvas()->SetPixel(0, 0, clBlue);
    bitmap.Canvas()->SetPixel(31, 31, clLime);
    images->Add(&bitmap, nullptr);
    return images;
}

COLORREF PixelOf(HWND wnd, int x, int y) {
    HDC dc = GetDC(wnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(wnd, dc);
    return c;
}

}  // namespace

TEST_F(InterceptorComponents, ThePainterTilesOrCentresItsImage) {
    // Before the window is hooked: a new border style makes a new window.
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(60, 60, 100, 70);
    TImageList* images = MarkedImages(Form.get());
    auto* painter = NewComponent<TBitmapPainter>(Form.get());
    painter->SetInterceptor(Form->Interceptor());
    try {
        painter->SetActive(true);
        ADD_FAILURE() << "switched on without an image";
    } catch (Exception& e) {
        EXPECT_EQ("Image が無効です.", e.Message());
    }
    TImageListImage image;
    image.SetImageList(images);
    image.SetIndex(1);
    EXPECT_FALSE(image.isValid()) << "an index equal to the count";
    image.SetIndex(0);
    painter->SetImage(&image);
    painter->SetActive(true);
    EXPECT_THROW(painter->SetImage(&image), Exception);
    Form->Show();
    HWND wnd = Form->Handle();
    const COLORREF face = ColorToRGB(clBtnFace);
    ASSERT_NE(RGB(255, 0, 0), face);
    // Repainted as the painter asks for it: nothing of the mode before stays.
    auto painted = [&](TDrawMessage message, bool tiled) {
        painter->SetDrawMessage(message);
        painter->SetTiled(tiled);
        painter->UpdateWindow();
        ::UpdateWindow(wnd);
        Pump();
    };
    for (TDrawMessage message : {dmPaint, dmEraseBkgnd}) {
        SCOPED_TRACE(message == dmPaint ? "in WM_PAINT" : "in WM_ERASEBKGND");
        painted(message, true);
        for (int x : {0, 32, 64, 96})
            for (int y : {0, 32, 64}) {
                EXPECT_EQ(RGB(0, 0, 255), PixelOf(wnd, x, y)) << "a tile at " << x << "," << y;
                if (x + 31 < 100 && y + 31 < 70) {
                    EXPECT_EQ(RGB(0, 255, 0), PixelOf(wnd, x + 31, y + 31));
                }
            }
        EXPECT_EQ(RGB(255, 0, 0), PixelOf(wnd, 97, 65)) << "the last tiles are cut by the edge";

        painted(message, false);
        EXPECT_EQ(RGB(0, 0, 255), PixelOf(wnd, 34, 19)) << "centred at (34, 19)";
        EXPECT_EQ(RGB(0, 255, 0), PixelOf(wnd, 65, 50));
        EXPECT_EQ(face, PixelOf(wnd, 33, 18)) << "the form painted its own background around it";
        EXPECT_EQ(face, PixelOf(wnd, 0, 0));
    }
    EXPECT_EQ(1, SendMessageA(wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(GetDC(wnd)), 0));

    // Drawn at another size (the painter's Scaled at 192 pixels per inch):
    // each tile the image stretched, the marked corners where they belong.
    TBitmap canvasBitmap(100, 70, pf24bit);
    image.DrawTiled(canvasBitmap.Canvas(), TRect(0, 0, 100, 70), true, TSize(64, 64));
    EXPECT_EQ(clBlue, canvasBitmap.Canvas()->Pixel(0, 0));
    EXPECT_EQ(clRed, canvasBitmap.Canvas()->Pixel(32, 32));
    EXPECT_EQ(clLime, canvasBitmap.Canvas()->Pixel(63, 63));
    EXPECT_EQ(clBlue, canvasBitmap.Canvas()->Pixel(64, 0)) << "the next tile 64 pixels on";

    // The image list destroyed: the painter draws nothing, and says so.
    FreeComponent(images);
    EXPECT_EQ(nullptr, painter->Image()->ImageList());
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(face, PixelOf(wnd, 0, 0));
    EXPECT_EQ(face, PixelOf(wnd, 34, 19));
    try {
        painter->Image()->Draw(nullptr, 0, 0, true);
        ADD_FAILURE() << "drew without an image list";
    } catch (Exception& e) {
        EXPECT_EQ("ImageList が無効です.", e.Message());
    }
}

// ---- Registered messages ----

namespace {

const char kRegisteredForm[] =
    "object RegisteredForm: TComponentsForm\n"
    "  object Interceptor1: TFormMessageInterceptor\n"
    "  end\n"
    "  object Registered1: TRegisteredMessage\n"
    "    Active = True\n"
    "    MessageInterceptor = Interceptor1\n"
    "    Messages = <\n"
    "      item\n"
    "        Text = 'Kit.Test.Alpha'\n"
    "        Tag = 1\n"
    "        OnMessage = ItemMessage\n"
    "      end\n"
    "      item\n"
    "        Text = 'Kit.Test.Alpha'\n"
    "        Tag = 2\n"
    "        OnMessage = ItemMessage\n"
    "      end\n"
    "      item\n"
    "        Tag = 3\n"
    "      end\n"
    "      item\n"
    "        Text = 'Kit.Test.Beta'\n"
    "        Tag = 4\n"
    "        OnMessage = ItemMessage\n"
    "      end>\n"
    "  end\n"
    "end\n";

}  // namespace

TEST(RegisteredMessage, ItemsReadFromFormTextFireByName) {
    Application->Initialize();
    TComponentPtr<TComponentsForm> form(static_cast<TComponentsForm*>(ComponentFromText(kRegisteredForm, nullptr)));
    auto* registered = static_cast<TRegisteredMessage*>(form->FindComponent("Registered1"));
    TRMItems* items = registered->Messages();
    ASSERT_EQ(4, items->Count());
    const UINT alpha = RegisterWindowMessageA("Kit.Test.Alpha");
    const UINT beta = RegisterWindowMessageA("Kit.Test.Beta");
    EXPECT_EQ(alpha, items->Items(0)->MessageNumber());
    EXPECT_EQ(0u, items->Items(2)->MessageNumber());
    EXPECT_EQ("TRMItem", items->Items(2)->GetDisplayName());
    EXPECT_EQ("Kit.Test.Beta", items->Items(3)->GetDisplayName());

    SendMessageA(form->Handle(), alpha, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"Kit.Test.Alpha/1", "Kit.Test.Alpha/1"}), form->Fired)
        << "two equal items: the first fires twice";
    form->Fired.clear();
    SendMessageA(form->Handle(), beta, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"Kit.Test.Beta/4"}), form->Fired);
    form->Fired.clear();
    SendMessageA(form->Handle(), RegisterWindowMessageA("Kit.Test.Gamma"), 0, 0);
    EXPECT_TRUE(form->Fired.empty());

    // Written back with its collection, and read again the same.
    AnsiString text = ComponentToText(form.get());
    EXPECT_NE(AnsiString::npos, text.find("Messages = <")) << text;
    EXPECT_NE(AnsiString::npos, text.find("OnMessage = ItemMessage")) << text;
    TComponentPtr<TComponent> again(ComponentFromText(text, nullptr));
    EXPECT_EQ(text, ComponentToText(again.get()));

    try {
        registered->SetMessages(items);
        ADD_FAILURE() << "messages changed at run time";
    } catch (Exception& e) {
        EXPECT_EQ("実行時にはメッセージを変更できません.", e.Message());
    }
}

TEST(RegisteredMessage, CopiedItemsRegisterButNotInTheDesigner) {
    TRegisteredMessage source(nullptr), copy(nullptr);
    source.Messages()->Add()->SetText("Kit.Test.Copied");
    copy.SetDesigning(true);
    copy.SetMessages(source.Messages());
    EXPECT_EQ(0u, copy.Messages()->Items(0)->MessageNumber()) << "the designer registers nothing";
    copy.SetDesigning(false);
    TRMItems plain(nullptr);
    plain.Add()->Assign(source.Messages()->Items(0));
    EXPECT_EQ(RegisterWindowMessageA("Kit.Test.Copied"), plain.Items(0)->MessageNumber());
    EXPECT_EQ(plain.Items(0), plain.Find(static_cast<int>(plain.Items(0)->MessageNumber())));
    try {
        plain.Items(0)->Assign(&source);
        ADD_FAILURE();
    } catch (Exception& e) {
        EXPECT_EQ("アイテムは TRMItem ではありません.", e.Message());
    }
}

// Two processes: this one and a second copy of the test program, which
// answers by name. Each knows the other's window only from the messages.
namespace {

const char kPeerVariable[] = "KIT_REGISTERED_MESSAGE_PEER";

class TPeerForm : public TForm {
public:
    FW_CLASS(TPeerForm, TForm)
    explicit TPeerForm(TComponent* owner) : TForm(owner) {}
    // Made in code, switched on once the form is whole.
    void Listen() {
        auto* registered = NewComponent<TRegisteredMessage>(this);
        for (const char* text : {"Kit.Test.Ready", "Kit.Test.Ping", "Kit.Test.Pong"}) {
            TRMItem* item = registered->Messages()->Add();
            item->SetText(text);
            item->OnMessage = MakeEvent<&TPeerForm::Arrived>(this);
        }
        registered->SetControl(this);
        registered->SetActive(true);
    }
    void Arrived(TRMItem* Sender, TMessage& Message) {
        Received.push_back(Sender->Text());
        if (Sender->Text() == "Kit.Test.Ready") Peer = reinterpret_cast<HWND>(Message.LParam);
        if (Sender->Text() == "Kit.Test.Ping") {
            PostMessageA(reinterpret_cast<HWND>(Message.LParam), RegisterWindowMessageA("Kit.Test.Pong"),
                         Message.WParam + 1, 0);
            Done = true;
        }
        if (Sender->Text() == "Kit.Test.Pong") {
            Answer = Message.WParam;
            Done = true;
        }
    }
    std::vector<std::string> Received;
    HWND Peer = nullptr;
    WPARAM Answer = 0;
    bool Done = false;
};

}  // namespace

FW_PUBLISH(TPeerForm)
FW_END_PUBLISH

TEST(RegisteredMessage, TwoProcessesTalkByName) {
    Application->Initialize();
    if (const char* parent = std::getenv(kPeerVariable)) {
        // The second process: tells the first it is ready, answers one ping.
        TComponentPtr<TPeerForm> form(NewComponent<TPeerForm>(nullptr));
        form->Listen();
        HWND first = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(parent, nullptr, 10)));
        PostMessageA(first, RegisterWindowMessageA("Kit.Test.Ready"), 0, reinterpret_cast<LPARAM>(form->Handle()));
        ASSERT_TRUE(PumpUntil([&] { return form->Done; }));
        return;
    }
    TComponentPtr<TPeerForm> form(NewComponent<TPeerForm>(nullptr));
    form->Listen();
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA(kPeerVariable, std::to_string(reinterpret_cast<std::uintptr_t>(form->Handle())).c_str());
    std::string command = "\"" + std::string(self) + "\" --gtest_filter=RegisteredMessage.TwoProcessesTalkByName";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    SetEnvironmentVariableA(kPeerVariable, nullptr);
    CloseHandle(info.hThread);
    ASSERT_TRUE(PumpUntil([&] { return form->Peer != nullptr; })) << "the second process did not report";
    PostMessageA(form->Peer, RegisterWindowMessageA("Kit.Test.Ping"), 41, reinterpret_cast<LPARAM>(form->Handle()));
    EXPECT_TRUE(PumpUntil([&] { return form->Done; })) << "no answer by name";
    EXPECT_EQ(42u, form->Answer);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, kGenerous));
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(info.hProcess);
    EXPECT_EQ((std::vector<std::string>{"Kit.Test.Ready", "Kit.Test.Pong"}), form->Received);
}

// ---- Published properties ----

namespace {

std::string PropNames(TMetaClass* cls) {
    std::string names;
    for (const TPropInfo* p : cls->Properties()) names += (names.empty() ? "" : " ") + p->Name;
    return names;
}

}  // namespace

TEST(InterceptorsTypeInfo, PublishedInOrderAndFoundByName) {
    const std::string user = "Name Tag Active MessageInterceptor Control";
    EXPECT_EQ("Name Tag Enabled OnMessage", PropNames(TFormMessageInterceptor::StaticClass()));
    EXPECT_EQ("Name Tag Enabled OnMessage", PropNames(TMDIFormClientMessageInterceptor::StaticClass()));
    EXPECT_EQ("Name Tag Enabled OnMessage Control", PropNames(TControlMessageInterceptor::StaticClass()));
    EXPECT_EQ(user + " ActivateWindow FollowLink OnDropFiles", PropNames(TFileDrop::StaticClass()));
    EXPECT_EQ(user + " OnWheel", PropNames(TMouseWheel::StaticClass()));
    EXPECT_EQ(user + " DrawMessage Image Tiled Scaled", PropNames(TBitmapPainter::StaticClass()));
    EXPECT_EQ(user + " Messages", PropNames(TRegisteredMessage::StaticClass()));
    EXPECT_EQ("ImageList Index", PropNames(TImageListImage::StaticClass()));
    EXPECT_EQ("Text Tag OnMessage", PropNames(TRMItem::StaticClass()));
    for (const char* name : {"TFormMessageInterceptor", "TMDIFormClientMessageInterceptor",
                             "TControlMessageInterceptor", "TNotificationProxy", "TFileDrop", "TMouseWheel",
                             "TBitmapPainter", "TImageListImage", "TRMItem", "TRMItems", "TRegisteredMessage"})
        EXPECT_NE(nullptr, GetClass(name)) << name;
}

TEST_F(InterceptorComponents, APainterAndAFileDropGoThroughFormText) {
    TImageList* images = MarkedImages(Form.get());
    images->SetName("Images1");
    auto* painter = NewComponent<TBitmapPainter>(Form.get());
    painter->SetName("Painter1");
    painter->Image()->SetImageList(images);
    painter->Image()->SetIndex(0);
    painter->SetTiled(false);
    painter->SetDrawMessage(dmEraseBkgnd);
    painter->SetControl(Form.get());
    painter->SetActive(true);
    auto* drop = NewComponent<TFileDrop>(Form.get());
    drop->SetName("Drop1");
    drop->SetFollowLink(false);
    drop->OnDropFiles = MakeEvent<&TComponentsForm::FilesDropped>(Form.get());
    Form->SetName("ComponentsForm");
    AnsiString text = ComponentToText(Form.get());
    for (const char* line : {"Active = True", "Control = ComponentsForm", "DrawMessage = dmEraseBkgnd",
                             "Image.ImageList = Images1", "Image.Index = 0", "Tiled = False", "FollowLink = False",
                             "OnDropFiles = FilesDropped"})
        EXPECT_NE(AnsiString::npos, text.find(line)) << line << " in\n" << text;

    TComponentPtr<TComponentsForm> again(static_cast<TComponentsForm*>(ComponentFromText(text, nullptr)));
    auto* painter2 = static_cast<TBitmapPainter*>(again->FindComponent("Painter1"));
    EXPECT_TRUE(painter2->Active());
    EXPECT_EQ(again->FindComponent("Images1"), painter2->Image()->ImageList());
    EXPECT_EQ(again.get(), painter2->Control());
    EXPECT_EQ(text, ComponentToText(again.get()));
}
