#include "bitmap/PngRows.h"

#include <algorithm>
#include <cstring>

// The loops below are written to be computed a vector at a time; where the processor has AVX2
// they are compiled for it too, and the wider version is chosen when the program starts (not
// under ThreadSanitizer, whose instrumented choosers would run before its runtime is up).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QW_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QW_VECTOR_CLONES
#endif

namespace bmp {
namespace {

// |v| of a byte taken as signed, as an unsigned byte (|-128| is 128).
inline uint8_t magnitude(uint8_t v) {
    const auto negated = static_cast<uint8_t>(-v);
    return v < negated ? v : negated;
}

// Paeth's predictor of a byte from its left (a), upper (b) and upper-left (c) neighbours.
inline uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const auto p = static_cast<int16_t>(b - c), q = static_cast<int16_t>(a - c), s = static_cast<int16_t>(p + q);
    const auto pa = static_cast<int16_t>(p < 0 ? -p : p), pb = static_cast<int16_t>(q < 0 ? -q : q),
               pc = static_cast<int16_t>(s < 0 ? -s : s);
    return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

// Pixels as bytes; returns the AND of their alphas.
QW_VECTOR_CLONES uint32_t toBytes(const uint32_t* __restrict pixels, size_t width, bool alpha, uint8_t* __restrict out) {
    uint32_t opaque = 0xFF000000u;
    if (alpha) {
        for (size_t x = 0; x < width; ++x) {
            const uint32_t p = pixels[x];
            opaque &= p;
            out[4 * x] = static_cast<uint8_t>(p >> 16), out[4 * x + 1] = static_cast<uint8_t>(p >> 8);
            out[4 * x + 2] = static_cast<uint8_t>(p), out[4 * x + 3] = static_cast<uint8_t>(p >> 24);
        }
    } else {
        for (size_t x = 0; x < width; ++x) {
            const uint32_t p = pixels[x];
            out[3 * x] = static_cast<uint8_t>(p >> 16), out[3 * x + 1] = static_cast<uint8_t>(p >> 8), out[3 * x + 2] = static_cast<uint8_t>(p);
        }
    }
    return opaque;
}

// row and above each have bpp readable bytes before them; trial holds four rows of n bytes.
QW_VECTOR_CLONES void filterAll(const uint8_t* __restrict row, const uint8_t* __restrict above, size_t n, size_t bpp,
                                uint8_t* __restrict trial) {
    uint8_t* __restrict sub = trial;
    uint8_t* __restrict up = trial + n;
    uint8_t* __restrict average = trial + 2 * n;
    uint8_t* __restrict paethed = trial + 3 * n;
    for (size_t i = 0; i < n; ++i) sub[i] = static_cast<uint8_t>(row[i] - row[i - bpp]);
    for (size_t i = 0; i < n; ++i) up[i] = static_cast<uint8_t>(row[i] - above[i]);
    for (size_t i = 0; i < n; ++i) average[i] = static_cast<uint8_t>(row[i] - ((row[i - bpp] + above[i]) >> 1));
    for (size_t i = 0; i < n; ++i) paethed[i] = static_cast<uint8_t>(row[i] - paeth(row[i - bpp], above[i], above[i - bpp]));
}

// The sum of the bytes' magnitudes: the smaller, the better the row deflates. Summed 256 bytes
// at a time in 16 bits (256 x 128 fits), which vectors add several times as fast as 32.
QW_VECTOR_CLONES uint64_t weight(const uint8_t* __restrict t, size_t n) {
    uint64_t sum = 0;
    for (size_t at = 0; at < n; at += 256) {
        const size_t end = std::min(n, at + 256);
        uint16_t part = 0;
        for (size_t i = at; i < end; ++i) part = static_cast<uint16_t>(part + magnitude(t[i]));
        sum += part;
    }
    return sum;
}

}  // namespace

PngRowFilter::PngRowFilter(int32_t width, bool alpha)
    : m_width(static_cast<size_t>(width)), m_bpp(alpha ? 4 : 3), m_stride(m_width * m_bpp), m_row(m_bpp + m_stride),
      m_above(m_bpp + m_stride), m_trial(4 * m_stride) {}

void PngRowFilter::start(const uint32_t* above) {
    if (above) toBytes(above, m_width, m_bpp == 4, m_above.data() + m_bpp);
    else std::fill(m_above.begin(), m_above.end(), uint8_t{0});
}

bool PngRowFilter::filter(const uint32_t* pixels, uint8_t* out) {
    const uint8_t* row = m_row.data() + m_bpp;
    const bool opaque = toBytes(pixels, m_width, m_bpp == 4, m_row.data() + m_bpp) == 0xFF000000u;
    filterAll(row, m_above.data() + m_bpp, m_stride, m_bpp, m_trial.data());
    size_t chosen = 0;
    uint64_t best = weight(row, m_stride);
    for (size_t f = 1; f < 5; ++f)
        if (const uint64_t w = weight(m_trial.data() + (f - 1) * m_stride, m_stride); w < best) best = w, chosen = f;
    out[0] = static_cast<uint8_t>(chosen);
    std::memcpy(out + 1, chosen == 0 ? row : m_trial.data() + (chosen - 1) * m_stride, m_stride);
    std::swap(m_row, m_above);
    return opaque;
}

}  // namespace bmp
