// Files as drag data: the CF_HDROP block of our own and the shell's own data
// objects for real files.
#include <functional>

#include <gtest/gtest.h>

#include "tests/kit/olednd_support.h"
#include "tests/kit/threads_support.h"

using namespace Kit;
using namespace OleTest;
using ThreadsTest::TTempFolder;
using namespace std::string_literals;

namespace {

// A CF_HDROP block: the header, then names (each with its zero) and a zero.
std::string Expected(const std::string& names) {
    const unsigned char header[20] = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    std::string block(reinterpret_cast<const char*>(header), sizeof header);
    block.append(names);
    block.push_back('\0');
    return block;
}

std::string DropBytes(const std::string& folder, std::initializer_list<const char*> names, bool swapped = false) {
    Fw::TStringList list;
    for (const char* name : names) list.Add(name);
    HGLOBAL block = swapped ? GetDropFiles(&list, folder) : GetDropFiles(folder, &list);
    std::string bytes = Bytes(block);
    GlobalFree(block);
    return bytes;
}

std::string ExceptionText(const std::function<void()>& call) {
    try {
        call();
    } catch (const Fw::Exception& e) {
        return e.Message();
    }
    return "no exception";
}

// The names of the object's CF_HDROP rendering, one a line.
std::string FileList(IDataObject* data) {
    Fw::TStringList list;
    TDataObjectReader(data).GetFileList(&list);
    return list.Text();
}

}  // namespace

TEST(OleShell, DropFilesBlocksByteForByte) {
    std::string block = DropBytes("C:\\dir", {"a.txt", "b.txt"});
    EXPECT_EQ(block.size(), 47u);
    EXPECT_EQ(block, Expected("C:\\dir\\a.txt\0C:\\dir\\b.txt\0"s));
    EXPECT_EQ(DropBytes("C:\\dir", {"a.txt", "b.txt"}, true), block);

    EXPECT_EQ(DropBytes("C:\\dir", {}), Expected(""));
    EXPECT_EQ(DropBytes("C:\\", {"x.txt"}), Expected("C:\\\\x.txt\0"s));
    EXPECT_EQ(DropBytes("", {"x.txt"}), Expected("\\x.txt\0"s));
    HGLOBAL none = GetDropFiles("C:\\dir", nullptr);
    EXPECT_EQ(Bytes(none), Expected(""));
    GlobalFree(none);
}

TEST_F(TOleTest, TheShellsDataObjectForRealFiles) {
    TTempFolder folder;
    const std::string first = folder / "読み取り.txt", second = folder / "second.txt";
    ThreadsTest::WriteInto(first);
    ThreadsTest::WriteInto(second);
    IDataObject* data = GetFileDataObject(nullptr, first);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(Fw::SameText(FileList(data), first + "\r\n")) << FileList(data);
    EXPECT_EQ(data->Release(), 0u);

    Fw::TStringList both;
    both.Add("second.txt");
    both.Add("読み取り.txt");
    data = GetFileDataObject(nullptr, &both, folder.Path());
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(Fw::SameText(FileList(data), second + "\r\n" + first + "\r\n")) << FileList(data);
    EXPECT_EQ(data->Release(), 0u);

    // A folder binds as a shell folder; a plain file does not.
    IShellFolder* shellFolder = GetShellFolder(folder.Path());
    ASSERT_NE(shellFolder, nullptr);
    shellFolder->Release();
    EXPECT_EQ(GetShellFolder(first), nullptr);
}

TEST_F(TOleTest, ShellDataObjectsRefuseBadPathsAndLeakNothing) {
    TTempFolder folder;
    const std::string present = folder / "present.txt", missingFolder = folder / "nowhere";
    ThreadsTest::WriteInto(present);
    Fw::TStringList many;
    for (int i = 0; i < 1025; ++i) many.Add(std::to_string(i));
    EXPECT_EQ(GetFileDataObject(nullptr, missingFolder, &many), nullptr);  // the shell is never asked
    Fw::TStringList none;
    EXPECT_EQ(GetFileDataObject(nullptr, folder.Path(), &none), nullptr);

    EXPECT_EQ(ExceptionText([&] { GetFileDataObject(nullptr, missingFolder + "\\a.txt"); }),
              "パス " + missingFolder + " は存在しません.");
    EXPECT_EQ(ExceptionText([&] { GetFileDataObject(nullptr, folder / "absent.txt"); }),
              "パス \"absent.txt\" は無効です.");
    EXPECT_EQ(ExceptionText([&] { GetFileDataObject(nullptr, "bare.txt"); }), "パス  は存在しません.");
    // C:\x.txt: the folder is C:\, which exists; the name is x.txt.
    EXPECT_EQ(ExceptionText([&] { GetFileDataObject(nullptr, "C:\\velmora-absent.txt"); }),
              "パス \"velmora-absent.txt\" は無効です.");

    // The identifier lists made before a name fails are freed, as are those
    // of a data object made and released.
    Fw::TStringList later;
    later.Add("present.txt");
    later.Add("absent.txt");
    IDataObject* warm = GetFileDataObject(nullptr, present);
    ASSERT_NE(warm, nullptr);
    warm->Release();
    TMallocSpy spy;
    ASSERT_TRUE(spy.Registered);
    const std::size_t before = spy.Blocks.size();
    EXPECT_THROW(GetFileDataObject(nullptr, folder.Path(), &later), Fw::Exception);
    EXPECT_EQ(spy.Blocks.size(), before);
    IDataObject* data = GetFileDataObject(nullptr, present);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->Release(), 0u);
    EXPECT_EQ(spy.Blocks.size(), before);
}
