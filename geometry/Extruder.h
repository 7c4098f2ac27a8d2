#pragma once
// Sweeps a 2D profile along paths (the EXTRUDE item) into a plain mesh.
#include <cstdint>
#include <vector>

#include "scene/GraphicData.h"

class Extruder {
public:
    // Largest mesh a sweep may produce (vertices); a bigger request fails
    // instead of allocating whatever a small item multiplies up to.
    static constexpr int64_t kMaxVertices = int64_t(1) << 24;

    struct Input {
        std::vector<float> profile;   // 2 per profile point
        std::vector<int> pathCounts;  // points per path
        std::vector<float> colours;   // per path point
        std::vector<float> scales;    // per path point
        std::vector<float> ups;       // 3 per path point
        std::vector<float> points;    // 3 per path point
    };

    // Replaces the plain mesh of data (vertices, colours, lines, faces).
    // False (data untouched) when the input is inconsistent or too large.
    static bool Sweep(const Input& in, GraphicData& data);
};
