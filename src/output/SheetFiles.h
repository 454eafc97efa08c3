#pragma once
// The sheet's files: the picture in the format asked for, and the frame list or grid beside it,
// every number read from the sheet's layout.

#include "bitmap/PngWriter.h"
#include "compose/Sheet.h"
#include "output/FrameList.h"
#include "storage/AtomicFile.h"
#include "toolkit/Picture.h"

#include <QByteArray>

#include <string>
#include <vector>

namespace output {

// A named pipe nobody reads yet: a command-line run waits for its reader, the window gives up.
inline storage::AtomicFile::PipeWait pipeWait(bool waits) {
    return waits ? storage::AtomicFile::PipeWait::Wait : storage::AtomicFile::PipeWait::GiveUp;
}

// How a sheet is written: the 24-bit Windows bitmap, or with alpha the 32-bit one (a version 5
// header); or PNG, RGB or with alpha RGBA.
struct SaveFormat {
    bool png = false;
    bool alpha = false;
};

// Refuses a picture no file of the format can hold, before anything is written.
void checkSavable(const bmp::Image& image, SaveFormat format = {});
// Writes the picture's bytes into the file (not yet committed), on threads threads; a PNG from
// the bands given where it was compressed while painted (in format), else compressed now. A PNG
// is compressed whole before a byte is written: its room is then set aside at once (a full disk
// fails before a byte is written, even in place).
void writePicture(const bmp::Image& image, storage::AtomicFile& file, int threads, SaveFormat format,
                  const bmp::PngBands* compressed = nullptr);
// The sheet at path, or into an open descriptor (standard output; name for messages), committed.
void writeSheet(const bmp::Image& image, const std::string& path, SaveFormat format, int threads, storage::AtomicFile::PipeWait wait,
                const bmp::PngBands* compressed = nullptr);
void writeSheet(const bmp::Image& image, int fd, const std::string& name, SaveFormat format, int threads,
                const bmp::PngBands* compressed = nullptr);

// How a painted sheet is written: PNG or bitmap, with alpha where it is transparent and any
// pixel is not opaque (else RGB, or the window's 24-bit bitmap).
// A sheet compressed while painted has its format settled already.
SaveFormat sheetFormat(const bmp::Image& canvas, bool png, bool transparent, const bmp::PngBands* compressed = nullptr);

// The grid's numbers as the sheet has them, for count frames.
GridNumbers gridNumbers(const compose::Grid& grid, size_t count);
// Frame i: names[i] on cell i as it lies on the sheet; with anchors, where its sprite stands.
std::vector<Frame> framesOf(const compose::Grid& grid, const std::vector<std::string>& names,
                            const std::vector<compose::Anchor>* anchors);

// Writes the sheet at sheet and data beside it, swapped in together: a failure leaves both as
// they were. The sheet must be a file an engine finds by name, not a pipe or a device.
void writeSheetBeside(const bmp::Image& canvas, SaveFormat format, const std::string& sheet, const std::string& data,
                      const QByteArray& json, int threads, storage::AtomicFile::PipeWait wait,
                      const bmp::PngBands* compressed = nullptr);

}  // namespace output
