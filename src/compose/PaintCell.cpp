// One picture into one cell: stretched to the cell, or with "Drop to floor" lowered so that
// its lowest row of content rests on the cell's bottom edge.

#include "compose/Sheet.h"
#include "compose/Units.h"
#include "form/Form.h"

void frmQuiltwright::PaintCell(const tk::Picture& picture, tk::PictureBox& target, float x, float y, float cellWidth,
                               float cellHeight) {
    // The cell in whole screen pixels: twips stand for exactly the pixels they were made from.
    const compose::Rect cell{compose::TwipsToPixelsX(x), compose::TwipsToPixelsY(y), compose::TwipsToPixelsX(cellWidth),
                             compose::TwipsToPixelsY(cellHeight)};
    bmp::Image scratch;
    compose::paintCell(picture, target.paintableImage(), scratch, cell, chkDropFloor.Value() == 1, false);
    target.imagePainted();
}
