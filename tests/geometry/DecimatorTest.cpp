// Level-of-detail reduction: what the decimator keeps of flat, closed and
// coloured meshes, the fan triangulation, and when the worker of a
// GraphicData starts, publishes and is stopped.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "geometry/Decimator.h"
#include "geometry/LODThread.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = std::make_unique<std::string>(old);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::unique_ptr<std::string> old_;
};

// Finishes loaded geometry the way the loader does.
void Finish(GraphicData& d) {
    d.computeBounds();
    d.computeFaceNormals();
    d.buildAdjacency();
}

// An n x n grid of unit quads in the plane z = 0 (corners (0,0) and (n,n)),
// each quad one 4-vertex face, or two triangles with split.
void Grid(GraphicData& d, int n, bool split) {
    d.numVertices = (n + 1) * (n + 1);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) d.vertexCoords.insert(d.vertexCoords.end(), {float(i), float(j), 0.0f});
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, e = a + n + 1;
            if (split) {
                d.faceEntries.insert(d.faceEntries.end(), {3, a, b, c, 3, a, c, e});
                d.numFaces += 2;
            } else {
                d.faceEntries.insert(d.faceEntries.end(), {4, a, b, c, e});
                d.numFaces += 1;
            }
        }
    d.numFaceEntries = int(d.faceEntries.size());
    Finish(d);
}

