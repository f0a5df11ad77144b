// Memory, file, handle, resource and string streams against real files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>

#include "framework/Streams.h"

using namespace Fw;

namespace {

// A private folder whose name holds a Shift-JIS character with a '\' trail
// byte, emptied and removed after each test.
class StreamFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        Dir = IncludeTrailingBackslash(temp) + Format("fw_streams_%lu_ソ", GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(Dir.c_str(), nullptr)) << Dir;
    }
    void TearDown() override {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((Dir + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do
                DeleteFileA((Dir + "\\" + data.cFileName).c_str());
            while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(Dir.c_str());
    }
    AnsiString Path(const char* name) const { return Dir + "\\" + name; }

    AnsiString Dir;
};

AnsiString ReadAll(TStream& s) {
    s.SetPosition(0);
    AnsiString r(static_cast<std::size_t>(s.Size()), '\0');
    s.ReadBuffer(r.data(), static_cast<int>(r.size()));
    return r;
}

}  // namespace

TEST(MemoryStream, WritesReadsAndGrows) {
    TMemoryStream m;
    m.WriteBuffer("hello", 5);
    EXPECT_EQ(5, m.Size());
    EXPECT_EQ(5, m.Position());
    EXPECT_EQ(0, std::memcmp(m.Memory(), "hello", 5));
    // A gap left by seeking past the end reads as zeros.
    m.Seek(3, soFromEnd);
    m.WriteBuffer("!", 1);
    EXPECT_EQ(AnsiString("hello\0\0\0!", 9), ReadAll(m));
    AnsiString big(100000, 'q');
    m.WriteBuffer(big.data(), static_cast<int>(big.size()));
    EXPECT_EQ(100009, m.Size());
    EXPECT_GE(m.Capacity(), m.Size());
    m.SetSize(2);
    EXPECT_EQ(2, m.Position());
    EXPECT_EQ("he", ReadAll(m));
    m.Clear();
    EXPECT_EQ(0, m.Size());
    EXPECT_EQ(nullptr, m.Memory());
}

TEST(MemoryStream, ShortReadsAndBadSeeksRaise) {
    TMemoryStream m;
    m.WriteBuffer("abc", 3);
    m.SetPosition(1);
    char buf[8] = {};
    EXPECT_EQ(2, m.Read(buf, 8));
    EXPECT_EQ(0, m.Read(buf, 8));
    m.SetPosition(1);
    try {
        m.ReadBuffer(buf, 3);
        FAIL() << "truncated read passed";
    } catch (const EReadError& e) {
        EXPECT_EQ("ストリームの読み込みエラー", e.Message());
    }
    EXPECT_THROW(m.Seek(-4, soFromEnd), EStreamError);
    EXPECT_THROW(m.Seek(0, static_cast<TSeekOrigin>(7)), EStreamError);
    EXPECT_EQ(3, m.Position());
}

TEST(StreamCopy, CopyFromCopiesAllOrCount) {
    TStringStream source("0123456789");
    source.SetPosition(7);
    TMemoryStream all;
    EXPECT_EQ(10, all.CopyFrom(&source, 0));  // 0: the whole source from its start
    EXPECT_EQ("0123456789", ReadAll(all));

    source.SetPosition(2);
    TStringStream part;
    EXPECT_EQ(3, part.CopyFrom(&source, 3));
    EXPECT_EQ("234", part.DataString());
    EXPECT_EQ(5, source.Position());

    EXPECT_THROW(part.CopyFrom(&source, 6), EReadError);
}

TEST(StringStream, OverwritesInPlace) {
    TStringStream s("abcdef");
    s.SetPosition(2);
    s.WriteString("XY");
    EXPECT_EQ("abXYef", s.DataString());
    EXPECT_EQ("ef", s.ReadString(10));
    s.SetSize(3);
    EXPECT_EQ("abX", s.DataString());
    EXPECT_EQ(3, s.Position());
}

