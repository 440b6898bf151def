#pragma once

#include <cstdint>
#include <string>

// Where a decoder puts a picture's rows as it produces them, top to bottom: into a whole picture
// for the window, or into a measurement that looks at each row once and drops it.
class RowSink {
public:
    virtual ~RowSink() = default;

    // Rows are three bytes a pixel, blue, green, red; but grey pictures come one byte a pixel
    // to a sink that takes grey rows, and a sink that takes any colour order may get red first.
    virtual bool TakesGreyRows() const = 0;
    virtual bool TakesAnyColourOrder() const = 0;
    // Raises a PictureError for a picture too large for the sink; called before anything else.
    virtual void CheckSize(std::int64_t width, std::int64_t height) const = 0;
    // Raises a PictureError when the decoder cannot be let hold the whole picture, `bytes` of its
    // own memory, before the first row (a progressive JPEG, an interlaced PNG); by default the
    // limit of a picture held whole applies.
    virtual void CheckHeldWhole(std::int64_t width, std::int64_t height, std::int64_t bytes) const;
    // Called once, before any row.
    virtual void Begin(int width, int height) = 0;
    // Where row y is to be written: bytesPerPixel * width bytes, rounded up to a multiple of 4,
    // that stay valid until the row is handed back through RowDone. Asked again for the same
    // row, it gives the same bytes. A reader may ask for up to RowsAtOnce() rows before handing
    // the first back.
    virtual std::uint8_t* RowBuffer(int y, int bytesPerPixel) = 0;
    virtual int RowsAtOnce() const = 0;
    virtual void RowDone(int y, int bytesPerPixel) = 0;
    // Hands over row y decoded into the decoder's own memory: width pixels of bytesPerPixel
    // bytes, 1 for grey, or 3 or 4 for red, green and blue first, any fourth byte dropped. By
    // default the row is copied into RowBuffer in the sink's order and handed back through
    // RowDone; a sink that can look at the row where it lies does so instead.
    virtual void TakeDecodedRow(int y, const std::uint8_t* pixels, int width, int bytesPerPixel);
};
