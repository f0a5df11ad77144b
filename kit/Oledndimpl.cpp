#include "kit/Oledndimpl.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "framework/GlobalBlocks.h"

namespace Kit {

namespace {

bool SameFormatEtc(const FORMATETC& a, const FORMATETC& b) {
    return a.cfFormat == b.cfFormat && a.ptd == b.ptd && a.dwAspect == b.dwAspect && a.lindex == b.lindex &&
           a.tymed == b.tymed;
}

FORMATETC NormalFormatEtc(WORD format, DWORD type) {
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, type};
}

// The system's FORMATETC enumerator factory (CreateFormatEnumerator).
using TFormatEnumeratorFactory = HRESULT(WINAPI*)(UINT count, FORMATETC* formats, IEnumFORMATETC** enumerator);

// The factory lives in the URL moniker library, which older Windows exports
// by ordinal 24 only. Elsewhere (Wine, and any library that names the
// function) ordinal 24 may be another function altogether, so it is taken
// only where the library has no name for the factory; a name, where there
// is one, is the factory itself.
TFormatEnumeratorFactory FormatEnumeratorFactory() {
    static const TFormatEnumeratorFactory factory = []() -> TFormatEnumeratorFactory {
        HMODULE urlmon = LoadLibraryA("URLMON.DLL");
        if (!urlmon) return nullptr;
        FARPROC byName = GetProcAddress(urlmon, "CreateFormatEnumerator");
        FARPROC found = byName ? byName : GetProcAddress(urlmon, MAKEINTRESOURCEA(24));
        return reinterpret_cast<TFormatEnumeratorFactory>(reinterpret_cast<void*>(found));
    }();
    return factory;
}

void FreeItemID(LPITEMIDLIST pidl) {
    Fw::TComPtr<IMalloc> malloc;
    if (pidl && SUCCEEDED(SHGetMalloc(malloc.Out())) && malloc) malloc->Free(pidl);
}

}  // namespace

FW_UNIT_BEGIN(Oledndimpl)
FW_UNIT_END

// ---- Global memory ----

HGLOBAL DuplicateData(const void* data, int size) {
    if (size < 0 || (!data && size > 0)) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, static_cast<SIZE_T>(size));
    if (!block || size == 0) return block;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, data, static_cast<std::size_t>(size));
    GlobalUnlock(block);
    return block;
}

HGLOBAL DuplicateData(HGLOBAL block) {
    if (!block) return nullptr;
    if (GlobalSize(block) == 0) return DuplicateData(nullptr, 0);
    Fw::TGlobalLock source(block);
    if (!source.Data() || source.Size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
    return DuplicateData(source.Data(), static_cast<int>(source.Size()));
}

// ---- TDataObjectImpl ----

TDataObjectImpl::~TDataObjectImpl() {
    ReleaseStgMedium(&FStoredMedium);
}

HRESULT TDataObjectImpl::GetData(FORMATETC* formatIn, STGMEDIUM* medium) {
    HRESULT result = TDataObjectBroker::GetData(formatIn, medium);
    if (result != E_NOTIMPL) return result;
    if (!formatIn || !medium) return E_INVALIDARG;
    if (!SameFormatEtc(*formatIn, FStoredFormatEtc)) return E_NOTIMPL;
    if (FStoredMedium.tymed == TYMED_HGLOBAL) {
        HGLOBAL copy = DuplicateData(FStoredMedium.hGlobal);
        if (!copy) return E_OUTOFMEMORY;
        *medium = STGMEDIUM{};
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        return S_OK;
    }
    // Any other medium cannot be copied: the receiver takes it over.
    *medium = FStoredMedium;
    FStoredMedium = STGMEDIUM{};
    return S_OK;
}

HRESULT TDataObjectImpl::QueryGetData(FORMATETC* format) {
    HRESULT result = TDataObjectBroker::QueryGetData(format);
    if (result != E_NOTIMPL) return result;
    if (FStoredMedium.tymed == TYMED_NULL) return E_NOTIMPL;
    if (!format) return E_INVALIDARG;
    return SameFormatEtc(*format, FStoredFormatEtc) ? S_OK : S_FALSE;
}

HRESULT TDataObjectImpl::GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) {
    HRESULT result = TDataObjectBroker::GetCanonicalFormatEtc(formatIn, formatOut);
    if (result != E_NOTIMPL) return result;
    if (!formatIn || !formatOut) return E_INVALIDARG;
    *formatOut = *formatIn;
    formatOut->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

HRESULT TDataObjectImpl::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    HRESULT result = TDataObjectBroker::SetData(format, medium, release);
    if (result != E_NOTIMPL) return result;
    if (!format || !medium) return E_INVALIDARG;
    // Every medium but TYMED_NULL is a handle, a pointer or a name.
    if (medium->tymed != TYMED_NULL && !medium->hGlobal) return E_INVALIDARG;
    STGMEDIUM stored{};
    if (release) {
        stored = *medium;
    } else {
        if (medium->tymed != TYMED_HGLOBAL) return E_NOTIMPL;
        // The copy is the object's own, whatever the caller's block answers to.
        stored.tymed = TYMED_HGLOBAL;
        stored.hGlobal = DuplicateData(medium->hGlobal);
        if (!stored.hGlobal) return E_OUTOFMEMORY;
    }
    ReleaseStgMedium(&FStoredMedium);
    FStoredMedium = stored;
    FStoredFormatEtc = *format;
    return S_OK;
}

