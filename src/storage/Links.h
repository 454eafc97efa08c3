#pragma once
// The path a save writes to, with its links followed as the kernel would follow them, but for
// the protected-links rule and /proc's links to open files.

#include <sys/stat.h>

#include <string>

namespace storage {

// The folder a path is in ("." for a bare name, "/" for one at the root).
std::string folderOf(const std::string& path);

// The file a path names once its symbolic links are followed; a dangling link gives the path
// it points to, where the file will be made. openFile is set when the path ends in a link of
// /proc's: what it names is an open file, not a place in a folder. Throws storage::Failure for
// a loop of links and for a link another user planted in a shared sticky folder.
std::string followLinks(std::string path, bool& openFile);

// The process's current folder ("/" when it has none).
std::string currentFolder();

}  // namespace storage
