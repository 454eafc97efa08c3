#pragma once
// The frame data game engines read beside a sheet, as JSON that Qt's JSON writer makes: the frame
// list in the "JSON Hash" or "JSON Array" layout sprite packers write (each frame's rectangle on
// the sheet, with Drop to floor its anchor; the folders' animations; the sheet's image, size and
// grid), which Phaser's atlas loader and PixiJS's spritesheet loader read; or the grid alone, for
// engines that slice the sheet by numbers.

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace output {

struct Frame {
    std::string name;
    int64_t x = 0, y = 0, width = 0, height = 0;  // pixels on the sheet
    std::optional<std::pair<double, double>> anchor;  // where the sprite stands, 0 to 1 of the frame
};

// The grid's numbers as Phaser's load.spritesheet, Unity's grid slicing and Godot's frames take
// them: cells of frameWidth x frameHeight, margin around them, spacing between, columns to a row.
struct GridNumbers {
    int64_t frameWidth = 0, frameHeight = 0, margin = 0, spacing = 0, columns = 0, rows = 0, frameCount = 0;
};

struct FrameListStyle {
    bool array = false;  // "JSON Array" (frames a list, each with its filename) instead of "JSON Hash"
};

// A picture's frame name: its path relative to folder (both absolute), "/" between folders,
// as the file system spells it. A name that is not UTF-8 cannot be a JSON key faithfully: it is
// refused, naming the file (error 481).
std::string frameName(const std::string& picture, const std::string& folder);

// The frame list, frames in the sheet's order; image is the sheet as the list names it, alpha
// whether it has an alpha channel. Animations: one for each folder that holds frames, keyed by
// its path ("." for the top folder), its frames in the sheet's order.
// related: the lists of the sheet's other pages, as this one names them (meta.related_multi_packs,
// from which PixiJS loads every page).
QByteArray frameListJson(const std::vector<Frame>& frames, int64_t sheetWidth, int64_t sheetHeight, const std::string& image,
                         bool alpha, const GridNumbers& grid, FrameListStyle style, const std::vector<std::string>& related = {});

// One page of a sheet of several, for Phaser's multiatlas layout: one list of every page
// ("textures", each with its image, size and frames in the "JSON Array" layout).
struct TexturePage {
    std::string image;
    int64_t width = 0, height = 0;
    bool alpha = false;
    std::vector<Frame> frames;
};
QByteArray multiAtlasJson(const std::vector<TexturePage>& pages, const GridNumbers& grid);

// The grid alone.
// With more than one page, "pages" holds each page's count of frames.
QByteArray gridJson(const GridNumbers& grid, const std::vector<int64_t>& pageCounts = {});

// target's path (absolute) relative to the folder from (absolute), such as "../c/sheet.bmp".
std::string relativePath(const std::string& target, const std::string& from);

}  // namespace output
