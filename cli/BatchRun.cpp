#include "BatchRun.h"

#include "CommandLine.h"
#include "FileWriting.h"
#include "MemoryBudget.h"
#include "MeasurementJob.h"
#include "ProgressLine.h"
#include "NameEscaping.h"
#include "ResultPrinter.h"
#include "StandardOutput.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FailureStatus = 1;

// A progress line is only worth its flicker when the run takes a while.
constexpr int fewFiles = 3;

// Runs measure(i) for every i in [0, count) on up to jobs threads and hands the results to
// deliver on this thread in order of i, each as soon as it and those before it are done.
void measureInOrder(int count, int jobs, const std::function<Measurement(int)>& measure,
                    const std::function<void(const Measurement&)>& deliver)
{
    std::vector<std::optional<Measurement>> results(static_cast<std::size_t>(count));
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<int> next = 0;
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) {
            Measurement measurement = measure(i);
            {
                std::lock_guard lock(mutex);
                results[std::size_t(i)] = std::move(measurement);
            }
            finished.notify_one();
        }
    };
    std::vector<std::jthread> workers;
    try {
        const StandardOutput::SignalsHeldBack onlyForTheWriter;
        for (int t = 0; t < std::min(jobs, count); ++t)
            workers.emplace_back(work);
    } catch (const std::system_error&) {
        // The system gives no more threads: the run goes on with those it has.
    }
    if (workers.empty()) {
        for (int i = next++; i < count; i = next++)
            deliver(measure(i));
        return;
    }
    for (int i = 0; i < count; ++i) {
        std::optional<Measurement> result;
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return results[std::size_t(i)].has_value(); });
            result.swap(results[std::size_t(i)]);
        }
        deliver(*result);
    }
}

ResultPrinter::Style printStyle(const CliOptions& options)
{
    if (options.json)
        return ResultPrinter::Style::Json;
    return options.files.size() > 1 ? ResultPrinter::Style::NamedCaptions : ResultPrinter::Style::Captions;
}

bool makeAnnotationDirectory(const QString& directory)
{
    const std::string why = MakeFolders(BytesFromName(directory).toStdString());
    if (why.empty())
        return true;
    std::fprintf(stderr, "%s: cannot make the folder '%s' for the annotated pictures: %s\n",
                 qPrintable(QCoreApplication::applicationName()), TerminalText(directory).constData(), why.c_str());
    return false;
}

// Output that never reached its reader must not end in a status that says all went well.
bool resultsWritten()
{
    if (StandardOutput::Failure().isEmpty())
        return true;
    std::fprintf(stderr, "%s: cannot write the results: %s\n",
                 qPrintable(QCoreApplication::applicationName()), qPrintable(StandardOutput::Failure()));
    return false;
}

}

int runBatch(const CliOptions& options)
{
    std::optional<AnnotationTargets> annotations;
    if (!options.annotationDirectory.isEmpty()) {
        if (!makeAnnotationDirectory(options.annotationDirectory))
            return UsageErrorStatus;
        annotations.emplace(options.annotationDirectory);
    }
    MemoryBudget budget(options.memory);
    const MeasurementJob job(options.level, annotations, &budget);
    const int count = int(options.files.size());
    ProgressLine progress(count, count > fewFiles && isatty(STDERR_FILENO));
    ResultPrinter printer(printStyle(options));
    bool allWell = true;
    const auto measure = [&](int i) {
        Measurement measurement = job.run(options.files[i]);
        progress.advance();
        return measurement;
    };
    const auto deliver = [&](const Measurement& measurement) {
        progress.printAbove([&] { printer.print(measurement); });
        if (!measurement.error.isEmpty()) {
            progress.reportFailure(measurement.error);
            allWell = false;
        }
    };
    measureInOrder(count, options.jobs, measure, deliver);
    progress.finish();
    return resultsWritten() && allWell ? 0 : FailureStatus;
}
