#include "output/GraphicsAEARaster.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "platform/MessageSink.h"

namespace {

// Interpolated quantities of scan conversion, in this order.
enum Quantity { QX = 0, QZ, QR, QG, QB, QS, QT, QCount };

inline int roundToInt(double v) { return static_cast<int>(std::floor(v + 0.5)); }

inline unsigned char toByte(float c) {
    const float v = 255.0f * c + 0.5f;
    if (!(v > 0.0f)) return 0;
    return v >= 255.0f ? 255 : static_cast<unsigned char>(v);
}

// One texture coordinate to texel indices for bilinear filtering.
void linearIndices(float s, int size, unsigned wrap, int& i0, int& i1, float& f) {
    double u = double(s) * size;
    if (wrap == aegl::CLAMP) u = std::clamp(u, 0.0, double(size));
    u -= 0.5;
    const double fl = std::floor(u);
    f = static_cast<float>(u - fl);
    i0 = static_cast<int>(fl);
    i1 = i0 + 1;
    if (wrap == aegl::REPEAT) {
        if ((size & (size - 1)) == 0) {
            i0 &= size - 1;
            i1 &= size - 1;
        } else {
            i0 = ((i0 % size) + size) % size;
            i1 = ((i1 % size) + size) % size;
        }
    }
    auto fix = [&](int& i) {
        if (i < 0) i = wrap == aegl::REPEAT ? size - 1 : 0;
        if (i >= size) i = wrap == aegl::REPEAT ? 0 : size - 1;
    };
    fix(i0);
    fix(i1);
}

int nearestIndex(float s, int size, unsigned wrap) {
    if (wrap == aegl::REPEAT) {
        int i = static_cast<int>(double(s) * size);
        if (s < 0.0f) i -= 1;
        if ((size & (size - 1)) == 0) return i & (size - 1);
        return ((i % size) + size) % size;
    }
    if (s < 0.0f) return 0;
    if (s >= 1.0f) return size - 1;
    return std::min(size - 1, static_cast<int>(double(s) * size));
}

void sampleTexture(const WinTexture& tex, float s, float t, float out[4]) {
    const int W = tex.width, H = tex.height;
    const unsigned char* px = tex.rgba.data();
    if (tex.minFilter == aegl::LINEAR || tex.magFilter == aegl::LINEAR) {
        int i0, i1, j0, j1;
        float f, g;
        linearIndices(s, W, tex.wrapS, i0, i1, f);
        linearIndices(t, H, tex.wrapT, j0, j1, g);
        const unsigned char* a = px + 4 * (size_t(j0) * W + i0);
        const unsigned char* b = px + 4 * (size_t(j0) * W + i1);
        const unsigned char* c = px + 4 * (size_t(j1) * W + i0);
        const unsigned char* d = px + 4 * (size_t(j1) * W + i1);
        const float wa = (1 - f) * (1 - g), wb = f * (1 - g), wc = (1 - f) * g, wd = f * g;
        for (int k = 0; k < 4; ++k) out[k] = (wa * a[k] + wb * b[k] + wc * c[k] + wd * d[k]) / 255.0f;
        return;
    }
    const int i = nearestIndex(s, W, tex.wrapS), j = nearestIndex(t, H, tex.wrapT);
    const unsigned char* p = px + 4 * (size_t(j) * W + i);
    for (int k = 0; k < 4; ++k) out[k] = p[k] / 255.0f;
}

}  // namespace

// ---- store ------------------------------------------------------------------------

unsigned long long GraphicsAEARaster::AvailableMemory() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    unsigned long long value = 0;
    std::string unit;
    while (in >> key >> value >> unit) {
        if (key == "MemAvailable:") return value * 1024ull;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(page);
    return 1ull << 32;
}

unsigned long long GraphicsAEARaster::StoreBytes(int width, int height, bool depthOrdering) {
    if (width <= 0 || height <= 0) return 0;
    const unsigned long long pixels = static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
    if (pixels > static_cast<unsigned long long>(INT_MAX)) return 0;
    return pixels * (depthOrdering ? 3ull : static_cast<unsigned long long>(kRecordBytes));
}

