#include "framework/SysUtils.h"

#include <windows.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Fw {

void Abort() {
    throw EAbort("操作は中止されました.");
}

void RaiseLastOSError() {
    RaiseLastOSError(GetLastError());
}

void RaiseLastOSError(unsigned long errorCode) {
    AnsiString text = SysErrorMessage(errorCode);
    if (text.empty())
        throw EOSError(Format("システムエラーです. コード: %lu.", errorCode), errorCode);
    throw EOSError(Format("システムエラーです. コード: %lu.\r\n%s", errorCode, text.c_str()), errorCode);
}

// ---- Comparison and case ----

namespace {

int CompareByLocale(const AnsiString& a, const AnsiString& b, DWORD flags) {
    // Lengths are passed so that embedded NULs take part in the comparison.
    int r = CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()),
                           b.data(), static_cast<int>(b.size()));
    if (r == 0)  // only for invalid arguments; fall back to bytes rather than lie
        return CompareStr(a, b);
    return r - CSTR_EQUAL;
}

inline unsigned char AsciiUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
inline unsigned char AsciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

template <class Fold>
AnsiString FoldAscii(const AnsiString& s, Fold fold) {
    AnsiString r = s;
    for (std::size_t i = 0; i < r.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(r[i]);
        if (IsLeadByte(c) && i + 1 < r.size())
            ++i;  // the trail byte belongs to a double-byte character
        else
            r[i] = static_cast<char>(fold(c));
    }
    return r;
}

}  // namespace

int AnsiCompareStr(const AnsiString& a, const AnsiString& b) {
    return CompareByLocale(a, b, 0);
}

int AnsiCompareText(const AnsiString& a, const AnsiString& b) {
    return CompareByLocale(a, b, NORM_IGNORECASE);
}

bool AnsiSameStr(const AnsiString& a, const AnsiString& b) {
    return AnsiCompareStr(a, b) == 0;
}

bool AnsiSameText(const AnsiString& a, const AnsiString& b) {
    return AnsiCompareText(a, b) == 0;
}

int CompareStr(const AnsiString& a, const AnsiString& b) {
    int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CompareText(const AnsiString& a, const AnsiString& b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = AsciiUpper(static_cast<unsigned char>(a[i]));
        unsigned char y = AsciiUpper(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(const AnsiString& a, const AnsiString& b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

AnsiString UpperCase(const AnsiString& s) {
    return FoldAscii(s, AsciiUpper);
}

AnsiString LowerCase(const AnsiString& s) {
    return FoldAscii(s, AsciiLower);
}

AnsiString AnsiUpperCase(const AnsiString& s) {
    AnsiString r = s;
    if (!r.empty())
        CharUpperBuffA(r.data(), static_cast<DWORD>(r.size()));
    return r;
}

AnsiString AnsiLowerCase(const AnsiString& s) {
    AnsiString r = s;
    if (!r.empty())
        CharLowerBuffA(r.data(), static_cast<DWORD>(r.size()));
    return r;
}

// Control characters and blanks are below 0x40, so they are never trail
// bytes: the ends can be trimmed byte by byte.
AnsiString TrimLeft(const AnsiString& s) {
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
        ++i;
    return s.substr(i);
}

AnsiString TrimRight(const AnsiString& s) {
    std::size_t n = s.size();
    while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ')
        --n;
    return s.substr(0, n);
}

AnsiString Trim(const AnsiString& s) {
    return TrimLeft(TrimRight(s));
}

AnsiString AnsiQuotedStr(const AnsiString& s, char quote) {
    AnsiString r;
    r.reserve(s.size() + 2);
    r += quote;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < s.size()) {
            r += c;
            r += s[++i];
            continue;
        }
        r += c;
        if (c == quote)
            r += quote;
    }
    r += quote;
    return r;
}

AnsiString AnsiExtractQuotedStr(const AnsiString& s, std::size_t& pos, char quote) {
    if (pos >= s.size() || s[pos] != quote)
        return AnsiString();
    AnsiString r;
    std::size_t i = pos + 1;
    while (i < s.size()) {
        char c = s[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < s.size()) {
            r += c;
            r += s[i + 1];
            i += 2;
            continue;
        }
        if (c == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                r += quote;
                i += 2;
                continue;
            }
            ++i;  // the closing quote
            break;
        }
        r += c;
        ++i;
    }
    pos = i;
    return r;
}

bool IsValidIdent(const AnsiString& ident, bool allowDots) {
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    bool atStart = true;
    for (char c : ident) {
        if (atStart) {
            if (!alpha(c))
                return false;
            atStart = false;
        } else if (c == '.' && allowDots) {
            atStart = true;
        } else if (!alpha(c) && !digit(c)) {
            return false;
        }
    }
    return !atStart;
}

// ---- Numbers ----

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text between the surrounding blanks.
std::string_view Unpadded(const AnsiString& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::string_view(s).substr(b, e - b);
}

}  // namespace

