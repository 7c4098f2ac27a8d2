#pragma once
// Quadric-error triangle-collapse decimation of one mesh.  Triangles are
// collapsed to a single point, cheapest first, until only a minimum number
// is left or the cheapest collapse costs more than the error bound times the
// size scale squared.  Border edges are held in place by heavy constraint
// planes, so open surfaces keep their outline.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

struct MeshRecord;
class GraphicData;

// Allocator for the decimator's large tables: blocks of several megabytes
// are asked for as huge pages, since touching millions of small pages for
// the first time costs about as much as the decimation itself.
template <typename T>
struct LargeTableAllocator {
    using value_type = T;
    LargeTableAllocator() = default;
    template <typename U>
    LargeTableAllocator(const LargeTableAllocator<U>&) {}
    T* allocate(size_t n);
    void deallocate(T* p, size_t) { std::free(p); }
    template <typename U>
    bool operator==(const LargeTableAllocator<U>&) const { return true; }
};

class Decimator {
public:
    // Capacities are fixed: at most numVertices vertices and numTriangles
    // triangles.  abort (may be null) is polled between steps and inside
    // every loop.
    Decimator(int numVertices, int numTriangles, float sizeScale, const std::atomic<bool>* abort);
    Decimator(const Decimator&) = delete;
    Decimator& operator=(const Decimator&) = delete;

    void addVertex(const float position[3], float value);
    // Ignores a triangle with two equal indices (or an index out of range).
    void addTriangle(int a, int b, int c);

    // Plane and border quadrics, first costs, the heap, then the collapses.
    // False when aborted.
    bool decimate(float errorBound, int minTriangles = 100);
    // Drops unused vertices and renumbers the triangles; false when aborted.
    bool compact();

    int liveVertices() const { return liveVertices_; }
    int liveTriangles() const { return liveTriangles_; }
    int triangleCount() const { return static_cast<int>(tris_.size()); }
    // After compact(): live vertices first, in order, live triangles renumbered.
    // Copies them into a mesh record as faces [3, a, b, c]; values only with
    // withValues.  Leaves normals and adjacency to the caller.
    void copyTo(MeshRecord& out, bool withValues) const;

    // The whole reduction of an object's faces: fan triangulation, decimation,
    // compaction, normals and adjacency.  False (out left empty) when aborted
    // or out of memory.
    static bool Reduce(const GraphicData& data, float errorBound, const std::atomic<bool>* abort, MeshRecord& out,
                       int minTriangles = 100);
    // Triangles of the fan triangulation of a face entry list.
    static long long FanTriangles(const std::vector<int>& faceEntries, int numFaces, int numFaceEntries);

private:
    struct Quadric {
        double aa = 0, ab = 0, ac = 0, ad = 0, bb = 0, bc = 0, bd = 0, cc = 0, cd = 0, dd = 0;
        void addPlane(double a, double b, double c, double d, double weight);
        void add(const Quadric& q);
        double error(const float p[3]) const;
        double error(const double p[3]) const;
    };
    // A vertex's triangles live in one shared pool: off..off+size, room cap.
    struct TriSet {
        int off = 0;
        int size = 0;
        int cap = 0;
    };
    struct Vertex {
        bool alive = false;
        uint8_t mark = 0;
        float pos[3] = {0, 0, 0};
        float value = -1.0f;
        Quadric q;
        TriSet tris;
    };
    struct Triangle {
        bool alive = false;
        uint8_t mark = 0;
        double heapKey = 0;  // key of its newest heap entry; entries with another key are stale
        int v[3] = {0, 0, 0};
        float target[3] = {0, 0, 0};
        float targetValue = -1.0f;
        double normal[3] = {0, 0, 0};
        double key = 0;  // -cost
    };

    bool aborted() const { return abort_ && abort_->load(std::memory_order_relaxed); }
    void setAdd(int vertex, int tri);
    void setRemove(int vertex, int tri);
    const int* setBegin(int vertex) const { return &pool_[verts_[vertex].tris.off]; }
    void computeCost(int tri);
    void collapse(int tri);
    void deleteTriangle(int tri);
    int nextRandom();

    // The heap holds (key, triangle) entries and is updated lazily: a
    // collapse mostly makes its neighbours dearer, and sinking their entries
    // through every level would cost more than the collapses themselves.  A
    // cheaper triangle gets a new entry at once; a dearer one keeps its old
    // entry, which is put back with the current key when it reaches the top.
    struct HeapEntry {
        double key;
        int tri;
    };
    void siftUp(size_t pos);
    void siftDown(size_t pos);
    void heapify();
    void heapPush(int tri);  // after its cost changed
    int heapTop();  // the cheapest live triangle, -1 when none (drops stale entries)

    template <typename T>
    using Table = std::vector<T, LargeTableAllocator<T>>;
    Table<Vertex> verts_;
    Table<Triangle> tris_;
    Table<int> pool_;
    Table<HeapEntry> heap_;
    std::vector<int> scratch_;
    int capVertices_ = 0;
    int capTriangles_ = 0;
    int liveVertices_ = 0;
    int liveTriangles_ = 0;
    double sizeScale_ = 0;
    const std::atomic<bool>* abort_ = nullptr;
    uint32_t random_ = 1;
};
