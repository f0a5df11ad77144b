// Strings, the exception family and the small helpers every unit leans on.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace Fw {

// Bytes in the ANSI code page (Shift-JIS for this product); never UTF-8 at run time.
using AnsiString = std::string;

class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : FMessage(std::move(message)) {}
    ~Exception() override = default;

    const AnsiString& Message() const noexcept { return FMessage; }
    void SetMessage(AnsiString message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    AnsiString FMessage;
};

#define FW_DECLARE_EXCEPTION(Name, Base)                  \
    class Name : public Base {                            \
    public:                                               \
        using Base::Base;                                 \
    }

FW_DECLARE_EXCEPTION(EListError, Exception);        // index outside a list
FW_DECLARE_EXCEPTION(EStringListError, Exception);  // duplicate or sorted-list misuse
FW_DECLARE_EXCEPTION(EConvertError, Exception);     // text or value that does not convert
FW_DECLARE_EXCEPTION(EVariantError, Exception);     // variant of a type that does not convert
FW_DECLARE_EXCEPTION(EStreamError, Exception);
FW_DECLARE_EXCEPTION(EFilerError, EStreamError);
FW_DECLARE_EXCEPTION(EReadError, EFilerError);      // stream read error, malformed form data
FW_DECLARE_EXCEPTION(EWriteError, EFilerError);     // stream write error
// Derives from the read error: a form that names an unknown class is bad form data.
FW_DECLARE_EXCEPTION(EClassNotFound, EReadError);  // class name not registered
FW_DECLARE_EXCEPTION(EFOpenError, EStreamError);    // file cannot be opened
FW_DECLARE_EXCEPTION(EFCreateError, EStreamError);  // file cannot be created
FW_DECLARE_EXCEPTION(EResNotFound, Exception);      // resource missing from the module
FW_DECLARE_EXCEPTION(EComponentError, Exception);   // invalid or duplicate component name
FW_DECLARE_EXCEPTION(ERegistryException, Exception);
FW_DECLARE_EXCEPTION(EPropertyError, Exception);    // property missing, read-only or of another kind
FW_DECLARE_EXCEPTION(EThread, Exception);
FW_DECLARE_EXCEPTION(EOutOfResources, Exception);   // a window or other handle could not be made

// The silent exception: it unwinds like any other, but the application's
// error reporting passes it over without a message.
FW_DECLARE_EXCEPTION(EAbort, Exception);

// A failed system call, with the error code GetLastError gave.
class EOSError : public Exception {
public:
    EOSError(AnsiString message, unsigned long errorCode)
        : Exception(std::move(message)), ErrorCode(errorCode) {}
    unsigned long ErrorCode;
};

// Raises EAbort: leaves the current operation without telling the user.
[[noreturn]] void Abort();
// Raises EOSError for GetLastError(), with the system's text for it.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(unsigned long errorCode);

// ---- Scope guard ----

// Runs a restore step when the scope is left, by return or by exception: the
// place of a catch (...) { restore; throw; } block beside the same restore on
// the way out.
//
//     collection->BeginUpdate();
//     auto endUpdate = OnScopeExit([&] { collection->EndUpdate(); });
//
// A restore that raises while an exception already leaves the scope is
// dropped, so the first failure is the one the caller sees; on a normal exit
// its exception goes on as from plain code.
template <class F>
class TScopeGuard {
public:
    explicit TScopeGuard(F restore) : FRestore(std::move(restore)), FUncaught(std::uncaught_exceptions()) {}
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;
    ~TScopeGuard() noexcept(false) {
        if (!FArmed) return;
        if (std::uncaught_exceptions() > FUncaught) {
            try {
                FRestore();
            } catch (...) {
            }
        } else {
            FRestore();
        }
    }
    // The scope is left without the restore.
    void Dismiss() { FArmed = false; }

private:
    F FRestore;
    int FUncaught;
    bool FArmed = true;
};

template <class F>
[[nodiscard]] TScopeGuard<F> OnScopeExit(F restore) {
    return TScopeGuard<F>(std::move(restore));
}

// ---- Comparison and case ----

// Comparison by the user's default locale (CompareStringA): negative, 0 or
// positive. The Str form respects case, the Text form ignores it.
int AnsiCompareStr(const AnsiString& a, const AnsiString& b);
int AnsiCompareText(const AnsiString& a, const AnsiString& b);
bool AnsiSameStr(const AnsiString& a, const AnsiString& b);
bool AnsiSameText(const AnsiString& a, const AnsiString& b);

// Byte-wise comparison; CompareText folds ASCII letters only.
int CompareStr(const AnsiString& a, const AnsiString& b);
int CompareText(const AnsiString& a, const AnsiString& b);
bool SameText(const AnsiString& a, const AnsiString& b);

// ASCII letters only. Trail bytes of double-byte characters are left alone
// (the trail byte of "ア" is 'A').
AnsiString UpperCase(const AnsiString& s);
AnsiString LowerCase(const AnsiString& s);
// By the system's rules for the ANSI code page (CharUpperBuffA/CharLowerBuffA).
AnsiString AnsiUpperCase(const AnsiString& s);
AnsiString AnsiLowerCase(const AnsiString& s);

