#pragma once
// Turns a six-face cube image into a longitude-latitude backdrop.
#include <vector>

// File the converted backdrop is also saved to, in the working directory.
inline constexpr const char* kSphericalBackdropFile = "viewerSphericalBackDrop.bmp";

// cube: RGBA, bottom row first, height 6 * width (the layout readImage gives a
// cube bundle: first face on top).  The result is 4c x 2c RGBA pixels with c
// the largest power of two not above the width, and is also written to
// kSphericalBackdropFile as a 24-bit BMP.  False only for an unusable input;
// a file that cannot be written does not make the conversion fail.
bool cubeToSphere(int width, int height, const unsigned char* cube, int& outWidth, int& outHeight,
                  std::vector<unsigned char>& out);
