#pragma once
// The batch companion: the window's own commands, in order, on a window that is never shown.

#include "form/Form.h"

#include <QString>

#include <optional>
#include <string>

namespace batch {

struct Options {
    QString width = QStringLiteral("64");
    QString height = QStringLiteral("64");
    bool dropToFloor = false;
    std::optional<std::string> output;  // instead of FOLDER/Combined.bmp; "-" for standard output
    std::optional<std::string> atlas;   // the frame list, written beside the sheet
    std::optional<std::string> grid;    // or the grid's numbers alone
    bool atlasArray = false;            // the frame list in the "JSON Array" layout
    bool naturalOrder = false;          // pictures in natural order
    std::string folder;
    bool progress = false;  // report progress on stderr
    int jobs = 0;           // threads to paint on; 0 for every core
    frmQuiltwright::SheetStyle sheet;  // gutters, transparency, PNG
};

// Exit status: 0 done, 1 an error (its message written to stderr), or a folder that could not be
// read (named on stderr; the sheet of the rest is written all the same).
int run(const Options& options);

}  // namespace batch
