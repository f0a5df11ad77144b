#include "framework/Filer.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <limits>
#include <cstdlib>
#include <cstring>

#include "framework/Collection.h"
#include "framework/Streams.h"

namespace Fw {

namespace {

// Shift-JIS is the run-time code page whatever the machine's ANSI code page,
// since every literal of the program is compiled to it.
constexpr UINT kAnsiCodePage = 932;

AnsiString LineSuffix(int line) { return " (" + std::to_string(line) + " 行目)"; }

bool IsIdentStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(unsigned char c) { return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '.'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// One Shift-JIS character (1 or 2 bytes) as UTF-8, or "" when the bytes are
// not a character that converts back to exactly the same bytes.
AnsiString CharToUtf8(const char* p, int len) {
    wchar_t wide[2];
    int n = MultiByteToWideChar(kAnsiCodePage, MB_ERR_INVALID_CHARS, p, len, wide, 2);
    if (n != 1 || wide[0] < 0x20) return AnsiString();
    char back[4];
    BOOL usedDefault = FALSE;
    int m = WideCharToMultiByte(kAnsiCodePage, 0, wide, 1, back, sizeof back, nullptr, &usedDefault);
    if (m != len || usedDefault || std::memcmp(back, p, len) != 0) return AnsiString();
    char utf8[8];
    int u = WideCharToMultiByte(CP_UTF8, 0, wide, 1, utf8, sizeof utf8, nullptr, nullptr);
    return u > 0 ? AnsiString(utf8, u) : AnsiString();
}

AnsiString QuoteString(const AnsiString& s) {
    if (s.empty()) return "''";
    AnsiString out;
    bool inQuote = false;
    auto openQuote = [&] { if (!inQuote) { out += '\''; inQuote = true; } };
    auto closeQuote = [&] { if (inQuote) { out += '\''; inQuote = false; } };
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        if (c >= 0x20 && c < 0x7F) {
            openQuote();
            out += c == '\'' ? AnsiString("''") : AnsiString(1, static_cast<char>(c));
            ++i;
            continue;
        }
        int len = 0;
        if (i + 1 < s.size() && IsDBCSLeadByteEx(kAnsiCodePage, c)) len = 2;
        else if (c >= 0xA1 && c <= 0xDF) len = 1;  // half-width katakana
        AnsiString utf8 = len ? CharToUtf8(s.data() + i, len) : AnsiString();
        if (!utf8.empty()) {
            openQuote();
            out += utf8;
            i += len;
        } else {
            closeQuote();
            out += '#' + std::to_string(c);
            ++i;
        }
    }
    closeQuote();
    return out;
}

AnsiString Utf8ToAnsi(const AnsiString& utf8, bool& ok) {
    ok = true;
    if (utf8.empty()) return utf8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) { ok = false; return AnsiString(); }
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    BOOL usedDefault = FALSE;
    int m = WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), n, nullptr, 0, nullptr, &usedDefault);
    AnsiString out(m, '\0');
    WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), n, out.data(), m, nullptr, &usedDefault);
    if (usedDefault) ok = false;
    return out;
}

AnsiString FloatText(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return AnsiString(buf, r.ptr);
}

}  // namespace

// ---------------------------------------------------------------- lexer

struct TReader::Token {
    enum Kind { End, Ident, Integer, Float, String, Symbol, Binary } kind = End;
    AnsiString text;   // identifier, symbol, or the decoded bytes of a string/binary
    long long integer = 0;
    double real = 0;
    int line = 1;

    bool IsSymbol(char c) const { return kind == Symbol && text[0] == c; }
    bool IsWord(const char* w) const { return kind == Ident && SameText(text, w); }
};

struct TReader::Lexer {
    AnsiString src;
    size_t pos = 0;
    int line = 1;
    Token current;
    bool peeked = false;

    [[noreturn]] void Fail(const AnsiString& message, int at) const {
        throw EReadError(message + LineSuffix(at));
    }

    const Token& Peek() {
        if (!peeked) {
            current = Scan();
            peeked = true;
        }
        return current;
    }

    Token Next() {
        Peek();
        peeked = false;
        return current;
    }

    void SkipBlanks() {
        while (pos < src.size()) {
            char c = src[pos];
            if (c == '\n') { ++line; ++pos; }
            else if (c == ' ' || c == '\t' || c == '\r') ++pos;
            else if (c == '/' && pos + 1 < src.size() && src[pos + 1] == '/') {
                while (pos < src.size() && src[pos] != '\n') ++pos;
            } else break;
        }
    }

