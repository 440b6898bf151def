#include "FuzzInput.h"
#include "MeasureCopy.h"
#include "PictureFile.h"
#include "RowScanSink.h"
#include "SysUtils.h"

#include <cstring>
#include <vector>

#include <zlib.h>

// Feeds each input to the picture loader as a file, and a picture that loads through the whole
// measurement, as the window's "Form" button does, without a window; then to the measurement
// of rows as they are decoded, which must agree with it.

namespace {

// The loader takes a file name: the in-memory file's, through /proc.
int pictureFile = -1;
std::string pictureFileName;

// The measurement takes the same paths through a picture of a few thousand pixels as through one
// of a hundred million, but its time grows with the size: larger pictures (a small RLE file can
// declare one) are loaded but not measured, or a few of them would take most of the run.
constexpr std::int64_t largestMeasuredPicture = 4'000'000;

// A mutation nearly always breaks the CRC of the PNG chunk it lands in, which stops a reader at
// once; so for inputs of even length the CRCs are put right, and the fuzzer reaches the data.
void mendPngCrcs(std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() % 2 != 0 || bytes.size() < 8 || std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) != 0)
        return;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::size_t length = std::size_t(bytes[at]) << 24 | std::size_t(bytes[at + 1]) << 16 | std::size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (length > bytes.size() - at - 12)
            return;
        const std::uint32_t crc = std::uint32_t(crc32(0, bytes.data() + at + 4, uInt(length + 4)));
        for (int i = 0; i < 4; ++i)
            bytes[at + 8 + length + i] = std::uint8_t(crc >> (24 - 8 * i));
        at += length + 12;
    }
}

ScanResult measure(const QImage& picture)
{
    Graphics::TBitmap bitmap;
    bitmap.SetImage(picture);
    // The fit is asked for too, so that hostile pixels reach it as well.
    const ScanResult result = MeasureCopy(bitmap, MeasureSettings{DefaultLevel, true}).result;
    FormatCaptions(result);
    // Both end points lie in the picture, or stay at (0, 0) when there is none.
    const auto inPicture = [&](int x, int y) {
        return (x == 0 && y == 0) || (x >= 0 && y >= 0 && x < bitmap.Width() && y < bitmap.Height());
    };
    if (!inPicture(result.FrX, result.FrY) || !inPicture(result.ReX, result.ReY))
        std::abort();
    return result;
}

// A picture that loads whole must stream too, to the same result; one refused whole may stream
// only when it is too large to be held.
void measureStreamed(const QImage& picture, const ScanResult* whole)
{
    RowScanSink sink(MeasureSettings{DefaultLevel, true});
    try {
        if (!StreamPictureFile(pictureFileName, sink))
            return;
    } catch (const PictureError&) {
        if (!picture.isNull())
            std::abort();
        return;
    }
    const ScanResult streamed = sink.Finish().result;
    if (whole && (streamed.FrX != whole->FrX || streamed.FrY != whole->FrY || streamed.ReX != whole->ReX || streamed.ReY != whole->ReY || streamed.Slope != whole->Slope))
        std::abort();
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static char name[] = "picture_fuzzer";
    pictureFile = StartFuzzing(name);
    pictureFileName = PathOf(pictureFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    mendPngCrcs(bytes);
    WriteInput(pictureFile, bytes.data(), bytes.size());
    QImage picture;
    try {
        picture = LoadPictureFile(pictureFileName);
    } catch (const PictureError&) {
    }
    const bool measured = !picture.isNull() && std::int64_t(picture.width()) * picture.height() <= largestMeasuredPicture;
    const ScanResult whole = measured ? measure(picture) : ScanResult{};
    measureStreamed(picture, measured ? &whole : nullptr);
    return 0;
}
