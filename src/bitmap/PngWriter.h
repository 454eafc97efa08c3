#pragma once
// PNG writer: pixels in, bytes out, as the bitmap writer does. 8 bits a channel, RGB, or RGBA
// when alpha is asked for; every row filtered by the filter that suits it best. The image is
// deflated in bands of rows on every thread the caller offers, each band primed with the 32 KiB
// before it, and the bands joined into the one zlib stream a decoder reads (as pigz joins its
// blocks); libpng writes the chunks around it. The bytes depend on the pixels alone, never on
// how many threads compressed them.

#include "bitmap/BmpWriter.h"

#include <cstddef>
#include <functional>

namespace bmp {

// Runs job(0) .. job(count - 1), each once, on as many threads as it has, and returns when all
// have run; throws what the first failing job threw.
using RunAll = std::function<void(size_t count, const std::function<void(size_t)>& job)>;

// Throws FormatError for a side of 0 or less, before writing anything; what the sink throws
// stops it.
void writePng(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows, bool alpha, const RunAll& runAll);

// The most memory writing a width x height PNG holds beside the pixels: the whole file while it
// grows (twice the filtered rows, as a vector doubles) and the bands compressed at once.
uint64_t pngWriterBytes(int64_t width, int64_t height);

}  // namespace bmp