    Token Scan() {
        SkipBlanks();
        Token t;
        t.line = line;
        if (pos >= src.size()) return t;
        unsigned char c = src[pos];
        if (IsIdentStart(c)) {
            size_t start = pos;
            while (pos < src.size() && IsIdentChar(src[pos])) ++pos;
            t.kind = Token::Ident;
            t.text = src.substr(start, pos - start);
            if (t.text.back() == '.' || t.text.find("..") != AnsiString::npos)
                Fail("識別子 " + t.text + " が正しくありません.", t.line);
            return t;
        }
        if (IsDigit(c) || ((c == '-' || c == '+') && pos + 1 < src.size() && IsDigit(src[pos + 1])) || c == '$')
            return ScanNumber(t);
        if (c == '\'' || c == '#') return ScanString(t);
        if (c == '{') return ScanBinary(t);
        if (std::strchr("=:[](),<>", c)) {
            ++pos;
            t.kind = Token::Symbol;
            t.text = AnsiString(1, static_cast<char>(c));
            return t;
        }
        Fail("予期しない文字 '" + AnsiString(1, static_cast<char>(c)) + "' があります.", t.line);
    }

    Token ScanNumber(Token& t) {
        size_t start = pos;
        if (src[pos] == '$') {
            ++pos;
            size_t digits = pos;
            while (pos < src.size() && std::isxdigit(static_cast<unsigned char>(src[pos]))) ++pos;
            if (pos == digits || pos - digits > 8) Fail("16 進数が正しくありません.", t.line);
            t.kind = Token::Integer;
            t.integer = static_cast<long long>(std::strtoull(src.substr(digits, pos - digits).c_str(), nullptr, 16));
            if (t.integer > 0x7FFFFFFF) t.integer -= 0x100000000LL;  // $FFFFFFFF is -1
            return t;
        }
        if (src[pos] == '-' || src[pos] == '+') ++pos;
        bool real = false;
        while (pos < src.size() && IsDigit(src[pos])) ++pos;
        if (pos < src.size() && src[pos] == '.') {
            real = true;
            ++pos;
            while (pos < src.size() && IsDigit(src[pos])) ++pos;
        }
        if (pos < src.size() && (src[pos] == 'e' || src[pos] == 'E')) {
            real = true;
            ++pos;
            if (pos < src.size() && (src[pos] == '-' || src[pos] == '+')) ++pos;
            if (pos >= src.size() || !IsDigit(src[pos])) Fail("数値が正しくありません.", t.line);
            while (pos < src.size() && IsDigit(src[pos])) ++pos;
        }
        if (pos < src.size() && IsIdentStart(src[pos])) Fail("数値が正しくありません.", t.line);
        AnsiString text = src.substr(start, pos - start);
        if (real) {
            t.kind = Token::Float;
            const char* b = text.c_str() + (text[0] == '+' ? 1 : 0);
            auto r = std::from_chars(b, text.c_str() + text.size(), t.real);
            if (r.ec != std::errc()) Fail("数値 " + text + " が正しくありません.", t.line);
        } else {
            t.kind = Token::Integer;
            errno = 0;
            t.integer = std::strtoll(text.c_str(), nullptr, 10);
            if (errno == ERANGE) Fail("数値 " + text + " が大きすぎます.", t.line);
        }
        return t;
    }