bool GraphicsAEARaster::StoreFits(int width, int height, bool depthOrdering, std::string* message) {
    const unsigned long long bytes = StoreBytes(width, height, depthOrdering);
    const unsigned long long available = AvailableMemory();
    if (bytes > 0 && bytes <= available) return true;
    if (message) {
        char text[256];
        if (bytes == 0)
            std::snprintf(text, sizeof(text), "ERROR in GraphicsAEARaster: an image of %d x %d pixels cannot be rendered\n",
                          width, height);
        else
            std::snprintf(text, sizeof(text),
                          "ERROR in GraphicsAEARaster: an image of %d x %d pixels needs %llu MB, more than the %llu MB "
                          "of memory available\n",
                          width, height, bytes >> 20, available >> 20);
        *message = text;
    }
    return false;
}

GraphicsAEARaster::GraphicsAEARaster(Graphics* from, int width, int height, float tolerance, int multiplier,
                                     bool reverse, int colourMode)
    : GraphicsAEA(from, width, height, multiplier, reverse, colourMode) {
    if (tolerance > 0.0f) toleranceFactor = tolerance;
    fragmentMode = std::getenv("VIEWER_BSP") == nullptr;
    usable = false;
    std::string message;
    if (!StoreFits(width, height, !fragmentMode, &message)) {
        platform::ShowMessage(platform::MessageIcon::Error, message);
        return;
    }
    const size_t n = size_t(width) * size_t(height);
    if (fragmentMode) {
        records_.reset(new (std::nothrow) Fragment[n]);
        if (!records_) return;
        // Translucent fragments may take what is left, at most half of it.
        const unsigned long long left = AvailableMemory();
        fragmentLimit = static_cast<size_t>(std::min<unsigned long long>(UINT32_MAX - 1u, left / 2 / kRecordBytes));
    } else {
        rgb_.reset(new (std::nothrow) unsigned char[3 * n]);
        if (!rgb_) return;
    }
    usable = true;
    int box[4] = {0, 0, width, height};
    std::swap(box, scissor_);
    clearBuffers(aegl::COLOR_BUFFER_BIT | aegl::DEPTH_BUFFER_BIT);
    std::swap(box, scissor_);
}

GraphicsAEARaster::~GraphicsAEARaster() = default;

std::uint32_t GraphicsAEARaster::allocateFragment() {
    if (fragmentLimit && fragmentsUsed_ >= fragmentLimit) return 0;
    std::uint32_t index;
    if (freeList_) {
        index = freeList_;
        freeList_ = fragment(index).next;
    } else {
        if (nextFresh_ == 0) nextFresh_ = 1;  // index 0 means "none"
        const size_t chunk = nextFresh_ >> kChunkBits;
        if (chunk >= chunks_.size()) {
            if (nextFresh_ >= UINT32_MAX - (1u << kChunkBits)) return 0;
            std::unique_ptr<Fragment[]> block(new (std::nothrow) Fragment[size_t(1) << kChunkBits]);
            if (!block) return 0;
            try {
                chunks_.push_back(std::move(block));
            } catch (const std::bad_alloc&) {
                return 0;
            }
        }
        index = nextFresh_++;
    }
    ++fragmentsUsed_;
    return index;
}

void GraphicsAEARaster::freeChain(std::uint32_t first) {
    while (first) {
        Fragment& f = fragment(first);
        const std::uint32_t next = f.next;
        f.next = freeList_;
        freeList_ = first;
        --fragmentsUsed_;
        first = next;
    }
}

const GraphicsAEARaster::Fragment* GraphicsAEARaster::record(int x, int y) const {
    if (!records_ || x < 0 || y < 0 || x >= imageWidth || y >= imageHeight) return nullptr;
    return &records_[size_t(y) * size_t(imageWidth) + size_t(x)];
}

int GraphicsAEARaster::fragmentCount(int x, int y) const {
    const Fragment* p = record(x, y);
    int n = 0;
    for (std::uint32_t i = p ? p->next : 0; i; i = fragment(i).next) ++n;
    return n;
}

// ---- the seven operations -------------------------------------------------------------------

