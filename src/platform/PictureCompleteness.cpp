#include "PictureCompleteness.h"

#include <cstdint>

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
            at = afterColourTable(byteAt(bytes, at + 9), at + 10);
            return afterSubBlocks(bytes, at + 1) > size;
        } else {
            return false;
        }
    }
    return true;
}

// The pixel values are a C array; a whole file closes it.
bool xbmCutShort(const QByteArray& bytes)
{
    const qsizetype open = bytes.indexOf('{');
    return open < 0 || bytes.indexOf('}', open) < 0;
}

}

bool PictureDataCutShort(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8"))
        return jpegCutShort(bytes);
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return pngCutShort(bytes);
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return gifCutShort(bytes);
    if (bytes.startsWith("#define") && bytes.contains("_width"))
        return xbmCutShort(bytes);
    return false;
}
