#include "app/Versioninfo.h"

#include <shellapi.h>

#include "VelmoraVersion.h"
#include "app/Main.h"
#include "framework/Application.h"

namespace Velmora {

using namespace Fw;

TForm2* Form2 = nullptr;

FW_PUBLISH(TForm2)
    .Field("Image1", &TForm2::Image1)
    .Field("Button1", &TForm2::Button1)
    .Field("Label1", &TForm2::Label1)
    .Field("Label2", &TForm2::Label2)
    .Field("Label3", &TForm2::Label3)
    .Field("Label4", &TForm2::Label4)
    .Field("Label5", &TForm2::Label5)
    .Method<&TForm2::Button1Click>("Button1Click")
    .Method<&TForm2::Label4Click>("Label4Click")
    .Method<&TForm2::FormShow>("FormShow")
    .Method<&TForm2::FormClose>("FormClose")
FW_END_PUBLISH

TForm2::TForm2(TComponent* owner) : TForm(owner) {}

void TForm2::Loaded() {
    TForm::Loaded();
    // Pictures are not part of the form text: the program's own icon, at
    // the size the box shows it (32 pixels at 96 per inch; the image drawn
    // for the size at higher resolutions).
    Image1->Picture()->Icon()->LoadFromResourceName(GetModuleHandleA(nullptr), "MAINICON", Image1->ScaleValue(32));
    // The release number is kept in one place (VERSION), not in the form.
    Label1->SetCaption(Label1->Caption() + VELMORA_VERSION);
}

void TForm2::Button1Click(TObject*) { Close(); }

void TForm2::Label4Click(TObject* Sender) {
    // The caption is the target: a mailto: address or a web address.
    auto* label = dynamic_cast<TLabel*>(Sender);
    if (!label) return;
    ShellExecuteA(Application->Handle(), "open", label->Caption().c_str(), nullptr, nullptr, SW_HIDE);
}

void TForm2::FormShow(TObject*) {
    Form1->Setting->SetEnabled(false);
    Form1->About1->SetEnabled(false);
}

void TForm2::FormClose(TObject*, TCloseAction&) {
    Form1->Setting->SetEnabled(true);
    Form1->About1->SetEnabled(true);
}

}  // namespace Velmora
