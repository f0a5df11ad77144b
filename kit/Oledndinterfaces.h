// OLE drag and drop, the common ground: clipboard formats by number and by
// name, drop effects in the system's bits and as the library's kinds, and
// the brokers - reference-counted COM objects for IDataObject, IDropSource
// and IDropTarget that hand every method beyond IUnknown to an assignable
// handler.
//
// A broker's handler receives the method's arguments in their order and,
// last, the HRESULT the method will answer; it arrives as E_NOTIMPL, so an
// unassigned slot, or a handler that leaves it alone, answers E_NOTIMPL.
// An exception that a handler lets escape never reaches the system that
// called the method: it goes to the application's exception handling and
// the method answers E_UNEXPECTED.
//
// Everything here runs on the thread that initialised OLE (the user-interface
// thread); reference counts are plain counters.
//
// The unit has no classes to register and nothing to start or end: its
// initialise and finalise steps are empty (see Units in framework/Object.h).
#pragma once

#include <windows.h>
#include <ole2.h>

#include "framework/Events.h"
#include "framework/Object.h"
#include "framework/SysUtils.h"
#include "framework/TypeInfo.h"

namespace Kit {

// ---- Drop effects ----

enum TDropEffectKind : unsigned char { ekNone, ekCopy, ekMove, ekLink };
FW_ENUM_INFO(TDropEffectKind, "ekNone", "ekCopy", "ekMove", "ekLink")
// Sets hold ekCopy, ekMove and ekLink (bits 1 to 3); ekNone is never a member.
using TDropEffectKinds = Fw::TSet<TDropEffectKind>;

// DROPEFFECT value of a kind: ekCopy 1, ekMove 2, ekLink 4, anything else 0.
DWORD GetDropEffectValue(TDropEffectKind kind);
// The kind of exactly 1, 2 or 4; ekNone for every other value, combinations
// of effects and DROPEFFECT_SCROLL included.
TDropEffectKind GetDropEffectKind(DWORD value);
// Between a set of kinds and a DROPEFFECT mask; other bits of a mask are
// ignored.
DWORD GetDropEffects(TDropEffectKinds kinds);
TDropEffectKinds GetDropEffects(DWORD mask);
// The effect the modifier keys of a drag (MK_ flags) ask for: Shift moves,
// Shift and Ctrl link, anything else copies.
TDropEffectKind GetStdDropEffect(DWORD keyState);

// ---- Clipboard format names ----

using TCFNameEvent = Fw::TEvent<const Fw::AnsiString&>;

// Every name the library knows: the 22 standard formats ("CF_BITMAP" ...
// "CF_WAVE", by name), then the 18 formats the shell and OLE register by
// name ("Shell IDList Array" ... "Link Source Descriptor").
void GetCFNames(const TCFNameEvent& callback);
// The standard format's constant name ("CF_HDROP" for 15), otherwise the name
// the format is registered under; "" when the system knows no name for it.
Fw::AnsiString GetCFName(WORD format);
// A standard constant name (exactly, letter case included) gives its value;
// any other name is registered with the system, which gives its number for
// it. 0 when the system refuses the name (an empty one).
WORD GetCFValue(const Fw::AnsiString& name);

// s without its blanks (0x20); tabs and other white space stay.
Fw::AnsiString GetPackedString(const Fw::AnsiString& s);
// No target device, the content aspect and index -1; format and medium
// types are not looked at. False for null.
bool IsNormalFormatEtc(const FORMATETC* format);

// ---- Brokers ----

// Handler shapes, by the methods they stand for.
using TGetDataHandler = Fw::TEvent<FORMATETC*, STGMEDIUM*, HRESULT&>;  // GetData, GetDataHere
using TQueryGetDataHandler = Fw::TEvent<FORMATETC*, HRESULT&>;
using TGetCanonicalFormatEtcHandler = Fw::TEvent<FORMATETC*, FORMATETC*, HRESULT&>;
// The release flag arrives as a bool: any non-zero BOOL is true.
using TSetDataHandler = Fw::TEvent<FORMATETC*, STGMEDIUM*, bool, HRESULT&>;
using TEnumFormatEtcHandler = Fw::TEvent<DWORD, IEnumFORMATETC**, HRESULT&>;
using TDAdviseHandler = Fw::TEvent<FORMATETC*, DWORD, IAdviseSink*, DWORD*, HRESULT&>;
using TDUnadviseHandler = Fw::TEvent<DWORD, HRESULT&>;
using TEnumDAdviseHandler = Fw::TEvent<IEnumSTATDATA**, HRESULT&>;
using TQueryContinueDragHandler = Fw::TEvent<bool, DWORD, HRESULT&>;
using TGiveFeedbackHandler = Fw::TEvent<DWORD, HRESULT&>;
// DragEnter and Drop. The effect is the caller's own variable; the point is
// in screen coordinates.
using TDragEnterHandler = Fw::TEvent<IDataObject*, DWORD, POINTL, DWORD&, HRESULT&>;
using TDragOverHandler = Fw::TEvent<DWORD, POINTL, DWORD&, HRESULT&>;
using TDragLeaveHandler = Fw::TEvent<HRESULT&>;

namespace Detail {

// The body of a COM method: an exception must not unwind into the system
// that called it. The application's exception handling reports it.
template <class Body>
HRESULT ComCall(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        Fw::HandleException(nullptr);
        return E_UNEXPECTED;
    }
}

// A broker method: the slot's handler, if any, decides the answer.
template <class Slot, class... Args>
HRESULT Dispatch(const Slot& slot, Args&&... args) noexcept {
    return ComCall([&] {
        HRESULT result = E_NOTIMPL;
        if (slot) slot(std::forward<Args>(args)..., result);
        return result;
    });
}

// IUnknown of one interface. A new object has a count of 1, its creator's.
// It is destroyed by the Release that takes the count to 0, or by Destroy;
// the destructor is not public, so `delete` cannot bypass Destroy's check.
template <class Interface, const IID& InterfaceId, bool RefusesDestroyInUse>
class TComObject : public Interface {
public:
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, InterfaceId) || IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefCount; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --FRefCount;
        if (count == 0) delete this;
        return count;
    }

    ULONG RefCount() const { return FRefCount; }

    // Destroys the object at once, as its creator's last act. Drop-source and
    // drop-target objects that someone else still holds (the count is above
    // 1: a registered target, a drag in progress) refuse with an Exception
    // and stay whole; data objects are destroyed whatever their count.
    void Destroy() {
        if constexpr (RefusesDestroyInUse) {
            if (FRefCount > 1) throw Fw::Exception("使用中のオブジェクトを破棄しようとしています.");
        }
        FRefCount = 0;
        delete this;
    }

