#include "geometry/Decimator.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include <sys/mman.h>

#include "scene/GraphicData.h"

namespace {

// A heavy weight keeps border vertices on their border lines.
constexpr double kBorderWeight = 1000.0;
// Below this the quadric's 3 x 3 part is taken as singular.
constexpr double kSingular = 1e-12;
// Abort polls in the long set-up loops happen every this many items.
constexpr int kPollMask = 4095;

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

bool normalise(double v[3]) {
    const double len = std::sqrt(dot(v, v));
    if (!(len > 0.0)) return false;
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
    return true;
}

// Normal (not normalised) of the triangle p, q, r: (q - p) x (r - p).
void triangleNormal(const float p[3], const float q[3], const float r[3], double out[3]) {
    const double e1[3] = {double(q[0]) - p[0], double(q[1]) - p[1], double(q[2]) - p[2]};
    const double e2[3] = {double(r[0]) - p[0], double(r[1]) - p[1], double(r[2]) - p[2]};
    cross(e1, e2, out);
}

}  // namespace

// ------------------------------------------------------------------ quadric

void Decimator::Quadric::addPlane(double a, double b, double c, double d, double w) {
    aa += w * a * a;
    ab += w * a * b;
    ac += w * a * c;
    ad += w * a * d;
    bb += w * b * b;
    bc += w * b * c;
    bd += w * b * d;
    cc += w * c * c;
    cd += w * c * d;
    dd += w * d * d;
}

void Decimator::Quadric::add(const Quadric& q) {
    aa += q.aa;
    ab += q.ab;
    ac += q.ac;
    ad += q.ad;
    bb += q.bb;
    bc += q.bc;
    bd += q.bd;
    cc += q.cc;
    cd += q.cd;
    dd += q.dd;
}

double Decimator::Quadric::error(const double p[3]) const {
    const double x = p[0], y = p[1], z = p[2];
    return aa * x * x + 2 * ab * x * y + 2 * ac * x * z + 2 * ad * x + bb * y * y + 2 * bc * y * z + 2 * bd * y +
           cc * z * z + 2 * cd * z + dd;
}

double Decimator::Quadric::error(const float p[3]) const {
    const double d[3] = {p[0], p[1], p[2]};
    return error(d);
}

// ------------------------------------------------------------------ tables

template <typename T>
T* LargeTableAllocator<T>::allocate(size_t n) {
    constexpr size_t kHuge = size_t(2) << 20;
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    size_t bytes = n * sizeof(T);
    void* p = nullptr;
    if (bytes >= 2 * kHuge) {
        bytes = (bytes + kHuge - 1) / kHuge * kHuge;
        if (posix_memalign(&p, kHuge, bytes) != 0) p = nullptr;
        if (p) madvise(p, bytes, MADV_HUGEPAGE);
    } else {
        p = std::malloc(std::max<size_t>(bytes, 1));
    }
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
}

Decimator::Decimator(int numVertices, int numTriangles, float sizeScale, const std::atomic<bool>* abort)
    : capVertices_(std::max(numVertices, 0)),
      capTriangles_(std::max(numTriangles, 0)),
      sizeScale_(sizeScale),
      abort_(abort) {
    verts_.reserve(size_t(capVertices_));
    tris_.reserve(size_t(capTriangles_));
    // Every vertex starts with room for 10 triangles in the pool; a survivor
    // of collapses moves to room for 20 at the end, which is reserved too, so
    // the pool is not copied as it grows.
    pool_.reserve(size_t(capVertices_) * 20);
}

void Decimator::addVertex(const float position[3], float value) {
    if (int(verts_.size()) >= capVertices_) return;
    Vertex v;
    v.alive = true;
    std::copy(position, position + 3, v.pos);
    v.value = value;
    v.tris.off = static_cast<int>(pool_.size());
    v.tris.cap = 10;
    pool_.resize(pool_.size() + 10);
    verts_.push_back(v);
    ++liveVertices_;
}

void Decimator::addTriangle(int a, int b, int c) {
    const int n = static_cast<int>(verts_.size());
    if (a == b || b == c || a == c) return;
    if (a < 0 || b < 0 || c < 0 || a >= n || b >= n || c >= n) return;
    if (int(tris_.size()) >= capTriangles_) return;
    Triangle t;
    t.alive = true;
    t.v[0] = a;
    t.v[1] = b;
    t.v[2] = c;
    const int id = static_cast<int>(tris_.size());
    tris_.push_back(t);
    setAdd(a, id);
    setAdd(b, id);
    setAdd(c, id);
    ++liveTriangles_;
}

