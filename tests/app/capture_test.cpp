// The capture against real files in a folder of its own, with last-write
// times chosen through SetFileTime on files written in place.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Capture.h"
#include "test_mounts.h"

using namespace Velmora;
using Fw::Format;

namespace {

constexpr std::int64_t T0 = 133'485'408'000'000'000;  // 2024-01-01, in 100-ns units
constexpr std::int64_t Second = 10'000'000;

int Beeps;
UINT BeepType;
BOOL WINAPI CountBeep(UINT type) {
    ++Beeps;
    BeepType = type;
    return TRUE;
}

void WriteAt(const AnsiString& name, const AnsiString& content, std::int64_t time) {
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);  // a hidden file is not replaced
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << name << " error " << GetLastError();
    DWORD written;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    FILETIME t = {static_cast<DWORD>(time), static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32)};
    EXPECT_TRUE(SetFileTime(f, nullptr, nullptr, &t));
    CloseHandle(f);
}

std::int64_t LastWrite(const AnsiString& name) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &d))
        return -1;
    return static_cast<std::int64_t>((std::uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32) |
                                     d.ftLastWriteTime.dwLowDateTime);
}

AnsiString Content(const AnsiString& name) {
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "(missing)";
    AnsiString bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(f, buffer, sizeof buffer, &read, nullptr) && read)
        bytes.append(buffer, read);
    CloseHandle(f);
    return bytes;
}

// What the browser does to its file in the middle of the capture's copy.
std::function<void()> DuringCopy;
BOOL WINAPI CopyAndInterrupt(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    BOOL copied = CopyFileA(from, to, failIfExists);
    DWORD error = GetLastError();
    if (DuringCopy)
        DuringCopy();
    SetLastError(error);
    return copied;
}

bool Hidden(const AnsiString& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

std::vector<AnsiString> Names(const AnsiString& dir) {
    std::vector<AnsiString> names;
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        AnsiString n = f.cFileName;
        if (n != "." && n != "..")
            names.push_back(n);
    } while (FindNextFileA(h, &f));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const AnsiString& dir) {
    for (const AnsiString& n : Names(dir)) {
        AnsiString path = dir + "\\" + n;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path);
        else
            DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        static int run;
        Root = Format("%svelmora-capture-%lu-%d", temp, GetCurrentProcessId(), ++run);
        Wallpaper = Root + "\\Internet Explorer 壁紙.bmp";
        SaveDir = Root + "\\壁紙";
        ASSERT_TRUE(CreateDirectoryA(Root.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr));
        Beeps = 0;
        BeepType = 99;
        CaptureBeep = CountBeep;
    }
    void TearDown() override {
        CaptureBeep = MessageBeep;
        CaptureCopy = CopyFileA;
        DuringCopy = nullptr;
        RemoveTree(Root);
    }

    TCaptureResult Run(const AnsiString& prefix = "WALL", bool beep = true) {
        return CaptureWallpaper(Wallpaper, SaveDir, prefix, beep);
    }
    AnsiString In(const AnsiString& name) const { return SaveDir + "\\" + name; }
    void Touch(const AnsiString& name) { WriteAt(In(name), "", T0); }
    // Numbers first .. last taken by empty pictures.
    void Take(const AnsiString& prefix, int first, int last) {
        for (int n = first; n <= last; ++n)
            Touch(Format("%s%03d.BMP", prefix.c_str(), n));
    }
    void ExpectSaved(const TCaptureResult& r, const AnsiString& name) {
        EXPECT_EQ(coSaved, r.Outcome) << "error " << r.ErrorCode;
        EXPECT_EQ(In(name), r.SavedFile);
    }

    AnsiString Root, Wallpaper, SaveDir;
};

}  // namespace

