#pragma once
// The batch tool's run: the folder's pictures listed as the window lists them, the sheet built
// from the options and painted, and its files written.

#include "bitmap/PngWriter.h"
#include "compose/Sheet.h"

#include <optional>
#include <string>
#include <vector>

namespace batch {

struct Options {
    compose::SheetOptions sheet;        // cell, gutters, key, Drop to floor, order, PNG
    bool autoWidth = false, autoHeight = false;  // the cell as wide or tall as the largest picture
    std::vector<std::string> patterns;  // the pictures' names, in any letter case; *.bmp unless given
    std::optional<std::string> output;  // instead of FOLDER/Combined.bmp; "-" for standard output
    std::optional<std::string> atlas;   // the frame list, written beside the sheet
    std::optional<std::string> grid;    // or the grid's numbers alone
    // The frame list's layout: "JSON Hash", "JSON Array", or one list of every page (Phaser's multiatlas).
    enum class AtlasFormat { Hash, Array, MultiAtlas } atlasFormat = AtlasFormat::Hash;
    std::string folder;
    bool progress = false;  // report progress on stderr
    int jobs = 0;           // threads to paint on; 0 for every core
    bmp::PngCompression compression = bmp::PngCompression::Fast;
};

// Exit status: 0 done, 1 an error (its message written to stderr), or a folder that could not be
// read (named on stderr; the sheet of the rest is written all the same).
int run(const Options& options);

}  // namespace batch