    Token ScanString(Token& t) {
        t.kind = Token::String;
        while (pos < src.size() && (src[pos] == '\'' || src[pos] == '#')) {
            if (src[pos] == '#') {
                size_t start = ++pos;
                while (pos < src.size() && IsDigit(src[pos])) ++pos;
                if (pos == start || pos - start > 3) Fail("文字コードが正しくありません.", line);
                int code = std::atoi(src.substr(start, pos - start).c_str());
                if (code > 255) Fail("文字コード #" + std::to_string(code) + " は 1 バイトを超えます.", line);
                t.text += static_cast<char>(code);
                continue;
            }
            ++pos;
            AnsiString utf8;
            for (;;) {
                if (pos >= src.size() || src[pos] == '\n' || src[pos] == '\r')
                    Fail("文字列が閉じられていません.", line);
                if (src[pos] == '\'') {
                    if (pos + 1 < src.size() && src[pos + 1] == '\'') {
                        utf8 += '\'';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                utf8 += src[pos++];
            }
            bool ok;
            t.text += Utf8ToAnsi(utf8, ok);
            if (!ok) Fail("文字列をシフト JIS に変換できません.", line);
        }
        return t;
    }

    Token ScanBinary(Token& t) {
        t.kind = Token::Binary;
        ++pos;
        int nibbles = 0;
        unsigned char acc = 0;
        for (;;) {
            if (pos >= src.size()) Fail("バイナリ値が閉じられていません.", t.line);
            char c = src[pos++];
            if (c == '}') break;
            if (c == '\n') { ++line; continue; }
            if (c == ' ' || c == '\r' || c == '\t') continue;
            if (!std::isxdigit(static_cast<unsigned char>(c))) Fail("バイナリ値に 16 進数以外の文字があります.", line);
            int v = IsDigit(c) ? c - '0' : (std::toupper(c) - 'A' + 10);
            acc = static_cast<unsigned char>((acc << 4) | v);
            if (++nibbles % 2 == 0) t.text += static_cast<char>(acc);
        }
        if (nibbles % 2) Fail("バイナリ値の桁数が奇数です.", t.line);
        return t;
    }
};

struct TReader::Fixup {
    TPersistent* instance;
    const TPropInfo* prop;
    AnsiString name;
    int line;
    TComponent* holder;  // the component read when the reference was: instance or its owner
};

// ---------------------------------------------------------------- references between roots

namespace {

// A reference to a component of a root that was not there (or not loaded)
// when the reference was read.
struct TWaitingReference {
    TComponent* Holder;
    TPersistent* Instance;
    const TPropInfo* Prop;
    AnsiString RootName;
    AnsiString Path;  // below the root: Target, or Panel1.Target
};

// Never destroyed: components may go in any file's exit code.
std::vector<TWaitingReference>& WaitingReferences() {
    static auto* const list = new std::vector<TWaitingReference>;
    return *list;
}

std::vector<TFindGlobalComponent>& FindGlobalComponentProcs() {
    static auto* const procs = new std::vector<TFindGlobalComponent>;
    return *procs;
}

// The component that a dotted path names below owner (Panel1.Target), or null.
TComponent* FindNestedComponent(TComponent* owner, const AnsiString& path) {
    std::size_t start = 0;
    for (TComponent* c = owner; c;) {
        std::size_t dot = path.find('.', start);
        c = c->FindComponent(path.substr(start, dot == AnsiString::npos ? AnsiString::npos : dot - start));
        if (dot == AnsiString::npos) return c;
        start = dot + 1;
    }
    return nullptr;
}

// Hears of the end of every component that holds waiting references (free
// notification), and drops its references: a reference must not outlive its
// holder. The component itself learns nothing of waiting references.
class TWaitingReferenceWatch : public TComponent {
public:
    TWaitingReferenceWatch() : TComponent(nullptr) {}

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == opRemove) RemoveFixupReferences(component);
    }
};

// Never destroyed, as the list.
TComponent* WaitingReferenceWatch() {
    static auto* const watch = new TWaitingReferenceWatch;
    return watch;
}

bool HoldsWaitingReferences(TComponent* holder) {
    for (const TWaitingReference& r : WaitingReferences())
        if (r.Holder == holder) return true;
    return false;
}

// The global root of that name when it exists and is not being read.
TComponent* LoadedGlobalComponent(const AnsiString& name) {
    TComponent* root = FindGlobalComponent(name);
    return root && !root->IsLoading() ? root : nullptr;
}

}  // namespace

void RegisterFindGlobalComponentProc(TFindGlobalComponent proc) {
    auto& procs = FindGlobalComponentProcs();
    if (std::find(procs.begin(), procs.end(), proc) == procs.end()) procs.push_back(proc);
}

void UnRegisterFindGlobalComponentProc(TFindGlobalComponent proc) {
    auto& procs = FindGlobalComponentProcs();
    procs.erase(std::remove(procs.begin(), procs.end(), proc), procs.end());
}

TComponent* FindGlobalComponent(const AnsiString& name) {
    if (name.empty()) return nullptr;
    for (TFindGlobalComponent proc : FindGlobalComponentProcs())
        if (TComponent* c = proc(name)) return c;
    return nullptr;
}

void GlobalFixupReferences() {
    auto& waiting = WaitingReferences();
    for (std::size_t i = 0; i < waiting.size();) {
        TComponent* root = LoadedGlobalComponent(waiting[i].RootName);
        TComponent* target = root ? FindNestedComponent(root, waiting[i].Path) : nullptr;
        if (!target) {
            ++i;
            continue;
        }
        // Out of the list before its setter runs, which may read more roots.
        TWaitingReference ref = waiting[i];
        waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
        if (!HoldsWaitingReferences(ref.Holder)) ref.Holder->RemoveFreeNotification(WaitingReferenceWatch());
        try {
            SetObjectProp(ref.Instance, ref.Prop, target);
        } catch (...) {
            HandleException(ref.Holder);
        }
        i = 0;  // the list may have changed under the setter
    }
}