TEST_F(Capture, SavesEachNewWallpaperOnceUnderTheNextNumber) {
    WriteAt(Wallpaper, "picture A", T0);
    ExpectSaved(Run(), "WALL001.BMP");
    EXPECT_EQ((std::vector<AnsiString>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_TRUE(Hidden(In("WALL000.TMP")));
    EXPECT_FALSE(Hidden(In("WALL001.BMP")));
    EXPECT_EQ("picture A", Content(In("WALL001.BMP")));
    EXPECT_EQ(T0, LastWrite(In("WALL001.BMP")));
    EXPECT_EQ(T0, LastWrite(In("WALL000.TMP")));

    // Another file of the browser's folder changed, or the same change
    // was reported twice.
    EXPECT_EQ(coUnchanged, Run().Outcome);
    EXPECT_EQ(2u, Names(SaveDir).size());

    WriteAt(Wallpaper, "picture B", T0 + 60 * Second);
    ExpectSaved(Run(), "WALL002.BMP");
    EXPECT_EQ("picture B", Content(In("WALL002.BMP")));
    EXPECT_EQ("picture A", Content(In("WALL001.BMP")));
    EXPECT_TRUE(Hidden(In("WALL000.TMP")));
}

TEST_F(Capture, TakesTheLowestNumberNoFileOrFolderBears) {
    Take("WALL", 2, 2);
    ASSERT_TRUE(CreateDirectoryA(In("WALL003.BMP").c_str(), nullptr));
    // Not the names of any number: wrong digits, extension or prefix.
    for (const char* other : {"WALL0001.BMP", "WALL01.BMP", "WALL1.BMP", "WALL001.TIF", "WALL001.BMP.old",
                              "WALLA001.BMP", "WALL 004.BMP", "WALL000.BMP", "ＷALL004.BMP"})
        Touch(other);
    // Names compare as the file system compares them: without regard to case.
    Touch("wall004.bmp");

    WriteAt(Wallpaper, "first", T0);
    ExpectSaved(Run(), "WALL001.BMP");  // freed by a deleted picture: reused first
    WriteAt(Wallpaper, "second", T0 + Second * 10);
    ExpectSaved(Run(), "WALL005.BMP");
    EXPECT_EQ("", Content(In("wall004.bmp")));

    DWORD error = 1;
    EXPECT_EQ(6u, FirstFreeNumber(SaveDir, "WALL", error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);
    EXPECT_EQ(1u, FirstFreeNumber(SaveDir, "NONE", error));
    EXPECT_EQ(0u, FirstFreeNumber(In("missing"), "WALL", error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
}

// One sequence for every type a picture is kept as: a number taken under one
// extension is taken under all.
TEST_F(Capture, NumbersOneSequenceAcrossEveryExtension) {
    for (const char* taken : {"WALL001.JPG", "WALL002.png", "wall003.Gif", "WALL004.BMP", "WALL006.JPG",
                              "WALL005.TIF", "WALL005.JPEG", "WALL005.JPG.old"})
        Touch(taken);
    DWORD error = 1;
    EXPECT_EQ(5u, FirstFreeNumber(SaveDir, "WALL", error));
    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run(), "WALL005.BMP");  // the browser's bitmap stays a bitmap
    EXPECT_EQ(7u, FirstFreeNumber(SaveDir, "WALL", error));
    EXPECT_EQ(In("WALL007.PNG"), NumberedFileName(SaveDir, "WALL", 7, ".PNG"));
}

// The desktop's capture and the browser's share the marker. Which of the
// two sees the browser's new bitmap first is a race the tool does not
// decide; either way it is kept once, and neither capture takes the other's
// picture for a new one later, at the next start as well.
TEST_F(Capture, TheDesktopsAndTheBrowsersCapturesKeepEachPictureOnce) {
    auto wide = [](const AnsiString& a) {
        std::wstring w(a.size() + 1, L'\0');
        const int n = MultiByteToWideChar(CP_ACP, 0, a.c_str(), -1, w.data(), static_cast<int>(w.size()));
        w.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
        return w;
    };
    auto desktop = [&](const AnsiString& file) {
        return CaptureDesktopWallpaper({wide(file), std::wstring()}, Wallpaper, SaveDir, "WALL", false, false);
    };
    WriteAt(Wallpaper, "BM first", T0);
    ExpectSaved(Run(), "WALL001.BMP");

    WriteAt(Wallpaper, "BM second", T0 + 60 * Second);
    ExpectSaved(desktop(Wallpaper), "WALL002.BMP");
    EXPECT_EQ(coUnchanged, Run().Outcome);

    const AnsiString other = Root + "\\other.png";
    WriteAt(other, "\x89PNG\r\n\x1A\n other", T0 + 120 * Second);
    ExpectSaved(desktop(other), "WALL003.PNG");
    EXPECT_EQ(coUnchanged, Run().Outcome);
    EXPECT_EQ(coUnchanged, desktop(other).Outcome);
}

// A program that reads the marker (a virus scanner, a thumbnail maker) holds
// the desktop's capture up for a moment, as the browser holds its bitmap:
// no failure, nothing changed, and the picture kept once the marker is free.
TEST_F(Capture, ADesktopPictureWaitsWhileAnotherProgramReadsTheMarker) {
    WriteAt(Wallpaper, "BM first", T0);
    ExpectSaved(Run(), "WALL001.BMP");
    const AnsiString picture = Root + "\\picture.gif";
    WriteAt(picture, "GIF89a picture", T0 + 60 * Second);
    std::wstring wide(picture.size() + 1, L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, picture.c_str(), -1, wide.data(), static_cast<int>(wide.size())) - 1));
    const TDesktopPicture desktop{wide, std::wstring()};
    HANDLE reader = CreateFileA(In("WALL000.TMP").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ(coBusy, CaptureDesktopWallpaper(desktop, Wallpaper, SaveDir, "WALL", false, false).Outcome);
    CloseHandle(reader);
    EXPECT_EQ("BM first", Content(In("WALL000.TMP")));
    ExpectSaved(CaptureDesktopWallpaper(desktop, Wallpaper, SaveDir, "WALL", false, false), "WALL002.GIF");
}

TEST(PictureType, IsFoundFromTheFirstBytesNotFromTheName) {
    using namespace std::string_literals;
    const struct {
        std::string head;
        const char* extension;
    } cases[] = {
        {"BM\x36\x00\x0C\x00"s, ".BMP"},
        {"\xFF\xD8\xFF\xE0\x00\x10JFIF"s, ".JPG"},
        {"\xFF\xD8\xFF\xE1"s, ".JPG"},  // Exif
        {"\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR"s, ".PNG"},
        {"GIF87a\x01\x00"s, ".GIF"},
        {"GIF89a"s, ".GIF"},
        {""s, nullptr},
        {"B"s, nullptr},
        {"bm\x36\x00"s, nullptr},
        {"\xFF\xD8"s, nullptr},
        {"\x89PNG\r\n\x1A"s, nullptr},  // cut short
        {"GIF88a"s, nullptr},
        {"RIFF\x10\x00\x00\x00WEBPVP8 "s, nullptr},
        {"II*\x00"s, nullptr},  // TIFF
        {"<html>"s, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        const char* found = PictureExtension(c.head.data(), c.head.size());
        EXPECT_EQ(c.extension ? AnsiString(c.extension) : AnsiString("(none)"), found ? AnsiString(found) : AnsiString("(none)"));
    }
}

TEST_F(Capture, NumbersGoOnPast999) {
    Take("WALL", 1, 999);
    Touch("WALL01001.BMP");  // not 1001: four digits carry no leading zero
    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run(), "WALL1000.BMP");
    WriteAt(Wallpaper, "b", T0 + 3 * Second);
    ExpectSaved(Run(), "WALL1001.BMP");
    ASSERT_TRUE(DeleteFileA(In("WALL500.BMP").c_str()));
    WriteAt(Wallpaper, "c", T0 + 6 * Second);
    ExpectSaved(Run(), "WALL500.BMP");
    WriteAt(Wallpaper, "d", T0 + 9 * Second);
    ExpectSaved(Run(), "WALL1002.BMP");
}

TEST_F(Capture, EachPrefixHasItsOwnMarkerAndNumbers) {
    Take("WALL", 1, 3);
    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run(), "WALL004.BMP");
    // The same picture again under a new prefix: its marker is new too.
    ExpectSaved(Run("IE"), "IE001.BMP");
    EXPECT_TRUE(Hidden(In("IE000.TMP")));
    // A prefix that another prefix begins with sees none of its numbers.
    ExpectSaved(Run("WAL"), "WAL001.BMP");
    // A prefix in other case names the very same files.
    EXPECT_EQ(coUnchanged, Run("wall").Outcome);
    WriteAt(Wallpaper, "b", T0 + 5 * Second);
    ExpectSaved(Run("wall"), "wall005.BMP");

    // "表" ends in the byte of '\': it must not cut the prefix short.
    ExpectSaved(Run("表示"), "表示001.BMP");
    WriteAt(Wallpaper, "c", T0 + 10 * Second);
    ExpectSaved(Run("表示"), "表示002.BMP");
    EXPECT_EQ("b", Content(In("表示001.BMP")));

    // A prefix may lead into a subfolder; the numbers are that folder's.
    ASSERT_TRUE(CreateDirectoryA(In("old").c_str(), nullptr));
    ExpectSaved(Run("old\\WALL"), "old\\WALL001.BMP");
    WriteAt(Wallpaper, "d", T0 + 15 * Second);
    ExpectSaved(Run("old\\WALL"), "old\\WALL002.BMP");
    EXPECT_EQ("c", Content(In("old\\WALL001.BMP")));
}

// However the folder and the prefix are spelt, the numbers are those of the
// folder the pictures are written to.
TEST_F(Capture, CountsTheNumbersOfTheFolderThePicturesGoTo) {
    ASSERT_TRUE(CreateDirectoryA(In("old").c_str(), nullptr));
    Take("old\\WALL", 1, 2);
    Touch("old\\wall003.bmp");
    Take("WALL", 1, 5);
    struct Case {
        AnsiString dir, prefix;
    } cases[] = {
        {SaveDir, "old\\WALL"},
        {SaveDir + "\\", "old\\WALL"},
        {SaveDir, "old/WALL"},
        {SaveDir, "old\\..\\old\\WALL"},
        {SaveDir + "\\old", "WALL"},
        {SaveDir + "/old/", "wall"},
        {In("old\\..\\old"), "WALL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir + " " + c.prefix);
        DWORD error = 1;
        EXPECT_EQ(4u, FirstFreeNumber(c.dir, c.prefix, error));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);
    }
    DWORD error = 1;
    EXPECT_EQ(6u, FirstFreeNumber(SaveDir + "\\", "WALL", error));
    // A prefix that is only a folder numbers bare names.
    Touch("old\\001.BMP");
    EXPECT_EQ(2u, FirstFreeNumber(SaveDir, "old\\", error));
    // A file is no folder to list.
    EXPECT_EQ(0u, FirstFreeNumber(In("WALL001.BMP"), "WALL", error));
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), error);

    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run("old/WALL"), "old/WALL004.BMP");
    EXPECT_EQ("a", Content(In("old\\WALL004.BMP")));
}

