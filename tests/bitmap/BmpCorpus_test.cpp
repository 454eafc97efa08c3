// The BMP Suite corpus in tests/data/bmpsuite: good files equal their reference renderings,
// questionable ones follow the recorded decision, bad ones are refused or loaded by the rules.

#include "support/Pictures.h"
#include "support/TempTree.h"
#include "bitmap/BmpReader.h"
#include "toolkit/Errors.h"
#include "toolkit/Picture.h"

#include <QImage>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

const std::string kSuite = QW_BMPSUITE;

std::map<std::string, std::string> referenceMap() {
    std::map<std::string, std::string> map;
    std::ifstream in(kSuite + "/ref/MAP.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) map[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return map;
}

// Largest (or, with mean, average) difference of a colour channel between the picture and its
// reference, over the pixels the reference does not make fully transparent; -1 when the sizes
// differ.
double difference(const tk::Picture& picture, const std::string& reference, bool mean = false) {
    const QImage ref = QImage(QString::fromStdString(kSuite + "/ref/" + reference)).convertToFormat(QImage::Format_ARGB32);
    if (ref.width() != picture.widthPixels() || ref.height() != picture.heightPixels()) return -1;
    int worst = 0;
    double total = 0;
    int64_t count = 0;
    for (int y = 0; y < ref.height(); ++y)
        for (int x = 0; x < ref.width(); ++x) {
            const QRgb want = ref.pixel(x, y);
            if (qAlpha(want) == 0) continue;
            const uint32_t got = picture.image().row(y)[x];
            for (const int d : {std::abs(qRed(want) - static_cast<int>((got >> 16) & 0xFF)),
                                std::abs(qGreen(want) - static_cast<int>((got >> 8) & 0xFF)),
                                std::abs(qBlue(want) - static_cast<int>(got & 0xFF))}) {
                worst = std::max(worst, d);
                total += d;
                ++count;
            }
        }
    return mean ? total / static_cast<double>(count) : worst;
}

// What the program does with one file: loads it equal to its reference (within tolerance),
// or refuses it with a reason.
struct Decision {
    enum Kind { Equal, Similar, Refused } kind;
    double tolerance = 0;    // Equal: the largest channel difference allowed; Similar: the mean
    std::string reason = {};  // Refused: words the error must hold
};

tk::Picture load(const std::string& relative) { return tk::LoadPicture(kSuite + "/" + relative); }

void expectDecision(const std::string& file, const Decision& decision, const std::map<std::string, std::string>& refs) {
    SCOPED_TRACE(file);
    if (decision.kind == Decision::Refused) {
        try {
            load(file);
            ADD_FAILURE() << "loaded, but should be refused";
        } catch (const tk::Error& e) {
            EXPECT_EQ(e.number(), tk::kInvalidPicture);
            EXPECT_TRUE(e.description().contains(QString::fromStdString(decision.reason))) << e.what();
            EXPECT_TRUE(e.description().contains(QString::fromStdString(file))) << "the message names the file";
        }
        return;
    }
    const tk::Picture picture = load(file);
    const auto ref = refs.find(file);
    if (ref == refs.end()) return;
    const double found = difference(picture, ref->second, decision.kind == Decision::Similar);
    EXPECT_GE(found, 0) << "size differs from " << ref->second;
    EXPECT_LE(found, decision.tolerance) << "reference " << ref->second;
}

}  // namespace

TEST(BmpCorpus, every_good_file_equals_its_reference_pixel_for_pixel) {
    const auto refs = referenceMap();
    int checked = 0;
    for (const auto& [file, reference] : refs) {
        if (file.rfind("g/", 0) != 0) continue;
        expectDecision(file, {Decision::Equal}, refs);
        ++checked;
    }
    EXPECT_EQ(checked, 27);
}

