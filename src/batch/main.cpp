// quiltwright-batch: the window's Get Contents, Combine and Save, without the window.

#include "batch/BatchRun.h"

#include <QFile>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: quiltwright-batch [--width PX] [--height PX] [--drop-to-floor] [--output FILE] FOLDER\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    batch::Options options;
    bool haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(arg, "--help")) {
            std::fputs(kUsage, stdout);
            std::fputs("Combines every .bmp file below FOLDER into one bitmap, as the Kestrune Quiltwright window does:\n"
                       "cells of PX pixels (64 x 64 unless told), at most 640 pixels to a row, written to\n"
                       "FOLDER/Combined.bmp or to FILE.\n",
                       stdout);
            return 0;
        } else if (!std::strcmp(arg, "--version")) {
            std::puts("1.02");
            return 0;
        } else if (!std::strcmp(arg, "--width") && hasValue) {
            options.width = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(arg, "--height") && hasValue) {
            options.height = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(arg, "--drop-to-floor")) {
            options.dropToFloor = true;
        } else if (!std::strcmp(arg, "--output") && hasValue) {
            options.output = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return usage();
        } else if (!haveFolder) {
            options.folder = arg;
            haveFolder = true;
        } else {
            return usage();
        }
    }
    if (!haveFolder) return usage();
    if (options.folder.front() != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here)) options.folder = std::string(here) + "/" + options.folder;
    }
    options.progress = ::isatty(STDERR_FILENO);
    return batch::run(options);
}
