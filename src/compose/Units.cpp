#include "compose/Units.h"

#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <cmath>

namespace compose {
namespace {

float toTwips(int32_t pixels, float factor) {
    const double product = static_cast<double>(pixels) * static_cast<double>(factor);
    const auto twips = static_cast<float>(product);
    if (!std::isfinite(twips)) throw tk::floatingPointError();
    return twips;
}

int32_t toPixels(float twips, float factor) {
    if (factor == 0) throw tk::Error(tk::kDivisionByZero, QStringLiteral("Division by zero"));
    const double quotient = std::floor(tk::pixelsIn(twips, factor));
    if (std::isnan(quotient)) throw tk::floatingPointError();
    if (quotient < -2147483648.0 || quotient > 2147483647.0) throw tk::overflowError();
    return static_cast<int32_t>(quotient);
}

}  // namespace

float PixelsToTwipsX(int32_t pixels) { return toTwips(pixels, tk::Screen::TwipsPerPixelX()); }
float PixelsToTwipsY(int32_t pixels) { return toTwips(pixels, tk::Screen::TwipsPerPixelY()); }
int32_t TwipsToPixelsX(float twips) { return toPixels(twips, tk::Screen::TwipsPerPixelX()); }
int32_t TwipsToPixelsY(float twips) { return toPixels(twips, tk::Screen::TwipsPerPixelY()); }

}  // namespace compose
