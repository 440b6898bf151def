#include "FrameHeaders.h"

#include "InputBuffer.h"
#include "PictureLimits.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t bmpFileHeaderBytes = 14;
constexpr std::size_t pngSignatureBytes = 8;
// PNG's own limit on a chunk's length.
constexpr std::uint32_t mostPngChunkBytes = 0x7FFFFFFF;
constexpr std::size_t mostBmpFrameBytes = std::size_t(MaxPicturePixels) * 4 + (1 << 20);
// Far more than any compressed picture within the pixel limit takes.
constexpr std::size_t mostPngFrameBytes = std::size_t(1) << 31;
constexpr std::size_t mostJpegFrameBytes = std::size_t(1) << 31;

[[noreturn]] void cutShort()
{
    throw StreamLost("the stream ends inside it, so the frame is cut short.");
}

// Where the coded data that starts at `at` ends: the next marker.
std::size_t endOfCodedData(InputBuffer& input, std::size_t at)
{
    for (;;) {
        if (at > mostJpegFrameBytes)
            throw StreamLost("the JPEG frame is larger than this program reads.");
        if (!input.request(at + 2))
            cutShort();
        const std::uint8_t* bytes = input.data();
        const std::size_t end = input.available() - 1;
        const void* found = std::memchr(bytes + at, 0xFF, end - at);
        if (!found) {
            at = end;
            continue;
        }
        at = std::size_t(static_cast<const std::uint8_t*>(found) - bytes);
        const std::uint8_t next = bytes[at + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
            at += 2;
        else
            return at;
    }
}

std::uint32_t bigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

std::uint32_t littleEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[3]) << 24 | std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[1]) << 8 | bytes[0];
}

}

// A stream carries binary PNM, BMP, PNG and JPEG; any other kind is no frame this program reads.
PictureKind nextFrameKind(InputBuffer& input)
{
    input.request(LongestSignature);
    const PictureKind kind = KindOf(input.data(), input.available());
    if (kind == PictureKind::PnmBinary || kind == PictureKind::Bmp || kind == PictureKind::Png
        || kind == PictureKind::Jpeg)
        return kind;
    if (BeginsStreamSignature(input.data(), input.available()))
        cutShort();
    return PictureKind::Unknown;
}

std::size_t bmpFrameLength(InputBuffer& input)
{
    if (!input.request(bmpFileHeaderBytes))
        cutShort();
    const std::size_t length = littleEndian32(input.data() + 2);
    if (length <= bmpFileHeaderBytes || length > mostBmpFrameBytes)
        throw StreamLost("the bitmap header gives the frame a length of " + std::to_string(length) + " bytes.");
    if (!input.request(length))
        cutShort();
    return length;
}

// Segment by segment, as a decoder reads them: a marker's length is skipped whole, so that bytes
// in it (an embedded thumbnail ends in FF D9 too) end nothing; after a scan's header the coded
// data runs to the first FF that is neither stuffing (FF 00) nor a restart marker.
std::size_t jpegFrameLength(InputBuffer& input)
{
    std::size_t at = 2;
    for (;;) {
        if (at > mostJpegFrameBytes)
            throw StreamLost("the JPEG frame is larger than this program reads.");
        if (!input.request(at + 2))
            cutShort();
        const std::uint8_t* bytes = input.data();
        if (bytes[at] != 0xFF)
            throw StreamLost("the JPEG frame has no marker where one must be.");
        const std::uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9)
            return at + 2;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        if (!input.request(at + 4))
            cutShort();
        const std::size_t length = std::size_t(input.data()[at + 2]) << 8 | input.data()[at + 3];
        if (length < 2)
            throw StreamLost("a JPEG marker gives a length of " + std::to_string(length) + " bytes.");
        at += 2 + length;
        if (marker == 0xDA)
            at = endOfCodedData(input, at);
    }
}

std::size_t pngFrameLength(InputBuffer& input)
{
    // Past the signature, which nextFrameKind has seen.
    std::size_t at = pngSignatureBytes;
    for (;;) {
        if (!input.request(at + 8))
            cutShort();
        const std::uint32_t chunkBytes = bigEndian32(input.data() + at);
        if (chunkBytes > mostPngChunkBytes)
            throw StreamLost("a PNG chunk gives a length of " + std::to_string(chunkBytes) + " bytes.");
        const bool last = std::memcmp(input.data() + at + 4, "IEND", 4) == 0;
        at += 8 + std::size_t(chunkBytes) + 4;
        if (at > mostPngFrameBytes)
            throw StreamLost("the PNG frame is larger than this program reads.");
        if (!input.request(at))
            cutShort();
        if (last)
            return at;
    }
}
