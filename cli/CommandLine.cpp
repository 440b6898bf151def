#include "CommandLine.h"

#include "Annotation.h"

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

}

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Measures the tilt of a bright line in each picture, as the slopemeter window does.\n"
        "Prints the window's three captions for each picture, or one JSON object per line.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption level("level", "A pixel is white when the mean of its three colour bytes is above N (default 50).", "N", "50");
    const QCommandLineOption json("json", "Print one JSON object per picture and line.");
    const QCommandLineOption annotate("annotate", "Write DIR/<name>.png: the picture with the found points and the line between them drawn.", "DIR");
    const QCommandLineOption jobs("jobs", "Measure N pictures at a time (default: one per processor core).", "N");
    parser.addOptions({level, json, annotate, jobs});
    parser.addPositionalArgument("FILE", "Pictures to measure, in any format Qt reads.", "FILE...");

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return printAndExit(parser.helpText());
    if (parser.isSet(version))
        return printAndExit(QCoreApplication::applicationName() + " " + QCoreApplication::applicationVersion() + "\n");

    CommandLine result;
    CliOptions& options = result.options;
    if (!readInt(parser.value(level), &options.level))
        return usageError("--level needs a whole number, not '" + parser.value(level) + "'.");
    options.jobs = std::max(QThread::idealThreadCount(), 1);
    if (parser.isSet(jobs) && (!readInt(parser.value(jobs), &options.jobs) || options.jobs < 1))
        return usageError("--jobs needs a whole number of 1 or more, not '" + parser.value(jobs) + "'.");
    options.json = parser.isSet(json);
    options.files = parser.positionalArguments();
    if (options.files.isEmpty())
        return usageError("no picture files given.");
    if (parser.isSet(annotate)) {
        options.annotationDirectory = parser.value(annotate);
        if (options.annotationDirectory.isEmpty())
            return usageError("--annotate needs a folder.");
        const QString conflict = AnnotationTargets(options.annotationDirectory).conflictIn(options.files);
        if (!conflict.isEmpty())
            return usageError(conflict);
    }
    result.runs = true;
    return result;
}
