// The floor: the least any combiner must do. Reads every listed file's bytes and writes one
// file of the canvas's size (640 pixels wide, 64-pixel rows of 10 cells, 24 bits per pixel).
// Usage: floor LIST OUTPUT

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc != 3) return 2;
    std::ifstream list(argv[1]);
    std::vector<char> buffer(1 << 20);
    size_t files = 0, bytes = 0;
    for (std::string path; std::getline(list, path); ++files) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) return 1;
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) bytes += static_cast<size_t>(n);
        ::close(fd);
    }
    const size_t rows = (files + 9) / 10 * 64;
    const std::vector<char> row(640 * 3, 0);
    const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    char header[54] = {'B', 'M'};
    if (::write(out, header, sizeof header) < 0) return 1;
    for (size_t y = 0; y < rows; ++y)
        if (::write(out, row.data(), row.size()) < 0) return 1;
    ::close(out);
    std::fprintf(stderr, "%zu files, %zu bytes\n", files, bytes);
    return 0;
}
