#pragma once

#include "Classes.h"

#include <QImage>

#include <cassert>
#include <cstdint>
#include <functional>
#include <string>

// A colour: red in the low byte, blue in the high byte; negative values name system colours.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clInvalid = -1;
constexpr TColor clWindowText = TColor(0xFF000008);
constexpr TColor clBtnFace = TColor(0xFF00000F);

enum TPixelFormat {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

// Reads the pixels of the bitmap it belongs to.
class TCanvas {
public:
    explicit TCanvas(const QImage* image)
        : image_(image) {}

    // clInvalid outside the picture, as the framework answers there.
    TColor Pixels(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height())
            return clInvalid;
        if (image_->format() == QImage::Format_BGR888) {
            const std::uint8_t* p = image_->constScanLine(y) + 3 * x;
            return TColor(p[2]) | TColor(p[1]) << 8 | TColor(p[0]) << 16;
        }
        const QRgb rgb = image_->pixel(x, y);
        return TColor(qRed(rgb)) | TColor(qGreen(rgb)) << 8 | TColor(qBlue(rgb)) << 16;
    }

private:
    const QImage* image_;
};

namespace Graphics {

// Copies share their pixels until one of them writes, so Assign costs nothing until then.
class TBitmap : public TObject {
public:
    TBitmap()
        : Canvas(&canvas_) {}
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // A copy whose later changes never reach the source. A bitmap the window shows is read on
    // the window's thread.
    void Assign(const TBitmap* source);

    // pf24bit converts the picture to three bytes a pixel, blue, green, red; it is the only
    // format the program asks for.
    void SetPixelFormat(TPixelFormat format);
    TPixelFormat PixelFormat() const;

    // For a caller about to write every pixel: the bitmap keeps its size, takes the format, and
    // has pixels of its own whose values are unset. Unlike a first write through ScanLine, this
    // copies nothing from pixels shared with another bitmap.
    void ReplaceWithUnsetPixels(TPixelFormat format);

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }

    // Row 0 is the top row. Writing through it gives this bitmap pixels of its own.
    std::uint8_t* ScanLine(int row)
    {
        assert(row >= 0 && row < image_.height());
        std::uint8_t* bytes = image_.scanLine(row);
        if (!bytes)
            throw Exception("Not enough memory for a copy of the picture.");
        return bytes;
    }
    const std::uint8_t* ScanLine(int row) const
    {
        assert(row >= 0 && row < image_.height());
        return image_.constScanLine(row);
    }

    TCanvas* const Canvas;

    const QImage& Image() const { return image_; }
    void SetImage(QImage image);
    void SetShownByWindow(bool shown) { shownByWindow_ = shown; }

private:
    QImage image_;
    TCanvas canvas_{&image_};
    bool emptyAs24bit_ = false;
    bool shownByWindow_ = false;
};

}

class TPicture : public TObject {
public:
    TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
    ~TPicture() override;

    // Either the whole picture is loaded or an Exception says why not and nothing changes.
    void LoadFromFile(const std::string& fileName);

    Graphics::TBitmap* const Bitmap;

    std::function<void()> OnChange;
};
