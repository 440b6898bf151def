#include "ExtCtrls.h"

#include <QPainter>

namespace {

class PictureView : public QWidget {
public:
    explicit PictureView(const TPicture* picture) : picture_(picture) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, picture_->Bitmap->Image());
    }

private:
    const TPicture* picture_;
};

}

TImage::TImage(TComponent* owner) : TImage(owner, new TPicture)
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
