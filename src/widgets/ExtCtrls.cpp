#include "ExtCtrls.h"

#include <QPainter>

namespace {

// Painting converts what it draws to the screen's format; for a large picture that would be the
// whole picture on every repaint, so only the part that shows is converted, once per picture.
class PictureView : public QWidget {
public:
    explicit PictureView(const TPicture* picture)
        : picture_(picture) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QImage& image = picture_->Bitmap->Image();
        if (image.cacheKey() != shownKey_ || shown_.size() != visibleSize(image)) {
            shown_ = image.copy(QRect(QPoint(0, 0), visibleSize(image)))
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            shownKey_ = image.cacheKey();
        }
        QPainter painter(this);
        painter.drawImage(0, 0, shown_);
    }

private:
    QSize visibleSize(const QImage& image) const { return image.size().boundedTo(size()); }

    const TPicture* picture_;
    QImage shown_;
    qint64 shownKey_ = 0;
};

}

TImage::TImage(TComponent* owner)
    : TImage(owner, new TPicture)
{
}

TImage::TImage(TComponent* owner, TPicture* picture)
    : TControl(owner, new PictureView(picture)), Picture(picture)
{
    Picture->OnChange = [view = QPointer<QWidget>(Widget())] {
        if (view)
            view->update();
    };
}

TImage::~TImage()
{
    delete Picture;
}
