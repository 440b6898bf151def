#include "TestSupport.h"

#include "Forms.h"
#include "PictureFile.h"
#include "Umain.h"
#include "Uprocess.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

std::vector<std::string>& RecordedMessages()
{
    static std::vector<std::string> messages;
    return messages;
}

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

QImage SolidImage(int width, int height, int r, int g, int b)
{
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(QColor(r, g, b));
    return image;
}

QImage LinePicture(QSize size, QPoint from, QPoint to)
{
    QImage image = SolidImage(size.width(), size.height(), 20, 30, 40);
    const int run = std::max(1, to.x() - from.x());
    for (int x = from.x(); x <= to.x(); ++x)
        SetWhite(image, x, from.y() + (to.y() - from.y()) * (x - from.x()) / run);
    return image;
}

int ThreadsInProcess()
{
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

Graphics::TBitmap* NewBitmap(const QImage& image)
{
    auto* bitmap = new Graphics::TBitmap;
    bitmap->SetImage(image);
    return bitmap;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void PutU16(QByteArray& bytes, int at, std::uint16_t value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

void PutU32(QByteArray& bytes, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> 8 * i & 0xFF);
}

QByteArray EncodedPicture(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

std::uint32_t PngCrc(const QByteArray& bytes)
{
    return std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QByteArray BigEndian32(std::uint32_t value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

std::string FailureOf(const std::string& path)
{
    try {
        LoadPictureFile(path);
    } catch (const PictureError& failure) {
        return failure.MessageFor(path);
    }
    return "(loaded)";
}

namespace {

CliRun finished(QProcess& process, const std::string& what)
{
    EXPECT_TRUE(process.waitForFinished(120'000)) << what;
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

}

CliRun RunCli(const QStringList& arguments)
{
    QProcess process;
    process.start(SLOPEMETER_CLI_PATH, arguments);
    return finished(process, arguments.join(' ').toStdString());
}

CliRun RunShell(const QString& script)
{
    QProcess process;
    process.start("bash", {"-c", script, SLOPEMETER_CLI_PATH});
    return finished(process, script.toStdString());
}

const std::vector<std::string> EmptyPictureCaptions = {
    FrCaptionPrefix + "(  0:  0)", ReCaptionPrefix + "(  0:  0)", SlopeCaptionPrefix + "0.00000"};

WindowUnderTest::WindowUnderTest(const QByteArray& testBmp)
{
    if (!testBmp.isNull())
        WriteFile("test.bmp", testBmp);
    RecordedMessages().clear();
    Application->CreateForm(&Form1);
    Form1->Show();
}

WindowUnderTest::~WindowUnderTest()
{
    ProcessEventsUntil([] { return TThread::InstanceCount() == 0; }, std::chrono::seconds(10));
    delete Form1;
    Form1 = nullptr;
}

bool WindowUnderTest::RunThread()
{
    Form1->Button1->Click();
    return ProcessEventsUntil([this] { return ButtonsEnabled() && TThread::InstanceCount() == 0; });
}

void ExitNow(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application->Initialize();
    Application->MessageBox = [](const std::string& message) { RecordedMessages().push_back(message); };
    const int failed = RUN_ALL_TESTS();
    Application->Finalize();
    return failed;
}
