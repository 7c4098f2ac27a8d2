#include "tools/enginemesh/EngineMesh.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "link/LinkStream.h"

namespace engine {

bool ColourBy(const std::string& mode, Mesh& mesh) {
    mesh.values.clear();
    mesh.colourMap.clear();
    if (mode == "none") return true;
    const int n = mesh.numVertices();
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int i = 0; i < n; ++i)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], mesh.xyz[3 * i + a]);
            hi[a] = std::max(hi[a], mesh.xyz[3 * i + a]);
        }
    for (int i = 0; i < n; ++i) {
        const float* p = &mesh.xyz[3 * i];
        if (mode == "height") {
            mesh.values.push_back(p[2]);
        } else if (mode == "distance") {
            float d = 0;
            for (int a = 0; a < 3; ++a) d += std::pow(p[a] - 0.5f * (lo[a] + hi[a]), 2.0f);
            mesh.values.push_back(std::sqrt(d));
        } else {
            return false;
        }
    }
    const auto [minIt, maxIt] = std::minmax_element(mesh.values.begin(), mesh.values.end());
    const float low = *minIt, range = *maxIt - *minIt;
    for (float& v : mesh.values) v = range > 0 ? (v - low) / range : 0.0f;
    mesh.colourMap = {0.0f, 0.0f, 0.0f, 1.0f, 0.25f, 0.0f, 1.0f, 1.0f, 0.5f, 0.0f, 1.0f, 0.0f,
                      0.75f, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
    return true;
}

bool WriteGeometry(LinkStream& out, const Mesh& mesh) {
    using Tok = LinkStream::Tok;
    const int n = mesh.numVertices();
    if (!mesh.colourMap.empty()) {
        const int entries = int(mesh.colourMap.size() / 4);
        if (!out.WriteToken(Tok::COLOR_MAP) || !out.WriteIntDataBlock(&entries, 1, 1) ||
            !out.WriteIntDataBlock(mesh.colourMap.data(), 4 * entries, 0))
            return false;
    }
    if (!out.WriteToken(Tok::VERTICES) || !out.WriteIntDataBlock(&n, 1, 1) ||
        !out.WriteIntDataBlock(mesh.xyz.data(), 3 * n, 0))
        return false;
    if (!mesh.values.empty()) {
        if (!out.WriteToken(Tok::VERTEX_COLORS) || !out.WriteIntDataBlock(&n, 1, 1) ||
            !out.WriteIntDataBlock(mesh.values.data(), n, 0))
            return false;
    }
    if (!mesh.lines.empty()) {
        const int m = int(mesh.lines.size() / 2);
        if (!out.WriteToken(Tok::LINES) || !out.WriteIntDataBlock(&m, 1, 1) ||
            !out.WriteIntDataBlock(mesh.lines.data(), 2 * m, 0))
            return false;
    }
    if (mesh.numFaces > 0) {
        const int e = int(mesh.faceEntries.size());
        if (!out.WriteToken(Tok::FACES) || !out.WriteIntDataBlock(&mesh.numFaces, 1, 2) ||
            !out.WriteIntDataBlock(&e, 1, 1) || !out.WriteIntDataBlock(mesh.faceEntries.data(), e, 0))
            return false;
    }
    return true;
}

}  // namespace engine
