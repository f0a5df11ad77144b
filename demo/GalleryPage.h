// What every page of the gallery shares: the page class each one derives
// from, and the few helpers the pages have in common.
//
// A page is a tab sheet with a layout of its own: its form text (a resource
// named after its class, PageName.form beside the code), read when the page
// is placed on the gallery's page control, as a form reads its own. Its components, their events and its
// handlers are the page's, in one file per page; the gallery's form text
// only places the pages on its page control.
#pragma once

#include "framework/ComCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

namespace Gallery {

class TGalleryPage : public Fw::TTabSheet {
public:
    FW_CLASS(TGalleryPage, Fw::TTabSheet)
    explicit TGalleryPage(Fw::TComponent* owner) : TTabSheet(owner) {}
    // Once the gallery's window has been read: what the page sets up beyond
    // its form text (the window's OnCreate calls it).
    virtual void PageCreate() {}

protected:
    // Reads the page's layout once the page is placed on its page control:
    // components that hook windows need the page's own.
    void ParentChanged() override;
    // The gallery's window: the form that owns the page.
    Fw::TCustomForm* Form() const;

private:
    bool FLayoutRead = false;
};

// A line at the end of list, kept in view; with the time in front (a log of
// events) or without (where the text needs the width).
void Log(Fw::TListBox* list, const Fw::AnsiString& text);
void AddLine(Fw::TListBox* list, const Fw::AnsiString& text);

// The gallery's own folder under the user's temporary folder (made when
// missing), or a name in it.
Fw::AnsiString GalleryFolder(const Fw::AnsiString& name = "");

// Galleries stand side by side where the screen has room, so that one can
// drag to or send to the other: the one that starts another steps aside,
// the new one takes its place beside the first it finds.
void StartAnotherGallery(Fw::TCustomForm* form);
void PlaceBesideAnother(Fw::TCustomForm* form);

}  // namespace Gallery
