#include "CommandLine.h"

#include "Annotation.h"
#include "MemoryBudget.h"
#include "NameEscaping.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <limits>
#include <sys/stat.h>

namespace {

CommandLine usageError(const QString& why)
{
    CommandLine result;
    result.exitStatus = UsageErrorStatus;
    result.text = QCoreApplication::applicationName() + ": " + why + "\nTry '"
        + QCoreApplication::applicationName() + " --help' for more information.\n";
    return result;
}

CommandLine printAndExit(const QString& text)
{
    CommandLine result;
    result.text = text;
    return result;
}

bool readInt(const QString& text, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

class CommandLineReader {
public:
    CommandLineReader();

    CommandLine read(const QStringList& arguments);

private:
    CommandLine readOptions();
    QString helpText() const;
    CommandLine readAnnotationDirectory(CommandLine result);
    CommandLine readReport(CommandLine result);
    QString conflictingInputs(const CliOptions& options) const;

    QCommandLineParser parser_;
    const QCommandLineOption help_ = parser_.addHelpOption();
    const QCommandLineOption version_ = parser_.addVersionOption();
    const QCommandLineOption level_{
        {"l", "level"},
        "A pixel is white when the mean of its three colour bytes is above N, 0 to 255 (default "
            + QString::number(DefaultLevel) + ").",
        "N",
        QString::number(DefaultLevel)};
    const QCommandLineOption json_{
        "json", "Print one JSON object per picture and line: \"file\", \"frame\" (frames of a stream only), "
                "\"fr\" and \"re\" (the points as [x,y]), \"slope\", \"angle\" (degrees from the horizontal, "
                "only when computed), \"computed\", or \"error\"."};
    const QCommandLineOption csv_{
        "csv", "Print CSV, quoted as RFC 4180 says: a header line (file, frame, fr_x, fr_y, re_x, re_y, slope, "
               "angle, computed, error), then a row per picture or frame. frame is empty for files, angle when "
               "no slope was computed, error when the picture was measured."};
    const QCommandLineOption fit_{
        "fit", "Fit a line through the bright line's whole length, to a fraction of a pixel, and add it to each "
               "result: with --json as \"fit\" (\"angle\" in degrees, rising to the right positive; \"slope\" "
               "dy/dx with y down; \"centre\"; \"ends\"; \"rms\" in pixels; \"angle_sd\", the angle's standard "
               "error; \"samples\"), null when no line is found; with --csv as the fit_ columns; else as a fourth "
               "line. With --annotate the fitted line is drawn too."};
    const QCommandLineOption filesFrom_{
        "files-from", "Measure also the pictures named in LIST, one a line, after those named as FILE; "
                      "LIST '-' is standard input. When its first line ends in CR LF, as lists written on "
                      "Windows do, a CR before each line break is taken as part of the line end.",
        "LIST"};
    const QCommandLineOption null_{"null", "The names in LIST each end with a NUL byte, as find -print0 writes them."};
    const QCommandLineOption annotate_{
        "annotate", "Write DIR/<name>.png: the picture with the found points and the line between them drawn.", "DIR"};
    const QCommandLineOption jobs_{{"j", "jobs"}, "Measure N pictures at a time (default: one per processor core).", "N"};
    const QCommandLineOption memory_{
        "memory", "Let the pictures measured at a time take at most SIZE of memory, e.g. 4G or 800M (default: half of the physical memory).", "SIZE"};
    const QCommandLineOption report_{
        "report", "Write also FILE, one HTML page that any browser shows offline: a summary of the run (counts, "
                  "time, median and spread of the angle), SVG charts of the angle per picture or frame and its "
                  "histogram (with --fit the fitted angle with its standard error and the rms), a table of every "
                  "result to sort and filter, and with --annotate thumbnails of the pictures farthest from the "
                  "median. A run stopped by Ctrl-C (SIGINT, SIGTERM, SIGHUP) still writes the page of what was "
                  "measured, marked as cut short.",
        "FILE"};
    const QCommandLineOption overwrite_{
        "overwrite", "Let --annotate replace files that are in DIR already, and --report a FILE that is there."};
};

CommandLineReader::CommandLineReader()
{
    parser_.setApplicationDescription(
        "Measures the tilt of a bright line in each picture, as the slopemeter window does.\n"
        "Prints the window's three captions for each picture, one JSON object per line, or CSV.\n"
        "JPEG, PNG and 24-bit BMP files are measured as they are read, a few rows at a time:\n"
        "up to 4000 megapixels and rows of up to 1000000 pixels. Other files, and every\n"
        "file with --annotate, are held whole: up to 150 megapixels.\n"
        "FILE '-' reads pictures back to back from standard input until it ends, as\n"
        "  ffmpeg -i line.mp4 -f image2pipe -c:v ppm - | slopemeter-cli --json -\n"
        "writes them: binary PNM (P4, P5, P6), BMP, PNG and JPEG (a camera's MJPEG stream), kinds\n"
        "mixed as they come. Each frame gives a result, numbered from 0; a damaged frame gives an\n"
        "error and the frames after it are measured; a stream that ends inside a frame ends the\n"
        "run with status 1. On a terminal the frames per second are shown on standard error.\n"
        "Exit status: 0 when every picture was measured, 1 when one was not, 2 for a usage error.");
    parser_.addOptions({level_, fit_, json_, csv_, annotate_, report_, overwrite_, jobs_, memory_, filesFrom_, null_});
    parser_.addPositionalArgument(
        "FILE",
        "Pictures to measure; '-' for frames on standard input. After --, every argument is a file, even "
        "one that starts with '-'.",
        "[--] [FILE...]");
}

CommandLine CommandLineReader::read(const QStringList& arguments)
{
    if (!parser_.parse(arguments))
        return usageError(parser_.errorText());
    if (parser_.isSet(help_))
        return printAndExit(helpText());
    if (parser_.isSet(version_))
        return printAndExit(QCoreApplication::applicationName() + " " + QCoreApplication::applicationVersion()
                            + "\n");
    return readOptions();
}

// Qt names the program as it was started, path and all; the usage line is the same wherever
// it lies.
QString CommandLineReader::helpText() const
{
    QString text = parser_.helpText();
    const QString usage = "Usage: ";
    if (text.startsWith(usage)) {
        const qsizetype nameEnd = text.indexOf(" [", usage.size());
        if (nameEnd > 0)
            text.replace(usage.size(), nameEnd - usage.size(), QCoreApplication::applicationName());
    }
    return text;
}

CommandLine CommandLineReader::readOptions()
{
    CommandLine result;
    CliOptions& options = result.options;
    if (!readInt(parser_.value(level_), &options.measure.level) || options.measure.level < 0
        || options.measure.level > 255)
        return usageError("--level needs a whole number from 0 to 255, not '" + parser_.value(level_) + "'.");
    options.jobs = std::max(QThread::idealThreadCount(), 1);
    if (parser_.isSet(jobs_) && (!readInt(parser_.value(jobs_), &options.jobs) || options.jobs < 1))
        return usageError("--jobs needs a whole number of 1 or more, not '" + parser_.value(jobs_)
                          + "'.");
    options.memory = MemoryBudget::defaultSize();
    if (parser_.isSet(memory_)) {
        switch (MemoryBudget::parseSize(parser_.value(memory_), &options.memory)) {
        case MemoryBudget::SizeReading::Read:
            break;
        case MemoryBudget::SizeReading::TooLarge:
            return usageError("--memory '" + parser_.value(memory_) + "' is too large: the most is "
                              + QString::number(std::numeric_limits<std::int64_t>::max()) + " bytes.");
        case MemoryBudget::SizeReading::Malformed:
            return usageError("--memory needs a size such as 4G, 800M or 100000000, not '" + parser_.value(memory_)
                              + "'.");
        }
    }
    options.overwrite = parser_.isSet(overwrite_);
    options.measure.fit = parser_.isSet(fit_);
    options.json = parser_.isSet(json_);
    options.csv = parser_.isSet(csv_);
    options.files = parser_.positionalArguments();
    options.filesFrom = parser_.value(filesFrom_);
    options.nullSeparated = parser_.isSet(null_);
    const QString conflict = conflictingInputs(options);
    if (!conflict.isEmpty())
        return usageError(conflict);
    result.runs = true;
    if (parser_.isSet(annotate_))
        result = readAnnotationDirectory(result);
    return result.runs && parser_.isSet(report_) ? readReport(result) : result;
}

CommandLine CommandLineReader::readReport(CommandLine result)
{
    const QString report = parser_.value(report_);
    if (report.isEmpty())
        return usageError("--report needs a file name.");
    const CliOptions& options = result.options;
    const QString place = placeOf(report);
    QStringList inputs = options.files;
    if (!options.filesFrom.isEmpty())
        inputs += options.filesFrom;
    for (const QString& input : inputs)
        if (input != StandardInputName && placeOf(input) == place)
            return usageError("the report '" + report + "' would replace '" + input + "', which the run reads.");
    if (!options.annotationDirectory.isEmpty()) {
        const AnnotationTargets annotations(options.annotationDirectory);
        for (const QString& picture : options.files)
            if (placeOf(annotations.targetOf(picture)) == place)
                return usageError("the report '" + report + "' and the annotation of '" + picture + "' would be the same file.");
    }
    struct stat status {};
    if (!options.overwrite && lstat(BytesFromName(report).constData(), &status) == 0)
        return usageError("'" + report + "' is there already; --overwrite lets the report replace it.");
    result.options.report = report;
    return result;
}

QString CommandLineReader::conflictingInputs(const CliOptions& options) const
{
    if (options.files.isEmpty() && !parser_.isSet(filesFrom_))
        return "no picture files given.";
    if (parser_.isSet(filesFrom_) && options.filesFrom.isEmpty())
        return "--files-from needs a list file, or '-' for standard input.";
    if (options.nullSeparated && options.filesFrom.isEmpty())
        return "--null goes with --files-from.";
    if (options.json && options.csv)
        return "choose one of --json and --csv.";
    const qsizetype readers = options.files.count(StandardInputName) + (options.filesFrom == StandardInputName);
    if (readers > 1)
        return "standard input can be read only once: give '-' once, as FILE or as LIST.";
    return {};
}

CommandLine CommandLineReader::readAnnotationDirectory(CommandLine result)
{
    const QString directory = parser_.value(annotate_);
    if (directory.isEmpty())
        return usageError("--annotate needs a folder.");
    if (result.options.files.contains(StandardInputName))
        return usageError("--annotate draws on picture files, not on frames from standard input.");
    const QString conflict = AnnotationTargets(directory).conflictIn(result.options.files);
    if (!conflict.isEmpty())
        return usageError(conflict);
    const QString existing = AnnotationTargets(directory).existingIn(result.options.files);
    if (!existing.isEmpty() && !result.options.overwrite)
        return usageError(existing);
    result.options.annotationDirectory = directory;
    return result;
}

}

CommandLine parseCommandLine(const QStringList& arguments)
{
    return CommandLineReader().read(arguments);
}
