#include "toolkit/DriveAndDir.h"

#include "toolkit/Errors.h"
#include "toolkit/Text.h"

#include <QStorageInfo>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace tk {

Drives::Drives(std::vector<DriveEntry> entries) : m_entries(std::move(entries)) {
    const bool hasRoot = std::any_of(m_entries.begin(), m_entries.end(), [](const auto& d) { return d.mountPoint == "/"; });
    if (!hasRoot) m_entries.insert(m_entries.begin(), DriveEntry{"/", QStringLiteral("/")});
}

std::vector<DriveEntry> Drives::mounted() {
    std::vector<DriveEntry> entries;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid()) continue;
        const std::string mountPoint = QFile::encodeName(volume.rootPath()).toStdString();
        if (std::any_of(entries.begin(), entries.end(), [&](const auto& d) { return d.mountPoint == mountPoint; }))
            continue;
        QString text = volume.rootPath();
        const QString label = volume.name();
        if (!label.isEmpty() && label != text) text += QStringLiteral(" [%1]").arg(label);
        entries.push_back({mountPoint, text});
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.mountPoint < b.mountPoint; });
    return entries;
}

const DriveEntry* Drives::findByText(const QString& text) const {
    for (const auto& d : m_entries)
        if (d.text == text) return &d;
    return nullptr;
}

int Drives::indexOf(const std::string& path) const {
    int best = 0;
    size_t bestLength = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const std::string& m = m_entries[i].mountPoint;
        const bool under = path == m || m == "/" || (path.size() > m.size() && path.compare(0, m.size(), m) == 0 && path[m.size()] == '/');
        if (under && m.size() >= bestLength) {
            best = static_cast<int>(i);
            bestLength = m.size();
        }
    }
    return best;
}

std::string Drives::currentFolder(const DriveEntry& drive) const {
    const auto it = m_current.find(drive.mountPoint);
    return it == m_current.end() ? drive.mountPoint : it->second;
}

void Drives::remember(const std::string& folder) {
    m_current[m_entries[static_cast<size_t>(indexOf(folder))].mountPoint] = folder;
}

QString DriveListBox::Drive() const {
    const auto& entries = m_drives.entries();
    return m_index >= 0 && m_index < static_cast<int>(entries.size()) ? entries[static_cast<size_t>(m_index)].text : QString();
}

void DriveListBox::selectWithoutEvent(int index) {
    m_index = index;
    notify(Property::Selection);
}

void DriveListBox::userSelect(int index) {
    if (index == m_index || index < 0 || index >= static_cast<int>(m_drives.entries().size())) return;
    m_index = index;
    notify(Property::Selection);
    raiseEvent(Change);
}

std::string normalizeFolder(const std::string& path) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = slash + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

namespace {

bool isFolder(const std::string& parent, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
    struct stat st;
    return ::stat((parent + "/" + entry->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;
DirHandle openDir(const char* path) { return DirHandle(::opendir(path), ::closedir); }

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() != '/' ? folder + "/" + name : folder + name;
}

}  // namespace

void DirListBox::setPath(const std::string& text) {
    // Only here is a drive entry's text read as a drive: it opens that drive's current folder.
    if (const DriveEntry* drive = m_drives.findByText(QFile::decodeName(QByteArray::fromStdString(text)))) {
        try {
            return openFolder(m_drives.currentFolder(*drive));
        } catch (const Error&) {
            throw Error(kDeviceUnavailable, QStringLiteral("Device unavailable: %1").arg(drive->text));
        }
    }
    openFolder(!text.empty() && text.front() == '/' ? text : join(m_path.empty() ? "/" : m_path, text));
}

void DirListBox::openFolder(const std::string& folder) {
    const std::string target = normalizeFolder(folder);
    if (!openDir(target.c_str())) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            throw Error(kPathNotFound, QStringLiteral("Path not found: %1").arg(displayPath(target)));
        throw fileError(error, displayPath(target));
    }
    m_path = target;
    m_drives.remember(m_path);
    rebuild();
    notify(Property::Path);
}

void DirListBox::rebuild() {
    m_items.clear();
    // Ancestors, from the root down to the open folder.
    int depth = 0;
    m_items.push_back({"/", QStringLiteral("/"), depth++, m_path == "/"});
    for (size_t slash = m_path.find('/', 1); m_path != "/"; slash = m_path.find('/', slash + 1)) {
        const std::string prefix = m_path.substr(0, slash);
        const std::string name = prefix.substr(prefix.rfind('/') + 1);
        m_items.push_back({prefix, displayPath(name), depth++, slash == std::string::npos});
        if (slash == std::string::npos) break;
    }
    // Subfolders of the open folder.
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(m_path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && isFolder(m_path, entry)) names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return compareListText(a, b) < 0; });
    for (const auto& name : names) m_items.push_back({join(m_path, name), displayPath(name), depth, false});
}

void DirListBox::userOpen(int index) {
    if (index < 0 || index >= static_cast<int>(m_items.size())) return;
    const std::string path = m_items[static_cast<size_t>(index)].path;
    raiseEvent([this, path] { openFolder(path); });
}

}  // namespace tk
