#pragma once
// A PNG sheet compressed while it is painted: each band of rows is filtered and deflated on
// threads of its own as soon as the painting hands its rows over for good, so that compressing
// overlaps painting as the bitmap writer's writes do. The PNG's alpha is guessed before the first
// picture is painted (a key, or a first picture with alpha) and settled once all are: where the
// guess was wrong, the sheet is compressed again, whole, with the same bytes as ever.

#include "bitmap/BmpImage.h"
#include "bitmap/PngWriter.h"
#include "compose/Sheet.h"
#include "toolkit/Picture.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace output {

class PngWhilePainting {
public:
    // canvas must exist, and keep every row handed over as it is, until the object is gone.
    PngWhilePainting(const bmp::Image& canvas, bool alpha, int threads, bmp::PngCompression compression = bmp::PngCompression::Fast);
    ~PngWhilePainting();
    PngWhilePainting(const PngWhilePainting&) = delete;
    PngWhilePainting& operator=(const PngWhilePainting&) = delete;

    // Rows 0 .. rows - 1 (from the top) hold what they will hold. Throws what compressing a band
    // has failed with so far.
    void rowsFinal(int64_t rows);
    // Waits until every band whose rows are final is compressed (or compressing has failed): for
    // tests, which check that no band reads a row before it is handed over.
    void settle();
    // Once everything is painted: compresses what is left on threads threads and settles the
    // alpha, RGBA where the sheet is transparent and a pixel is not opaque. Returns the bands,
    // ready to be written; throws the first band's failure.
    const bmp::PngBands& finish(bool transparent, int threads);

private:
    void work();
    void stop();
    // Whether the next band's rows are all final (the mutex held, a band left).
    bool ready() const;

    const bmp::Image& m_canvas;
    bmp::PngCompression m_compression;
    std::unique_ptr<bmp::PngBands> m_bands;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int64_t m_final = 0;  // rows handed over for good
    size_t m_next = 0;    // the next band to take up
    int m_busy = 0;       // bands taken up and not yet compressed
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::vector<std::thread> m_threads;
};

// For a PNG sheet: its compression started and handed the rows hooks report painted for good, its
// alpha guessed from the key or the first picture; nothing for a bitmap sheet.
std::unique_ptr<PngWhilePainting> compressWhilePainting(const compose::SheetOptions& sheet, const tk::Picture& first, const bmp::Image& canvas,
                                                        compose::PaintHooks& hooks, int threads, bmp::PngCompression compression);

}  // namespace output