TEST_F(StreamFiles, FileRoundTripAndReopen) {
    AnsiString name = Path("表.bin");
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("壁紙data", 8);
        EXPECT_EQ(name, f.FileName());
    }
    {
        TFileStream f(name, fmOpenReadWrite);
        EXPECT_EQ(8, f.Size());
        f.Seek(-4, soFromEnd);
        f.WriteBuffer("DATA", 4);
        f.SetSize(6);
        EXPECT_EQ(6, f.Position());
    }
    TMemoryStream m;
    m.LoadFromFile(name);
    EXPECT_EQ(0, m.Position());
    EXPECT_EQ("壁紙DA", ReadAll(m));
    m.SaveToFile(Path("copy.bin"));
    TFileStream copy(Path("copy.bin"), fmOpenRead);
    EXPECT_EQ("壁紙DA", ReadAll(copy));
    // Offsets are 64-bit: a seek far past 4 GB is merely a position.
    EXPECT_EQ(5LL << 30, copy.Seek(5LL << 30, soFromBeginning));
}

TEST_F(StreamFiles, OpenAndCreateErrorsNameTheFile) {
    AnsiString missing = Path("なし.txt");
    try {
        TFileStream f(missing, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_NE(AnsiString::npos, e.Message().find(missing)) << e.Message();
        EXPECT_NE(AnsiString::npos, e.Message().find(SysErrorMessage(ERROR_FILE_NOT_FOUND))) << e.Message();
    }
    AnsiString nowhere = Path("no folder\\x.txt");
    try {
        TFileStream f(nowhere, fmCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_NE(AnsiString::npos, e.Message().find(nowhere)) << e.Message();
    }
    EXPECT_THROW(TFileStream(missing, 0x0003), EFOpenError);
}

TEST_F(StreamFiles, ShareModesAreHonoured) {
    AnsiString name = Path("shared.txt");
    TFileStream writer(name, fmCreate | fmShareDenyWrite);
    EXPECT_THROW(TFileStream(name, fmOpenWrite | fmShareDenyNone), EFOpenError);
    TFileStream reader(name, fmOpenRead | fmShareDenyNone);
    writer.WriteBuffer("x", 1);
    EXPECT_EQ(1, reader.Size());
}

TEST_F(StreamFiles, HandleStreamLeavesTheHandleOpen) {
    AnsiString name = Path("handle.txt");
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    {
        THandleStream s(h);
        s.WriteBuffer("abc", 3);
        EXPECT_EQ(3, s.Size());
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "d", 1, &written, nullptr)) << "the stream closed a handle it does not own";
    CloseHandle(h);
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ("abcd", ReadAll(f));
    // A write to a read-only handle moves nothing.
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
}

// The resource is put into a copy of this program with the system's own
// resource editing functions, then read from the copy loaded as data.
TEST_F(StreamFiles, ResourceStreamReadsRcData) {
    char self[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, self, sizeof self));
    AnsiString copy = Path("res.exe");
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    const char payload[] = "リソースの中身\0with NUL";
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    ASSERT_NE(nullptr, update);
    ASSERT_TRUE(UpdateResourceA(update, RT_RCDATA, "VELMORA_DATA", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                const_cast<char*>(payload), sizeof payload));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));

    HMODULE module = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    {
        TResourceStream r(module, "VELMORA_DATA", RT_RCDATA);
        EXPECT_EQ(static_cast<std::int64_t>(sizeof payload), r.Size());
        EXPECT_EQ(AnsiString(payload, sizeof payload), ReadAll(r));
        EXPECT_THROW(r.WriteBuffer("x", 1), EStreamError);
        TMemoryStream m;
        m.CopyFrom(&r, 0);
        EXPECT_EQ(AnsiString(payload, sizeof payload), ReadAll(m));
    }
    try {
        TResourceStream r(module, "NOPE", RT_RCDATA);
        FAIL() << "found a resource that is not there";
    } catch (const EResNotFound& e) {
        EXPECT_EQ("リソース NOPE が見つかりません.", e.Message());
    }
    EXPECT_THROW(TResourceStream(module, 4711, RT_RCDATA), EResNotFound);
    FreeLibrary(module);
}
