#pragma once
// The axis triads shared by the OpenGL renderer (lists, glBitmap letters)
// and the software renderer: the eight letters (A, M, R, S, T, X, Y, Z) as
// bitmaps and the three arrows with their colours and letter places.
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

// The x, y and z arrows: colour, where the letter goes, and the turn that
// takes an arrow along +z onto its axis.
struct Arrow {
    float colour[3];
    float letterAt[3];
    float angle, rx, ry, rz;
};
inline constexpr Arrow kArrows[3] = {{{1, 0, 0}, {1.2f, 0, 0}, 90, 0, 1, 0},
                                     {{0, 0.6667f, 0}, {0, 1.2f, 0}, -90, 1, 0, 0},
                                     {{0, 0, 1}, {0, 0, 1.2f}, 0, 0, 0, 1}};

// Bitmap rows bottom-up, ceil(width / 8) bytes a row, most significant bit
// first (glBitmap's unpacking with alignment 1).
std::vector<unsigned char> Bitmap(int letter, int size);

}  // namespace AxisLetters
