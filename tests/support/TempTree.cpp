#include "support/TempTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

void makeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// In $TMPDIR (or /tmp), named after the test program, private to its user.
TempTree::TempTree() {
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/" + program_invocation_short_name + "-XXXXXX";
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot make a temporary folder in " + name);
    m_root = name;
}

// Removed by its bytes, not by Qt's decoding of its names: a name that is not UTF-8 goes too.
// Folders a test made read-only are opened up first; links are removed, never followed.
TempTree::~TempTree() {
    ::nftw(m_root.c_str(), [](const char* path, const struct stat* st, int kind, FTW*) {
        if (kind == FTW_D) ::chmod(path, st->st_mode | S_IRWXU);
        return 0;
    }, 16, FTW_PHYS);
    ::nftw(m_root.c_str(), [](const char* path, const struct stat*, int kind, FTW*) {
        (kind == FTW_DP ? ::rmdir(path) : ::unlink(path));
        return 0;
    }, 16, FTW_DEPTH | FTW_PHYS);
}

TempTree::TempTree(std::initializer_list<std::string> paths) : TempTree() {
    for (const auto& p : paths) {
        if (!p.empty() && p.back() == '/') addFolder(p.substr(0, p.size() - 1));
        else addFile(p);
    }
}

void TempTree::addFolder(const std::string& relative) const { makeFolders(path(relative)); }

void TempTree::addFile(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    makeFolders(parentOf(path(relative)));
    writeFile(path(relative), bytes);
}

void TempTree::addLink(const std::string& relative, const std::string& target) const {
    makeFolders(parentOf(path(relative)));
    if (::symlink(target.c_str(), path(relative).c_str()) != 0) throw std::runtime_error("cannot link " + relative);
}

std::vector<uint8_t> TempTree::read(const std::string& relative) const { return readFile(path(relative)); }

bool TempTree::exists(const std::string& relative) const {
    struct stat st;
    return ::lstat(path(relative).c_str(), &st) == 0;
}

std::vector<std::string> TempTree::list(const std::string& relative) const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(relative.empty() ? m_root.c_str() : path(relative).c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::pair<size_t, size_t> pagesInMemory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) throw std::runtime_error("cannot look at " + path);
    if (st.st_size == 0) return ::close(fd), std::pair<size_t, size_t>{0, 0};
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE)), size = static_cast<size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    std::vector<unsigned char> resident((size + page - 1) / page);
    if (map == MAP_FAILED || ::mincore(map, size, resident.data()) != 0) throw std::runtime_error("cannot look at " + path);
    ::munmap(map, size);
    return {static_cast<size_t>(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; })), resident.size()};
}

bool dropFromMemory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::fdatasync(fd);  // only clean pages can go
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    const auto [inMemory, pages] = pagesInMemory(path);
    return pages > 0 && inMemory == 0;
}
