#include "Umain.h"

#include "Uprocess.h"
#include "Uscanner.h"

#include <memory>

TForm1* Form1 = nullptr;
Process* FormProcess = nullptr;
Scanner* ScanThread = nullptr;

namespace {

// The latest in-window run's Process; the one before it is released when it is replaced.
std::unique_ptr<Process> latestFormProcess;

// The seam through which FindSlope, below the window, shows its captions on Form1.
void showCaptionsOnForm1(const ResultCaptions& captions)
{
    if (!Form1)
        return;
    Form1->lblFr->SetText(captions.Fr);
    Form1->lblRe->SetText(captions.Re);
    Form1->lblSlope->SetText(captions.Slope);
}

}

TForm1::TForm1(TComponent* Owner)
    : TForm(Owner)
{
    SetCaptionSink(&showCaptionsOnForm1);
    OnDropFiles = [this](const std::vector<std::string>& files) { FormDropFiles(files); };
}

void TForm1::Publish(TPublisher& publisher)
{
    publisher.Field("Button1", Button1);
    publisher.Field("Image1", Image1);
    publisher.Field("Button2", Button2);
    publisher.Field("lblSlope", lblSlope);
    publisher.Field("lblFr", lblFr);
    publisher.Field("lblRe", lblRe);
    publisher.Handler("FormCreate", this, &TForm1::FormCreate);
    publisher.Handler("Button2Click", this, &TForm1::Button2Click);
    publisher.Handler("Button1Click", this, &TForm1::Button1Click);
    publisher.Handler("FormShow", this, &TForm1::FormShow);
}

void TForm1::FormCreate(TObject*)
{
    // Started with a picture, as a file manager starts it, the window opens that one instead.
    Image1->Picture->LoadFromFile(ParamCount() > 0 ? ParamStr(1) : "test.bmp");
}

// A picture dropped on the window takes the place of the one shown, as if the window had been
// started with it; not while a run still reads the one shown.
void TForm1::FormDropFiles(const std::vector<std::string>& Files)
{
    if (!Button1->Enabled())
        return;
    Image1->Picture->LoadFromFile(Files.front());
    FormShow(this);
}

void TForm1::FormShow(TObject*)
{
    Form1->lblFr->SetText(FrCaptionPrefix);
    Form1->lblRe->SetText(ReCaptionPrefix);
    Form1->lblSlope->SetText(SlopeCaptionPrefix);
    Refresh();
}

void TForm1::Button2Click(TObject* Sender)
{
    Button1->SetEnabled(false);
    Button2->SetEnabled(false);
    FormShow(Sender);
    ScanResult result;
    latestFormProcess = std::make_unique<Process>();
    FormProcess = latestFormProcess.get();
    auto copy = std::make_unique<Graphics::TBitmap>();
    copy->Assign(Image1->Picture->Bitmap);
    FormProcess->Binarize(copy.get(), DefaultLevel);
    FormProcess->FindSlope(copy.get(), &result);
    copy.reset();
    Button1->SetEnabled(true);
    Button2->SetEnabled(true);
}

void TForm1::Button1Click(TObject* Sender)
{
    Button1->SetEnabled(false);
    Button2->SetEnabled(false);
    FormShow(Sender);
    ScanThread = new Scanner(false, Image1);
}

void TForm1::StopScanner()
{
    // The caller is the finishing worker, on its own thread, which cannot wait for itself: it is
    // released on the window's thread once its thread has ended, whatever ScanThread is by then.
    if (TThread* worker = TThread::CurrentThread())
        worker->FreeOnTerminate = true;
}
