#pragma once
// A picture's file read from the storage: whole, for the decoder, or, for a large uncompressed
// bitmap, kept open with its header and read a few rows at a time as it is painted (the rows a
// paint samples, in one submission to the kernel where it can).
//
// Only a regular file is read: a named pipe would wait for a writer for good and a device would
// be read without end, so both are refused before they are opened, and a node swapped for one in
// between is refused before a byte is read. Failures are storage::Failure naming the file, or
// bmp::FormatError for a header the bitmap reader refuses.

#include "bitmap/BmpImage.h"
#include "bitmap/BmpReader.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace storage {

// Some rows of a picture, as a paint needs them: row(y) for each y it was asked for.
class PictureRows {
public:
    explicit PictureRows(const bmp::Image& whole) : m_whole(&whole) {}
    PictureRows(std::vector<int32_t> rows, std::unique_ptr<uint32_t[]> pixels, int32_t width)
        : m_rows(std::move(rows)), m_pixels(std::move(pixels)), m_width(width) {}
    const uint32_t* row(int32_t y) const { return m_whole ? m_whole->row(y) : sampledRow(y); }

private:
    const uint32_t* sampledRow(int32_t y) const;
    const bmp::Image* m_whole = nullptr;
    std::vector<int32_t> m_rows;  // sorted
    std::unique_ptr<uint32_t[]> m_pixels;
    int32_t m_width = 0;
};

// A large uncompressed bitmap file, open, read a row at a time as it is painted. Its size is
// checked at every read: a file that shrank since it was opened is refused as a file cut short.
class PictureFile {
public:
    PictureFile(int fd, std::string path, bmp::RowReader reader) : m_fd(fd), m_path(std::move(path)), m_reader(reader) {}
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    const bmp::RowReader& reader() const { return m_reader; }
    // Every pixel, read and decoded on first use, then kept.
    const bmp::Image& whole();
    // The rows wanted (sorted, each once); with columns, only those pixels of each are decoded.
    PictureRows rows(std::vector<int32_t> wanted, const std::vector<int32_t>* columns);

private:
    void readAt(uint8_t* into, size_t count, uint64_t offset);
    [[noreturn]] void shrank() const;

    int m_fd;
    std::string m_path;
    bmp::RowReader m_reader;
    std::shared_ptr<bmp::Image> m_whole;
};

// Files of readAsPaintedFrom() bytes and more (256 KiB) that are not compressed keep only their
// header and palette in memory until painted; tests lower it so that small files take that way.
uint64_t readAsPaintedFrom();
void setReadAsPaintedFrom(uint64_t bytes);
// What is read first of such a file: its header, palette and masks (a file whose pixels start
// further in is read whole).
inline constexpr size_t kPictureHead = size_t{16} << 10;

// What a picture's file gave: its bytes, valid until this thread reads the next file; or the
// open file of a picture read as it is painted.
struct PictureBytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
    std::shared_ptr<PictureFile> file;
};
// Reads the file at path (the file system's bytes). storageWait, when given, hears (before the
// read waits) that the file's first bytes are not in memory and must come from the storage.
PictureBytes readPictureFile(const std::string& path, const std::function<void()>& storageWait = {});
// Lets this thread's read buffer go where it has grown large, once its bytes are decoded.
void releaseLargeReadBuffer();
// Up to size of the first bytes of the regular file at path, into into; how many there were.
size_t readHead(const std::string& path, uint8_t* into, size_t size);

// Whether a no-wait read finds the bytes in memory is the kernel's to say; tests hand in its
// answer. It reads as preadv2 with RWF_NOWAIT from the file's position does: the count read, 0
// at the end, or -1 with errno (EAGAIN: the rest must come from the storage). Null: the kernel's.
using NoWaitRead = ssize_t (*)(int fd, uint8_t* data, size_t size);
void setNoWaitRead(NoWaitRead read);

}  // namespace storage
