#include "geometry/Extruder.h"

#include <algorithm>
#include <cmath>

namespace {

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Add(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
V3 Unit(V3 a) {
    const double l = Length(a);
    return l > 0 ? V3{a.x / l, a.y / l, a.z / l} : V3{};
}
bool Same(V3 a, V3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace

bool Extruder::Sweep(const Input& in, GraphicData& data) {
    int n = int(in.profile.size() / 2);
    if (n < 1 || in.pathCounts.empty()) return false;
    int64_t total = 0;
    for (int c : in.pathCounts) {
        if (c < 1) return false;
        total += c;
    }
    const size_t p = size_t(total);
    if (in.colours.size() != p || in.scales.size() != p || in.ups.size() != 3 * p || in.points.size() != 3 * p)
        return false;

    // Closed profile: first and last point coincide (within 1e-6 of its extent).
    bool closed = false;
    if (n > 2) {
        float lo[2] = {in.profile[0], in.profile[1]}, hi[2] = {lo[0], lo[1]};
        for (int i = 0; i < n; ++i)
            for (int a = 0; a < 2; ++a) {
                lo[a] = std::min(lo[a], in.profile[size_t(2 * i + a)]);
                hi[a] = std::max(hi[a], in.profile[size_t(2 * i + a)]);
            }
        const double tol = 1e-6 * std::max(hi[0] - lo[0], hi[1] - lo[1]);
        closed = true;
        for (int a = 0; a < 2; ++a) {
            const double d = std::fabs(double(in.profile[size_t(a)]) - in.profile[size_t(2 * (n - 1) + a)]);
            if (!(d == 0 || d <= tol)) closed = false;
        }
        if (closed) --n;
    }
    const int64_t vertexCount = total * n;
    if (vertexCount > kMaxVertices) return false;

    std::vector<float> coords;
    std::vector<float> colours;
    std::vector<int> segs;
    std::vector<int> entries;
    coords.reserve(size_t(vertexCount) * 3);
    colours.reserve(size_t(vertexCount));
    auto point = [&](size_t i) { return V3{in.points[3 * i], in.points[3 * i + 1], in.points[3 * i + 2]}; };

    int faces = 0;
    size_t start = 0;
    for (int count : in.pathCounts) {
        for (int j = 0; j < count; ++j) {
            const size_t i = start + size_t(j);
            const V3 here = point(i);
            V3 t;
            for (int e = j - 1; e >= 0; --e)  // nearest earlier distinct point
                if (!Same(point(start + size_t(e)), here)) {
                    t = Add(t, Unit(Sub(here, point(start + size_t(e)))));
                    break;
                }
            for (int l = j + 1; l < count; ++l)  // nearest later distinct point
                if (!Same(point(start + size_t(l)), here)) {
                    t = Add(t, Unit(Sub(point(start + size_t(l)), here)));
                    break;
                }
            V3 up{in.ups[3 * i], in.ups[3 * i + 1], in.ups[3 * i + 2]};
            V3 e1 = Unit(Cross(t, up));
            if (Length(e1) == 0) {
                // Tilt the up vector towards the axis most perpendicular to t.
                const V3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
                int best = 0;
                double bestLen = -1;
                for (int a = 0; a < 3; ++a) {
                    const double l = Length(Cross(t, axes[a]));
                    if (l > bestLen) {
                        bestLen = l;
                        best = a;
                    }
                }
                up = Add(up, axes[best]);
                e1 = Unit(Cross(t, up));
            }
            const V3 e2 = Unit(Cross(e1, t));
            const double s = in.scales[i];
            for (int k = 0; k < n; ++k) {
                const double px = in.profile[size_t(2 * k)], py = in.profile[size_t(2 * k + 1)];
                coords.push_back(float(here.x + s * (px * e1.x + py * e2.x)));
                coords.push_back(float(here.y + s * (px * e1.y + py * e2.y)));
                coords.push_back(float(here.z + s * (px * e1.z + py * e2.z)));
                colours.push_back(in.colours[i]);
            }
            const int ring = int(i) * n;
            const int ringEdges = closed ? n : n - 1;
            for (int k = 0; k < ringEdges; ++k) {
                segs.push_back(ring + k);
                segs.push_back(ring + (k + 1) % n);
            }
            if (j > 0) {
                const int prev = ring - n;
                for (int k = 0; k < n; ++k) {
                    segs.push_back(prev + k);
                    segs.push_back(ring + k);
                }
                for (int k = 0; k < ringEdges; ++k) {
                    const int kn = (k + 1) % n;
                    // counter-clockwise profiles give outward faces
                    entries.insert(entries.end(), {3, prev + k, ring + kn, prev + kn});
                    entries.insert(entries.end(), {3, prev + k, ring + k, ring + kn});
                    faces += 2;
                }
            }
        }
        start += size_t(count);
    }

    data.numVertices = int(vertexCount);
    data.vertexCoords = std::move(coords);
    data.vertexColours = std::move(colours);
    data.vertexColour = -1.0f;
    data.numLineSegs = int(segs.size() / 2);
    data.lineSegs = std::move(segs);
    data.lineColours.clear();
    data.numFaces = faces;
    data.numFaceEntries = int(entries.size());
    data.faceEntries = std::move(entries);
    data.faceColours.clear();
    data.faceNormals.clear();
    data.vertexFaceStart.clear();
    data.vertexFaces.clear();
    return true;
}
