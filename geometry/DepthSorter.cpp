#include "geometry/DepthSorter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "platform/MessageSink.h"

namespace {

enum Side { SideOn = 0, SideNear = 1, SideFar = 2 };

double planeDistance(const double p[4], const WinVertex& v) {
    return p[0] * v.x + p[1] * v.y + p[2] * v.z + p[3];
}

int sideOf(double d, double eps) {
    if (d > eps) return SideNear;
    if (d < -eps) return SideFar;
    return SideOn;
}

double cross2(const WinVertex& a, const WinVertex& b, const WinVertex& c) {
    return (double(b.x) - a.x) * (double(c.y) - a.y) - (double(b.y) - a.y) * (double(c.x) - a.x);
}

// Inside or on an edge of the counter-clockwise triangle a b c.
bool insideOrOn(const WinVertex& a, const WinVertex& b, const WinVertex& c, double px, double py) {
    auto edge = [&](const WinVertex& p, const WinVertex& q) {
        return (double(q.x) - p.x) * (py - p.y) - (double(q.y) - p.y) * (px - p.x);
    };
    return edge(a, b) >= 0.0 && edge(b, c) >= 0.0 && edge(c, a) >= 0.0;
}

// Plane through three points with a unit normal; false for a zero normal.
bool planeThrough(double ax, double ay, double az, double bx, double by, double bz, double cx, double cy,
                  double cz, double out[4]) {
    const double u[3] = {bx - ax, by - ay, bz - az}, v[3] = {cx - ax, cy - ay, cz - az};
    double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(len > 0.0) || !std::isfinite(len)) {
        out[0] = out[1] = out[2] = out[3] = 0.0;
        return false;
    }
    for (double& c : n) c /= len;
    out[0] = n[0];
    out[1] = n[1];
    out[2] = n[2];
    out[3] = -(n[0] * ax + n[1] * ay + n[2] * az);
    return true;
}

int vertexOutcode(const WinVertex& v, const int r[4]) {
    int code = 0;
    if (v.x < r[0]) code |= 1;
    if (v.x >= r[0] + r[2]) code |= 2;
    if (v.y < r[1]) code |= 4;
    if (v.y >= r[1] + r[3]) code |= 8;
    if (v.z < 0.0f) code |= 16;
    if (v.z >= 1.0f) code |= 32;
    return code;
}

}  // namespace

WinVertex DepthSorter::interpolate(const WinVertex& a, const WinVertex& b, double t) {
    WinVertex r = a;
    auto mix = [t](float p, float q) { return static_cast<float>(p + (q - p) * t); };
    r.x = mix(a.x, b.x);
    r.y = mix(a.y, b.y);
    r.z = mix(a.z, b.z);
    r.s = mix(a.s, b.s);
    r.t = mix(a.t, b.t);
    for (int i = 0; i < 3; ++i) r.normal[i] = mix(a.normal[i], b.normal[i]);
    for (int i = 0; i < 4; ++i) r.colour[i] = mix(a.colour[i], b.colour[i]);
    return r;
}

struct DepthSorter::Node {
    std::vector<Shape> shapes;
    Node* farChild = nullptr;
    Node* nearChild = nullptr;
};

// ---- shapes -------------------------------------------------------------------

