#include "framework/ObjectInstance.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#include "framework/SysUtils.h"

namespace Fw {

namespace {

// One thunk: 12 bytes of code, then the method it calls.
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
    Slot* NextFree;
};
static_assert(sizeof(Slot) == 24, "thunk slots are packed");

constexpr unsigned char kPopEax = 0x58;
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

LRESULT CALLBACK StdWndProc(Slot* slot, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    slot->Method(message);
    return message.Result;
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
        return s->Code[0] == kPopEax ? s : nullptr;
    }
    return nullptr;
}

}  // namespace

WNDPROC MakeObjectInstance(const TWndMethod& method) {
    std::lock_guard<std::mutex> guard(Lock());
    Block* block = gBlocks;
    while (block && !block->FreeList) block = block->Next;
    if (!block) block = NewBlock();

    Slot* s = block->FreeList;
    block->FreeList = s->NextFree;
    ++block->Used;
    ++gCount;

    s->Method = method;
    s->NextFree = nullptr;
    unsigned char* c = s->Code;
    auto target = reinterpret_cast<std::intptr_t>(&StdWndProc);
    auto self = reinterpret_cast<std::uint32_t>(s);
    std::int32_t rel = static_cast<std::int32_t>(target - reinterpret_cast<std::intptr_t>(c + 12));
    c[1] = 0x68;
    std::memcpy(c + 2, &self, 4);
    c[6] = 0x50;
    c[7] = 0xE9;
    std::memcpy(c + 8, &rel, 4);
    c[0] = kPopEax;  // last: the slot counts as live from here on
    FlushInstructionCache(GetCurrentProcess(), c, sizeof s->Code);
    return reinterpret_cast<WNDPROC>(static_cast<void*>(c));
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
