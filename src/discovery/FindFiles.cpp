#include "discovery/FindFiles.h"

#include "form/Form.h"

#include <vector>

namespace discovery {

std::string TrimAtNul(const std::string& s) {
    const size_t pos = s.find('\0');
    return pos == std::string::npos ? s : s.substr(0, pos);
}

void Finder::FindFiles(std::string& strRootFolder, const std::string& strFolder, const std::string& strFile,
                       tk::Collection& colFilesFound) {
    if (strRootFolder.empty() || strRootFolder.back() != '/') strRootFolder += '/';

    // The folder's entries are read whole and its enumeration closed before any subfolder is
    // walked, so a walk holds one open folder however deep the tree: no tree runs out of file
    // handles. Entries are then taken in the enumeration's order, as if read one by one.
    std::vector<FindData> entries;
    std::pair<uint64_t, uint64_t> id;
    {
        FindData data;
        FolderId folder;
        const FindHandle handle = m_enumerator.FindFirstFile(strRootFolder + "*", data, folder);
        if (handle == kInvalidHandle) {
            if (const int error = m_enumerator.lastError())
                m_unread.push_back({strRootFolder.size() > 1 ? strRootFolder.substr(0, strRootFolder.size() - 1) : strRootFolder, error});
            return;
        }
        struct Closer {
            DirectoryEnumerator& enumerator;
            FindHandle handle;
            ~Closer() { enumerator.FindClose(handle); }
        } closer{m_enumerator, handle};
        // A folder the walk is inside of (an ancestor) reached again through a link is a loop,
        // and ends there; a folder reached by two paths that are not a loop is listed under both.
        if (!m_ancestors.insert({folder.device, folder.inode}).second) return;
        do entries.push_back(std::move(data));
        while (m_enumerator.FindNextFile(handle, data));
        id = {folder.device, folder.inode};
    }
    struct Leave {
        std::set<std::pair<uint64_t, uint64_t>>& ancestors;
        std::pair<uint64_t, uint64_t> id;
        ~Leave() { ancestors.erase(id); }
    } leave{m_ancestors, id};

    const std::string filePattern = tk::LCase(strFile);
    for (const FindData& entry : entries) {
        const std::string name = TrimAtNul(entry.fileName);
        if ((entry.attributes & kFileAttributeDirectory) == kFileAttributeDirectory) {
            if (name != "." && name != "..") {
                std::string subfolder = strRootFolder + name;
                FindFiles(subfolder, strFolder, strFile, colFilesFound);
            }
        } else if (tk::Like(strRootFolder, strFolder) && tk::Like(tk::LCase(name), filePattern)) {
            colFilesFound.Add(strRootFolder + name);
            ++m_files;
        }
    }

    ++m_folders;
    if (onFolderDone) onFolderDone(m_folders, m_files);
}

}  // namespace discovery

void frmQuiltwright::FindFiles(std::string& strRootFolder, const std::string& strFolder, const std::string& strFile,
                               tk::Collection& colFilesFound) {
    discovery::PosixEnumerator posix;
    discovery::Finder finder(m_enumerator ? *m_enumerator : posix);
    LongCommand command(host(), QStringLiteral("Get Contents"));
    finder.onFolderDone = [&](int64_t folders, int64_t files) {
        command.report(QStringLiteral("%1 folders searched, %2 pictures found").arg(folders).arg(files), folders, 0);
    };
    finder.FindFiles(strRootFolder, strFolder, strFile, colFilesFound);
    m_unread.insert(m_unread.end(), finder.unread().begin(), finder.unread().end());
}