void DepthSorter::triangulate(const std::vector<WinVertex>& ring, std::vector<int>& triangles) {
    const int n = static_cast<int>(ring.size());
    if (n < 3) return;
    double area = 0.0;
    for (int i = 0; i < n; ++i) {
        const WinVertex& a = ring[size_t(i)];
        const WinVertex& b = ring[size_t((i + 1) % n)];
        area += double(a.x) * b.y - double(b.x) * a.y;
    }
    std::vector<int> idx(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) idx[size_t(i)] = area < 0.0 ? n - 1 - i : i;
    while (idx.size() > 3) {
        const int m = static_cast<int>(idx.size());
        auto at = [&](int i) -> const WinVertex& { return ring[size_t(idx[size_t((i + m) % m)])]; };
        int ear = -1, firstConvex = -1;
        for (int i = 0; i < m && ear < 0; ++i) {
            const WinVertex &p = at(i - 1), &c = at(i), &q = at(i + 1);
            if (cross2(p, c, q) <= 0.0) continue;
            if (firstConvex < 0) firstConvex = i;
            bool empty = true;
            for (int k = 0; k < m && empty; ++k) {
                if (k == i || k == (i + 1) % m || k == (i + m - 1) % m) continue;
                const WinVertex& o = at(k);
                if (insideOrOn(p, c, q, o.x, o.y)) empty = false;
            }
            if (empty) ear = i;
        }
        // A ring without a proper ear (self-touching or all collinear) still
        // ends: its first convex vertex, or its first vertex, is cut off.
        if (ear < 0) ear = firstConvex >= 0 ? firstConvex : 0;
        triangles.push_back(idx[size_t((ear + m - 1) % m)]);
        triangles.push_back(idx[size_t(ear)]);
        triangles.push_back(idx[size_t((ear + 1) % m)]);
        idx.erase(idx.begin() + ear);
    }
    triangles.insert(triangles.end(), idx.begin(), idx.end());
}

void DepthSorter::toShapes(const WinPrimitive& p, std::vector<Shape>& out) {
    const std::vector<WinVertex>& v = p.vertices;
    const size_t n = v.size();
    auto segment = [&](const WinVertex& a, const WinVertex& b) {
        Shape s;
        s.kind = SHAPE_SEGMENT;
        s.size = p.size;
        s.v[0] = a;
        s.v[1] = b;
        out.push_back(s);
    };
    switch (p.kind) {
        case WIN_POINTS:
            for (const WinVertex& x : v) {
                Shape s;
                s.kind = SHAPE_POINT;
                s.size = p.size;
                s.v[0] = x;
                out.push_back(s);
            }
            break;
        case WIN_LINES:
            for (size_t i = 0; i + 1 < n; i += 2) segment(v[i], v[i + 1]);
            break;
        case WIN_LINE_STRIP:
        case WIN_LINE_LOOP:
            for (size_t i = 0; i + 1 < n; ++i) segment(v[i], v[i + 1]);
            if (p.kind == WIN_LINE_LOOP && n > 2) segment(v[n - 1], v[0]);
            break;
        case WIN_POLYGON: {
            if (n < 3) break;
            if (n == 3) {
                // The common case needs no ear search: only the winding.
                Shape s;
                s.kind = SHAPE_TRIANGLE;
                s.size = p.size;
                const bool clockwise = cross2(v[0], v[1], v[2]) < 0.0;
                s.v[0] = v[0];
                s.v[1] = clockwise ? v[2] : v[1];
                s.v[2] = clockwise ? v[1] : v[2];
                out.push_back(s);
                break;
            }
            std::vector<int> tri;
            triangulate(v, tri);
            for (size_t i = 0; i + 2 < tri.size(); i += 3) {
                Shape s;
                s.kind = SHAPE_TRIANGLE;
                s.size = p.size;
                for (int k = 0; k < 3; ++k) s.v[k] = v[size_t(tri[i + size_t(k)])];
                out.push_back(s);
            }
            break;
        }
        default: break;
    }
}

bool DepthSorter::polygonCoversRegion(const WinPrimitive& p, const int region[4]) {
    const std::vector<WinVertex>& v = p.vertices;
    const size_t n = v.size();
    if (n < 3 || v[0].colour[3] < 1.0f) return false;
    // Orientation from the signed area; convex when no turn goes the other way.
    double area = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const WinVertex &a = v[i], &b = v[(i + 1) % n];
        area += double(a.x) * b.y - double(b.x) * a.y;
    }
    if (area == 0.0) return false;
    const double sign = area > 0.0 ? 1.0 : -1.0;
    for (size_t i = 0; i < n; ++i)
        if (sign * cross2(v[i], v[(i + 1) % n], v[(i + 2) % n]) < 0.0) return false;
    // Flatness is judged where it matters: the tree uses the polygon only
    // when all its triangles lie in the splitter's plane.
    const double cx[4] = {double(region[0]), double(region[0]) + region[2], double(region[0]),
                          double(region[0]) + region[2]};
    const double cy[4] = {double(region[1]), double(region[1]), double(region[1]) + region[3],
                          double(region[1]) + region[3]};
    for (int k = 0; k < 4; ++k)
        for (size_t i = 0; i < n; ++i) {
            const WinVertex &a = v[i], &b = v[(i + 1) % n];
            const double e = (double(b.x) - a.x) * (cy[k] - a.y) - (double(b.y) - a.y) * (cx[k] - a.x);
            if (sign * e < 0.0) return false;
        }
    return true;
}

