#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

// One thread that runs the jobs handed to it in order, started with the first of them and kept,
// so that a job a frame costs no thread of its own. Where no thread can be started, a job runs
// at once, on the caller's thread.
class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Waits for the jobs handed over to end.
    ~WorkerThread();

    template <class Job>
    auto run(Job job) -> std::future<decltype(job())>
    {
        auto task = std::make_shared<std::packaged_task<decltype(job())()>>(std::move(job));
        std::future<decltype(job())> result = task->get_future();
        if (!start()) {
            (*task)();
            return result;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back([task] { (*task)(); });
        }
        wake_.notify_one();
        return result;
    }

private:
    bool start();
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};
