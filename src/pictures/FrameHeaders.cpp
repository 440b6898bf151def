#include "FrameHeaders.h"

#include "InputBuffer.h"
#include "PictureLimits.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Comments make a PNM header as long as they like; past this it is no header.
constexpr std::size_t mostPnmHeaderBytes = 1 << 16;
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

bool isBlank(int byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' || byte == '\f';
}

class PnmHeaderReader {
public:
    explicit PnmHeaderReader(InputBuffer& input)
        : input_(input) {}

    int number(const char* what)
    {
        skipBlanksAndComments();
        if (!isDigit(peek()))
            throw StreamLost(std::string("the PNM header has no ") + what + ".");
        std::int64_t value = 0;
        while (isDigit(peek())) {
            value = value * 10 + (peek() - '0');
            if (value > 1'000'000'000)
                throw StreamLost(std::string("the PNM header's ") + what + " is too large.");
            ++at_;
        }
        return int(value);
    }

    // One blank byte ends the header; the pixels follow it at once.
    std::size_t end()
    {
        if (!isBlank(peek()))
            throw StreamLost("the PNM header does not end in a blank.");
        return at_ + 1;
    }

private:
    static bool isDigit(int byte) { return byte >= '0' && byte <= '9'; }

    int peek()
    {
        if (at_ >= mostPnmHeaderBytes)
            throw StreamLost("the PNM header is too long.");
        if (!input_.request(at_ + 1))
            cutShort();
        return input_.data()[at_];
    }

    void skipBlanksAndComments()
    {
        for (;;) {
            if (isBlank(peek()))
                ++at_;
            else if (peek() == '#')
                while (peek() != '\n' && peek() != '\r')
                    ++at_;
            else
                return;
        }
    }

    InputBuffer& input_;
    std::size_t at_ = 2;
};

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

std::size_t PnmHeader::rowBytes() const
{
    if (kind == '4')
        return (std::size_t(width) + 7) / 8;
    return std::size_t(width) * std::size_t(samplesPerPixel()) * (maxval > 255 ? 2 : 1);
}

PnmHeader readPnmHeader(InputBuffer& input)
{
    PnmHeader header;
    header.kind = char(input.data()[1]);
    PnmHeaderReader reader(input);
    header.width = reader.number("width");
    header.height = reader.number("height");
    if (header.kind != '4')
        header.maxval = reader.number("largest value");
    header.headerBytes = reader.end();
    try {
        CheckPictureSize(header.width, header.height);
    } catch (const PictureError& tooLarge) {
        throw StreamLost(tooLarge.Why());
    }
    if (header.maxval < 1 || header.maxval > 65535)
        throw StreamLost("the PNM header's largest value " + std::to_string(header.maxval)
                         + " is not between 1 and 65535.");
    return header;
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
