#include "framework/ComCtrls.h"

#include <commctrl.h>

#include <algorithm>

namespace Fw {

FW_UNIT_BEGIN(ComCtrls)
    .Classes<TPageControl, TTabSheet>()
FW_UNIT_END

FW_PUBLISH(TPageControl)
    .Property("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage)
    .Property("Enabled", &TPageControl::Enabled, &TPageControl::SetEnabled).Default(true)
    .Property("Font", &TPageControl::Font, &TPageControl::SetFont).Stored(&TPageControl::IsFontStored)
    .Property("Hint", &TPageControl::Hint, &TPageControl::SetHint)
    .Property("ParentFont", &TPageControl::ParentFont, &TPageControl::SetParentFont).Default(true)
    .Property("ParentShowHint", &TPageControl::ParentShowHint, &TPageControl::SetParentShowHint).Default(true)
    .Property("ShowHint", &TPageControl::ShowHint, &TPageControl::SetShowHint).Stored(&TPageControl::IsShowHintStored)
    .Property("TabOrder", &TPageControl::TabOrder, &TPageControl::SetTabOrder).Default(-1)
    .Property("TabStop", &TPageControl::TabStop, &TPageControl::SetTabStop).Default(true)
    .Property("Visible", &TPageControl::Visible, &TPageControl::SetVisible).Default(true)
    .Property("OnChange", &TPageControl::OnChange, &TPageControl::OnChange)
    .Property("OnEnter", &TPageControl::OnEnter, &TPageControl::OnEnter)
    .Property("OnExit", &TPageControl::OnExit, &TPageControl::OnExit)
FW_END_PUBLISH

// A page's bounds and visibility are the page control's business: neither
// is stored.
FW_PUBLISH(TTabSheet)
    .Property("Caption", &TTabSheet::Caption, &TTabSheet::SetCaption)
    .Property("Color", &TTabSheet::Color, &TTabSheet::SetColor).Default(clBtnFace).Stored(&TTabSheet::IsColorStored)
    .Property("Enabled", &TTabSheet::Enabled, &TTabSheet::SetEnabled).Default(true)
    .Property("Font", &TTabSheet::Font, &TTabSheet::SetFont).Stored(&TTabSheet::IsFontStored)
    .Property("Hint", &TTabSheet::Hint, &TTabSheet::SetHint)
    .Property("ParentColor", &TTabSheet::ParentColor, &TTabSheet::SetParentColor).Default(false)
    .Property("ParentFont", &TTabSheet::ParentFont, &TTabSheet::SetParentFont).Default(true)
    .Property("ParentShowHint", &TTabSheet::ParentShowHint, &TTabSheet::SetParentShowHint).Default(true)
    .Property("ShowHint", &TTabSheet::ShowHint, &TTabSheet::SetShowHint).Stored(&TTabSheet::IsShowHintStored)
    .Property("OnEnter", &TTabSheet::OnEnter, &TTabSheet::OnEnter)
    .Property("OnExit", &TTabSheet::OnExit, &TTabSheet::OnExit)
FW_END_PUBLISH

// ---- TPageControl ----

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
    FTabStop = true;
    FWidth = 289;
    FHeight = 193;
}

TPageControl::~TPageControl() {
    // The pages are destroyed with the child controls, after this part of
    // the object: they must not report back to it.
    for (TTabSheet* page : FPages) page->FPageControl = nullptr;
    FPages.clear();
    FActivePage = nullptr;
}

void TPageControl::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    static const bool classes = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)classes;
    CreateSubClass(params, WC_TABCONTROLA);
    params.Style |= WS_CLIPCHILDREN;
}

