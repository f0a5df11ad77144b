// Global memory blocks, the way programs hand data to each other (the
// clipboard, drag and drop, files dropped from the shell). A block from
// another program is untrusted input: it is read only within the size the
// system gives for it (GlobalSize), whatever its contents claim.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Fw {

// A block locked for reading for the life of this object. Data() is null
// when the block cannot be locked (a freed or foreign handle).
class TGlobalLock {
public:
    explicit TGlobalLock(HGLOBAL block);
    ~TGlobalLock();
    TGlobalLock(const TGlobalLock&) = delete;
    TGlobalLock& operator=(const TGlobalLock&) = delete;

    const char* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

private:
    HGLOBAL FBlock;
    const char* FData;
    std::size_t FSize;
};

// The file list of a CF_HDROP block (a shell drop, a data object's): the
// names in order, wide whether the block holds ANSI or wide names (ANSI ones
// read in the ANSI code page), and the drop point. A block whose header,
// list or names do not lie wholly within it - the list's offset outside the
// block or inside its header, a name or the list's closing zero missing -
// reads as an empty list: nothing of it is taken.
struct TDropList {
    std::vector<std::wstring> Names;
    POINT Point{0, 0};
};
TDropList ReadDropList(HGLOBAL block);

}  // namespace Fw