void DepthSorter::prepareShape(Shape& s, const int region[4]) {
    int code = ~0;
    for (int i = 0; i < s.count(); ++i) code &= vertexOutcode(s.v[i], region);
    s.outcode = code;
    const WinVertex& a = s.v[0];
    if (s.kind == SHAPE_TRIANGLE) {
        const WinVertex &b = s.v[1], &c = s.v[2];
        planeThrough(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, s.plane);
        s.covers = false;
        if (a.colour[3] >= 1.0f) {
            const double cx[4] = {double(region[0]), double(region[0]) + region[2], double(region[0]),
                                  double(region[0]) + region[2]};
            const double cy[4] = {double(region[1]), double(region[1]), double(region[1]) + region[3],
                                  double(region[1]) + region[3]};
            // Either winding: the conversion makes triangles counter-clockwise,
            // but split pieces of a flat triangle may not be.
            const bool ccw = cross2(a, b, c) >= 0.0;
            bool all = true;
            for (int k = 0; k < 4 && all; ++k)
                all = ccw ? insideOrOn(a, b, c, cx[k], cy[k]) : insideOrOn(a, c, b, cx[k], cy[k]);
            s.covers = all;
        }
    } else if (s.kind == SHAPE_SEGMENT) {
        const WinVertex& b = s.v[1];
        const bool alongX = b.y == a.y && b.z == a.z;
        planeThrough(a.x, a.y, a.z, b.x, b.y, b.z, a.x + (alongX ? 0.0 : 1.0), a.y + (alongX ? 1.0 : 0.0), a.z,
                     s.plane);
    } else {
        planeThrough(a.x, a.y, a.z, a.x + 1.0, a.y, a.z, a.x, a.y + 1.0, a.z, s.plane);
    }
}

bool DepthSorter::rowsEqual(float y0, float y1, float y2) const {
    if (vectorOutput) return y0 == y1 && y1 == y2;
    const double r0 = std::floor(y0 + 0.5), r1 = std::floor(y1 + 0.5), r2 = std::floor(y2 + 0.5);
    return r0 == r1 && r1 == r2;
}

bool DepthSorter::flatTriangle(const Shape& s) const { return rowsEqual(s.v[0].y, s.v[1].y, s.v[2].y); }

void DepthSorter::drawInOrder(const std::vector<const Shape*>& shapes) {
    for (const Shape* s : shapes) {
        if (sink_.aborted()) return;
        if (s->kind == SHAPE_TRIANGLE && !flatTriangle(*s)) sink_.drawShadedTriangle(s->v[0], s->v[1], s->v[2]);
    }
    for (const Shape* s : shapes)
        if (s->kind == SHAPE_SEGMENT && s->v[0].colour[3] >= 1.0f) sink_.drawWideLine(s->size, s->v[0], s->v[1]);
    for (const Shape* s : shapes)
        if (s->kind == SHAPE_POINT) sink_.drawWidePoint(s->size, s->v[0]);
}

void DepthSorter::drawInOrder(const std::vector<Shape>& shapes) {
    std::vector<const Shape*> refs;
    refs.reserve(shapes.size());
    for (const Shape& s : shapes) refs.push_back(&s);
    drawInOrder(refs);
}

// ---- regions ------------------------------------------------------------------

void DepthSorter::flushDeferred(int width, int height) {
    const int region[4] = {0, 0, std::max(0, width), std::max(0, height)};
    std::vector<WinPrimitive> list;
    list.swap(deferred_);
    drawPrimitives(list, region, false);
}