void GraphicsAEARaster::clearBuffers(unsigned) {
    if (!usable) return;
    const int x0 = std::max(0, scissor_[0]), y0 = std::max(0, scissor_[1]);
    const int x1 = std::min(imageWidth, scissor_[0] + scissor_[2]), y1 = std::min(imageHeight, scissor_[1] + scissor_[3]);
    unsigned char c[3];
    for (int i = 0; i < 3; ++i) c[i] = static_cast<unsigned char>(std::min(255, static_cast<int>(256.0f * clearColour_[i])));
    for (int y = y0; y < y1; ++y) {
        if (records_) {
            Fragment* row = &records_[size_t(y) * size_t(imageWidth)];
            for (int x = x0; x < x1; ++x) {
                Fragment& p = row[x];
                if (p.next && nextFresh_) freeChain(p.next);
                p.depth = 1.0f;
                p.rgba[0] = c[0];
                p.rgba[1] = c[1];
                p.rgba[2] = c[2];
                p.rgba[3] = 255;
                p.next = 0;
            }
        } else {
            unsigned char* row = &rgb_[3 * size_t(y) * size_t(imageWidth)];
            for (int x = x0; x < x1; ++x) std::memcpy(row + 3 * x, c, 3);
        }
    }
}

void GraphicsAEARaster::setPixelRegion(int x, int y, int width, int height) {
    // Never beyond the image.
    const int x0 = std::clamp(x, 0, imageWidth), y0 = std::clamp(y, 0, imageHeight);
    const int x1 = std::clamp(x + std::max(0, width), 0, imageWidth);
    const int y1 = std::clamp(y + std::max(0, height), 0, imageHeight);
    GraphicsAEA::setPixelRegion(x0, y0, x1 - x0, y1 - y0);
}

void GraphicsAEARaster::fillFlatTriangle(const WinVertex&, const WinVertex&, const WinVertex&, const float[4]) {}

void GraphicsAEARaster::insertFragment(Fragment& pixel, const unsigned char rgba[4], float depth, bool hasDepth) {
    const bool opaque = rgba[3] == 255;
    // The record holds the farthest opaque surface: anything behind it is
    // hidden.
    if (hasDepth && depth > pixel.depth) return;
    // Walk towards nearer fragments while the new one is at least as near
    // (a later fragment at equal depth goes in front of an earlier one).
    std::uint32_t* link = &pixel.next;
    float lastDepth = pixel.depth;
    while (*link) {
        Fragment& f = fragment(*link);
        if (hasDepth && depth > f.depth) break;  // f is nearer than the new one
        lastDepth = f.depth;
        link = &f.next;
    }
    if (!hasDepth) depth = lastDepth;
    if (opaque) {
        // The new record; whatever lay between it and the next nearer
        // fragment is covered.
        const std::uint32_t keep = *link;
        *link = 0;
        freeChain(pixel.next);
        pixel.next = keep;
        pixel.depth = depth;
        std::memcpy(pixel.rgba, rgba, 4);
        return;
    }
    const std::uint32_t index = allocateFragment();
    if (!index) return;  // this fragment only is lost
    Fragment& f = fragment(index);
    f.depth = depth;
    std::memcpy(f.rgba, rgba, 4);
    f.next = *link;
    *link = index;
}

void GraphicsAEARaster::writePixel(int x, int y, float r, float g, float b, float a, float depth) {
    const int* R = pixelRegion_;
    if (x < R[0] || y < R[1] || x >= R[0] + R[2] || y >= R[1] + R[3] || !usable) return;
    const size_t at = size_t(y) * size_t(imageWidth) + size_t(x);
    if (records_) {
        const unsigned char rgba[4] = {toByte(r), toByte(g), toByte(b), toByte(a)};
        Fragment& p = records_[at];
        if (rgba[3] == 255 && depthTest_ && !p.next) {
            // The common case: an opaque surface over a pixel without
            // translucent fragments.
            if (depth > p.depth) return;
            p.depth = depth;
            std::memcpy(p.rgba, rgba, 4);
            return;
        }
        insertFragment(p, rgba, depth, depthTest_);
        return;
    }
    unsigned char* p = &rgb_[3 * at];
    const float c[3] = {r, g, b};
    for (int k = 0; k < 3; ++k) {
        if (a < 1.0f) {
            const float v = p[k] * (1.0f - a) + 255.0f * c[k] * a + 0.5f;
            p[k] = static_cast<unsigned char>(std::clamp(v, 0.0f, 255.0f));
        } else {
            p[k] = static_cast<unsigned char>(std::clamp(255.0f * c[k], 0.0f, 255.0f));
        }
    }
}

