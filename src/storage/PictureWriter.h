#pragma once
// A picture written as a 24-bit bitmap into a new file, a part at a time. The file holds the
// rows from the bottom up, so the picture's top rows are its last bytes: rows from the top that
// are final (painted) may be handed over while the rest is still being painted, and threads of
// the writer's own pack and write their part of the file meanwhile, a chunk each at a time, so
// that the storage works while painting goes on.
// The file is written in whole blocks past the page cache where the file system allows it (the
// cache would only be filled to be flushed and thrown away), its last part block through the
// cache; else all of it through the cache. Nothing is written past the file's end.
//
// The bytes are those bmp::write24 produces; a pipe or a device (not placeable) is written by
// finish() alone, from the first byte to the last.

#include "bitmap/BmpImage.h"
#include "storage/AtomicFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace storage {

class PictureWriter {
public:
    // The image must stay as it is in every row handed over, and exist until finish().
    PictureWriter(const bmp::Image& image, AtomicFile& file);
    ~PictureWriter();
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;

    // Rows 0 .. rows - 1 (from the top) hold what they will hold: the whole chunks of the file
    // they fill are written from now on. Throws what a write has failed with so far.
    void rowsFinal(int64_t rows);
    // Waits until every chunk final so far is written (or a write has failed): for tests, which
    // check that no byte of a row not handed over is written before finish().
    void settle();
    // Writes whatever is not written yet, on `threads` threads at least, and waits for every
    // write. Throws the first write's failure.
    void finish(int threads);

private:
    struct Buffer;
    void startThreads(int count);
    void work();
    void writeRange(uint64_t from, uint64_t to, Buffer& buffer);

    const bmp::Image& m_image;
    AtomicFile& m_file;
    uint64_t m_stride;
    uint64_t m_size;         // of the whole file
    uint64_t m_wholeBlocks;  // the file's bytes before here are written in chunks of whole blocks

    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_final;    // the file's bytes from here to its end are final
    uint64_t m_untaken;  // bytes 0 .. m_untaken - 1 are not yet taken up by a thread
    std::atomic<uint64_t> m_written{0};  // bytes the chunks put in place
    int m_writing = 0;                   // chunks taken up and not yet written
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::vector<std::thread> m_threads;
};

}  // namespace storage
