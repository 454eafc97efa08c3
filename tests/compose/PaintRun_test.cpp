// Combine on several threads paints the sheet one thread paints: the same pixels, and the same
// first failing picture with every picture before it painted.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "compose/PaintRun.h"
#include "storage/Threads.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

namespace {

// A picture of a random kind and size: 8-, 24- or 32-bit, either row order, a background
// colour and a band of content, so that Drop to floor lowers it by a random amount.
std::vector<uint8_t> randomPicture(std::mt19937& random) {
    const int w = 1 + static_cast<int>(random() % 90), h = 1 + static_cast<int>(random() % 90);
    const uint32_t background = random() & 0xFFFFFF, ink = random() & 0xFFFFFF;
    const int from = static_cast<int>(random() % static_cast<unsigned>(h)), to = from + static_cast<int>(random() % 20);
    const auto colour = [=](int x, int y) { return y >= from && y <= to && x % 3 ? ink ^ static_cast<uint32_t>(x * 0x10101) : background; };
    switch (random() % 3) {
    case 0: return bmp8(w, h, {background, ink}, [&](int x, int y) { return static_cast<uint8_t>(colour(x, y) != background); }, random() % 2);
    case 1: return bmp24(w, h, colour, random() % 2);
    default: return bmp32(w, h, colour, random() % 2);
    }
}

// The error report (empty when the run completed) and the canvas, with its width.
using Outcome = std::tuple<QString, std::vector<uint32_t>, int>;
Outcome combine(const TempTree& tree, int jobs, bool drop, const QString& width, const QString& height,
                const std::function<void(const bmp::Image&, int64_t)>& rowsPainted = {}) {
    WindowDriver w(tree.root());
    w.form().Jobs = jobs;
    w.form().rowsPainted = rowsPainted;
    w.click(QStringLiteral("cmdGetContents"));
    w.tick(drop);
    w.type(QStringLiteral("txtWidth"), width), w.type(QStringLiteral("txtHeight"), height);
    w.click(QStringLiteral("cmdCombine"));
    const bmp::Image& canvas = w.form().picMain.persistentImage();
    std::vector<uint32_t> pixels;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) pixels.push_back(rgbAt(canvas, x, y));
    EXPECT_EQ(w.form().cmdSave.Enabled(), w.lastMessageText().isEmpty());
    return {w.lastMessageText(), pixels, canvas.width};
}

}  // namespace

TEST(PaintRun, every_thread_count_paints_what_one_thread_paints_and_fails_where_it_fails) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 random(seed);
        const int count = 150 + static_cast<int>(random() % 200);
        const int broken = seed % 4 == 0 ? -1 : static_cast<int>(random() % static_cast<unsigned>(count));
        // Some runs have a second broken picture a few after the first: the first is the one reported.
        const int alsoBroken = broken >= 0 && seed % 3 == 1 ? std::min(count - 1, broken + 1 + static_cast<int>(random() % 6)) : -1;
        const bool drop = seed % 2 == 0;
        const QString width = QString::number(8 + random() % 80), height = QString::number(8 + random() % 80);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ": " << count << " pictures, broken at " << broken << (drop ? ", drop to floor" : "")
                                        << ", cells " << width.toStdString() << " x " << height.toStdString());
        TempTree tree;
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> bytes = randomPicture(random);
            if (i == broken || i == alsoBroken) bytes.resize(bytes.size() / 2);  // cut short: refused
            tree.addFile(QString::asprintf("p%04d.bmp", i).toStdString(), bytes);
        }
        const auto [message, pixels, canvasWidth] = combine(tree, 1, drop, width, height);
        EXPECT_EQ(message.isEmpty(), broken < 0);
        EXPECT_TRUE(broken < 0 || message.contains(QString::asprintf("p%04d.bmp", broken))) << message.toStdString();
        // The whole canvas holds what one thread painted, after a failure too; and so where the
        // system starts fewer threads than asked for (the allowance counts the read-ahead helper).
        for (const auto& [jobs, allowed] : {std::pair{2, -1}, {5, -1}, {5, 0}, {5, 2}}) {
            SCOPED_TRACE(testing::Message() << jobs << " threads, " << allowed << " allowed");
            storage::setThreadsAllowed(allowed);
            // Rows handed on as painted for good hold, then and there, what they hold in the end.
            int64_t handed = 0;
            const auto check = [&](const bmp::Image& canvas, int64_t rows) {
                EXPECT_GT(rows, handed);
                handed = rows;
                for (int y = 0; y < rows && y < canvas.height; ++y)
                    for (int x = 0; x < canvas.width; ++x)
                        if (rgbAt(canvas, x, y) != pixels[size_t(y) * size_t(canvasWidth) + size_t(x)]) return ADD_FAILURE() << "row " << y << " of " << rows;
            };
            const auto [many, manyPixels, manyWidth] = combine(tree, jobs, drop, width, height, check);
            storage::setThreadsAllowed(-1);
            EXPECT_TRUE(broken >= 0 || handed == int64_t(pixels.size()) / canvasWidth) << handed;
            EXPECT_EQ(many, message);
            ASSERT_EQ(manyPixels.size(), pixels.size());
            const auto differ = std::mismatch(pixels.begin(), pixels.end(), manyPixels.begin());
            EXPECT_TRUE(differ.first == pixels.end()) << "the pixels differ at " << (differ.first - pixels.begin());
        }
    }
}