HRESULT TDataObjectImpl::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) {
    HRESULT result = TDataObjectBroker::EnumFormatEtc(direction, enumerator);
    if (result != E_NOTIMPL) return result;
    if (!enumerator) return E_INVALIDARG;
    *enumerator = nullptr;
    TFormatEnumeratorFactory factory = direction == DATADIR_GET ? FormatEnumeratorFactory() : nullptr;
    if (!factory) return E_NOTIMPL;
    FORMATETC stored = FStoredFormatEtc;
    result = factory(1, &stored, enumerator);
    if (FAILED(result) || !*enumerator) {
        if (*enumerator) (*enumerator)->Release();
        *enumerator = nullptr;
        return E_NOTIMPL;
    }
    return result;
}

HRESULT TDataObjectImpl::SetData(int format, void* handle, TYMED type) {
    FORMATETC fe = NormalFormatEtc(static_cast<WORD>(format), type);
    STGMEDIUM medium{};
    medium.tymed = type;
    medium.hGlobal = handle;
    HRESULT result = SetData(&fe, &medium, TRUE);
    if (FAILED(result)) ReleaseStgMedium(&medium);
    return result;
}

// ---- TDropSourceImpl ----

HRESULT TDropSourceImpl::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
    HRESULT result = TDropSourceBroker::QueryContinueDrag(escapePressed, keyState);
    if (result != E_NOTIMPL) return result;
    const DWORD buttons = keyState & (MK_LBUTTON | MK_RBUTTON);
    if (escapePressed || buttons == (MK_LBUTTON | MK_RBUTTON)) return DRAGDROP_S_CANCEL;
    if (buttons == 0) return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT TDropSourceImpl::GiveFeedback(DWORD effect) {
    HRESULT result = TDropSourceBroker::GiveFeedback(effect);
    return result != E_NOTIMPL ? result : DRAGDROP_S_USEDEFAULTCURSORS;
}

// ---- TDropTargetImpl ----

HRESULT TDropTargetImpl::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    FHeldDataObject.Reset(data);
    HRESULT result = TDropTargetBroker::DragEnter(data, keyState, point, effect);
    if (effect) FLastEffect = *effect;
    return result == E_NOTIMPL ? S_OK : result;
}

HRESULT TDropTargetImpl::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
    HRESULT result = TDropTargetBroker::DragOver(keyState, point, effect);
    if (effect) FLastEffect = *effect;
    return result == E_NOTIMPL ? S_OK : result;
}

HRESULT TDropTargetImpl::DragLeave() {
    HRESULT result = TDropTargetBroker::DragLeave();
    FHeldDataObject.Reset();
    FLastEffect = 0;
    return result == E_NOTIMPL ? S_OK : result;
}

HRESULT TDropTargetImpl::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    // The system holds data for the length of the call; so does the handler.
    FHeldDataObject = Fw::TComPtr<IDataObject>::Adopt(data);
    HRESULT result;
    {
        auto unhold = Fw::OnScopeExit([this] { FHeldDataObject.Detach(); });
        result = TDropTargetBroker::Drop(data, keyState, point, effect);
    }
    if (result != E_NOTIMPL) return result;
    if (effect) *effect = DROPEFFECT_NONE;
    FLastEffect = 0;
    return S_OK;
}

// ---- TDOFileList and TDOText ----

