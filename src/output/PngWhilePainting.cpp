#include "output/PngWhilePainting.h"

#include "bitmap/Pixels.h"
#include "storage/Threads.h"

namespace output {

PngWhilePainting::PngWhilePainting(const bmp::Image& canvas, bool alpha, int threads, bmp::PngCompression compression)
    : m_canvas(canvas), m_compression(compression),
      m_bands(std::make_unique<bmp::PngBands>(canvas.width, canvas.height, alpha, [&canvas](int32_t y) { return canvas.row(y); },
                                              compression)) {
    try {
        for (int k = 0; k < threads; ++k) m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // Fewer threads, or none: finish() compresses what is left.
    }
}

PngWhilePainting::~PngWhilePainting() { stop(); }

void PngWhilePainting::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.join();
    m_threads.clear();
}

bool PngWhilePainting::ready() const { return m_bands->rowsRead(m_next) <= m_final; }

void PngWhilePainting::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stop || m_next == m_bands->count() || ready(); });
        if (m_stop || m_next == m_bands->count()) return;
        const size_t band = m_next++;
        ++m_busy;
        lock.unlock();
        try {
            m_bands->compress(band);
            lock.lock();
        } catch (...) {
            lock.lock();
            if (!m_failure) m_failure = std::current_exception();
            m_stop = true;
        }
        --m_busy;
        m_changed.notify_all();
        if (m_stop) return;
    }
}

void PngWhilePainting::rowsFinal(int64_t rows) {
    {
        std::lock_guard lock(m_mutex);
        if (m_failure) std::rethrow_exception(m_failure);
        m_final = rows;
    }
    m_changed.notify_all();
}

void PngWhilePainting::settle() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_stop || m_threads.empty() || (m_busy == 0 && (m_next == m_bands->count() || !ready()));
    });
}

const bmp::PngBands& PngWhilePainting::finish(bool transparent, int threads) {
    rowsFinal(m_canvas.height);
    // The calling thread takes up bands too; a band taken up is always compressed by its taker.
    try {
        while (static_cast<int>(m_threads.size()) < threads) m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
    }
    work();
    for (std::thread& thread : m_threads) thread.join();
    m_threads.clear();
    if (m_failure) std::rethrow_exception(m_failure);

    // Bands compressed with alpha have seen every pixel's already.
    const bool alpha = transparent && (m_bands->alpha() ? m_bands->anyTranslucent() : !bmp::allOpaque(m_canvas));
    if (alpha != m_bands->alpha()) {
        const bmp::Image& canvas = m_canvas;
        m_bands = std::make_unique<bmp::PngBands>(canvas.width, canvas.height, alpha, [&canvas](int32_t y) { return canvas.row(y); },
                                                  m_compression);
        storage::runAll(m_bands->count(), threads, [&](size_t band) { m_bands->compress(band); });
    }
    return *m_bands;
}

std::unique_ptr<PngWhilePainting> compressWhilePainting(const compose::SheetOptions& sheet, const tk::Picture& first, const bmp::Image& canvas,
                                                        compose::PaintHooks& hooks, int threads, bmp::PngCompression compression) {
    if (!sheet.png) return nullptr;
    const bool alpha = sheet.key != compose::SheetOptions::Key::None || first.hasAlpha();
    auto png = std::make_unique<PngWhilePainting>(canvas, alpha, threads, compression);
    hooks.rowsPainted = [compressing = png.get()](const bmp::Image&, int64_t rows) { compressing->rowsFinal(rows); };
    return png;
}

}  // namespace output
