// OLE drag and drop, the working parts: the implementations behind the
// brokers, two ready-made data objects (a file list and a text), copies of
// data into shareable global memory, a reader of data objects, and data
// objects for files on disk - the CF_HDROP block of our own and the shell's
// own data object.
//
// An implementation runs its broker's method first, so an assigned handler
// has the first word: whatever it answers other than E_NOTIMPL is the
// answer. Only on E_NOTIMPL does the implementation's own behaviour follow.
//
// The unit has no classes to register and nothing to start or end: its
// initialise and finalise steps are empty (see Units in framework/Object.h).
// The URL moniker library, loaded when the first format enumerator is made,
// stays loaded while the program runs: the enumerators run its code.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <memory>

#include "framework/ComObj.h"
#include "framework/Graphics.h"
#include "framework/StringList.h"
#include "kit/Oledndinterfaces.h"

namespace Kit {

// ---- Global memory ----

// A new moveable, zero-filled, shareable block (GMEM_MOVEABLE | GMEM_ZEROINIT
// | GMEM_DDESHARE) holding a copy of size bytes from data; the caller owns
// it. Null when the block cannot be allocated, size is negative, or data is
// null while size is not 0.
HGLOBAL DuplicateData(const void* data, int size);
// The same for the whole of an existing block; null for a null block or one
// that cannot be locked.
HGLOBAL DuplicateData(HGLOBAL block);

// ---- Implementations ----

// A data object holding one rendering: SetData stores it (each time
// replacing the one before), GetData hands it out. A global block is handed
// out as a fresh copy each time and stays; any other medium is handed over
// once, and the object is empty afterwards.
class TDataObjectImpl : public TDataObjectBroker {
public:
    static TDataObjectImpl* Create() { return new TDataObjectImpl; }

    // The stored rendering's FORMATETC, all five fields, must equal formatIn;
    // otherwise E_NOTIMPL. A copy that cannot be made: E_OUTOFMEMORY.
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* formatIn, STGMEDIUM* medium) override;
    // E_NOTIMPL while empty; S_OK for the stored FORMATETC, S_FALSE otherwise.
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    // formatIn without its target device; DATA_S_SAMEFORMATETC.
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) override;
    // release true: the object takes medium over as it is. release false:
    // only a global block is accepted (else E_NOTIMPL), and the object keeps
    // a copy of its own (E_OUTOFMEMORY, and the earlier rendering stays, when
    // none can be made).
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    // DATADIR_GET: the system's enumerator over the stored FORMATETC. Other
    // directions, and a system without the enumerator factory: E_NOTIMPL and
    // a null enumerator.
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;

    // Stores handle, a medium of the given type, for format (with no target
    // device, the content aspect and index -1) through the object's own
    // SetData with release true, and answers its result. The object owns
    // handle in any case: when the rendering is refused it is released.
    HRESULT SetData(int format, void* handle, TYMED type);

    const FORMATETC& StoredFormatEtc() const { return FStoredFormatEtc; }
    const STGMEDIUM& StoredMedium() const { return FStoredMedium; }

protected:
    TDataObjectImpl() = default;
    ~TDataObjectImpl() override;

private:
    FORMATETC FStoredFormatEtc{};
    STGMEDIUM FStoredMedium{};
};

// A drop source that goes on while one of the left and right buttons is
// down, drops when both are up and cancels on escape or both buttons down;
// the cursors are the system's.
class TDropSourceImpl : public TDropSourceBroker {
public:
    static TDropSourceImpl* Create() { return new TDropSourceImpl; }

    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

protected:
    TDropSourceImpl() = default;
};

// A drop target that holds the data object of the drag in progress (for
// DragOver, whose call carries none) and remembers the effect settled by the
// last DragEnter or DragOver. A handler's E_NOTIMPL is answered with S_OK; a
// Drop without a handler accepts nothing (DROPEFFECT_NONE).
class TDropTargetImpl : public TDropTargetBroker {
public:
    static TDropTargetImpl* Create() { return new TDropTargetImpl; }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

    DWORD LastEffect() const { return FLastEffect; }
    // Null when no drag is in progress.
    IDataObject* HeldDataObject() const { return FHeldDataObject.Get(); }

protected:
    TDropTargetImpl() = default;

private:
    DWORD FLastEffect = 0;
    Fw::TComPtr<IDataObject> FHeldDataObject;
};

// Files as CF_HDROP: set Directory, then SetFiles with names relative to it.
class TDOFileList : public TDataObjectImpl {
public:
    static TDOFileList* Create() { return new TDOFileList; }

