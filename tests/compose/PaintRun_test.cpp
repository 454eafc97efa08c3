// Combine on several threads paints the sheet one thread paints: the same pixels, and the same
// first failing picture with every picture before it painted.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

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
        // Every row of cells before the failing picture's (or every row) holds what one thread painted.
        const int perRow = std::max(1, 640 / width.toInt());
        const auto end = broken < 0 ? pixels.end() : pixels.begin() + std::ptrdiff_t(broken / perRow) * height.toInt() * canvasWidth;
        for (const int jobs : {2, 5}) {
            SCOPED_TRACE(testing::Message() << jobs << " threads");
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
            EXPECT_TRUE(broken >= 0 || handed == int64_t(pixels.size()) / canvasWidth) << handed;
            EXPECT_EQ(many, message);
            ASSERT_EQ(manyPixels.size(), pixels.size());
            const auto differ = std::mismatch(pixels.begin(), end, manyPixels.begin());
            EXPECT_TRUE(differ.first == end) << "the pixels differ at " << (differ.first - pixels.begin());
        }
    }
}