TEST(BmpCorpus, questionable_files_follow_the_recorded_decision) {
    const auto refs = referenceMap();
    const std::map<std::string, Decision> decisions = {
        {"q/pal1p1.bmp", {Decision::Equal}},
        {"q/pal2.bmp", {Decision::Equal}},
        {"q/pal2color.bmp", {Decision::Equal}},
        {"q/pal4rletrns.bmp", {Decision::Equal}},
        {"q/pal4rlecut.bmp", {Decision::Equal}},
        {"q/pal8rletrns.bmp", {Decision::Equal}},
        {"q/pal8rlecut.bmp", {Decision::Equal}},
        {"q/pal8offs.bmp", {Decision::Equal}},
        {"q/pal8oversizepal.bmp", {Decision::Equal}},
        {"q/pal8os2-sz.bmp", {Decision::Equal}},
        {"q/pal8os2-hs.bmp", {Decision::Equal}},
        {"q/pal8os2sp.bmp", {Decision::Equal}},
        {"q/pal8os2v2.bmp", {Decision::Equal}},
        {"q/pal8os2v2-16.bmp", {Decision::Equal}},
        {"q/pal8os2v2-sz.bmp", {Decision::Equal}},
        {"q/pal8os2v2-40sz.bmp", {Decision::Equal}},
        {"q/rgb24rle24.bmp", {Decision::Equal}},
        {"q/pal1huffmsb.bmp", {Decision::Refused, 0, "Huffman"}},
        {"q/rgb16faketrns.bmp", {Decision::Equal}},
        {"q/rgb16-231.bmp", {Decision::Equal}},
        {"q/rgb16-3103.bmp", {Decision::Equal}},
        {"q/rgba16-4444.bmp", {Decision::Equal}},
        {"q/rgba16-5551.bmp", {Decision::Equal}},
        {"q/rgba16-1924.bmp", {Decision::Equal}},
        {"q/rgb24largepal.bmp", {Decision::Equal}},
        {"q/rgb24lprof.bmp", {Decision::Equal}},
        {"q/rgb24jpeg.bmp", {Decision::Similar, 5.0}},  // a lossy JPEG stream: close on average
        {"q/rgb24png.bmp", {Decision::Equal}},
        {"q/rgb32h52.bmp", {Decision::Equal}},
        {"q/rgb32-xbgr.bmp", {Decision::Equal}},
        {"q/rgb32fakealpha.bmp", {Decision::Equal}},
        {"q/rgb32-111110.bmp", {Decision::Equal, 1}},  // 11-bit channels, rounded; the reference truncates
        {"q/rgb32-7187.bmp", {Decision::Equal}},
        {"q/rgba32-1.bmp", {Decision::Equal}},
        {"q/rgba32-2.bmp", {Decision::Equal}},
        {"q/rgba32-1010102.bmp", {Decision::Equal}},
        {"q/rgba32-81284.bmp", {Decision::Equal}},
        {"q/rgba32-61754.bmp", {Decision::Equal}},
        {"q/rgba32abf.bmp", {Decision::Equal}},
        {"q/rgba32h56.bmp", {Decision::Equal}},
        {"q/rgba64.bmp", {Decision::Equal, 1}},  // linear light to sRGB rounding
    };
    EXPECT_EQ(decisions.size(), 41u);  // the two files with embedded ICC profiles are not kept
    for (const auto& [file, decision] : decisions) expectDecision(file, decision, refs);
}

TEST(BmpCorpus, bad_files_are_refused_with_a_reason_or_loaded_by_the_rules) {
    const auto refs = referenceMap();
    const std::map<std::string, Decision> decisions = {
        {"b/badbitcount.bmp", {Decision::Refused, 0, "bits per pixel"}},
        {"b/badbitssize.bmp", {Decision::Equal}},  // the image-size field is not needed
        {"b/baddens1.bmp", {Decision::Equal}},     // densities are not used
        {"b/baddens2.bmp", {Decision::Equal}},
        {"b/badfilesize.bmp", {Decision::Equal}},  // the file-size field is not needed
        {"b/badheadersize.bmp", {Decision::Refused, 0, "header size"}},
        {"b/badpalettesize.bmp", {Decision::Equal}},  // only the palette the file holds is read
        {"b/badplanes.bmp", {Decision::Refused, 0, "plane"}},
        {"b/badrle.bmp", {Decision::Equal}},  // runs past a row's end are cut there
        {"b/badrle4.bmp", {Decision::Equal}},
        {"b/badrle4bis.bmp", {Decision::Equal}},
        {"b/badrle4ter.bmp", {Decision::Equal}},
        {"b/badrlebis.bmp", {Decision::Equal}},
        {"b/badrleter.bmp", {Decision::Equal}},
        {"b/badwidth.bmp", {Decision::Refused, 0, "width"}},
        {"b/pal8badindex.bmp", {Decision::Equal}},  // indices past the palette are black
        {"b/reallybig.bmp", {Decision::Refused, 0, "too large"}},
        {"b/rgb16-880.bmp", {Decision::Equal}},
        {"b/rletopdown.bmp", {Decision::Refused, 0, "top-down"}},
        {"b/shortfile.bmp", {Decision::Refused, 0, "ends before its pixel data"}},
    };
    EXPECT_EQ(decisions.size(), 20u);
    for (const auto& [file, decision] : decisions) expectDecision(file, decision, refs);
}

