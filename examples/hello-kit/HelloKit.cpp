#include "HelloKit.h"

#include <cstring>

#include "framework/Application.h"
#include "framework/SysUtils.h"

namespace Hello {

using namespace Fw;

THelloForm* HelloForm = nullptr;
int THelloForm::ExitStatus = 0;

// What the form text may name: the fields it fills and the handlers its
// events call.
FW_PUBLISH(THelloForm)
    .Field("Label1", &THelloForm::Label1)
    .Field("DropList", &THelloForm::DropList)
    .Field("Watching", &THelloForm::Watching)
    .Field("Changes", &THelloForm::Changes)
    .Field("FileDrop1", &THelloForm::FileDrop1)
    .Field("PathObserver1", &THelloForm::PathObserver1)
    .Method<&THelloForm::FileDrop1DropFiles>("FileDrop1DropFiles")
    .Method<&THelloForm::PathObserver1Notify>("PathObserver1Notify")
FW_END_PUBLISH

void THelloForm::FileDrop1DropFiles(TObject*) {
    TStrings* files = FileDrop1->Files();
    DropList->Items()->Assign(files);
    if (files->Count() == 0) return;
    // A dropped folder is watched itself; a file, the folder holding it.
    AnsiString folder = files->Strings(0);
    if (!DirectoryExists(folder)) folder = ExtractFileDir(folder);
    // The path can change only while the observer is off.
    PathObserver1->SetActive(false);
    PathObserver1->SetPath(folder);
    PathObserver1->SetActive(true);
    Watching->SetCaption("監視中: " + folder);
    if (FSelfTest) SelfTestStep();
}

// On the main thread: the observer's worker hands each change over.
void THelloForm::PathObserver1Notify(TObject*) {
    Changes->SetCaption("変更: " + IntToStr(++FChangeCount) + " 回");
    if (FSelfTest) EndSelfTest(0);
}

}  // namespace Hello

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    using namespace Fw;
    try {
        Application->Initialize();
        Application->SetTitle("Hello Kit");
        Application->CreateForm(Hello::HelloForm);
        if (std::strstr(commandLine, "--self-test")) Hello::HelloForm->StartSelfTest();
        Application->Run();
    } catch (Exception& e) {
        Application->ShowException(&e);
        return 1;
    }
    return Hello::THelloForm::ExitStatus;
}
