#pragma once

#include <cstddef>
#include <cstdint>

// Undoing the filters PNG puts on each row before compressing it, for 8-bit pictures of one,
// three or four bytes a pixel.
namespace PngFilters {

// Bytes every buffer handed to Undo must have readable and writable past its row: pixels are
// read and written four bytes at a time.
constexpr std::size_t Slack = 16;

// Undoes filter type `filter` on the `length` bytes at `filtered` into `row`, with `prior` the
// row above as undone (zeros above the first row). bytesPerPixel is 1, 3 or 4. False for a filter
// type PNG does not define.
bool Undo(std::uint8_t filter, const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row,
          std::size_t length, int bytesPerPixel);
// The same a byte at a time, as Undo does it where no vector unit is known.
bool UndoPlain(std::uint8_t filter, const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row,
               std::size_t length, int bytesPerPixel);

}
