#include "TestSupport.h"
#include "Umain.h"
#include "Uprocess.h"
#include "Uscanner.h"

#include <QDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

int threadsInProcess()
{
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QImage shape(int index)
{
    QImage image = SolidImage(120, 90, 40, 40, 40);
    switch (index) {
    case 0: // rising, thick
        for (int x = 10; x < 110; ++x)
            for (int t = 0; t < 3; ++t)
                SetWhite(image, x, 80 - x / 2 + t);
        break;
    case 1: // falling
        for (int x = 5; x < 115; ++x)
            SetWhite(image, x, 5 + x * 2 / 3);
        break;
    case 2: // white only in column 0
        SetWhite(image, 0, 7);
        break;
    case 3: // nothing white
        break;
    }
    return image;
}

bool runThread(WindowUnderTest& window)
{
    window->Button1->Click();
    return ProcessEventsUntil([&] { return window.ButtonsEnabled() && TThread::InstanceCount() == 0; });
}

TEST(ThreadRun, GivesTheSameCaptionsAsTheFormRun)
{
    for (int index = 0; index < 4; ++index) {
        WindowUnderTest window(shape(index));
        window->Button2->Click();
        const std::vector<std::string> byForm = window.Captions();
        window->lblFr->SetText("stale");
        ASSERT_TRUE(runThread(window)) << "shape " << index;
        EXPECT_EQ(window.Captions(), byForm) << "shape " << index;
    }
}

TEST(ThreadRun, TheWindowKeepsWorkingWhileTheButtonsStayDisabled)
{
    QImage big = SolidImage(6000, 4000, 10, 10, 10);
    SetWhite(big, 5999, 3999);
    SetWhite(big, 1, 0);
    WindowUnderTest window(big);
    const std::vector<std::string> reset = window.Captions();

    int ticksWhileRunning = 0;
    bool enabledTooEarly = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (window->lblSlope->Text() == reset[2]) {
            ++ticksWhileRunning;
            enabledTooEarly |= window->Button1->Enabled() || window->Button2->Enabled();
        }
    });
    timer.start(0);
    ASSERT_TRUE(runThread(window));
    EXPECT_GT(ticksWhileRunning, 0);
    EXPECT_FALSE(enabledTooEarly);
    EXPECT_EQ(window->lblFr->Text(), FrCaptionPrefix + "(  1:  0)");
    EXPECT_EQ(window->lblRe->Text(), ReCaptionPrefix + "(5999:3999)");
}

TEST(ThreadRun, EveryWorkerIsReleasedAfterItsRun)
{
    WindowUnderTest window(shape(0));
    // Counted after a first run: ThreadSanitizer starts a thread of its own with the first
    // thread the program makes, and keeps it.
    ASSERT_TRUE(runThread(window));
    const int threadsBefore = threadsInProcess();
    for (int run = 0; run < 100; ++run)
        ASSERT_TRUE(runThread(window)) << "run " << run;
    EXPECT_EQ(TThread::InstanceCount(), 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return threadsInProcess() <= threadsBefore; }))
        << threadsInProcess() << " threads against " << threadsBefore;
    EXPECT_TRUE(RecordedMessages().empty());
}

// A picture whose working copy cannot be allocated makes the run fail the way a real
// out-of-memory would.
void limitAddressSpaceToCurrentPlus(std::size_t bytes)
{
    std::size_t pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%zu", &pages) != 1)
        ExitNow(3);
    std::fclose(statm);
    const rlimit limit{pages * 4096 + bytes, pages * 4096 + bytes};
    setrlimit(RLIMIT_AS, &limit);
}

// Ends the child with 0 when the run started by the button failed with one message shown,
// no worker is left behind and both buttons stayed disabled.
[[noreturn]] void failRunForLackOfMemory(TButton* TForm1::*button)
{
    WindowUnderTest window(SolidImage(4, 4));
    window->Image1->Picture->Bitmap->SetImage(SolidImage(8000, 6000));
    limitAddressSpaceToCurrentPlus(100 << 20);
    (Form1->*button)->Click();
    const bool ended = ProcessEventsUntil([] {
        return !RecordedMessages().empty() && TThread::InstanceCount() == 0; });
    std::fprintf(stderr, "%s\n", RecordedMessages().empty() ? "-" : RecordedMessages()[0].c_str());
    const bool disabled = !window->Button1->Enabled() && !window->Button2->Enabled();
    ExitNow(ended && RecordedMessages().size() == 1 && disabled ? 0 : 1);
}

TEST(ThreadRun, AFailedRunIsShownAndItsWorkerStillReleased)
{
    if (BuiltWithSanitizers)
        GTEST_SKIP() << "an address-space limit does not mix with sanitizers";
    EXPECT_EXIT(failRunForLackOfMemory(&TForm1::Button1), ::testing::ExitedWithCode(0), "Not enough memory");
}

TEST(FormRun, AFailedRunIsShownAndTheButtonsStayDisabled)
{
    if (BuiltWithSanitizers)
        GTEST_SKIP() << "an address-space limit does not mix with sanitizers";
    EXPECT_EXIT(failRunForLackOfMemory(&TForm1::Button2), ::testing::ExitedWithCode(0), "Not enough memory");
}

TEST(ThreadRun, ClosingTheWindowMidRunEndsTheProgramCleanly)
{
    EXPECT_EXIT({
        ScratchDirectory dir;
        QImage big = SolidImage(8000, 6000, 10, 10, 10);
        SetWhite(big, 7000, 5000);
        WriteFile("test.bmp", BmpBytes(big));
        Application->CreateForm(&Form1);
        QTimer::singleShot(0, [] { Form1->Button1->Click(); });
        QTimer::singleShot(5, [] { Form1->Close(); });
        Application->Run();
        ExitNow(TThread::InstanceCount() == 0 ? 0 : 1);
    }, ::testing::ExitedWithCode(0), "");
}

}