namespace {

// A schedule the test forces: a step waits until given steps have happened, on whichever thread.
class Schedule {
public:
    void happened(const std::string& step) {
        const std::lock_guard lock(m_mutex);
        m_happened.insert(step);
        m_changed.notify_all();
    }
    void await(const std::string& step) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_happened.count(step) > 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::string> m_happened;
};

struct Ran {
    std::string error;              // what paintAll threw ("" when nothing)
    std::set<size_t> painted, unpainted;
    size_t lastProgress = 0;
};

// Runs four pictures on three threads with the schedule's waits: waitsIn[i] is the step picture
// i's load waits for, fails[i] whether the load throws; with drop, each painting follows the
// previous picture's. A run that does not end within a minute is a deadlock: the test ends.
Ran runScheduled(const std::vector<std::string>& waitsIn, const std::vector<bool>& fails, bool drop) {
    Schedule schedule;
    Ran ran;
    std::mutex mutex;
    compose::PaintSteps steps;
    steps.load = [&](size_t i) {
        schedule.happened("load " + std::to_string(i));
        if (!waitsIn[i].empty()) schedule.await(waitsIn[i]);
        if (fails[i]) throw std::runtime_error("picture " + std::to_string(i));
        return tk::Picture();
    };
    steps.paint = [&](size_t i, const tk::Picture&, int, const std::function<void()>& turn) {
        schedule.happened("paint " + std::to_string(i));
        turn();
        const std::lock_guard lock(mutex);
        ran.painted.insert(i);
    };
    steps.followsPrevious = [&](size_t) { return drop; };
    steps.unpaint = [&](size_t i) { ran.unpainted.insert(i); };
    steps.done = [&](size_t i) { schedule.happened("done " + std::to_string(i)); };
    auto run = std::async(std::launch::async, [&] {
        try {
            compose::paintAll(waitsIn.size(), 3, tk::Picture(), steps, [&](size_t painted) { ran.lastProgress = painted; });
        } catch (const std::runtime_error& e) {
            ran.error = e.what();
        }
    });
    if (run.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
        ADD_FAILURE() << "the run never ended";
        std::_Exit(1);
    }
    return ran;
}

}  // namespace

TEST(PaintRun, list_order_rules_hold_under_every_schedule_the_test_forces) {
    // The first failing picture in list order is reported, even when a later one failed first.
    Ran ran = runScheduled({"", "done 2", "", ""}, {false, true, true, false}, false);
    EXPECT_EQ(ran.error, "picture 1");
    // A picture after the failing one, painted by another thread first, is taken off again.
    ran = runScheduled({"", "done 2", "", "done 1"}, {false, true, false, false}, false);
    EXPECT_EQ(ran.error, "picture 1");
    EXPECT_EQ(ran.unpainted, (std::set<size_t>{2}));
    EXPECT_EQ(ran.lastProgress, ran.painted.size());
    // A picture taken up before an earlier one failed, and loaded after: not painted, not counted.
    ran = runScheduled({"", "", "load 3", "done 2"}, {false, false, true, false}, false);
    EXPECT_EQ(ran.error, "picture 2");
    EXPECT_EQ(ran.painted, (std::set<size_t>{0, 1}));
    EXPECT_EQ(ran.lastProgress, 2u);
    EXPECT_TRUE(ran.unpainted.empty());
    // A dropped picture waiting its turn behind a neighbour that fails gives up instead of waiting
    // for ever.
    ran = runScheduled({"", "paint 2", "", ""}, {false, true, false, false}, true);
    EXPECT_EQ(ran.error, "picture 1");
    EXPECT_EQ(ran.painted, (std::set<size_t>{0}));
    EXPECT_EQ(ran.lastProgress, 1u);
}