void RemoveFixupReferences(TComponent* holder) {
    auto& waiting = WaitingReferences();
    waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                 [holder](const TWaitingReference& r) { return r.Holder == holder; }),
                  waiting.end());
}

// ---------------------------------------------------------------- writer

TWriter::TWriter(TStream* stream) : TFiler(stream) {}

TWriter::~TWriter() = default;

void TWriter::WriteRootComponent(TComponent* root) {
    FRoot = root;
    FText.clear();
    WriteComponent(root);
    FText += "\r\n";
    Flush();
}

void TWriter::WriteComponent(TComponent* component) {
    if (!FText.empty()) NewLine();
    Out("object " + component->Name() + ": " + component->ClassName());
    ++FIndent;
    component->IncludeState(csWriting);
    {
        auto writing = OnScopeExit([component] { component->ExcludeState(csWriting); });
        WriteProperties(component, AnsiString());
        component->GetChildren(MakeEvent<&TWriter::WriteComponent>(this), FRoot);
    }
    --FIndent;
    NewLine();
    Out("end");
}

void TWriter::WriteProperties(TPersistent* instance, const AnsiString& prefix) {
    for (const TPropInfo* prop : GetPropList(instance->ClassType())) WriteProperty(instance, prop, prefix);
    AnsiString saved = FPrefix;
    FPrefix = prefix;
    instance->DefineProperties(this);
    FPrefix = saved;
}

void TWriter::WriteProperty(TPersistent* instance, const TPropInfo* prop, const AnsiString& prefix) {
    if (!prop->IsStored(instance)) return;
    const bool writable = prop->Access->Writable();
    const AnsiString name = prefix + prop->Name;
    switch (prop->Kind()) {
        case tkInteger: case tkChar: case tkEnumeration: case tkSet: {
            if (!writable) return;
            int v = GetOrdProp(instance, prop);
            if (prop->HasDefault() && v == prop->Default) return;
            BeginValue(name);
            if (prop->Kind() == tkInteger) WriteInteger(v);
            else if (prop->Kind() == tkChar) WriteChar(static_cast<char>(v));
            else if (prop->Kind() == tkEnumeration) WriteIdent(GetEnumName(prop->PropType, v));
            else Out(SetToString(prop->PropType, v));
            return;
        }
        case tkFloat: {
            if (!writable) return;
            double v = GetFloatProp(instance, prop);
            if (v == 0) return;
            BeginValue(name);
            WriteFloat(v);
            return;
        }
        case tkLString: case tkString: {
            if (!writable) return;
            AnsiString v = GetStrProp(instance, prop);
            if (v.empty()) return;
            BeginValue(name);
            WriteString(v);
            return;
        }
        case tkMethod: {
            if (!writable) return;
            TMethod m = GetMethodProp(instance, prop);
            // Only handlers of the root's own published methods can be named.
            if (!m.Code || !FRoot || m.Data != static_cast<void*>(FRoot)) return;
            AnsiString method = FRoot->MethodName(m.Code);
            if (method.empty()) return;
            BeginValue(name);
            WriteIdent(method);
            return;
        }
        case tkClass: {
            TObject* obj = GetObjectProp(instance, prop);
            if (!obj) return;
            if (auto* component = dynamic_cast<TComponent*>(obj)) {
                AnsiString ref = ReferenceName(component);
                if (!writable || ref.empty()) return;
                BeginValue(name);
                WriteIdent(ref);
            } else if (auto* collection = dynamic_cast<TCollection*>(obj)) {
                if (collection->Count() == 0) return;
                BeginValue(name);
                WriteCollection(collection);
            } else if (auto* nested = dynamic_cast<TPersistent*>(obj)) {
                WriteProperties(nested, name + ".");
            }
            return;
        }
        default:
            return;
    }
}

AnsiString TWriter::ReferenceName(TComponent* component) const {
    if (component->Name().empty()) return AnsiString();
    if (component == FRoot || component->Owner() == FRoot || !component->Owner()) return component->Name();
    if (component->Owner()->Name().empty()) return AnsiString();
    return component->Owner()->Name() + "." + component->Name();
}

void TWriter::DefineProperty(const AnsiString& name, const TReaderProc&, const TWriterProc& writeData, bool hasData) {
    if (!hasData || !writeData) return;
    BeginValue(FPrefix + name);
    writeData(this);
}

void TWriter::DefineBinaryProperty(const AnsiString& name, const TStreamProc&, const TStreamProc& writeData,
                                   bool hasData) {
    if (!hasData || !writeData) return;
    TMemoryStream data;
    writeData(&data);
    BeginValue(FPrefix + name);
    static const char hex[] = "0123456789ABCDEF";
    AnsiString text = "{";
    const auto* bytes = static_cast<const unsigned char*>(data.Memory());
    for (std::int64_t i = 0; i < data.Size(); ++i) {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 15];
    }
    Out(text + "}");
}

