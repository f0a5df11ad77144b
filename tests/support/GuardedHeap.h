// The program's heap, watched: a count of the blocks it holds, and a mode in
// which a freed block can be neither read nor written. A program that uses
// it links the file that replaces operator new and delete (one per test
// program: tests/kit/guarded_heap.cpp).
#pragma once

namespace TestSupport {

// Blocks allocated with operator new and not freed yet.
long LiveBlocks();

// While one lives, every block allocated with operator new sits on pages of
// its own, and a block freed meanwhile (or later) gives its pages back to
// the system without their addresses being used again: any later read or
// write of it, a call through a freed object's fields included, stops the
// program at once, naming what was running (Label). Blocks allocated
// before it stay ordinary blocks.
class TGuardedHeap {
public:
    explicit TGuardedHeap(const char* label);
    ~TGuardedHeap();
    TGuardedHeap(const TGuardedHeap&) = delete;
    TGuardedHeap& operator=(const TGuardedHeap&) = delete;
};

}  // namespace TestSupport
