#include "PictureCompleteness.h"

#include "PictureKinds.h"

#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::uint8_t byteAt(const QByteArray& bytes, qsizetype at)
{
    return std::uint8_t(bytes[at]);
}

bool isRestartOrStuffing(std::uint8_t code)
{
    return code == 0x00 || (code >= 0xD0 && code <= 0xD7);
}

// Steps from marker to marker and over each scan's entropy-coded data; a whole JPEG reaches
// its end-of-image marker. Stray bytes between segments are skipped as the decoder skips them.
bool jpegCutShort(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    qsizetype at = 2;
    while (true) {
        while (at < size && byteAt(bytes, at) != 0xFF)
            ++at;
        while (at < size && byteAt(bytes, at) == 0xFF)
            ++at;
        if (at >= size)
            return true;
        const std::uint8_t marker = byteAt(bytes, at++);
        if (marker == 0xD9)
            return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (at + 2 > size)
            return true;
        at += byteAt(bytes, at) << 8 | byteAt(bytes, at + 1);
        if (at > size)
            return true;
        if (marker != 0xDA)
            continue;
        while (at + 1 < size && !(byteAt(bytes, at) == 0xFF && !isRestartOrStuffing(byteAt(bytes, at + 1))))
            ++at;
    }
}

std::uint32_t bigEndian32(const QByteArray& bytes, qsizetype at)
{
    return std::uint32_t(byteAt(bytes, at)) << 24 | byteAt(bytes, at + 1) << 16 | byteAt(bytes, at + 2) << 8
        | byteAt(bytes, at + 3);
}

// Qt's reader does refuse a PNG cut short, but libpng writes its own complaint to standard
// error first; a whole PNG holds its chunks up to the closing IEND.
bool pngCutShort(const QByteArray& bytes)
{
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const qsizetype end = at + 12 + qsizetype(bigEndian32(bytes, at));
        if (end > bytes.size())
            return true;
        if (bytes.mid(at + 4, 4) == "IEND")
            return false;
        at = end;
    }
    return true;
}

// Index of the first byte after a colour table whose presence and size a flags byte gives.
qsizetype afterColourTable(std::uint8_t flags, qsizetype at)
{
    return flags & 0x80 ? at + 3 * (qsizetype(2) << (flags & 0x07)) : at;
}

// Index of the first byte after a chain of data sub-blocks, or past the end when it is cut.
qsizetype afterSubBlocks(const QByteArray& bytes, qsizetype at)
{
    while (at < bytes.size()) {
        const int length = byteAt(bytes, at++);
        if (length == 0)
            return at;
        at += length;
    }
    return bytes.size() + 1;
}

// Reads the codes of a GIF image's LZW data, LSB first, across its sub-blocks.
class LzwCodes {
public:
    LzwCodes(const QByteArray& bytes, qsizetype at)
        : bytes_(bytes), at_(at) {}

    // The next code of `bits` bits, or -1 when the data ends first.
    int next(int bits)
    {
        while (held_ < bits) {
            if (left_ == 0) {
                if (at_ >= bytes_.size() || (left_ = byteAt(bytes_, at_++)) == 0)
                    return -1;
            }
            if (at_ >= bytes_.size())
                return -1;
            buffer_ |= std::uint32_t(byteAt(bytes_, at_++)) << held_;
            held_ += 8;
            --left_;
        }
        const int code = int(buffer_ & ((1u << bits) - 1));
        buffer_ >>= bits;
        held_ -= bits;
        return code;
    }

private:
    const QByteArray& bytes_;
    qsizetype at_;
    int left_ = 0;
    std::uint32_t buffer_ = 0;
    int held_ = 0;
};

