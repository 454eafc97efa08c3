#pragma once
// A file that replaces its target only when complete, as careful editors save: bytes go to a
// temporary file in the target's folder; commit() flushes it to disk and renames it over the
// target. Destroyed without commit(), it removes the temporary file and leaves the target
// untouched; so does SIGINT, SIGTERM, SIGHUP or SIGXFSZ while it is open (a signal the process ignores
// stays ignored).
//
// An existing target is written through, not around: a symbolic link is followed and its
// target replaced (the link stays), the file's permission bits (and owner and group, where
// allowed) are kept, a file the user may not write is refused with the system's error before
// anything is written, and a folder or a socket of that name is refused. A link that another
// user planted in a sticky folder anybody may write to (/tmp) is not followed, as the kernel's
// fs.protected_symlinks rule has it. A character or block device, a named pipe, or an open
// file named through /proc (/dev/stdout, /dev/fd/N, what a shell's >(...) gives) is written in
// place: it stays what it is. So is a writable regular file that a rename could not keep (its
// folder is not writable, or it has other hard links): written over, flushed and synced, then cut
// to its new length. Any other regular file is never written in place, and a node swapped for
// another between the look and the open is refused.

#include "bitmap/BmpWriter.h"

#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace storage {

class AtomicFile : public bmp::ByteSink {
public:
    // What a named pipe that nobody reads yet makes the save do: wait for its reader (a
    // command-line tool), or give up at once with a message (a window that must not freeze).
    enum class PipeWait { Wait, GiveUp };
    // Throws storage::Failure naming the file or folder.
    explicit AtomicFile(const std::string& target, PipeWait pipeWait = PipeWait::GiveUp);
    // Writes into an open descriptor (standard output), named for messages; it stays open.
    AtomicFile(int fd, const std::string& name);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const uint8_t* bytes, size_t count) override;
    // Whether bytes may be put at any place of the file (a new file, not a pipe or a device).
    bool placeable() const { return !m_inPlace; }
    // Puts bytes at offset of a placeable file; several threads may do so at once, at places
    // of their own.
    void writeAt(const uint8_t* bytes, size_t count, uint64_t offset);
    // Lets writeAt put bytes on the storage directly, past the page cache, where the file system
    // can. Returns the multiple of which every place and length (and the address of the bytes)
    // must then be, or 0 where the cache stays in use and any will do. A write the file system
    // refuses all the same goes through the cache.
    size_t bypassCache();
    // From now on writeAt goes through the page cache again, at any place and length.
    void useCache();
    // Gives a placeable file (or a regular file written in place) the room for size bytes at once, in one piece where the file system
    // can: a disk without the room fails here, before anything is written. A file system that
    // cannot set room aside is no reason to fail.
    void reserve(uint64_t size);
    // Flushes the file to disk and renames it over the target (finish, then publish).
    void commit();
    // Commits two files as one: both are finished before either is renamed, the renames are not
    // parted by a signal, and should the second fail the first target gets back what it held, so
    // a sheet and its frame list are never left one new and one old.
    static void commitTogether(AtomicFile& first, AtomicFile& second);
    // The same for any number of files (the pages of a sheet and their lists): all are finished
    // before any is renamed, and should a rename fail every target renamed before it gets back
    // what it held, or goes where nothing stood.
    static void commitAll(const std::vector<AtomicFile*>& files);

    // Whether a file made for target now would be written in place (a device, a named pipe, an
    // open file named through /proc), or could not be made at all, rather than written beside it
    // and renamed over it. Looks only: nothing is opened.
    static bool writesInPlace(const std::string& target);

    // The file that commit() replaces: the target with its links followed.
    const std::string& target() const { return m_target; }

    // Called with the target's path after it was looked at and before it is opened in place:
    // tests swap the node there. Null by default.
    using BeforeOpenInPlace = void (*)(const std::string& path);
    static void setBeforeOpenInPlace(BeforeOpenInPlace hook);

private:
    static constexpr size_t kBufferSize = size_t{1} << 20;
    // Whether an existing regular file is written over in place rather than replaced by rename.
    static bool replacedInPlace(const std::string& target, const struct stat& st);
    void finish();   // every byte written, flushed to disk and closed
    void publish();  // renamed over the target
    void openInPlace(const struct stat& checked, bool openFile, PipeWait pipeWait);
    void flushBuffer();
    [[noreturn]] void fail(int errnoValue);

    std::string m_target;
    std::string m_folder;
    std::string m_temporary;
    int m_fd = -1;
    bool m_committed = false;
    bool m_inPlace = false;  // written straight into the target: no temporary file, no rename
    bool m_regularInPlace = false;  // a regular file so: cut to what was written at the end
    uint64_t m_written = 0;  // bytes handed to the file so far
    std::atomic<bool> m_direct{false};  // writeAt bypasses the page cache
    std::mutex m_directMutex;           // held while the bypass is given up
    std::vector<uint8_t> m_buffer;
};

}  // namespace storage
