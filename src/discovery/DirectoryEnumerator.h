#pragma once
// Folder enumeration, one entry at a time, in the shape the finder walks: FindFirstFile opens
// a folder and delivers its first entry, FindNextFile the next ones, FindClose ends it. Every
// entry comes through, "." and ".." and hidden ones included, with its name and whether it is
// a folder (links to folders count as folders). Tests script the order with a fake.

#include <cstdint>
#include <string>

namespace discovery {

constexpr uint32_t kFileAttributeDirectory = 0x10;

// One folder entry. Names are the file system's bytes, of any length.
struct FindData {
    uint32_t attributes = 0;
    std::string fileName;
};

// Identity of an opened folder (device and inode), so a walk enters each folder once.
struct FolderId {
    uint64_t device = 0;
    uint64_t inode = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

using FindHandle = intptr_t;
constexpr FindHandle kInvalidHandle = -1;

class DirectoryEnumerator {
public:
    virtual ~DirectoryEnumerator() = default;
    // searchText is the folder, its trailing "/" and "*". Returns kInvalidHandle when the
    // folder cannot be enumerated; otherwise data holds the first entry and folder the
    // opened folder's identity.
    virtual FindHandle FindFirstFile(const std::string& searchText, FindData& data, FolderId& folder) = 0;
    // Why the last FindFirstFile gave kInvalidHandle (an errno value), or 0 when there is nothing
    // to say (the folder holds no entry).
    virtual int lastError() const { return 0; }
    // False when no entry is left (or the platform failed).
    virtual bool FindNextFile(FindHandle handle, FindData& data) = 0;
    virtual void FindClose(FindHandle handle) = 0;
};

// The real file system, over opendir/readdir. Uses the entry type readdir gives, so a walk
// does not stat every file; only links and entries of unknown type are looked up.
class PosixEnumerator : public DirectoryEnumerator {
public:
    FindHandle FindFirstFile(const std::string& searchText, FindData& data, FolderId& folder) override;
    bool FindNextFile(FindHandle handle, FindData& data) override;
    void FindClose(FindHandle handle) override;
    int lastError() const override { return m_lastError; }

private:
    int m_lastError = 0;
};

}  // namespace discovery
