#include "CommandLine.h"

#include "Annotation.h"
#include "MemoryBudget.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>

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
    CommandLine readAnnotationDirectory(CommandLine result);

    QCommandLineParser parser_;
    const QCommandLineOption help_ = parser_.addHelpOption();
    const QCommandLineOption version_ = parser_.addVersionOption();
    const QCommandLineOption level_{
        "level", "A pixel is white when the mean of its three colour bytes is above N (default 50).", "N", "50"};
    const QCommandLineOption json_{"json", "Print one JSON object per picture and line."};
    const QCommandLineOption annotate_{
        "annotate", "Write DIR/<name>.png: the picture with the found points and the line between them drawn.", "DIR"};
    const QCommandLineOption jobs_{"jobs", "Measure N pictures at a time (default: one per processor core).", "N"};
    const QCommandLineOption memory_{
        "memory", "Let the pictures measured at a time take at most SIZE of memory, e.g. 4G or 800M (default: half of the physical memory).", "SIZE"};
    const QCommandLineOption overwrite_{"overwrite", "Let --annotate replace files that are in DIR already."};
};

CommandLineReader::CommandLineReader()
{
    parser_.setApplicationDescription(
        "Measures the tilt of a bright line in each picture, as the slopemeter window does.\n"
        "Prints the window's three captions for each picture, or one JSON object per line.");
    parser_.addOptions({level_, json_, annotate_, jobs_, memory_, overwrite_});
    parser_.addPositionalArgument("FILE", "Pictures to measure. After --, every argument is a file, even one that starts with '-'.", "[--] FILE...");
}

CommandLine CommandLineReader::read(const QStringList& arguments)
{
    if (!parser_.parse(arguments))
        return usageError(parser_.errorText());
    if (parser_.isSet(help_))
        return printAndExit(parser_.helpText());
    if (parser_.isSet(version_))
        return printAndExit(QCoreApplication::applicationName() + " " + QCoreApplication::applicationVersion()
                            + "\n");
    return readOptions();
}

CommandLine CommandLineReader::readOptions()
{
    CommandLine result;
    CliOptions& options = result.options;
    if (!readInt(parser_.value(level_), &options.level))
        return usageError("--level needs a whole number, not '" + parser_.value(level_) + "'.");
    options.jobs = std::max(QThread::idealThreadCount(), 1);
    if (parser_.isSet(jobs_) && (!readInt(parser_.value(jobs_), &options.jobs) || options.jobs < 1))
        return usageError("--jobs needs a whole number of 1 or more, not '" + parser_.value(jobs_)
                          + "'.");
    options.memory = MemoryBudget::defaultSize();
    if (parser_.isSet(memory_) && !MemoryBudget::parseSize(parser_.value(memory_), &options.memory))
        return usageError("--memory needs a size such as 4G, 800M or 100000000, not '" + parser_.value(memory_)
                          + "'.");
    options.overwrite = parser_.isSet(overwrite_);
    options.json = parser_.isSet(json_);
    options.files = parser_.positionalArguments();
    if (options.files.isEmpty())
        return usageError("no picture files given.");
    result.runs = true;
    return parser_.isSet(annotate_) ? readAnnotationDirectory(result) : result;
}

CommandLine CommandLineReader::readAnnotationDirectory(CommandLine result)
{
    const QString directory = parser_.value(annotate_);
    if (directory.isEmpty())
        return usageError("--annotate needs a folder.");
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
