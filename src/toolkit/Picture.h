#pragma once
// Pictures, and the toolkit's LoadPicture and SavePicture over the project's own bitmap code.

#include "bitmap/BmpImage.h"
#include "storage/AtomicFile.h"
#include "storage/PictureFile.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tk {

using storage::PictureFile;
using storage::PictureRows;

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
    // Whether the picture's bitmap carries alpha (an alpha mask, not the unused byte of a plain
    // 32-bit file).
    bool hasAlpha() const;

private:
    std::shared_ptr<const bmp::Image> m_image;
    std::shared_ptr<PictureFile> m_file;
};

// Draws the picture's region (sx, sy, sw, sh) onto (dx, dy, dw, dh) of image, in pixels, by
// nearest neighbour (a negative size mirrors). A picture read as it is painted reads just the rows
// and columns the drawing takes. keepAlpha: a picture whose bitmap carries alpha keeps it (copied,
// not blended); otherwise every pixel drawn is opaque.
void drawPicture(bmp::Image& image, const Picture& picture, double dx, double dy, double dw, double dh, double sx, double sy,
                 double sw, double sh, bool keepAlpha = false);

// Reads a bitmap file (path as the file system's bytes). Errors name the file: 53 when it is
// missing, 70/75 when it cannot be read, 481 "Invalid picture" with the reason when the file
// is not a bitmap this program reads. A large uncompressed file keeps only its header and
// palette in memory until painted (storage::readPictureFile). storageWait, when given, hears
// (before the read waits) that the file's first bytes are not in memory and must come from the
// storage.
Picture LoadPicture(const std::string& path, const std::function<void()>& storageWait = {});

// Decodes bitmap bytes already in memory; `path` only names the file in errors.
Picture decodePicture(const uint8_t* data, size_t size, const std::string& path);

// Writes the picture as a 24-bit Windows bitmap. The file is written beside the target under a
// temporary name, flushed to disk and renamed over the target, so a failure leaves an earlier file
// of that name as it was; a device or a named pipe is written in place (storage::AtomicFile).
// threads: how many pack and write a large picture at once.
void SavePicture(const bmp::Image& image, const std::string& path, storage::AtomicFile::PipeWait pipeWait = storage::AtomicFile::PipeWait::GiveUp,
                 int threads = 1);

}  // namespace tk
