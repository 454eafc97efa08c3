// The floor: the least any combiner must do. Reads every listed file's bytes and writes one
// file of the canvas's size (640 pixels wide, rows of cells, 24 bits per pixel).
// With --hint N it reads them while the kernel is told about the next N files
// (posix_fadvise WILLNEED), the floor for a cold cache. LIST may be a folder: its .bmp files
// are then found by walking it, as a combiner must. --cell W H sets the cell (64 x 64); --fsync
// makes the canvas durable, as a careful save does; --sampled reads only the rows a W x H cell
// samples of each (uncompressed, 24-bit) picture, hinting the next files' sampled rows.
// Usage: floor [--hint N] [--cell W H] [--fsync] [--sampled] LIST OUTPUT

#include <fcntl.h>
#include <ftw.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_found;

int found(const char* path, const struct stat*, int kind, FTW*) {
    const size_t n = std::strlen(path);
    if (kind == FTW_F && n > 4 && !strcasecmp(path + n - 4, ".bmp")) g_found.emplace_back(path);
    return 0;
}

struct Sampled {
    int cellHeight = 0;
    // The offsets and length of the rows the cell samples, from the picture's header.
    std::vector<uint64_t> offsets;
    size_t bytes = 0;
    bool read(int fd) {
        uint8_t header[54];
        if (::pread(fd, header, sizeof header, 0) != 54) return false;
        const auto u32 = [&](int at) { uint32_t v; std::memcpy(&v, header + at, 4); return v; };
        const int64_t width = static_cast<int32_t>(u32(18)), height = static_cast<int32_t>(u32(22));
        const int64_t rows = height < 0 ? -height : height;
        const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) / 4 * 4;
        bytes = static_cast<size_t>(width * 3);
        offsets.clear();
        for (int64_t k = 0; k < cellHeight; ++k) {
            const int64_t y = (2 * k + 1) * rows / (2 * cellHeight);
            offsets.push_back(u32(10) + static_cast<uint64_t>(height < 0 ? y : rows - 1 - y) * stride);
        }
        return true;
    }
};

void hint(const std::string& path, Sampled* sampled) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    if (sampled && sampled->read(fd)) {
        for (const uint64_t at : sampled->offsets) ::posix_fadvise(fd, static_cast<off_t>(at), static_cast<off_t>(sampled->bytes), POSIX_FADV_WILLNEED);
    } else {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    }
    ::close(fd);
}

}  // namespace

int main(int argc, char* argv[]) {
    size_t ahead = 0;
    int cellWidth = 64, cellHeight = 64;
    bool sync = false, sampledRows = false;
    int a = 1;
    for (; a < argc - 2; ++a) {
        if (!std::strcmp(argv[a], "--hint")) ahead = static_cast<size_t>(std::atol(argv[++a]));
        else if (!std::strcmp(argv[a], "--cell")) cellWidth = std::atoi(argv[++a]), cellHeight = std::atoi(argv[++a]);
        else if (!std::strcmp(argv[a], "--fsync")) sync = true;
        else if (!std::strcmp(argv[a], "--sampled")) sampledRows = true;
        else return 2;
    }
    if (argc - a != 2) return 2;
    std::vector<std::string> paths;
    if (::nftw(argv[a], found, 64, FTW_PHYS) == 0 && !g_found.empty()) {
        paths = g_found;
        std::sort(paths.begin(), paths.end(), [](const std::string& x, const std::string& y) { return strcasecmp(x.c_str(), y.c_str()) < 0; });
    } else {
        std::ifstream list(argv[a]);
        for (std::string path; std::getline(list, path);) paths.push_back(path);
    }
    Sampled sampled;
    sampled.cellHeight = cellHeight;
    std::vector<char> buffer(1 << 20);
    size_t bytes = 0, hinted = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        for (; hinted < paths.size() && hinted <= i + ahead && ahead > 0; ++hinted) hint(paths[hinted], sampledRows ? &sampled : nullptr);
        const int fd = ::open(paths[i].c_str(), O_RDONLY);
        if (fd < 0) return 1;
        if (sampledRows && sampled.read(fd)) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
            for (const uint64_t at : sampled.offsets)
                if (::pread(fd, buffer.data(), sampled.bytes, static_cast<off_t>(at)) > 0) bytes += sampled.bytes;
        } else {
            for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) bytes += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    const size_t perRow = static_cast<size_t>(std::max(1, 640 / cellWidth));
    const size_t rows = (paths.size() + perRow - 1) / perRow * static_cast<size_t>(cellHeight);
    const std::vector<char> row(640 * 3, 0);
    const int out = ::open(argv[a + 1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    char header[54] = {'B', 'M'};
    if (::write(out, header, sizeof header) < 0) return 1;
    for (size_t y = 0; y < rows; ++y)
        if (::write(out, row.data(), row.size()) < 0) return 1;
    if (sync && ::fsync(out) != 0) return 1;
    ::close(out);
    std::fprintf(stderr, "%zu files, %zu bytes\n", paths.size(), bytes);
    return 0;
}
