#include "png/row_filters.hpp"

#include <cstring>

namespace shapemark::png {

// Plain loops over independent bytes: the compiler vectorises them.
void filterRow(Filter filter, const std::uint8_t* row, const std::uint8_t* above, std::size_t width,
               std::size_t bpp, std::uint8_t* out) {
    const std::size_t head = bpp < width ? bpp : width;  // bytes with no left neighbour
    switch (filter) {
        case Filter::None:
            std::memcpy(out, row, width);
            return;
        case Filter::Sub:
            std::memcpy(out, row, head);
            for (std::size_t i = head; i < width; ++i) {
                out[i] = static_cast<std::uint8_t>(row[i] - row[i - bpp]);
            }
            return;
        case Filter::Up:
            if (above == nullptr) {
                std::memcpy(out, row, width);
                return;
            }
            for (std::size_t i = 0; i < width; ++i) {
                out[i] = static_cast<std::uint8_t>(row[i] - above[i]);
            }
            return;
    }
}

}  // namespace shapemark::png
