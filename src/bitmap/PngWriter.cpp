#include "bitmap/PngWriter.h"

#include "bitmap/PngRows.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace bmp {
namespace {

constexpr size_t kBandBytes = size_t{1} << 20;  // filtered bytes a band holds (a row at least)
constexpr size_t kWindow = 32768;               // deflate's window: what primes each band
constexpr size_t kMostInChunk = size_t{1} << 30;
constexpr size_t kScratchesKept = 16;           // threads' scratch counted by pngWriterBytes
constexpr size_t kLevelBuffer = ISAL_DEF_LVL1_DEFAULT;

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (const int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(v >> shift));
}

// A chunk of the given type holding data, appended to out.
void appendChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t length) {
    put32(out, static_cast<uint32_t>(length));
    const size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    put32(out, crc32_gzip_refl(0, out.data() + at, 4 + length));
}

// One thread's working memory, kept for the next band it compresses.
struct Scratch {
    Scratch(int32_t width, bool alpha) : filter(width, alpha), level(kLevelBuffer) {}
    PngRowFilter filter;
    std::vector<uint8_t> filtered, deflated, level, other;
    isal_zstream stream;
};

struct Band {
    std::vector<uint8_t> chunks;  // IDAT chunks holding the band's deflate blocks
    uint32_t adler = 1;
    size_t length = 0;  // filtered bytes it holds
    bool translucent = false;
};

}  // namespace

struct PngBands::Impl {
    int32_t width, height;
    bool alpha;
    RowSource rows;
    PngCompression compression;
    size_t stride, bandRows, bands;
    std::vector<Band> done;
    std::mutex mutex;
    std::vector<std::unique_ptr<Scratch>> spare;

    std::unique_ptr<Scratch> take() {
        {
            std::lock_guard lock(mutex);
            if (!spare.empty()) {
                auto scratch = std::move(spare.back());
                spare.pop_back();
                return scratch;
            }
        }
        return std::make_unique<Scratch>(width, alpha);
    }
    void give(std::unique_ptr<Scratch> scratch) {
        std::lock_guard lock(mutex);
        spare.push_back(std::move(scratch));
    }
};

PngBands::PngBands(int32_t width, int32_t height, bool alpha, RowSource rows, PngCompression compression)
    : m(std::make_unique<Impl>()) {
    // PNG's own limit on a side is 2^31 - 1; a row of ours is far shorter.
    if (width <= 0 || height <= 0)
        throw FormatError("a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels cannot be a PNG file");
    m->width = width, m->height = height, m->alpha = alpha, m->rows = std::move(rows), m->compression = compression;
    m->stride = static_cast<size_t>(width) * (alpha ? 4 : 3);
    m->bandRows = std::clamp<size_t>(kBandBytes / (m->stride + 1), 1, static_cast<size_t>(height));
    m->bands = (static_cast<size_t>(height) + m->bandRows - 1) / m->bandRows;
    m->done.resize(m->bands);
}

PngBands::~PngBands() = default;

bool PngBands::alpha() const { return m->alpha; }
size_t PngBands::count() const { return m->bands; }

int32_t PngBands::rowsRead(size_t band) const {
    return static_cast<int32_t>(std::min(static_cast<size_t>(m->height), (band + 1) * m->bandRows));
}

