#include "Forms.h"
#include "PictureCompleteness.h"
#include "PictureFile.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "Umain.h"

#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

// Qt writes only 24-bit colour bitmaps; a 32-bit one is put together from the same headers.
QByteArray thirtyTwoBitBmp(const QImage& image)
{
    QByteArray bytes = BmpBytes(image).left(54);
    bytes[28] = 32;
    for (int y = image.height() - 1; y >= 0; --y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4);
    return bytes;
}

// Cuts a file to half its length a while after anything first reads from it.
class CutOnFirstRead {
public:
    CutOnFirstRead(const char* path, qint64 length, std::chrono::microseconds delay)
        : watch_(inotify_init1(IN_CLOEXEC))
    {
        inotify_add_watch(watch_, path, IN_ACCESS);
        cutter_ = std::thread([=, this] {
            char event[4096];
            if (read(watch_, event, sizeof event) > 0) {
                std::this_thread::sleep_for(delay);
                EXPECT_EQ(truncate(path, length / 2), 0);
            }
        });
    }
    ~CutOnFirstRead()
    {
        cutter_.join();
        close(watch_);
    }

private:
    int watch_;
    std::thread cutter_;
};

TEST(HostileInput, ABitmapCutWhileItIsReadIsRefusedOrReadWhole)
{
    ScratchDirectory dir;
    QImage noise(1500, 1000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() & 0x0F0F0F);
    // 8 bits with a palette, 24 bits read straight into the picture, and 32 bits.
    for (const QByteArray& bytes : {BmpBytes(noise.convertToFormat(QImage::Format_Indexed8)), BmpBytes(noise), thirtyTwoBitBmp(noise)}) {
        WriteFile("whole.bmp", bytes);
        const QImage whole = LoadPictureFile("whole.bmp");
        for (int round = 0; round < 40; ++round) {
            WriteFile("cut.bmp", bytes);
            CutOnFirstRead cut("cut.bmp", bytes.size(), std::chrono::microseconds(50 * round));
            try {
                EXPECT_EQ(LoadPictureFile("cut.bmp"), whole) << "bits per pixel " << int(bytes[28]);
            } catch (const PictureError& failure) {
                EXPECT_TRUE(QByteArray(failure.what()).contains("cut short")) << failure.Why();
            }
        }
    }
}

// Both close their data properly, but hold 1 pixel of 64 and 2 bytes of 8.
TEST(HostileInput, GifAndXbmThatStopEarlyAreRefused)
{
    const QByteArray gif("GIF89a\x08\x00\x08\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF"
                         "\x2C\x00\x00\x00\x00\x08\x00\x08\x00\x00\x02\x02\x4C\x01\x00\x3B",
                         34);
    const QByteArray xbm("#define t_width 16\n#define t_height 4\nstatic char t_bits[] = {\n0xff, 0x00 };\n");
    for (const QByteArray& bytes : {gif, xbm}) {
        ASSERT_FALSE(QImage::fromData(bytes).isNull()) << bytes.left(6).toStdString();
        EXPECT_TRUE(PictureDataCutShort(bytes)) << bytes.left(6).toStdString();
    }
}

// Refused from what the headers say, before any memory is taken for the pixels. The bitmap is
// full length (a sparse file), so that only the limit stands in its way.
TEST(HostileInput, PicturesOverTheLimitGetTheSizeMessage)
{
    ScratchDirectory dir;
    QByteArray bmp = BmpBytes(SolidImage(4, 4)).left(54);
    PutU32(bmp, 18, 12248);
    PutU32(bmp, 22, 12248);
    const struct {
        const char* name;
        QByteArray header;
        const char* size;
    } cases[] = {
        {"big.bmp", bmp, "12248 x 12248"},
        {"big.ppm", "P6\n20000 20000\n255\n", "20000 x 20000"},
        {"big.pgm", "P5\n20000 20000\n65535\n", "20000 x 20000"},
        {"big.xpm", "/* XPM */\nstatic char *x[] = {\n\"20000 20000 1 1\",\n\"a c #000000\",\n\"aaaa\",\n};\n", "20000 x 20000"},
        {"big.xbm", "#define x_width 20000\n#define x_height 20000\nstatic char x_bits[] = {\n0x00, 0x00 };\n", "20000 x 20000"},
        // An area that does not even fit in 64 bits.
        {"huge.xbm", "#define x_width 9223372036854775807\n#define x_height 23\nstatic char x_bits[] = {\n0x00 };\n", "9223372036854775807 x 23"},
    };
    for (const auto& [name, header, size] : cases) {
        WriteFile(name, header + QByteArray(100, '\0'));
        EXPECT_EQ(FailureOf(name), "Cannot read \"" + std::string(name) + "\": the picture is " + size + " pixels, more than the 150000000 pixels this program handles.");
    }
    ASSERT_TRUE(QFile("big.bmp").resize(54 + std::int64_t(36744) * 12248));
    EXPECT_EQ(FailureOf("big.bmp"), "Cannot read \"big.bmp\": the picture is 12248 x 12248 pixels, more than the 150000000 pixels this program handles.");
}

// Opening a pipe with no writer must not wait, and an endless device must not be read on: a
// window that waits on either never comes.
TEST(HostileWindow, AnEndlessDeviceOrWriterlessPipeAsTestBmpGivesOneMessageThenTheWindow)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/zero", "it is not a picture in a format this program reads."},
        {"/dev/urandom", "it is not a picture in a format this program reads."},
        {nullptr, "the file is empty."},
    };
    for (const auto& [device, why] : cases) {
        ScratchDirectory dir;
        ASSERT_EQ(device ? symlink(device, "test.bmp") : mkfifo("test.bmp", 0600), 0);
        RecordedMessages().clear();
        Application->CreateForm(&Form1);
        Form1->Show();
        EXPECT_EQ(RecordedMessages(), std::vector<std::string>{std::string("Cannot read \"test.bmp\": ") + why});
        EXPECT_TRUE(Form1->Widget()->isVisible());
        delete Form1;
        Form1 = nullptr;
    }
}

TEST(HostileWindow, AWorkerThatCannotStartGivesOneMessageAndTheWindowGoesOn)
{
    if (BuiltWithSanitizers)
        GTEST_SKIP() << "an address-space limit does not mix with sanitizers";
    EXPECT_EXIT({
        WindowUnderTest window(SolidImage(4, 4));
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        // Room for the message, not for a thread's stack.
        limit.rlim_cur = pages * 4096 + (2 << 20);
        setrlimit(RLIMIT_AS, &limit);
        window->Button1->Click();
        limit.rlim_cur = RLIM_INFINITY;
        setrlimit(RLIMIT_AS, &limit);
        std::fprintf(stderr, "%s\n", RecordedMessages().empty() ? "-" : RecordedMessages()[0].c_str());
        ExitNow(RecordedMessages().size() == 1 && TThread::InstanceCount() == 0 && window->Widget()->isVisible() ? 0 : 1);
    },
                ::testing::ExitedWithCode(0), "Thread creation error: Resource temporarily unavailable.");
}

}
