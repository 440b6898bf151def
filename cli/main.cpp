#include "BatchRun.h"
#include "CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("slopemeter-cli");
    QCoreApplication::setApplicationVersion(SLOPEMETER_VERSION);

    const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments());
    if (!commandLine.runs) {
        std::fputs(commandLine.text.toUtf8().constData(), commandLine.exitStatus == 0 ? stdout : stderr);
        return commandLine.exitStatus;
    }
    return runBatch(commandLine.options);
}
