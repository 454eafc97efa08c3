#include "bitmap/PngWriter.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace bmp {
namespace {

constexpr size_t kBandBytes = size_t{1} << 20;  // filtered bytes a band holds (a row at least)
constexpr size_t kWindow = 32768;               // deflate's window: what primes each band
constexpr size_t kBandsAtOnce = 16;             // bands compressed before they are written
constexpr int kLevel = 6;

// One compressed band: its deflate blocks, ending on a byte (a sync flush) or, for the last
// band, the final block; and the Adler-32 of the bytes it holds.
struct Band {
    std::vector<uint8_t> deflated;
    uLong adler = 1;
    size_t length = 0;
};

// Row y as R, G, B (, A) bytes.
void toBytes(const uint32_t* pixels, int32_t width, bool alpha, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = pixels[x];
        *out++ = static_cast<uint8_t>(p >> 16);
        *out++ = static_cast<uint8_t>(p >> 8);
        *out++ = static_cast<uint8_t>(p);
        if (alpha) *out++ = static_cast<uint8_t>(p >> 24);
    }
}

// Paeth's predictor of a byte from its left (a), upper (b) and upper-left (c) neighbours, without
// branches, so that whole rows of it are computed a vector at a time.
inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

// The sum of a filtered row's bytes taken as signed: the smaller, the better it deflates.
uint64_t weight(const uint8_t* t, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += static_cast<uint64_t>(std::abs(static_cast<int8_t>(t[i])));
    return sum;
}

// The row filtered by each of the five filters, and the one whose bytes weigh least (the rule
// libpng and most encoders follow) written out after its filter byte.
void filterRow(const uint8_t* __restrict row, const uint8_t* __restrict above, size_t stride, size_t bpp, uint8_t* out,
               std::array<std::vector<uint8_t>, 5>& trial) {
    uint8_t* __restrict sub = trial[1].data();
    uint8_t* __restrict up = trial[2].data();
    uint8_t* __restrict average = trial[3].data();
    uint8_t* __restrict paethed = trial[4].data();
    std::memcpy(trial[0].data(), row, stride);
    for (size_t i = 0; i < bpp; ++i) {
        sub[i] = row[i];
        up[i] = paethed[i] = static_cast<uint8_t>(row[i] - above[i]);
        average[i] = static_cast<uint8_t>(row[i] - above[i] / 2);
    }
    // One loop a filter: each a vector at a time.
    for (size_t i = bpp; i < stride; ++i) sub[i] = static_cast<uint8_t>(row[i] - row[i - bpp]);
    for (size_t i = bpp; i < stride; ++i) up[i] = static_cast<uint8_t>(row[i] - above[i]);
    for (size_t i = bpp; i < stride; ++i) average[i] = static_cast<uint8_t>(row[i] - ((row[i - bpp] + above[i]) >> 1));
    for (size_t i = bpp; i < stride; ++i) paethed[i] = static_cast<uint8_t>(row[i] - paeth(row[i - bpp], above[i], above[i - bpp]));
    uint64_t best = UINT64_MAX;
    size_t chosen = 0;
    for (size_t f = 0; f < 5; ++f)
        if (const uint64_t w = weight(trial[f].data(), stride); w < best) best = w, chosen = f;
    out[0] = static_cast<uint8_t>(chosen);
    std::memcpy(out + 1, trial[chosen].data(), stride);
}

// Filters and deflates one band, rows first .. end - 1, primed with the filtered rows before it.
Band compressBand(const RowSource& rows, int32_t width, size_t stride, size_t bpp, bool alpha, int32_t first, int32_t end, bool last) {
    int32_t from = first;
    size_t primed = 0;
    while (from > 0 && primed < kWindow) --from, primed += stride + 1;
    std::vector<uint8_t> filtered(static_cast<size_t>(end - from) * (stride + 1));
    std::vector<uint8_t> above(stride, 0), row(stride);
    std::array<std::vector<uint8_t>, 5> trial;
    for (auto& t : trial) t.resize(stride);
    if (from > 0) toBytes(rows(from - 1), width, alpha, above.data());
    for (int32_t y = from; y < end; ++y) {
        toBytes(rows(y), width, alpha, row.data());
        filterRow(row.data(), above.data(), stride, bpp, filtered.data() + static_cast<size_t>(y - from) * (stride + 1), trial);
        std::swap(row, above);
    }
    Band band;
    const uint8_t* in = filtered.data() + primed;
    band.length = filtered.size() - primed;
    band.adler = adler32(1, in, static_cast<uInt>(band.length));
    z_stream z{};
    if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
    const size_t dictionary = std::min(primed, kWindow);
    if (dictionary > 0) deflateSetDictionary(&z, in - dictionary, static_cast<uInt>(dictionary));
    band.deflated.resize(deflateBound(&z, static_cast<uLong>(band.length)) + 64);
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(band.length);
    z.next_out = band.deflated.data();
    z.avail_out = static_cast<uInt>(band.deflated.size());
    const int result = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    band.deflated.resize(band.deflated.size() - z.avail_out);
    deflateEnd(&z);
    if (result != (last ? Z_STREAM_END : Z_OK) || z.avail_in != 0) throw std::bad_alloc();
    return band;
}

