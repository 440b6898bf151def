#include "TestSupport.h"
#include "Umain.h"
#include "Uprocess.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

namespace {

long residentKilobytes()
{
    long size = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return -1;
    const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

int threadsInProcess()
{
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// 1500 x 1000, a line rising from (100, 850) to (1399, 201).
QImage midSizePicture()
{
    QImage picture = SolidImage(1500, 1000, 30, 40, 50);
    for (int x = 100; x < 1400; ++x)
        SetWhite(picture, x, 900 - x / 2);
    return picture;
}

bool runOnce(WindowUnderTest& window, int run)
{
    if (run % 2 == 1) {
        window->Button2->Click();
        return window.ButtonsEnabled();
    }
    window->Button1->Click();
    return ProcessEventsUntil([&] { return window.ButtonsEnabled() && TThread::InstanceCount() == 0; });
}

// Memory that grows with every run, or a worker left behind, shows only over many runs.
TEST(Stress, FiveHundredRunsAlternatingFormAndThread)
{
    WindowUnderTest window(midSizePicture());
    const std::vector<std::string> expected = {
        FrCaptionPrefix + "(100:850)", ReCaptionPrefix + "(1399:201)", SlopeCaptionPrefix + "0.49962"};
    constexpr int runs = 500;
    constexpr int settledAfter = 50;
    long residentAfterSettling = 0;
    int threadsAfterSettling = 0;
    for (int run = 1; run <= runs; ++run) {
        ASSERT_TRUE(runOnce(window, run)) << "run " << run << " did not end";
        ASSERT_EQ(window.Captions(), expected) << "run " << run;
        if (run == settledAfter) {
            residentAfterSettling = residentKilobytes();
            threadsAfterSettling = threadsInProcess();
        }
    }
    const long residentAtEnd = residentKilobytes();
    EXPECT_EQ(TThread::InstanceCount(), 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return threadsInProcess() <= threadsAfterSettling; }))
        << threadsInProcess() << " threads against " << threadsAfterSettling;
    EXPECT_TRUE(RecordedMessages().empty());

    std::printf("resident memory after run %d: %ld KB; after run %d: %ld KB\n", settledAfter,
                residentAfterSettling, runs, residentAtEnd);
    // AddressSanitizer holds freed memory back for a while to catch late use of it, which is
    // growth of its own.
    if (BuiltWithSanitizers)
        return;
    EXPECT_LT(residentAtEnd - residentAfterSettling, 16 * 1024);
}

}
