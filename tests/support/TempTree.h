#pragma once
// A temporary folder tree built from a list of relative paths, removed when the test ends. Plain
// C++ and POSIX: the storage tests use it without Qt.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class TempTree {
public:
    TempTree();
    // Relative paths; a path ending in "/" is a folder, anything else an empty file (its
    // folders made as needed).
    explicit TempTree(std::initializer_list<std::string> paths);
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }

    void addFolder(const std::string& relative) const;
    void addFile(const std::string& relative, const std::vector<uint8_t>& bytes = {}) const;
    void addLink(const std::string& relative, const std::string& target) const;
    std::vector<uint8_t> read(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    // Names in a folder (without "." and ".."), sorted.
    std::vector<std::string> list(const std::string& relative = "") const;

private:
    std::string m_root;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Asks the kernel to drop a file's pages from memory; true when it had some and none is left (a
// file system that keeps files in memory, like tmpfs, cannot).
bool dropFromMemory(const std::string& path);
// How many of a file's pages are in memory, and how many it has.
std::pair<size_t, size_t> pagesInMemory(const std::string& path);