bool TryStrToInt(const AnsiString& s, int& value) {
    std::string_view t = Unpadded(s);
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (!t.empty() && t[0] == '$') {
        base = 16;
        t.remove_prefix(1);
    } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty())
        return false;
    // from_chars takes no sign of its own here, so "--1" and "$-1" are refused.
    if (t[0] == '+' || t[0] == '-')
        return false;
    std::uint32_t magnitude = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
    if (ec != std::errc() || end != t.data() + t.size())
        return false;
    if (base == 10) {
        std::uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
        if (magnitude > limit)
            return false;
    }
    std::uint32_t bits = negative ? (0u - magnitude) : magnitude;
    value = static_cast<int>(bits);
    return true;
}

int StrToInt(const AnsiString& s) {
    int value;
    if (!TryStrToInt(s, value))
        throw EConvertError(Format("'%s' は整数値ではありません.", s.c_str()));
    return value;
}

int StrToIntDef(const AnsiString& s, int defaultValue) {
    int value;
    return TryStrToInt(s, value) ? value : defaultValue;
}

AnsiString IntToStr(int value) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return AnsiString(buf, end);
}

AnsiString IntToStr(std::int64_t value) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return AnsiString(buf, end);
}

AnsiString IntToHex(std::uint32_t value, int digits) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, 16);
    AnsiString r = UpperCase(AnsiString(buf, end));
    if (digits > static_cast<int>(r.size()))
        r.insert(0, static_cast<std::size_t>(digits) - r.size(), '0');
    return r;
}

AnsiString FloatToStr(double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    AnsiString r(buf, end);
    for (char& c : r)
        if (c == 'e')
            c = 'E';
    return r;
}

bool TryStrToFloat(const AnsiString& s, double& value) {
    std::string_view t = Unpadded(s);
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || t[0] == '+' || t[0] == '-')
        return false;
    double v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (end != t.data() + t.size())
        return false;
    if (ec == std::errc::result_out_of_range) {
        // Too small underflows to zero; too large is no number we can hold.
        std::string_view digits = t;
        std::size_t e = digits.find_first_of("eE");
        bool tiny = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
        if (!tiny)
            return false;
        v = 0.0;
    } else if (ec != std::errc()) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

double StrToFloat(const AnsiString& s) {
    double value;
    if (!TryStrToFloat(s, value))
        throw EConvertError(Format("'%s' は浮動小数点数値ではありません.", s.c_str()));
    return value;
}

AnsiString Format(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        throw EConvertError(AnsiString("書式 '") + format + "' が無効です.");
    if (static_cast<std::size_t>(n) < sizeof small)
        return AnsiString(small, static_cast<std::size_t>(n));
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    return AnsiString(big.data(), static_cast<std::size_t>(n));
}

AnsiString SysErrorMessage(unsigned long errorCode) {
    char* buffer = nullptr;
    DWORD len = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, errorCode, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (len == 0 || buffer == nullptr)
        return AnsiString();
    // The line break and full stop the system appends are below 0x40, never
    // trail bytes, so trimming byte by byte cannot split a character.
    while (len > 0 && (static_cast<unsigned char>(buffer[len - 1]) <= ' ' || buffer[len - 1] == '.'))
        --len;
    AnsiString r(buffer, len);
    LocalFree(buffer);
    return r;
}

std::wstring AnsiToWide(const AnsiString& text) {
    const int length = static_cast<int>(text.size());
    const int n = length ? MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0) : 0;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), n);
    return wide;
}

AnsiString WideToAnsi(const std::wstring& text, bool* exact) {
    const int length = static_cast<int>(text.size());
    BOOL lossy = FALSE;
    const int n = length ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0,
                                               nullptr, &lossy)
                         : 0;
    AnsiString ansi(static_cast<std::size_t>(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, ansi.data(), n, nullptr, &lossy);
    if (exact) *exact = !lossy;
    return ansi;
}

