#include "TestSupport.h"
#include "Umain.h"
#include "Uprocess.h"
#include "Uscanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// The window goes on handling events while a run is under way, its buttons disabled until the
// run ends.
TEST(ThreadRun, TheWindowKeepsWorkingWhileTheButtonsStayDisabled)
{
    QImage big = SolidImage(6000, 4000, 10, 10, 10);
    SetWhite(big, 5999, 3999);
    SetWhite(big, 1, 0);
    WindowUnderTest window(big);
    int ticksWhileRunning = 0;
    bool enabledTooEarly = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (window->lblSlope->Text() == SlopeCaptionPrefix) {
            ++ticksWhileRunning;
            enabledTooEarly |= window->Button1->Enabled() || window->Button2->Enabled();
        }
    });
    timer.start(0);
    ASSERT_TRUE(window.RunThread());
    EXPECT_GT(ticksWhileRunning, 0);
    EXPECT_FALSE(enabledTooEarly);
    EXPECT_EQ(window->lblRe->Text(), ReCaptionPrefix + "(5999:3999)");
}

// From /proc/self/statm: the process's size and its resident part, in pages.
std::pair<long, long> statmPages()
{
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return {size, resident};
}

// A worker left behind, or memory that grows with every run, shows only over many runs. Counted
// after the first runs: ThreadSanitizer starts a thread of its own with the first thread the
// program makes, and keeps it.
TEST(ThreadRun, EveryWorkerIsReleasedAndNothingGrowsOverManyRuns)
{
    WindowUnderTest window(LinePicture({1500, 1000}, {100, 850}, {1399, 201}));
    const std::vector<std::string> expected = {
        FrCaptionPrefix + "(100:850)", ReCaptionPrefix + "(1399:201)", SlopeCaptionPrefix + "0.49962"};
    constexpr int runs = 200, settledAfter = 40;
    long residentAfterSettling = 0;
    int threadsAfterSettling = 0;
    for (int run = 1; run <= runs; ++run) {
        if (run % 2)
            window->Button2->Click();
        ASSERT_TRUE(run % 2 ? window.ButtonsEnabled() : window.RunThread()) << "run " << run << " did not end";
        ASSERT_EQ(window.Captions(), expected) << "run " << run;
        if (run == settledAfter) {
            residentAfterSettling = statmPages().second * (sysconf(_SC_PAGESIZE) / 1024);
            threadsAfterSettling = ThreadsInProcess();
        }
    }
    EXPECT_TRUE(ProcessEventsUntil([&] { return ThreadsInProcess() <= threadsAfterSettling; }));
    EXPECT_TRUE(RecordedMessages().empty());
    EXPECT_EQ(window->Image1->Picture->Bitmap->Image(), LinePicture({1500, 1000}, {100, 850}, {1399, 201}));
    // AddressSanitizer holds freed memory back for a while to catch late use of it.
    if (!BuiltWithSanitizers) {
        EXPECT_LT(statmPages().second * (sysconf(_SC_PAGESIZE) / 1024) - residentAfterSettling, 16 * 1024);
    }
}

// Ends the child with 0 when the run started by the button failed for lack of memory for the
// working copy, with one message shown, no worker left behind and both buttons still disabled.
[[noreturn]] void failRunForLackOfMemory(TButton* TForm1::*button)
{
    WindowUnderTest window(SolidImage(4, 4));
    window->Image1->Picture->Bitmap->SetImage(SolidImage(8000, 6000));
    const rlim_t room = rlim_t(statmPages().first) * 4096 + (100 << 20);
    const rlimit limit{room, room};
    setrlimit(RLIMIT_AS, &limit);
    (Form1->*button)->Click();
    const bool ended = ProcessEventsUntil([] { return !RecordedMessages().empty() && TThread::InstanceCount() == 0; });
    std::fprintf(stderr, "%s\n", RecordedMessages().empty() ? "-" : RecordedMessages()[0].c_str());
    ExitNow(ended && RecordedMessages().size() == 1 && !window->Button1->Enabled() && !window->Button2->Enabled() ? 0 : 1);
}

