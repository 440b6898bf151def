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

[[noreturn]] void cutShort()
{
    throw StreamLost("the stream ends inside it, so the frame is cut short.");
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

// A stream carries binary PNM, BMP and PNG; any other kind is no frame this program reads.
PictureKind nextFrameKind(InputBuffer& input)
{
    input.request(LongestSignature);
    const PictureKind kind = KindOf(input.data(), input.available());
    if (kind == PictureKind::PnmBinary || kind == PictureKind::Bmp || kind == PictureKind::Png)
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
