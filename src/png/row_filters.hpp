// PNG's per-row filters, and the choice of one filter for a whole image from a sample of its
// rows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace shapemark::png {

// The filter types as PNG numbers them (the byte that starts each filtered row).
// Only the three cheap ones: on camera footage Average and Paeth compress no better than Up under
// a fast deflate, and Paeth costs more than the deflate itself.
enum class Filter : std::uint8_t { None = 0, Sub = 1, Up = 2 };

// Writes `width` filtered bytes of `row` to `out`. `above` is the previous row, or null for the
// first one; `bpp` is bytes per pixel.
void filterRow(Filter filter, const std::uint8_t* row, const std::uint8_t* above, std::size_t width,
               std::size_t bpp, std::uint8_t* out);

}  // namespace shapemark::png