TEST(ThreadRun, AFailedRunIsShownAndItsWorkerStillReleased)
{
    if (BuiltWithSanitizers)
        GTEST_SKIP() << "an address-space limit does not mix with sanitizers";
    EXPECT_EXIT(failRunForLackOfMemory(&TForm1::Button1), ::testing::ExitedWithCode(0), "Not enough memory");
    EXPECT_EXIT(failRunForLackOfMemory(&TForm1::Button2), ::testing::ExitedWithCode(0), "Not enough memory");
}

// The window is closed as soon as the run is seen under way: its worker alive, the buttons
// disabled and no result shown.
TEST(ThreadRun, ClosingTheWindowMidRunEndsTheProgramCleanly)
{
    EXPECT_EXIT({
        ScratchDirectory dir;
        QImage big = SolidImage(8000, 6000, 10, 10, 10);
        SetWhite(big, 7000, 5000);
        WriteFile("test.bmp", BmpBytes(big));
        Application->CreateForm(&Form1);
        bool closedMidRun = false;
        QTimer::singleShot(0, [&] {
            Form1->Button1->Click();
            closedMidRun = TThread::InstanceCount() == 1 && !Form1->Button2->Enabled()
                && Form1->lblSlope->Text() == SlopeCaptionPrefix;
            Form1->Close();
        });
        Application->Run();
        ExitNow(closedMidRun && TThread::InstanceCount() == 0 ? 0 : 1);
    },
                ::testing::ExitedWithCode(0), "");
}

// A picture dropped on the window takes the place of the one shown and the captions start over;
// one that cannot be read gives the message a bad test.bmp gives; drops are left alone mid-run.
TEST(Window, ADroppedPictureIsTheOneMeasured)
{
    WindowUnderTest window(SolidImage(40, 30));
    WriteFile("line.bmp", BmpBytes(LinePicture({120, 90}, {10, 80}, {110, 20})));
    const auto drop = [&](const QString& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QDir::current().absoluteFilePath(file))});
        // Qt hands a drop only to the widget that took the drag as it entered.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->Widget(), &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->Widget(), &event);
    };
    window->Button2->Click();
    window->Button1->SetEnabled(false);
    drop("line.bmp");
    EXPECT_EQ(window->Image1->Picture->Bitmap->Width(), 40);
    window->Button1->SetEnabled(true);
    drop("line.bmp");
    EXPECT_EQ(window.Captions(), (std::vector<std::string>{FrCaptionPrefix, ReCaptionPrefix, SlopeCaptionPrefix}));
    window->Button2->Click();
    EXPECT_EQ(window.Captions()[0], FrCaptionPrefix + "( 10: 80)");
    drop("missing.bmp");
    ASSERT_EQ(RecordedMessages().size(), 1u);
    EXPECT_NE(RecordedMessages()[0].find("missing.bmp\": the file does not exist."), std::string::npos);
}

TEST(Window, ShownCaptionsAreTheBarePrefixesDecodedFromBig5)
{
    WindowUnderTest window(SolidImage(4, 4));
    EXPECT_EQ(window.Captions(), (std::vector<std::string>{FrCaptionPrefix, ReCaptionPrefix, SlopeCaptionPrefix}));
    QStringList shown;
    for (TLabel* label : {window->lblFr, window->lblRe, window->lblSlope})
        shown << static_cast<QLabel*>(label->Widget())->text();
    EXPECT_EQ(shown, QString::fromUtf8("右邊座標:|左邊座標:|斜率:").split('|'));
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST(FormRun, LabelsGrowToTheirCaptions)
{
    WindowUnderTest window(LinePicture({2000, 1500}, {1024, 12}, {1999, 1400}));
    window->Button2->Click();
    for (TLabel* label : {window->lblFr, window->lblRe, window->lblSlope}) {
        auto* widget = static_cast<QLabel*>(label->Widget());
        EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(widget->text()));
    }
    EXPECT_EQ(window->lblFr->Text(), FrCaptionPrefix + "(1024: 12)");
}

