#include "scene/GraphicData.h"

#include "geometry/LODThread.h"

#include <cstdlib>
#include <cmath>
#include <system_error>
#include <thread>

// ---------------------------------------------------------------- colour map

bool ColourMapRecord::lookup(float value, float rgb[3]) const {
    // NaN fails this test too: it names no colour.
    if (!(value >= 0.0f) || numEntries <= 0 || entries.size() != size_t(4) * size_t(numEntries))
        return false;
    const float* e = entries.data();
    auto copy = [&](int i) {
        rgb[0] = e[4 * i + 1];
        rgb[1] = e[4 * i + 2];
        rgb[2] = e[4 * i + 3];
        return true;
    };
    const int last = numEntries - 1;
    if (value <= e[0]) return copy(0);
    if (value >= e[4 * last]) return copy(last);
    int lo = 0, hi = last;  // e[lo] < value < e[hi]
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        const float v = e[4 * mid];
        if (v == value) return copy(mid);
        if (v < value)
            lo = mid;
        else
            hi = mid;
    }
    const float v0 = e[4 * lo], v1 = e[4 * hi];
    if (!(v1 > v0)) return copy(lo);  // unsorted or duplicate values: no division by zero
    const float t = (value - v0) / (v1 - v0);
    for (int c = 0; c < 3; ++c) rgb[c] = e[4 * lo + 1 + c] + t * (e[4 * hi + 1 + c] - e[4 * lo + 1 + c]);
    return true;
}

void ColourMapRecord::setSingle(float red, float green, float blue) {
    numEntries = 1;
    entries = {0.0f, red, green, blue};
}

// ---------------------------------------------------------------- GraphicData

GraphicData::GraphicData(vkoViewer* owner_, LinkStream* input_)
    : owner(owner_), input(input_), lodWorker(new LODThread(this)) {}

GraphicData::~GraphicData() { stopLodWorker(); }

bool GraphicData::startReduction(float errorBound) {
    if (const char* decimate = std::getenv("VIEWER_DECIMATE")) errorBound = static_cast<float>(std::atof(decimate));
    if (numFaces <= 100 || hasBackdrop() || !(errorBound >= 0.0f) || !lodWorker || lodWorker->isRunning())
        return false;
    // The worker is about to write the reduced mesh: drawing stops using it.
    reducedReady = false;
    lodWorker->setErrorBound(errorBound);
    lodWorker->start();
    return true;
}

bool GraphicData::isReducing() const { return lodWorker && lodWorker->isRunning(); }

void GraphicData::waitForReduction() {
    if (lodWorker) lodWorker->wait();
}

void GraphicData::requestAbort() {
    if (lodWorker) lodWorker->requestAbort();
}

bool GraphicData::acceptReducedMesh() {
    if (!lodWorker || reducedReady || lodWorker->isRunning()) return false;
    lodWorker->wait();  // already stopped: returns at once
    if (!lodWorker->resultsPublished()) return false;
    reducedReady = true;
    return reduced.numFaces > 0;
}

bool GraphicData::cancelReduction() {
    if (!isReducing()) return false;
    lodWorker->requestAbort();
    lodWorker->wait();
    lodWorker->discardResult();  // it may have finished just before the abort
    reducedReady = false;
    reduced.clear();
    return true;
}

void GraphicData::stopLodWorker() {
    if (lodWorker) {
        lodWorker->requestAbort();
        lodWorker->wait();
        delete lodWorker;
        lodWorker = nullptr;
    }
    reducedReady = false;
    reduced.clear();
}

bool GraphicData::boundsEmpty() const {
    for (float b : bounds)
        if (b != FLT_MAX) return false;
    return true;
}

bool GraphicData::lookupColour(float value, float rgb[3]) const {
    return colourMap && colourMap->lookup(value, rgb);
}

void GraphicData::computeBounds() {
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool any = false;
    const size_t n = std::min(vertexCoords.size() / 3, size_t(std::max(numVertices, 0)));
    for (size_t i = 0; i < n; ++i) {
        const float* p = &vertexCoords[3 * i];
        // Vertices with a NaN or infinite coordinate would poison fitting.
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
        any = true;
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
    }
    for (int a = 0; a < 3; ++a) {
        bounds[2 * a] = any ? lo[a] : FLT_MAX;
        bounds[2 * a + 1] = any ? hi[a] : FLT_MAX;
    }
}

