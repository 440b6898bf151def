#pragma once

#include "Graphics.h"
#include "Umain.h"

#include <QDir>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// GCC names the sanitizers with macros of its own; clang answers only __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool BuiltWithSanitizers = true;
#elif defined(__has_feature)
constexpr bool BuiltWithSanitizers = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool BuiltWithSanitizers = false;
#endif

// Messages that would have gone to a message box, in order.
std::vector<std::string>& RecordedMessages();

// Processes window events until done() holds or the time is up; says whether done() held.
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds limit = std::chrono::seconds(20));

int ThreadsInProcess();

// A 24-bit bitmap of the given size, filled with one colour (r, g, b).
QImage SolidImage(int width, int height, int r = 0, int g = 0, int b = 0);
// A dark picture with a white line, a pixel thick, from one point to the other (from.x <= to.x).
QImage LinePicture(QSize size, QPoint from, QPoint to);
inline void SetWhite(QImage& image, int x, int y)
{
    image.setPixelColor(x, y, Qt::white);
}
Graphics::TBitmap* NewBitmap(const QImage& image);

// A temporary folder, the current directory while it lives.
class ScratchDirectory {
public:
    ScratchDirectory() { QDir::setCurrent(dir_.path()); }
    ~ScratchDirectory() { QDir::setCurrent(previous_); }

private:
    QString previous_ = QDir::currentPath();
    QTemporaryDir dir_;
};

// The image in a format Qt writes ("png", "jpg", ...), at the writer's quality setting.
QByteArray EncodedPicture(const QImage& image, const char* format, int quality = -1);
// The image as a BMP file's bytes, as Qt writes them (24 bits for colour images).
inline QByteArray BmpBytes(const QImage& image)
{
    return EncodedPicture(image, "bmp");
}
void WriteFile(const QString& path, const QByteArray& bytes);
// Little-endian, as bitmap headers hold them.
void PutU16(QByteArray& bytes, int at, std::uint16_t value);
void PutU32(QByteArray& bytes, int at, std::uint32_t value);
// The CRC that closes each PNG chunk, and the chunk's way of writing numbers.
std::uint32_t PngCrc(const QByteArray& bytes);
QByteArray BigEndian32(std::uint32_t value);
// What loading the file fails with, or "(loaded)".
std::string FailureOf(const std::string& path);

// slopemeter-cli run with the arguments, or bash running the script with "$0" the program, so
// that a test can set limits, close descriptors or give names that are not text. A crash is
// status -1.
struct CliRun {
    int status = -1;
    QByteArray out, err;
};
CliRun RunCli(const QStringList& arguments);
CliRun RunShell(const QString& script);

// The captions a run on an empty picture shows.
extern const std::vector<std::string> EmptyPictureCaptions;

// The main window made as the program makes it, in a scratch folder holding the given test.bmp
// (none for null bytes).
class WindowUnderTest {
public:
    explicit WindowUnderTest(const QByteArray& testBmp);
    explicit WindowUnderTest(const QImage& picture)
        : WindowUnderTest(BmpBytes(picture)) {}
    ~WindowUnderTest();

    TForm1* operator->() const { return Form1; }
    // The three captions, as Big5 bytes: lblFr, lblRe, lblSlope.
    std::vector<std::string> Captions() const { return {Form1->lblFr->Text(), Form1->lblRe->Text(), Form1->lblSlope->Text()}; }
    bool ButtonsEnabled() const { return Form1->Button1->Enabled() && Form1->Button2->Enabled(); }
    // Presses "Thread" and waits until the run has ended and its worker is released.
    bool RunThread();

private:
    ScratchDirectory dir_;
};

// Ends a death test's child at once: Qt's objects are still alive there, and Qt's own
// exit-time clean-up does not expect that.
[[noreturn]] void ExitNow(int code);