void GraphicsAEARaster::drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba) {
    if (!usable || !rgba || width <= 0 || height <= 0) return;
    if (format != aegl::RGBA || type != aegl::UNSIGNED_BYTE) return;
    const int* box = scissorTest_ ? scissor_ : viewport_;
    setPixelRegion(box[0], box[1], box[2], box[3]);
    const double origin[3] = {0, 0, 0};
    double win[3] = {0, 0, 0};
    if (!project(origin, win)) return;
    const int ox = roundToInt(win[0] + rasterMove_[0]), oy = roundToInt(win[1] + rasterMove_[1]);
    const float depth = static_cast<float>(win[2]);
    const float z = zoom_[0] > 0.0f ? zoom_[0] : 1.0f;
    // Destination pixels map to source pixels through an accumulator that
    // advances the source each time it reaches the zoom factor.
    const int right = pixelRegion_[0] + pixelRegion_[2], top = pixelRegion_[1] + pixelRegion_[3];
    float accY = 0.0f;
    int sy = 0;
    for (int dy = oy; sy < height && dy < top; ++dy) {
        float accX = 0.0f;
        int sx = 0;
        for (int dx = ox; sx < width && dx < right; ++dx) {
            const unsigned char* p = rgba + 4 * (size_t(sy) * size_t(width) + size_t(sx));
            if (p[3] != 0)
                writePixel(dx, dy, p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f, depth);
            accX += 1.0f;
            while (accX >= z && sx < width) {
                accX -= z;
                ++sx;
            }
        }
        accY += 1.0f;
        while (accY >= z && sy < height) {
            accY -= z;
            ++sy;
        }
    }
}

// ---- scan conversion --------------------------------------------------------------------------

void GraphicsAEARaster::spanRow(int row, const float* left, const float* right, int count, float alpha,
                                const WinTexture* tex) {
    const float* l = left;
    const float* r = right;
    int xl = roundToInt(l[QX]), xr = roundToInt(r[QX]);
    if (xl > xr) {
        std::swap(l, r);
        std::swap(xl, xr);
    }
    if (xl == xr) return;
    const float inv = 1.0f / float(xr - xl);
    float step[QCount], v[QCount];
    for (int k = 1; k < count; ++k) {
        step[k] = (r[k] - l[k]) * inv;
        v[k] = l[k];
    }
    const int x0 = std::max(xl, pixelRegion_[0]);
    const int x1 = std::min(xr, pixelRegion_[0] + pixelRegion_[2]);
    if (x0 >= x1) return;
    if (x0 > xl)
        for (int k = 1; k < count; ++k) v[k] += step[k] * float(x0 - xl);
    if (!tex && records_) {
        // Untextured spans into the fragment store: what writePixel does,
        // without its region test (the callers keep rows and columns inside
        // the region) and with the alpha byte made once.
        const unsigned char a = toByte(alpha);
        const bool plain = a == 255 && depthTest_;
        Fragment* line = &records_[size_t(row) * size_t(imageWidth)];
        float z = v[QZ], cr = v[QR], cg = v[QG], cb = v[QB];
        const float dz = step[QZ], dr = step[QR], dg = step[QG], db = step[QB];
        for (int x = x0; x < x1; ++x, z += dz, cr += dr, cg += dg, cb += db) {
            const unsigned char rgba[4] = {toByte(cr), toByte(cg), toByte(cb), a};
            Fragment& p = line[x];
            if (plain && !p.next) {
                if (z > p.depth) continue;
                p.depth = z;
                std::memcpy(p.rgba, rgba, 4);
                continue;
            }
            insertFragment(p, rgba, z, depthTest_);
        }
        return;
    }
    for (int x = x0; x < x1; ++x) {
        float c[3] = {v[QR], v[QG], v[QB]};
        if (tex) {
            float texel[4];
            sampleTexture(*tex, v[QS], v[QT], texel);
            if (tex->envMode == aegl::DECAL) {
                for (int k = 0; k < 3; ++k) c[k] = texel[3] * texel[k] + (1.0f - texel[3]) * c[k];
            } else {
                for (int k = 0; k < 3; ++k) c[k] *= texel[k];
            }
        }
        writePixel(x, row, c[0], c[1], c[2], alpha, v[QZ]);
        for (int k = 1; k < count; ++k) v[k] += step[k];
    }
}

