// The test program's operator new and delete (see tests/support/GuardedHeap.h).
#include "tests/support/GuardedHeap.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> gLiveBlocks{0};

// Guarded blocks come from one reserved range, page after page, never
// reused; a freed block's pages are decommitted, so touching them faults.
constexpr std::size_t kPage = 4096;
constexpr std::size_t kHeader = 16;  // keeps the block 16-byte aligned
char* gBase = nullptr;
std::size_t gSize = 0;
std::atomic<std::size_t> gUsed{0};
std::atomic<int> gGuards{0};
char gLabel[256] = "";

bool InRange(const void* p) {
    auto* c = static_cast<const char*>(p);
    return gBase && c >= gBase && c < gBase + gSize;
}

void Say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

// A fault in freed memory ends the program, naming the case; any other
// fatal trap (a freed window procedure's int3) is named before it goes on.
LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const bool access = record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2;
    const void* address = access ? reinterpret_cast<const void*>(record->ExceptionInformation[1]) : nullptr;
    if (!(access && InRange(address)) && record->ExceptionCode != EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_SEARCH;
    char text[512];
    std::snprintf(text, sizeof text, "\n%s (at %p, code at %p) during: %s\n",
                  access ? "Freed memory touched" : "Trap", address, record->ExceptionAddress, gLabel);
    Say(text);
    if (access) TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Reserved once, as large as the address space allows.
void Reserve() {
    static bool tried = false;
    if (tried) return;
    tried = true;
    for (std::size_t size = sizeof(void*) == 8 ? (std::size_t(4) << 30) : (std::size_t(768) << 20);
         size >= (std::size_t(32) << 20); size /= 2) {
        if (void* base = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
            gBase = static_cast<char*>(base);
            gSize = size;
            break;
        }
    }
    AddVectoredExceptionHandler(1, &OnFault);
}

void* Guarded(std::size_t size) {
    const std::size_t span = (size + kHeader + kPage - 1) / kPage * kPage;
    const std::size_t at = gUsed.fetch_add(span);
    if (at + span > gSize) {
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) Say("\nGuarded heap exhausted: later blocks are ordinary ones.\n");
        return nullptr;
    }
    char* block = static_cast<char*>(VirtualAlloc(gBase + at, span, MEM_COMMIT, PAGE_READWRITE));
    if (!block) return nullptr;
    *reinterpret_cast<std::size_t*>(block) = span;
    return block + kHeader;
}

void Release(void* p) {
    char* block = static_cast<char*>(p) - kHeader;
    const std::size_t span = *reinterpret_cast<std::size_t*>(block);
    VirtualFree(block, span, MEM_DECOMMIT);
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = gGuards.load() > 0 ? Guarded(size) : nullptr;
    if (!p) p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++gLiveBlocks;
    return p;
}

void operator delete(void* p) noexcept {
    if (!p) return;
    --gLiveBlocks;
    if (InRange(p)) Release(p);
    else std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace TestSupport {

long LiveBlocks() { return gLiveBlocks.load(); }

TGuardedHeap::TGuardedHeap(const char* label) {
    Reserve();
    lstrcpynA(gLabel, label, sizeof gLabel);
    ++gGuards;
}

TGuardedHeap::~TGuardedHeap() {
    --gGuards;
    lstrcatA(gLabel, " (or later)");
}

}  // namespace TestSupport
