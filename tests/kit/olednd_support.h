// Helpers of the drag-and-drop tests: OLE for the length of a test, global
// blocks, an IUnknown that counts its references, a spy on the task
// allocator, and a record of the application's exception reports.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/Application.h"
#include "framework/StringList.h"
#include "kit/Oledndimpl.h"
#include "tests/support/ExceptionRecord.h"

namespace OleTest {

class TOleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};

inline HGLOBAL Block(const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

// The whole of a block.
inline std::string Bytes(HGLOBAL block) {
    std::string bytes(GlobalSize(block), '\0');
    if (!bytes.empty()) std::memcpy(bytes.data(), GlobalLock(block), bytes.size());
    GlobalUnlock(block);
    return bytes;
}

inline FORMATETC Format(WORD cf, DWORD tymed = TYMED_HGLOBAL) {
    return FORMATETC{cf, nullptr, DVASPECT_CONTENT, -1, tymed};
}

// A release object of a medium, or a holder of a data object: its count is
// what the test reads.
struct TCountedUnknown : IUnknown {
    ULONG Count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Count; }
    ULONG STDMETHODCALLTYPE Release() override { return --Count; }
};

// While registered, counts the blocks of the task allocator (where the
// shell's item identifier lists come from) that are still out.
struct TMallocSpy : IMallocSpy {
    std::set<void*> Blocks;
    bool Registered = SUCCEEDED(CoRegisterMallocSpy(this));
    virtual ~TMallocSpy() {
        if (Registered) CoRevokeMallocSpy();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = IsEqualIID(iid, IID_IMallocSpy) || IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual ? Blocks.insert(actual), actual : actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override { return Blocks.erase(request), request; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
        Blocks.erase(request);
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return PostAlloc(actual); }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// While it lives, the application's exception reports are recorded.
struct TReports : TestSupport::TExceptionRecord {
    TReports() { Fw::Application->OnException = Fw::MakeEvent<&TExceptionRecord::Record>(this); }
    ~TReports() { Fw::Application->OnException = nullptr; }
};

// Collects the formats a reader's GetFormats calls back with.
struct TCollect {
    std::vector<WORD> Formats;
    void Format(const FORMATETC& fe) { Formats.push_back(fe.cfFormat); }
};

}  // namespace OleTest

namespace Kit {
// Effects in failure messages by name, not as the byte they are.
inline void PrintTo(TDropEffectKind kind, std::ostream* os) {
    *os << Fw::GetEnumName(Fw::TypeInfoOf<TDropEffectKind>(), kind);
}
}  // namespace Kit
