#include "bitmap/PngReader.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace bmp {
namespace {

struct Source {
    const uint8_t* data;
    size_t size, at;
};

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "the file ends before its pixel data ends");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

// libpng reports through longjmp: the words are kept here, and thrown once the C frames are left.
struct Failure {
    char words[200] = "";
};

void onError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->words, sizeof failure->words, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// The decoding itself, in C style: nothing between setjmp and longjmp has a destructor. Returns
// false with failure's words set.
bool decodeInto(const uint8_t* data, size_t size, uint64_t pixelBudget, Image& image, PixelBuffer& pixels, Failure& failure) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
    if (!png) return std::snprintf(failure.words, sizeof failure.words, "out of memory"), false;
    png_infop info = png_create_info_struct(png);
    Source source{data, size, 0};
    png_bytep* rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    if (!info) png_error(png, "out of memory");
    png_set_read_fn(png, &source, readBytes);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (uint64_t{width} * height > pixelBudget) png_error(png, "the picture is larger than this program reads");
    const int colour = png_get_color_type(png, info);
    image.hasAlpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
    // To 8-bit BGRA, as the image's 0xAARRGGBB words lie in memory.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{width} * 4) png_error(png, "an unexpected row layout");
    pixels.reset(static_cast<uint32_t*>(std::malloc(size_t{width} * height * 4 + 4)));
    if (!pixels) png_error(png, "out of memory");
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!rows) png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(pixels.get() + size_t{y} * width);
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    return true;
}

}  // namespace

bool isPng(const uint8_t* data, size_t size) { return size >= 8 && png_sig_cmp(data, 0, 8) == 0; }

std::optional<std::pair<int32_t, int32_t>> pictureSize(const uint8_t* head, size_t size) {
    const auto be32 = [&](size_t at) { return uint32_t{head[at]} << 24 | uint32_t{head[at + 1]} << 16 | uint32_t{head[at + 2]} << 8 | head[at + 3]; };
    const auto le = [&](size_t at, size_t bytes) {
        uint32_t v = 0;
        for (size_t i = bytes; i-- > 0;) v = v << 8 | head[at + i];
        return v;
    };
    std::pair<int64_t, int64_t> wh;
    if (isPng(head, size) && size >= 24) {
        wh = {be32(16), be32(20)};
    } else if (size >= 26 && head[0] == 'B' && head[1] == 'M') {
        // The OS/2 1.x header's sides are 16 bits, every other's 32 (a negative height: top-down).
        const bool os2 = le(14, 4) == 12;
        wh = {os2 ? le(18, 2) : static_cast<int32_t>(le(18, 4)), os2 ? le(20, 2) : std::abs(int64_t{static_cast<int32_t>(le(22, 4))})};
    } else {
        return std::nullopt;
    }
    if (wh.first <= 0 || wh.second <= 0 || wh.first > INT32_MAX || wh.second > INT32_MAX) return std::nullopt;
    return std::pair{static_cast<int32_t>(wh.first), static_cast<int32_t>(wh.second)};
}

Image decodePng(const uint8_t* data, size_t size, uint64_t pixelBudget) {
    if (!isPng(data, size)) throw FormatError("not a PNG file");
    Image image;
    PixelBuffer pixels;
    Failure failure;
    if (!decodeInto(data, size, pixelBudget, image, pixels, failure)) throw FormatError(std::string("PNG: ") + failure.words);
    image.pixels = std::move(pixels);
    return image;
}

}  // namespace bmp