// A UV sphere of radius r, outward-facing quads and triangle caps, with the
// height as per-vertex value.
void Sphere(GraphicData& d, int rings, int segments, float r = 1.0f) {
    const double pi = 3.141592653589793;
    d.vertexCoords = {0, 0, r};
    d.vertexColours = {1.0f};
    for (int i = 1; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const double lat = pi * i / rings, lon = 2 * pi * j / segments;
            const float z = float(r * std::cos(lat));
            d.vertexCoords.insert(d.vertexCoords.end(),
                                  {float(r * std::sin(lat) * std::cos(lon)), float(r * std::sin(lat) * std::sin(lon)), z});
            d.vertexColours.push_back((z / r + 1.0f) / 2.0f);
        }
    d.vertexCoords.insert(d.vertexCoords.end(), {0, 0, -r});
    d.vertexColours.push_back(0.0f);
    d.numVertices = int(d.vertexColours.size());
    auto at = [&](int ring, int seg) { return 1 + (ring - 1) * segments + (seg % segments); };
    const int south = d.numVertices - 1;
    for (int j = 0; j < segments; ++j) {
        d.faceEntries.insert(d.faceEntries.end(), {3, 0, at(1, j), at(1, j + 1)});
        for (int i = 1; i + 1 < rings; ++i)
            d.faceEntries.insert(d.faceEntries.end(), {4, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        d.faceEntries.insert(d.faceEntries.end(), {3, south, at(rings - 1, j + 1), at(rings - 1, j)});
        d.numFaces += rings;
    }
    d.numFaceEntries = int(d.faceEntries.size());
    Finish(d);
}

struct Tri {
    int a, b, c;
};
std::vector<Tri> Triangles(const MeshRecord& m) {
    std::vector<Tri> t;
    EXPECT_EQ(m.numFaceEntries, 4 * m.numFaces);
    for (int f = 0; f < m.numFaces; ++f) {
        EXPECT_EQ(m.faceEntries[4 * f], 3);
        t.push_back({m.faceEntries[4 * f + 1], m.faceEntries[4 * f + 2], m.faceEntries[4 * f + 3]});
    }
    return t;
}

const float* Pos(const MeshRecord& m, int v) { return &m.vertexCoords[3 * size_t(v)]; }

// Every reduced mesh: triangles with three distinct indices in range, one
// normal per face, adjacency for every vertex, and no vertex left unused.
void ExpectWellFormed(const MeshRecord& m) {
    ASSERT_EQ(m.vertexCoords.size(), 3 * size_t(m.numVertices));
    ASSERT_EQ(m.faceNormals.size(), 3 * size_t(m.numFaces));
    ASSERT_EQ(m.vertexFaceStart.size(), size_t(m.numVertices));
    std::vector<int> used(size_t(m.numVertices), 0);
    for (const Tri& t : Triangles(m)) {
        for (int v : {t.a, t.b, t.c}) {
            ASSERT_GE(v, 0);
            ASSERT_LT(v, m.numVertices);
            ++used[size_t(v)];
        }
        EXPECT_TRUE(t.a != t.b && t.b != t.c && t.a != t.c);
    }
    for (int v = 0; v < m.numVertices; ++v) {
        EXPECT_GT(used[size_t(v)], 0) << "vertex " << v;
        EXPECT_EQ(m.vertexFaces[size_t(m.vertexFaceStart[size_t(v)])], used[size_t(v)]);
    }
}

TEST(Decimator, FanTriangulationOfQuadsAndRepeatedIndices) {
    GraphicData quads(nullptr, nullptr);
    Grid(quads, 6, false);
    ASSERT_EQ(quads.numFaces, 36);
    EXPECT_EQ(Decimator::FanTriangles(quads.faceEntries, quads.numFaces, quads.numFaceEntries), 72);
    MeshRecord m;
    ASSERT_TRUE(Decimator::Reduce(quads, 0.1f, nullptr, m, INT_MAX));  // no collapse: the triangulation itself
    EXPECT_EQ(m.numFaces, 72);
    EXPECT_EQ(m.numVertices, 49);
    ExpectWellFormed(m);

    // The fan of [5: 0 1 1 2 3] gives (0 1 1) (0 1 2) (0 2 3): the first is
    // skipped, nothing degenerate reaches the reduced mesh.
    GraphicData d(nullptr, nullptr);
    d.numVertices = 4;
    d.vertexCoords = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    d.faceEntries = {5, 0, 1, 1, 2, 3};
    d.numFaces = 1;
    d.numFaceEntries = 6;
    d.computeBounds();
    ASSERT_TRUE(Decimator::Reduce(d, 0.1f, nullptr, m, INT_MAX));
    EXPECT_EQ(m.numFaces, 2);
    ExpectWellFormed(m);
}

TEST(Decimator, FlatPlaneCollapsesFreelyWhileItsBorderStays) {
    GraphicData d(nullptr, nullptr);
    Grid(d, 20, true);  // 800 triangles over 20 x 20
    MeshRecord m;
    ASSERT_TRUE(Decimator::Reduce(d, 0.0f, nullptr, m));
    ExpectWellFormed(m);
    EXPECT_LE(m.numFaces, 100) << "zero-cost collapses run down to the minimum";
    EXPECT_GE(m.numFaces, 90);

    // Border edges (used once) lie on the square's sides, the corners are
    // kept, everything stays in the plane, and the signed area is the square's.
    std::map<std::pair<int, int>, int> edges;
    double area = 0;
    std::set<std::pair<float, float>> corners;
    for (const Tri& t : Triangles(m)) {
        const float *a = Pos(m, t.a), *b = Pos(m, t.b), *c = Pos(m, t.c);
        area += 0.5 * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
        for (auto [u, v] : {std::pair{t.a, t.b}, {t.b, t.c}, {t.c, t.a}}) ++edges[{std::min(u, v), std::max(u, v)}];
    }
    EXPECT_NEAR(area, 400.0, 1e-3);
    auto onSide = [](const float* p) { return p[0] == 0 || p[0] == 20 || p[1] == 0 || p[1] == 20; };
    int borderEdges = 0;
    for (const auto& [e, count] : edges) {
        if (count != 1) continue;
        ++borderEdges;
        const float *p = Pos(m, e.first), *q = Pos(m, e.second);
        EXPECT_TRUE(onSide(p) && onSide(q) && (p[0] == q[0] || p[1] == q[1]))
            << "(" << p[0] << " " << p[1] << ") - (" << q[0] << " " << q[1] << ")";
    }
    EXPECT_GE(borderEdges, 4);
    for (int v = 0; v < m.numVertices; ++v) {
        const float* p = Pos(m, v);
        EXPECT_EQ(p[2], 0.0f);
        if ((p[0] == 0 || p[0] == 20) && (p[1] == 0 || p[1] == 20)) corners.insert({p[0], p[1]});
    }
    EXPECT_EQ(corners.size(), 4u);
}

TEST(Decimator, ClosedMeshStaysClosedAndConsistentlyOriented) {
    GraphicData d(nullptr, nullptr);
    Sphere(d, 24, 48);  // 1104 triangles
    MeshRecord m;
    ASSERT_TRUE(Decimator::Reduce(d, 0.1f, nullptr, m));
    ExpectWellFormed(m);
    EXPECT_LT(m.numFaces, 1104 / 4);
    EXPECT_GE(m.numFaces, 90);

    // Closed and consistent: every directed edge a->b is matched by b->a
    // exactly as often.  Facing outward: the enclosed volume is positive.
    std::map<std::pair<int, int>, int> directed;
    double volume = 0;
    for (const Tri& t : Triangles(m)) {
        for (auto [u, v] : {std::pair{t.a, t.b}, {t.b, t.c}, {t.c, t.a}}) ++directed[{u, v}];
        const float *a = Pos(m, t.a), *b = Pos(m, t.b), *c = Pos(m, t.c);
        volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                   a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
    }
    for (const auto& [e, count] : directed) {
        auto reverse = directed.find({e.second, e.first});
        EXPECT_TRUE(reverse != directed.end() && reverse->second == count) << e.first << "->" << e.second;
    }
    EXPECT_GT(volume, 0.5 * 4.18879);  // at least half the ball

    // Values follow the vertices: the height value stays in 0..1 and still
    // rises with z.
    ASSERT_EQ(m.vertexColours.size(), size_t(m.numVertices));
    for (int v = 0; v < m.numVertices; ++v) {
        EXPECT_GE(m.vertexColours[size_t(v)], 0.0f);
        EXPECT_LE(m.vertexColours[size_t(v)], 1.0f);
        EXPECT_NEAR(m.vertexColours[size_t(v)], (Pos(m, v)[2] + 1.0f) / 2.0f, 0.35f);
    }
}

TEST(Decimator, AbortEndsWithoutResult) {
    GraphicData d(nullptr, nullptr);
    Sphere(d, 12, 24);
    std::atomic<bool> abort{true};
    MeshRecord m;
    m.numFaces = 7;
    EXPECT_FALSE(Decimator::Reduce(d, 0.1f, &abort, m));
    EXPECT_EQ(m.numFaces, 0);
    EXPECT_TRUE(m.faceEntries.empty());
}

// ---------------------------------------------------------------- the worker

// Runs a reduction on the worker and takes its result as the GUI side does.
bool ReduceOnWorker(GraphicData& d, float bound) {
    if (!d.startReduction(bound)) return false;
    EXPECT_TRUE(d.isReducing() || d.lodWorker->isFinished());
    EXPECT_FALSE(d.reducedReady) << "not drawable while the worker runs";
    d.waitForReduction();
    EXPECT_FALSE(d.isReducing());
    d.acceptReducedMesh();
    return true;
}

// A strip of n triangles: exactly n faces.
void Strip(GraphicData& d, int n) {
    d.numVertices = n + 2;
    for (int i = 0; i < n + 2; ++i)
        d.vertexCoords.insert(d.vertexCoords.end(), {float(i / 2), float(i % 2), float(i % 3) * 0.25f});
    for (int i = 0; i < n; ++i) d.faceEntries.insert(d.faceEntries.end(), {3, i, i + 1, i + 2});
    d.numFaces = n;
    d.numFaceEntries = 4 * n;
    Finish(d);
}

TEST(LODThread, WhenAReductionStarts) {
    struct Case {
        const char* what;
        int faces;
        const char* decimate;  // VIEWER_DECIMATE, null: unset
        float bound;
        bool backdrop;
        bool starts;
    } cases[] = {
        {"100 faces", 100, nullptr, 0.1f, false, false},
        {"101 faces", 101, nullptr, 0.1f, false, true},
        {"negative bound", 500, nullptr, -0.5f, false, false},
        {"VIEWER_DECIMATE negative", 500, "-1", 0.1f, false, false},
        {"VIEWER_DECIMATE replaces a negative bound", 500, "0.2", -0.5f, false, true},
        {"VIEWER_DECIMATE 0", 500, "0", 0.1f, false, true},
        {"backdrop", 500, nullptr, 0.1f, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv env("VIEWER_DECIMATE", c.decimate);
        GraphicData d(nullptr, nullptr);
        Strip(d, c.faces);
        ASSERT_EQ(d.numFaces, c.faces);
        if (c.backdrop) {
            d.texture = std::make_unique<TextureRecord>();
            d.texture->kind = TEXTURE_BACKDROP_FIXED;
        }
        EXPECT_EQ(ReduceOnWorker(d, c.bound), c.starts);
        EXPECT_EQ(d.reducedReady, c.starts);
        if (c.starts) {
            EXPECT_EQ(d.lodWorker->errorBound(), c.decimate ? float(std::atof(c.decimate)) : c.bound);
        }
    }
}

TEST(LODThread, ZeroBoundKeepsACurvedSurfaceAndThinsAPlane) {
    ScopedEnv env("VIEWER_DECIMATE", "0");
    GraphicData sphere(nullptr, nullptr);
    Sphere(sphere, 16, 32);  // 480 triangles
    ASSERT_TRUE(ReduceOnWorker(sphere, 0.1f));
    EXPECT_GT(sphere.reduced.numFaces, 400) << "only collapses that cost nothing";

    GraphicData plane(nullptr, nullptr);
    Grid(plane, 12, false);
    ASSERT_TRUE(ReduceOnWorker(plane, 0.1f));
    EXPECT_LE(plane.reduced.numFaces, 100);
    EXPECT_TRUE(plane.reduced.vertexColours.empty()) << "no values without per-vertex values";

    // The default bound takes the sphere well down, and a second run of the
    // same worker publishes its own result.
    ScopedEnv unset("VIEWER_DECIMATE", nullptr);
    ASSERT_TRUE(ReduceOnWorker(sphere, 0.1f));
    EXPECT_LT(sphere.reduced.numFaces, 200);
    ExpectWellFormed(sphere.reduced);
}

TEST(LODThread, AppendingAndDestroyingStopTheRunningWorker) {
    GraphicData probe(nullptr, nullptr);
    Sphere(probe, 60, 120);  // 14160 triangles: still running when stopped

    vkoGraphicObj object(nullptr, "big");
    object.data = std::make_unique<GraphicData>(nullptr, nullptr);
    GraphicData& d = *object.data;
    Sphere(d, 60, 120);
    const float v[] = {0, 0, 5, 1, 0, 5, 0, 1, 5};
    const int face[] = {3, 0, 1, 2};
    d.reducedReady = true;  // a reduced mesh taken earlier
    ASSERT_TRUE(d.startReduction(0.1f));
    EXPECT_FALSE(d.reducedReady);
    ASSERT_TRUE(object.appendMesh(3, v, 0, nullptr, 1, 4, face));
    EXPECT_EQ(d.lodWorker, nullptr) << "an extended object is not reduced again";
    EXPECT_EQ(d.reduced.numFaces, 0);
    EXPECT_FALSE(d.startReduction(0.1f));
    EXPECT_FALSE(object.reductionFinished());

    // Destroyed while reducing: the destructor waits (ASan would see the
    // worker read freed arrays otherwise).
    auto doomed = std::make_unique<GraphicData>(nullptr, nullptr);
    Sphere(*doomed, 60, 120);
    ASSERT_TRUE(doomed->startReduction(0.1f));
    doomed.reset();

    // A reduction abandoned part-way publishes nothing.
    ASSERT_TRUE(probe.startReduction(0.1f));
    EXPECT_TRUE(probe.cancelReduction());
    EXPECT_FALSE(probe.acceptReducedMesh());
    EXPECT_FALSE(probe.reducedReady);
    EXPECT_EQ(probe.reduced.numFaces, 0);
}

}  // namespace
