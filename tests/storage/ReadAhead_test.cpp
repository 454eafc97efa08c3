// The read-ahead helper hints nothing until a reader has waited for the storage; then the files
// up to the window ahead of the reader, within twice the window of where the reader waited. What
// the kernel does with a hint is its own affair: the test hears which files were hinted. And the
// hints of every file of the bitmap corpus, read as large files are, never end the program.

#include "support/TempTree.h"
#include "storage/PictureFile.h"
#include "storage/ReadAhead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>

namespace {

std::mutex g_mutex;
std::condition_variable g_heard;
std::set<std::string> g_hinted;

void hear(const std::string& path) {
    const std::lock_guard lock(g_mutex);
    g_hinted.insert(path);
    g_heard.notify_all();
}

}  // namespace

TEST(ReadAhead, hints_start_when_a_reader_waits_for_the_storage_and_keep_to_the_window) {
    std::vector<std::string> paths;
    for (int i = 0; i < 24; ++i) paths.push_back("p" + std::to_string(i) + ".bmp");
    const auto hinted = [&] {
        const std::lock_guard lock(g_mutex);
        std::vector<size_t> found;
        for (size_t i = 0; i < paths.size(); ++i)
            if (g_hinted.count(paths[i])) found.push_back(i);
        return found;
    };
    // Until the files from..to - 1 are heard of, or a minute goes by (a helper that never hints).
    const auto heard = [&](size_t from, size_t to) {
        std::unique_lock lock(g_mutex);
        g_heard.wait_for(lock, std::chrono::minutes(1), [&] {
            for (size_t i = from; i < to; ++i)
                if (!g_hinted.count(paths[i])) return false;
            return true;
        });
    };
    storage::ReadAhead::setHinted(hear);
    {
        storage::ReadAhead readAhead(paths, 4);
        readAhead.reached(1);
        readAhead.reached(3);
    }  // the helper has stopped: whatever it was to hint unasked, it has heard of by now
    EXPECT_EQ(hinted(), std::vector<size_t>{}) << "hinted before any wait";
    {
        storage::ReadAhead readAhead(paths, 4);
        readAhead.reached(1);
        readAhead.storageWaited();  // at 1: files 2 to 5 now, up to 9 as the reader moves
        heard(2, 6);
        readAhead.reached(7);
        heard(8, 10);
    }
    storage::ReadAhead::setHinted(nullptr);
    EXPECT_EQ(hinted(), (std::vector<size_t>{2, 3, 4, 5, 8, 9})) << "the window ahead, up to twice the window from the wait";
}

TEST(ReadAhead, every_file_of_the_corpus_is_hinted_without_ending_the_program) {
    // Broken headers, cut files, huge claimed sizes: a hint that fails is only a hint not given.
    std::vector<std::string> paths;
    for (const char* folder : {"g", "q", "b"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(QW_BMPSUITE) + "/" + folder))
            if (entry.path().extension() == ".bmp") paths.push_back(entry.path().string());
    const uint64_t before = storage::readAsPaintedFrom();
    storage::ReadAhead::setHinted(hear);
    for (const uint64_t largeFrom : {uint64_t{0}, before})
        for (const bool topRows : {false, true}) {
            storage::setReadAsPaintedFrom(largeFrom);
            {
                const std::lock_guard lock(g_mutex);
                g_hinted.clear();
            }
            storage::ReadAhead readAhead(paths, paths.size(), {3, 2, topRows});
            readAhead.storageWaited();
            std::unique_lock lock(g_mutex);
            EXPECT_TRUE(g_heard.wait_for(lock, std::chrono::minutes(1), [&] { return g_hinted.size() == paths.size() - 1; }));
        }
    storage::ReadAhead::setHinted(nullptr);
    storage::setReadAsPaintedFrom(before);
    EXPECT_EQ(paths.size(), 27u + 41u + 20u);
}