TEST_F(Capture, AMarkerUpToTwoSecondsNewerHoldsTheSamePicture) {
    struct Case {
        std::int64_t markerNewerBy;
        bool saved;
    } cases[] = {
        {0, false},
        {2 * Second, false},
        {2 * Second + 1, true},   // an older picture put back as the browser's file
        {-1, true},               // the wallpaper 100 ns newer
        {-60 * Second, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markerNewerBy);
        WriteAt(Wallpaper, "new", T0);
        WriteAt(In("WALL000.TMP"), "old", T0 + c.markerNewerBy);
        TCaptureResult r = Run();
        EXPECT_EQ(c.saved ? coSaved : coUnchanged, r.Outcome);
        EXPECT_EQ(c.saved ? "new" : "old", Content(In("WALL000.TMP")));
        DeleteFileA(In("WALL001.BMP").c_str());
    }
}

TEST_F(Capture, WholeTimesDecideNotTheirLowWords) {
    const std::int64_t Low = std::int64_t(1) << 32;  // 429.4967296 s
    for (std::int64_t wallpaperNewerBy :
         {Low, Low - Second, Low - 2 * Second, 4'280'000'000LL, 3 * Low - 1, -(Low + Second)}) {
        SCOPED_TRACE(wallpaperNewerBy);
        WriteAt(In("WALL000.TMP"), "old", T0);
        WriteAt(Wallpaper, "new", T0 + wallpaperNewerBy);
        ExpectSaved(Run(), "WALL001.BMP");
        EXPECT_EQ("new", Content(In("WALL001.BMP")));
        DeleteFileA(In("WALL001.BMP").c_str());
    }
}

TEST_F(Capture, AWallpaperStillBeingWrittenIsSavedOnceTheWriterIsDone) {
    WriteAt(Wallpaper, "first", T0);
    ExpectSaved(Run(), "WALL001.BMP");
    WriteAt(Wallpaper, "second", T0 + 100000000);
    HANDLE writer = CreateFileA(Wallpaper.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    TCaptureResult busy = Run();
    CloseHandle(writer);
    EXPECT_EQ(coBusy, busy.Outcome) << "not a failure of the save folder";
    EXPECT_EQ((std::vector<AnsiString>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_EQ("first", Content(In("WALL000.TMP"))) << "the marker still records the picture saved last";
    ExpectSaved(Run(), "WALL002.BMP");
    EXPECT_EQ("second", Content(In("WALL002.BMP")));
}

// A picture written in pieces through a shared handle can change under the
// copy: whatever changes, size or time, the copy is no picture to keep.
TEST_F(Capture, AWallpaperThatChangesWhileItIsCopiedIsNotKept) {
    WriteAt(Wallpaper, "picture A", T0);
    ExpectSaved(Run(), "WALL001.BMP");
    CaptureCopy = CopyAndInterrupt;
    struct Case {
        const char* what;
        AnsiString half, whole;
        std::int64_t halfTime, wholeTime;
    } cases[] = {
        {"grows, same time", "picture B (first half)", "picture B (first half), second half", T0 + 10 * Second,
         T0 + 10 * Second},
        {"same size, written again", "picture C, piece 1", "picture C, piece 2", T0 + 20 * Second,
         T0 + 20 * Second + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int beeps = Beeps;
        WriteAt(Wallpaper, c.half, c.halfTime);
        DuringCopy = [&] { WriteAt(Wallpaper, c.whole, c.wholeTime); };
        EXPECT_EQ(coChanged, Run().Outcome);
        EXPECT_EQ((std::vector<AnsiString>{"WALL001.BMP"}), Names(SaveDir)) << "no marker, no picture";
        EXPECT_EQ(beeps, Beeps);

        // Quiet again: the whole picture, once.
        DuringCopy = nullptr;
        ExpectSaved(Run(), "WALL002.BMP");
        EXPECT_EQ(c.whole, Content(In("WALL002.BMP")));
        EXPECT_EQ(coUnchanged, Run().Outcome);
        DeleteFileA(In("WALL002.BMP").c_str());
    }
    EXPECT_EQ("picture A", Content(In("WALL001.BMP")));
}

// A full disk: the marker's copy fails, or the marker fits and the
// numbered picture does not. Neither leaves a file behind: an empty or half
// numbered file would keep its number and look like a saved picture, and a
// half marker could pass for the record of a picture never saved.
TEST_F(Capture, OnAFullDiskNothingHalfWrittenIsLeft) {
    std::string whyNot;
    const std::string mount = TestMount("full", whyNot);
    if (mount.empty())
        GTEST_SKIP() << "no small file system to fill: " << whyNot;
    SaveDir = Format("%s\\capture-%lu", mount.c_str(), GetCurrentProcessId());
    const AnsiString filler = SaveDir + "-filler";
    ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr)) << SaveDir;
    struct TCleanUp {
        AnsiString dir, filler;
        ~TCleanUp() {
            DeleteFileA(filler.c_str());
            RemoveTree(dir);
        }
    } cleanUp{SaveDir, filler};

    // Leaves about `room` bytes free on the mount.
    auto fillUpTo = [&](ULONGLONG room) {
        DeleteFileA(filler.c_str());
        ULARGE_INTEGER available;
        ASSERT_TRUE(GetDiskFreeSpaceExA((SaveDir + "\\").c_str(), &available, nullptr, nullptr));
        ASSERT_GT(available.QuadPart, room);
        HANDLE f = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        const std::vector<char> chunk(4096, 'f');
        for (ULONGLONG left = available.QuadPart - room; left; left -= chunk.size()) {
            DWORD written = 0;
            if (!WriteFile(f, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr))
                break;
        }
        CloseHandle(f);
    };

    const AnsiString picture(96 * 1024, 'p');
    WriteAt(Wallpaper, picture, T0);

    fillUpTo(picture.size() / 2);
    TCaptureResult r = Run();
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), r.ErrorCode);
    EXPECT_TRUE(Names(SaveDir).empty()) << "the marker's copy did not fit";

    fillUpTo(picture.size() * 3 / 2);
    r = Run();
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), r.ErrorCode);
    EXPECT_TRUE(Names(SaveDir).empty()) << "the picture's copy did not fit";
    EXPECT_EQ(0, Beeps);

    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    ExpectSaved(Run(), "WALL001.BMP");
    EXPECT_EQ(picture, Content(In("WALL001.BMP")));
    EXPECT_EQ(picture, Content(In("WALL000.TMP")));
}

