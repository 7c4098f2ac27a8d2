#include "geometry/GlyphShapes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;

struct Builder {
    MeshRecord& m;
    explicit Builder(MeshRecord& mesh) : m(mesh) { m.clear(); }
    int vertex(double x, double y, double z) {
        m.vertexCoords.push_back(float(x));
        m.vertexCoords.push_back(float(y));
        m.vertexCoords.push_back(float(z));
        return m.numVertices++;
    }
    void line(int a, int b) {
        m.lineSegs.push_back(a);
        m.lineSegs.push_back(b);
        ++m.numLineSegs;
    }
    void face(std::initializer_list<int> corners) {
        m.faceEntries.push_back(int(corners.size()));
        m.faceEntries.insert(m.faceEntries.end(), corners.begin(), corners.end());
        ++m.numFaces;
        m.numFaceEntries = int(m.faceEntries.size());
    }
    void face(const std::vector<int>& corners) {
        m.faceEntries.push_back(int(corners.size()));
        m.faceEntries.insert(m.faceEntries.end(), corners.begin(), corners.end());
        ++m.numFaces;
        m.numFaceEntries = int(m.faceEntries.size());
    }
};

int Steps(int resolution) { return std::max(std::min(resolution, GlyphShapes::kMaxResolution) / 2, 2); }

// A ring of n points about the z axis at height z, angles 0, -2pi/n, ...
int Ring(Builder& b, int n, double radius, double z) {
    int first = -1;
    for (int j = 0; j < n; ++j) {
        const double phi = -2.0 * kPi * j / n;
        const int v = b.vertex(radius * std::cos(phi), radius * std::sin(phi), z);
        if (j == 0) first = v;
    }
    return first;
}

void RingLines(Builder& b, int first, int n) {
    for (int j = 0; j < n; ++j) b.line(first + j, first + (j + 1) % n);
}

void RingFace(Builder& b, int first, int n) {
    std::vector<int> corners(static_cast<size_t>(n), 0);
    for (int j = 0; j < n; ++j) corners[size_t(j)] = first + j;
    b.face(corners);
}

// Triangles from every ring edge to an apex above the ring.
void Cone(Builder& b, int first, int n, int apex) {
    for (int j = 0; j < n; ++j) {
        b.line(first + j, apex);
        b.face({first + (j + 1) % n, first + j, apex});
    }
}

void Copy(Builder& b, const float (*v)[3], int nv, const int (*l)[2], int nl) {
    for (int i = 0; i < nv; ++i) b.vertex(v[i][0], v[i][1], v[i][2]);
    for (int i = 0; i < nl; ++i) b.line(l[i][0], l[i][1]);
}

