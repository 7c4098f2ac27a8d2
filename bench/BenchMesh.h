#pragma once
// The mesh of the renderer benchmarks: a lit, smooth-shaded sphere of about
// one million triangles with per-vertex colour values, normals and
// adjacency as the loader makes them, and the pieces the bare baselines
// share with the renderers.
#include <cmath>
#include <vector>

#include "render/Graphics.h"
#include "scene/GraphicData.h"

namespace benchmesh {

// A sphere of (n x 2n) quads split into triangles, with per-vertex colour
// values, normals and adjacency as the loader makes them.
struct Mesh {
    int numVertices = 0, numFaces = 0;
    std::vector<float> vertices, faceNormals, colours;
    std::vector<int> entries, vfStart, vfList;
    std::vector<float> colourMap = {0, 0, 0, 1, 0.5f, 0, 1, 0, 1, 1, 0, 0};
};

inline Mesh& SharedMesh() {
    static Mesh m = [] {
        Mesh m;
        const int nv = 500, nu = 1000;  // 2 * 500 * 1000 = 1M triangles
        for (int j = 0; j <= nv; ++j)
            for (int i = 0; i < nu; ++i) {
                double th = M_PI * j / nv, ph = 2 * M_PI * i / nu;
                m.vertices.push_back(float(std::sin(th) * std::cos(ph)));
                m.vertices.push_back(float(std::sin(th) * std::sin(ph)));
                m.vertices.push_back(float(std::cos(th)));
                m.colours.push_back(float(j) / nv);
            }
        m.numVertices = int(m.vertices.size() / 3);
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                int a = j * nu + i, b = j * nu + (i + 1) % nu, c = (j + 1) * nu + (i + 1) % nu, d = (j + 1) * nu + i;
                m.entries.insert(m.entries.end(), {3, a, d, c, 3, a, c, b});
                m.numFaces += 2;
            }
        // Face normals (Newell) and vertex-face adjacency.
        m.faceNormals.resize(size_t(3 * m.numFaces));
        std::vector<std::vector<int>> byVertex(size_t(m.numVertices));
        for (int f = 0, at = 0; f < m.numFaces; ++f, at += 4) {
            const int* v = &m.entries[size_t(at + 1)];
            double n[3] = {0, 0, 0};
            for (int k = 0; k < 3; ++k) {
                const float* p = &m.vertices[size_t(3 * v[k])];
                const float* q = &m.vertices[size_t(3 * v[(k + 1) % 3])];
                n[0] += (p[1] - q[1]) * (p[2] + q[2]);
                n[1] += (p[2] - q[2]) * (p[0] + q[0]);
                n[2] += (p[0] - q[0]) * (p[1] + q[1]);
                byVertex[size_t(v[k])].push_back(f);
            }
            double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (l == 0) l = 1;
            for (int k = 0; k < 3; ++k) m.faceNormals[size_t(3 * f + k)] = float(n[k] / l);
        }
        for (int v = 0; v < m.numVertices; ++v) {
            m.vfStart.push_back(int(m.vfList.size()));
            m.vfList.push_back(int(byVertex[size_t(v)].size()));
            m.vfList.insert(m.vfList.end(), byVertex[size_t(v)].begin(), byVertex[size_t(v)].end());
        }
        return m;
    }();
    return m;
}

inline FaceSet MakeFaceSet(const Mesh& m) {
    FaceSet f;
    f.numVertices = m.numVertices;
    f.vertices = m.vertices.data();
    f.vertexColours = m.colours.data();
    f.vertexFaceStart = m.vfStart.data();
    f.vertexFaces = m.vfList.data();
    f.numFaces = m.numFaces;
    f.numFaceEntries = int(m.entries.size());
    f.faceEntries = m.entries.data();
    f.faceNormals = m.faceNormals.data();
    f.smooth = true;
    return f;
}

// Colour-map lookup as the renderer does it (same cost class).
inline void MapColour(const std::vector<float>& map, float v, float rgb[3]) {
    const int n = int(map.size() / 4);
    if (v <= map[0]) { rgb[0] = map[1], rgb[1] = map[2], rgb[2] = map[3]; return; }
    for (int i = 1; i < n; ++i)
        if (v <= map[size_t(4 * i)]) {
            float t = (v - map[size_t(4 * (i - 1))]) / (map[size_t(4 * i)] - map[size_t(4 * (i - 1))]);
            for (int c = 0; c < 3; ++c)
                rgb[c] = map[size_t(4 * (i - 1) + 1 + c)] + t * (map[size_t(4 * i + 1 + c)] - map[size_t(4 * (i - 1) + 1 + c)]);
            return;
        }
    rgb[0] = map[size_t(4 * n - 3)], rgb[1] = map[size_t(4 * n - 2)], rgb[2] = map[size_t(4 * n - 1)];
}

}  // namespace benchmesh
