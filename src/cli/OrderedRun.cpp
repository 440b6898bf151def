#include "OrderedRun.h"

#include "MeasurementJob.h"
#include "NameList.h"
#include "StandardOutput.h"
#include "StopSignals.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Enough names ahead that no thread waits for one, few enough to stay small.
constexpr int namesAheadPerJob = 4;

class WorkQueue {
public:
    WorkQueue(int jobs, const std::function<Measurement(const QString&)>& measure)
        : measure_(measure)
    {
        try {
            const StandardOutput::SignalsHeldBack onlyForTheWriter;
            for (int t = 0; t < jobs; ++t)
                workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // The system gives no more threads: the run goes on with those it has, or with none
            // but this one.
        }
    }

    ~WorkQueue()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        pending_.notify_all();
    }

    void push(std::int64_t index, QString name)
    {
        if (workers_.empty()) {
            Measurement measurement = measure_(name);
            std::lock_guard lock(mutex_);
            results_.emplace(index, std::move(measurement));
            return;
        }
        {
            std::lock_guard lock(mutex_);
            tasks_.emplace_back(index, std::move(name));
        }
        pending_.notify_one();
    }

    // A result that needs no measuring, in its place among the others.
    void pushDone(std::int64_t index, Measurement measurement)
    {
        {
            std::lock_guard lock(mutex_);
            results_.emplace(index, std::move(measurement));
        }
        finished_.notify_one();
    }

    bool isDone(std::int64_t index)
    {
        std::lock_guard lock(mutex_);
        return results_.contains(index);
    }

    Measurement take(std::int64_t index)
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return results_.contains(index); });
        const auto found = results_.find(index);
        Measurement measurement = std::move(found->second);
        results_.erase(found);
        return measurement;
    }

private:
    void work()
    {
        for (;;) {
            std::pair<std::int64_t, QString> task;
            {
                std::unique_lock lock(mutex_);
                pending_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
                if (stopping_)
                    return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            Measurement measurement = measure_(task.second);
            {
                std::lock_guard lock(mutex_);
                results_.emplace(task.first, std::move(measurement));
            }
            finished_.notify_one();
        }
    }

    const std::function<Measurement(const QString&)>& measure_;
    std::mutex mutex_;
    std::condition_variable pending_;
    std::condition_variable finished_;
    std::deque<std::pair<std::int64_t, QString>> tasks_;
    std::map<std::int64_t, Measurement> results_;
    bool stopping_ = false;
    // Last, so that the threads end before what they use goes.
    std::vector<std::jthread> workers_;
};

}

void runInOrder(NameList& names, int jobs, const std::function<Measurement(const QString&)>& measure,
                const std::function<void(const Measurement&)>& deliver, const std::function<void()>& readStream)
{
    const std::int64_t window = std::int64_t(jobs) * namesAheadPerJob;
    WorkQueue queue(jobs, measure);
    std::int64_t taken = 0;
    std::int64_t delivered = 0;
    const auto deliverTaken = [&] {
        for (; delivered < taken; ++delivered)
            deliver(queue.take(delivered));
    };
    QString name;
    for (bool more = !StopSignals::Requested(); more; more = more && !StopSignals::Requested()) {
        // The next name may be slow to come, as from a program that names pictures as it makes them.
        while (delivered < taken && queue.isDone(delivered))
            deliver(queue.take(delivered++));
        try {
            more = names.next(&name);
        } catch (...) {
            // The pictures already named are still measured and printed before the list's fault.
            deliverTaken();
            throw;
        }
        if (more && !names.lineError().isEmpty()) {
            Measurement failed;
            failed.file = name;
            failed.error = names.lineError();
            queue.pushDone(taken++, std::move(failed));
            if (taken - delivered == window)
                deliver(queue.take(delivered++));
        } else if (more && names.namesStandardInput()) {
            deliverTaken();
            readStream();
        } else if (more) {
            queue.push(taken++, name);
            if (taken - delivered == window)
                deliver(queue.take(delivered++));
        }
    }
    deliverTaken();
}