// What the kernel answers a no-wait read, handed in: the bytes are in memory; the storage must be
// waited for; or some are in memory and the rest must be waited for.
ssize_t inMemory(int fd, uint8_t* data, size_t size) { return ::read(fd, data, size); }
ssize_t mustWait(int, uint8_t*, size_t) { return errno = EAGAIN, -1; }
ssize_t partlyInMemory(int fd, uint8_t* data, size_t size) {
    static thread_local bool given = false;  // every other call: half of what is asked, then a wait
    if ((given = !given)) return ::read(fd, data, (size + 1) / 2);
    return mustWait(fd, data, size);
}

TEST(BmpCorpus, every_file_reads_the_same_with_bytes_after_it_and_read_as_large_files_are) {
    // Bytes after a file never change its picture; and a file read the way large files are (its
    // head first, then the rows a paint takes, or the rest) gives what it gives read whole from
    // memory, or is refused alike, whatever the kernel answers a no-wait read; the reader hears
    // that it waits for the storage exactly when the kernel says so.
    TempTree tree;
    int files = 0, loaded = 0;
    struct Answer {
        storage::NoWaitRead read;  // null: the kernel's
        bool dropped;         // the file dropped from memory first
        int waits;            // what the reader must hear; -1: the kernel's to decide
    };
    const Answer answers[] = {{nullptr, false, -1}, {nullptr, true, -1}, {inMemory, false, 0}, {mustWait, false, 1}, {partlyInMemory, false, 1}};
    for (const char* folder : {"g", "q", "b"})
        for (const auto& entry : std::filesystem::directory_iterator(kSuite + "/" + folder)) {
            if (entry.path().extension() != ".bmp") continue;
            SCOPED_TRACE(entry.path().filename().string());
            const std::vector<uint8_t> bytes = readFile(entry.path().string());
            const auto fromMemory = [](const std::vector<uint8_t>& b) {
                return readOutcome([&] { return tk::decodePicture(b.data(), b.size(), "test.bmp"); });
            };
            const ReadOutcome whole = fromMemory(bytes);
            tree.addFile("f.bmp", bytes);
            for (const uint64_t largeFrom : {uint64_t{0}, ~uint64_t{0}})
                for (const Answer& answer : answers) {
                    const ReadAsPaintedFrom way(largeFrom);
                    if (answer.dropped && !dropFromMemory(tree.path("f.bmp"))) continue;
                    storage::setNoWaitRead(answer.read);
                    int waits = 0;
                    EXPECT_TRUE(readOutcome([&] { return tk::LoadPicture(tree.path("f.bmp"), [&] { ++waits; }); }) == whole)
                        << "read as large files are: " << (largeFrom == 0) << ", answer " << (&answer - answers);
                    storage::setNoWaitRead(nullptr);
                    // Heard at each read that must wait (a compressed file's head, then its rest).
                    if (answer.waits >= 0) {
                        EXPECT_EQ(waits > 0, answer.waits > 0) << "answer " << (&answer - answers);
                    }
                    EXPECT_LE(waits, 2);
                }
            ++files;
            if (whole.error) continue;
            ++loaded;
            // The row reader given a head of any length: nothing, or the rows the whole file gives,
            // never a colour from past the bytes it was given (poisoned here).
            const bmp::Image wholeImage = bmp::decode(bytes.data(), bytes.size()).image;
            for (const size_t length : {size_t{14}, size_t{54}, size_t{60}, size_t{70}, size_t{120}, size_t{300}, size_t{1000}, size_t{1100}, bytes.size() - 1}) {
                std::vector<uint8_t> head(bytes.size(), 0xA5);
                std::copy_n(bytes.begin(), std::min(length, bytes.size()), head.begin());
                const std::optional<bmp::RowReader> rows = bmp::RowReader::open(head.data(), std::min(length, bytes.size()), bytes.size());
                std::vector<uint32_t> row(static_cast<size_t>(wholeImage.width));
                for (int32_t y = 0; rows && y < rows->height(); ++y) {
                    rows->decodeRow(bytes.data() + rows->rowOffset(y), row.data());
                    ASSERT_TRUE(std::equal(row.begin(), row.end(), wholeImage.row(y))) << "row " << y << " from a head of " << length;
                }
            }
            for (const auto& [count, byte] : {std::pair{1, 0}, {1024, 0}, {1024, 0xFF}, {1027, 0x42}}) {
                std::vector<uint8_t> longer = bytes;
                longer.insert(longer.end(), static_cast<size_t>(count), static_cast<uint8_t>(byte));
                EXPECT_TRUE(fromMemory(longer) == whole) << count << " bytes of " << byte << " after it";
            }
        }
    EXPECT_EQ(files, 27 + 41 + 20);
    EXPECT_EQ(loaded, 27 + 40 + 13);
}
