#include "framework/Streams.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace Fw {

FW_UNIT_BEGIN(Streams)
    .Classes<TStream, TCustomMemoryStream, TMemoryStream, THandleStream, TFileStream, TResourceStream, TStringStream>()
FW_UNIT_END

FW_PUBLISH(TStream)
FW_END_PUBLISH

FW_PUBLISH(TCustomMemoryStream)
FW_END_PUBLISH

FW_PUBLISH(TMemoryStream)
FW_END_PUBLISH

FW_PUBLISH(THandleStream)
FW_END_PUBLISH

FW_PUBLISH(TFileStream)
FW_END_PUBLISH

FW_PUBLISH(TResourceStream)
FW_END_PUBLISH

FW_PUBLISH(TStringStream)
FW_END_PUBLISH

namespace {

const char* const SReadError = "ストリームの読み込みエラー";
const char* const SWriteError = "ストリームの書き込みエラー";

// The position a seek on an in-memory stream lands on. Beyond the end is
// allowed (a later write fills the gap); before the start is not.
std::int64_t SeekTarget(std::int64_t current, std::int64_t size, std::int64_t offset,
                        TSeekOrigin origin) {
    std::int64_t base;
    switch (origin) {
        case soFromBeginning: base = 0; break;
        case soFromCurrent: base = current; break;
        case soFromEnd: base = size; break;
        default: throw EStreamError(Format("シークの起点 %d が無効です.", static_cast<int>(origin)));
    }
    std::int64_t target = base + offset;
    if (target < 0)
        throw EStreamError(Format("ストリームの位置 %lld は先頭より前です.", static_cast<long long>(target)));
    return target;
}

}  // namespace

// ---- TStream ----

std::int64_t TStream::Size() {
    std::int64_t position = Seek(0, soFromCurrent);
    std::int64_t size = Seek(0, soFromEnd);
    Seek(position, soFromBeginning);
    return size;
}

void TStream::SetSize(std::int64_t) {
    throw EStreamError(ClassName() + " の大きさは変更できません.");
}

void TStream::ReadBuffer(void* buffer, int count) {
    // Handles of pipes and the like may deliver less than asked while more
    // is still to come, so keep reading until nothing arrives.
    char* p = static_cast<char*>(buffer);
    while (count > 0) {
        int n = Read(p, count);
        if (n <= 0)
            throw EReadError(SReadError);
        p += n;
        count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, int count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        int n = Write(p, count);
        if (n <= 0)
            throw EWriteError(SWriteError);
        p += n;
        count -= n;
    }
}

std::int64_t TStream::CopyFrom(TStream* source, std::int64_t count) {
    if (count < 0)
        throw EStreamError(Format("コピーするバイト数 %lld が無効です.", static_cast<long long>(count)));
    if (count == 0) {
        source->SetPosition(0);
        count = source->Size();
    }
    const int chunk = 0xF000;
    std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(std::min<std::int64_t>(count, chunk)) + 1]);
    std::int64_t left = count;
    while (left > 0) {
        int n = static_cast<int>(std::min<std::int64_t>(left, chunk));
        source->ReadBuffer(buffer.get(), n);
        WriteBuffer(buffer.get(), n);
        left -= n;
    }
    return count;
}

// ---- TCustomMemoryStream ----

void TCustomMemoryStream::SetPointer(void* memory, std::int64_t size) {
    FMemory = memory;
    FSize = size;
}