AnsiString WideCharToString(const wchar_t* source) { return source ? WideToAnsi(source) : AnsiString(); }

AnsiString AnsiFileName(const std::wstring& path) {
    bool exact = false;
    AnsiString name = WideToAnsi(path, &exact);
    if (exact) return name;
    DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) return name;
    std::wstring shortPath(length, L'\0');
    length = GetShortPathNameW(path.c_str(), shortPath.data(), length);
    shortPath.resize(length);
    AnsiString shortName = WideToAnsi(shortPath, &exact);
    return length > 0 && exact ? shortName : name;
}

// ---- Double-byte characters ----

bool IsLeadByte(unsigned char c) {
    return c >= 0x80 && IsDBCSLeadByte(c);
}

TMbcsByteType ByteType(const AnsiString& s, std::size_t index) {
    if (index == 0 || index > s.size())
        return mbSingleByte;
    std::size_t i = 0, target = index - 1;
    while (i < target) {
        if (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            if (i + 1 == target)
                return mbTrailByte;
            i += 2;
        } else {
            ++i;
        }
    }
    return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? mbLeadByte
                                                                              : mbSingleByte;
}

const char* AnsiStrLastChar(const AnsiString& s) {
    if (s.empty())
        return nullptr;
    std::size_t i = 0, last = 0;
    while (i < s.size()) {
        last = i;
        i += (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    }
    return s.data() + last;
}

bool IsPathDelimiter(const AnsiString& s, std::size_t index) {
    return index >= 1 && index <= s.size() && s[index - 1] == '\\' &&
           ByteType(s, index) == mbSingleByte;
}

std::size_t LastDelimiter(const AnsiString& delimiters, const AnsiString& s) {
    std::size_t found = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsLeadByte(c) && i + 1 < s.size()) {
            i += 2;
            continue;
        }
        if (delimiters.find(static_cast<char>(c)) != AnsiString::npos)
            found = i + 1;
        ++i;
    }
    return found;
}

// ---- File names and files ----

AnsiString ExtractFilePath(const AnsiString& fileName) {
    return fileName.substr(0, LastDelimiter("\\:", fileName));
}

AnsiString ExtractFileDir(const AnsiString& fileName) {
    std::size_t i = LastDelimiter("\\:", fileName);
    // A root keeps its backslash ("C:\", "\\server"): without it the name
    // would mean the drive's current folder.
    if (i > 1 && fileName[i - 1] == '\\') {
        char before = fileName[i - 2];
        bool rootMark = (before == '\\' || before == ':') && ByteType(fileName, i - 1) == mbSingleByte;
        if (!rootMark)
            --i;
    }
    return fileName.substr(0, i);
}

AnsiString ExtractFileName(const AnsiString& fileName) {
    return fileName.substr(LastDelimiter("\\:", fileName));
}

AnsiString ExtractFileExt(const AnsiString& fileName) {
    std::size_t i = LastDelimiter(".\\:", fileName);
    if (i > 0 && fileName[i - 1] == '.')
        return fileName.substr(i - 1);
    return AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& extension) {
    std::size_t i = LastDelimiter(".\\:", fileName);
    if (i == 0 || fileName[i - 1] != '.')
        return fileName + extension;
    return fileName.substr(0, i - 1) + extension;
}

AnsiString IncludeTrailingBackslash(const AnsiString& s) {
    if (IsPathDelimiter(s, s.size()))
        return s;
    return s + '\\';
}

AnsiString ExcludeTrailingBackslash(const AnsiString& s) {
    if (IsPathDelimiter(s, s.size()))
        return s.substr(0, s.size() - 1);
    return s;
}

AnsiString ExpandFileName(const AnsiString& fileName) {
    char small[MAX_PATH];
    char* part = nullptr;
    DWORD n = GetFullPathNameA(fileName.c_str(), sizeof small, small, &part);
    if (n == 0)
        return fileName;
    if (n < sizeof small)
        return AnsiString(small, n);
    std::vector<char> big(n);
    n = GetFullPathNameA(fileName.c_str(), static_cast<DWORD>(big.size()), big.data(), &part);
    return AnsiString(big.data(), n);
}

bool FileExists(const AnsiString& fileName) {
    DWORD a = GetFileAttributesA(fileName.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const AnsiString& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace Fw
