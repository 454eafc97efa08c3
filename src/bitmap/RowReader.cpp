// The row reader: an uncompressed bitmap read a row at a time, for a reader that needs only some
// rows of a large file.

#include "bitmap/BmpReader.h"
#include "bitmap/BmpRows.h"

namespace bmp {

using namespace detail;

struct RowReader::Layout {
    Header header;
    RowFormat format;
};

std::optional<RowReader> RowReader::open(const uint8_t* head, size_t headSize, uint64_t fileSize, uint64_t pixelBudget) {
    if (headSize > fileSize) return std::nullopt;
    if (headSize >= 2 && (head[0] != 'B' || head[1] != 'M')) return std::nullopt;  // another format: decoded whole
    // The header is read from head alone; a head that stops inside it is no verdict on the file.
    if (headSize < fileSize && (headSize < 18 || headSize < 14 + uint64_t{u32(head + 14)})) return std::nullopt;
    Header h = readHeader(head, headSize);
    const bool uncompressed = h.compression == Compression::Rgb || h.compression == Compression::BitFields ||
                              h.compression == Compression::AlphaBitFields;
    if (!uncompressed) return std::nullopt;
    mendPixelOffset(h);
    if (headSize < std::min<uint64_t>(h.pixelOffset, fileSize)) return std::nullopt;  // palette or masks not in hand
    validate(h, fileSize, pixelBudget);
    readMasks(h, head, fileSize);
    if (fileSize - h.pixelOffset < pixelBytes(h))
        refuse("the file ends before its pixel data ends (" + std::to_string(fileSize - h.pixelOffset) + " of " +
               std::to_string(pixelBytes(h)) + " bytes)");
    auto layout = std::make_shared<Layout>();
    layout->header = h;
    layout->format = rowFormat(h, head, fileSize);
    return RowReader(std::move(layout));
}

int32_t RowReader::width() const { return m_layout->format.width; }
int32_t RowReader::height() const { return static_cast<int32_t>(m_layout->header.height); }
bool RowReader::hasAlpha() const { return m_layout->format.hasAlpha; }
size_t RowReader::rowBytes() const {
    return static_cast<size_t>((static_cast<uint64_t>(m_layout->header.width) * m_layout->header.bitsPerPixel + 7) / 8);
}
uint64_t RowReader::rowOffset(int32_t y) const {
    const Header& h = m_layout->header;
    const uint64_t fileRow = h.topDown ? static_cast<uint64_t>(y) : static_cast<uint64_t>(h.height - 1 - y);
    return h.pixelOffset + fileRow * stride(h);
}
void RowReader::decodeRow(const uint8_t* stored, uint32_t* out) const { detail::decodeRow(m_layout->format, stored, out); }
void RowReader::decodeColumns(const uint8_t* stored, uint32_t* out, const std::vector<int32_t>& columns) const {
    for (const int32_t x : columns) out[x] = decodePixel(m_layout->format, stored, x);
}

}  // namespace bmp