// A file from tests/data/bad, made from a sound picture by changing one thing, that the window
// is given as its test.bmp, and words of the reason the message gives.
struct BadPicture {
    const char* file;
    const char* reason;
};

const BadPicture rejected[] = {
    {"missing.bmp", "the file does not exist"},
    {"empty.bmp", "the file is empty"},
    {"text.bmp", "not a picture"},
    {"header-cut-in-file-header.bmp", "header is cut short"},
    {"header-cut-in-info-header.bmp", "header is cut short"},
    {"pixels-cut-short.bmp", "pixel data is cut short"},
    {"pixel-offset-past-end.bmp", "past the end"},
    {"width-zero.bmp", "no pixels"},
    {"height-zero.bmp", "no pixels"},
    {"width-negative.bmp", "no pixels"},
    {"height-int-min.bmp", "height of -2147483648 rows"},
    {"beyond-pixel-limit.bmp", "pixels this program handles"},
    {"beyond-int-range.bmp", "pixels this program handles"},
    {"beyond-int-range-widest.bmp", "pixels this program handles"},
    {"palette-size-huge.bmp", "palette claims"},
    {"bits-per-pixel-0.bmp", "bits per pixel"},
    {"bits-per-pixel-7.bmp", "bits per pixel"},
    {"bits-per-pixel-64.bmp", "bits per pixel"},
    {"png-cut-short.png", "cut short"},
    {"jpeg-cut-short.jpg", "cut short"},
    {"palette-index-past-palette-8bit.bmp", "of a palette of"},
    {"palette-index-past-palette-4bit.bmp", "of a palette of"},
    {"rle8-index-past-palette.bmp", "of a palette of"},
    {"rle8-run-past-row.bmp", "past the end of row"},
    {"rle8-absolute-past-row.bmp", "past the end of row"},
    {"rle8-rows-past-picture.bmp", "past the last row"},
    {"rle8-delta-past-picture.bmp", "past the picture"},
    {"rle4-run-past-row.bmp", "past the end of row"},
    {"rle4-absolute-past-row.bmp", "past the end of row"},
    {"rle4-rows-past-picture.bmp", "past the last row"},
    {"rle8-cut-short.bmp", "cut short"},
    {"bitfields-masks-zero.bmp", "mask of a colour is zero"},
    {"bitfields-masks-overlap.bmp", "masks overlap"},
};

// Null, for no test.bmp at all, for a file that is not there.
QByteArray badPictureBytes(const char* file)
{
    QFile source(QStringLiteral(SLOPEMETER_TEST_DATA "/bad/") + file);
    if (!source.open(QIODevice::ReadOnly))
        return QByteArray();
    // Not null even when empty, so that the window is given an empty file rather than none.
    return QByteArray("").append(source.readAll());
}

class BadPictureInTheWindow : public ::testing::TestWithParam<BadPicture> {};

TEST_P(BadPictureInTheWindow, OneMessageThenAnEmptyPicture)
{
    const BadPicture& bad = GetParam();
    SCOPED_TRACE(bad.file);
    WindowUnderTest window(badPictureBytes(bad.file));
    const Graphics::TBitmap* shown = window->Image1->Picture->Bitmap;
    ASSERT_EQ(RecordedMessages().size(), 1u) << "loaded as a " << shown->Width() << " x " << shown->Height() << " picture";
    const std::string& message = RecordedMessages()[0];
    const std::size_t named = message.find("\"test.bmp\": ");
    ASSERT_NE(named, std::string::npos) << message;
    EXPECT_NE(message.find(bad.reason, named), std::string::npos) << message;
    EXPECT_TRUE(shown->Image().isNull());
    EXPECT_TRUE(window->Widget()->isVisible());

    window->Button2->Click();
    EXPECT_EQ(window.Captions(), EmptyPictureCaptions);
    EXPECT_TRUE(window.ButtonsEnabled());
    EXPECT_EQ(RecordedMessages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rejected, BadPictureInTheWindow, ::testing::ValuesIn(rejected));

}
