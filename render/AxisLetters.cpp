#include "render/AxisLetters.h"

#include <cmath>

namespace AxisLetters {

namespace {

// Strokes of each letter in a unit box.
struct LetterStrokes {
    int runs;
    const float* points[3];
    int counts[3];
};
const float kA1[] = {0, 0, 0.5f, 1, 1, 0}, kA2[] = {0.2f, 0.4f, 0.8f, 0.4f};
const float kM1[] = {0, 0, 0, 1, 0.5f, 0.45f, 1, 1, 1, 0};
const float kR1[] = {0, 0, 0, 1, 0.75f, 1, 1, 0.85f, 1, 0.65f, 0.75f, 0.5f, 0, 0.5f}, kR2[] = {0.45f, 0.5f, 1, 0};
const float kS1[] = {1, 0.9f, 0.8f, 1, 0.2f, 1, 0, 0.85f, 0, 0.65f, 0.2f, 0.5f,
                     0.8f, 0.5f, 1, 0.35f, 1, 0.15f, 0.8f, 0, 0.2f, 0, 0, 0.1f};
const float kT1[] = {0, 1, 1, 1}, kT2[] = {0.5f, 1, 0.5f, 0};
const float kX1[] = {0, 0, 1, 1}, kX2[] = {0, 1, 1, 0};
const float kY1[] = {0, 1, 0.5f, 0.5f, 1, 1}, kY2[] = {0.5f, 0.5f, 0.5f, 0};
const float kZ1[] = {0, 1, 1, 1, 0, 0, 1, 0};
const LetterStrokes kLetters[Count] = {
    {2, {kA1, kA2, nullptr}, {3, 2, 0}}, {1, {kM1, nullptr, nullptr}, {5, 0, 0}},
    {2, {kR1, kR2, nullptr}, {7, 2, 0}}, {1, {kS1, nullptr, nullptr}, {12, 0, 0}},
    {2, {kT1, kT2, nullptr}, {2, 2, 0}}, {2, {kX1, kX2, nullptr}, {2, 2, 0}},
    {2, {kY1, kY2, nullptr}, {3, 2, 0}}, {1, {kZ1, nullptr, nullptr}, {4, 0, 0}},
};

}  // namespace

const int kAxisLetters[3][3] = {{X, Y, Z}, {A, T, R}, {T, M, S}};

std::vector<unsigned char> Bitmap(int letter, int size) {
    const Size& sz = kSizes[size == 0 ? 0 : 1];
    const int width = sz.width, height = sz.height, thickness = sz.thickness;
    const int rowBytes = (width + 7) / 8;
    std::vector<unsigned char> bits(size_t(rowBytes * height), 0);
    if (letter < 0 || letter >= Count) return bits;
    const LetterStrokes& l = kLetters[letter];
    const int bodyW = width - 1 - thickness, bodyH = height - 1;
    auto set = [&](int x, int y) {
        for (int t = 0; t < thickness; ++t) {
            int xx = x + t;
            if (xx < 0 || xx >= width || y < 0 || y >= height) continue;
            bits[size_t(y * rowBytes + xx / 8)] |= static_cast<unsigned char>(0x80 >> (xx % 8));
        }
    };
    for (int r = 0; r < l.runs; ++r)
        for (int i = 0; i + 1 < l.counts[r]; ++i) {
            const float* a = l.points[r] + 2 * i;
            const float* b = a + 2;
            for (int s = 0; s <= 64; ++s) {
                float t = s / 64.0f;
                float x = a[0] + t * (b[0] - a[0]), y = a[1] + t * (b[1] - a[1]);
                set(int(std::lround(x * bodyW)), int(std::lround(y * bodyH)));
            }
        }
    return bits;
}

}  // namespace AxisLetters
