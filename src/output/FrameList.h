#pragma once
// The frame list game engines read beside a sheet: JSON in the "JSON Hash" layout that sprite
// packers write (frames keyed by name, each with its rectangle on the sheet, and the sheet's
// image and size), which Phaser's atlas loader, PixiJS's spritesheet loader and the importers of
// other engines read.

#include <cstdint>
#include <string>
#include <vector>

namespace output {

struct Frame {
    std::string name;
    int64_t x = 0, y = 0, width = 0, height = 0;  // pixels on the sheet
};

// A picture's frame name: its path relative to folder (both absolute), "/" between folders,
// as the file system spells it. A name that is not UTF-8 cannot be a JSON key faithfully: it is
// refused, naming the file (error 481).
std::string frameName(const std::string& picture, const std::string& folder);

// The frame list, frames in the order given; image is the sheet as the list names it, alpha
// whether it has an alpha channel.
std::string frameListJson(const std::vector<Frame>& frames, int64_t sheetWidth, int64_t sheetHeight, const std::string& image,
                          bool alpha = false);

// target's path (absolute) relative to the folder from (absolute), such as "../c/sheet.bmp".
std::string relativePath(const std::string& target, const std::string& from);

}  // namespace output