    Fw::AnsiString Directory;

    // The object's own list; it stays the object's.
    Fw::TStringList* GetFiles() const { return FFiles.get(); }
    // The list takes a copy of files (null: no files), and the object stores
    // their CF_HDROP block. Raises std::bad_alloc, changing nothing, when the
    // block cannot be allocated.
    void SetFiles(Fw::TStrings* files);

protected:
    TDOFileList();
    ~TDOFileList() override;

private:
    std::unique_ptr<Fw::TStringList> FFiles;
};

// A text as CF_TEXT.
class TDOText : public TDataObjectImpl {
public:
    static TDOText* Create() { return new TDOText; }

    const Fw::AnsiString& Text() const { return FText; }
    // Stores the characters and their terminating zero. Raises
    // std::bad_alloc, changing nothing, when the block cannot be allocated.
    void SetText(const Fw::AnsiString& s);

protected:
    TDOText() = default;

private:
    Fw::AnsiString FText;
};

// ---- Data object reader ----

using TFormatEtcEvent = Fw::TEvent<const FORMATETC&>;

// Reads the common renderings of a data object. It holds a reference to the
// object and at most one rendering, the last one read: each read releases
// the one before, and so does ReleaseStgMedium and the reader's end. Reads
// raise nothing of their own; a format that is not on offer, a refused
// request or a reader without a data object gives false, null, "" or leaves
// the argument untouched.
class TDataObjectReader {
public:
    explicit TDataObjectReader(IDataObject* data = nullptr);
    ~TDataObjectReader();
    TDataObjectReader(const TDataObjectReader&) = delete;
    TDataObjectReader& operator=(const TDataObjectReader&) = delete;

    IDataObject* DataObject() const { return FDataObject.Get(); }
    // Holds data (may be null) instead of the object before.
    void SetInterface(IDataObject* data);

    // Offered on a global memory block; other media do not count.
    bool HasFormat(WORD format);
    // The offered formats, in the object's order, at most the first 100.
    void GetFormats(const TFormatEtcEvent& callback);
    // The handle of the rendering of format on medium type (a TYMED value),
    // or null. It stays valid until the next read, ReleaseStgMedium or the
    // reader's end.
    void* GetAsHandle(WORD format, DWORD type);
    void ReleaseStgMedium();

    // CF_TEXT up to its terminating zero, never past the block's end.
    Fw::AnsiString GetText();
    // Appends the names of a CF_HDROP rendering to list, each whole.
    void GetFileList(Fw::TStrings* list);
    // A CF_BITMAP rendering; the bitmap owns it from then on.
    void GetBitmap(Fw::TBitmap* bitmap);

    const STGMEDIUM& Medium() const { return FMedium; }
    bool MediumHeld() const { return FMediumHeld; }

private:
    Fw::TComPtr<IDataObject> FDataObject;
    STGMEDIUM FMedium{};
    bool FMediumHeld = false;
};

// ---- Files on disk ----

// A CF_HDROP block (ANSI names, each folder + '\' + name) for the names in
// list order; the caller owns it. Null when it cannot be allocated.
HGLOBAL GetDropFiles(const Fw::AnsiString& folder, Fw::TStrings* names);
HGLOBAL GetDropFiles(Fw::TStrings* names, const Fw::AnsiString& folder);

// The shell folder of path (the caller releases it), or null when the shell
// cannot bind path as a folder (an ordinary file). Raises Exception when
// path does not exist or the shell cannot parse it.
IShellFolder* GetShellFolder(const Fw::AnsiString& path);
// path's item identifier list relative to folder; the caller frees it with
// the shell's allocator. Raises Exception when the shell cannot parse path.
LPITEMIDLIST GetFileItemID(IShellFolder* folder, const Fw::AnsiString& path);

// The shell's own data object for files (the caller releases it), as the
// Explorer would drag them; window owns any user interface the shell shows.
// Null for no names or more than 1024, or when the shell gives none. Raises
// Exception when the folder does not exist or a name cannot be parsed.
IDataObject* GetFileDataObject(HWND window, const Fw::AnsiString& path);
IDataObject* GetFileDataObject(HWND window, const Fw::AnsiString& folder, Fw::TStrings* names);
IDataObject* GetFileDataObject(HWND window, Fw::TStrings* names, const Fw::AnsiString& folder);

// The unit's initialise and finalise steps.
FW_UNIT(Oledndimpl)

}  // namespace Kit