namespace {

// From this many faces on, normals and adjacency are made side by side.
constexpr int kParallelFaces = 50000;

// Newell's normal of one face (indices in range), normalised; false for a
// face that cannot be measured (fewer than three edges of non-zero length,
// no area).  A triangle's sums reduce to the cross product of two
// edges, computed directly.
inline bool FaceNormal(const float* coords, const int* idx, int n, float out[3]) {
    double nx = 0, ny = 0, nz = 0;
    if (n == 3) {
        const float* a = coords + 3 * size_t(idx[0]);
        const float* b = coords + 3 * size_t(idx[1]);
        const float* c = coords + 3 * size_t(idx[2]);
        // A repeated corner needs no test of its own: it makes u or v zero,
        // or u equal to v, and so the normal exactly zero.
        const double ux = double(b[0]) - a[0], uy = double(b[1]) - a[1], uz = double(b[2]) - a[2];
        const double vx = double(c[0]) - a[0], vy = double(c[1]) - a[1], vz = double(c[2]) - a[2];
        nx = uy * vz - uz * vy;
        ny = uz * vx - ux * vz;
        nz = ux * vy - uy * vx;
    } else {
        int goodEdges = 0;
        for (int k = 0; k < n; ++k) {
            const float* b = coords + 3 * size_t(idx[k]);
            const float* c = coords + 3 * size_t(idx[k + 1 == n ? 0 : k + 1]);
            if (b[0] == c[0] && b[1] == c[1] && b[2] == c[2]) continue;
            ++goodEdges;
            nx -= double(c[1] - b[1]) * double(c[2] + b[2]);
            ny -= double(c[2] - b[2]) * double(c[0] + b[0]);
            nz -= double(c[0] - b[0]) * double(c[1] + b[1]);
        }
        if (goodEdges <= 2) return false;
    }
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(len > 0) || !std::isfinite(len)) return false;
    const double inverse = 1.0 / len;
    out[0] = float(nx * inverse);
    out[1] = float(ny * inverse);
    out[2] = float(nz * inverse);
    return true;
}

}  // namespace

bool GraphicData::MeasureFaces(const float* coords, int numVertices, const std::vector<int>& faceEntries,
                               int numFaces, int numFaceEntries, std::vector<float>& normals) {
    normals.clear();
    const long long entryCount = std::min<long long>(std::max(numFaceEntries, 0), (long long)faceEntries.size());
    if (numFaces <= 0 || !coords) return false;
    normals.reserve(size_t(std::min<long long>(numFaces, entryCount)) * 3);
    const unsigned limit = unsigned(std::max(numVertices, 0));
    // Normals go out a batch at a time.
    constexpr int kBatch = 512;
    float batch[3 * kBatch];
    int inBatch = 0;
    long long read = 0;
    for (int f = 0; f < numFaces; ++f) {
        if (read >= entryCount) return false;
        const int n = faceEntries[size_t(read)];
        if (n < 0 || read + 1 + n > entryCount) return false;
        const int* idx = &faceEntries[size_t(read) + 1];
        for (int k = 0; k < n; ++k)
            if (unsigned(idx[k]) >= limit) return false;
        if (!FaceNormal(coords, idx, n, batch + 3 * inBatch)) return false;
        if (++inBatch == kBatch) {
            normals.insert(normals.end(), batch, batch + 3 * kBatch);
            inBatch = 0;
        }
        read += n + 1;
    }
    normals.insert(normals.end(), batch, batch + 3 * inBatch);
    return read == entryCount;
}

void GraphicData::ComputeFaceNormals(const float* coords, int numVertices, std::vector<int>& faceEntries,
                                     int& numFaces, int& numFaceEntries, std::vector<float>& normals,
                                     std::vector<float>* faceValues, long long* unreadable) {
    const int entryCount = std::min<long long>(std::max(numFaceEntries, 0), (long long)faceEntries.size());
    const bool haveValues = faceValues && !faceValues->empty() && (long long)faceValues->size() == numFaces;
    normals.clear();
    if (numFaces > 0) normals.reserve(size_t(std::min(numFaces, entryCount)) * 3);
    int read = 0, write = 0, kept = 0, f = 0;
    long long outOfRange = 0;
    for (; f < numFaces && read < entryCount; ++f) {
        const int n = faceEntries[read];
        // A count that runs past the list leaves nothing parseable behind it.
        if (n < 0 || (long long)read + 1 + n > entryCount) break;
        const int* idx = &faceEntries[read + 1];
        bool inRange = true;
        if (n == 3) {
            // Unsigned compares: a negative index reads as a huge one.
            const unsigned limit = unsigned(std::max(numVertices, 0));
            inRange = unsigned(idx[0]) < limit && unsigned(idx[1]) < limit && unsigned(idx[2]) < limit;
        } else {
            for (int k = 0; k < n; ++k) inRange = inRange && idx[k] >= 0 && idx[k] < numVertices;
        }
        if (!inRange) ++outOfRange;
        float nrm[3];
        if (inRange && coords && FaceNormal(coords, idx, n, nrm)) {
            normals.insert(normals.end(), nrm, nrm + 3);
            // memmove semantics: write never passes read
            if (write != read)
                for (int k = 0; k <= n; ++k) faceEntries[write + k] = faceEntries[read + k];
            if (haveValues && kept != f) (*faceValues)[kept] = (*faceValues)[f];
            write += n + 1;
            ++kept;
        }
        read += n + 1;
    }
    if (unreadable) *unreadable = outOfRange + (numFaces - f);
    numFaces = kept;
    numFaceEntries = write;
    faceEntries.resize(size_t(write));
    if (haveValues) faceValues->resize(size_t(kept));
    if (kept == 0) {
        faceEntries.clear();
        normals.clear();
    }
}

