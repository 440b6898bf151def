#pragma once

#include "Graphics.h"

#include <QImage>
#include <QTemporaryDir>

#include <chrono>
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

// A 24-bit bitmap of the given size, filled with one colour (r, g, b).
QImage SolidImage(int width, int height, int r = 0, int g = 0, int b = 0);
void SetWhite(QImage& image, int x, int y);
Graphics::TBitmap* NewBitmap(const QImage& image);

// The bytes of row y of a bitmap as hex pairs, for readable failure messages.
std::string Hex(const std::string& bytes);

// A temporary folder made the current directory for as long as it lives.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

// The image as a BMP file's bytes, as Qt writes them (24 bits for colour images).
QByteArray BmpBytes(const QImage& image);
void WriteFile(const QString& path, const QByteArray& bytes);

class TForm1;

// The captions a run on an empty picture shows.
extern const std::vector<std::string> EmptyPictureCaptions;

// The main window made as the program makes it, in a scratch folder holding the given test.bmp
// (none when the bytes are empty); released with this object.
class WindowUnderTest {
public:
    explicit WindowUnderTest(const QByteArray& testBmp);
    explicit WindowUnderTest(const QImage& picture);
    ~WindowUnderTest();

    TForm1* operator->() const;
    // The three captions, as Big5 bytes: lblFr, lblRe, lblSlope.
    std::vector<std::string> Captions() const;
    bool ButtonsEnabled() const;

private:
    ScratchDirectory dir_;
};

// Ends a death test's child at once: Qt's objects are still alive there, and Qt's own
// exit-time clean-up does not expect that.
[[noreturn]] void ExitNow(int code);
