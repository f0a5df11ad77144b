// Reading data objects: formats, text, file lists and bitmaps, and the one
// rendering a reader holds.
#include <gtest/gtest.h>

#include "tests/kit/olednd_support.h"

using namespace Kit;
using namespace OleTest;

namespace {

// A data object handing out renderings of the test's, each with a release
// object that counts; it refuses to enumerate its formats.
struct TServer {
    TDataObjectBroker* Object = TDataObjectBroker::Create();
    TCountedUnknown Owner;
    HGLOBAL Text = nullptr;
    HBITMAP Bitmap = nullptr;

    TServer() {
        Object->GetDataHandler = Fw::MakeEvent<&TServer::GetData>(this);
        Object->EnumFormatEtcHandler = Fw::MakeEvent<&TServer::Refuse>(this);
    }
    ~TServer() { EXPECT_EQ(Object->Release(), 0u); }
    void GetData(FORMATETC* format, STGMEDIUM* medium, HRESULT& result) {
        void* handle = format->cfFormat == CF_TEXT ? static_cast<void*>(Text) : Bitmap;
        if (!handle) return;
        *medium = STGMEDIUM{format->cfFormat == CF_TEXT ? DWORD(TYMED_HGLOBAL) : DWORD(TYMED_GDI), {}, &Owner};
        medium->hGlobal = handle;
        Owner.AddRef();
        result = S_OK;
    }
    void Refuse(DWORD, IEnumFORMATETC**, HRESULT& result) { result = E_FAIL; }
};

}  // namespace

TEST_F(TOleTest, AReaderWithoutADataObjectReadsNothing) {
    TDataObjectReader reader;
    Fw::TStringList list;
    list.Add("kept");
    Fw::TBitmap bitmap(3, 3);
    HBITMAP before = bitmap.Handle();
    TCollect collect;
    EXPECT_FALSE(reader.HasFormat(CF_TEXT));
    EXPECT_EQ(reader.GetAsHandle(CF_TEXT, TYMED_HGLOBAL), nullptr);
    EXPECT_EQ(reader.GetText(), "");
    reader.GetFileList(&list);
    reader.GetBitmap(&bitmap);
    reader.GetFormats(Fw::MakeEvent<&TCollect::Format>(&collect));
    reader.ReleaseStgMedium();
    EXPECT_EQ(list.Text(), "kept\r\n");
    EXPECT_EQ(bitmap.Handle(), before);
    EXPECT_TRUE(collect.Formats.empty());
}

TEST_F(TOleTest, AReaderHoldsItsDataObjectAndOneRendering) {
    TServer server;
    std::string text = "ten chars!";
    text.resize(100, '\0');
    server.Text = Block(text);
    {
        TDataObjectReader reader;  // given later: as good as given at construction
        reader.SetInterface(server.Object);
        EXPECT_EQ(server.Object->RefCount(), 2u);
        EXPECT_EQ(reader.GetText(), "ten chars!");
        EXPECT_EQ(server.Owner.Count, 2u);  // held
        EXPECT_EQ(reader.GetText(), "ten chars!");
        EXPECT_EQ(server.Owner.Count, 2u);  // the first let go before the second read
        reader.ReleaseStgMedium();
        reader.ReleaseStgMedium();
        EXPECT_EQ(server.Owner.Count, 1u);
        EXPECT_EQ(reader.GetAsHandle(CF_HDROP, TYMED_HGLOBAL), nullptr);
        EXPECT_FALSE(reader.MediumHeld());

        TCollect collect;
        reader.GetFormats(Fw::MakeEvent<&TCollect::Format>(&collect));  // refused: no error
        EXPECT_TRUE(collect.Formats.empty());
        reader.GetText();
        TDOText* other = TDOText::Create();
        reader.SetInterface(other);
        EXPECT_EQ(server.Object->RefCount(), 1u);
        EXPECT_EQ(other->Release(), 1u);
    }
    // The reader's end let go of its object and of the rendering it held.
    EXPECT_EQ(server.Owner.Count, 1u);
    GlobalFree(server.Text);
}

TEST_F(TOleTest, TextIsReadUpToItsZeroAndNeverPastItsBlock) {
    TDataObjectImpl* data = TDataObjectImpl::Create();
    TDataObjectReader reader(data);
    std::string unterminated(64, 'x');
    data->SetData(CF_TEXT, Block(unterminated), TYMED_HGLOBAL);
    std::string read = reader.GetText();
    EXPECT_EQ(read.size(), GlobalSize(reader.Medium().hGlobal));
    EXPECT_EQ(read.substr(0, 64), unterminated);

    // CF_TEXT on a stream only is not on offer as far as the reader goes.
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    stream->Write("text", 5, nullptr);
    data->SetData(CF_TEXT, stream, TYMED_ISTREAM);
    EXPECT_FALSE(reader.HasFormat(CF_TEXT));
    EXPECT_EQ(reader.GetText(), "");
    reader.SetInterface(nullptr);
    EXPECT_EQ(data->Release(), 0u);
}