void TWriter::BeginValue(const AnsiString& name) {
    NewLine();
    FText += name + " = ";
}

void TWriter::Out(const AnsiString& text) { FText += text; }

void TWriter::NewLine() {
    FText += "\r\n";
    FText.append(static_cast<size_t>(FIndent) * 2, ' ');
}

void TWriter::WriteInteger(int value) {
    if (FListDepth) NewLine();
    Out(std::to_string(value));
}

void TWriter::WriteBoolean(bool value) { WriteIdent(value ? "True" : "False"); }

void TWriter::WriteFloat(double value) {
    if (FListDepth) NewLine();
    AnsiString text = FloatText(value);
    // Keep floats recognisable as such when read back.
    if (text.find_first_of(".eEn") == AnsiString::npos) text += ".0";
    Out(text);
}

void TWriter::WriteString(const AnsiString& value) {
    if (FListDepth) NewLine();
    Out(QuoteString(value));
}

void TWriter::WriteChar(char value) { WriteString(AnsiString(1, value)); }

void TWriter::WriteIdent(const AnsiString& ident) {
    if (FListDepth) NewLine();
    Out(ident);
}

void TWriter::WriteListBegin() {
    if (FListDepth) NewLine();
    Out("(");
    ++FListDepth;
    ++FIndent;
}

void TWriter::WriteListEnd() {
    --FListDepth;
    --FIndent;
    Out(")");
}

void TWriter::WriteCollection(TCollection* collection) {
    if (FListDepth) NewLine();
    Out("<");
    int savedDepth = FListDepth;
    FListDepth = 0;
    ++FIndent;
    for (int i = 0; i < collection->Count(); ++i) {
        NewLine();
        Out("item");
        ++FIndent;
        WriteProperties(collection->Items(i), AnsiString());
        --FIndent;
        NewLine();
        Out("end");
    }
    --FIndent;
    FListDepth = savedDepth;
    Out(">");
}

void TWriter::Flush() {
    if (!FText.empty()) FStream->WriteBuffer(FText.data(), static_cast<int>(FText.size()));
    FText.clear();
}

// ---------------------------------------------------------------- reader

TReader::TReader(TStream* stream) : TFiler(stream), FLexer(std::make_unique<Lexer>()) {}

TReader::~TReader() = default;

int TReader::Line() const { return FLexer->Peek().line; }

void TReader::Error(const AnsiString& message) const { throw EReadError(message + LineSuffix(FLexer->current.line)); }

namespace {

// Errors raised by setters, constructors and lookups while reading are
// reported as read errors of the line that caused them.
template <class F>
void AtLine(int line, F&& f) {
    try {
        f();
    } catch (EFilerError& e) {
        if (e.Message().find(" 行目)") == AnsiString::npos) e.SetMessage(e.Message() + LineSuffix(line));
        throw;
    } catch (Exception& e) {
        throw EReadError(e.Message() + LineSuffix(line));
    }
}

}  // namespace

TComponent* TReader::ReadRootComponent(TComponent* root, TComponent* owner) {
    {
        std::int64_t size = FStream->Size() - FStream->Position();
        FLexer->src.assign(static_cast<size_t>(size), '\0');
        if (size > 0) FStream->ReadBuffer(FLexer->src.data(), static_cast<int>(size));
        if (FLexer->src.compare(0, 3, "\xEF\xBB\xBF") == 0) FLexer->pos = 3;  // UTF-8 mark
    }
    FRoot = root;
    FOwnerForRoot = owner;
    try {
        ReadComponent(root, nullptr);
        if (FLexer->Peek().kind != Token::End) {
            FLexer->Next();
            Error("フォーム データの終わりの後にデータがあります.");
        }
        ResolveFixups();
    } catch (...) {
        // Nothing made by a failed read survives it, and the root's fields
        // do not point at what is gone.
        for (const auto& [field, value] : FAssignedFields) field->Assign(*field, FRoot, nullptr);
        for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) {
            try {
                FreeComponent(*it);
            } catch (...) {
                // The read's own failure is the one to report.
            }
        }
        if (root) {
            root->ExcludeState(csReading);
            root->ExcludeState(csLoading);
        }
        throw;
    }
    for (TComponent* c : FLoaded) c->ExcludeState(csReading);
    for (TComponent* c : FLoaded) c->Loaded();
    // References of other roots that waited for this one.
    GlobalFixupReferences();
    return FRoot;
}