void Decimator::setAdd(int vertex, int tri) {
    TriSet& s = verts_[vertex].tris;
    if (s.size == s.cap) {
        // Move the set to the end of the pool with twice the room; the old
        // room is left unused.
        const int newCap = s.cap * 2;
        const int newOff = static_cast<int>(pool_.size());
        pool_.resize(pool_.size() + size_t(newCap));
        std::copy(pool_.begin() + s.off, pool_.begin() + s.off + s.size, pool_.begin() + newOff);
        s.off = newOff;
        s.cap = newCap;
    }
    pool_[size_t(s.off) + size_t(s.size++)] = tri;
}

void Decimator::setRemove(int vertex, int tri) {
    TriSet& s = verts_[vertex].tris;
    int* b = &pool_[size_t(s.off)];
    for (int i = 0; i < s.size; ++i)
        if (b[i] == tri) {
            b[i] = b[--s.size];
            return;
        }
}

int Decimator::nextRandom() {
    // xorshift32; 15 bits, like the C library's smallest RAND_MAX.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return static_cast<int>((random_ >> 9) & 0x7FFF);
}

// ------------------------------------------------------------------ heap
// A max-heap on key (= -cost): the cheapest collapse is on top.

// A 4-ary heap: a node's four children share one cache line, and there are
// half as many levels to pass as in a binary heap.
void Decimator::siftUp(size_t pos) {
    const HeapEntry e = heap_[pos];
    while (pos > 0) {
        const size_t parent = (pos - 1) / 4;
        if (!(heap_[parent].key < e.key)) break;
        heap_[pos] = heap_[parent];
        pos = parent;
    }
    heap_[pos] = e;
}

void Decimator::siftDown(size_t pos) {
    const size_t n = heap_.size();
    const HeapEntry e = heap_[pos];
    for (;;) {
        const size_t first = 4 * pos + 1;
        if (first >= n) break;
        size_t best = first;
        const size_t last = std::min(first + 4, n);
        for (size_t c = first + 1; c < last; ++c)
            if (heap_[c].key > heap_[best].key) best = c;
        if (!(heap_[best].key > e.key)) break;
        heap_[pos] = heap_[best];
        pos = best;
    }
    heap_[pos] = e;
}

void Decimator::heapify() {
    for (size_t i = heap_.size() / 4 + 1; i-- > 0;)
        if (i < heap_.size()) siftDown(i);
}

void Decimator::heapPush(int tri) {
    Triangle& t = tris_[size_t(tri)];
    if (t.heapKey >= t.key) return;  // dearer: its old entry comes up first
    t.heapKey = t.key;
    heap_.push_back({t.key, tri});
    siftUp(heap_.size() - 1);
}

int Decimator::heapTop() {
    while (!heap_.empty()) {
        const HeapEntry e = heap_.front();
        Triangle& t = tris_[size_t(e.tri)];
        if (t.alive && e.key == t.heapKey && e.key == t.key) return e.tri;
        if (t.alive && e.key == t.heapKey) {
            // Dearer since it was queued: back in with its current key.
            t.heapKey = t.key;
            heap_.front().key = t.key;
        } else {
            heap_.front() = heap_.back();
            heap_.pop_back();
            if (heap_.empty()) break;
        }
        siftDown(0);
    }
    return -1;
}

// ------------------------------------------------------------------ cost

