#pragma once
// PNG writer: pixels in, bytes out, as the bitmap writer does. 8 bits a channel, RGB, or RGBA
// when alpha is asked for; every row filtered by the filter that suits it best. The image is
// deflated in bands of rows, each band primed with the 32 KiB before it and ended on a byte, so
// that bands are compressed on any threads in any order (while the picture is still being
// painted, once their rows stand) and joined into the one zlib stream a decoder reads (as pigz
// joins its blocks); each band is an IDAT chunk of its own. The bytes depend on the pixels alone,
// never on how many threads compressed them, or when.

#include "bitmap/BmpWriter.h"

#include <cstddef>
#include <functional>
#include <memory>

namespace bmp {

// How hard the bands are deflated: Fast, ISA-L's fastest level (as small as zlib's default on
// noise, about 5% larger on photographs, 40% on flat colour); or Smallest, zlib's best level
// (its strategy for filtered data) beside it, the shorter of the two kept for each band (about
// ten times slower).
enum class PngCompression { Fast, Smallest };

// The bands of one picture.
class PngBands {
public:
    // Throws FormatError for a side of 0 or less. rows(y) must hold row y for good by the time a
    // band that reads it is compressed.
    PngBands(int32_t width, int32_t height, bool alpha, RowSource rows, PngCompression compression = PngCompression::Fast);
    ~PngBands();
    PngBands(const PngBands&) = delete;
    PngBands& operator=(const PngBands&) = delete;

    bool alpha() const;
    size_t count() const;
    // Band k reads rows 0 .. rowsRead(k) - 1 at most; each later band reads as many or more.
    int32_t rowsRead(size_t band) const;
    // Filters and deflates band k; different bands on different threads at once.
    void compress(size_t band);
    // With alpha: whether a compressed band holds a pixel that is not opaque.
    bool anyTranslucent() const;
    // The file's size and bytes, every band compressed.
    uint64_t fileSize() const;
    void write(ByteSink& sink) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Runs job(0) .. job(count - 1), each once, on as many threads as it has, and returns when all
// have run; throws what the first failing job threw.
using RunAll = std::function<void(size_t count, const std::function<void(size_t)>& job)>;

// Throws FormatError for a side of 0 or less, before writing anything; what the sink throws
// stops it.
void writePng(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows, bool alpha, const RunAll& runAll,
              PngCompression compression = PngCompression::Fast);

// The most memory writing a width x height PNG holds beside the pixels: the compressed bands
// (as large as the filtered rows where nothing deflates), the whole file as it is gathered, and
// each thread's band of filtered rows.
uint64_t pngWriterBytes(int64_t width, int64_t height);

}  // namespace bmp
