#pragma once
// A PNG's rows as its encoder deflates them: each pixel row as bytes (R, G, B, and A where the
// picture keeps alpha), and each row filtered by the filter whose bytes weigh least taken as
// signed (the rule libpng and most encoders follow), after its filter byte.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bmp {

class PngRowFilter {
public:
    PngRowFilter(int32_t width, bool alpha);
    // Bytes each filtered row takes, its filter byte included.
    size_t filteredBytes() const { return m_stride + 1; }
    // Starts a new run of rows: the row above the next is the picture's row above (nullptr: none).
    void start(const uint32_t* above);
    // Filters the row into out (filteredBytes() long); it becomes the row above the next. Returns
    // whether every pixel of it is opaque.
    bool filter(const uint32_t* row, uint8_t* out);

private:
    size_t m_width, m_bpp, m_stride;
    // The row and the one above as bytes, each after bpp zero bytes (the pixel left of the first).
    std::vector<uint8_t> m_row, m_above;
    std::vector<uint8_t> m_trial;  // the four filtered versions after none: sub, up, average, Paeth
};

}  // namespace bmp