void Decimator::computeCost(int tri) {
    Triangle& t = tris_[size_t(tri)];
    int p = t.v[0], q = t.v[1], r = t.v[2];
    double n[3];
    triangleNormal(verts_[size_t(p)].pos, verts_[size_t(q)].pos, verts_[size_t(r)].pos, n);
    // A triangle folded over since its creation is measured from its other
    // end.  Only the order of evaluation changes: turning the stored winding
    // round would break the orientation the mesh shares with its neighbours.
    if (dot(n, t.normal) < 0.0) std::swap(p, r);
    const Vertex& P = verts_[size_t(p)];
    const Vertex& Q = verts_[size_t(q)];
    const Vertex& R = verts_[size_t(r)];

    Quadric k = P.q;
    k.add(Q.q);
    k.add(R.q);
    const double w = double(P.tris.size) + Q.tris.size + R.tris.size + 1;

    double m = k.error(P.pos);
    const Vertex* candidate = &P;
    const double eq = k.error(Q.pos), er = k.error(R.pos);
    if (eq < m) {
        m = eq;
        candidate = &Q;
    }
    if (er < m) {
        m = er;
        candidate = &R;
    }

    // Optimal point: the minimum of k, through the inverse of its 3 x 3 part.
    const double r0[3] = {k.aa, k.ab, k.ac}, r1[3] = {k.ab, k.bb, k.bc}, r2[3] = {k.ac, k.bc, k.cc};
    double c0[3], c1[3], c2[3];
    cross(r1, r2, c0);
    cross(r2, r0, c1);
    cross(r0, r1, c2);
    const double det = dot(r0, c0);
    double c = m + 1.0;
    double opt[3] = {0, 0, 0};
    if (std::fabs(det) >= kSingular) {
        const double b0 = -k.ad, b1 = -k.bd, b2 = -k.cd;
        bool inside = true;
        for (int a = 0; a < 3; ++a) {
            opt[a] = (c0[a] * b0 + c1[a] * b1 + c2[a] * b2) / det;
            const double lo = std::min({double(P.pos[a]), double(Q.pos[a]), double(R.pos[a])});
            const double hi = std::max({double(P.pos[a]), double(Q.pos[a]), double(R.pos[a])});
            if (!(opt[a] >= lo && opt[a] <= hi)) inside = false;
        }
        if (inside) {
            const double e = k.error(opt);
            // Collapses that cost nothing are taken in a shuffled order, so a
            // flat region thins out evenly instead of from one corner.
            c = e <= 0.0 ? -double(nextRandom()) / 32767.0 / w : e * w;
        }
    }
    double cost;
    if (m <= c) {
        std::copy(candidate->pos, candidate->pos + 3, t.target);
        cost = m;
    } else {
        for (int a = 0; a < 3; ++a) t.target[a] = static_cast<float>(opt[a]);
        cost = c;
    }
    t.targetValue = (P.value + Q.value + R.value) / 3.0f;
    t.key = -cost;
}

// ------------------------------------------------------------------ collapse

void Decimator::deleteTriangle(int tri) {
    Triangle& t = tris_[size_t(tri)];
    if (!t.alive) return;
    for (int i = 0; i < 3; ++i) {
        const int v = t.v[i];
        if ((i > 0 && v == t.v[0]) || (i > 1 && v == t.v[1])) continue;
        setRemove(v, tri);
    }
    t.alive = false;  // its heap entries are dropped as they come up
    --liveTriangles_;
}

void Decimator::collapse(int tri) {
    const Triangle& t = tris_[size_t(tri)];
    const int p = t.v[0], q = t.v[1], r = t.v[2];
    Vertex& P = verts_[size_t(p)];
    std::copy(t.target, t.target + 3, P.pos);
    P.value = t.targetValue;
    P.q.add(verts_[size_t(q)].q);
    P.q.add(verts_[size_t(r)].q);

    // The triangles of Q and R (each once), pointed at P.
    scratch_.clear();
    for (const int src : {q, r}) {
        const TriSet s = verts_[size_t(src)].tris;
        for (int i = 0; i < s.size; ++i) {
            const int u = pool_[size_t(s.off) + size_t(i)];
            Triangle& U = tris_[size_t(u)];
            if (!U.alive || U.mark) continue;
            U.mark = 1;
            for (int& v : U.v)
                if (v == q || v == r) v = p;
            scratch_.push_back(u);
        }
    }
    // Those that held two of P, Q, R (the collapsed triangle and its edge
    // neighbours) are now degenerate and go; the others join P.
    for (const int u : scratch_) {
        Triangle& U = tris_[size_t(u)];
        U.mark = 0;
        if (U.v[0] == U.v[1] || U.v[1] == U.v[2] || U.v[0] == U.v[2]) {
            // Still listed at its old Q or R: those sets are dropped below.
            deleteTriangle(u);
        } else {
            setAdd(p, u);
        }
    }
    for (const int dead : {q, r}) {
        Vertex& D = verts_[size_t(dead)];
        D.alive = false;
        D.tris.size = 0;
        --liveVertices_;
    }
    const TriSet s = verts_[size_t(p)].tris;
    for (int i = 0; i < s.size; ++i) {
        const int u = pool_[size_t(s.off) + size_t(i)];
        computeCost(u);
        heapPush(u);
    }
    // Stale entries pile up; past a limit the heap is rebuilt from the live ones.
    if (heap_.size() > 4 * size_t(liveTriangles_) + 4096) {
        size_t kept = 0;
        for (const HeapEntry& e : heap_) {
            const Triangle& t = tris_[size_t(e.tri)];
            if (t.alive && t.heapKey == e.key) heap_[kept++] = e;
        }
        heap_.resize(kept);
        heapify();
    }
}

