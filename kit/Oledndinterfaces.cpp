#include "kit/Oledndinterfaces.h"

namespace Kit {

FW_UNIT_BEGIN(Oledndinterfaces)
FW_UNIT_END

namespace {

struct TStdFormat {
    WORD Value;
    const char* Name;
};

// Ascending by name. 17 has no name of its own.
const TStdFormat kStdFormats[] = {
    {CF_BITMAP, "CF_BITMAP"},
    {CF_DIB, "CF_DIB"},
    {CF_DIF, "CF_DIF"},
    {CF_DSPBITMAP, "CF_DSPBITMAP"},
    {CF_DSPENHMETAFILE, "CF_DSPENHMETAFILE"},
    {CF_DSPMETAFILEPICT, "CF_DSPMETAFILEPICT"},
    {CF_DSPTEXT, "CF_DSPTEXT"},
    {CF_ENHMETAFILE, "CF_ENHMETAFILE"},
    {CF_HDROP, "CF_HDROP"},
    {CF_LOCALE, "CF_LOCALE"},
    {18, "CF_MAX"},
    {CF_METAFILEPICT, "CF_METAFILEPICT"},
    {CF_OEMTEXT, "CF_OEMTEXT"},
    {CF_OWNERDISPLAY, "CF_OWNERDISPLAY"},
    {CF_PALETTE, "CF_PALETTE"},
    {CF_PENDATA, "CF_PENDATA"},
    {CF_RIFF, "CF_RIFF"},
    {CF_SYLK, "CF_SYLK"},
    {CF_TEXT, "CF_TEXT"},
    {CF_TIFF, "CF_TIFF"},
    {CF_UNICODETEXT, "CF_UNICODETEXT"},
    {CF_WAVE, "CF_WAVE"},
};

const char* const kShellFormats[] = {
    "Shell IDList Array", "Shell Object Offsets", "Net Resource", "FileGroupDescriptor",
    "FileGroupDescriptorW", "FileContents", "FileName", "FileNameW", "PrinterFriendlyName",
    "FileNameMap", "FileNameMapW", "UniformResourceLocator", "Rich Text Format", "Embed Source",
    "Embedded Object", "Link Source", "Object Descriptor", "Link Source Descriptor",
};

}  // namespace

// ---- Drop effects ----

DWORD GetDropEffectValue(TDropEffectKind kind) {
    switch (kind) {
        case ekCopy: return DROPEFFECT_COPY;
        case ekMove: return DROPEFFECT_MOVE;
        case ekLink: return DROPEFFECT_LINK;
        default: return DROPEFFECT_NONE;
    }
}

TDropEffectKind GetDropEffectKind(DWORD value) {
    switch (value) {
        case DROPEFFECT_COPY: return ekCopy;
        case DROPEFFECT_MOVE: return ekMove;
        case DROPEFFECT_LINK: return ekLink;
        default: return ekNone;
    }
}

DWORD GetDropEffects(TDropEffectKinds kinds) {
    DWORD mask = 0;
    for (TDropEffectKind kind : {ekCopy, ekMove, ekLink})
        if (kinds.Contains(kind)) mask |= GetDropEffectValue(kind);
    return mask;
}

TDropEffectKinds GetDropEffects(DWORD mask) {
    TDropEffectKinds kinds;
    for (TDropEffectKind kind : {ekCopy, ekMove, ekLink})
        if (mask & GetDropEffectValue(kind)) kinds << kind;
    return kinds;
}

TDropEffectKind GetStdDropEffect(DWORD keyState) {
    if (keyState & MK_SHIFT) return (keyState & MK_CONTROL) ? ekLink : ekMove;
    return ekCopy;
}

// ---- Clipboard format names ----

void GetCFNames(const TCFNameEvent& callback) {
    if (!callback) return;
    for (const TStdFormat& format : kStdFormats) callback(format.Name);
    for (const char* name : kShellFormats) callback(name);
}

Fw::AnsiString GetCFName(WORD format) {
    for (const TStdFormat& std : kStdFormats)
        if (std.Value == format) return std.Name;
    // Registered names are atoms, of at most 255 characters: this buffer
    // holds any of them whole.
    char name[256];
    int length = GetClipboardFormatNameA(format, name, sizeof name);
    return length > 0 ? Fw::AnsiString(name, length) : Fw::AnsiString();
}

WORD GetCFValue(const Fw::AnsiString& name) {
    if (name.compare(0, 3, "CF_") == 0) {
        for (const TStdFormat& std : kStdFormats)
            if (name == std.Name) return std.Value;
    }
    return static_cast<WORD>(RegisterClipboardFormatA(name.c_str()));
}

Fw::AnsiString GetPackedString(const Fw::AnsiString& s) {
    Fw::AnsiString packed;
    packed.reserve(s.size());
    for (char c : s)
        if (c != ' ') packed += c;
    return packed;
}

bool IsNormalFormatEtc(const FORMATETC* format) {
    return format && !format->ptd && format->dwAspect == DVASPECT_CONTENT && format->lindex == -1;
}

// ---- Brokers ----

HRESULT TDataObjectBroker::GetData(FORMATETC* formatIn, STGMEDIUM* medium) {
    return Detail::Dispatch(GetDataHandler, formatIn, medium);
}

HRESULT TDataObjectBroker::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
    return Detail::Dispatch(GetDataHereHandler, format, medium);
}

HRESULT TDataObjectBroker::QueryGetData(FORMATETC* format) {
    return Detail::Dispatch(QueryGetDataHandler, format);
}

HRESULT TDataObjectBroker::GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) {
    return Detail::Dispatch(GetCanonicalFormatEtcHandler, formatIn, formatOut);
}

HRESULT TDataObjectBroker::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    return Detail::Dispatch(SetDataHandler, format, medium, release != FALSE);
}

HRESULT TDataObjectBroker::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) {
    return Detail::Dispatch(EnumFormatEtcHandler, direction, enumerator);
}

HRESULT TDataObjectBroker::DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) {
    return Detail::Dispatch(DAdviseHandler, format, advf, sink, connection);
}

HRESULT TDataObjectBroker::DUnadvise(DWORD connection) {
    return Detail::Dispatch(DUnadviseHandler, connection);
}

HRESULT TDataObjectBroker::EnumDAdvise(IEnumSTATDATA** enumerator) {
    return Detail::Dispatch(EnumDAdviseHandler, enumerator);
}

HRESULT TDropSourceBroker::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
    return Detail::Dispatch(QueryContinueDragHandler, escapePressed != FALSE, keyState);
}

HRESULT TDropSourceBroker::GiveFeedback(DWORD effect) {
    return Detail::Dispatch(GiveFeedbackHandler, effect);
}

HRESULT TDropTargetBroker::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    return Detail::Dispatch(DragEnterHandler, data, keyState, point, *effect);
}

HRESULT TDropTargetBroker::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    return Detail::Dispatch(DragOverHandler, keyState, point, *effect);
}

HRESULT TDropTargetBroker::DragLeave() {
    return Detail::Dispatch(DragLeaveHandler);
}

HRESULT TDropTargetBroker::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    return Detail::Dispatch(DropHandler, data, keyState, point, *effect);
}

}  // namespace Kit