TDOFileList::TDOFileList() : FFiles(std::make_unique<Fw::TStringList>()) {}

TDOFileList::~TDOFileList() = default;

void TDOFileList::SetFiles(Fw::TStrings* files) {
    HGLOBAL block = GetDropFiles(Directory, files);
    if (!block) throw std::bad_alloc();
    if (files != FFiles.get()) {
        try {
            if (files) FFiles->Assign(files);
            else FFiles->Clear();
        } catch (...) {
            GlobalFree(block);
            throw;
        }
    }
    SetData(CF_HDROP, block, TYMED_HGLOBAL);
}

void TDOText::SetText(const Fw::AnsiString& s) {
    HGLOBAL block = s.size() < static_cast<std::size_t>(INT_MAX)
                        ? DuplicateData(s.c_str(), static_cast<int>(s.size() + 1))
                        : nullptr;
    if (!block) throw std::bad_alloc();
    FText = s;
    SetData(CF_TEXT, block, TYMED_HGLOBAL);
}

// ---- TDataObjectReader ----

TDataObjectReader::TDataObjectReader(IDataObject* data) : FDataObject(data) {}

TDataObjectReader::~TDataObjectReader() { ReleaseStgMedium(); }

void TDataObjectReader::SetInterface(IDataObject* data) { FDataObject.Reset(data); }

void TDataObjectReader::ReleaseStgMedium() {
    if (!FMediumHeld) return;
    FMediumHeld = false;
    ::ReleaseStgMedium(&FMedium);
    FMedium = STGMEDIUM{};
}

void* TDataObjectReader::GetAsHandle(WORD format, DWORD type) {
    ReleaseStgMedium();
    if (!FDataObject) return nullptr;
    FORMATETC fe = NormalFormatEtc(format, type);
    STGMEDIUM medium{};
    HRESULT result = FDataObject->GetData(&fe, &medium);
    if (result != S_OK || !(medium.tymed & type)) {
        // A rendering that came with any other success code, or on a medium
        // other than the one asked for, is of no use here but still ours.
        if (SUCCEEDED(result) && medium.tymed != TYMED_NULL) ::ReleaseStgMedium(&medium);
        return nullptr;
    }
    FMedium = medium;
    FMediumHeld = true;
    return FMedium.hGlobal;
}

bool TDataObjectReader::HasFormat(WORD format) {
    if (!FDataObject) return false;
    FORMATETC fe = NormalFormatEtc(format, TYMED_HGLOBAL);
    return FDataObject->QueryGetData(&fe) == S_OK;
}

void TDataObjectReader::GetFormats(const TFormatEtcEvent& callback) {
    if (!FDataObject) return;
    Fw::TComPtr<IEnumFORMATETC> enumerator;
    if (FAILED(FDataObject->EnumFormatEtc(DATADIR_GET, enumerator.Out())) || !enumerator) return;
    const ULONG capacity = 100;
    FORMATETC formats[capacity];
    ULONG fetched = 0;
    if (FAILED(enumerator->Next(capacity, formats, &fetched))) return;
    if (fetched > capacity) fetched = capacity;
    for (ULONG i = 0; i < fetched && callback; ++i) callback(formats[i]);
}

Fw::AnsiString TDataObjectReader::GetText() {
    Fw::TGlobalLock text(static_cast<HGLOBAL>(GetAsHandle(CF_TEXT, TYMED_HGLOBAL)));
    if (!text.Data()) return {};
    // A block without a terminating zero gives all its bytes, and no more.
    return Fw::AnsiString(text.Data(), strnlen(text.Data(), text.Size()));
}

void TDataObjectReader::GetFileList(Fw::TStrings* list) {
    if (!list) return;
    auto block = static_cast<HGLOBAL>(GetAsHandle(CF_HDROP, TYMED_HGLOBAL));
    if (!block) return;
    for (const std::wstring& name : Fw::ReadDropList(block).Names) list->Add(Fw::AnsiFileName(name));
}

