// List boxes, group boxes and page controls: texts kept across the window's
// life, selection events through the parent's notifications, pages read
// from form text and switched by their tabs.
#include <gtest/gtest.h>

#include <commctrl.h>

#include "framework/Application.h"
#include "framework/ComCtrls.h"
#include "framework/Filer.h"
#include "framework/StdCtrls.h"

using namespace Fw;

namespace {

AnsiString Utf8(const char8_t* s) { return AnsiString(reinterpret_cast<const char*>(s)); }

class PagesHost : public TForm {
public:
    FW_CLASS(PagesHost, TForm)
    explicit PagesHost(TComponent* owner) : TForm(owner) {}
    TPageControl* Pages = nullptr;
    TTabSheet* First = nullptr;
    TTabSheet* Second = nullptr;
    TListBox* List = nullptr;
    int Changes = 0;
    void PagesChange(TObject*) { ++Changes; }
};

}  // namespace

FW_PUBLISH(PagesHost)
    .Field("Pages", &PagesHost::Pages)
    .Field("First", &PagesHost::First)
    .Field("Second", &PagesHost::Second)
    .Field("List", &PagesHost::List)
    .Method<&PagesHost::PagesChange>("PagesChange")
FW_END_PUBLISH

namespace {

const char8_t PagesText[] = u8R"(object Host: PagesHost
  ClientWidth = 400
  ClientHeight = 300
  object Pages: TPageControl
    Left = 10
    Top = 10
    Width = 380
    Height = 280
    ActivePage = Second
    OnChange = PagesChange
    object First: TTabSheet
      Caption = '一枚目'
      object Box: TGroupBox
        Left = 8
        Top = 8
        Width = 200
        Height = 100
        Caption = 'グループ'
        object List: TListBox
          Left = 8
          Top = 20
          Width = 180
          Height = 70
        end
      end
    end
    object Second: TTabSheet
      Caption = '二枚目'
    end
  end
end
)";

class ListsPagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application->Initialize(); }

    void SetUp() override {
        Host = new PagesHost(nullptr);
        ComponentFromText(Utf8(PagesText), Host);
        Host->Show();
    }
    void TearDown() override {
        delete Host;
        Application->ProcessMessages();
    }

    // What the shell's tab control sends its parent when the user picks a tab.
    void PickTab(int index) {
        HWND tabs = Host->Pages->Handle();
        SendMessageA(tabs, TCM_SETCURSEL, index, 0);
        NMHDR header{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)), TCN_SELCHANGE};
        SendMessageA(GetParent(tabs), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }

    PagesHost* Host = nullptr;
};

}  // namespace

