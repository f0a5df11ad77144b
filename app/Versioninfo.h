// The about box: version, maker and the maker's links.
#pragma once

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

namespace Velmora {

class TForm2 : public Fw::TForm {
public:
    FW_CLASS(TForm2, Fw::TForm)
    explicit TForm2(Fw::TComponent* owner);

    Fw::TImage* Image1 = nullptr;
    Fw::TButton* Button1 = nullptr;
    Fw::TLabel* Label1 = nullptr;
    Fw::TLabel* Label2 = nullptr;
    Fw::TLabel* Label3 = nullptr;
    Fw::TLabel* Label4 = nullptr;
    Fw::TLabel* Label5 = nullptr;

    void Button1Click(Fw::TObject* Sender);
    void Label4Click(Fw::TObject* Sender);
    void FormShow(Fw::TObject* Sender);
    void FormClose(Fw::TObject* Sender, Fw::TCloseAction& Action);

protected:
    void Loaded() override;
};

extern TForm2* Form2;

}  // namespace Velmora
