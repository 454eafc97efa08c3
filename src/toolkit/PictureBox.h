#pragma once
// Picture box with a persistent image (AutoRedraw): everything drawn lands in the image, the
// widget shows it, Point reads it back and Image hands it to Save. Coordinates are in the
// box's scale unit: twips (ScaleMode 1) or pixels (ScaleMode 3).
//
// Drawing decisions: pictures are drawn opaque (alpha is not blended) and scaled by nearest
// neighbour, so colours stay exact; Line with flags 38 fills the box between its corners.
// Changing the box's size leaves an image of the new size in the background colour. The image's
// pixels are 0x??RRGGBB: their top byte is not used.

#include "bitmap/BmpImage.h"
#include "toolkit/Controls.h"
#include "toolkit/Picture.h"

#include <optional>

namespace tk {

class PictureBox : public Control {
public:
    PictureBox(QString name, int tabIndex) : Control(std::move(name), tabIndex) {}

    // The largest image a picture box holds: 1 Gi pixels (4 GiB).
    static constexpr uint64_t kImageBudget = uint64_t{1} << 30;
    // A single frame is this many logical pixels wide on each side, as the window draws it.
    static constexpr int kFrameLogicalPixels = 2;

    void setWidth(float v) override;
    void setHeight(float v) override;
    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    int ScaleMode() const { return m_scaleMode; }
    void setScaleMode(int mode);
    bool AutoRedraw = false;
    uint32_t BackColor = 0;  // 0x00BBGGRR

    // Size in pixels of the drawing area a box of the given outer size (twips) has.
    int64_t innerPixelsX(float widthTwips) const;
    int64_t innerPixelsY(float heightTwips) const;
    // Throws, before anything changes, when a box of that size could not hold its image.
    void checkImageSize(float widthTwips, float heightTwips) const;
    // The same for an image of width x height pixels.
    static void checkImagePixels(int64_t width, int64_t height);
    // The inner area the box shows on screen, twips: its whole outer size without a frame; inside
    // a frame, the whole device pixels the window shows there at the screen's present scale (at a
    // fractional scale the first and last may fall half outside: one fewer counts).
    float ScaleWidth() const;
    float ScaleHeight() const;

    void PaintPicture(const Picture& picture, float x1, float y1, std::optional<float> width1 = {},
                      std::optional<float> height1 = {}, std::optional<float> x2 = {}, std::optional<float> y2 = {},
                      std::optional<float> width2 = {}, std::optional<float> height2 = {},
                      std::optional<int32_t> opcode = {});
    uint32_t Point(float x, float y);  // 0x00BBGGRR, or 0xFFFFFFFF (-1) outside the image
    void Line(int flags, float x1, float y1, float x2, float y2, uint32_t colour);
    Picture Image();
    void Cls();  // clears the image to the background colour

    // The persistent image (made on first use after a size change).
    const bmp::Image& persistentImage();
    // Bytes the persistent image holds now (0 before it is first made).
    uint64_t imageBytes() const { return m_stale ? 0 : uint64_t{4} * static_cast<uint32_t>(m_image->width) * static_cast<uint32_t>(m_image->height); }
    // The persistent image to paint on in pixels; imagePainted() then tells the widget.
    bmp::Image& paintableImage();
    void imagePainted();

private:
    double toPixelsX(float v) const;
    double toPixelsY(float v) const;
    bmp::Image& image();

    int m_borderStyle = 1;
    int m_scaleMode = 1;
    std::shared_ptr<bmp::Image> m_image = std::make_shared<bmp::Image>();
    bool m_stale = true;  // the image does not have the box's size yet
};

}  // namespace tk
