#include "framework/ObjectInstance.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#include "framework/Object.h"

namespace Fw {

namespace {

#if defined(_M_X64) || defined(__x86_64__)
// One thunk (x64): 22 bytes of code, then the method it calls. The window
// handle in rcx is not needed (a TMessage has no window), so the slot takes
// its place as StdWndProc's first argument; the other three stay in their
// registers, and the stack is untouched, so StdWndProc returns straight to
// the system.
//
//     48 B9 <slot>    mov  rcx, slot
//     48 B8 <proc>    mov  rax, StdWndProc
//     FF E0           jmp  rax
struct Slot {
    unsigned char Code[24];
    TWndMethod Method;
    union {
        TObject* Sender;  // live
        Slot* NextFree;   // free
    };
};
static_assert(sizeof(Slot) == 48, "thunk slots are packed");
constexpr unsigned char kLiveMark = 0x48;  // the first byte of a live thunk
#else
// One thunk (x86): 12 bytes of code, then the method it calls.
//
//     58              pop  eax            ; the caller's return address
//     68 <slot>       push slot           ; becomes StdWndProc's first argument
//     50              push eax
//     E9 <rel32>      jmp  StdWndProc
//
// StdWndProc is __stdcall with five arguments, so its return pops the four
// the system pushed plus the one pushed here.
struct Slot {
    unsigned char Code[12];
    TWndMethod Method;
    union {
        TObject* Sender;  // live
        Slot* NextFree;   // free
    };
};
static_assert(sizeof(Slot) == 24, "thunk slots are packed");
constexpr unsigned char kLiveMark = 0x58;  // pop eax
#endif

constexpr unsigned char kFreeMark = 0xCC;  // int3: a freed thunk traps rather than call a stale method
constexpr std::size_t kBlockSize = 4096;

struct Block {
    Block* Next;
    Block* Prev;
    Slot* FreeList;
    int Used;
    unsigned char Pad[16];
    Slot Slots[1];  // as many as fit in the block
};
constexpr int kSlotsPerBlock = (kBlockSize - offsetof(Block, Slots)) / sizeof(Slot);

#if defined(_M_X64) || defined(__x86_64__)
LRESULT CALLBACK StdWndProc(Slot* slot, UINT msg, WPARAM wParam, LPARAM lParam) {
#else
LRESULT CALLBACK StdWndProc(Slot* slot, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
#endif
    TMessage message{msg, wParam, lParam, 0};
    // Read first: the method may free this very thunk (a form that releases
    // itself) before it raises.
    TObject* sender = slot->Sender;
    try {
        slot->Method(message);
    } catch (...) {
        HandleException(sender);
    }
    return message.Result;
}

// Writes the code of a live thunk into s; its first byte last, since that
// byte is what marks the slot live.
void WriteThunk(Slot* s) {
    unsigned char* c = s->Code;
#if defined(_M_X64) || defined(__x86_64__)
    auto self = reinterpret_cast<std::uint64_t>(s);
    auto target = reinterpret_cast<std::uint64_t>(&StdWndProc);
    c[1] = 0xB9;
    std::memcpy(c + 2, &self, 8);
    c[10] = 0x48;
    c[11] = 0xB8;
    std::memcpy(c + 12, &target, 8);
    c[20] = 0xFF;
    c[21] = 0xE0;
#else
    auto target = reinterpret_cast<std::intptr_t>(&StdWndProc);
    auto self = reinterpret_cast<std::uint32_t>(s);
    std::int32_t rel = static_cast<std::int32_t>(target - reinterpret_cast<std::intptr_t>(c + 12));
    c[1] = 0x68;
    std::memcpy(c + 2, &self, 4);
    c[6] = 0x50;
    c[7] = 0xE9;
    std::memcpy(c + 8, &rel, 4);
#endif
    c[0] = kLiveMark;
    FlushInstructionCache(GetCurrentProcess(), c, sizeof s->Code);
}

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

Block* gBlocks = nullptr;
int gCount = 0;
int gBlockCount = 0;

Block* NewBlock() {
    void* mem = VirtualAlloc(nullptr, kBlockSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    if (!mem) throw EOutOfResources("ウィンドウプロシージャ用のメモリを確保できません.");
    Block* block = static_cast<Block*>(mem);
    block->Prev = nullptr;
    block->Next = gBlocks;
    if (gBlocks) gBlocks->Prev = block;
    gBlocks = block;
    block->Used = 0;
    block->FreeList = nullptr;
    for (int i = kSlotsPerBlock - 1; i >= 0; --i) {
        Slot* s = &block->Slots[i];
        s->Code[0] = kFreeMark;
        s->NextFree = block->FreeList;
        block->FreeList = s;
    }
    ++gBlockCount;
    return block;
}

void ReleaseBlock(Block* block) {
    if (block->Prev) block->Prev->Next = block->Next;
    else gBlocks = block->Next;
    if (block->Next) block->Next->Prev = block->Prev;
    VirtualFree(block, 0, MEM_RELEASE);
    --gBlockCount;
}

// The live slot at p, or null when p is not the start of one.
Slot* FindSlot(const void* p) {
    auto addr = reinterpret_cast<std::uintptr_t>(p);
    auto base = addr & ~(std::uintptr_t(kBlockSize) - 1);
    for (Block* b = gBlocks; b; b = b->Next) {
        if (reinterpret_cast<std::uintptr_t>(b) != base) continue;
        auto first = reinterpret_cast<std::uintptr_t>(&b->Slots[0]);
        if (addr < first || (addr - first) % sizeof(Slot) != 0) return nullptr;
        if ((addr - first) / sizeof(Slot) >= std::uintptr_t(kSlotsPerBlock)) return nullptr;
        Slot* s = reinterpret_cast<Slot*>(addr);
        return s->Code[0] == kLiveMark ? s : nullptr;
    }
    return nullptr;
}

}  // namespace

WNDPROC MakeObjectInstance(const TWndMethod& method, TObject* sender) {
    std::lock_guard<std::mutex> guard(Lock());
    Block* block = gBlocks;
    while (block && !block->FreeList) block = block->Next;
    if (!block) block = NewBlock();

    Slot* s = block->FreeList;
    block->FreeList = s->NextFree;
    ++block->Used;
    ++gCount;

    s->Method = method;
    s->Sender = sender;
    WriteThunk(s);
    return reinterpret_cast<WNDPROC>(static_cast<void*>(s->Code));
}

void FreeObjectInstance(WNDPROC instance) {
    if (!instance) return;
    std::lock_guard<std::mutex> guard(Lock());
    Slot* s = FindSlot(reinterpret_cast<const void*>(instance));
    if (!s) throw Exception("FreeObjectInstance: ウィンドウプロシージャのインスタンスではありません.");
    Block* block = reinterpret_cast<Block*>(reinterpret_cast<std::uintptr_t>(s) & ~(std::uintptr_t(kBlockSize) - 1));
    s->Code[0] = kFreeMark;
    FlushInstructionCache(GetCurrentProcess(), s->Code, sizeof s->Code);
    s->Method = TWndMethod();
    s->NextFree = block->FreeList;
    block->FreeList = s;
    --block->Used;
    --gCount;
    // An empty block goes back to the system unless it is the last one, so
    // that a window made and destroyed in a loop does not map a page each time.
    if (block->Used == 0 && gBlockCount > 1) ReleaseBlock(block);
}

bool IsObjectInstance(WNDPROC proc) {
    std::lock_guard<std::mutex> guard(Lock());
    return FindSlot(reinterpret_cast<const void*>(proc)) != nullptr;
}

TWndMethod ObjectInstanceMethod(WNDPROC instance) {
    std::lock_guard<std::mutex> guard(Lock());
    Slot* s = FindSlot(reinterpret_cast<const void*>(instance));
    if (!s) throw Exception("ウィンドウプロシージャのインスタンスではありません.");
    return s->Method;
}

int ObjectInstanceCount() {
    std::lock_guard<std::mutex> guard(Lock());
    return gCount;
}

int ObjectInstanceBlockCount() {
    std::lock_guard<std::mutex> guard(Lock());
    return gBlockCount;
}

}  // namespace Fw
