#include "WorkerThread.h"

#include "StandardOutput.h"

#include <system_error>

WorkerThread::~WorkerThread()
{
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool WorkerThread::start()
{
    if (thread_.joinable())
        return true;
    try {
        // A signal that ends a stream must reach the thread that waits for its bytes.
        const StandardOutput::SignalsHeldBack onlyForTheReader;
        thread_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThread::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}