TEST_F(ListsPagesTest, PagesReadFromFormTextShowTheActiveOneInTheTabArea) {
    TPageControl* pages = Host->Pages;
    ASSERT_EQ(2, pages->PageCount());
    EXPECT_EQ(Host->First, pages->Pages(0));
    EXPECT_EQ(Host->Second, pages->ActivePage()) << "the stored reference wins over the first page";
    EXPECT_EQ(2, SendMessageA(pages->Handle(), TCM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(1, SendMessageA(pages->Handle(), TCM_GETCURSEL, 0, 0));
    char caption[32] = "";
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = sizeof caption;
    SendMessageA(pages->Handle(), TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ("一枚目", caption);

    EXPECT_TRUE(IsWindowVisible(Host->Second->Handle()));
    EXPECT_FALSE(Host->First->Visible());
    EXPECT_EQ(pages->DisplayRect(), Host->Second->BoundsRect()) << "a page fills the area below the tabs";
    EXPECT_GT(pages->DisplayRect().Top, 10) << "below the tabs";
}

TEST_F(ListsPagesTest, PickingATabShowsItsPageAndFiresOnChange) {
    PickTab(0);
    EXPECT_EQ(1, Host->Changes);
    EXPECT_EQ(Host->First, Host->Pages->ActivePage());
    EXPECT_TRUE(IsWindowVisible(Host->List->Handle())) << "controls on the picked page show";
    // Pages and group boxes paint their faces around their controls, never over them.
    for (HWND container : {Host->First->Handle(), GetParent(Host->List->Handle())})
        EXPECT_TRUE(GetWindowLongA(container, GWL_STYLE) & WS_CLIPCHILDREN);
    EXPECT_FALSE(IsWindowVisible(Host->Second->Handle()));

    // Set in code: no OnChange, as for the platform's own page control.
    Host->Pages->SetActivePageIndex(1);
    EXPECT_EQ(1, Host->Changes);
    EXPECT_EQ(1, SendMessageA(Host->Pages->Handle(), TCM_GETCURSEL, 0, 0));
    EXPECT_FALSE(IsWindowVisible(Host->List->Handle()));

    TTabSheet stranger(nullptr);
    EXPECT_THROW(Host->Pages->SetActivePage(&stranger), EInvalidOperation);
    EXPECT_EQ(Host->Second, Host->Pages->ActivePage());
}

TEST_F(ListsPagesTest, APageThatGoesTakesItsTabAndHandsOnTheActivePage) {
    TPageControl* pages = Host->Pages;
    auto* third = new TTabSheet(Host);
    third->SetCaption("三枚目");
    third->SetParent(pages);
    EXPECT_EQ(3, SendMessageA(pages->Handle(), TCM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(2, third->PageIndex());
    EXPECT_FALSE(third->Visible()) << "a new page does not take over";

    delete Host->Second;
    Host->Second = nullptr;
    EXPECT_EQ(2, pages->PageCount());
    EXPECT_EQ(third, pages->ActivePage()) << "the page that moved into its place";
    EXPECT_EQ(1, SendMessageA(pages->Handle(), TCM_GETCURSEL, 0, 0));
    EXPECT_TRUE(third->Visible());

    // Its pages go with the page control, which no longer hears from them.
    delete pages;
    Host->Pages = nullptr;
    Host->First = nullptr;
    Host->List = nullptr;
    EXPECT_EQ(nullptr, Host->FindComponent("List"));
}

TEST_F(ListsPagesTest, AListKeepsItsTextsAndObjectsBeforeDuringAndAfterItsWindow) {
    auto* list = new TListBox(Host);
    TObject marker;
    list->Items()->Add("一");
    list->Items()->AddObject("二", &marker);
    list->SetItemIndex(1);
    EXPECT_FALSE(list->HandleAllocated());

    list->SetParent(Host);
    HWND wnd = list->Handle();
    EXPECT_EQ(2, SendMessageA(wnd, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, list->ItemIndex());
    EXPECT_EQ(&marker, list->Items()->Objects(1)) << "objects keep their full width in the window";
    list->Items()->Insert(0, "零");
    EXPECT_EQ("零", list->Items()->Strings(0));
    EXPECT_EQ(3, list->Items()->Count());
    list->Items()->Put(2, "に");
    EXPECT_EQ(&marker, list->Items()->Objects(2)) << "replacing a text keeps its object";

    list->SetParent(nullptr);  // the window goes; the texts stay
    EXPECT_FALSE(list->HandleAllocated());
    EXPECT_EQ("零\r\n一\r\nに\r\n", list->Items()->Text());
    EXPECT_EQ(&marker, list->Items()->Objects(2));
    EXPECT_THROW(list->Items()->Strings(3), EListError);
    EXPECT_THROW(list->SetItemIndex(3), EListError);

    list->SetParent(Host);
    EXPECT_EQ(3, SendMessageA(list->Handle(), LB_GETCOUNT, 0, 0));
    EXPECT_THROW(list->Items()->Delete(5), EListError);
    list->Clear();
    EXPECT_EQ(0, list->Items()->Count());
    EXPECT_EQ(-1, list->ItemIndex());
}

TEST_F(ListsPagesTest, ASelectionByTheUserFiresOnClickThroughTheParent) {
    PickTab(0);
    TListBox* list = Host->List;
    list->Items()->SetText("a\r\nb\r\nc\r\n");
    int clicks = 0, doubleClicks = 0;
    struct TCounter {
        int* Count;
        void Hit(TObject*) { ++*Count; }
    } single{&clicks}, twice{&doubleClicks};
    list->OnClick = MakeEvent<&TCounter::Hit>(&single);
    list->OnDblClick = MakeEvent<&TCounter::Hit>(&twice);

    // A real click on the second line: the list box tells its parent, the
    // group box, which hands the notification back to the list.
    HWND wnd = list->Handle();
    RECT line;
    SendMessageA(wnd, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&line));
    LPARAM at = MAKELPARAM(line.left + 4, line.top + 2);
    SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(wnd, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(1, list->ItemIndex());
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(0, doubleClicks);
    SendMessageA(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(wnd, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(1, doubleClicks);
}

TEST_F(ListsPagesTest, PagesAndListsAreWrittenAndReadBack) {
    Host->List->Items()->Add("保存されない");
    AnsiString text = ComponentToText(Host);
    EXPECT_NE(AnsiString::npos, text.find("ActivePage = Second")) << text;
    EXPECT_EQ(AnsiString::npos, text.find("Visible", text.find("object Pages"))) << "pages' visibility is not stored\n"
                                                                              << text;

    PagesHost copy(nullptr);
    ComponentFromText(text, &copy);
    ASSERT_NE(nullptr, copy.Pages);
    EXPECT_EQ(2, copy.Pages->PageCount());
    EXPECT_EQ(copy.Second, copy.Pages->ActivePage());
    EXPECT_EQ("二枚目", copy.Second->Caption());
    EXPECT_EQ(copy.First, copy.List->Parent()->Parent()) << "the list stays inside its group box on the first page";
}