void DepthSorter::drawNow(const WinPrimitive& primitive, const int region[4]) {
    if (sink_.aborted()) return;
    sink_.setPixelRegion(region[0], region[1], region[2], region[3]);
    const std::vector<WinVertex>& v = primitive.vertices;
    if (primitive.kind == WIN_POLYGON && v.size() == 3) {
        // The common case, drawn as toShapes would turn it (counter-clockwise)
        // without copying the corners into a shape.
        if (rowsEqual(v[0].y, v[1].y, v[2].y)) return;
        const bool clockwise = cross2(v[0], v[1], v[2]) < 0.0;
        sink_.drawShadedTriangle(v[0], clockwise ? v[2] : v[1], clockwise ? v[1] : v[2]);
        return;
    }
    scratch_.clear();
    toShapes(primitive, scratch_);
    // Fragment mode needs neither planes nor outcodes: the shapes are drawn
    // as they come, in the fixed order.
    if (scratch_.size() == 1) {
        const Shape& s = scratch_[0];
        if (s.kind == SHAPE_TRIANGLE) {
            if (!flatTriangle(s)) sink_.drawShadedTriangle(s.v[0], s.v[1], s.v[2]);
        } else if (s.kind == SHAPE_SEGMENT) {
            if (s.v[0].colour[3] >= 1.0f) sink_.drawWideLine(s.size, s.v[0], s.v[1]);
        } else {
            sink_.drawWidePoint(s.size, s.v[0]);
        }
        return;
    }
    drawInOrder(scratch_);
}

void DepthSorter::drawPrimitives(std::vector<WinPrimitive>& list, const int region[4], bool fragmentMode) {
    if (list.empty() || sink_.aborted()) {
        list.clear();
        return;
    }
    if (fragmentMode || static_cast<int>(list.size()) < kRegionLimit || region[2] < 2 || region[3] < 2) {
        drawRegion(list, region, fragmentMode);
        list.clear();
        return;
    }
    const bool splitX = region[2] > region[3];
    const int half = (splitX ? region[2] : region[3]) / 2;
    const int first[4] = {region[0], region[1], splitX ? half : region[2], splitX ? region[3] : half};
    const int second[4] = {splitX ? region[0] + half : region[0], splitX ? region[1] : region[1] + half,
                           splitX ? region[2] - half : region[2], splitX ? region[3] : region[3] - half};
    const float at = static_cast<float>(splitX ? region[0] + half : region[1] + half);
    std::vector<WinPrimitive> low, high;
    bool copyFailed = false;
    for (WinPrimitive& p : list) {
        bool below = false, above = false;
        for (const WinVertex& v : p.vertices) {
            const float c = splitX ? v.x : v.y;
            if (c < at) below = true;
            else above = true;
        }
        if (below && above) {
            try {
                high.push_back(p);
            } catch (const std::bad_alloc&) {
                copyFailed = true;
            }
            low.push_back(std::move(p));
        } else if (below) {
            low.push_back(std::move(p));
        } else if (above) {
            high.push_back(std::move(p));
        }
    }
    list.clear();
    if (copyFailed) platform::ShowMessage(platform::MessageIcon::Error, "Error in Shape Copy\n");
    drawPrimitives(low, first, fragmentMode);
    drawPrimitives(high, second, fragmentMode);
}

