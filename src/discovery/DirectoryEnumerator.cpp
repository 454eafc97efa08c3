#include "discovery/DirectoryEnumerator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace discovery {
namespace {

bool readEntry(DIR* dir, FindData& data) {
    const dirent* entry = ::readdir(dir);
    if (!entry) return false;
    data.fileName = entry->d_name;
    bool folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        struct stat st;
        folder = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    data.attributes = folder ? kFileAttributeDirectory : 0;
    return true;
}

}  // namespace

FindHandle PosixEnumerator::FindFirstFile(const std::string& searchText, FindData& data, FolderId& folder) {
    std::string path = searchText;
    if (!path.empty() && path.back() == '*') path.pop_back();
    if (path.empty()) path = ".";
    m_lastError = 0;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        m_lastError = errno;
        return kInvalidHandle;
    }
    struct stat st;
    errno = 0;
    if (::fstat(::dirfd(dir), &st) != 0 || !readEntry(dir, data)) {
        m_lastError = errno;
        ::closedir(dir);
        return kInvalidHandle;
    }
    folder = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return reinterpret_cast<FindHandle>(dir);
}

bool PosixEnumerator::FindNextFile(FindHandle handle, FindData& data) {
    return readEntry(reinterpret_cast<DIR*>(handle), data);
}

void PosixEnumerator::FindClose(FindHandle handle) { ::closedir(reinterpret_cast<DIR*>(handle)); }

}  // namespace discovery
