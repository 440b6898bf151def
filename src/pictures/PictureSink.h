#pragma once

#include "RowSink.h"

#include <QImage>

// Gathers decoded rows into a whole 24-bit picture (blue, green, red bytes).
class PictureSink : public RowSink {
public:
    bool TakesGreyRows() const override { return false; }
    bool TakesAnyColourOrder() const override { return false; }
    void CheckSize(std::int64_t width, std::int64_t height) const override;
    void Begin(int width, int height) override;
    std::uint8_t* RowBuffer(int y, int) override { return picture_.scanLine(y); }
    int RowsAtOnce() const override { return picture_.height(); }
    void RowDone(int, int) override {}

    QImage TakePicture() { return std::move(picture_); }

private:
    QImage picture_;
};
