// quiltwright-batch: the window's Get Contents, Combine and Save, without the window.

#include "batch/BatchRun.h"

#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kProgram = "quiltwright-batch";
constexpr const char* kUsage = "Usage: quiltwright-batch [OPTION]... FOLDER\n";
constexpr const char* kHelp =
    "Combines every .bmp file in FOLDER and below it into one bitmap, as the Kestrune Quiltwright\n"
    "window does: cells of PX pixels, at most 640 pixels to a row, in path order, written to\n"
    "FOLDER/Combined.bmp. A file named Combined.bmp is left out of the sheet.\n"
    "\n"
    "  --width=PX         cell width in pixels (64)\n"
    "  --height=PX        cell height in pixels (64)\n"
    "  --drop-to-floor    lower each picture onto its cell's bottom edge\n"
    "  --output=FILE      write FILE instead of FOLDER/Combined.bmp\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status: 0 written, 1 an error (reported on standard error), 2 bad usage.\n";

int badUsage(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%sTry '%s --help' for more information.\n", kProgram, problem.c_str(), kUsage, kProgram);
    return 2;
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    std::string here(4096, '\0');
    if (!::getcwd(here.data(), here.size())) return path;
    here.resize(std::char_traits<char>::length(here.c_str()));
    return here + "/" + path;
}

}  // namespace

int main(int argc, char* argv[]) {
    enum { kWidth = 1000, kHeight, kDrop, kOutput };
    static const option kOptions[] = {
        {"width", required_argument, nullptr, kWidth},   {"height", required_argument, nullptr, kHeight},
        {"drop-to-floor", no_argument, nullptr, kDrop},  {"output", required_argument, nullptr, kOutput},
        {"help", no_argument, nullptr, 'h'},             {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0}};
    batch::Options options;
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
        case kWidth: options.width = QString::fromLocal8Bit(optarg); break;
        case kHeight: options.height = QString::fromLocal8Bit(optarg); break;
        case kDrop: options.dropToFloor = true; break;
        case kOutput: options.output = absolute(optarg); break;
        case ':': return badUsage("option '" + std::string(argv[optind - 1]) + "' requires a value");
        default: {
            const std::string given = optopt ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
            return badUsage("unrecognized option '" + given.substr(0, given.find('=')) + "'");
        }
        }
    }
    if (optind == argc) return badUsage("missing FOLDER");
    if (optind + 1 < argc) return badUsage("more than one FOLDER given: '" + std::string(argv[optind + 1]) + "'");
    options.folder = absolute(argv[optind]);
    options.progress = ::isatty(STDERR_FILENO);
    return batch::run(options);
}
