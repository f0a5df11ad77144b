// The COM objects: brokers and their handler slots, the implementations'
// own behaviour, the ready-made data objects and the copies of global
// memory - called directly and through the system's OLE.
#include <gtest/gtest.h>

#include "tests/kit/olednd_support.h"

using namespace Kit;
using namespace OleTest;

namespace {

// Handlers for the broker slots; each records what it was given.
struct THandlers {
    TDropTargetImpl* Target = nullptr;
    FORMATETC* Format = nullptr;
    bool Released = false;
    POINTL Point{};
    IDataObject* Held = nullptr;
    ULONG CountInside = 0;

    void GetData(FORMATETC* format, STGMEDIUM*, HRESULT& result) { Format = format, result = DV_E_FORMATETC; }
    void SetData(FORMATETC*, STGMEDIUM*, bool release, HRESULT&) { Released = release; }
    void DragOver(DWORD, POINTL point, DWORD& effect, HRESULT& result) {
        Point = point, effect = DROPEFFECT_LINK, result = S_FALSE;
    }
    void Leave(HRESULT&) { throw Fw::Exception("ハンドラが失敗しました."); }
    void Feedback(DWORD, HRESULT&) { throw 42; }
    void Drop(IDataObject* data, DWORD, POINTL, DWORD& effect, HRESULT& result) {
        Held = Target->HeldDataObject();
        CountInside = static_cast<TDataObjectImpl*>(data)->RefCount();
        effect = DROPEFFECT_MOVE, result = S_OK;
    }
};

}  // namespace