// libpng's side: it writes into memory, and the caller hands the bytes on, so that no C++
// exception ever passes through libpng.
struct Chunks {
    std::vector<uint8_t> bytes;
};

void toMemory(png_structp png, png_bytep data, size_t length) {
    auto* chunks = static_cast<Chunks*>(png_get_io_ptr(png));
    try {
        chunks->bytes.insert(chunks->bytes.end(), data, data + length);
    } catch (...) {
        png_error(png, "out of memory");
    }
}
void noFlush(png_structp) {}
[[noreturn]] void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void onWarning(png_structp, png_const_charp) {}

// What is written between two hand-overs: the head (signature and IHDR), IDAT chunks, or the
// end. Only plain values live in this frame, which libpng may leave by longjmp.
enum class Part { Head, Data, End };
bool writeChunks(Chunks& out, Part part, int32_t width, int32_t height, bool alpha, const uint8_t* data, size_t length) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    bool written = false;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, toMemory, noFlush);
        if (part == Part::Head) {
            png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                         alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                         PNG_FILTER_TYPE_DEFAULT);
            png_write_info(png, info);
        } else if (part == Part::Data) {
            constexpr size_t kMostInChunk = size_t{1} << 30;
            for (size_t at = 0; at < length; at += kMostInChunk) {
                const size_t n = std::min(kMostInChunk, length - at);
                png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), data + at, n);
            }
        } else {
            png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
        }
        written = true;
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return written;
}

void handOn(ByteSink& sink, Chunks& chunks, Part part, int32_t width, int32_t height, bool alpha, const uint8_t* data = nullptr,
            size_t length = 0) {
    chunks.bytes.clear();
    if (!writeChunks(chunks, part, width, height, alpha, data, length)) throw std::bad_alloc();
    sink.write(chunks.bytes.data(), chunks.bytes.size());
}

}  // namespace

uint64_t pngWriterBytes(int64_t width, int64_t height) {
    const auto filtered = static_cast<uint64_t>(height) * (static_cast<uint64_t>(width) * 4 + 1);
    return 2 * (filtered + filtered / 1000 + 1024) + kBandsAtOnce * 2 * (kBandBytes + static_cast<uint64_t>(width) * 4 + 1024);
}

void writePng(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows, bool alpha, const RunAll& runAll) {
    // PNG's own limit on a side is 2^31 - 1; a row of ours is far shorter.
    if (width <= 0 || height <= 0)
        throw FormatError("a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels cannot be a PNG file");
    const size_t bpp = alpha ? 4 : 3, stride = static_cast<size_t>(width) * bpp;
    const auto bandRows = static_cast<int32_t>(std::clamp<size_t>(kBandBytes / (stride + 1), 1, static_cast<size_t>(height)));
    const size_t bands = (static_cast<size_t>(height) + static_cast<size_t>(bandRows) - 1) / static_cast<size_t>(bandRows);
    Chunks chunks;
    handOn(sink, chunks, Part::Head, width, height, alpha);
    uLong adler = adler32(0, nullptr, 0);
    std::vector<Band> done;
    for (size_t first = 0; first < bands; first += kBandsAtOnce) {
        const size_t count = std::min(kBandsAtOnce, bands - first);
        done.assign(count, Band{});
        runAll(count, [&](size_t i) {
            const auto k = static_cast<int32_t>(first + i);
            const int32_t top = k * bandRows, end = std::min(height, top + bandRows);
            done[i] = compressBand(rows, width, stride, bpp, alpha, top, end, first + i + 1 == bands);
        });
        // The zlib stream: its two-byte head before the first band, its Adler-32 after the last.
        std::vector<uint8_t> data;
        if (first == 0) data = {0x78, 0x9C};
        for (const Band& band : done) {
            data.insert(data.end(), band.deflated.begin(), band.deflated.end());
            adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
        }
        if (first + count == bands)
            for (const int shift : {24, 16, 8, 0}) data.push_back(static_cast<uint8_t>(adler >> shift));
        handOn(sink, chunks, Part::Data, width, height, alpha, data.data(), data.size());
    }
    handOn(sink, chunks, Part::End, width, height, alpha);
}

}  // namespace bmp
