#include "BatchRun.h"
#include "CommandLine.h"
#include "NameEscaping.h"
#include "StandardOutput.h"

#include <QByteArrayView>
#include <QCoreApplication>

#include <cstdio>

namespace {

QtMessageHandler qtMessageHandler = nullptr;

// A bad picture gets one line on standard error that names the file and says why; the image
// readers' own complaints about it would only add lines that name nothing.
void quietImageReaders(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const bool fromImageReader = (context.category && QByteArrayView(context.category).startsWith("qt.gui.imageio"))
        || message.startsWith("libpng ");
    if (!fromImageReader || type == QtFatalMsg)
        qtMessageHandler(type, context, message);
}

// The arguments' bytes as given: a file name need not be text in any encoding.
QStringList argumentsAsGiven(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments += NameFromBytes(QByteArray(argv[i]));
    return arguments;
}

}

int main(int argc, char** argv)
{
    StandardOutput::Secure();
    qtMessageHandler = qInstallMessageHandler(quietImageReaders);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("slopemeter-cli");
    QCoreApplication::setApplicationVersion(SLOPEMETER_VERSION);

    const CommandLine commandLine = parseCommandLine(argumentsAsGiven(argc, argv));
    if (!commandLine.runs) {
        std::fputs(commandLine.text.toUtf8().constData(), commandLine.exitStatus == 0 ? stdout : stderr);
        return commandLine.exitStatus;
    }
    return runBatch(commandLine.options);
}