TComponent* TReader::ReadComponent(TComponent* instance, TComponent* parent) {
    Token head = FLexer->Next();
    if (head.kind == Token::End) Error("フォーム データが途中で終わっています.");
    if (!head.IsWord("object")) Error("object が必要です.");
    Token name = FLexer->Next();
    if (name.kind != Token::Ident || name.text.find('.') != AnsiString::npos) Error("コンポーネント名が必要です.");
    if (!FLexer->Next().IsSymbol(':')) Error("':' が必要です.");
    Token cls = FLexer->Next();
    if (cls.kind != Token::Ident) Error("クラス名が必要です.");

    AtLine(cls.line, [&] {
        if (instance) {
            TMetaClass* named = GetClass(cls.text);
            if (named && !instance->InheritsFrom(named))
                throw EReadError(instance->ClassName() + " に " + cls.text + " を読み込めません.");
            instance->IncludeState(csLoading);
            instance->IncludeState(csReading);
            if (instance->Name().empty()) instance->SetName(name.text);
        } else {
            TMetaClass* meta = FindClass(cls.text);
            if (!meta->IsComponentClass()) throw EReadError(cls.text + " はコンポーネントのクラスではありません.");
            TComponent* owner = FRoot ? FRoot : FOwnerForRoot;
            instance = meta->CreateComponent(owner);
            FCreated.push_back(instance);
            if (!FRoot) FRoot = instance;
            instance->IncludeState(csLoading);
            instance->IncludeState(csReading);
            instance->SetName(name.text);
            if (parent) instance->SetParentComponent(parent);
            if (instance != FRoot) {
                if (const TPublishedField* field = FRoot->ClassType()->FindField(name.text)) {
                    if (!instance->InheritsFrom(field->FieldClass()))
                        throw EReadError(name.text + " のクラス " + cls.text + " は " + FRoot->ClassName() +
                                         " のフィールドの型と一致しません.");
                    field->Assign(*field, FRoot, instance);
                    FAssignedFields.emplace_back(field, instance);
                }
            }
        }
    });
    FLoaded.push_back(instance);

    TComponent* outer = FComponent;
    FComponent = instance;
    for (;;) {
        const Token& next = FLexer->Peek();
        if (next.kind == Token::End) {
            FLexer->Next();
            Error("フォーム データが途中で終わっています (end がありません).");
        }
        if (next.IsWord("end")) {
            FLexer->Next();
            break;
        }
        if (next.IsWord("object")) ReadComponent(nullptr, instance);
        else ReadProperty(instance);
    }
    FComponent = outer;
    return instance;
}

void TReader::ReadProperty(TPersistent* instance) {
    Token name = FLexer->Next();
    if (name.kind != Token::Ident) Error("プロパティ名が必要です.");
    if (!FLexer->Next().IsSymbol('=')) Error("'=' が必要です.");

    TPersistent* target = instance;
    AnsiString path = name.text;
    for (size_t dot; (dot = path.find('.')) != AnsiString::npos; path = path.substr(dot + 1)) {
        AnsiString part = path.substr(0, dot);
        const TPropInfo* prop = GetPropInfo(target, part);
        if (!prop || prop->Kind() != tkClass) Error("プロパティ " + name.text + " が存在しません.");
        auto* nested = dynamic_cast<TPersistent*>(GetObjectProp(target, prop));
        if (!nested || dynamic_cast<TComponent*>(nested))
            Error("プロパティ " + name.text + " に値を設定できません.");
        target = nested;
    }
    if (const TPropInfo* prop = GetPropInfo(target, path)) {
        ReadPropValue(target, prop);
        return;
    }
    FPendingProperty = path;
    FPropertyClaimed = false;
    AtLine(name.line, [&] { target->DefineProperties(this); });
    if (!FPropertyClaimed) Error("プロパティ " + name.text + " が存在しません.");
}