TEST_F(Capture, WithoutAWallpaperNothingHappensAndNothingIsSaid) {
    EXPECT_EQ(coNoWallpaper, Run().Outcome);
    EXPECT_TRUE(Names(SaveDir).empty());

    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run(), "WALL001.BMP");
    ASSERT_TRUE(DeleteFileA(Wallpaper.c_str()));
    EXPECT_EQ(coNoWallpaper, Run().Outcome);
    EXPECT_EQ((std::vector<AnsiString>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_EQ("a", Content(In("WALL000.TMP")));
    EXPECT_EQ(1, Beeps);
}

TEST_F(Capture, ASaveFolderThatIsNoFolderFails) {
    WriteAt(Wallpaper, "a", T0);
    SaveDir = Root + "\\missing";
    TCaptureResult r = Run();
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), r.ErrorCode);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(SaveDir.c_str()));

    SaveDir = Wallpaper;  // a file
    r = Run();
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), r.ErrorCode);
    EXPECT_NE(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), r.ErrorCode);
    EXPECT_EQ(0, Beeps);
}

// The file system refuses a name part longer than 255 bytes. With 1 to 999
// taken, the next name is one byte longer than the marker's: the marker is
// written, the picture is not, as on a disk with room to replace the marker
// but none for a new file.
TEST_F(Capture, AFailedNumberedCopyLeavesNoMarkerBehind) {
    AnsiString prefix;
    for (int i = 0; i < 82; ++i)
        prefix += "壁";  // three bytes on the file system, two in the program
    prefix += "ab";
    Take(prefix, 1, 999);
    HANDLE probe = CreateFileA(In(prefix + "1000.BMP").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    ASSERT_EQ(INVALID_HANDLE_VALUE, probe) << "this file system takes longer names";

    WriteAt(Wallpaper, "a", T0);
    // The marker takes the wallpaper's attributes: a read-only one must go too.
    ASSERT_TRUE(SetFileAttributesA(Wallpaper.c_str(), FILE_ATTRIBUTE_READONLY));
    TCaptureResult r = Run(prefix);
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), r.ErrorCode);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(In(prefix + "000.TMP").c_str()));
    EXPECT_EQ(999u, Names(SaveDir).size());
    EXPECT_EQ(0, Beeps);

    // The picture was not taken for saved: once there is room it is.
    ASSERT_TRUE(DeleteFileA(In(prefix + "500.BMP").c_str()));
    ExpectSaved(Run(prefix), prefix + "500.BMP");
    EXPECT_EQ("a", Content(In(prefix + "500.BMP")));
}