void DepthSorter::drawRegion(std::vector<WinPrimitive>& list, const int region[4], bool fragmentMode) {
    ++regionsDrawn;
    sink_.setPixelRegion(region[0], region[1], region[2], region[3]);
    std::vector<Shape> shapes;
    for (size_t i = 0; i < list.size(); ++i) {
        const size_t first = shapes.size();
        toShapes(list[i], shapes);
        if (!fragmentMode && list[i].kind == WIN_POLYGON && polygonCoversRegion(list[i], region))
            for (size_t k = first; k < shapes.size(); ++k) {
                shapes[k].coveringPolygon = int(i);
                shapes[k].polygonTriangles = int(shapes.size() - first);
            }
    }
    if (fragmentMode) {
        drawInOrder(shapes);
        return;
    }
    // Shapes wholly beyond one side of the region are not drawn here.
    std::vector<Shape> kept;
    kept.reserve(shapes.size());
    double flatness = 0.0, zmin = 1e300, zmax = -1e300;
    for (Shape& s : shapes) {
        prepareShape(s, region);
        if (s.outcode) continue;
        for (int i = 0; i < s.count(); ++i) {
            zmin = std::min(zmin, double(s.v[i].z));
            zmax = std::max(zmax, double(s.v[i].z));
            if (s.hasPlane()) flatness = std::max(flatness, std::fabs(planeDistance(s.plane, s.v[i])));
        }
        kept.push_back(s);
    }
    if (kept.empty()) return;
    const double factor = toleranceFactor > 0.0f ? toleranceFactor : 1.0;
    const double eps = std::max(1.000001 * flatness, std::fabs(zmax - zmin) * double(printTolerance) / factor);
    ++treesBuilt;
    Node* root = build(kept, eps, region);
    drawTree(root);
    freeTree(root);
}

// ---- the BSP tree ---------------------------------------------------------------

