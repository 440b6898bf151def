#pragma once

#include "Controls.h"
#include "Graphics.h"

// Shows its picture unscaled from the top-left corner, clipped to its own size.
class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;

    TPicture* const Picture;

protected:
    TImage(TComponent* owner, TPicture* picture);

    void ShowText(QWidget*, const QString&) override {}
};