TEST_F(Capture, ANameBeyondMaxPathIsRefusedNotCut) {
    // SaveDir\Prefix000.TMP of exactly 259 bytes: it and picture 1 fit.
    const AnsiString prefix(MAX_PATH - 1 - SaveDir.size() - 1 - 7, 'P');
    ASSERT_EQ(static_cast<std::size_t>(MAX_PATH - 1), In(prefix + "000.TMP").size());
    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run(prefix), prefix + "001.BMP");

    // Picture 1000 would need 260.
    Take(prefix, 2, 999);
    WriteAt(Wallpaper, "b", T0 + 10 * Second);
    TCaptureResult r = Run(prefix);
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), r.ErrorCode);
    EXPECT_EQ(999u, Names(SaveDir).size());  // no marker, no name cut short
    EXPECT_EQ("a", Content(In(prefix + "001.BMP")));

    // A marker name that does not fit: no picture ever can. Said at once,
    // before the browser has written any wallpaper, and nothing is touched.
    ASSERT_TRUE(DeleteFileA(Wallpaper.c_str()));
    r = Run(prefix + "Q");
    EXPECT_EQ(coFailed, r.Outcome);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), r.ErrorCode);
    EXPECT_EQ(999u, Names(SaveDir).size());
    EXPECT_EQ(1, Beeps);
}

TEST_F(Capture, BeepsOncePerSavedPictureWhenAskedTo) {
    WriteAt(Wallpaper, "a", T0);
    ExpectSaved(Run("WALL", false), "WALL001.BMP");
    EXPECT_EQ(0, Beeps);
    WriteAt(Wallpaper, "b", T0 + 10 * Second);
    ExpectSaved(Run("WALL", true), "WALL002.BMP");
    EXPECT_EQ(1, Beeps);
    EXPECT_EQ(0u, BeepType);  // the default sound
    EXPECT_EQ(coUnchanged, Run("WALL", true).Outcome);
    EXPECT_EQ(1, Beeps);
}
