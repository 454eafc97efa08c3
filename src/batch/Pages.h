#pragma once
// A sheet of several pages (--max-height): each page painted in turn and written beside its
// target, its frame list or grid beside it, and every file swapped in together at the end.

#include "batch/BatchRun.h"
#include "compose/Sheet.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace batch {

// A use of the options that cannot work with these pictures: bad usage, nothing written.
struct BadUsage {
    std::string what;
};

// name with every {n} written as the page's number, from 0.
std::string pageName(const std::string& name, size_t page);

// A cleared canvas of the grid's size; the out-of-memory error where there is no room for it.
bmp::Image newCanvas(const compose::Grid& grid);

// Paints pictures on pages (each name its frame's; empty without a frame list) and writes them,
// with their lists or grid, at the names the options give, {n} the page; report says progress.
void writePages(const Options& options, const compose::SheetOptions& sheet, const std::vector<compose::Page>& pages,
                const std::vector<std::string>& pictures, const std::vector<std::string>& names, const std::string& output,
                int threads, const std::function<void(const QString& text, bool last)>& report);

}  // namespace batch
