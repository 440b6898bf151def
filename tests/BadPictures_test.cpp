#include "TestSupport.h"
#include "Umain.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

// A file from tests/data/bad, made from a sound picture by changing one thing, that the window
// is given as its test.bmp, and words of the reason the message gives.
struct BadPicture {
    const char* file;
    const char* reason;
};

const BadPicture rejected[] = {
    {"missing.bmp", "the file does not exist"},
    {"empty.bmp", "the file is empty"},
    {"text.bmp", "not a picture"},
    {"header-cut-in-file-header.bmp", "header is cut short"},
    {"header-cut-in-info-header.bmp", "header is cut short"},
    {"pixels-cut-short.bmp", "pixel data is cut short"},
    {"pixel-offset-past-end.bmp", "past the end"},
    {"width-zero.bmp", "no pixels"},
    {"height-zero.bmp", "no pixels"},
    {"width-negative.bmp", "no pixels"},
    {"height-int-min.bmp", "height of -2147483648 rows"},
    {"beyond-pixel-limit.bmp", "pixels this program handles"},
    {"beyond-int-range.bmp", "pixels this program handles"},
    {"beyond-int-range-widest.bmp", "pixels this program handles"},
    {"palette-size-huge.bmp", "palette claims"},
    {"bits-per-pixel-0.bmp", "bits per pixel"},
    {"bits-per-pixel-7.bmp", "bits per pixel"},
    {"bits-per-pixel-64.bmp", "bits per pixel"},
    {"png-cut-short.png", "cut short"},
    {"jpeg-cut-short.jpg", "cut short"},
    {"palette-index-past-palette-8bit.bmp", "of a palette of"},
    {"palette-index-past-palette-4bit.bmp", "of a palette of"},
    {"rle8-index-past-palette.bmp", "of a palette of"},
    {"rle8-run-past-row.bmp", "past the end of row"},
    {"rle8-absolute-past-row.bmp", "past the end of row"},
    {"rle8-rows-past-picture.bmp", "past the last row"},
    {"rle8-delta-past-picture.bmp", "past the picture"},
    {"rle4-run-past-row.bmp", "past the end of row"},
    {"rle4-absolute-past-row.bmp", "past the end of row"},
    {"rle4-rows-past-picture.bmp", "past the last row"},
    {"rle8-cut-short.bmp", "cut short"},
    {"bitfields-masks-zero.bmp", "mask of a colour is zero"},
    {"bitfields-masks-overlap.bmp", "masks overlap"},
};

// Null, for no test.bmp at all, for a file that is not there.
QByteArray badPictureBytes(const char* file)
{
    QFile source(QStringLiteral(SLOPEMETER_TEST_DATA "/bad/") + file);
    if (!source.open(QIODevice::ReadOnly))
        return QByteArray();
    // Not null even when empty, so that the window is given an empty file rather than none.
    return QByteArray("").append(source.readAll());
}

class BadPictureInTheWindow : public ::testing::TestWithParam<BadPicture> {};

TEST_P(BadPictureInTheWindow, OneMessageThenAnEmptyPicture)
{
    const BadPicture& bad = GetParam();
    SCOPED_TRACE(bad.file);
    WindowUnderTest window(badPictureBytes(bad.file));
    const Graphics::TBitmap* shown = window->Image1->Picture->Bitmap;
    ASSERT_EQ(RecordedMessages().size(), 1u) << "loaded as a " << shown->Width() << " x " << shown->Height() << " picture";
    const std::string& message = RecordedMessages()[0];
    const std::size_t named = message.find("\"test.bmp\": ");
    ASSERT_NE(named, std::string::npos) << message;
    EXPECT_NE(message.find(bad.reason, named), std::string::npos) << message;
    EXPECT_TRUE(shown->Image().isNull());
    EXPECT_TRUE(window->Widget()->isVisible());

    window->Button2->Click();
    EXPECT_EQ(window.Captions(), EmptyPictureCaptions);
    EXPECT_TRUE(window.ButtonsEnabled());
    EXPECT_EQ(RecordedMessages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rejected, BadPictureInTheWindow, ::testing::ValuesIn(rejected), [](const auto& test) {
    std::string name = test.param.file;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

}
