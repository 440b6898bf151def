#include "PictureKinds.h"

#include <cstring>

namespace {

constexpr std::uint8_t pngSignature[LongestSignature] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t jpegSignature[] = {0xFF, 0xD8, 0xFF};

bool startsWith(const std::uint8_t* bytes, std::size_t count, const void* signature, std::size_t length)
{
    return count >= length && std::memcmp(bytes, signature, length) == 0;
}

}

PictureKind KindOf(const std::uint8_t* bytes, std::size_t count)
{
    if (startsWith(bytes, count, "BM", 2))
        return PictureKind::Bmp;
    if (startsWith(bytes, count, pngSignature, sizeof pngSignature))
        return PictureKind::Png;
    if (startsWith(bytes, count, jpegSignature, sizeof jpegSignature))
        return PictureKind::Jpeg;
    if (count >= 2 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '6')
        return bytes[1] >= '4' ? PictureKind::PnmBinary : PictureKind::PnmPlain;
    if (startsWith(bytes, count, "GIF87a", 6) || startsWith(bytes, count, "GIF89a", 6))
        return PictureKind::Gif;
    if (startsWith(bytes, count, "#define", 7))
        return PictureKind::Xbm;
    return PictureKind::Unknown;
}

bool BeginsStreamSignature(const std::uint8_t* bytes, std::size_t count)
{
    if (count == 0 || count >= sizeof pngSignature)
        return false;
    if (count == 1)
        return bytes[0] == 'P' || bytes[0] == 'B' || bytes[0] == pngSignature[0] || bytes[0] == jpegSignature[0];
    return std::memcmp(bytes, pngSignature, count) == 0
        || (count < sizeof jpegSignature && std::memcmp(bytes, jpegSignature, count) == 0);
}
