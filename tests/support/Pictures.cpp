#include "support/Pictures.h"

#include "toolkit/Errors.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Screen.h"

#include <algorithm>

ReadOutcome readOutcome(const std::function<tk::Picture()>& read) {
    ReadOutcome outcome;
    try {
        const tk::Picture picture = read();
        const int width = picture.widthPixels(), height = picture.heightPixels();
        // Sampled cells first: once a picture read as painted has been decoded whole, it keeps that.
        for (const auto& [w, h] : {std::pair{7, 5}, {std::max(1, width / 5), std::max(1, height / 3)}, {width, std::max(1, height / 3)}}) {
            tk::PictureBox box(QStringLiteral("cell"), 0);
            box.setBorderStyle(0);
            box.setScaleMode(3);
            box.setWidth(static_cast<float>(w) * tk::Screen::TwipsPerPixelX());
            box.setHeight(static_cast<float>(h) * tk::Screen::TwipsPerPixelY());
            box.PaintPicture(picture, 0, 0, static_cast<float>(w), static_cast<float>(h));
            const bmp::Image& painted = box.persistentImage();
            outcome.pixels.insert(outcome.pixels.end(), painted.pixels.get(), painted.pixels.get() + size_t(w) * h);
        }
        const bmp::Image& whole = picture.image();
        outcome.pixels.insert(outcome.pixels.end(), {static_cast<uint32_t>(width), static_cast<uint32_t>(height)});
        outcome.pixels.insert(outcome.pixels.end(), whole.pixels.get(), whole.pixels.get() + size_t(width) * height);
    } catch (const tk::Error& e) {
        outcome.error = e.number();
    }
    return outcome;
}