TEST_F(TOleTest, BrokersAnswerNotImplementedUntilAHandlerAnswers) {
    TDataObjectBroker* data = TDataObjectBroker::Create();
    TDropSourceBroker* source = TDropSourceBroker::Create();
    TDropTargetBroker* target = TDropTargetBroker::Create();
    FORMATETC fe = Format(CF_TEXT), out{};
    STGMEDIUM medium{};
    IEnumFORMATETC* formats = nullptr;
    IEnumSTATDATA* advises = nullptr;
    DWORD connection = 0, effect = DROPEFFECT_COPY;
    for (HRESULT r : {data->GetData(&fe, &medium), data->GetDataHere(&fe, &medium), data->QueryGetData(&fe),
                      data->GetCanonicalFormatEtc(&fe, &out), data->SetData(&fe, &medium, TRUE),
                      data->EnumFormatEtc(DATADIR_GET, &formats), data->DAdvise(&fe, 0, nullptr, &connection),
                      data->DUnadvise(1), data->EnumDAdvise(&advises), source->QueryContinueDrag(FALSE, 0),
                      source->GiveFeedback(0), target->DragEnter(data, 0, {}, &effect),
                      target->DragOver(0, {}, &effect), target->DragLeave(), target->Drop(data, 0, {}, &effect)})
        EXPECT_EQ(r, E_NOTIMPL);
    EXPECT_EQ(data->RefCount(), 1u);  // a broker keeps no data object

    // Handlers get the arguments, answer through the result and may change
    // the effect; the release flag is a bool whatever BOOL it was.
    THandlers h;
    data->GetDataHandler = Fw::MakeEvent<&THandlers::GetData>(&h);
    data->SetDataHandler = Fw::MakeEvent<&THandlers::SetData>(&h);
    target->DragOverHandler = Fw::MakeEvent<&THandlers::DragOver>(&h);
    EXPECT_EQ(data->GetData(&fe, &medium), DV_E_FORMATETC);
    EXPECT_EQ(h.Format, &fe);
    EXPECT_EQ(data->SetData(&fe, &medium, 2), E_NOTIMPL);
    EXPECT_TRUE(h.Released);
    EXPECT_EQ(target->DragOver(0, {-5, 7}, &effect), S_FALSE);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_LINK));
    EXPECT_EQ(h.Point.x + h.Point.y, 2);
    EXPECT_EQ(target->DragOver(0, {}, nullptr), E_INVALIDARG);

    // An exception never reaches the system: the application reports it and
    // the method answers E_UNEXPECTED.
    {
        TReports reports;
        target->DragLeaveHandler = Fw::MakeEvent<&THandlers::Leave>(&h);
        source->GiveFeedbackHandler = Fw::MakeEvent<&THandlers::Feedback>(&h);
        EXPECT_EQ(target->DragLeave(), E_UNEXPECTED);
        EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), E_UNEXPECTED);
        ASSERT_EQ(reports.Messages.size(), 2u);
        EXPECT_EQ(reports.Messages[0], "ハンドラが失敗しました.");
    }

    // QueryInterface: the interface itself and IUnknown, nothing else.
    void* p = &p;
    EXPECT_EQ(target->QueryInterface(IID_IDataObject, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(target->QueryInterface(IID_IDropTarget, &p), S_OK);
    EXPECT_EQ(p, static_cast<IDropTarget*>(target));
    EXPECT_EQ(source->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(target->Release(), 1u);
    EXPECT_EQ(source->Release(), 1u);
    for (IUnknown* object : std::initializer_list<IUnknown*>{data, source, target}) EXPECT_EQ(object->Release(), 0u);
}

TEST_F(TOleTest, DestroyingADropObjectStillInUseIsRefused) {
    // A registered drop target is held by the system.
    HWND window = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    TDropTargetImpl* target = TDropTargetImpl::Create();
    ASSERT_EQ(RegisterDragDrop(window, target), S_OK);
    EXPECT_GT(target->RefCount(), 1u);
    try {
        target->Destroy();
        ADD_FAILURE() << "no exception";
    } catch (const Fw::Exception& e) {
        EXPECT_EQ(e.Message(), "使用中のオブジェクトを破棄しようとしています.");
    }
    EXPECT_EQ(RevokeDragDrop(window), S_OK);
    EXPECT_EQ(target->RefCount(), 1u);
    target->Destroy();
    DestroyWindow(window);

    TDropSourceImpl* source = TDropSourceImpl::Create();
    source->AddRef();
    EXPECT_THROW(source->Destroy(), Fw::Exception);
    EXPECT_EQ(source->Release(), 1u);
    source->Destroy();
    TDataObjectImpl* data = TDataObjectImpl::Create();  // makes no such check
    data->AddRef();
    data->Destroy();
}

TEST_F(TOleTest, ADataObjectKeepsOneRendering) {
    TDataObjectImpl* data = TDataObjectImpl::Create();
    FORMATETC text = Format(CF_TEXT), either = Format(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM);
    EXPECT_EQ(data->QueryGetData(&text), E_NOTIMPL);  // nothing stored

    // A global block is handed out as a new copy each time, and stays.
    HGLOBAL original = Block("hello");
    ASSERT_EQ(data->SetData(CF_TEXT, original, TYMED_HGLOBAL), S_OK);
    STGMEDIUM copies[2]{}, medium{};
    for (STGMEDIUM& copy : copies) {
        ASSERT_EQ(data->GetData(&text, &copy), S_OK);
        EXPECT_EQ(Bytes(copy.hGlobal), "hello");
        EXPECT_NE(copy.hGlobal, original);
    }
    EXPECT_NE(copies[0].hGlobal, copies[1].hGlobal);
    for (STGMEDIUM& copy : copies) ReleaseStgMedium(&copy);
    // All five fields must match, the medium type as a value.
    EXPECT_EQ(data->GetData(&either, &medium), E_NOTIMPL);
    EXPECT_EQ(data->QueryGetData(&either), S_FALSE);
    EXPECT_EQ(data->QueryGetData(&text), S_OK);

    // Without release: a copy of the object's own; the caller's block, and
    // the object that answers for it, are left alone.
    TCountedUnknown owner;
    HGLOBAL callers = Block("mine");
    STGMEDIUM offered{TYMED_HGLOBAL, {.hGlobal = callers}, &owner};
    ASSERT_EQ(data->SetData(&text, &offered, FALSE), S_OK);
    EXPECT_NE(data->StoredMedium().hGlobal, callers);
    EXPECT_EQ(data->StoredMedium().pUnkForRelease, nullptr);
    GlobalFree(callers);
    // Only a global block can be copied; the earlier rendering stays.
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    STGMEDIUM onStream{TYMED_ISTREAM, {.pstm = stream}, nullptr};
    FORMATETC streamFormat = Format(CF_TEXT, TYMED_ISTREAM);
    EXPECT_EQ(data->SetData(&streamFormat, &onStream, FALSE), E_NOTIMPL);
    ASSERT_EQ(data->GetData(&text, &medium), S_OK);
    EXPECT_EQ(Bytes(medium.hGlobal), "mine");
    ReleaseStgMedium(&medium);

    // Any other medium is handed over once: then the object is empty.
    ASSERT_EQ(data->SetData(&streamFormat, &onStream, TRUE), S_OK);
    EXPECT_EQ(data->QueryGetData(&text), S_FALSE);
    ASSERT_EQ(data->GetData(&streamFormat, &medium), S_OK);
    EXPECT_EQ(medium.pstm, stream);
    ASSERT_EQ(data->GetData(&streamFormat, &medium), S_OK);
    EXPECT_EQ(medium.tymed, DWORD(TYMED_NULL));
    EXPECT_EQ(data->QueryGetData(&streamFormat), E_NOTIMPL);
    EXPECT_EQ(stream->Release(), 0u);

    // With release a medium is taken as it is, release object and all, and
    // released once when the object goes. A medium without a handle is refused.
    HGLOBAL owned = Block("theirs");
    offered.hGlobal = owned;
    ASSERT_EQ(data->SetData(&text, &offered, TRUE), S_OK);
    EXPECT_EQ(data->SetData(CF_TEXT, nullptr, TYMED_HGLOBAL), E_INVALIDARG);
    DVTARGETDEVICE device{};
    FORMATETC withDevice{CF_TEXT, &device, DVASPECT_ICON, 3, TYMED_GDI}, canonical{};
    EXPECT_EQ(data->GetCanonicalFormatEtc(&withDevice, &canonical), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(canonical.ptd, nullptr);
    EXPECT_EQ(canonical.lindex, 3);
    EXPECT_EQ(owner.Count, 1u);
    EXPECT_EQ(data->Release(), 0u);
    EXPECT_EQ(owner.Count, 0u);
    GlobalFree(owned);
}

TEST_F(TOleTest, FormatEnumeratorOfTheStoredRendering) {
    TDataObjectImpl* data = TDataObjectImpl::Create();
    IEnumFORMATETC* formats = reinterpret_cast<IEnumFORMATETC*>(&formats);
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &formats), E_NOTIMPL);
    EXPECT_EQ(formats, nullptr);
    // The system's enumerator over one FORMATETC, all zero while empty.
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    FORMATETC fetched[4];
    std::memset(fetched, 0xAB, sizeof fetched);
    ULONG count = 0;
    formats->Next(4, fetched, &count);
    ASSERT_EQ(count, 1u);
    const FORMATETC zero{};
    EXPECT_EQ(std::memcmp(&fetched[0], &zero, sizeof zero), 0);
    EXPECT_EQ(formats->Release(), 0u);
    EXPECT_EQ(data->Release(), 0u);
}

TEST_F(TOleTest, OutOfMemoryIsAnsweredAndNothingIsCopiedIntoANullBlock) {
    const char bytes[] = "abc\0def";
    HGLOBAL copy = DuplicateData(bytes, sizeof bytes), again = DuplicateData(copy);
    EXPECT_EQ(Bytes(again), std::string(bytes, sizeof bytes));
    EXPECT_NE(again, copy);
    GlobalFree(copy);
    GlobalFree(again);
    EXPECT_EQ(DuplicateData(bytes, -1), nullptr);
    EXPECT_EQ(DuplicateData(nullptr, 4), nullptr);
    EXPECT_EQ(DuplicateData(nullptr), nullptr);

    // Wine keeps a record of every page reserved: filling 128 TB would take
    // more memory than the machine has.
    if (sizeof(void*) == 8) GTEST_SKIP() << "a 64-bit address space cannot be filled under Wine";
    const SIZE_T big = 32u << 20;
    TDataObjectImpl* data = TDataObjectImpl::Create();
    HGLOBAL stored = GlobalAlloc(GMEM_MOVEABLE, big), callers = GlobalAlloc(GMEM_MOVEABLE, big);
    ASSERT_EQ(data->SetData(CF_TEXT, stored, TYMED_HGLOBAL), S_OK);
    FORMATETC text = Format(CF_TEXT), other = Format(CF_OEMTEXT);
    STGMEDIUM medium{}, offered{TYMED_HGLOBAL, {.hGlobal = callers}, nullptr};
    HRESULT got, set;
    // Reserve (never commit) the whole free address space for a moment.
    std::vector<void*> regions;
    for (SIZE_T size = SIZE_T(1) << 30; size >= (1u << 20); size /= 2)
        while (void* region = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) regions.push_back(region);
    copy = DuplicateData(stored);
    got = data->GetData(&text, &medium);
    set = data->SetData(&other, &offered, FALSE);
    for (void* region : regions) VirtualFree(region, 0, MEM_RELEASE);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(got, E_OUTOFMEMORY);
    EXPECT_EQ(set, E_OUTOFMEMORY);
    EXPECT_EQ(data->QueryGetData(&text), S_OK);      // the earlier rendering stays
    ASSERT_EQ(data->GetData(&text, &medium), S_OK);  // and is copied once there is room
    ReleaseStgMedium(&medium);
    GlobalFree(callers);
    EXPECT_EQ(data->Release(), 0u);
}

TEST_F(TOleTest, DropSourceAndDropTargetDefaults) {
    TDropSourceImpl* source = TDropSourceImpl::Create();
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON | MK_SHIFT), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_MBUTTON), DRAGDROP_S_DROP);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    EXPECT_EQ(source->Release(), 0u);

    // The target holds a drag's data once, from enter to leave or drop.
    TDropTargetImpl* target = TDropTargetImpl::Create();
    TDOText* data = TDOText::Create();
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data, 0, {}, &effect), S_OK);
    EXPECT_EQ(target->DragEnter(data, 0, {}, &effect), S_OK);
    EXPECT_EQ(target->LastEffect(), DWORD(DROPEFFECT_COPY | DROPEFFECT_MOVE));  // all offered accepted
    EXPECT_EQ(target->HeldDataObject(), data);
    EXPECT_EQ(data->RefCount(), 2u);
    EXPECT_EQ(target->DragLeave(), S_OK);
    EXPECT_EQ(target->HeldDataObject(), nullptr);
    EXPECT_EQ(target->LastEffect(), 0u);
    EXPECT_EQ(data->RefCount(), 1u);
    // Without a handler a drop accepts nothing.
    target->DragEnter(data, 0, {}, &effect);
    EXPECT_EQ(target->Drop(data, 0, {}, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(data->RefCount(), 1u);

    // A handler sees the data held, without a reference of the target's own;
    // the effect settled last stays.
    THandlers h{target};
    target->DragOverHandler = Fw::MakeEvent<&THandlers::DragOver>(&h);
    target->DropHandler = Fw::MakeEvent<&THandlers::Drop>(&h);
    target->DragEnter(data, 0, {}, &effect);
    EXPECT_EQ(target->DragOver(0, {}, &effect), S_FALSE);
    EXPECT_EQ(target->Drop(data, 0, {}, &effect), S_OK);
    EXPECT_EQ(h.Held, data);
    EXPECT_EQ(h.CountInside, 1u);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
    EXPECT_EQ(target->LastEffect(), DWORD(DROPEFFECT_LINK));
    EXPECT_EQ(data->RefCount(), 1u);
    target->DragEnter(data, 0, {}, &effect);
    EXPECT_EQ(target->Release(), 0u);  // and lets go of a drag's data when it goes
    EXPECT_EQ(data->Release(), 0u);
}

TEST_F(TOleTest, ReadyMadeDataObjectsThroughTheSystemClipboard) {
    TDOFileList* files = TDOFileList::Create();
    files->Directory = "C:\\dir";
    Fw::TStringList names;
    names.Add("a.txt");
    names.Add("b.txt");
    files->SetFiles(&names);
    names.Clear();
    files->SetFiles(files->GetFiles());  // its own copy
    FORMATETC hdrop = Format(CF_HDROP);
    STGMEDIUM medium{};
    ASSERT_EQ(files->GetData(&hdrop, &medium), S_OK);
    HGLOBAL expected = GetDropFiles("C:\\dir", files->GetFiles());
    EXPECT_EQ(Bytes(medium.hGlobal), Bytes(expected));
    GlobalFree(expected);
    ReleaseStgMedium(&medium);
    EXPECT_EQ(files->Release(), 0u);

    TDOText* data = TDOText::Create();
    data->SetText("");
    EXPECT_EQ(Bytes(data->StoredMedium().hGlobal), std::string(1, '\0'));
    // The system takes the object, renders it for others and gives it back.
    data->SetText("クリップボードの文字列");
    ASSERT_EQ(OleSetClipboard(data), S_OK);
    EXPECT_GT(data->RefCount(), 1u);
    IDataObject* clipboard = nullptr;
    ASSERT_EQ(OleGetClipboard(&clipboard), S_OK);
    TCollect collect;
    {
        TDataObjectReader reader(clipboard);
        EXPECT_EQ(reader.GetText(), "クリップボードの文字列");
        TDataObjectReader(data).GetFormats(Fw::MakeEvent<&TCollect::Format>(&collect));
    }
    EXPECT_EQ(collect.Formats, std::vector<WORD>{CF_TEXT});
    clipboard->Release();
    ASSERT_EQ(OleSetClipboard(nullptr), S_OK);
    EXPECT_EQ(data->Release(), 0u);
}