void Cube(Builder& b) {
    static const float v[8][3] = {{-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f},
                                  {0.5f, -0.5f, -0.5f},  {-0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, 0.5f},
                                  {0.5f, 0.5f, 0.5f},    {0.5f, 0.5f, -0.5f}};
    static const int l[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                 {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    Copy(b, v, 8, l, 12);
    b.face({0, 3, 2, 1});
    b.face({7, 4, 5, 6});
    b.face({3, 7, 6, 2});
    b.face({2, 6, 5, 1});
    b.face({1, 5, 4, 0});
    b.face({0, 4, 7, 3});
}

// A face turned so that its normal points away from `from`.
void FaceAwayFrom(Builder& b, std::vector<int> corners, const double from[3]) {
    const std::vector<float>& v = b.m.vertexCoords;
    double n[3] = {0, 0, 0}, c[3] = {0, 0, 0};
    const size_t count = corners.size();
    for (size_t k = 0; k < count; ++k) {
        const float* p = &v[3 * size_t(corners[k])];
        const float* q = &v[3 * size_t(corners[(k + 1) % count])];
        n[0] += (double(p[1]) - q[1]) * (double(p[2]) + q[2]);
        n[1] += (double(p[2]) - q[2]) * (double(p[0]) + q[0]);
        n[2] += (double(p[0]) - q[0]) * (double(p[1]) + q[1]);
        for (int a = 0; a < 3; ++a) c[a] += p[a] / double(count);
    }
    if (n[0] * (c[0] - from[0]) + n[1] * (c[1] - from[1]) + n[2] * (c[2] - from[2]) < 0)
        std::reverse(corners.begin(), corners.end());
    b.face(corners);
}

// A small craft along +z (30 vertices, 63 lines, 42 triangles and 2
// quads): a nose, four body rings of five points and a tail, drooping wings
// and a V tail.
void Model50(Builder& b) {
    const int n = 5;
    const double axisY = 0.09;
    const int nose = b.vertex(0, axisY, 0.95);
    static const double z[4] = {0.7, 0.45, 0.2, 0.0};
    static const double size[4] = {0.6, 1.0, 0.9, 0.55};
    int ring[4];
    for (int r = 0; r < 4; ++r) {
        for (int j = 0; j < n; ++j) {
            const double phi = -2.0 * kPi * j / n + kPi / 2;  // first point on top
            const int v = b.vertex(0.08 * size[r] * std::cos(phi), axisY + 0.09 * size[r] * std::sin(phi), z[r]);
            if (j == 0) ring[r] = v;
        }
    }
    const int tail = b.vertex(0, axisY, -0.05);
    Cone(b, ring[0], n, nose);
    for (int r = 0; r + 1 < 4; ++r) {
        RingLines(b, ring[r], n);
        for (int j = 0; j < n; ++j) {
            const int u = ring[r] + j, un = ring[r] + (j + 1) % n;
            const int l = ring[r + 1] + j, ln = ring[r + 1] + (j + 1) % n;
            b.line(u, l);
            // The diagonals along the underside are drawn as well.
            if (j == 2 || j == 3) b.line(ln, u);
            b.face({ln, l, u});
            b.face({ln, u, un});
        }
    }
    RingLines(b, ring[3], n);
    for (int j = 0; j < n; ++j) {
        b.line(ring[3] + j, tail);
        b.face({tail, ring[3] + j, ring[3] + (j + 1) % n});
    }
    const double centre[3] = {0, axisY, 0.45};
    // Wings from the body edge between the second and third rings (points
    // 1 and 4 of a ring lie to the right and left), tips drooping.
    for (int side = 0; side < 2; ++side) {
        const int j = side == 0 ? 1 : 4;
        const double x = side == 0 ? 0.2 : -0.2;
        const int front = ring[1] + j, back = ring[2] + j;
        const int tipFront = b.vertex(x, -0.1917, 0.4);
        const int tipBack = b.vertex(x, -0.1917, 0.25);
        b.line(front, tipFront);
        b.line(tipFront, tipBack);
        b.line(tipBack, back);
        FaceAwayFrom(b, {front, tipFront, tipBack, back}, centre);
    }
    // A V tail on the last ring's upper side points.
    for (int side = 0; side < 2; ++side) {
        const int root = ring[3] + (side == 0 ? 1 : 4);
        const double x = side == 0 ? 0.12 : -0.12;
        const int top = b.vertex(x, 0.375, -0.05);
        const int lead = b.vertex(x * 0.5, 0.25, 0.1);
        b.line(root, top);
        b.line(top, lead);
        b.line(lead, root);
        FaceAwayFrom(b, {root, top, lead}, centre);
    }
}

void Dart51(Builder& b) {
    static const float v[13][3] = {{0, 0, 1},     {0, 0, 1},     {0, 0, 1},     {-0.25f, 0, 0}, {-0.25f, 0, 0},
                                   {-0.05f, 0, 0}, {-0.05f, 0, 0}, {0.05f, 0, 0}, {0.05f, 0, 0},  {0.25f, 0, 0},
                                   {0.25f, 0, 0}, {0, -0.25f, 0}, {0, 0, 1}};
    static const int l[9][2] = {{0, 3}, {0, 5}, {0, 7}, {0, 9}, {0, 11}, {3, 5}, {5, 11}, {11, 7}, {7, 9}};
    Copy(b, v, 13, l, 9);
    b.face({0, 6, 4});
    b.face({0, 11, 6});
    b.face({2, 10, 8});
    b.face({2, 8, 11});
    b.face({1, 5, 11});
    b.face({1, 3, 5});
    b.face({12, 11, 7});
    b.face({12, 7, 9});
}

void Cross(Builder& b) {
    static const float v[6][3] = {{-0.5f, 0, 0}, {0.5f, 0, 0}, {0, -0.5f, 0}, {0, 0.5f, 0}, {0, 0, -0.5f}, {0, 0, 0.5f}};
    static const int l[3][2] = {{0, 1}, {2, 3}, {4, 5}};
    Copy(b, v, 6, l, 3);
}

void Normalise(double v[3]) {
    const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0)
        for (int i = 0; i < 3; ++i) v[i] /= len;
}

}  // namespace

