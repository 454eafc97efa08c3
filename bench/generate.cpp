// Benchmark data: `generate sprites DIR N` writes N pictures of 64 x 64 (8-, 24- and 32-bit
// mixed, some top-down, a few odd sizes) into nested folders; `generate walk DIR` writes a tree
// of 100,000 files in 5,000 folders, about 5% of them .bmp.

#include "support/BmpBuilder.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
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
