// quiltwright-batch: the window's Get Contents, Combine and Save, without the window.

#include "batch/BatchRun.h"
#include "storage/Links.h"

#include <getopt.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kProgram = "quiltwright-batch";
constexpr const char* kUsage = "Usage: quiltwright-batch [OPTION]... FOLDER\n";
constexpr const char* kHelp =
    "Combines every .bmp file in FOLDER and below it into one bitmap, as the Kestrune Quiltwright\n"
    "window does: cells of PX pixels, at most 640 pixels to a row, in path order, written to\n"
    "FOLDER/Combined.bmp. A file named Combined.bmp is left out of the sheet. For a folder of\n"
    "PNG frames: quiltwright-batch --pattern='*.png' --width=auto --height=auto --no-stretch\n"
    "--output=sheet.png --atlas=sheet.json FOLDER\n"
    "\n"
    "  --width=PX         cell width in pixels (64); auto: the widest picture's\n"
    "  --height=PX        cell height in pixels (64); auto: the tallest picture's\n"
    "  --pattern=GLOB     the pictures' names, in any letter case (*.bmp); give it again for\n"
    "                     more: --pattern='*.png' --pattern='*.bmp'. PNG files are read too\n"
    "  --no-stretch       draw each picture at its own size, centred in its cell (cut to it)\n"
    "  --columns=N        exactly N cells across (the sheet as wide as they need)\n"
    "  --max-width=PX     rows of as many cells as fit in PX pixels (640)\n"
    "  --pot              the sheet's width and height rounded up to powers of two\n"    "  --max-height=PX    cells that do not fit in PX pixels go on the next page: --output and\n"
    "                     --atlas then name the pages with {n} (sheet-{n}.png, from 0); every\n"
    "                     page and list is swapped in together\n"
    "  --drop-to-floor    lower each picture onto its cell's bottom edge\n"
    "  --output=FILE      write FILE instead of FOLDER/Combined.bmp; - for standard output;\n"
    "                     the run's own files are never painted into the sheet\n"
    "  --jobs=N           paint on N threads at once (every core the process may use)\n"
    "  --order=natural    paint in natural order, digits compared as numbers (walk_2 before\n"
    "                     walk_10); --order=list, the default, is the window's order\n"
    "  --atlas=FILE       also write FILE, a frame list in JSON that Phaser's atlas loader and\n"
    "                     PixiJS's Assets read with the sheet: each picture's cell, keyed by its\n"
    "                     path below FOLDER; an animation for each folder, its frames in sheet\n"
    "                     order; with --drop-to-floor each frame anchored where its sprite\n"
    "                     stands;\n"
    "                     the grid's numbers in meta.grid\n"
    "  --atlas-format=hash|array|multiatlas  the list's layout: \"JSON Hash\" (the default),\n"
    "                     \"JSON Array\", or one list of every page (Phaser's multiatlas)\n"
    "  --grid=FILE        write only the grid's numbers to FILE, for engines that slice a grid\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Sprite sheets:\n"
    "  --format=png|bmp   the sheet's format; FILE ending in .png (any case) writes PNG, and\n"
    "                     FOLDER/Combined.png is written for --format=png without --output\n"
    "  --compression=fast|smallest  how hard a PNG is compressed: fast (the default), or the\n"
    "                     smallest file two compressors give, several times slower\n"
    "  --key=corner       make each picture's top-left colour transparent (with --drop-to-floor\n"
    "                     the background filled above it too)\n"
    "  --key=RRGGBB       make this colour transparent in every picture\n"
    "  --margin=PX        PX pixels around the cells (0); the sheet is as wide as its cells\n"
    "                     and gutters, so that engines slicing by its width find its columns\n"
    "  --spacing=PX       PX pixels between cells (0)\n"
    "  --extrude=PX       repeat each cell's edge outwards, into at most half the spacing and\n"
    "                     into the margin, against bleeding when sprites are filtered (0)\n"
    "A PNG, and a sheet with --key, keeps the alpha 32-bit bitmaps carry, and what no picture\n"
    "covers is then transparent: a PNG is RGBA, a bitmap 32-bit, where anything is transparent.\n"
    "PixiJS and Defold load PNG only; Phaser, Godot and Unity both. For Phaser's\n"
    "load.spritesheet give the same margin and spacing, for example:\n"
    "  quiltwright-batch --output=sheet.png --key=corner --spacing=2 --extrude=1 sprites\n"
    "\n"
    "Exit status: 0 written, 1 an error (reported on standard error; a folder that cannot be read\n"
    "is named there, and the sheet of the rest is still written), 2 bad usage.\n";