void GlyphShapes::Sphere(int resolution, MeshRecord& out) {
    Builder b(out);
    const int k = Steps(resolution), n = 2 * k;
    const int north = b.vertex(0, 0.5, 0);
    std::vector<int> ring(size_t(k), 0);
    for (int i = 1; i < k; ++i) {
        const double lat = kPi / 2 - kPi * i / k;
        for (int j = 0; j < n; ++j) {
            const double lon = -kPi * j / k;
            const int v = b.vertex(0.5 * std::cos(lat) * std::cos(lon), 0.5 * std::sin(lat),
                                   0.5 * std::cos(lat) * std::sin(lon));
            if (j == 0) ring[size_t(i)] = v;
        }
    }
    const int south = b.vertex(0, -0.5, 0);
    // Decreasing longitude turns counter-clockwise seen from +y here, so the
    // corner order is the mirror of the z-axis rings of the other shapes.
    for (int j = 0; j < n; ++j) {
        const int a = ring[1] + j, an = ring[1] + (j + 1) % n;
        b.line(north, a);
        b.face({an, north, a});
    }
    for (int i = 1; i < k; ++i) {
        RingLines(b, ring[size_t(i)], n);
        if (i + 1 < k)
            for (int j = 0; j < n; ++j) {
                const int u = ring[size_t(i)] + j, un = ring[size_t(i)] + (j + 1) % n;
                const int l = ring[size_t(i + 1)] + j, ln = ring[size_t(i + 1)] + (j + 1) % n;
                b.line(u, l);
                b.face({u, l, ln, un});
            }
    }
    for (int j = 0; j < n; ++j) {
        const int a = ring[size_t(k - 1)] + j, an = ring[size_t(k - 1)] + (j + 1) % n;
        b.line(a, south);
        b.face({south, an, a});
    }
}

void GlyphShapes::Arrow(int resolution, float headRadius, float headLength, float shaftRatio, MeshRecord& out) {
    Builder b(out);
    const int a = Steps(resolution), g = std::max(a / 2, 2);
    const double zHead = 1.0 - headLength;
    const int head = Ring(b, 2 * a, headRadius, zHead);
    const int tip = b.vertex(0, 0, 1);
    RingLines(b, head, 2 * a);
    Cone(b, head, 2 * a, tip);
    const int headBase = Ring(b, 2 * a, headRadius, zHead);
    RingFace(b, headBase, 2 * a);
    const double r = double(shaftRatio) * headRadius;
    const int top = Ring(b, 2 * g, r, zHead);
    const int bottom = Ring(b, 2 * g, r, 0);
    for (int j = 0; j < 2 * g; ++j) {
        const int jn = (j + 1) % (2 * g);
        b.line(top + j, bottom + j);
        b.face({bottom + jn, bottom + j, top + j, top + jn});
    }
    RingLines(b, top, 2 * g);
    const int base = Ring(b, 2 * g, r, 0);
    RingLines(b, base, 2 * g);
    RingFace(b, base, 2 * g);
}

bool GlyphShapes::Template(int type, float a, float b, int resolution, MeshRecord& out, int& storedType) {
    out.clear();
    storedType = type;
    if (type == 52) return false;
    Builder m(out);
    switch (type) {
    case 1: Sphere(resolution, out); break;
    case 2: Cube(m); break;
    case 3: Arrow(resolution, b / 2, a, 1.0f / 3.0f, out); break;
    case 4: {
        const int k = Steps(resolution), n = 2 * k;
        const int ring = Ring(m, n, b / 2, 0);
        const int apex = m.vertex(0, 0, a);
        Cone(m, ring, n, apex);
        const int base = Ring(m, n, b / 2, 0);
        RingLines(m, base, n);
        RingFace(m, base, n);
        break;
    }
    case 19: {
        const float v[7][3] = {{0, 0, 1},          {b / 2, 0, 1 - a},  {b / 6, 0, 1 - a}, {b / 6, 0, 0},
                               {-b / 6, 0, 0},     {-b / 6, 0, 1 - a}, {-b / 2, 0, 1 - a}};
        static const int l[7][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 0}};
        Copy(m, v, 7, l, 7);
        m.face({0, 1, 2, 3, 4, 5, 6});
        break;
    }
    case 20: {
        const float v[3][3] = {{0, 0, a}, {b / 2, 0, 0}, {-b / 2, 0, 0}};
        static const int l[3][2] = {{0, 1}, {1, 2}, {2, 0}};
        Copy(m, v, 3, l, 3);
        m.face({0, 1, 2});
        break;
    }
    case 33: {
        const float v[4][3] = {{0, 0, 1}, {b / 2, 0, 1 - a}, {0, 0, 0}, {-b / 2, 0, 1 - a}};
        static const int l[3][2] = {{0, 1}, {0, 2}, {0, 3}};
        Copy(m, v, 4, l, 3);
        break;
    }
    case 50: Model50(m); break;
    case 51: Dart51(m); break;
    default:
        Cross(m);
        storedType = 49;
        break;
    }
    return true;
}

