// libFuzzer target: any bytes through the picture-loading path, as LoadPicture decodes a file.
// Every input must come back as a picture within the pixel budget or as a refusal.

#include "bitmap/BmpReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The same code with a smaller pixel budget (16 Mi pixels, 64 MiB decoded), so the fuzzer can
// hold every allocation past the budget to -malloc_limit_mb and still run fast.
constexpr uint64_t kFuzzBudget = uint64_t{1} << 24;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const bmp::Decoded decoded = bmp::decode(data, size, kFuzzBudget);
        if (decoded.embedded == bmp::Embedded::None) {
            const bmp::Image& image = decoded.image;
            if (image.width <= 0 || image.height <= 0 ||
                static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) > kFuzzBudget)
                std::abort();
            // Every pixel is defined: reading them all must be clean under the sanitizers.
            uint32_t sum = 0;
            for (int32_t y = 0; y < image.height; ++y) sum ^= image.row(y)[image.width - 1] ^ image.row(y)[0];
            if (sum == 0x12345678u) return 1;
        } else if (decoded.streamOffset + decoded.streamSize > size) {
            std::abort();
        }
    } catch (const bmp::FormatError&) {
    }
    return 0;
}
