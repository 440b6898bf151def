#include "Classes.h"
#include "Forms.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

class Runs : public TThread {
public:
    explicit Runs(std::function<void()> body, const Construction& construction = {})
        : TThread(false, construction), body_(std::move(body)) {}
    ~Runs() override { releasedOnWindowThread = WindowThread::IsCurrent(); }

    static inline std::atomic<bool> releasedOnWindowThread{false};

protected:
    void Execute() override { body_(); }

private:
    std::function<void()> body_;
};

TEST(Thread, ExecuteStartsOnlyOnceTheDerivedConstructorHasRun)
{
    class SlowToConstruct : public TThread {
    public:
        explicit SlowToConstruct(const Construction& construction = {})
            : TThread(false, construction)
        {
            QThread::msleep(50);
            ready = 42;
        }
        int ready = 0;
        std::atomic<int> seen{-1};

    protected:
        void Execute() override { seen = ready; }
    };
    std::unique_ptr<SlowToConstruct> running(new SlowToConstruct);
    running->WaitFor();
    EXPECT_EQ(running->seen, 42);
}

TEST(Thread, AnExceptionLeavingExecuteIsHeldAndShowsNothing)
{
    RecordedMessages().clear();
    std::unique_ptr<Runs> thread(new Runs([] { throw Exception("worker failed"); }));
    thread->WaitFor();
    // Whatever the window's thread has queued so far runs first.
    bool drained = false;
    WindowThread::Post([&] { drained = true; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return drained; }));
    EXPECT_TRUE(thread->Finished());
    EXPECT_THROW(std::rethrow_exception(thread->FatalException()), Exception);
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST(Thread, CallsCarriedToTheWindowThreadRunThereInOrder)
{
    // Negative for a step run off the window's thread.
    std::vector<int> order;
    auto note = [&](int step) { order.push_back(WindowThread::IsCurrent() ? step : -step); };
    std::string caught;
    std::unique_ptr<Runs> thread(new Runs([&] {
        TThread::Queue([&] { note(1); });
        TThread::Synchronize([&] { note(2); });
        TThread::Queue([&] { note(3); });
        try {
            TThread::Synchronize([] { throw Exception("no picture"); });
        } catch (const Exception& failure) {
            caught = failure.Message;
        }
        TThread::Queue([&] { note(4); });
    }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return order.size() == 4; }));
    thread->WaitFor();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(caught, "no picture") << "a failure in a synchronized call reaches the worker";
}

TEST(Thread, FreeOnTerminateReleasesTheObjectOnTheWindowThread)
{
    const int before = TThread::InstanceCount();
    Runs::releasedOnWindowThread = false;
    new Runs([] { TThread::CurrentThread()->FreeOnTerminate = true; });
    EXPECT_TRUE(ProcessEventsUntil([&] { return TThread::InstanceCount() == before; }));
    EXPECT_TRUE(Runs::releasedOnWindowThread);
}

TEST(Handlers, AFailureLeavingAHandlerIsShownNotThrown)
{
    TButton button(nullptr);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { throw Exception("framework failure"); }, "framework failure"},
        {[] { throw std::runtime_error("library failure"); }, "library failure"},
        {[] { throw 42; }, ""},
    };
    for (const auto& [fail, expected] : cases) {
        RecordedMessages().clear();
        // Clang 14 cannot capture a structured binding; a copy of the handler can be.
        button.OnClick = [fail = fail](TObject*) { fail(); };
        button.Click();
        ASSERT_EQ(RecordedMessages(), std::vector<std::string>{expected});
    }
    RecordedMessages().clear();
    button.SetEnabled(false);
    button.Click();
    EXPECT_TRUE(RecordedMessages().empty()) << "a disabled button ignores clicks";
}

using Graphics::TBitmap;

// Small pictures and large ones (whose pixels are mapped apart from the allocator) alike: a copy,
// its pixels written or replaced, never writes back to its source.
TEST(Bitmap, CopiesNeverReachTheSharedSource)
{
    std::unique_ptr<TBitmap> source(NewBitmap(SolidImage(4, 3, 10, 20, 30)));
    TBitmap copy;
    copy.Assign(source.get());
    copy.ScanLine(1)[3] = 0xFF;
    EXPECT_EQ(source->Canvas->Pixels(1, 1), 0x1E140A);
    EXPECT_EQ(copy.Canvas->Pixels(1, 1), 0xFF140A);
    EXPECT_EQ(copy.ScanLine(0)[0], 30) << "blue comes first in memory";
    EXPECT_EQ(copy.Canvas->Pixels(4, 0), clInvalid);
    EXPECT_EQ(copy.Canvas->Pixels(0, -1), clInvalid);

    QImage palette(7, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(1, 2, 3)});
    palette.fill(0);
    for (const QImage& image : {SolidImage(5, 3, 10, 20, 30), SolidImage(1501, 1001, 10, 20, 30), palette, QImage()}) {
        std::unique_ptr<TBitmap> shared(NewBitmap(image));
        TBitmap unset;
        unset.Assign(shared.get());
        unset.ReplaceWithUnsetPixels(pf24bit);
        EXPECT_EQ(unset.PixelFormat(), pf24bit);
        EXPECT_EQ(unset.Image().size(), image.size());
        for (int y = 0; y < unset.Height(); ++y)
            std::memset(unset.ScanLine(y), 0xFF, std::size_t(3 * unset.Width()));
        EXPECT_EQ(shared->Image(), image);

        // The pixels outlive the bitmap that made them while another still shares them.
        auto later = std::make_unique<TBitmap>();
        later->Assign(&unset);
        unset.SetImage(QImage());
        EXPECT_EQ(unset.PixelFormat(), pfDevice) << "no picture is no 24-bit one";
        EXPECT_EQ(later->Canvas->Pixels(image.width() - 1, image.height() - 1), image.isNull() ? clInvalid : clWhite);
    }
}

}
