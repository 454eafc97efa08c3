// Benchmark data: `generate sprites DIR N` writes N pictures of 64 x 64 (8-, 24- and 32-bit
// mixed, some top-down, a few odd sizes) into nested folders; `generate walk DIR` writes a tree
// of 100,000 files in 5,000 folders, about 5% of them .bmp; `generate screenshots DIR N` writes N
// screenshot-like pictures of 1920 x 1080, 24-bit (6 MB each); `generate frames DIR N` writes N
// animation frames of 32 x 32 with soft alpha twice: DIR/png as PNG, DIR/bmp as 32-bit bitmaps;
// `generate photos DIR N` writes N photograph-like pictures of 64 x 64, 24-bit (5,630 make a
// sheet of 640 x 36,032): smooth light with grain of every strength, one in four pure noise.

#include "bitmap/BmpWriter.h"
#include "bitmap/PngWriter.h"
#include "support/BmpBuilder.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <string>

namespace {

void makeFolder(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

void write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A sprite: a coloured disc on a plain background, resting at a height that varies.
uint32_t sprite(int i, int x, int y, int w, int h) {
    const int cx = w / 2, cy = h / 3 + (i * 7) % std::max(1, h / 2), r = std::max(1, w / 5 + i % 7);
    const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
    return inside ? 0x204060u + static_cast<uint32_t>(i * 0x050301) % 0xDFDFDF : 0xF0F0F0u;
}

std::vector<uint8_t> picture(int i) {
    int w = 64, h = 64;
    if (i % 500 == 7) w = h = 1;
    if (i % 500 == 11) w = 63, h = 65;
    const bool topDown = i % 5 == 0;
    const ColourAt colour = [=](int x, int y) { return sprite(i, x, y, w, h); };
    switch (i % 3) {
    case 0: {
        std::vector<uint32_t> palette = {0xF0F0F0};
        for (int k = 1; k < 256; ++k) palette.push_back(static_cast<uint32_t>(k * 0x010203) & 0xFFFFFF);
        const uint8_t index = static_cast<uint8_t>(1 + i % 255);
        return bmp8(w, h, palette, [=](int x, int y) { return sprite(i, x, y, w, h) == 0xF0F0F0u ? uint8_t{0} : index; }, topDown);
    }
    case 1: return bmp24(w, h, colour, topDown);
    default: return bmp32(w, h, colour, topDown);
    }
}

// A frame: a glow of soft alpha round a solid core, on a clear background, moving frame by frame.
uint32_t frame(int i, int x, int y) {
    const int cx = 8 + i % 16, cy = 10 + i % 12, d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    const uint32_t alpha = d2 < 16 ? 255u : d2 < 100 ? static_cast<uint32_t>(255 - d2 * 2) : 0u;
    return alpha << 24 | (0xFF8020u + static_cast<uint32_t>(i % 64) * 0x000101u);
}

struct Bytes : bmp::ByteSink {
    std::vector<uint8_t> all;
    void write(const uint8_t* data, size_t count) override { all.insert(all.end(), data, data + count); }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: generate sprites DIR N | generate walk DIR\n");
        return 2;
    }
    const std::string kind = argv[1], root = argv[2];
    if (kind == "sprites") {
        const int n = argc > 3 ? std::atoi(argv[3]) : 3000;
        for (int i = 0; i < n; ++i) {
            const std::string folder = root + "/set" + std::to_string(i % 10) + "/part" + std::to_string(i % 7);
            makeFolder(folder);
            char name[32];
            std::snprintf(name, sizeof name, "/s%05d.bmp", i);
            write(folder + name, picture(i));
        }
    } else if (kind == "frames") {
        const int n = argc > 3 ? std::atoi(argv[3]) : 3000;
        makeFolder(root + "/png");
        makeFolder(root + "/bmp");
        std::vector<uint32_t> pixels(32 * 32);
        for (int i = 0; i < n; ++i) {
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) pixels[size_t(y * 32 + x)] = frame(i, x, y);
            const bmp::RowSource rows = [&](int32_t y) { return pixels.data() + y * 32; };
            Bytes png, bitmap;
            bmp::writePng(png, 32, 32, rows, true, [](size_t count, const std::function<void(size_t)>& job) { for (size_t k = 0; k < count; ++k) job(k); });
            bmp::write32(bitmap, 32, 32, rows);
            char name[32];
            std::snprintf(name, sizeof name, "/f%05d", i);
            write(root + "/png" + name + ".png", png.all);
            write(root + "/bmp" + name + ".bmp", bitmap.all);
        }
    } else if (kind == "photos") {
        const int n = argc > 3 ? std::atoi(argv[3]) : 5630;
        makeFolder(root);
        uint32_t seed = 88172645u;
        for (int i = 0; i < n; ++i) {
            const int grain = i % 4 == 3 ? 256 : 8 + i % 7 * 8;
            const ColourAt colour = [&](int x, int y) {
                uint32_t c = 0;
                for (int channel = 0; channel < 3; ++channel) {
                    seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
                    const int light = grain == 256 ? 0 : (x * (channel + 1) + y * (3 - channel) + i * 37) % 180 + 20;
                    c = c << 8 | static_cast<uint32_t>(std::min(255, light + static_cast<int>(seed % static_cast<uint32_t>(grain))));
                }
                return c;
            };
            char name[32];
            std::snprintf(name, sizeof name, "/p%05d.bmp", i);
            write(root + name, bmp24(64, 64, colour, false));
        }
    } else if (kind == "screenshots") {
        // Screenshot-like pictures of 1920 x 1080, 24-bit, bottom-up: a desktop gradient, a few
        // windows with title bars, and text-like speckle, different in every file.
        const int n = argc > 3 ? std::atoi(argv[3]) : 300, width = 1920, height = 1080;
        makeFolder(root);
        const size_t stride = (width * 3 + 3) / 4 * 4;
        std::vector<uint8_t> file(54 + stride * height);
        for (int i = 0; i < n; ++i) {
            BmpSpec spec;
            spec.width = width, spec.height = height;
            const std::vector<uint8_t> header = buildBmp(spec);  // the header alone: no pixel data given
            std::copy(header.begin(), header.begin() + 54, file.begin());
            for (int b = 0; b < 4; ++b) file[2 + b] = static_cast<uint8_t>(file.size() >> (8 * b));  // the file's size
            uint32_t seed = 2463534242u + static_cast<uint32_t>(i) * 747796405u;
            for (int y = 0; y < height; ++y) {
                uint8_t* row = file.data() + 54 + static_cast<size_t>(height - 1 - y) * stride;
                for (int x = 0; x < width; ++x) {
                    const int window = (x / 480 + y / 360 + i) % 4;
                    uint32_t c = 0x203050u + static_cast<uint32_t>((y * 80 / height) << 8 | (x * 60 / width));
                    if (window == 1) c = (y % 360) < 24 ? 0x3060A0u : 0xF4F4F4u;
                    if (window == 1 && (y % 360) >= 40 && (y % 18) < 10 && (x % 480) > 20 && (x % 480) < 440) {
                        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
                        if (seed % 3 == 0) c = 0x202020u;
                    }
                    row[3 * x] = static_cast<uint8_t>(c), row[3 * x + 1] = static_cast<uint8_t>(c >> 8), row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
                }
            }
            char name[32];
            std::snprintf(name, sizeof name, "/shot%03d.bmp", i);
            write(root + name, file);
        }
    } else if (kind == "walk") {
        const std::vector<uint8_t> small = solidBmp(2, 2, 0x808080);
        int files = 0;
        for (int f = 0; f < 5000; ++f) {
            const std::string folder = root + "/d" + std::to_string(f % 50) + "/e" + std::to_string(f / 50 % 10) + "/f" + std::to_string(f);
            makeFolder(folder);
            for (int k = 0; k < 20; ++k, ++files) {
                const bool bitmap = files % 20 == 3;
                const std::string name = "/file" + std::to_string(k) + (bitmap ? (k % 2 ? ".BMP" : ".bmp") : ".txt");
                if (bitmap) write(folder + name, small);
                else std::ofstream(folder + name) << "x";
            }
        }
    } else {
        return 2;
    }
    return 0;
}
