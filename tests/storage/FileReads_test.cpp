// Many reads of one file at once give the bytes pread gives, in whatever order the kernel
// completes them: the test hands in the order (as they came, reversed, turned round by a seed),
// for ranges of every length, some past the file's end.

#include "support/TempTree.h"
#include "storage/FileReads.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <random>

namespace {

std::atomic<int> g_orderings{0};
std::atomic<unsigned> g_turn{0};

void reordered(std::vector<std::pair<int, uint64_t>>& completions) {
    ++g_orderings;
    if (g_turn == 1) std::reverse(completions.begin(), completions.end());
    if (g_turn > 1) std::rotate(completions.begin(), completions.begin() + g_turn % completions.size(), completions.end());
}

}  // namespace

TEST(FileReads, every_range_gets_its_own_bytes_in_any_completion_order) {
    TempTree tree;
    std::mt19937 random(7);
    std::vector<uint8_t> content(200000);
    for (uint8_t& byte : content) byte = static_cast<uint8_t>(random());
    tree.addFile("f", content);
    const int fd = ::open(tree.path("f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    storage::setCompletionOrder(reordered);
    for (unsigned seed = 0; seed < 60; ++seed) {
        g_turn = seed % 5;
        const size_t count = 2 + random() % 150;  // past one submission's depth
        const bool pastEnd = seed % 3 == 0;
        std::vector<std::vector<uint8_t>> into(count);
        std::vector<storage::FileRange> ranges;
        for (size_t i = 0; i < count; ++i) {
            const size_t length = 2 + random() % 5000;
            const uint64_t offset = random() % (content.size() - length);
            into[i].assign(length, 0);
            ranges.push_back({offset, length, into[i].data()});
        }
        if (pastEnd) ranges[random() % count].offset = content.size() - 1;  // cut short by the end
        const int result = storage::readRanges(fd, ranges);
        ASSERT_EQ(result, pastEnd ? -1 : 0) << "seed " << seed;
        for (size_t i = 0; i < count && !pastEnd; ++i)
            ASSERT_TRUE(std::equal(into[i].begin(), into[i].end(), content.begin() + static_cast<long>(ranges[i].offset)))
                << "seed " << seed << " range " << i;
    }
    storage::setCompletionOrder(nullptr);
    ::close(fd);
    if (g_orderings == 0) GTEST_SKIP() << "the kernel offers no io_uring here: only pread was read";
}