protected:
    TComObject() { AddRef(); }
    virtual ~TComObject() = default;

private:
    ULONG FRefCount = 0;
};

}  // namespace Detail

class TDataObjectBroker : public Detail::TComObject<IDataObject, IID_IDataObject, false> {
public:
    static TDataObjectBroker* Create() { return new TDataObjectBroker; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* formatIn, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink,
                                      DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumerator) override;

    TGetDataHandler GetDataHandler;
    TGetDataHandler GetDataHereHandler;
    TQueryGetDataHandler QueryGetDataHandler;
    TGetCanonicalFormatEtcHandler GetCanonicalFormatEtcHandler;
    TSetDataHandler SetDataHandler;
    TEnumFormatEtcHandler EnumFormatEtcHandler;
    TDAdviseHandler DAdviseHandler;
    TDUnadviseHandler DUnadviseHandler;
    TEnumDAdviseHandler EnumDAdviseHandler;

protected:
    TDataObjectBroker() = default;
};

class TDropSourceBroker : public Detail::TComObject<IDropSource, IID_IDropSource, true> {
public:
    static TDropSourceBroker* Create() { return new TDropSourceBroker; }

    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

    TQueryContinueDragHandler QueryContinueDragHandler;
    TGiveFeedbackHandler GiveFeedbackHandler;

protected:
    TDropSourceBroker() = default;
};

class TDropTargetBroker : public Detail::TComObject<IDropTarget, IID_IDropTarget, true> {
public:
    static TDropTargetBroker* Create() { return new TDropTargetBroker; }

    // A null effect pointer is answered with E_INVALIDARG; the handler is
    // not called.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

    TDragEnterHandler DragEnterHandler;
    TDragOverHandler DragOverHandler;
    TDragLeaveHandler DragLeaveHandler;
    TDragEnterHandler DropHandler;

protected:
    TDropTargetBroker() = default;
};

// The unit's initialise and finalise steps.
FW_UNIT(Oledndinterfaces)

}  // namespace Kit
