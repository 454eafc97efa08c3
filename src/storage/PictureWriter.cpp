#include "storage/PictureWriter.h"

#include "bitmap/BmpWriter.h"
#include "storage/Failure.h"
#include "storage/Threads.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <new>
#include <utility>

namespace storage {
namespace {

constexpr uint64_t kChunk = uint64_t{1} << 20;  // bytes a thread packs and writes at a time
constexpr size_t kSpare = 64;                   // past the end, for the packers' last wide store

uint64_t roundUp(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

}  // namespace

// One chunk's bytes at an address the storage can take them from directly, and one row.
struct PictureWriter::Buffer {
    explicit Buffer(uint64_t stride) : row(stride + kSpare) {
        bytes = static_cast<uint8_t*>(std::aligned_alloc(4096, roundUp(kChunk + kSpare, 4096)));
        if (!bytes) throw std::bad_alloc();
    }
    ~Buffer() { std::free(bytes); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    uint8_t* bytes;
    std::vector<uint8_t> row;
};

PictureWriter::PictureWriter(const bmp::Image& image, AtomicFile& file)
    : m_image(image), m_file(file), m_stride(bmp::stride24(image.width)) {
    m_size = bmp::kHeaderSize24 + m_stride * static_cast<uint64_t>(image.height);
    // Chunks are whole blocks, from the file's last whole block down; the bytes after it (less
    // than a block) are written through the cache at the end, so nothing is written past the
    // file's end.
    const size_t direct = m_file.placeable() ? m_file.bypassCache() : 0;
    const uint64_t block = direct > 0 && kChunk % direct == 0 ? direct : 1;
    m_wholeBlocks = m_size / block * block;
    m_untaken = m_wholeBlocks;
    m_final = m_untaken;
    m_file.reserve(m_size);  // in one piece: written and later freed faster (a pipe or a device: nothing)
}

PictureWriter::~PictureWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

void PictureWriter::rowsFinal(int64_t rows) {
    if (!m_file.placeable() || rows <= 0) return;
    // Rows 0 .. rows - 1 are the file's bytes from `final` to its end.
    const uint64_t final = bmp::kHeaderSize24 + m_stride * static_cast<uint64_t>(m_image.height - std::min<int64_t>(rows, m_image.height));
    {
        const std::lock_guard lock(m_mutex);
        if (m_failure) std::rethrow_exception(m_failure);
        if (final >= m_final) return;
        m_final = final;
    }
    // Two threads, so that one packs while the storage takes the other's chunk.
    startThreads(2);
    m_changed.notify_all();
}

void PictureWriter::finish(int threads) {
    if (!m_file.placeable())
        return bmp::write24(m_file, m_image.width, m_image.height, [&](int32_t y) { return m_image.row(y); });
    uint64_t chunksLeft = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_final = 0;
        chunksLeft = (m_untaken + kChunk - 1) / kChunk;
    }
    startThreads(static_cast<int>(std::min<uint64_t>(chunksLeft, static_cast<uint64_t>(std::max(threads, 1)))));
    m_changed.notify_all();
    if (m_threads.empty()) work();  // the system started none: this thread writes every chunk
    for (std::thread& thread : m_threads) thread.join();
    m_threads.clear();
    if (m_failure) std::rethrow_exception(m_failure);
    // Every chunk written, or the save fails: a sheet with a part missing is never passed as done.
    if (m_written != m_wholeBlocks) throw Failure(EIO, m_file.target());
    if (m_wholeBlocks < m_size) {
        m_file.useCache();
        Buffer buffer(m_stride);
        writeRange(m_wholeBlocks, m_size, buffer);
    }
}

void PictureWriter::startThreads(int count) {
    while (static_cast<int>(m_threads.size()) < count) {
        std::optional<std::thread> thread = startThread([this] { work(); });
        if (!thread) return;  // fewer threads, as many as the system starts
        m_threads.push_back(std::move(*thread));
    }
}

// Takes up chunks from the end of the file down as they become final, until none is left.
void PictureWriter::work() {
    std::unique_ptr<Buffer> buffer;
    for (;;) {
        uint64_t from = 0, to = 0;
        {
            std::unique_lock lock(m_mutex);
            const auto chunkStart = [&] { return m_untaken > kChunk ? m_untaken - kChunk : 0; };
            m_changed.wait(lock, [&] { return m_stop || m_failure || m_untaken == 0 || chunkStart() >= m_final; });
            if (m_stop || m_failure || m_untaken == 0) return;
            from = chunkStart();
            to = std::exchange(m_untaken, from);
            ++m_writing;
        }
        std::exception_ptr failure;
        try {
            if (!buffer) buffer = std::make_unique<Buffer>(m_stride);
            writeRange(from, to, *buffer);
            m_written += to - from;
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(m_mutex);
            --m_writing;
            if (failure && !m_failure) m_failure = failure;
        }
        m_changed.notify_all();
        if (failure) return;
    }
}

void PictureWriter::settle() {
    std::unique_lock lock(m_mutex);
    if (m_threads.empty()) return;  // nothing is written before finish()
    const auto chunkStart = [&] { return m_untaken > kChunk ? m_untaken - kChunk : 0; };
    m_changed.wait(lock, [&] { return m_failure || (m_writing == 0 && (m_untaken == 0 || chunkStart() < m_final)); });
}

// Packs the file's bytes from .. to - 1 (no more than a chunk) into the buffer and writes them in
// place.
void PictureWriter::writeRange(uint64_t from, uint64_t to, Buffer& buffer) {
    const bmp::RowSource rows = [&](int32_t y) { return m_image.row(y); };
    uint8_t* out = buffer.bytes;
    uint64_t at = from;
    if (at < bmp::kHeaderSize24) {
        const auto header = bmp::header24(m_image.width, m_image.height);
        const uint64_t n = std::min<uint64_t>(to, bmp::kHeaderSize24) - at;
        std::memcpy(out, header.data() + at, n);
        out += n;
        at += n;
    }
    // File row j holds bytes kHeaderSize24 + j * stride onwards: a range may start and end inside
    // a row, and never goes past the file's end.
    const auto row = [&] { return static_cast<int32_t>((at - bmp::kHeaderSize24) / m_stride); };
    const auto part = [&](uint64_t skip, uint64_t n) {  // n bytes of the row at `at`, from its byte skip
        bmp::packRows24(buffer.row.data(), m_image.width, m_image.height, row(), 1, rows);
        std::memcpy(out, buffer.row.data() + skip, n);
        out += n;
        at += n;
    };
    if (const uint64_t skip = (at - bmp::kHeaderSize24) % m_stride; at < to && skip != 0) part(skip, std::min(m_stride - skip, to - at));
    if (const uint64_t whole = (to - at) / m_stride; whole > 0) {
        bmp::packRows24(out, m_image.width, m_image.height, row(), static_cast<int32_t>(whole), rows);
        out += whole * m_stride;
        at += whole * m_stride;
    }
    if (at < to) part(0, to - at);
    m_file.writeAt(buffer.bytes, static_cast<size_t>(to - from), from);
}

}  // namespace storage