int badUsage(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%sTry '%s --help' for more information.\n", kProgram, problem.c_str(), kUsage, kProgram);
    return 2;
}

// What the user typed, as printable ASCII: other bytes as \xNN, so a message is one clean line.
std::string printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

// A cell size or a thread count: a whole number of at least 1, in digits and nothing else.
bool isCount(const char* text) {
    const std::string_view value(text);
    int32_t pixels = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pixels);
    return !value.empty() && value.front() != '-' && value.front() != '+' && error == std::errc() &&
           end == value.data() + value.size() && pixels >= 1;
}

// Gutters: 0 or more pixels, in digits, up to a size no sheet needs more of.
constexpr int32_t kMostGutter = 4096;
std::optional<int32_t> gutter(const char* text) {
    const std::string_view value(text);
    int32_t pixels = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pixels);
    if (value.empty() || value.front() == '-' || value.front() == '+' || error != std::errc() ||
        end != value.data() + value.size() || pixels < 0 || pixels > kMostGutter)
        return std::nullopt;
    return pixels;
}

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// RRGGBB in hexadecimal digits (any case), with or without a leading '#'.
std::optional<uint32_t> hexColour(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) return std::nullopt;
    uint32_t colour = 0;
    std::from_chars(text.data(), text.data() + 6, colour, 16);
    return colour;
}

std::string absolute(const std::string& path) {
    return !path.empty() && path.front() == '/' ? path : storage::currentFolder() + "/" + path;
}

}  // namespace

