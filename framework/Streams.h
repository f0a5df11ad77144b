// Streams of bytes: in memory, over Win32 file handles, over files by name,
// over resources built into a module, and over a string.
#pragma once

#include <cstdint>

// Framework headers before <windows.h>, whose macros would rename
// framework members such as GetObject.
#include "framework/TypeInfo.h"

#include <windows.h>

namespace Fw {

enum TSeekOrigin { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream : public TObject {
public:
    FW_CLASS(TStream, TObject)
    // Move up to count bytes and return how many moved (0 at the end, or
    // when the device refuses).
    virtual int Read(void* buffer, int count) = 0;
    virtual int Write(const void* buffer, int count) = 0;
    // Returns the new position. Raises EStreamError for a position before
    // the start or an origin that is not a TSeekOrigin.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soFromBeginning); }
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);

    // As Read and Write, but all count bytes must move: EReadError or
    // EWriteError otherwise (the bytes that did move stay moved).
    void ReadBuffer(void* buffer, int count);
    void WriteBuffer(const void* buffer, int count);

    // Copies count bytes from source's position on; count 0 copies all of
    // source from its start. Returns the number of bytes copied.
    std::int64_t CopyFrom(TStream* source, std::int64_t count);
};

// A stream over a block of memory that someone else provides.
class TCustomMemoryStream : public TStream {
public:
    FW_CLASS(TCustomMemoryStream, TStream)
    int Read(void* buffer, int count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return FSize; }

    void* Memory() const { return FMemory; }
    void SaveToStream(TStream* stream);
    void SaveToFile(const AnsiString& fileName);

protected:
    void SetPointer(void* memory, std::int64_t size);

    void* FMemory = nullptr;
    std::int64_t FSize = 0;
    std::int64_t FPosition = 0;
};

// A growable block of memory. Writing past the end extends it (a gap left by
// seeking beyond the end reads as zeros).
class TMemoryStream : public TCustomMemoryStream {
public:
    FW_CLASS(TMemoryStream, TCustomMemoryStream)
    TMemoryStream() = default;
    ~TMemoryStream() override;

    int Write(const void* buffer, int count) override;
    void SetSize(std::int64_t size) override;
    void Clear();
    std::int64_t Capacity() const { return FCapacity; }

    // Replace the contents with all of stream (from its start) or the file;
    // the position is 0 afterwards.
    void LoadFromStream(TStream* stream);
    void LoadFromFile(const AnsiString& fileName);

private:
    void SetCapacity(std::int64_t capacity);
    std::int64_t FCapacity = 0;
};

// A stream over a Win32 file handle that somebody else opened and closes.
class THandleStream : public TStream {
public:
    FW_CLASS(THandleStream, TStream)
    explicit THandleStream(HANDLE handle) : FHandle(handle) {}

    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    // Extends or truncates the file; EStreamError with the system's reason
    // when that fails.
    void SetSize(std::int64_t size) override;

    HANDLE Handle() const { return FHandle; }

protected:
    HANDLE FHandle;
};

// Open modes: one access mode, or fmCreate, combined with one share mode.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,  // as fmShareExclusive
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    // Creates the file, or empties it when it exists; read and write access.
    fmCreate = 0xFF00,
};

// A file by name, opened by the constructor and closed by the destructor.
// EFCreateError or EFOpenError name the file and the system's reason.
class TFileStream : public THandleStream {
public:
    FW_CLASS(TFileStream, THandleStream)
    TFileStream(const AnsiString& fileName, unsigned mode);
    ~TFileStream() override;

    const AnsiString& FileName() const { return FFileName; }

private:
    AnsiString FFileName;
};

// The bytes of a resource of a module, read-only. The module must stay
// loaded while the stream lives.
class TResourceStream : public TCustomMemoryStream {
public:
    FW_CLASS(TResourceStream, TCustomMemoryStream)
    // name and type may be MAKEINTRESOURCE values; type is usually RT_RCDATA.
    // EResNotFound when the module has no such resource.
    TResourceStream(HINSTANCE instance, const char* name, const char* type);
    TResourceStream(HINSTANCE instance, const AnsiString& name, const char* type)
        : TResourceStream(instance, name.c_str(), type) {}
    TResourceStream(HINSTANCE instance, int id, const char* type)
        : TResourceStream(instance, MAKEINTRESOURCEA(id), type) {}

    // Raises EStreamError: a resource cannot be written.
    int Write(const void* buffer, int count) override;
};

// A stream whose bytes are a string.
class TStringStream : public TStream {
public:
    FW_CLASS(TStringStream, TStream)
    explicit TStringStream(const AnsiString& data = AnsiString()) : FDataString(data) {}

    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FDataString.size()); }
    void SetSize(std::int64_t size) override;

    const AnsiString& DataString() const { return FDataString; }
    // Up to count bytes from the position on.
    AnsiString ReadString(int count);
    void WriteString(const AnsiString& s);

private:
    AnsiString FDataString;
    std::int64_t FPosition = 0;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Streams)

}  // namespace Fw