bool GlyphShapes::ReadTemplateFile(const std::string& path, MeshRecord& out, bool& failed) {
    out.clear();
    failed = false;
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    char line[81];
    // Next significant line (comments and empty lines skipped); false at the end.
    auto next = [&]() {
        while (std::fgets(line, sizeof line, file)) {
            if (line[0] == '#' || line[0] == '\n' || line[0] == '\r' || line[0] == '\0') continue;
            return true;
        }
        return false;
    };
    Builder b(out);
    auto fail = [&]() {
        std::fclose(file);
        out.clear();
        failed = true;
        return false;
    };
    int count = 0;
    if (!next() || std::sscanf(line, "%d", &count) != 1) return fail();
    for (int i = 0; i < count; ++i) {
        float x, y, z;
        if (!next() || std::sscanf(line, "%g %g %g", &x, &y, &z) != 3) return fail();
        b.vertex(x, y, z);
    }
    if (!next() || std::sscanf(line, "%d", &count) != 1) return fail();
    for (int i = 0; i < count; ++i) {
        int p, q;
        if (!next() || std::sscanf(line, "%d %d", &p, &q) != 2) return fail();
        if (p < 0 || q < 0 || p >= out.numVertices || q >= out.numVertices) return fail();
        b.line(p, q);
    }
    if (!next() || std::sscanf(line, "%d", &count) != 1) return fail();
    if (count >= 1) {
        int total = 0;
        if (!next() || std::sscanf(line, "%d", &total) != 1) return fail();
        for (int i = 0; i < count; ++i) {
            int v[10];
            if (!next()) return fail();
            const int n = std::sscanf(line, "%d %d %d %d %d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                                      &v[6], &v[7], &v[8], &v[9]);
            if (n < 1) return fail();
            std::vector<int> corners(v, v + n);
            for (int c : corners)
                if (c < 0 || c >= out.numVertices) return fail();
            b.face(corners);
        }
    }
    std::fclose(file);
    return true;
}

void GlyphShapes::InstanceFrame(const float direction[3], const float up[3], float t[3], float v[3], float w[3]) {
    double wd[3] = {direction[0], direction[1], direction[2]};
    const double wl = std::sqrt(wd[0] * wd[0] + wd[1] * wd[1] + wd[2] * wd[2]);
    if (!(wl > 0) || !std::isfinite(wl)) {
        const float id[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        std::memcpy(t, id[0], sizeof id[0]);
        std::memcpy(v, id[1], sizeof id[1]);
        std::memcpy(w, id[2], sizeof id[2]);
        return;
    }
    Normalise(wd);
    double u[3] = {up[0], up[1], up[2]};
    if (!(u[0] != 0 || u[1] != 0 || u[2] != 0) || !std::isfinite(u[0] + u[1] + u[2])) {
        u[0] = 0;
        u[1] = 1;
        u[2] = 0;
    }
    Normalise(u);
    auto parallel = [&]() { return std::fabs(u[0] * wd[0] + u[1] * wd[1] + u[2] * wd[2]) >= 1.0 - 1e-6; };
    if (parallel()) {
        u[0] = 1;
        Normalise(u);
        if (parallel()) {
            u[1] = 1;
            Normalise(u);
        }
    }
    const double d = u[0] * wd[0] + u[1] * wd[1] + u[2] * wd[2];
    double vd[3] = {u[0] - d * wd[0], u[1] - d * wd[1], u[2] - d * wd[2]};
    Normalise(vd);
    const double td[3] = {vd[1] * wd[2] - vd[2] * wd[1], vd[2] * wd[0] - vd[0] * wd[2], vd[0] * wd[1] - vd[1] * wd[0]};
    for (int i = 0; i < 3; ++i) {
        t[i] = float(td[i]);
        v[i] = float(vd[i]);
        w[i] = float(wd[i]);
    }
}
