#include "Uscanner.h"

#include "Umain.h"
#include "Uprocess.h"

#include <memory>

Scanner::Scanner(bool createSuspended, TImage* image, const Construction& construction)
    : TThread(createSuspended, construction), FImage(image)
{
}

void Scanner::Execute()
{
    // The worker's Process lives as long as its run.
    std::unique_ptr<Process> process;
    try {
        ScanResult result;
        process = std::make_unique<Process>();
        FProcess = process.get();
        auto copy = std::make_unique<Graphics::TBitmap>();
        copy->Assign(FImage->Picture->Bitmap);
        FProcess->Binarize(copy.get(), DefaultLevel);
        FProcess->FindSlope(copy.get(), &result);
        copy.reset();
        Form1->Button1->SetEnabled(true);
        Form1->Button2->SetEnabled(true);
    } catch (...) {
        // A failed run is shown as a failed in-window run is, and leaves the buttons disabled
        // too; the worker is still released below. A run cut off because the window is
        // closing shows nothing.
        Application->HandleException();
    }
    FProcess = nullptr;
    Form1->StopScanner();
}
