#include "TestSupport.h"

#include "Forms.h"
#include "Umain.h"
#include "Uprocess.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QThread>

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

void SetWhite(QImage& image, int x, int y)
{
    image.setPixelColor(x, y, Qt::white);
}

Graphics::TBitmap* NewBitmap(const QImage& image)
{
    auto* bitmap = new Graphics::TBitmap;
    bitmap->SetImage(image);
    return bitmap;
}

std::string Hex(const std::string& bytes)
{
    std::string text;
    char pair[4];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    return text;
}

ScratchDirectory::ScratchDirectory() : previous_(QDir::currentPath())
{
    QDir::setCurrent(dir_.path());
}

ScratchDirectory::~ScratchDirectory()
{
    QDir::setCurrent(previous_);
}

QByteArray BmpBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
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

WindowUnderTest::WindowUnderTest(const QImage& picture) : WindowUnderTest(BmpBytes(picture))
{
}

WindowUnderTest::~WindowUnderTest()
{
    ProcessEventsUntil([] { return TThread::InstanceCount() == 0; }, std::chrono::seconds(10));
    delete Form1;
    Form1 = nullptr;
}

TForm1* WindowUnderTest::operator->() const
{
    return Form1;
}

std::vector<std::string> WindowUnderTest::Captions() const
{
    return {Form1->lblFr->Text(), Form1->lblRe->Text(), Form1->lblSlope->Text()};
}

bool WindowUnderTest::ButtonsEnabled() const
{
    return Form1->Button1->Enabled() && Form1->Button2->Enabled();
}

void ExitNow(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
