#pragma once
// Pictures, and the toolkit's LoadPicture and SavePicture over the project's own bitmap code.

#include "bitmap/BmpImage.h"
#include "toolkit/AtomicFile.h"

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tk {

class PictureFile;

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

// A loaded picture or a picture box's image: pixels shared, never copied on assignment. A large
// uncompressed file is read as it is painted: only the rows a paint samples are read and
// decoded, the file staying open (and its size checked) until the last copy of the picture goes.
class Picture {
public:
    Picture() = default;
    explicit Picture(std::shared_ptr<const bmp::Image> image) : m_image(std::move(image)) {}
    explicit Picture(std::shared_ptr<PictureFile> file) : m_file(std::move(file)) {}
    bool isNull() const { return !m_image && !m_file; }
    int32_t widthPixels() const;
    int32_t heightPixels() const;
    // Every pixel (a picture read as painted is decoded whole on first use, then kept).
    const bmp::Image& image() const;
    // The rows a paint needs (sorted, each once): read alone from the file where they are few.
    // columns, when given (sorted, each once), are all the paint takes of each row: only those
    // pixels are decoded, the rest of a row returned is left undefined.
    PictureRows rows(std::vector<int32_t> wanted, const std::vector<int32_t>* columns = nullptr) const;
    bool readAsPainted() const { return m_file != nullptr; }

private:
    std::shared_ptr<const bmp::Image> m_image;
    std::shared_ptr<PictureFile> m_file;
};

// Reads a bitmap file (path as the file system's bytes). Errors name the file: 53 when it is
// missing, 70/75 when it cannot be read, 481 "Invalid picture" with the reason when the file
// is not a bitmap this program reads. Files of readAsPaintedFrom() bytes and more (256 KiB) that
// are not compressed keep only their header and palette in memory until painted.
uint64_t readAsPaintedFrom();
// Where reading as painted starts: tests lower it so that small files take the large files' way.
void setReadAsPaintedFrom(uint64_t bytes);
// What is read first of such a file: its header, palette and masks (a file whose pixels start
// further in is read whole).
inline constexpr size_t kPictureHead = size_t{16} << 10;
// storageWait, when given, hears (before the read waits) that the file's first bytes are not in
// memory and must come from the storage.
Picture LoadPicture(const std::string& path, const std::function<void()>& storageWait = {});
// Whether a no-wait read finds the bytes in memory is the kernel's to say; tests hand in its
// answer. It reads as preadv2 with RWF_NOWAIT from the file's position does: the count read, 0
// at the end, or -1 with errno (EAGAIN: the rest must come from the storage). Null: the kernel's.
using NoWaitRead = ssize_t (*)(int fd, uint8_t* data, size_t size);
void setNoWaitRead(NoWaitRead read);

// Decodes bitmap bytes already in memory; `path` only names the file in errors.
Picture decodePicture(const uint8_t* data, size_t size, const std::string& path);

// Writes the picture as a 24-bit Windows bitmap. The file is written beside the target under a
// temporary name, flushed to disk and renamed over the target, so a failure leaves an earlier
// file of that name as it was; a device or a named pipe is written in place (AtomicFile).
// threads: how many pack and write the rows of a large picture at once.
void SavePicture(const bmp::Image& image, const std::string& path, AtomicFile::PipeWait pipeWait = AtomicFile::PipeWait::GiveUp,
                 int threads = 1);
// The same into an open descriptor, such as standard output; name is for messages.
void SavePicture(const bmp::Image& image, int fd, const std::string& name);
// The parts of a save, for a file committed together with another: refuses a picture no bitmap
// file can hold, and writes the bitmap's bytes into the file (not yet committed).
void checkSavable(const bmp::Image& image);
void writePicture(const bmp::Image& image, AtomicFile& file, int threads = 1);

}  // namespace tk
