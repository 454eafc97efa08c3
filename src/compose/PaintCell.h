#pragma once
// One picture into one cell, for the form's PaintCell and for the threads that paint a Combine.

#include "toolkit/Picture.h"
#include "toolkit/PictureBox.h"

#include <functional>

namespace compose {

struct CellPlace {
    float x = 0, y = 0, width = 0, height = 0;  // twips
};

// Stretched to the cell; or with dropToFloor analysed at the cell's size in scratch and drawn at
// its own size, lowered so that its lowest row of content rests on the cell's bottom edge. turn,
// when given, is called right before the drawing that may reach into the next cell. With
// dropToFloor returns the background it fills (0xRRGGBB: the picture's top-left colour at the
// cell's size); else 0.
uint32_t paintCell(const tk::Picture& picture, tk::PictureBox& target, tk::PictureBox& scratch, const CellPlace& cell,
               bool dropToFloor, const std::function<void()>& turn = {});

}  // namespace compose
