#pragma once
// Pictures, and the toolkit's LoadPicture and SavePicture over the project's own bitmap code.

#include "bitmap/BmpImage.h"
#include "toolkit/AtomicFile.h"

#include <memory>
#include <string>

namespace tk {

// A loaded picture or a picture box's image: pixels shared, never copied on assignment.
class Picture {
public:
    Picture() = default;
    explicit Picture(std::shared_ptr<const bmp::Image> image) : m_image(std::move(image)) {}
    bool isNull() const { return !m_image; }
    int32_t widthPixels() const { return m_image ? m_image->width : 0; }
    int32_t heightPixels() const { return m_image ? m_image->height : 0; }
    const bmp::Image& image() const { return *m_image; }

private:
    std::shared_ptr<const bmp::Image> m_image;
};

// Reads a bitmap file (path as the file system's bytes). Errors name the file: 53 when it is
// missing, 70/75 when it cannot be read, 481 "Invalid picture" with the reason when the file
// is not a bitmap this program reads.
Picture LoadPicture(const std::string& path);

// Decodes bitmap bytes already in memory; `path` only names the file in errors.
Picture decodePicture(const uint8_t* data, size_t size, const std::string& path);

// Writes the picture as a 24-bit Windows bitmap. The file is written beside the target under a
// temporary name, flushed to disk and renamed over the target, so a failure leaves an earlier
// file of that name as it was; a device or a named pipe is written in place (AtomicFile).
void SavePicture(const bmp::Image& image, const std::string& path, AtomicFile::PipeWait pipeWait = AtomicFile::PipeWait::GiveUp);
// The same into an open descriptor, such as standard output; name is for messages.
void SavePicture(const bmp::Image& image, int fd, const std::string& name);

}  // namespace tk