int main(int argc, char* argv[]) {
    enum { kWidth = 1000, kHeight, kDrop, kOutput, kAtlas, kJobs, kFormat, kKey, kMargin, kSpacing, kExtrude, kAtlasFormat, kGrid, kOrder,
           kPattern, kNoStretch, kColumns, kMaxWidth, kPot, kMaxHeight, kCompression };
    static const option kOptions[] = {
        {"width", required_argument, nullptr, kWidth},   {"height", required_argument, nullptr, kHeight},
        {"drop-to-floor", no_argument, nullptr, kDrop},  {"output", required_argument, nullptr, kOutput},
        {"atlas", required_argument, nullptr, kAtlas},   {"jobs", required_argument, nullptr, kJobs},
        {"format", required_argument, nullptr, kFormat}, {"key", required_argument, nullptr, kKey},
        {"margin", required_argument, nullptr, kMargin}, {"spacing", required_argument, nullptr, kSpacing},
        {"extrude", required_argument, nullptr, kExtrude}, {"atlas-format", required_argument, nullptr, kAtlasFormat},
        {"grid", required_argument, nullptr, kGrid},       {"order", required_argument, nullptr, kOrder},
        {"pattern", required_argument, nullptr, kPattern}, {"no-stretch", no_argument, nullptr, kNoStretch},
        {"columns", required_argument, nullptr, kColumns}, {"max-width", required_argument, nullptr, kMaxWidth},
        {"pot", no_argument, nullptr, kPot},               {"max-height", required_argument, nullptr, kMaxHeight},
        {"compression", required_argument, nullptr, kCompression},
        {"help", no_argument, nullptr, 'h'},             {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0}};
    batch::Options options;
    std::optional<std::string> format;
    bool atlasFormatGiven = false, compressionGiven = false;
    opterr = 0;  // the messages below name the program the same way whatever argv[0] is
    for (int c; (c = ::getopt_long(argc, argv, ":hV", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        case 'V':
            std::printf("%s 1.02\n", kProgram);
            return 0;
        case kWidth:
        case kHeight:
            (c == kWidth ? options.autoWidth : options.autoHeight) = lowered(optarg) == "auto";
            if (lowered(optarg) == "auto") break;
            if (!isCount(optarg))
                return badUsage("invalid value '" + printable(optarg) + "' for '--" + (c == kWidth ? "width" : "height") +
                                "': give a whole number of pixels, 1 or more, in digits, or 'auto'");
            (c == kWidth ? options.sheet.cellWidth : options.sheet.cellHeight) = std::atoi(optarg);
            break;
        case kPattern:
            if (*optarg == '\0' || std::string_view(optarg).find('/') != std::string_view::npos)
                return badUsage("invalid value '" + printable(optarg) + "' for '--pattern': give a file name pattern such as "
                                "'*.png', without a folder");
            options.patterns.emplace_back(optarg);
            break;
        case kNoStretch: options.sheet.stretch = false; break;
        case kPot: options.sheet.pot = true; break;
        case kColumns:
        case kMaxWidth:
        case kMaxHeight: {
            const char* name = c == kColumns ? "columns" : c == kMaxWidth ? "max-width" : "max-height";
            if (!isCount(optarg))
                return badUsage("invalid value '" + printable(optarg) + "' for '--" + name + "': give a whole number, 1 or more, in digits");
            (c == kColumns ? options.sheet.columns : c == kMaxWidth ? options.sheet.maxWidth : options.sheet.maxHeight) = std::atoi(optarg);
            break;
        }
        case kJobs:
            if (!isCount(optarg))
                return badUsage("invalid value '" + printable(optarg) + "' for '--jobs': give a whole number of threads, 1 or "
                                "more, in digits");
            options.jobs = std::atoi(optarg);
            break;
        case kDrop: options.sheet.dropToFloor = true; break;
        case kMargin:
        case kSpacing:
        case kExtrude: {
            const char* name = c == kMargin ? "margin" : c == kSpacing ? "spacing" : "extrude";
            const std::optional<int32_t> pixels = gutter(optarg);
            if (!pixels)
                return badUsage("invalid value '" + printable(optarg) + "' for '--" + name + "': give a whole number of pixels, "
                                "0 to " + std::to_string(kMostGutter) + ", in digits");
            (c == kMargin ? options.sheet.margin : c == kSpacing ? options.sheet.spacing : options.sheet.extrude) = *pixels;
            break;
        }
        case kKey:
            if (lowered(optarg) == "corner") {
                options.sheet.key = compose::SheetOptions::Key::Corner;
            } else if (const std::optional<uint32_t> colour = hexColour(optarg)) {
                options.sheet.key = compose::SheetOptions::Key::Colour;
                options.sheet.keyColour = *colour;
            } else {
                return badUsage("invalid value '" + printable(optarg) + "' for '--key': give 'corner' or a colour as RRGGBB, "
                                "such as FF00FF");
            }
            break;
        case kFormat:
            if (lowered(optarg) != "png" && lowered(optarg) != "bmp")
                return badUsage("invalid value '" + printable(optarg) + "' for '--format': give 'png' or 'bmp'");
            format = lowered(optarg);
            break;
        case kOutput:
            if (*optarg == '\0') return badUsage("option '--output' needs a file name ('-' for standard output)");
            options.output = std::string_view(optarg) == "-" ? "-" : absolute(optarg);
            break;
        case kAtlas:
        case kGrid:
            if (*optarg == '\0' || std::string_view(optarg) == "-")
                return badUsage(std::string("option '--") + (c == kAtlas ? "atlas" : "grid") + "' needs a file name: an engine finds the sheet beside it");
            (c == kAtlas ? options.atlas : options.grid) = absolute(optarg);
            break;
        case kCompression:
            if (lowered(optarg) != "fast" && lowered(optarg) != "smallest")
                return badUsage("invalid value '" + printable(optarg) + "' for '--compression': give 'fast' or 'smallest'");
            options.compression = lowered(optarg) == "fast" ? bmp::PngCompression::Fast : bmp::PngCompression::Smallest;
            compressionGiven = true;
            break;
        case kAtlasFormat:
            if (lowered(optarg) != "hash" && lowered(optarg) != "array" && lowered(optarg) != "multiatlas")
                return badUsage("invalid value '" + printable(optarg) + "' for '--atlas-format': give 'hash', 'array' or 'multiatlas'");
            options.atlasFormat = lowered(optarg) == "array"        ? batch::Options::AtlasFormat::Array
                                  : lowered(optarg) == "multiatlas" ? batch::Options::AtlasFormat::MultiAtlas
                                                                    : batch::Options::AtlasFormat::Hash;
            atlasFormatGiven = true;
            break;
        case kOrder:
            if (lowered(optarg) != "natural" && lowered(optarg) != "list")
                return badUsage("invalid value '" + printable(optarg) + "' for '--order': give 'natural' or 'list'");
            options.sheet.naturalOrder = lowered(optarg) == "natural";
            break;
        case ':': return badUsage("option '" + printable(argv[optind - 1]) + "' requires a value");
        default: {
            // As typed: a long option's name (and whether it was given a value it takes none of),
            // or the short option letter.
            const std::string given = argv[optind - 1];
            if (given.rfind("--", 0) == 0) {
                const std::string name = given.substr(0, given.find('='));
                for (const option* o = kOptions; o->name; ++o)
                    if (o->has_arg == no_argument && name == std::string("--") + o->name && name != given)
                        return badUsage("option '" + name + "' doesn't allow an argument");
                return badUsage("unrecognized option '" + printable(name) + "'");
            }
            const bool letter = optopt > 0x20 && optopt < 0x7F;
            return badUsage("unrecognized option '" + (letter ? std::string("-") + static_cast<char>(optopt) : printable(given)) + "'");
        }
        }
    }
    if (optind == argc) return badUsage("missing FOLDER");
    if (optind + 1 < argc) return badUsage("more than one FOLDER given: '" + printable(argv[optind + 1]) + "'");
    if (*argv[optind] == '\0') return badUsage("FOLDER is empty; give a folder's name ('.' for the current folder)");
    if ((options.atlas || options.grid) && options.output == "-")
        return badUsage(std::string(options.atlas ? "--atlas" : "--grid") +
                        " needs the sheet in a file (--output=FILE or FOLDER/Combined.bmp), not '-': an engine finds the image "
                        "by its name");
    if (options.atlas && options.grid)
        return badUsage("give --atlas or --grid, not both: the frame list holds the grid too");
    if (atlasFormatGiven && !options.atlas) return badUsage("--atlas-format needs --atlas");
    if (options.output == "-" && ::isatty(STDOUT_FILENO))
        return badUsage("standard output is a terminal; a bitmap is not written there (redirect it, or give "
                        "--output=FILE)");
    // The format: as --format names it, else by the output's extension; the two must agree.
    const std::optional<std::string> extension =
        options.output && options.output->size() > 4 ? std::optional(lowered(options.output->substr(options.output->size() - 4))) : std::nullopt;
    const bool pngName = extension == ".png", bmpName = extension == ".bmp";
    if ((format == "bmp" && pngName) || (format == "png" && bmpName))
        return badUsage("--format=" + *format + " does not match the name '" + printable(*options.output) + "'");
    // A name of a picture format the tool does not write would hold bytes of another.
    if (options.output && !pngName && !bmpName) {
        const std::string name = lowered(options.output->substr(options.output->rfind('/') + 1));
        const size_t dot = name.rfind('.');
        static const char* const kOtherFormats[] = {"jpg", "jpeg", "jpe", "jfif", "gif", "webp", "avif", "heic", "heif", "jxl",
                                                    "tif", "tiff", "tga", "dds", "ktx", "ktx2", "ico", "cur", "qoi", "exr",
                                                    "hdr", "psd", "pcx", "ppm", "pgm", "pbm", "pnm", "svg", "xpm", "apng", "basis"};
        for (const char* other : kOtherFormats)
            if (dot != std::string::npos && name.substr(dot + 1) == other)
                return badUsage("--output names a ." + std::string(other) + " file, '" + printable(*options.output) +
                                "'; the sheet is written as PNG (.png) or BMP (.bmp)");
    }
    options.sheet.png = format ? *format == "png" : pngName;
    if (compressionGiven && !options.sheet.png) return badUsage("--compression is for PNG sheets; a bitmap is not compressed");
    if (const std::string noRoom = compose::noRoomForACell(options.sheet); !noRoom.empty() && !options.autoWidth) return badUsage(noRoom);
    options.folder = absolute(argv[optind]);
    options.progress = ::isatty(STDERR_FILENO);
    return batch::run(options);
}