void GraphicData::BuildAdjacency(int numVertices, const std::vector<int>& faceEntries, int numFaces,
                                 std::vector<int>& vertexFaceStart, std::vector<int>& vertexFaces) {
    vertexFaceStart.clear();
    vertexFaces.clear();
    if (numVertices <= 0) return;
    const size_t entryCount = faceEntries.size();
    auto forEachCorner = [&](auto&& visit) {
        size_t pos = 0;
        for (int f = 0; f < numFaces && pos < entryCount; ++f) {
            const int n = faceEntries[pos];
            if (n < 0 || pos + 1 + size_t(n) > entryCount) break;
            for (int k = 1; k <= n; ++k) {
                const int v = faceEntries[pos + k];
                if (v >= 0 && v < numVertices) visit(v, f);
            }
            pos += size_t(n) + 1;
        }
    };
    // The starts hold the counts first; each list's leading count is the
    // fill position while the faces are entered.
    vertexFaceStart.assign(size_t(numVertices), 0);
    forEachCorner([&](int v, int) { ++vertexFaceStart[size_t(v)]; });
    size_t total = 0;
    for (int v = 0; v < numVertices; ++v) {
        const size_t count = size_t(vertexFaceStart[size_t(v)]);
        vertexFaceStart[size_t(v)] = int(total);
        total += count + 1;
    }
    vertexFaces.assign(total, 0);
    forEachCorner([&](int v, int f) {
        int* list = &vertexFaces[size_t(vertexFaceStart[size_t(v)])];
        list[++list[0]] = f;
    });
}

long long GraphicData::computeFaceNormals() {
    long long unreadable = 0;
    if (vertexCoords.size() != size_t(std::max(numVertices, 0)) * 3) {
        // Vertices missing: no face can be measured.
        ComputeFaceNormals(nullptr, 0, faceEntries, numFaces, numFaceEntries, faceNormals, &faceColours, &unreadable);
    } else {
        ComputeFaceNormals(vertexCoords.data(), numVertices, faceEntries, numFaces, numFaceEntries, faceNormals,
                           &faceColours, &unreadable);
    }
    if (!faceColours.empty() && faceColours.size() != size_t(numFaces)) faceColours.clear();
    return unreadable;
}

long long GraphicData::computeNormalsAndAdjacency(bool withBounds) {
    const bool haveCoords = vertexCoords.size() == size_t(std::max(numVertices, 0)) * 3;
    if (!haveCoords || numFaces < kParallelFaces) {
        if (withBounds) computeBounds();
        const long long unreadable = computeFaceNormals();
        buildAdjacency();
        return unreadable;
    }
    // Both only read the faces.  When some face has to go after all, the
    // compacting path runs and the adjacency is built again.
    std::vector<int> start, faces;
    bool built = false;
    std::thread adjacency;
    try {
        adjacency = std::thread([&] {
            try {
                if (withBounds) computeBounds();
                BuildAdjacency(numVertices, faceEntries, numFaces, start, faces);
                built = true;
            } catch (const std::bad_alloc&) {
                start = {};
                faces = {};
            }
        });
    } catch (const std::system_error&) {
        if (withBounds) computeBounds();
        const long long unreadable = computeFaceNormals();
        buildAdjacency();
        return unreadable;
    }
    bool whole = false;
    try {
        whole = MeasureFaces(vertexCoords.data(), numVertices, faceEntries, numFaces, numFaceEntries, faceNormals);
    } catch (...) {
        adjacency.join();
        throw;
    }
    adjacency.join();
    if (whole && built) {
        if (!faceColours.empty() && faceColours.size() != size_t(numFaces)) faceColours.clear();
        vertexFaceStart = std::move(start);
        vertexFaces = std::move(faces);
        return 0;
    }
    const long long unreadable = computeFaceNormals();
    buildAdjacency();
    return unreadable;
}

void GraphicData::buildAdjacency() {
    BuildAdjacency(numVertices, faceEntries, numFaces, vertexFaceStart, vertexFaces);
}

namespace {
void Collapse(std::vector<float>& values, float& single) {
    if (!values.empty() && single < 0.0f) {
        bool allEqual = true;
        for (float v : values)
            if (v != values[0]) {
                allEqual = false;
                break;
            }
        if (allEqual) single = values[0];
    }
    if (single >= 0.0f) values.clear();
}
}  // namespace

void GraphicData::collapseColours() {
    Collapse(vertexColours, vertexColour);
    Collapse(lineColours, lineColour);
    Collapse(faceColours, faceColour);
}
