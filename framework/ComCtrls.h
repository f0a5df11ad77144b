// The common controls: pages with tabs.
#pragma once

#include <vector>

#include "framework/Forms.h"

namespace Fw {

class TTabSheet;

// A set of pages with a tab each (the system's tab control). The pages are
// the TTabSheet controls placed on it, in the order they joined; exactly the
// active page shows, filling the area below the tabs. A click on a tab makes
// its page active and fires OnChange.
class TPageControl : public TWinControl {
public:
    FW_CLASS(TPageControl, TWinControl)
    explicit TPageControl(TComponent* owner);
    ~TPageControl() override;

    int PageCount() const { return static_cast<int>(FPages.size()); }
    TTabSheet* Pages(int index) const;
    // Null only while there are no pages. A page of another control is
    // refused (EInvalidOperation).
    TTabSheet* ActivePage() const { return FActivePage; }
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);

    // The area the pages fill, in client coordinates.
    TRect DisplayRect();

    // The user picked another page.
    TNotifyEvent OnChange;

    void Dispatch(TMessage& message) override;
    // The pages fill the area below the tabs, whose height follows the
    // font: they are placed again once everything is scaled.
    void ChangeScale(int to, int from) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void InitializeHandle() override;
    void Loaded() override;
    void FontChanged() override;

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void PageCaptionChanged(TTabSheet* page);
    void ShowActivePage();
    void PlacePages();

    std::vector<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
};

// One page of a TPageControl: its parent. Controls placed on it show when
// the page is active. Caption is the tab's text.
class TTabSheet : public TWinControl {
public:
    FW_CLASS(TTabSheet, TWinControl)
    explicit TTabSheet(TComponent* owner);
    ~TTabSheet() override;

    TPageControl* PageControl() const { return FPageControl; }
    // Position among the page control's pages; -1 without one.
    int PageIndex() const;

protected:
    void ParentChanging() override;
    void ParentChanged() override;
    void TextChanged() override;

private:
    friend class TPageControl;
    TPageControl* FPageControl = nullptr;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(ComCtrls)

}  // namespace Fw
