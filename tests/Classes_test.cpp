#include "Classes.h"
#include "Forms.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

class SlowToConstruct : public TThread {
public:
    explicit SlowToConstruct(bool suspended, const Construction& construction = {})
        : TThread(suspended, construction)
    {
        QThread::msleep(50);
        ready = 42;
    }
    int ready = 0;
    std::atomic<int> seen{-1};

protected:
    void Execute() override { seen = ready; }
};

class Runs : public TThread {
public:
    explicit Runs(std::function<void()> body, const Construction& construction = {})
        : TThread(false, construction), body_(std::move(body)) {}

protected:
    void Execute() override { body_(); }

private:
    std::function<void()> body_;
};

TEST(Thread, ExecuteStartsOnlyOnceTheDerivedConstructorHasRun)
{
    std::unique_ptr<SlowToConstruct> running(new SlowToConstruct(false));
    running->WaitFor();
    EXPECT_EQ(running->seen, 42);

    std::unique_ptr<SlowToConstruct> suspended(new SlowToConstruct(true));
    QThread::msleep(20);
    EXPECT_EQ(suspended->seen, -1);
    suspended->Start();
    suspended->WaitFor();
    EXPECT_EQ(suspended->seen, 42);
}

TEST(Thread, AnExceptionLeavingExecuteIsHeldAndEndsTheThread)
{
    std::unique_ptr<Runs> thread(new Runs([] { throw Exception("worker failed"); }));
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
    ASSERT_TRUE(thread->FatalException());
    try {
        std::rethrow_exception(thread->FatalException());
    } catch (const Exception& failure) {
        EXPECT_EQ(failure.Message, "worker failed");
    }
    EXPECT_TRUE(RecordedMessages().empty() || RecordedMessages().back() != "worker failed");
}

TEST(Thread, CallsCarriedToTheWindowThreadRunThereInOrder)
{
    std::vector<int> order;
    std::vector<bool> onWindowThread;
    auto note = [&](int step) {
        order.push_back(step);
        onWindowThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
    };
    std::unique_ptr<Runs> thread(new Runs([&] {
        TThread::Queue([&] { note(1); });
        TThread::Synchronize([&] { note(2); });
        TThread::Queue([&] { note(3); });
        TThread::Queue([&] { note(4); });
    }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return order.size() == 4; }));
    thread->WaitFor();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(onWindowThread, (std::vector<bool>(4, true)));
}

TEST(Thread, AFailureInASynchronizedCallReachesTheWorker)
{
    std::string caught;
    std::unique_ptr<Runs> thread(new Runs([&] {
        try {
            TThread::Synchronize([] { throw Exception("no picture"); });
        } catch (const Exception& failure) {
            caught = failure.Message;
        }
    }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return thread->Finished(); }));
    EXPECT_EQ(caught, "no picture");
}

TEST(Thread, FreeOnTerminateReleasesTheObjectOnTheWindowThread)
{
    const int before = TThread::InstanceCount();
    auto* thread = new Runs([] { TThread::CurrentThread()->FreeOnTerminate = true; });
    (void)thread;
    EXPECT_TRUE(ProcessEventsUntil([&] { return TThread::InstanceCount() == before; }));
}

TEST(Thread, ClosingWhileAWorkerWaitsForTheWindowEndsCleanly)
{
    EXPECT_EXIT({
        std::atomic<bool> waiting{false};
        std::atomic<bool> aborted{false};
        auto* thread = new Runs([&] {
            waiting = true;
            try {
                TThread::Synchronize([] {});
            } catch (const EThreadAborted&) {
                aborted = true;
            }
            TThread::CurrentThread()->FreeOnTerminate = true;
        });
        (void)thread;
        while (!waiting)
            QThread::msleep(1);
        WindowThread::Shutdown();
        ExitNow(aborted && TThread::InstanceCount() == 0 ? 0 : 1);
    }, ::testing::ExitedWithCode(0), "");
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
        ASSERT_EQ(RecordedMessages().size(), 1u);
        EXPECT_EQ(RecordedMessages()[0], expected);
    }
    RecordedMessages().clear();
    button.SetEnabled(false);
    button.Click();
    EXPECT_TRUE(RecordedMessages().empty()) << "a disabled button ignores clicks";
}

}
