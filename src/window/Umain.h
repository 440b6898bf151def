#pragma once

#include "Forms.h"

class Process;
class Scanner;

class TForm1 : public TForm {
public:
    TButton* Button1 = nullptr;
    TImage* Image1 = nullptr;
    TButton* Button2 = nullptr;
    TLabel* lblSlope = nullptr;
    TLabel* lblFr = nullptr;
    TLabel* lblRe = nullptr;

    void FormCreate(TObject* Sender);
    void Button2Click(TObject* Sender);
    void Button1Click(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormDropFiles(const std::vector<std::string>& Files);

    explicit TForm1(TComponent* Owner);

    void StopScanner();

protected:
    std::string ClassName() const override { return "TForm1"; }
    void Publish(TPublisher& publisher) override;
};

extern TForm1* Form1;
extern Process* FormProcess;
extern Scanner* ScanThread;
