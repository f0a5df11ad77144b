// Conversions, comparisons and double-byte-aware file-name helpers.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cmath>

#include "framework/SysUtils.h"

using namespace Fw;

namespace {

template <class E, class F>
AnsiString MessageOf(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    ADD_FAILURE() << "expected exception was not raised";
    return AnsiString();
}

}  // namespace

TEST(SysUtilsStrToInt, AcceptsDecimalHexSignsAndBlanks) {
    EXPECT_EQ(42, StrToInt("42"));
    EXPECT_EQ(-17, StrToInt("-17"));
    EXPECT_EQ(5, StrToInt("+5"));
    EXPECT_EQ(12, StrToInt("  12\t"));
    EXPECT_EQ(255, StrToInt("$FF"));
    EXPECT_EQ(255, StrToInt("0xff"));
    EXPECT_EQ(-16, StrToInt("-$10"));
    EXPECT_EQ(-1, StrToInt("$FFFFFFFF"));
    EXPECT_EQ(7, StrToInt("007"));
}

TEST(SysUtilsStrToInt, BoundsOfThe32BitRange) {
    EXPECT_EQ(INT_MIN, StrToInt("-2147483648"));
    EXPECT_EQ(INT_MAX, StrToInt("2147483647"));
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt("-2147483649"), EConvertError);
    EXPECT_THROW(StrToInt("$100000000"), EConvertError);
    EXPECT_EQ(INT_MIN, StrToInt(IntToStr(INT_MIN)));
    EXPECT_EQ("4294967295", IntToStr(0xFFFFFFFFul));
    EXPECT_EQ("-9000000000", IntToStr(-9000000000LL));
}

