#include "Graphics.h"

#include "PictureFile.h"
#include "PixelMemory.h"

namespace Graphics {

void TBitmap::Assign(const TBitmap* source)
{
    if (source == this)
        return;
    if (source->shownByWindow_ && !WindowThread::IsCurrent()) {
        QImage shared;
        bool emptyAs24bit = false;
        TThread::Synchronize([&] {
            shared = source->image_;
            emptyAs24bit = source->emptyAs24bit_;
        });
        image_ = std::move(shared);
        emptyAs24bit_ = emptyAs24bit;
        return;
    }
    image_ = source->image_;
    emptyAs24bit_ = source->emptyAs24bit_;
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format != pf24bit)
        throw Exception("Only the 24-bit pixel format is supported.");
    if (image_.isNull()) {
        emptyAs24bit_ = true;
        return;
    }
    if (image_.format() == QImage::Format_BGR888)
        return;
    QImage converted = image_.convertToFormat(QImage::Format_BGR888);
    if (converted.isNull())
        throw Exception("Not enough memory to convert the picture to 24 bits per pixel.");
    image_ = std::move(converted);
}

void TBitmap::ReplaceWithUnsetPixels(TPixelFormat format)
{
    if (format != pf24bit)
        throw Exception("Only the 24-bit pixel format is supported.");
    if (image_.isNull()) {
        emptyAs24bit_ = true;
        return;
    }
    if (image_.format() == QImage::Format_BGR888 && image_.isDetached())
        return;
    QImage fresh = NewPixelImage(image_.width(), image_.height(), QImage::Format_BGR888);
    if (fresh.isNull())
        throw Exception("Not enough memory for a copy of the picture.");
    image_ = std::move(fresh);
}

TPixelFormat TBitmap::PixelFormat() const
{
    switch (image_.format()) {
    case QImage::Format_Invalid:
        return emptyAs24bit_ ? pf24bit : pfDevice;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return pf1bit;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
        return pf8bit;
    case QImage::Format_RGB555:
        return pf15bit;
    case QImage::Format_RGB16:
        return pf16bit;
    case QImage::Format_BGR888:
        return pf24bit;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return pf32bit;
    default:
        return pfCustom;
    }
}

void TBitmap::SetImage(QImage image)
{
    image_ = std::move(image);
    emptyAs24bit_ = false;
}

}

TPicture::TPicture()
    : Bitmap(new Graphics::TBitmap)
{
    Bitmap->SetShownByWindow(true);
}

TPicture::~TPicture()
{
    delete Bitmap;
}

void TPicture::LoadFromFile(const std::string& fileName)
{
    try {
        Bitmap->SetImage(LoadPictureFile(fileName));
    } catch (const PictureError& error) {
        throw Exception(error.MessageFor(fileName));
    }
    if (OnChange)
        OnChange();
}