void TReader::ReadPropValue(TPersistent* instance, const TPropInfo* prop) {
    const int line = FLexer->Peek().line;
    switch (prop->Kind()) {
        case tkInteger: {
            int v = ReadInteger();
            AtLine(line, [&] { SetOrdProp(instance, prop, v); });
            return;
        }
        case tkChar: {
            char v = ReadChar();
            AtLine(line, [&] { SetOrdProp(instance, prop, static_cast<unsigned char>(v)); });
            return;
        }
        case tkEnumeration: {
            AnsiString ident = ReadIdent();
            int v = GetEnumValue(prop->PropType, ident);
            if (v < 0) Error(ident + " は " + prop->PropType->Name + " の値ではありません.");
            AtLine(line, [&] { SetOrdProp(instance, prop, v); });
            return;
        }
        case tkSet:
            ReadSet(instance, prop);
            return;
        case tkFloat: {
            double v = ReadFloat();
            AtLine(line, [&] { SetFloatProp(instance, prop, v); });
            return;
        }
        case tkLString: case tkString: {
            AnsiString v = ReadString();
            AtLine(line, [&] { SetStrProp(instance, prop, v); });
            return;
        }
        case tkMethod: {
            AnsiString method = ReadIdent();
            AtLine(line, [&] {
                if (SameText(method, "nil")) {
                    SetMethodProp(instance, prop, TMethod{});
                    return;
                }
                void* code = FRoot->MethodAddress(method);
                if (!code) throw EReadError(FRoot->ClassName() + " にメソッド " + method + " がありません.");
                SetMethodProp(instance, prop, TMethod{code, static_cast<void*>(FRoot)});
            });
            return;
        }
        case tkClass: {
            if (FLexer->Peek().IsSymbol('<')) {
                auto* collection = dynamic_cast<TCollection*>(GetObjectProp(instance, prop));
                if (!collection) Error("プロパティ " + prop->Name + " はコレクションではありません.");
                AtLine(line, [&] { ReadCollection(collection); });
                return;
            }
            AnsiString ref = ReadIdent();
            if (SameText(ref, "nil")) AtLine(line, [&] { SetObjectProp(instance, prop, nullptr); });
            else FFixups.push_back(Fixup{instance, prop, ref, line, FComponent});
            return;
        }
        default:
            Error("プロパティ " + prop->Name + " の型は読み込めません.");
    }
}

void TReader::ReadSet(TPersistent* instance, const TPropInfo* prop) {
    const int line = FLexer->Peek().line;
    if (!FLexer->Next().IsSymbol('[')) Error("'[' が必要です.");
    std::uint32_t bits = 0;
    if (FLexer->Peek().IsSymbol(']')) {
        FLexer->Next();
    } else {
        for (;;) {
            Token t = FLexer->Next();
            if (t.kind != Token::Ident) Error("集合の要素名が必要です.");
            AtLine(t.line, [&] { bits |= 1u << SetElementValue(prop->PropType, t.text); });
            Token sep = FLexer->Next();
            if (sep.IsSymbol(']')) break;
            if (!sep.IsSymbol(',')) Error("',' または ']' が必要です.");
        }
    }
    AtLine(line, [&] { SetOrdProp(instance, prop, static_cast<int>(bits)); });
}

void TReader::ReadCollection(TCollection* collection) {
    if (!FLexer->Next().IsSymbol('<')) Error("'<' が必要です.");
    collection->BeginUpdate();
    auto endUpdate = OnScopeExit([collection] { collection->EndUpdate(); });
    collection->Clear();
    for (;;) {
        Token t = FLexer->Next();
        if (t.IsSymbol('>')) break;
        if (!t.IsWord("item")) Error("item または '>' が必要です.");
        TCollectionItem* item = nullptr;
        AtLine(t.line, [&] { item = collection->Add(); });
        for (;;) {
            const Token& next = FLexer->Peek();
            if (next.IsWord("end")) {
                FLexer->Next();
                break;
            }
            if (next.kind == Token::End) {
                FLexer->Next();
                Error("フォーム データが途中で終わっています (end がありません).");
            }
            ReadProperty(item);
        }
    }
}

void TReader::ResolveFixups() {
    for (const Fixup& f : FFixups) {
        // Name, or Owner.Name: the root, a component of the root, a
        // component of one of those, or one of another root.
        const std::size_t dot = f.name.find('.');
        const AnsiString first = f.name.substr(0, dot);
        const AnsiString rest = dot == AnsiString::npos ? AnsiString() : f.name.substr(dot + 1);
        TComponent* base = SameText(first, FRoot->Name()) ? FRoot : FRoot->FindComponent(first);
        TComponent* target = nullptr;
        if (base) {
            target = rest.empty() ? base : FindNestedComponent(base, rest);
        } else if (!rest.empty()) {
            TComponent* other = LoadedGlobalComponent(first);
            if (!other) {
                WaitingReferences().push_back(TWaitingReference{f.holder, f.instance, f.prop, first, rest});
                f.holder->IncludeState(csFixups);
                f.holder->FreeNotification(WaitingReferenceWatch());
                continue;
            }
            target = FindNestedComponent(other, rest);
        }
        if (!target) throw EReadError("コンポーネント " + f.name + " が見つかりません." + LineSuffix(f.line));
        AtLine(f.line, [&] { SetObjectProp(f.instance, f.prop, target); });
    }
    FFixups.clear();
}