TEST_F(TOleTest, FileListsAreAppendedWhole) {
    TDOFileList* files = TDOFileList::Create();
    files->Directory = "C:\\";
    files->Directory.append(200, 'd');
    const std::string longName(150, 'a');
    Fw::TStringList names;
    names.Add(longName);
    names.Add("日本語.txt");
    files->SetFiles(&names);
    TDataObjectReader reader(files);
    Fw::TStringList list;
    list.Add("earlier");
    reader.GetFileList(&list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Strings(0), "earlier");
    EXPECT_EQ(list.Strings(1), files->Directory + "\\" + longName);  // 354 characters
    EXPECT_EQ(list.Strings(2), files->Directory + "\\日本語.txt");
    reader.SetInterface(nullptr);
    EXPECT_EQ(files->Release(), 0u);
}

// A CF_HDROP block as another program may hand it over: the header (list
// offset, wide flag), then whatever bytes it likes, and nothing after them.
HGLOBAL RawDrop(const std::string& list, bool wide, DWORD offset = sizeof(DROPFILES)) {
    DROPFILES header{};
    header.pFiles = offset;
    header.fWide = wide;
    return Block(std::string(reinterpret_cast<const char*>(&header), sizeof header) + list);
}

TEST_F(TOleTest, AFileListBlockIsReadOnlyWithinItsBounds) {
    const std::string w = std::string("C\0:\0\\\0a\0", 8);  // L"C:\\a" without its zero
    const struct {
        const char* What;
        HGLOBAL Block;
        int Names;
    } cases[] = {
        {"well formed", RawDrop(std::string("C:\\a.txt\0C:\\b.txt\0\0", 19), false), 2},
        {"well formed, wide", RawDrop(w + std::string(4, '\0'), true), 1},
        {"shorter than its header", Block(std::string(12, '\0')), 0},
        {"list offset past the end", RawDrop(std::string("C:\\a\0\0", 6), false, 0x7FFFFFF0), 0},
        {"list offset inside the header", RawDrop(std::string("C:\\a\0\0", 6), false, 8), 0},
        {"last name without its zero", RawDrop("C:\\a.txt", false), 0},
        {"no zero ending the list", RawDrop(std::string("C:\\a.txt\0", 9), false), 0},
        {"wide name cut in half", RawDrop(w + std::string(1, '\0'), true), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TDataObjectImpl* data = TDataObjectImpl::Create();
        data->SetData(CF_HDROP, c.Block, TYMED_HGLOBAL);
        TDataObjectReader reader(data);
        Fw::TStringList list;
        reader.GetFileList(&list);
        EXPECT_EQ(c.Names, list.Count()) << (list.Count() ? list.Strings(list.Count() - 1) : "");
        if (c.Names) EXPECT_EQ("C:\\a", list.Strings(0).substr(0, 4));
        reader.SetInterface(nullptr);
        EXPECT_EQ(data->Release(), 0u);
    }
}

TEST_F(TOleTest, ABitmapReadOwnsItsHandle) {
    // Handed over by a data object: the bitmap takes the very handle, and no
    // later read or release of the reader frees it.
    TDataObjectImpl* data = TDataObjectImpl::Create();
    HBITMAP handed = CreateBitmap(5, 4, 1, 32, nullptr);
    data->SetData(CF_BITMAP, handed, TYMED_GDI);
    Fw::TBitmap bitmap;
    {
        TDataObjectReader reader(data);
        reader.GetBitmap(&bitmap);
        EXPECT_EQ(bitmap.Handle(), handed);
        EXPECT_EQ(bitmap.Width(), 5);
        reader.ReleaseStgMedium();
        reader.GetBitmap(&bitmap);  // nothing more on offer
        EXPECT_EQ(bitmap.Handle(), handed);
    }
    EXPECT_EQ(GetObjectType(handed), DWORD(OBJ_BITMAP));
    EXPECT_EQ(data->Release(), 0u);

    // A provider that keeps answering for its bitmap: the reader's is a copy.
    TServer server;
    server.Bitmap = CreateBitmap(2, 3, 1, 32, nullptr);
    Fw::TBitmap copy;
    TDataObjectReader(server.Object).GetBitmap(&copy);
    EXPECT_NE(copy.Handle(), server.Bitmap);
    EXPECT_EQ(copy.Height(), 3);
    EXPECT_EQ(server.Owner.Count, 1u);
    EXPECT_EQ(GetObjectType(server.Bitmap), DWORD(OBJ_BITMAP));
    DeleteObject(server.Bitmap);
}