void GraphicsAEARaster::drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) {
    if (!usable) return;
    const WinTexture* tex = a.texture && a.texture->hasTexels() ? a.texture : nullptr;
    const WinVertex* v[3] = {&a, &b, &c};
    std::sort(v, v + 3, [](const WinVertex* p, const WinVertex* q) {
        return p->y < q->y || (p->y == q->y && p->x < q->x);
    });
    const WinVertex& T = *v[0];
    const WinVertex& M = *v[1];
    const WinVertex& B = *v[2];
    const int firstRow = roundToInt(T.y), endRow = roundToInt(B.y), middleRow = roundToInt(M.y);
    if (firstRow == endRow) return;
    const int count = tex ? QCount : QS;
    auto load = [count](const WinVertex& p, float out[QCount]) {
        out[QX] = p.x;
        out[QZ] = p.z;
        out[QR] = p.colour[0];
        out[QG] = p.colour[1];
        out[QB] = p.colour[2];
        if (count > QS) {
            out[QS] = p.s;
            out[QT] = p.t;
        }
    };
    float qt[QCount], qm[QCount], qb[QCount];
    load(T, qt);
    load(M, qm);
    load(B, qb);
    // Slopes per row of the three edges.
    float sTM[QCount], sMB[QCount], sTB[QCount];
    const float hTM = M.y - T.y, hMB = B.y - M.y, hTB = B.y - T.y;
    for (int k = 0; k < count; ++k) {
        sTM[k] = hTM != 0.0f ? (qm[k] - qt[k]) / hTM : 0.0f;
        sMB[k] = hMB != 0.0f ? (qb[k] - qm[k]) / hMB : 0.0f;
        sTB[k] = hTB != 0.0f ? (qb[k] - qt[k]) / hTB : 0.0f;
    }
    const int r0 = std::max(firstRow, pixelRegion_[1]);
    const int r1 = std::min(endRow, pixelRegion_[1] + pixelRegion_[3]);
    const float alpha = T.colour[3];
    float e1[QCount], e2[QCount];
    for (int row = r0; row < r1; ++row) {
        const float centre = float(row) + 0.5f;
        const float dTB = centre - T.y;
        for (int k = 0; k < count; ++k) e2[k] = qt[k] + dTB * sTB[k];
        if (row < middleRow) {
            const float d = centre - T.y;
            for (int k = 0; k < count; ++k) e1[k] = qt[k] + d * sTM[k];
        } else {
            const float d = centre - M.y;
            for (int k = 0; k < count; ++k) e1[k] = qm[k] + d * sMB[k];
        }
        spanRow(row, e1, e2, count, alpha, tex);
    }
}

void GraphicsAEARaster::drawWidePoint(float size, const WinVertex& v) {
    const int n = static_cast<int>(size * float(lineWidthMultiplier) + 0.5f);
    const int cx = roundToInt(v.x), cy = roundToInt(v.y);
    if (n > 1) {
        const int x0 = cx - n / 2, y0 = cy - n / 2;
        for (int y = y0; y < y0 + n; ++y)
            for (int x = x0; x < x0 + n; ++x)
                writePixel(x, y, v.colour[0], v.colour[1], v.colour[2], v.colour[3], v.z);
        return;
    }
    writePixel(cx, cy, v.colour[0], v.colour[1], v.colour[2], v.colour[3], v.z);
}

