#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// What a picture is, as its first bytes tell. Every reader of files and of streams asks here,
// so that a picture is known the same way wherever it comes from.
enum class PictureKind {
    Unknown,
    Bmp,
    Png,
    Jpeg,
    // P4, P5 and P6: the binary kinds, which a stream may carry.
    PnmBinary,
    // P1, P2 and P3.
    PnmPlain,
    Gif,
    Xbm
};

// The longest signature, for a reader that must make that many bytes available first.
constexpr std::size_t LongestSignature = 8;

PictureKind KindOf(const std::uint8_t* bytes, std::size_t count);
inline PictureKind KindOf(const QByteArray& start)
{
    return KindOf(reinterpret_cast<const std::uint8_t*>(start.constData()), std::size_t(start.size()));
}

// Whether count bytes, fewer than the signature they would need, could be the start of a picture
// of a kind a stream carries (binary PNM, BMP, PNG or JPEG): a stream that ends there was cut short.
bool BeginsStreamSignature(const std::uint8_t* bytes, std::size_t count);
