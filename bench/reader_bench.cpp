// Reader speed: our bitmap reader against Qt's QImageReader and against a plain copy of the
// same bytes, over every .bmp below DIR, all files already in memory. Prints the median of
// several runs of each, in milliseconds, as a Markdown table row set.

#include "Timing.h"
#include "bitmap/BmpReader.h"
#include "discovery/FindFiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>


int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    std::string root = argv[1];
    discovery::PosixEnumerator posix;
    discovery::Finder finder(posix);
    tk::Collection found;
    finder.FindFiles(root, "*", "*.bmp", found);
    std::vector<std::vector<uint8_t>> files;
    for (const auto& path : found.items()) {
        std::ifstream in(path, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t checksum = 0;
    const double ours = 1000 * medianSeconds(7, [&] {
        for (const auto& f : files) checksum += bmp::decode(f.data(), f.size()).image.row(0)[0];
    });
    const double qt = 1000 * medianSeconds(7, [&] {
        for (const auto& f : files) {
            QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer, "bmp");
            checksum += reader.read().pixel(0, 0);
        }
    });
    const double copy = 1000 * medianSeconds(7, [&] {
        for (const auto& f : files) {
            auto out = std::make_unique_for_overwrite<uint8_t[]>(f.size());
            std::memcpy(out.get(), f.data(), f.size());
            checksum += out[f.size() - 1];
        }
    });
    // The same copy, but of as many bytes as the decoded pictures hold (4 a pixel): the least
    // any reader that hands out 32-bit pixels must write.
    std::vector<size_t> decodedSizes;
    for (const auto& f : files) {
        const bmp::Decoded d = bmp::decode(f.data(), f.size());
        decodedSizes.push_back(static_cast<size_t>(d.image.width) * static_cast<size_t>(d.image.height) * 4);
    }
    const double copyDecoded = 1000 * medianSeconds(7, [&] {
        for (size_t i = 0; i < files.size(); ++i) {
            auto out = std::make_unique_for_overwrite<uint8_t[]>(decodedSizes[i]);
            std::memset(out.get(), 0, decodedSizes[i]);
            std::memcpy(out.get(), files[i].data(), std::min(files[i].size(), decodedSizes[i]));
            checksum += out[decodedSizes[i] - 1];
        }
    });
    std::printf("| writing the decoded size (4 bytes a pixel) | %.1f ms (ours is %.2fx) |\n", copyDecoded, ours / copyDecoded);
    std::printf("| files decoded | %zu |\n| our reader | %.1f ms |\n| Qt's QImageReader | %.1f ms (%.2fx ours) |\n"
                "| plain copy of the bytes | %.1f ms (ours is %.2fx) |\n",
                files.size(), ours, qt, qt / ours, copy, ours / copy);
    std::fprintf(stderr, "checksum %zu\n", checksum);
    return 0;
}