// ------------------------------------------------------------------ run

bool Decimator::decimate(float errorBound, int minTriangles) {
    // Plane quadrics.
    const int nt = static_cast<int>(tris_.size());
    for (int i = 0; i < nt; ++i) {
        if ((i & kPollMask) == 0 && aborted()) return false;
        Triangle& t = tris_[size_t(i)];
        if (!t.alive) continue;
        const Vertex& P = verts_[size_t(t.v[0])];
        triangleNormal(P.pos, verts_[size_t(t.v[1])].pos, verts_[size_t(t.v[2])].pos, t.normal);
        // A triangle without area has no plane; it adds nothing.
        if (!normalise(t.normal)) continue;
        const double d = -(t.normal[0] * P.pos[0] + t.normal[1] * P.pos[1] + t.normal[2] * P.pos[2]);
        for (int k = 0; k < 3; ++k) verts_[size_t(t.v[k])].q.addPlane(t.normal[0], t.normal[1], t.normal[2], d, 1.0);
    }

    // Border edges (used by exactly one triangle): a heavy plane through the
    // edge, upright on its triangle, holds both ends on the border line.
    const int nv = static_cast<int>(verts_.size());
    for (int i = 0; i < nv; ++i) {
        if ((i & kPollMask) == 0 && aborted()) return false;
        const TriSet si = verts_[size_t(i)].tris;
        const int* ti = &pool_[size_t(si.off)];
        for (int a = 0; a < si.size; ++a) {
            const Triangle& t = tris_[size_t(ti[a])];
            for (const int j : t.v) {
                if (j <= i || verts_[size_t(j)].mark) continue;
                verts_[size_t(j)].mark = 1;
                int count = 0, only = -1;
                for (int b = 0; b < si.size; ++b) {
                    const int* v = tris_[size_t(ti[b])].v;
                    if (v[0] == j || v[1] == j || v[2] == j) {
                        ++count;
                        only = ti[b];
                    }
                }
                if (count != 1) continue;
                const float* pi = verts_[size_t(i)].pos;
                const float* pj = verts_[size_t(j)].pos;
                const double edge[3] = {double(pj[0]) - pi[0], double(pj[1]) - pi[1], double(pj[2]) - pi[2]};
                double n[3];
                cross(edge, tris_[size_t(only)].normal, n);
                if (!normalise(n)) continue;
                const double d = -(n[0] * pi[0] + n[1] * pi[1] + n[2] * pi[2]);
                verts_[size_t(i)].q.addPlane(n[0], n[1], n[2], d, kBorderWeight);
                verts_[size_t(j)].q.addPlane(n[0], n[1], n[2], d, kBorderWeight);
            }
        }
        for (int a = 0; a < si.size; ++a)
            for (const int j : tris_[size_t(ti[a])].v) verts_[size_t(j)].mark = 0;
    }

    // First costs, then the heap in one go.
    heap_.clear();
    heap_.reserve(size_t(liveTriangles_) * 2);
    for (int i = 0; i < nt; ++i) {
        if ((i & kPollMask) == 0 && aborted()) return false;
        Triangle& t = tris_[size_t(i)];
        if (!t.alive) continue;
        computeCost(i);
        t.heapKey = t.key;
        heap_.push_back({t.key, i});
    }
    heapify();

    const double limit = double(errorBound) * sizeScale_ * sizeScale_;
    while (liveTriangles_ > minTriangles) {
        if (aborted()) return false;
        const int top = heapTop();
        if (top < 0 || -tris_[size_t(top)].key > limit) break;
        collapse(top);
    }
    return !aborted();
}

