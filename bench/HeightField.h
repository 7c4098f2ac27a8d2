#pragma once
// The scene of the PostScript benchmark, shared by our side and the peer
// program: a lit, smoothly coloured height field of about 100k triangles,
// seen obliquely so that its hills hide parts of the valleys behind them.
#include <cmath>
#include <vector>

namespace heightfield {

constexpr int kCells = 224;          // per side: 2 * 224 * 224 = 100352 triangles
constexpr int kWindow = 800;         // the on-screen view is 800 x 800 pixels
constexpr float kBackground[3] = {0.92f, 0.93f, 0.96f};
constexpr float kLight[4] = {0.3f, 0.5f, 1.0f, 0.0f};  // directional, eye space
constexpr float kAmbient[4] = {0.3f, 0.3f, 0.3f, 1.0f};

// The view: projection frustum and the camera's modelview steps.
constexpr double kFrustum[6] = {-0.5, 0.5, -0.5, 0.5, 1.0, 10.0};
constexpr double kDistance = 3.0;
constexpr double kTilt = -62.0;  // degrees about x
constexpr double kTurn = 28.0;   // degrees about z

struct Mesh {
    std::vector<float> position;  // x y z per vertex
    std::vector<float> normal;
    std::vector<float> colour;    // r g b per vertex
    std::vector<int> triangles;   // three vertex indices each, counter-clockwise from above
};

inline float height(float x, float y) {
    return 0.22f * std::sin(3.1f * x) * std::cos(2.3f * y) +
           0.35f * std::exp(-8.0f * ((x - 0.25f) * (x - 0.25f) + (y + 0.15f) * (y + 0.15f))) +
           0.05f * std::sin(11.0f * x + 7.0f * y);
}

inline Mesh make() {
    Mesh m;
    const int n = kCells + 1;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x = -1.0f + 2.0f * i / kCells, y = -1.0f + 2.0f * j / kCells, z = height(x, y);
            const float e = 1e-3f;
            const float dx = (height(x + e, y) - height(x - e, y)) / (2 * e);
            const float dy = (height(x, y + e) - height(x, y - e)) / (2 * e);
            const float len = std::sqrt(dx * dx + dy * dy + 1);
            m.position.insert(m.position.end(), {x, y, z});
            m.normal.insert(m.normal.end(), {-dx / len, -dy / len, 1 / len});
            // Height through a blue - green - red map.
            const float t = std::fmin(1.0f, std::fmax(0.0f, (z + 0.3f) / 0.9f));
            m.colour.insert(m.colour.end(), {t, 1.0f - std::fabs(2 * t - 1), 1.0f - t});
        }
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const int a = j * n + i, b = a + 1, c = a + n, d = c + 1;
            m.triangles.insert(m.triangles.end(), {a, b, d, a, d, c});
        }
    return m;
}

}  // namespace heightfield