void TReader::DefineProperty(const AnsiString& name, const TReaderProc& readData, const TWriterProc&, bool) {
    if (FPropertyClaimed || !readData || !SameText(name, FPendingProperty)) return;
    FPropertyClaimed = true;
    readData(this);
}

void TReader::DefineBinaryProperty(const AnsiString& name, const TStreamProc& readData, const TStreamProc&, bool) {
    if (FPropertyClaimed || !readData || !SameText(name, FPendingProperty)) return;
    FPropertyClaimed = true;
    Token t = FLexer->Next();
    if (t.kind != Token::Binary) Error("バイナリ値が必要です.");
    TMemoryStream data;
    if (!t.text.empty()) data.WriteBuffer(t.text.data(), static_cast<int>(t.text.size()));
    data.SetPosition(0);
    readData(&data);
}

TValueType TReader::NextValue() {
    const Token& t = FLexer->Peek();
    switch (t.kind) {
        case Token::Integer: return vaInteger;
        case Token::Float: return vaFloat;
        case Token::String: return vaString;
        case Token::Binary: return vaBinary;
        case Token::Ident:
            if (t.IsWord("True")) return vaTrue;
            if (t.IsWord("False")) return vaFalse;
            if (t.IsWord("nil")) return vaNil;
            return vaIdent;
        case Token::Symbol:
            if (t.IsSymbol('(')) return vaList;
            if (t.IsSymbol('[')) return vaSet;
            if (t.IsSymbol('<')) return vaCollection;
            return vaNull;
        default:
            return vaNull;
    }
}

int TReader::ReadInteger() {
    Token t = FLexer->Next();
    if (t.kind != Token::Integer) Error("整数値が必要です.");
    if (t.integer < INT_MIN || t.integer > INT_MAX) Error("整数値 " + std::to_string(t.integer) + " は範囲外です.");
    return static_cast<int>(t.integer);
}

bool TReader::ReadBoolean() {
    Token t = FLexer->Next();
    if (t.IsWord("True")) return true;
    if (t.IsWord("False")) return false;
    Error("True または False が必要です.");
}

double TReader::ReadFloat() {
    Token t = FLexer->Next();
    if (t.kind == Token::Float) return t.real;
    if (t.kind == Token::Integer) return static_cast<double>(t.integer);
    if (t.IsWord("nan")) return std::numeric_limits<double>::quiet_NaN();
    if (t.IsWord("inf")) return std::numeric_limits<double>::infinity();
    Error("実数値が必要です.");
}

AnsiString TReader::ReadString() {
    Token t = FLexer->Next();
    if (t.kind != Token::String) Error("文字列が必要です.");
    return t.text;
}

char TReader::ReadChar() {
    Token t = FLexer->Next();
    if (t.kind != Token::String || t.text.size() != 1) Error("1 文字の文字列が必要です.");
    return t.text[0];
}

AnsiString TReader::ReadIdent() {
    Token t = FLexer->Next();
    if (t.kind != Token::Ident) Error("識別子が必要です.");
    return t.text;
}

void TReader::ReadListBegin() {
    if (!FLexer->Next().IsSymbol('(')) Error("'(' が必要です.");
}

void TReader::ReadListEnd() {
    if (!FLexer->Next().IsSymbol(')')) Error("')' が必要です.");
}

bool TReader::EndOfList() {
    const Token& t = FLexer->Peek();
    if (t.kind == Token::End) {
        FLexer->Next();
        Error("リストが閉じられていません.");
    }
    return t.IsSymbol(')');
}

// ---------------------------------------------------------------- helpers

void WriteComponentToStream(TStream* stream, TComponent* root) {
    TWriter writer(stream);
    writer.WriteRootComponent(root);
}

TComponent* ReadComponentFromStream(TStream* stream, TComponent* root, TComponent* owner) {
    TReader reader(stream);
    return reader.ReadRootComponent(root, owner);
}

AnsiString ComponentToText(TComponent* root) {
    TStringStream stream;
    WriteComponentToStream(&stream, root);
    return stream.DataString();
}

TComponent* ComponentFromText(const AnsiString& utf8Text, TComponent* root, TComponent* owner) {
    TStringStream stream(utf8Text);
    return ReadComponentFromStream(&stream, root, owner);
}

bool ReadComponentRes(TComponent* instance) { return ReadComponentRes(instance->ClassName(), instance); }

bool ReadComponentRes(const AnsiString& resourceName, TComponent* instance) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceA(module, resourceName.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!res) return false;
    HGLOBAL data = LoadResource(module, res);
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    if (!bytes) return false;
    ComponentFromText(AnsiString(bytes, SizeofResource(module, res)), instance);
    return true;
}

}  // namespace Fw