void GraphicsAEARaster::drawWideLine(float width, const WinVertex& a, const WinVertex& b) {
    const int n = static_cast<int>(width * float(lineWidthMultiplier) + 0.5f);
    if (n > 1) {
        drawWidePoint(width, a);
        const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d > 0.0) {
            const float ox = static_cast<float>(n * dy / (2 * d)), oy = static_cast<float>(n * -dx / (2 * d));
            auto moved = [](const WinVertex& p, float sx, float sy) {
                WinVertex q = p;
                q.x += sx;
                q.y += sy;
                q.texture = nullptr;
                return q;
            };
            const WinVertex am = moved(a, -ox, -oy), ap = moved(a, ox, oy), bm = moved(b, -ox, -oy),
                            bp = moved(b, ox, oy);
            drawShadedTriangle(am, ap, bp);
            drawShadedTriangle(am, bm, bp);
        }
        drawWidePoint(width, b);
        return;
    }
    // Thin lines: one pixel per column (x-major) or per row (y-major).
    const WinVertex* p = &a;
    const WinVertex* q = &b;
    if (q->y < p->y || (q->y == p->y && q->x < p->x)) std::swap(p, q);
    const float alpha = a.colour[3];
    const int px = roundToInt(p->x), py = roundToInt(p->y), qx = roundToInt(q->x), qy = roundToInt(q->y);
    auto at = [&](double t, float out[4]) {
        for (int k = 0; k < 3; ++k) out[k] = static_cast<float>(p->colour[k] + (q->colour[k] - p->colour[k]) * t);
        out[3] = static_cast<float>(p->z + (q->z - p->z) * t);
    };
    if (std::abs(qx - px) > std::abs(qy - py)) {
        if (q->x < p->x) std::swap(p, q);
        const double x0 = p->x, x1 = q->x, len = x1 - x0;
        const double dydx = len != 0.0 ? (double(q->y) - p->y) / len : 0.0;
        const double dzdx = len != 0.0 ? (double(q->z) - p->z) / len : 0.0;
        const int c0 = std::max(roundToInt(x0), pixelRegion_[0]);
        const int c1 = std::min(roundToInt(x1), pixelRegion_[0] + pixelRegion_[2]);
        for (int x = c0; x < c1; ++x) {
            const double t = len != 0.0 ? std::clamp((x + 0.5 - x0) / len, 0.0, 1.0) : 0.0;
            // The row whose centre is nearest the line at the column centre.
            const double y = p->y + (x + 0.5 - x0) * dydx;
            const int row = static_cast<int>(std::floor(y));
            float c[4];
            at(t, c);
            const double lift = std::min(0.0, (row + 0.5 - y) * dzdx);
            writePixel(x, row, c[0], c[1], c[2], alpha, static_cast<float>(c[3] + lift));
        }
        return;
    }
    const double y0 = p->y, y1 = q->y, len = y1 - y0;
    const double dxdy = len != 0.0 ? (double(q->x) - p->x) / len : 0.0;
    const int r0 = std::max(roundToInt(y0), pixelRegion_[1]);
    const int r1 = std::min(roundToInt(y1), pixelRegion_[1] + pixelRegion_[3]);
    for (int y = r0; y < r1; ++y) {
        const double t = len != 0.0 ? std::clamp((y + 0.5 - y0) / len, 0.0, 1.0) : 0.0;
        const int col = static_cast<int>(std::floor(p->x + (y + 0.5 - y0) * dxdy));
        float c[4];
        at(t, c);
        writePixel(col, y, c[0], c[1], c[2], alpha, c[3]);
    }
}

// ---- the picture ---------------------------------------------------------------------------------

std::vector<unsigned char> GraphicsAEARaster::readPixels() const {
    std::vector<unsigned char> out;
    if (!usable) return out;
    const size_t n = size_t(imageWidth) * size_t(imageHeight);
    try {
        out.resize(3 * n);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (!records_) {
        std::memcpy(out.data(), rgb_.get(), 3 * n);
        return out;
    }
    for (size_t i = 0; i < n; ++i) {
        const Fragment& p = records_[i];
        int c[3] = {p.rgba[0], p.rgba[1], p.rgba[2]};
        for (std::uint32_t f = p.next; f; f = fragment(f).next) {
            const Fragment& t = fragment(f);
            const int a = t.rgba[3];
            for (int k = 0; k < 3; ++k) c[k] = ((255 - a) * c[k] + a * t.rgba[k] + 127) / 255;
        }
        for (int k = 0; k < 3; ++k) out[3 * i + size_t(k)] = static_cast<unsigned char>(c[k]);
    }
    return out;
}