void TPageControl::InitializeHandle() {
    SendMessageA(FHandle, TCM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < FPages.size(); ++i) {
        AnsiString caption = FPages[i]->Caption();
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageA(FHandle, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(FHandle, TCM_SETCURSEL, ActivePageIndex(), 0);
    PlacePages();
}

void TPageControl::Loaded() {
    TWinControl::Loaded();
    ShowActivePage();
}

TTabSheet* TPageControl::Pages(int index) const {
    if (index < 0 || index >= PageCount()) throw EListError("リストのインデックスが範囲外です (" + IntToStr(index) + ").");
    return FPages[static_cast<std::size_t>(index)];
}

int TPageControl::ActivePageIndex() const {
    auto at = std::find(FPages.begin(), FPages.end(), FActivePage);
    return at == FPages.end() ? -1 : static_cast<int>(at - FPages.begin());
}

void TPageControl::SetActivePageIndex(int index) { SetActivePage(Pages(index)); }

void TPageControl::SetActivePage(TTabSheet* page) {
    // While loading, the reference may arrive before the page has joined.
    if (IsLoading()) {
        FActivePage = page;
        return;
    }
    if (page && page->FPageControl != this)
        throw EInvalidOperation("タブシート " + page->Name() + " はこのページコントロールのページではありません.");
    if (!page && !FPages.empty()) page = FPages.front();
    FActivePage = page;
    if (HandleAllocated()) SendMessageA(FHandle, TCM_SETCURSEL, ActivePageIndex(), 0);
    ShowActivePage();
}

TRect TPageControl::DisplayRect() {
    RECT r{0, 0, FWidth, FHeight};
    if (HandleAllocated()) {
        GetClientRect(FHandle, &r);
        SendMessageA(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    } else {
        // Until the window exists: about where a one-row tab control puts it.
        InflateRect(&r, -4, -4);
        r.top += 20;
    }
    return r;
}

void TPageControl::PlacePages() {
    const TRect area = DisplayRect();
    for (TTabSheet* page : FPages) page->SetBoundsRect(area);
}

void TPageControl::ShowActivePage() {
    if (IsLoading()) return;
    if (FActivePage && FActivePage->FPageControl != this) FActivePage = nullptr;
    if (!FActivePage && !FPages.empty()) FActivePage = FPages.front();
    for (TTabSheet* page : FPages) page->SetVisible(page == FActivePage);
}

void TPageControl::InsertPage(TTabSheet* page) {
    FPages.push_back(page);
    page->FPageControl = this;
    if (HandleAllocated()) {
        AnsiString caption = page->Caption();
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageA(FHandle, TCM_INSERTITEMA, FPages.size() - 1, reinterpret_cast<LPARAM>(&item));
    }
    page->SetBoundsRect(DisplayRect());
    if (!FActivePage && !IsLoading()) FActivePage = page;
    ShowActivePage();
}

void TPageControl::RemovePage(TTabSheet* page) {
    auto at = std::find(FPages.begin(), FPages.end(), page);
    if (at == FPages.end()) return;
    const int index = static_cast<int>(at - FPages.begin());
    FPages.erase(at);
    page->FPageControl = nullptr;
    if (HandleAllocated()) SendMessageA(FHandle, TCM_DELETEITEM, index, 0);
    if (FActivePage == page) {
        FActivePage = FPages.empty() ? nullptr : FPages[std::min<std::size_t>(index, FPages.size() - 1)];
        if (HandleAllocated()) SendMessageA(FHandle, TCM_SETCURSEL, ActivePageIndex(), 0);
        ShowActivePage();
    }
}

void TPageControl::ChangeScale(int to, int from) {
    TWinControl::ChangeScale(to, from);
    PlacePages();
}

void TPageControl::FontChanged() {
    TWinControl::FontChanged();
    // Taller or lower tabs leave another area for the pages.
    PlacePages();
}

void TPageControl::PageCaptionChanged(TTabSheet* page) {
    if (!HandleAllocated()) return;
    const int index = page->PageIndex();
    AnsiString caption = page->Caption();
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageA(FHandle, TCM_SETITEMA, index, reinterpret_cast<LPARAM>(&item));
    // A wider or narrower tab can change the rows, and with them the area.
    PlacePages();
}

void TPageControl::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case CN_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(message.LParam);
            if (header->code == TCN_SELCHANGE) {
                const int index = static_cast<int>(SendMessageA(FHandle, TCM_GETCURSEL, 0, 0));
                if (index >= 0 && index < PageCount()) {
                    FActivePage = FPages[static_cast<std::size_t>(index)];
                    ShowActivePage();
                    if (OnChange) OnChange(this);
                }
            }
            return;
        }
        case WM_SIZE:
            TWinControl::Dispatch(message);
            PlacePages();
            return;
        default:
            break;
    }
    TWinControl::Dispatch(message);
}

// ---- TTabSheet ----

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
    SetColor(clBtnFace);
    FVisible = false;
}

TTabSheet::~TTabSheet() {
    if (FPageControl) FPageControl->RemovePage(this);
}

int TTabSheet::PageIndex() const {
    if (!FPageControl) return -1;
    const auto& pages = FPageControl->FPages;
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::ParentChanging() {
    if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::ParentChanged() {
    if (auto* pages = dynamic_cast<TPageControl*>(FParent)) pages->InsertPage(this);
}

void TTabSheet::TextChanged() {
    TWinControl::TextChanged();
    if (FPageControl) FPageControl->PageCaptionChanged(this);
}

}  // namespace Fw