TEST(SysUtilsStrToInt, RefusesGarbageNamingTheText) {
    for (const char* bad : {"", "  ", "abc", "12a", "1 2", "--1", "+-1", "$", "0x", "$-1", "1.0", "１"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    EXPECT_EQ("'abc' は整数値ではありません.", MessageOf<EConvertError>([] { StrToInt("abc"); }));
    EXPECT_EQ(-3, StrToIntDef("x", -3));
    EXPECT_EQ(9, StrToIntDef("9", -3));
}

TEST(SysUtilsFloat, ShortestTextRoundTripsExactly) {
    EXPECT_EQ("0.1", FloatToStr(0.1));
    EXPECT_EQ("3.75", FloatToStr(3.75));
    EXPECT_EQ("-2", FloatToStr(-2.0));
    for (double d : {0.1, 1.0 / 3.0, 2.0 / 3.0, 1e300, -1e-300, 5e-324, 123456789.125, 1e21})
        EXPECT_EQ(d, StrToFloat(FloatToStr(d))) << FloatToStr(d);
    EXPECT_EQ("INF", FloatToStr(HUGE_VAL));
    EXPECT_EQ("-INF", FloatToStr(-HUGE_VAL));
    EXPECT_EQ("NAN", FloatToStr(NAN));
}

TEST(SysUtilsFloat, ParsesInvariantTextOnly) {
    EXPECT_EQ(2.5, StrToFloat(" 2.5 "));
    EXPECT_EQ(-0.5, StrToFloat("-.5"));
    EXPECT_EQ(1500.0, StrToFloat("1.5E3"));
    EXPECT_EQ(0.0, StrToFloat("1e-400"));
    for (const char* bad : {"", "1,5", "1.5x", "e3", "--1", "1e400"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
}

TEST(SysUtilsFormat, FormatsBeyondTheSmallBuffer) {
    EXPECT_EQ("a:-7:b", Format("%s:%d:%s", "a", -7, "b"));
    AnsiString big(1000, 'x');
    EXPECT_EQ(big + "!", Format("%s!", big.c_str()));
    EXPECT_EQ("00FF", IntToHex(255, 4));
    EXPECT_EQ("FFFFFFFF", IntToHex(0xFFFFFFFFu, 2));
}

TEST(SysUtilsCompare, LocaleAndByteOrders) {
    // The locale puts lower-case a before upper-case B; bytes put 'B' first.
    EXPECT_LT(AnsiCompareStr("a", "B"), 0);
    EXPECT_GT(CompareStr("a", "B"), 0);
    EXPECT_NE(0, AnsiCompareStr("abc", "ABC"));
    EXPECT_EQ(0, AnsiCompareText("abc", "ABC"));
    EXPECT_EQ(0, AnsiCompareStr("壁紙", "壁紙"));
    EXPECT_LT(AnsiCompareStr("Button1", "Button2"), 0);
    EXPECT_GT(AnsiCompareText("b", "A"), 0);
    EXPECT_TRUE(SameText("Button1", "BUTTON1"));
    EXPECT_FALSE(SameText("Button1", "Button"));
    // Embedded NULs take part in the comparison.
    EXPECT_NE(0, AnsiCompareStr(AnsiString("a\0b", 3), AnsiString("a\0c", 3)));
}

TEST(SysUtilsCase, AsciiFoldingLeavesTrailBytesAlone) {
    const AnsiString ji = "ヂ";  // trail byte 0x61, 'a'
    ASSERT_EQ(0x61, static_cast<unsigned char>(ji[1]));
    const AnsiString a = "ア";  // trail byte 0x41, 'A'
    ASSERT_EQ(0x41, static_cast<unsigned char>(a[1]));
    EXPECT_EQ("ABC" + ji, UpperCase("abc" + ji));
    EXPECT_EQ("abc" + a, LowerCase("ABC" + a));
}

TEST(SysUtilsText, TrimQuoteAndIdentifiers) {
    EXPECT_EQ("a b", Trim(" \t a b\r\n"));
    EXPECT_EQ("a ", TrimLeft("  a "));
    EXPECT_EQ(" a", TrimRight(" a \x01"));
    EXPECT_EQ("\"say \"\"hi\"\"\"", AnsiQuotedStr("say \"hi\"", '"'));
    AnsiString quoted = "x\"a\"\"b\"y";
    std::size_t pos = 1;
    EXPECT_EQ("a\"b", AnsiExtractQuotedStr(quoted, pos, '"'));
    EXPECT_EQ(7u, pos);  // on the y after the closing quote
    EXPECT_TRUE(IsValidIdent("_Button1"));
    EXPECT_FALSE(IsValidIdent("1Button"));
    EXPECT_FALSE(IsValidIdent(""));
    EXPECT_FALSE(IsValidIdent("Font.Height"));
    EXPECT_TRUE(IsValidIdent("Font.Height", true));
    EXPECT_FALSE(IsValidIdent("Font.", true));
    EXPECT_FALSE(IsValidIdent("ボタン"));
}

TEST(SysUtilsErrors, SysErrorMessageIsTrimmed) {
    AnsiString text = SysErrorMessage(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    unsigned char last = static_cast<unsigned char>(text.back());
    EXPECT_GT(last, ' ');
    EXPECT_NE('.', text.back());
    EXPECT_THROW(Abort(), EAbort);
    try {
        SetLastError(ERROR_ACCESS_DENIED);
        RaiseLastOSError();
    } catch (const EOSError& e) {
        EXPECT_EQ(static_cast<unsigned long>(ERROR_ACCESS_DENIED), e.ErrorCode);
        EXPECT_NE(AnsiString::npos, e.Message().find(SysErrorMessage(ERROR_ACCESS_DENIED)));
    }
}

// "ソ" is 0x83 0x5C and "表" is 0x95 0x5C: their trail bytes are backslashes.
class SysUtilsDbcsPath : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(932u, GetACP()) << "the Japanese locale (LANG=ja_JP.UTF-8) is needed";
        ASSERT_EQ('\\', AnsiString("ソ")[1]);
        ASSERT_EQ('\\', AnsiString("表")[1]);
    }
};

TEST_F(SysUtilsDbcsPath, FileNameAndPathSplitAtRealBackslashes) {
    EXPECT_EQ("C:\\ソフト\\", ExtractFilePath("C:\\ソフト\\表.txt"));
    EXPECT_EQ("表.txt", ExtractFileName("C:\\ソフト\\表.txt"));
    EXPECT_EQ("ソ", ExtractFileName("C:\\dir\\ソ"));
    EXPECT_EQ("C:\\dir\\", ExtractFilePath("C:\\dir\\ソ"));
    EXPECT_EQ("C:\\ソ表\\", ExtractFilePath("C:\\ソ表\\a.bmp"));
    EXPECT_EQ("C:\\ソ表", ExtractFileDir("C:\\ソ表\\a.bmp"));
    EXPECT_EQ("ソ表", ExtractFileName("C:ソ表"));
    EXPECT_EQ(".txt", ExtractFileExt("C:\\ソ.d\\表.txt"));
    EXPECT_EQ("C:\\ソ.d\\表.bmp", ChangeFileExt("C:\\ソ.d\\表.txt", ".bmp"));
}

TEST_F(SysUtilsDbcsPath, TrailingBackslashHelpers) {
    EXPECT_EQ("C:\\ソ\\", IncludeTrailingBackslash("C:\\ソ"));
    EXPECT_EQ("C:\\ソ", ExcludeTrailingBackslash("C:\\ソ"));
    EXPECT_EQ("C:\\ソ", ExcludeTrailingBackslash("C:\\ソ\\"));
    EXPECT_EQ("C:\\a\\", ExcludeTrailingBackslash("C:\\a\\\\"));
    EXPECT_EQ("\\", IncludeTrailingBackslash(""));
    EXPECT_FALSE(IsPathDelimiter("表", 2));
    EXPECT_TRUE(IsPathDelimiter("表\\", 3));
}

TEST_F(SysUtilsDbcsPath, ByteTypesAndLastChar) {
    AnsiString s = "aソb表";
    EXPECT_EQ(mbSingleByte, ByteType(s, 1));
    EXPECT_EQ(mbLeadByte, ByteType(s, 2));
    EXPECT_EQ(mbTrailByte, ByteType(s, 3));
    EXPECT_EQ(mbSingleByte, ByteType(s, 4));
    EXPECT_EQ(mbTrailByte, ByteType(s, 6));
    EXPECT_EQ(s.data() + 4, AnsiStrLastChar(s));
    EXPECT_EQ(nullptr, AnsiStrLastChar(""));
    EXPECT_EQ(0u, LastDelimiter("\\", "aソb表"));
    EXPECT_EQ(4u, LastDelimiter("\\", "aソ\\表"));
}

TEST(SysUtilsFileNames, PlainNames) {
    EXPECT_EQ(".gz", ExtractFileExt("x.tar.gz"));
    EXPECT_EQ("", ExtractFileExt("C:\\a.b\\file"));
    EXPECT_EQ("C:\\a.b\\file.x", ChangeFileExt("C:\\a.b\\file", ".x"));
    EXPECT_EQ("C:\\", ExtractFileDir("C:\\"));
    EXPECT_EQ("C:\\a", ExtractFileDir("C:\\a\\b"));
    EXPECT_EQ("C:", ExtractFilePath("C:x.txt"));
    EXPECT_EQ("", ExtractFilePath("plain"));
}

TEST(SysUtilsFiles, ExistsTellsFilesFromFolders) {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    AnsiString dir = IncludeTrailingBackslash(temp) + Format("fw_sysutils_%lu_ソ", GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    AnsiString file = dir + "\\表.txt";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_FALSE(FileExists(dir));
    EXPECT_FALSE(FileExists(dir + "\\missing"));
    EXPECT_EQ(file, ExpandFileName(dir + "\\.\\表.txt"));
    DeleteFileA(file.c_str());
    RemoveDirectoryA(dir.c_str());
    EXPECT_FALSE(DirectoryExists(dir));
}
