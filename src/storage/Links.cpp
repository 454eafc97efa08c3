#include "storage/Links.h"

#include "storage/Failure.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace storage {
namespace {

constexpr int kLinkHops = 40;  // as the kernel allows when it follows links itself

// A link in a sticky folder that anybody may write to (such as /tmp) is followed only when it
// belongs to the user or to the folder's owner, the rule the kernel applies itself where
// fs.protected_symlinks is on: another user's planted link could otherwise turn a save into
// the replacement of any file the user may write.
void refuseForeignLink(const std::string& link, const struct stat& linkStat) {
    struct stat folder;
    if (::stat(folderOf(link).c_str(), &folder) != 0) return;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    if (!shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == folder.st_uid) return;
    throw Failure(Refusal::Denied, EACCES, link,
                  "Permission denied: %1 is a link that belongs to another user in a folder anybody may write to; "
                  "it is not followed");
}

// Whether a folder is one of /proc's, where a link names an open file (/dev/fd/1, /dev/stdout and
// what a shell's >(...) gives all lead there) rather than a place in a folder.
bool inProc(const std::string& folder) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
    return real && (std::strcmp(real.get(), "/proc") == 0 || std::strncmp(real.get(), "/proc/", 6) == 0);
}

}  // namespace

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string followLinks(std::string path, bool& openFile) {
    for (int hop = 0; hop < kLinkHops; ++hop) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        refuseForeignLink(path, st);
        if (inProc(folderOf(path))) {
            openFile = true;
            return path;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return path;
        link.resize(static_cast<size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    throw Failure(ELOOP, path);
}


std::string currentFolder() {
    std::string buffer(PATH_MAX, '\0');
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return "/";
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

}  // namespace storage
