#pragma once
// The recursive file finder. Walks a folder and every folder below it, depth first in the
// enumeration's own order, and appends to the caller's collection the full path of each file
// whose lower-cased name matches the lower-cased file pattern and whose folder path (with its
// trailing "/") matches the folder pattern, case-sensitively. Folders are never collected.
//
// Links to folders are followed, as find -L does: a folder reached by two paths is listed under
// both, and a link back to a folder the walk is inside of (same device and inode as one of the
// folders above) ends there, so link loops end. A folder that cannot be read adds nothing, and the
// walk goes on, as find and cp -r do; it is kept in unread(), with the reason, for the caller to
// say. A folder is read whole and closed before its subfolders are walked: one open folder at any
// depth.

#include "discovery/DirectoryEnumerator.h"
#include "toolkit/DriveAndDir.h"
#include "toolkit/Text.h"

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace discovery {

// The part of a fixed-length name field in front of its first NUL.
std::string TrimAtNul(const std::string& s);

class Finder {
public:
    explicit Finder(DirectoryEnumerator& enumerator) : m_enumerator(enumerator) {}

    // Called after each folder is read: folders read so far, files collected so far. It may
    // throw to end the walk (a cancelled walk).
    std::function<void(int64_t folders, int64_t files)> onFolderDone;

    void FindFiles(std::string& strRootFolder, const std::string& strFolder, const std::string& strFile,
                   tk::Collection& colFilesFound);

    // The folders the walk could not read, in walk order.
    const std::vector<UnreadFolder>& unread() const { return m_unread; }

private:
    DirectoryEnumerator& m_enumerator;
    std::set<std::pair<uint64_t, uint64_t>> m_ancestors;  // the folders the walk is inside of
    int64_t m_folders = 0;
    int64_t m_files = 0;
    std::vector<UnreadFolder> m_unread;
};

}  // namespace discovery
