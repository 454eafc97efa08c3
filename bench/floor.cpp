// The floor: the least any combiner must do. Reads every listed file's bytes and writes one
// file of the canvas's size (640 pixels wide, 64-pixel rows of 10 cells, 24 bits per pixel).
// With --hint N it reads them while the kernel is told about the next N files
// (posix_fadvise WILLNEED), the floor for a cold cache.
// Usage: floor [--hint N] LIST OUTPUT

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

void hint(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

}  // namespace

int main(int argc, char* argv[]) {
    size_t ahead = 0;
    if (argc == 5 && !std::strcmp(argv[1], "--hint")) {
        ahead = static_cast<size_t>(std::atol(argv[2]));
        argv += 2, argc -= 2;
    }
    if (argc != 3) return 2;
    std::ifstream list(argv[1]);
    std::vector<std::string> paths;
    for (std::string path; std::getline(list, path);) paths.push_back(path);
    std::vector<char> buffer(1 << 20);
    size_t bytes = 0, hinted = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        for (; hinted < paths.size() && hinted <= i + ahead && ahead > 0; ++hinted) hint(paths[hinted]);
        const int fd = ::open(paths[i].c_str(), O_RDONLY);
        if (fd < 0) return 1;
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) bytes += static_cast<size_t>(n);
        ::close(fd);
    }
    const size_t rows = (paths.size() + 9) / 10 * 64;
    const std::vector<char> row(640 * 3, 0);
    const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    char header[54] = {'B', 'M'};
    if (::write(out, header, sizeof header) < 0) return 1;
    for (size_t y = 0; y < rows; ++y)
        if (::write(out, row.data(), row.size()) < 0) return 1;
    ::close(out);
    std::fprintf(stderr, "%zu files, %zu bytes\n", paths.size(), bytes);
    return 0;
}
