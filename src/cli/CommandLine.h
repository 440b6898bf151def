#pragma once

#include "LineMeasure.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct CliOptions {
    MeasureSettings measure;
    bool json = false;
    bool csv = false;
    QString annotationDirectory;
    // Where the HTML report goes, or empty for none.
    QString report;
    int jobs = 1;
    std::int64_t memory = 0;
    bool overwrite = false;
    // "-" stands for the pictures on standard input.
    QStringList files;
    // A file that names more pictures, one a line, or each ended by a NUL with nullSeparated.
    QString filesFrom;
    bool nullSeparated = false;
};

constexpr const char* StandardInputName = "-";

// What the command line asks for: a run with these options, or a text to print (help,
// version or a usage error) and the exit status to end with.
struct CommandLine {
    CliOptions options;
    bool runs = false;
    int exitStatus = 0;
    QString text;
};

constexpr int UsageErrorStatus = 2;

CommandLine parseCommandLine(const QStringList& arguments);
