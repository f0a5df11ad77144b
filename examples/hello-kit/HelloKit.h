// Hello Kit: a window that lists the files dropped on it and watches the
// folder they came from. Its components are placed in form text
// (HelloKit.form), which the framework reads when the form is made.
#pragma once

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "kit/Interceptors.h"
#include "kit/Threads.h"

namespace Hello {

class THelloForm : public Fw::TForm {
public:
    FW_CLASS(THelloForm, Fw::TForm)
    explicit THelloForm(Fw::TComponent* owner) : Fw::TForm(owner) {}

    // Filled in by name from the form text.
    Fw::TLabel* Label1 = nullptr;
    Fw::TListBox* DropList = nullptr;
    Fw::TLabel* Watching = nullptr;
    Fw::TLabel* Changes = nullptr;
    Kit::TFileDrop* FileDrop1 = nullptr;
    Kit::TPathObserver* PathObserver1 = nullptr;

    void FileDrop1DropFiles(Fw::TObject* Sender);
    void PathObserver1Notify(Fw::TObject* Sender);

    // SelfTest.cpp: `--self-test` drops a file on the list and ends the
    // program with status 0 once its folder reports a change.
    void StartSelfTest();
    void EndSelfTest(int status);
    static int ExitStatus;

private:
    void SelfTestStep();

    int FChangeCount = 0;
    bool FSelfTest = false;
    Fw::AnsiString FSelfTestFolder;
};

extern THelloForm* HelloForm;

}  // namespace Hello
