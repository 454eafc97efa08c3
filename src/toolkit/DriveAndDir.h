#pragma once
// The drive list and the folder list. On this platform a drive is a mounted file system; an
// entry's text starts with its mount point. Writing a drive entry's text to the folder list's
// Path opens that drive's current folder: the folder last opened on it in this run, else its
// root. Paths are the file system's bytes and use "/" as the separator.

#include "toolkit/Controls.h"

#include <map>
#include <string>
#include <vector>

namespace tk {

struct DriveEntry {
    std::string mountPoint;
    QString text;
};

// The drives, and the current folder of each.
class Drives {
public:
    explicit Drives(std::vector<DriveEntry> entries);
    static std::vector<DriveEntry> mounted();  // "/" is always among them

    const std::vector<DriveEntry>& entries() const { return m_entries; }
    const DriveEntry* findByText(const QString& text) const;
    int indexOf(const std::string& path) const;  // the drive holding path (longest mount point)
    std::string currentFolder(const DriveEntry& drive) const;
    void remember(const std::string& folder);

private:
    std::vector<DriveEntry> m_entries;
    std::map<std::string, std::string> m_current;  // mount point -> folder last opened
};

class DriveListBox : public Control {
public:
    DriveListBox(QString name, int tabIndex, Drives& drives) : Control(std::move(name), tabIndex), m_drives(drives) {}
    const Drives& drives() const { return m_drives; }
    int ListIndex() const { return m_index; }
    QString Drive() const;
    void selectWithoutEvent(int index);  // start-up: no Change
    void userSelect(int index);          // the user picked an entry: raises Change
    std::function<void()> Change;

private:
    Drives& m_drives;
    int m_index = 0;
};

class DirListBox : public Control {
public:
    struct Item {
        std::string path;
        QString label;
        int depth = 0;   // indentation: ancestors count up from 0, subfolders one deeper
        bool open = false;  // the folder the list has open
    };
    DirListBox(QString name, int tabIndex, Drives& drives) : Control(std::move(name), tabIndex), m_drives(drives) {}

    const std::string& Path() const { return m_path; }
    // A drive entry's text opens that drive's current folder; any other text is a folder
    // (relative to the open one). A folder that cannot be opened is an error and the list
    // keeps the folder it had.
    void setPath(const std::string& text);
    // Opens a folder by its path, whatever drive entry's text it may equal ("/", a mount point).
    void openFolder(const std::string& folder);
    const std::vector<Item>& items() const { return m_items; }
    void userOpen(int index);  // double-click or Enter: opens that row's folder; runs no handler of the window

private:
    void rebuild();
    Drives& m_drives;
    std::string m_path;
    std::vector<Item> m_items;
};

// Lexical clean-up of an absolute path: no "//", ".", "..", or trailing "/" (but for "/").
std::string normalizeFolder(const std::string& path);

}  // namespace tk

// A folder a walk could not read, and why (an errno value).
struct UnreadFolder {
    std::string path;
    int error = 0;
};