// How many pixels the LZW data from `at` (its minimum code size) decodes to. Only the lengths
// of the table's strings matter for that, not their contents.
std::int64_t lzwPixels(const QByteArray& bytes, qsizetype at)
{
    const int minimum = at < bytes.size() ? byteAt(bytes, at) : 0;
    if (minimum < 1 || minimum > 11)
        return 0;
    const int clear = 1 << minimum, end = clear + 1;
    std::vector<std::int64_t> lengths(4096, 1);
    LzwCodes codes(bytes, at + 1);
    int bits = minimum + 1, next = clear + 2, previous = -1;
    std::int64_t pixels = 0;
    for (int code = codes.next(bits); code >= 0 && code != end; code = codes.next(bits)) {
        if (code == clear) {
            bits = minimum + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code > next || (previous < 0 && code >= clear))
            break;
        const std::int64_t length = code == next ? lengths[std::size_t(previous)] + 1 : lengths[std::size_t(code)];
        pixels += length;
        if (previous >= 0 && next < 4096) {
            lengths[std::size_t(next++)] = lengths[std::size_t(previous)] + 1;
            if (next == 1 << bits && bits < 12)
                ++bits;
        }
        previous = code;
    }
    return pixels;
}

int littleEndian16(const QByteArray& bytes, qsizetype at)
{
    return byteAt(bytes, at) | byteAt(bytes, at + 1) << 8;
}

// Only the first image is read, so only the blocks up to its end need to be there.
bool gifCutShort(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    if (size < 13)
        return true;
    qsizetype at = afterColourTable(byteAt(bytes, 10), 13);
    while (at < size) {
        const std::uint8_t introducer = byteAt(bytes, at);
        if (introducer == 0x21) {
            at = afterSubBlocks(bytes, at + 2);
        } else if (introducer == 0x2C) {
            if (at + 10 > size)
                return true;
            // Blocks that close properly may still hold fewer pixels than the image.
            const std::int64_t pixels = std::int64_t(littleEndian16(bytes, at + 5)) * littleEndian16(bytes, at + 7);
            at = afterColourTable(byteAt(bytes, at + 9), at + 10);
            return afterSubBlocks(bytes, at + 1) > size || lzwPixels(bytes, at) < pixels;
        } else {
            return false;
        }
    }
    return true;
}

// The number after the first "#define <name><suffix>", or -1.
std::int64_t xbmDefine(const QByteArray& bytes, const char* suffix)
{
    const qsizetype at = bytes.indexOf(suffix);
    if (at < 0)
        return -1;
    const char* const text = bytes.constData() + at + std::strlen(suffix);
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return end != text ? value : -1;
}

// The pixel values are a C array that a whole file closes, holding a value for each 8 (or, in
// the old format, 16) pixels of a row.
bool xbmCutShort(const QByteArray& bytes)
{
    const qsizetype open = bytes.indexOf('{');
    const qsizetype close = open < 0 ? -1 : bytes.indexOf('}', open);
    if (close < 0)
        return true;
    const std::int64_t width = xbmDefine(bytes, "_width"), height = xbmDefine(bytes, "_height");
    const int bitsPerValue = bytes.left(open).contains("short") ? 16 : 8;
    std::int64_t values = 0;
    for (qsizetype at = open + 1; at < close; ++at)
        values += std::isxdigit(byteAt(bytes, at)) && !std::isalnum(byteAt(bytes, at - 1)) ? 1 : 0;
    return values < (width + bitsPerValue - 1) / bitsPerValue * height;
}

}

bool XbmDeclaredSize(const QByteArray& bytes, std::int64_t* width, std::int64_t* height)
{
    if (KindOf(bytes) != PictureKind::Xbm)
        return false;
    *width = xbmDefine(bytes, "_width");
    *height = xbmDefine(bytes, "_height");
    return *width >= 0 && *height >= 0;
}

bool PictureDataCutShort(const QByteArray& bytes)
{
    switch (KindOf(bytes)) {
    case PictureKind::Jpeg:
        return jpegCutShort(bytes);
    case PictureKind::Png:
        return pngCutShort(bytes);
    case PictureKind::Gif:
        return gifCutShort(bytes);
    case PictureKind::Xbm:
        return bytes.contains("_width") && xbmCutShort(bytes);
    default:
        return false;
    }
}