void TDataObjectReader::GetBitmap(Fw::TBitmap* bitmap) {
    if (!bitmap) return;
    auto handle = static_cast<HBITMAP>(GetAsHandle(CF_BITMAP, TYMED_GDI));
    if (!handle) return;
    if (FMedium.pUnkForRelease) {
        // The provider still answers for its bitmap: the caller's gets a copy.
        handle = static_cast<HBITMAP>(CopyImage(handle, IMAGE_BITMAP, 0, 0, 0));
        ReleaseStgMedium();
        if (!handle) return;
        try {
            bitmap->SetHandle(handle);
        } catch (...) {
            if (bitmap->Handle() != handle) DeleteObject(handle);
            throw;
        }
        return;
    }
    // From here on the bitmap answers for the handle; the medium no longer
    // does, so no later read or release can free it under the bitmap.
    auto forget = [this] {
        FMediumHeld = false;
        FMedium = STGMEDIUM{};
    };
    try {
        bitmap->SetHandle(handle);
    } catch (...) {
        if (bitmap->Handle() == handle) forget();
        throw;
    }
    forget();
}

// ---- Files on disk ----

HGLOBAL GetDropFiles(const Fw::AnsiString& folder, Fw::TStrings* names) {
    static_assert(sizeof(DROPFILES) == 20, "the CF_HDROP header is 20 bytes at either width");
    std::string block(sizeof(DROPFILES), '\0');
    for (int i = 0; names && i < names->Count(); ++i) {
        block += folder;
        block += '\\';
        block += names->Strings(i);
        block += '\0';
    }
    block += '\0';
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fNC = TRUE;
    header.fWide = FALSE;
    std::memcpy(block.data(), &header, sizeof header);
    if (block.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
    return DuplicateData(block.data(), static_cast<int>(block.size()));
}

HGLOBAL GetDropFiles(Fw::TStrings* names, const Fw::AnsiString& folder) {
    return GetDropFiles(folder, names);
}

LPITEMIDLIST GetFileItemID(IShellFolder* folder, const Fw::AnsiString& path) {
    std::wstring wide = Fw::AnsiToWide(path);
    ULONG eaten = 0;
    ULONG attributes = 0;
    LPITEMIDLIST pidl = nullptr;
    HRESULT result =
        folder ? folder->ParseDisplayName(nullptr, nullptr, wide.data(), &eaten, &pidl, &attributes) : E_POINTER;
    if (FAILED(result)) throw Fw::Exception("パス \"" + path + "\" は無効です.");
    return pidl;
}

IShellFolder* GetShellFolder(const Fw::AnsiString& path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        throw Fw::Exception("パス " + path + " は存在しません.");
    Fw::TComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.Out())) || !desktop) return nullptr;
    LPITEMIDLIST pidl = GetFileItemID(desktop.Get(), path);
    Fw::TComPtr<IShellFolder> folder;
    HRESULT result = desktop->BindToObject(pidl, nullptr, IID_IShellFolder, folder.OutVoid());
    FreeItemID(pidl);
    return SUCCEEDED(result) ? folder.Detach() : nullptr;
}

IDataObject* GetFileDataObject(HWND window, const Fw::AnsiString& folder, Fw::TStrings* names) {
    if (!names || names->Count() < 1 || names->Count() > 1024) return nullptr;
    auto shellFolder = Fw::TComPtr<IShellFolder>::Adopt(GetShellFolder(folder));
    if (!shellFolder) return nullptr;
    Fw::TComPtr<IMalloc> malloc;
    if (FAILED(SHGetMalloc(malloc.Out())) || !malloc) return nullptr;
    // Freed on every way out, a name that fails included.
    struct TItemIDs {
        IMalloc* Malloc;
        std::vector<LPCITEMIDLIST> List;
        ~TItemIDs() {
            for (LPCITEMIDLIST pidl : List) Malloc->Free(const_cast<LPITEMIDLIST>(pidl));
        }
    } pidls{malloc.Get(), {}};
    pidls.List.reserve(names->Count());
    for (int i = 0; i < names->Count(); ++i)
        pidls.List.push_back(GetFileItemID(shellFolder.Get(), names->Strings(i)));
    IDataObject* data = nullptr;
    shellFolder->GetUIObjectOf(window, static_cast<UINT>(pidls.List.size()),
                               pidls.List.data(), IID_IDataObject, nullptr,
                               reinterpret_cast<void**>(&data));
    return data;
}

IDataObject* GetFileDataObject(HWND window, Fw::TStrings* names, const Fw::AnsiString& folder) {
    return GetFileDataObject(window, folder, names);
}

IDataObject* GetFileDataObject(HWND window, const Fw::AnsiString& path) {
    Fw::TStringList names;
    names.Add(Fw::ExtractFileName(path));
    return GetFileDataObject(window, Fw::ExtractFileDir(path), &names);
}

}  // namespace Kit