bool Decimator::compact() {
    std::vector<int> remap(verts_.size(), -1);
    int nv = 0;
    for (size_t i = 0; i < verts_.size(); ++i) {
        Vertex& v = verts_[i];
        if (v.alive && v.tris.size == 0) {
            v.alive = false;
            --liveVertices_;
        }
        if (!v.alive) continue;
        remap[i] = nv;
        if (int(i) != nv) verts_[size_t(nv)] = v;
        ++nv;
    }
    if (aborted()) return false;
    verts_.resize(size_t(nv));
    int kept = 0;
    for (size_t i = 0; i < tris_.size(); ++i) {
        Triangle t = tris_[i];
        if (!t.alive) continue;
        for (int& v : t.v) v = remap[size_t(v)];
        tris_[size_t(kept++)] = t;
    }
    tris_.resize(size_t(kept));
    pool_.clear();
    heap_.clear();
    return !aborted();
}

void Decimator::copyTo(MeshRecord& out, bool withValues) const {
    out.clear();
    out.numVertices = static_cast<int>(verts_.size());
    out.vertexCoords.resize(verts_.size() * 3);
    for (size_t i = 0; i < verts_.size(); ++i) std::copy(verts_[i].pos, verts_[i].pos + 3, &out.vertexCoords[3 * i]);
    if (withValues) {
        out.vertexColours.resize(verts_.size());
        for (size_t i = 0; i < verts_.size(); ++i) out.vertexColours[i] = verts_[i].value;
    }
    out.numFaces = static_cast<int>(tris_.size());
    out.numFaceEntries = 4 * out.numFaces;
    out.faceEntries.resize(size_t(out.numFaceEntries));
    for (size_t i = 0; i < tris_.size(); ++i) {
        int* e = &out.faceEntries[4 * i];
        e[0] = 3;
        e[1] = tris_[i].v[0];
        e[2] = tris_[i].v[1];
        e[3] = tris_[i].v[2];
    }
}

long long Decimator::FanTriangles(const std::vector<int>& faceEntries, int numFaces, int numFaceEntries) {
    const long long size = std::min<long long>(numFaceEntries, (long long)faceEntries.size());
    long long pos = 0, count = 0;
    for (int f = 0; f < numFaces && pos < size; ++f) {
        const int n = faceEntries[size_t(pos)];
        if (n < 0 || pos + 1 + n > size) break;
        if (n >= 3) count += n - 2;
        pos += 1 + n;
    }
    return count;
}

bool Decimator::Reduce(const GraphicData& data, float errorBound, const std::atomic<bool>* abort, MeshRecord& out,
                       int minTriangles) {
    out.clear();
    auto stop = [&] { return abort && abort->load(std::memory_order_relaxed); };
    try {
        const int nv = data.numVertices;
        if (nv <= 0 || data.vertexCoords.size() < size_t(nv) * 3) return false;
        const long long fan = FanTriangles(data.faceEntries, data.numFaces, data.numFaceEntries);
        if (fan <= 0 || fan > INT_MAX) return false;
        float scale = 0.0f;
        if (!data.boundsEmpty())
            for (int a = 0; a < 3; ++a) scale = std::max(scale, data.bounds[2 * a + 1] - data.bounds[2 * a]);

        Decimator dec(nv, static_cast<int>(fan), scale, abort);
        const bool values = data.vertexColours.size() == size_t(nv);
        for (int v = 0; v < nv; ++v) dec.addVertex(&data.vertexCoords[3 * size_t(v)], values ? data.vertexColours[size_t(v)] : -1.0f);
        if (stop()) return false;

        const long long size = std::min<long long>(data.numFaceEntries, (long long)data.faceEntries.size());
        long long pos = 0;
        for (int f = 0; f < data.numFaces && pos < size; ++f) {
            if ((f & kPollMask) == 0 && stop()) return false;
            const int n = data.faceEntries[size_t(pos)];
            if (n < 0 || pos + 1 + n > size) break;
            const int* idx = &data.faceEntries[size_t(pos) + 1];
            for (int k = 0; k + 2 < n; ++k) dec.addTriangle(idx[0], idx[k + 1], idx[k + 2]);
            pos += 1 + n;
        }
        if (stop() || !dec.decimate(errorBound, minTriangles) || !dec.compact()) return false;

        MeshRecord mesh;
        dec.copyTo(mesh, values);
        if (stop()) return false;
        GraphicData::ComputeFaceNormals(mesh.vertexCoords.data(), mesh.numVertices, mesh.faceEntries, mesh.numFaces,
                                        mesh.numFaceEntries, mesh.faceNormals);
        GraphicData::BuildAdjacency(mesh.numVertices, mesh.faceEntries, mesh.numFaces, mesh.vertexFaceStart,
                                    mesh.vertexFaces);
        if (stop()) return false;
        out = std::move(mesh);
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
}
