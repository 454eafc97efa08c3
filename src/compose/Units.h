#pragma once
// Screen pixels and twips. The screen's factors are read afresh at every call.

#include <cstdint>

namespace compose {

// pixels x TwipsPerPixelX, multiplied in double precision and rounded to single precision.
float PixelsToTwipsX(int32_t pixels);
float PixelsToTwipsY(int32_t pixels);
// twips / TwipsPerPixelX in double precision, rounded down (towards minus infinity); twips that
// PixelsToTwipsX(n) gives are n pixels exactly (tk::pixelsIn), so PixelsToTwips and back gives the
// same pixels at every factor, whole or not. The overflow error outside the 32-bit range, the
// division error for a factor of 0.
int32_t TwipsToPixelsX(float twips);
int32_t TwipsToPixelsY(float twips);

}  // namespace compose
