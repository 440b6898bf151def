#include "BatchRun.h"

#include "CommandLine.h"
#include "FileWriting.h"
#include "FrameStream.h"
#include "HtmlReport.h"
#include "MemoryBudget.h"
#include "MeasurementJob.h"
#include "NameList.h"
#include "OrderedRun.h"
#include "ProgressLine.h"
#include "NameEscaping.h"
#include "ReportFile.h"
#include "ResultPrinter.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "SysUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int FailureStatus = 1;

// A progress line is only worth its flicker when the run takes a while.
constexpr int fewFiles = 3;

ResultPrinter::Style printStyle(const CliOptions& options)
{
    if (options.json)
        return ResultPrinter::Style::Json;
    if (options.csv)
        return ResultPrinter::Style::Csv;
    const bool several = options.files.size() > 1 || !options.filesFrom.isEmpty()
        || options.files.contains(StandardInputName);
    return several ? ResultPrinter::Style::NamedCaptions : ResultPrinter::Style::Captions;
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

ReportSettings reportSettings(const CliOptions& options)
{
    ReportSettings settings;
    settings.level = options.measure.level;
    settings.fit = options.measure.fit;
    settings.stream = options.files.contains(StandardInputName);
    settings.annotationDirectory = options.annotationDirectory;
    if (!settings.annotationDirectory.isEmpty())
        settings.annotationLink = QDir(QFileInfo(options.report).absolutePath())
                                      .relativeFilePath(QFileInfo(options.annotationDirectory).absoluteFilePath());
    return settings;
}

// The page and its file, when the run writes one; the page is put in place however the run ends.
class RunReport {
public:
    explicit RunReport(const CliOptions& options)
    {
        if (options.report.isEmpty())
            return;
        file_.emplace(options.report, options.overwrite);
        page_.emplace(reportSettings(options), [this](const QByteArray& text) { file_->Write(text); });
        path_ = options.report;
        StopSignals::Catch();
    }

    void add(const Measurement& measurement)
    {
        if (page_)
            page_->Add(measurement);
    }

    // Why the page cannot be written at all, said before any picture is measured, so that a long
    // run is not spent on a page that would be lost; an empty text when it can.
    QString openError() const { return file_ ? file_->Error() : QString(); }

    // False, having said why, when the page could not be written.
    bool finish()
    {
        if (!page_)
            return true;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        page_->Finish(seconds, StopSignals::Requested());
        const QString why = file_->Finish();
        if (why.isEmpty())
            return true;
        std::fprintf(stderr, "%s: cannot write the report '%s': %s\n", qPrintable(QCoreApplication::applicationName()),
                     TerminalText(path_).constData(), why.toUtf8().constData());
        return false;
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    QString path_;
    std::optional<ReportFile> file_;
    std::optional<HtmlReport> page_;
};

}

int runBatch(const CliOptions& options)
{
    std::optional<AnnotationTargets> annotations;
    if (!options.annotationDirectory.isEmpty()) {
        if (!makeAnnotationDirectory(options.annotationDirectory))
            return UsageErrorStatus;
        annotations.emplace(options.annotationDirectory);
    }
    NameList names(options.files, options.filesFrom, options.nullSeparated);
    if (!names.openError().isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     names.openError().toUtf8().constData());
        return UsageErrorStatus;
    }
    RunReport report(options);
    if (!report.openError().isEmpty()) {
        std::fprintf(stderr, "%s: cannot write the report '%s': %s\n", qPrintable(QCoreApplication::applicationName()),
                     TerminalText(options.report).constData(), report.openError().toUtf8().constData());
        return FailureStatus;
    }
    MemoryBudget budget(options.memory);
    const MeasurementJob job(options.measure, annotations, &budget);
    const bool listed = !options.filesFrom.isEmpty();
    const int count = listed ? ProgressLine::UnknownTotal
                             : int(options.files.size() - options.files.count(StandardInputName));
    ProgressLine progress(count, (listed || count > fewFiles) && isatty(STDERR_FILENO));
    ResultPrinter printer(printStyle(options), options.measure.fit);
    const auto write = [](const QByteArray& text) {
        if (!text.isEmpty())
            StandardOutput::Write(text);
    };
    write(printer.Start());
    bool allWell = true;
    const auto measure = [&](const QString& file) {
        Measurement measurement = job.run(file);
        progress.advance();
        return measurement;
    };
    const auto deliver = [&](const Measurement& measurement) {
        progress.printAbove([&] { write(printer.Format(measurement)); });
        report.add(measurement);
        if (!measurement.error.isEmpty()) {
            progress.reportFailure(measurement.error);
            allWell = false;
        }
    };
    const auto readStream = [&] {
        progress.beginFrames(isatty(STDERR_FILENO));
        // Each result is written as it is delivered, so it is passed on before the next frame is waited for.
        FrameStream frames(STDIN_FILENO, options.measure, job.frameShareCheck());
        frames.run([&](const Measurement& measurement) {
            progress.advanceFrame();
            deliver(measurement);
        });
        progress.endFrames();
    };
    try {
        runInOrder(names, options.jobs, measure, deliver, readStream);
    } catch (const Exception& failure) {
        progress.reportFailure(QString::fromStdString(failure.Message));
        allWell = false;
    }
    progress.finish();
    const bool reportWritten = report.finish();
    StopSignals::EndAsRequested();
    return resultsWritten() && reportWritten && allWell ? 0 : FailureStatus;
}