int TCustomMemoryStream::Read(void* buffer, int count) {
    if (count <= 0 || FPosition >= FSize)
        return 0;
    int n = static_cast<int>(std::min<std::int64_t>(count, FSize - FPosition));
    std::memcpy(buffer, static_cast<char*>(FMemory) + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    FPosition = SeekTarget(FPosition, FSize, offset, origin);
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* stream) {
    if (FSize > 0)
        stream->WriteBuffer(FMemory, static_cast<int>(FSize));
}

void TCustomMemoryStream::SaveToFile(const AnsiString& fileName) {
    TFileStream file(fileName, fmCreate);
    SaveToStream(&file);
}

// ---- TMemoryStream ----

TMemoryStream::~TMemoryStream() {
    std::free(FMemory);
}

void TMemoryStream::SetCapacity(std::int64_t capacity) {
    if (capacity == FCapacity)
        return;
    if (capacity == 0) {
        std::free(FMemory);
        FMemory = nullptr;
        FCapacity = 0;
        return;
    }
    if (capacity > INT_MAX)
        throw EStreamError("メモリストリームを広げるメモリが足りません.");
    void* p = std::realloc(FMemory, static_cast<std::size_t>(capacity));
    if (!p)
        throw EStreamError("メモリストリームを広げるメモリが足りません.");
    FMemory = p;
    FCapacity = capacity;
}

void TMemoryStream::SetSize(std::int64_t size) {
    if (size < 0)
        throw EStreamError(Format("ストリームの大きさ %lld が無効です.", static_cast<long long>(size)));
    if (size > FCapacity)
        SetCapacity((size + 0x1FFF) & ~std::int64_t(0x1FFF));
    if (size > FSize)
        std::memset(static_cast<char*>(FMemory) + FSize, 0, static_cast<std::size_t>(size - FSize));
    FSize = size;
    if (FPosition > size)
        FPosition = size;
}

int TMemoryStream::Write(const void* buffer, int count) {
    if (count <= 0)
        return 0;
    std::int64_t end = FPosition + count;
    if (end > FSize) {
        if (end > FCapacity) {
            // Grow by half again, in 8 KB steps, so that many small writes
            // do not copy the block each time.
            std::int64_t wanted = std::max(end, FCapacity + FCapacity / 2);
            SetCapacity((wanted + 0x1FFF) & ~std::int64_t(0x1FFF));
        }
        if (FPosition > FSize)
            std::memset(static_cast<char*>(FMemory) + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
        FSize = end;
    }
    std::memcpy(static_cast<char*>(FMemory) + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

void TMemoryStream::Clear() {
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
    stream->SetPosition(0);
    std::int64_t count = stream->Size();
    SetSize(count);
    FPosition = 0;
    if (count > 0)
        stream->ReadBuffer(FMemory, static_cast<int>(count));
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&file);
}

// ---- THandleStream ----

int THandleStream::Read(void* buffer, int count) {
    DWORD n = 0;
    if (count <= 0 || !ReadFile(FHandle, buffer, static_cast<DWORD>(count), &n, nullptr))
        return 0;
    return static_cast<int>(n);
}

int THandleStream::Write(const void* buffer, int count) {
    DWORD n = 0;
    if (count <= 0 || !WriteFile(FHandle, buffer, static_cast<DWORD>(count), &n, nullptr))
        return 0;
    return static_cast<int>(n);
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    DWORD method;
    switch (origin) {
        case soFromBeginning: method = FILE_BEGIN; break;
        case soFromCurrent: method = FILE_CURRENT; break;
        case soFromEnd: method = FILE_END; break;
        default: throw EStreamError(Format("シークの起点 %d が無効です.", static_cast<int>(origin)));
    }
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(FHandle, distance, &result, method))
        throw EStreamError("ストリームの位置を移動できません. " + SysErrorMessage(GetLastError()));
    return result.QuadPart;
}

std::int64_t THandleStream::Size() {
    LARGE_INTEGER size;
    if (GetFileSizeEx(FHandle, &size))
        return size.QuadPart;
    return TStream::Size();
}

void THandleStream::SetSize(std::int64_t size) {
    std::int64_t position = Position();
    Seek(size, soFromBeginning);
    if (!SetEndOfFile(FHandle)) {
        DWORD error = GetLastError();
        Seek(position, soFromBeginning);
        throw EStreamError("ストリームの大きさを変更できません. " + SysErrorMessage(error));
    }
    if (position < size)
        Seek(position, soFromBeginning);
}

// ---- TFileStream ----

namespace {

// Share modes by (mode & 0xF0) >> 4: compatibility, exclusive, deny write,
// deny read, deny none.
const DWORD ShareModes[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
const DWORD AccessModes[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};

}  // namespace

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(fileName) {
    bool create = (mode & 0xFF00) == fmCreate;
    unsigned share = (mode & 0xF0) >> 4;
    unsigned access = mode & 0x0F;
    bool valid = share < 5 && (create ? access == 0 : ((mode & 0xFF00) == 0 && access < 3)) &&
                 (mode & ~0xFFFFu) == 0;
    if (!valid) {
        AnsiString text = Format("ファイル \"%s\" のモード $%X が無効です.", fileName.c_str(), mode);
        if (create)
            throw EFCreateError(text);
        throw EFOpenError(text);
    }
    FHandle = CreateFileA(fileName.c_str(), create ? GENERIC_READ | GENERIC_WRITE : AccessModes[access],
                          ShareModes[share], nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE) {
        AnsiString reason = SysErrorMessage(GetLastError());
        if (create)
            throw EFCreateError(Format("ファイル \"%s\" を作成できません. %s", fileName.c_str(), reason.c_str()));
        throw EFOpenError(Format("ファイル \"%s\" を開けません. %s", fileName.c_str(), reason.c_str()));
    }
}

TFileStream::~TFileStream() {
    if (FHandle != INVALID_HANDLE_VALUE)
        CloseHandle(FHandle);
}

// ---- TResourceStream ----

TResourceStream::TResourceStream(HINSTANCE instance, const char* name, const char* type) {
    HRSRC info = FindResourceA(instance, name, type);
    HGLOBAL data = info ? LoadResource(instance, info) : nullptr;
    void* memory = data ? LockResource(data) : nullptr;
    if (!memory) {
        AnsiString shown = IS_INTRESOURCE(name)
                               ? "#" + IntToStr(static_cast<int>(reinterpret_cast<std::uintptr_t>(name)))
                               : AnsiString(name);
        throw EResNotFound(Format("リソース %s が見つかりません.", shown.c_str()));
    }
    SetPointer(memory, SizeofResource(instance, info));
}

int TResourceStream::Write(const void*, int) {
    throw EStreamError("リソースのストリームには書き込めません.");
}

// ---- TStringStream ----

int TStringStream::Read(void* buffer, int count) {
    std::int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return 0;
    int n = static_cast<int>(std::min<std::int64_t>(count, size - FPosition));
    std::memcpy(buffer, FDataString.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

int TStringStream::Write(const void* buffer, int count) {
    if (count <= 0)
        return 0;
    std::size_t end = static_cast<std::size_t>(FPosition) + static_cast<std::size_t>(count);
    if (end > FDataString.size())
        FDataString.resize(end, '\0');
    std::memcpy(FDataString.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = static_cast<std::int64_t>(end);
    return count;
}

std::int64_t TStringStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    FPosition = SeekTarget(FPosition, Size(), offset, origin);
    return FPosition;
}

void TStringStream::SetSize(std::int64_t size) {
    if (size < 0)
        throw EStreamError(Format("ストリームの大きさ %lld が無効です.", static_cast<long long>(size)));
    FDataString.resize(static_cast<std::size_t>(size), '\0');
    if (FPosition > size)
        FPosition = size;
}

AnsiString TStringStream::ReadString(int count) {
    std::int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return AnsiString();
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(count, size - FPosition));
    AnsiString r = FDataString.substr(static_cast<std::size_t>(FPosition), n);
    FPosition += static_cast<std::int64_t>(n);
    return r;
}

void TStringStream::WriteString(const AnsiString& s) {
    WriteBuffer(s.data(), static_cast<int>(s.size()));
}

}  // namespace Fw
