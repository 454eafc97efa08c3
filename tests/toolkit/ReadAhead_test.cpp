// The read-ahead helper hints nothing until a reader has waited for the storage; then the files
// up to the window ahead of the reader, within twice the window of where the reader waited.

#include "support/TempTree.h"
#include "toolkit/ReadAhead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(ReadAhead, hints_start_when_a_reader_waits_for_the_storage_and_keep_to_the_window) {
    TempTree tree;
    std::vector<std::string> paths;
    for (int i = 0; i < 24; ++i) {
        paths.push_back(tree.path("p" + std::to_string(i) + ".bmp"));
        writeFile(paths.back(), std::vector<uint8_t>(64 << 10, uint8_t(i)));
        if (!dropFromMemory(paths.back())) GTEST_SKIP() << "this file system keeps its files in memory";
    }
    const auto hinted = [&](size_t from, size_t to) {
        std::vector<size_t> found;
        for (size_t i = from; i < to; ++i)
            if (pagesInMemory(paths[i]).first > 0) found.push_back(i);
        return found;
    };
    {
        tk::ReadAhead readAhead(paths, 4);
        readAhead.reached(1);
        readFile(paths[1]);  // a read from the storage: time enough for a helper that hints unasked
    }
    EXPECT_EQ(hinted(2, 24), std::vector<size_t>{}) << "hinted before any wait";
    {
        tk::ReadAhead readAhead(paths, 4);
        readAhead.reached(1);
        readAhead.storageWaited();  // at 1: files 2 to 5 now, up to 9 as the reader moves
        const auto within = [&](size_t from, size_t to) {  // the hinted files come in, or 10 s go by
            for (int ms = 0; hinted(from, to).size() < to - from && ms < 10000; ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        within(2, 6);
        readAhead.reached(7);
        within(8, 10);
    }
    EXPECT_EQ(hinted(2, 24), (std::vector<size_t>{2, 3, 4, 5, 8, 9})) << "the window ahead, up to twice the window from the wait";
}