void PngBands::compress(size_t k) {
    const auto top = static_cast<int32_t>(k * m->bandRows), end = rowsRead(k);
    const bool last = k + 1 == m->bands;
    const size_t rowBytes = m->stride + 1;
    // The rows before the band, filtered again, prime its window.
    int32_t from = top;
    size_t primed = 0;
    while (from > 0 && primed < kWindow) --from, primed += rowBytes;
    std::unique_ptr<Scratch> s = m->take();
    s->filtered.resize(static_cast<size_t>(end - from) * rowBytes);
    s->filter.start(from > 0 ? m->rows(from - 1) : nullptr);
    bool opaque = true;
    for (int32_t y = from; y < end; ++y)
        if (!s->filter.filter(m->rows(y), s->filtered.data() + static_cast<size_t>(y - from) * rowBytes) && y >= top) opaque = false;

    Band band;
    uint8_t* in = s->filtered.data() + primed;
    band.length = s->filtered.size() - primed;
    band.adler = isal_adler32(1, in, band.length);
    band.translucent = m->alpha && !opaque;
    isal_zstream& z = s->stream;
    isal_deflate_init(&z);
    z.level = 1, z.level_buf = s->level.data(), z.level_buf_size = static_cast<uint32_t>(s->level.size());
    z.gzip_flag = IGZIP_DEFLATE;
    if (const size_t dictionary = std::min(primed, kWindow); dictionary > 0)
        if (isal_deflate_set_dict(&z, in - dictionary, static_cast<uint32_t>(dictionary)) != COMP_OK) throw std::bad_alloc();
    // The first band begins the zlib stream (its head, deflate with a 32 KiB window).
    const size_t head = k == 0 ? 2 : 0;
    s->deflated.resize(std::max(s->deflated.size(), head + band.length + band.length / 64 + 1024));
    if (head) s->deflated[0] = 0x78, s->deflated[1] = 0x01;
    z.next_in = in, z.avail_in = static_cast<uint32_t>(band.length);
    z.end_of_stream = last ? 1 : 0;
    z.flush = last ? NO_FLUSH : SYNC_FLUSH;
    size_t length = head;
    for (;;) {
        z.next_out = s->deflated.data() + length, z.avail_out = static_cast<uint32_t>(s->deflated.size() - length);
        if (isal_deflate(&z) != COMP_OK) throw std::bad_alloc();
        length = s->deflated.size() - z.avail_out;
        // Done once every byte is taken and the band ended (on a byte, or the stream's end) with
        // room to spare.
        if (z.avail_in == 0 && z.avail_out > 0 && (!last || z.internal_state.state == ZSTATE_END)) break;
        s->deflated.resize(s->deflated.size() * 2);
    }
    if (m->compression == PngCompression::Smallest) {
        // zlib's best beside it, primed and ended alike; the shorter is kept.
        z_stream best{};
        if (deflateInit2(&best, 9, Z_DEFLATED, -15, 9, Z_FILTERED) != Z_OK) throw std::bad_alloc();
        if (const size_t dictionary = std::min(primed, kWindow); dictionary > 0)
            deflateSetDictionary(&best, in - dictionary, static_cast<uInt>(dictionary));
        s->other.resize(head + deflateBound(&best, static_cast<uLong>(band.length)) + 64);
        std::copy(s->deflated.begin(), s->deflated.begin() + static_cast<std::ptrdiff_t>(head), s->other.begin());
        best.next_in = in, best.avail_in = static_cast<uInt>(band.length);
        best.next_out = s->other.data() + head, best.avail_out = static_cast<uInt>(s->other.size() - head);
        const int result = deflate(&best, last ? Z_FINISH : Z_SYNC_FLUSH);
        const size_t shorter = s->other.size() - best.avail_out;
        deflateEnd(&best);
        if (result != (last ? Z_STREAM_END : Z_OK) || best.avail_in != 0) throw std::bad_alloc();
        if (shorter < length) std::swap(s->other, s->deflated), length = shorter;
    }
    for (size_t at = 0; at < length; at += kMostInChunk)
        appendChunk(band.chunks, "IDAT", s->deflated.data() + at, std::min(kMostInChunk, length - at));
    m->done[k] = std::move(band);
    m->give(std::move(s));
}

bool PngBands::anyTranslucent() const {
    return std::any_of(m->done.begin(), m->done.end(), [](const Band& band) { return band.translucent; });
}

uint64_t PngBands::fileSize() const {
    uint64_t size = 8 + 25 + 16 + 12;  // signature, IHDR, the Adler-32's IDAT, IEND
    for (const Band& band : m->done) size += band.chunks.size();
    return size;
}

void PngBands::write(ByteSink& sink) const {
    std::vector<uint8_t> head = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(m->width));
    put32(header, static_cast<uint32_t>(m->height));
    // 8 bits a channel, RGB or RGBA, deflate, adaptive filters, not interlaced.
    header.insert(header.end(), {8, static_cast<uint8_t>(m->alpha ? 6 : 2), 0, 0, 0});
    appendChunk(head, "IHDR", header.data(), header.size());
    sink.write(head.data(), head.size());
    uLong adler = adler32(0, nullptr, 0);
    for (const Band& band : m->done) {
        sink.write(band.chunks.data(), band.chunks.size());
        adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
    }
    // The zlib stream ends with the Adler-32 of every filtered byte; then the file's end.
    std::vector<uint8_t> sum, tail;
    put32(sum, static_cast<uint32_t>(adler));
    appendChunk(tail, "IDAT", sum.data(), sum.size());
    appendChunk(tail, "IEND", nullptr, 0);
    sink.write(tail.data(), tail.size());
}

uint64_t pngWriterBytes(int64_t width, int64_t height) {
    const auto row = static_cast<uint64_t>(width) * 4 + 1, filtered = static_cast<uint64_t>(height) * row;
    const uint64_t bands = filtered / kBandBytes + 1;
    const uint64_t scratch = 2 * (kBandBytes + row + kWindow) + row / 16 + 4096 + 8 * row + kLevelBuffer + sizeof(isal_zstream);
    return filtered + filtered / 16 + bands * 4096 + kScratchesKept * scratch;
}

void writePng(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows, bool alpha, const RunAll& runAll,
              PngCompression compression) {
    PngBands bands(width, height, alpha, rows, compression);
    runAll(bands.count(), [&](size_t k) { bands.compress(k); });
    bands.write(sink);
}

}  // namespace bmp
