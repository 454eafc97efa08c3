#include "support/Pictures.h"

#include "toolkit/Errors.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Screen.h"

#include <png.h>

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

Sheet readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Sheet sheet;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return sheet;
    sheet.alpha = image.format & PNG_FORMAT_FLAG_ALPHA;
    image.format = PNG_FORMAT_BGRA;  // the words' own byte order
    sheet.width = image.width, sheet.height = image.height;
    sheet.argb.resize(size_t(sheet.width * sheet.height));
    if (!png_image_finish_read(&image, nullptr, sheet.argb.data(), 0, nullptr)) sheet = {};
    return sheet;
}

Sheet readBmp(const std::string& path) {
    const tk::Picture picture = tk::LoadPicture(path);
    const bmp::Image& image = picture.image();
    Sheet sheet{image.width, image.height, image.hasAlpha, {}};
    for (int64_t i = 0; i < sheet.width * sheet.height; ++i) sheet.argb.push_back(image.hasAlpha ? image.pixels[i] : image.pixels[i] | 0xFF000000u);
    return sheet;
}