DepthSorter::Node* DepthSorter::build(std::vector<Shape>& shapes, double eps, const int region[4]) {
    if (shapes.empty() || sink_.aborted()) return nullptr;
    Node* node = new (std::nothrow) Node;
    if (!node) return nullptr;
    const int n = static_cast<int>(shapes.size());

    auto cuts = [&](int i) {
        int count = 0;
        for (int j = 0; j < n; ++j) {
            if (j == i) continue;
            bool nearSide = false, farSide = false;
            for (int k = 0; k < shapes[size_t(j)].count(); ++k) {
                const double d = planeDistance(shapes[size_t(i)].plane, shapes[size_t(j)].v[k]);
                if (d > eps) nearSide = true;
                if (d < -eps) farSide = true;
            }
            if (nearSide && farSide) ++count;
        }
        return count;
    };
    int splitter = -1;
    for (int i = 0; i < n && splitter < 0; ++i)
        if (shapes[size_t(i)].kind == SHAPE_TRIANGLE && shapes[size_t(i)].covers && shapes[size_t(i)].hasPlane())
            splitter = i;
    for (int i = 0; i < n && splitter < 0; ++i)
        if (shapes[size_t(i)].kind == SHAPE_TRIANGLE && shapes[size_t(i)].coveringPolygon >= 0 &&
            shapes[size_t(i)].hasPlane())
            splitter = i;
    for (int kind : {int(SHAPE_TRIANGLE), int(SHAPE_SEGMENT)}) {
        if (splitter >= 0) break;
        int best = INT_MAX;
        for (int i = 0; i < n; ++i) {
            const Shape& s = shapes[size_t(i)];
            if (s.kind != kind || !s.hasPlane()) continue;
            const int c = cuts(i);
            if (c < best) {
                best = c;
                splitter = i;
                if (c == 0) break;
            }
        }
    }
    for (int i = 0; i < n && splitter < 0; ++i)
        if (shapes[size_t(i)].hasPlane()) splitter = i;
    if (splitter < 0) {
        node->shapes = std::move(shapes);
        return node;
    }

    double plane[4];
    std::copy(shapes[size_t(splitter)].plane, shapes[size_t(splitter)].plane + 4, plane);
    // The far side is the one of the point (0, 0, 2), beyond the far depth.
    if (2.0 * plane[2] + plane[3] > 0.0)
        for (double& c : plane) c = -c;
    const int splitterKind = shapes[size_t(splitter)].kind;

    std::vector<Shape> farList, nearList;
    bool coverNear = false, coverPlane = shapes[size_t(splitter)].covers;
    node->shapes.push_back(shapes[size_t(splitter)]);
    std::copy(plane, plane + 4, node->shapes.back().plane);
    auto toFar = [&](const Shape& s) {
        if (!coverNear && !coverPlane) farList.push_back(s);
    };
    for (int j = 0; j < n; ++j) {
        if (j == splitter) continue;
        Shape& s = shapes[size_t(j)];
        double d[3] = {0, 0, 0};
        bool nearSide = false, farSide = false;
        for (int k = 0; k < s.count(); ++k) {
            d[k] = planeDistance(plane, s.v[k]);
            const int side = sideOf(d[k], eps);
            if (side == SideNear) nearSide = true;
            if (side == SideFar) farSide = true;
        }
        if (nearSide && !farSide) {
            if (s.kind == SHAPE_TRIANGLE && s.covers) coverNear = true;
            nearList.push_back(s);
        } else if (farSide && !nearSide) {
            toFar(s);
        } else if (!nearSide && !farSide) {
            if ((s.kind == SHAPE_POINT && splitterKind != SHAPE_POINT) ||
                (s.kind == SHAPE_SEGMENT && splitterKind == SHAPE_TRIANGLE)) {
                nearList.push_back(s);
            } else {
                if (s.kind == SHAPE_TRIANGLE && s.covers) coverPlane = true;
                node->shapes.push_back(s);
                std::copy(plane, plane + 4, node->shapes.back().plane);
            }
        } else if (s.kind == SHAPE_SEGMENT) {
            ++shapesSplit;
            const WinVertex cut = DepthSorter::interpolate(s.v[0], s.v[1], d[0] / (d[0] - d[1]));
            Shape a = s, b = s;
            a.v[1] = cut;
            b.v[0] = cut;
            prepareShape(a, region);
            prepareShape(b, region);
            if (d[0] > 0) {
                nearList.push_back(a);
                toFar(b);
            } else {
                toFar(a);
                nearList.push_back(b);
            }
        } else {
            // A triangle across the plane: its near and far parts (vertices
            // on the plane belong to both), each fanned from its first vertex
            // so that the pieces keep the triangle's winding.
            ++shapesSplit;
            WinVertex nearPart[4], farPart[4];
            int nn = 0, nf = 0;
            for (int k = 0; k < 3; ++k) {
                const int k2 = (k + 1) % 3;
                const int sk = sideOf(d[k], eps), sk2 = sideOf(d[k2], eps);
                if (sk != SideFar) nearPart[nn++] = s.v[k];
                if (sk != SideNear) farPart[nf++] = s.v[k];
                if ((sk == SideNear && sk2 == SideFar) || (sk == SideFar && sk2 == SideNear)) {
                    const WinVertex cut = DepthSorter::interpolate(s.v[k], s.v[k2], d[k] / (d[k] - d[k2]));
                    nearPart[nn++] = cut;
                    farPart[nf++] = cut;
                }
            }
            auto emit = [&](const WinVertex* part, int count, bool nearSide2) {
                for (int k = 1; k + 1 < count; ++k) {
                    Shape piece = s;
                    piece.coveringPolygon = -1;
                    piece.v[0] = part[0];
                    piece.v[1] = part[k];
                    piece.v[2] = part[k + 1];
                    prepareShape(piece, region);
                    if (piece.outcode) continue;
                    if (nearSide2) nearList.push_back(piece);
                    else toFar(piece);
                }
            };
            emit(nearPart, nn, true);
            emit(farPart, nf, false);
        }
    }
    // A splitter from a covering polygon hides the far side when the whole
    // polygon lies in its plane here (no part of it split off or elsewhere).
    const Shape& split = node->shapes.front();
    if (!coverPlane && split.coveringPolygon >= 0) {
        int parts = 0;
        for (const Shape& s : node->shapes)
            if (s.kind == SHAPE_TRIANGLE && s.coveringPolygon == split.coveringPolygon) ++parts;
        coverPlane = parts == split.polygonTriangles;
    }
    if (coverNear) {
        node->shapes.clear();
        farList.clear();
    } else if (coverPlane) {
        farList.clear();
    }
    shapes.clear();
    shapes.shrink_to_fit();
    node->farChild = build(farList, eps, region);
    node->nearChild = build(nearList, eps, region);
    return node;
}

void DepthSorter::drawTree(const Node* node) {
    if (!node || sink_.aborted()) return;
    drawTree(node->farChild);
    drawInOrder(node->shapes);
    drawTree(node->nearChild);
}

void DepthSorter::freeTree(Node* node) {
    if (!node) return;
    freeTree(node->farChild);
    freeTree(node->nearChild);
    delete node;
}
