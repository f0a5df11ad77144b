// Forms: the top-level windows of a program, laid out and wired from their
// form resource.
//
// A form class TForm1 is described with FW_PUBLISH like any component,
// listing its component fields (.Field) and handler methods (.Method), and
// its layout lives in the program's RCDATA resource TFORM1 (the text form
// format). A form is made in the two steps of every component (see
// Component.h): the constructor, then AfterConstruction, which reads the
// form resource (filling the fields and events) and fires OnCreate.
// Application->CreateForm, NewComponent<T>, creation by class name and the
// form-text reader do both; a form made with plain new gets its resource at
// the latest when its window is first needed.
#pragma once

#include "framework/Controls.h"

namespace Fw {

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
FW_ENUM_INFO(TFormBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow",
             "bsSizeToolWin")
// The border of an edit box or a panel: bsNone or bsSingle.
using TBorderStyle = TFormBorderStyle;

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
FW_ENUM_INFO(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
using TBorderIcons = TSet<TBorderIcon>;

enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
FW_ENUM_INFO(TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
             "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter")

enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
FW_ENUM_INFO(TFormStyle, "fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop")

enum TCloseAction { caNone, caHide, caFree, caMinimize };
FW_ENUM_INFO(TCloseAction, "caNone", "caHide", "caFree", "caMinimize")

using TCloseEvent = TEvent<TObject*, TCloseAction&>;
using TCloseQueryEvent = TEvent<TObject*, bool&>;

// A form's modal result: the button ids of MessageBox.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;

class TCustomForm : public TWinControl {
public:
    FW_CLASS(TCustomForm, TWinControl)
    explicit TCustomForm(TComponent* owner);
    // Fires OnDestroy (unless BeforeDestruction did), destroys the owned
    // components while this is still a form, then the window.
    ~TCustomForm() override;

    // The second step of making a form: reads the form resource named after
    // the class (when the program has one), then fires OnCreate; an
    // exception from OnCreate is reported through the application object
    // and creation goes on. Runs once; later calls do nothing.
    void AfterConstruction() override;
    // Fires OnDestroy while the whole object still exists. Runs once.
    void BeforeDestruction() override;

    void Show();
    // Hides the window (OnHide first); the form stays.
    void Hide() { SetVisible(false); }
    // Asks OnCloseQuery, then OnClose with the close action: the main form
    // ends the application's message loop, any other form hides (caHide),
    // is minimised or is freed (caFree, after the current message).
    void Close();
    // True when OnCloseQuery lets the form close.
    virtual bool CloseQuery();
    // Shows the form and runs messages until ModalResult is set or the form
    // closes; other forms are disabled meanwhile. Returns ModalResult.
    int ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }
    // Frees the form once the messages now in the queue have been handled.
    void Release();

    void SetVisible(bool value) override;

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle value);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons value);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition value);
    TFormStyle FormStyle() const { return FFormStyle; }
    // fsMDIChild is not supported (EInvalidOperation).
    void SetFormStyle(TFormStyle value);
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool value) { FKeyPreview = value; }

    // The MDI client window of an fsMDIForm (made with the form's window); 0 otherwise.
    HWND ClientHandle() const { return FClientHandle; }

    // The control that has (or gets, when the form is next activated) the
    // focus. Must be a control on this form (EInvalidOperation otherwise).
    TWinControl* ActiveControl() const { return FActiveControl; }
    void SetActiveControl(TWinControl* control);
    // Called when a control of the form receives the focus.
    void SetFocusedControl(TWinControl* control);

    // Sized through the client area: the window grows by its borders.
    void SetClientSize(int width, int height) override;
    TRect ClientRect() override;

    // The resolution the form's lengths are given at: its controls' places
    // and sizes, its fonts' heights. Stored in the form text (96 unless it
    // says otherwise). A Scaled form that finds itself drawn at another
    // resolution (read from its text, its window made, moved to a monitor
    // of another resolution) takes its lengths there, and PixelsPerInch
    // with them; lengths are scaled once, from the figures as they stand,
    // so a form at 96 stays exactly as given.
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int value);
    bool Scaled() const { return FScaled; }
    void SetScaled(bool value) { FScaled = value; }
    // Takes the form and its controls to resolution ppi now: sizes and
    // fonts (not the form's place), scaled from PixelsPerInch.
    void ScaleForPPI(int ppi);
    // The form scales as a whole: its size, not its place.
    void ChangeScale(int to, int from) override;

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;
    TNotifyEvent OnDestroy;

    // Root of the form's stream: the controls placed directly on it, then the
    // non-visual components it owns (a popup menu, an observer...).
    void GetChildren(const TGetChildProc& proc, TComponent* root) override;
    // A form is written as a root, never inside a parent.
    bool HasParent() const override { return false; }

    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandle() override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    bool IsSizeStored() const override { return !FClientSizeSet; }
    bool IsClientSizeStored() const { return FClientSizeSet; }
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& action);
    virtual void DoCreate();
    virtual void DoDestroy();

    // Published accessors: the stored client size while loading.
    int StoredClientWidth() const;
    int StoredClientHeight() const;
    void SetStoredClientWidth(int value);
    void SetStoredClientHeight(int value);

private:
    friend class TWinControl;
    friend class TControl;
    friend class TApplication;
    // The resolution of the monitor the form will open on, before it has a window.
    int OpeningPPI() const;
    // The form is drawn at ppi from now on: scales it there when Scaled.
    void DrawnAt(int ppi);
    void DpiChanged(TMessage& message);
    void UpdateIcons();
    void ApplyPosition();
    void ApplyClientSize();
    void FocusFirstControl();
    DWORD FrameStyle() const;
    DWORD FrameExStyle() const;

    TFormBorderStyle FBorderStyle = bsSizeable;
    TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
    TPosition FPosition = poDesigned;
    TFormStyle FFormStyle = fsNormal;
    bool FKeyPreview = false;
    HWND FClientHandle = nullptr;
    TWinControl* FActiveControl = nullptr;
    TModalResult FModalResult = mrNone;
    int FPixelsPerInch = DefaultPixelsPerInch;
    int FCurrentPPI;  // the resolution the form is drawn at
    bool FScaled = true;
    bool FClientSizeSet = false;
    int FClientWidth = 0;
    int FClientHeight = 0;
    bool FConstructed = false;
    bool FDestroyEventFired = false;
    bool FShownOnce = false;
    bool FModal = false;
};

class TForm : public TCustomForm {
public:
    FW_CLASS(TForm, TCustomForm)
    explicit TForm(TComponent* owner);
};

// The form a control sits on (the control itself for a form), or null.
TCustomForm* GetParentForm(const TControl* control);

// Makes a form of class T owned by owner, with its resource read and
// OnCreate fired: NewComponent<T> under the name forms have always had.
template <class T>
T* NewForm(TComponent* owner) {
    return NewComponent<T>(owner);
}

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Forms)

}  // namespace Fw
