#pragma once
// The eight letters of the axis triads (A, M, R, S, T, X, Y, Z) as bitmaps,
// shared by the OpenGL renderer (glBitmap lists) and the software renderer.
#include <vector>

namespace AxisLetters {

// Letter order of the bitmaps.
enum Letter { A = 0, M, R, S, T, X, Y, Z, Count };

// Letters of the x, y and z axes for axis types 0 "XYZ", 1 "ATR", 2 "MTS".
extern const int kAxisLetters[3][3];

// Size of the large (0) and small (1) letters; both are placed with their
// origin at (-2, -2) and advance by `advance` pixels.
struct Size {
    int width, height, thickness, advance;
};
inline constexpr Size kSizes[2] = {{10, 16, 2, 10}, {7, 8, 1, 8}};

// Bitmap rows bottom-up, ceil(width / 8) bytes a row, most significant bit
// first (glBitmap's unpacking with alignment 1).
std::vector<unsigned char> Bitmap(int letter, int size);

}  // namespace AxisLetters