// Remove the control characters and blanks (bytes up to ' ') at the ends.
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);

// s in quote characters, with every quote inside doubled.
AnsiString AnsiQuotedStr(const AnsiString& s, char quote);
// The text between the quotes at s[pos] (0-based), undoubling quotes inside;
// pos moves past the closing quote (or to the end when there is none). When
// s[pos] is not the quote character, returns "" and leaves pos alone.
AnsiString AnsiExtractQuotedStr(const AnsiString& s, std::size_t& pos, char quote);

// A Pascal-style identifier: an ASCII letter or '_', then letters, digits
// or '_'. With allowDots, dot-separated identifiers are accepted too.
bool IsValidIdent(const AnsiString& ident, bool allowDots = false);

// ---- Numbers ----

// Decimal, or hexadecimal after '$', "0x" or "0X", with an optional sign.
// Blanks around the number are allowed. Decimal text must lie within the
// signed 32-bit range; hexadecimal text may use all 32 bits ("$FFFFFFFF" is -1).
// Anything else raises EConvertError naming the text.
int StrToInt(const AnsiString& s);
int StrToIntDef(const AnsiString& s, int defaultValue);
bool TryStrToInt(const AnsiString& s, int& value);
AnsiString IntToStr(int value);
AnsiString IntToStr(std::int64_t value);
// Other integer types (DWORD, long, unsigned ...) without an ambiguous call.
template <class T>
    requires std::is_integral_v<T> && (!std::is_same_v<T, int>) && (!std::is_same_v<T, std::int64_t>)
AnsiString IntToStr(T value) {
    return IntToStr(static_cast<std::int64_t>(value));
}
// Upper-case hexadecimal, padded with zeros to at least digits places.
AnsiString IntToHex(std::uint32_t value, int digits);

// Always '.' as the decimal point, whatever the locale. FloatToStr gives the
// shortest text that StrToFloat turns back into the very same double;
// infinities and NaN read "INF", "-INF" and "NAN".
AnsiString FloatToStr(double value);
double StrToFloat(const AnsiString& s);
bool TryStrToFloat(const AnsiString& s, double& value);

// printf-style formatting into a new string.
AnsiString Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// The system's text for an error code, without the trailing line break and
// full stop; "" for a code the system has no text for.
AnsiString SysErrorMessage(unsigned long errorCode);

// ---- ANSI and wide text ----
//
// Both ways in the ANSI code page in use (CP_ACP), every byte or character
// of the text, zeros included.

std::wstring AnsiToWide(const AnsiString& text);
// A character the code page cannot spell becomes '?' (never a look-alike,
// which could name another file); exact, when given, tells whether none did.
AnsiString WideToAnsi(const std::wstring& text, bool* exact = nullptr);
// The zero-terminated wide text in the ANSI code page; "" for null.
AnsiString WideCharToString(const wchar_t* source);
// The ANSI name that opens the file path names: its spelling, or when the
// code page cannot spell it, its short (8.3) form where the file system has
// one, else the spelling with '?' (a name that opens nothing rather than
// another file).
AnsiString AnsiFileName(const std::wstring& path);

// ---- Double-byte characters ----
//
// Positions in these functions count from 1, as the platform's string
// functions do; 0 means "not found".

enum TMbcsByteType { mbSingleByte, mbLeadByte, mbTrailByte };

// Whether byte c opens a two-byte character in the ANSI code page.
bool IsLeadByte(unsigned char c);
// What the byte at 1-based position index of s is, walking from the start.
TMbcsByteType ByteType(const AnsiString& s, std::size_t index);
// The first byte of the last character of s, or nullptr when s is empty.
const char* AnsiStrLastChar(const AnsiString& s);
// Whether the byte at 1-based index is a '\' of its own, not the trail byte
// of a double-byte character.
bool IsPathDelimiter(const AnsiString& s, std::size_t index);
// 1-based position of the last single-byte character of s that occurs in
// delimiters, or 0.
std::size_t LastDelimiter(const AnsiString& delimiters, const AnsiString& s);

// ---- File names and files ----
//
// '\' and ':' end the folder part of a name.

AnsiString ExtractFilePath(const AnsiString& fileName);  // with the trailing '\'
AnsiString ExtractFileDir(const AnsiString& fileName);   // without it, except for "C:\"
AnsiString ExtractFileName(const AnsiString& fileName);
AnsiString ExtractFileExt(const AnsiString& fileName);   // with the dot, or ""
AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& extension);
AnsiString IncludeTrailingBackslash(const AnsiString& s);
AnsiString ExcludeTrailingBackslash(const AnsiString& s);
AnsiString ExpandFileName(const AnsiString& fileName);

// A file that is not a folder.
bool FileExists(const AnsiString& fileName);
bool DirectoryExists(const AnsiString& name);

}  // namespace Fw
