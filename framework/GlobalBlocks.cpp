#include "framework/GlobalBlocks.h"

#include <shlobj.h>

#include <cstring>

#include "framework/SysUtils.h"

namespace Fw {

TGlobalLock::TGlobalLock(HGLOBAL block)
    : FBlock(block), FData(block ? static_cast<const char*>(GlobalLock(block)) : nullptr),
      FSize(FData ? GlobalSize(block) : 0) {}

TGlobalLock::~TGlobalLock() {
    if (FData) GlobalUnlock(FBlock);
}

namespace {

// The names from byte offset at on, each ended by a zero character, the
// list by an empty name; false when the block ends first.
template <class Char>
bool ReadNames(const char* data, std::size_t size, std::size_t at, std::vector<std::basic_string<Char>>& names) {
    std::basic_string<Char> name;
    for (;;) {
        if (size - at < sizeof(Char)) return false;
        Char c;
        std::memcpy(&c, data + at, sizeof c);  // a wide list may start at an odd offset
        at += sizeof c;
        if (c) {
            name += c;
            continue;
        }
        if (name.empty()) return true;
        names.push_back(std::move(name));
        name.clear();
    }
}

}  // namespace

TDropList ReadDropList(HGLOBAL block) {
    TDropList list;
    TGlobalLock lock(block);
    DROPFILES header;
    if (!lock.Data() || lock.Size() < sizeof header) return list;
    std::memcpy(&header, lock.Data(), sizeof header);
    if (header.pFiles < sizeof header || header.pFiles > lock.Size()) return list;
    bool whole;
    if (header.fWide) {
        whole = ReadNames<wchar_t>(lock.Data(), lock.Size(), header.pFiles, list.Names);
    } else {
        std::vector<AnsiString> ansi;
        whole = ReadNames<char>(lock.Data(), lock.Size(), header.pFiles, ansi);
        for (const AnsiString& name : ansi) list.Names.push_back(AnsiToWide(name));
    }
    if (!whole) return TDropList{};
    list.Point = header.pt;
    return list;
}

}  // namespace Fw
