#pragma once
// JPEG and PNG streams inside bitmaps, decoded by Qt's image readers. Qt's GUI module (and the
// libraries it brings: X11, OpenGL, fonts) is heavy to load, and few bitmaps hold such a stream,
// so the decoder is its own piece: linked into the window, which loads Qt's GUI anyway, and a
// module the batch tool opens only when it meets a bitmap that needs it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tk {

struct EmbeddedPixels {
    int32_t width = 0, height = 0;
    bool hasAlpha = false;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows from the top
    std::string error;             // why the stream could not be read, when it could not
};

// The module's file name, beside the program in a build, in the library folder once installed.
inline constexpr const char* kEmbeddedModule = "quiltwright-embedded.so";

}  // namespace tk

// Decodes size bytes of a JPEG (jpeg) or PNG stream; a picture of more than pixelBudget pixels
// is refused before it is decoded. False, with out.error set, when it cannot be read.
extern "C" bool quiltwright_decode_embedded(const uint8_t* data, size_t size, bool jpeg, uint64_t pixelBudget,
                                            tk::EmbeddedPixels* out);
