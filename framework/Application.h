// The application object: the hidden application window that owns every
// form, the message loop with dialog keys and hints, and the reporting of
// exceptions that reach the loop.
#pragma once

#include <utility>
#include <vector>

#include "framework/Forms.h"

namespace Fw {

using TExceptionEvent = TEvent<TObject*, Exception*>;
using TIdleEvent = TEvent<TObject*, bool&>;

class TApplication : public TComponent {
public:
    FW_CLASS(TApplication, TComponent)
    explicit TApplication(TComponent* owner);
    // Destroys the forms still alive, then the application window.
    ~TApplication() override;

    // Makes the application window, loads the icon and arranges for the
    // forms to be destroyed when the program ends.
    void Initialize();

    // The hidden top-level window that owns every form: while it is hidden
    // the program has no taskbar button. Made on first use.
    HWND Handle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    // The program's name in message boxes and on the taskbar; the program
    // file's name without extension until set.
    AnsiString Title() const;
    void SetTitle(const AnsiString& value);
    // The program's main icon: the icon group MAINICON, else the module's
    // first icon group; empty when it has none.
    TIcon* Icon() const { return FIcon; }
    void SetIcon(TIcon* value);
    // The main icon for a place size × size pixels large (a caption, the
    // notification area, at the resolution there): the image of that size
    // from the icon's resource, or the nearest one scaled by the system; the
    // Icon itself when it was set from elsewhere. Null without an icon. The
    // application keeps the handle.
    HICON IconHandle(int size);
    // Full path of the program file.
    AnsiString ExeName() const;
    AnsiString GetExeName() const { return ExeName(); }

    // Makes a form owned by the application: *reference is set before the
    // form's OnCreate runs. The first form made becomes MainForm. On failure
    // the form is freed, *reference is null, and the exception goes on.
    void CreateForm(TMetaClass* formClass, void* reference);
    template <class T>
    void CreateForm(T*& reference) {
        CreateForm(T::StaticClass(), static_cast<void*>(&reference));
    }
    TCustomForm* MainForm() const { return FMainForm; }
    // Destroys every form the application owns (each one's OnDestroy runs
    // while the form is whole) and its other components: what the end of
    // the program does after Run has returned.
    void DestroyForms();

    // Whether Run shows the main form.
    bool ShowMainForm() const { return FShowMainForm; }
    void SetShowMainForm(bool value) { FShowMainForm = value; }
    // Tool tips for controls with a Hint and ShowHint.
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    // The control whose hint the tool tip holds now, or null.
    TControl* HintControl() const { return FHintControl; }
    // The tool tip window (made with the first hint); 0 before.
    HWND HintWindow() const { return FHintWindow; }

    // Shows the main form (ShowMainForm) and handles messages, synchronised
    // calls of threads included, until Terminate.
    void Run();
    // Ends Run once the current message has been handled.
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Handles every message waiting now (and the synchronised calls), then returns.
    void ProcessMessages();
    // Handles one message, or waits until there is one to handle.
    void HandleMessage();

    // A message box owned by the active form (or the application window);
    // an empty caption shows the Title. Returns the button id.
    int MessageBox(const AnsiString& text, const AnsiString& caption, UINT flags);
    // Shows the exception's message with a stop icon under the Title.
    void ShowException(Exception* e);
    // Reports the exception being handled (call it inside a catch): to
    // OnException when assigned, else through ShowException. EAbort is
    // passed over in silence; exceptions of other families are reported
    // with their text.
    void HandleException(TObject* sender);

    TExceptionEvent OnException;
    // Runs when the queue is empty, before the loop waits; Done false asks
    // for another call before waiting.
    TIdleEvent OnIdle;

    // The message loop's key handling for one queued message; true when the
    // message was used up (a dialog key, an access key, a previewed key).
    bool IsKeyMsg(MSG& msg);
    // The hint handling for one queued mouse message.
    void IsHintMsg(MSG& msg);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TControl;
    friend class TCustomForm;
    void CreateHandle();
    void FormDestroyed(TCustomForm* form);
    void WndProc(TMessage& message);
    bool ProcessMessage(MSG& msg);
    void Idle();
    void WakeMainThreadHandler(TObject* sender);
    void LoadIcon();
    void ReleaseSizedIcons();
    void UpdateHint(TControl* control, HWND window);
    void CancelHint();
    HWND MessageBoxOwner() const;

    HWND FHandle = nullptr;
    WNDPROC FObjectInstance = nullptr;
    AnsiString FTitle;
    bool FTitleSet = false;
    TIcon* FIcon;
    AnsiString FIconResource;  // the resource Icon was loaded from, if it was
    std::vector<std::pair<int, HICON>> FSizedIcons;
    TCustomForm* FMainForm = nullptr;
    bool FShowMainForm = true;
    bool FShowHint = true;
    bool FTerminated = false;
    bool FInitialized = false;
    HWND FHintWindow = nullptr;
    TControl* FHintControl = nullptr;
    HWND FHintToolWindow = nullptr;
    AnsiString FHintText;
};

// The one application object of the program, made by the unit's
// initialise step.
extern TApplication* Application;

// A plain message box with an OK button under the application's Title.
void ShowMessage(const AnsiString& message);

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Application)

}  // namespace Fw
