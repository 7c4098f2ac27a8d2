// The OpenGL renderer: selection hits, colour-identifier picking under a
// rectangle or polygon mask, depth picking, the rubber band, screen grabs
// and coverage.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "render/GraphicsOGL.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"

namespace {
constexpr float kNearDepth = 0.0015f, kFarDepth = 0.9985f;
}

// ---- selection hits ----------------------------------------------------------------

void GraphicsOGL::collectSelectionHits(int hitCount) {
    clearPickHits();
    // An overflowing buffer reports -1: the records that fit are still whole.
    const size_t size = selectionBuffer_.size();
    struct Hit {
        unsigned names, zmin;
        size_t at;
    };
    std::vector<Hit> hits;
    size_t at = 0;
    for (int h = 0; (hitCount < 0 || h < hitCount) && int(hits.size()) < kMaxPickHits; ++h) {
        if (at + 3 > size) break;
        const unsigned names = selectionBuffer_[at];
        if (at + 3 + names > size) break;
        hits.push_back(Hit{names, selectionBuffer_[at + 1], at + 3});
        at += 3 + names;
        if (hitCount < 0 && names == 0 && selectionBuffer_[at - 2] == 0 && selectionBuffer_[at - 1] == 0) break;
    }
    bool anyMulti = false;
    for (const Hit& h : hits) anyMulti = anyMulti || h.names > 1;
    for (const Hit& h : hits) {
        if (h.names == 0 || (anyMulti && h.names == 1)) continue;
        PickRecord r;
        r.depth = float(double(h.zmin) / 4294967296.0);
        r.objectId = int(selectionBuffer_[h.at]);
        r.count = 1;
        r.element = h.names > 1 ? int(selectionBuffer_[h.at + 1]) : -1;
        addPickHit(r);
    }
}

// ---- colour identifiers ------------------------------------------------------------------

void GraphicsOGL::readIdentifiers(const std::vector<unsigned char>& mask, const int rect[4], bool onlyInside) {
    // rect: the GL viewport (x, y, w, h); mask: one byte per pixel of it.
    const int w = rect[2], h = rect[3];
    std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 3u);
    bindTarget();
    glReadBuffer(colourBuffer(!doubleBuffered));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(rect[0], rect[1], w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    PickIdSet& set = pickIds;
    set.reset();
    auto idAt = [&](size_t i) { return (int(rgb[3 * i]) << 16) | (int(rgb[3 * i + 1]) << 8) | int(rgb[3 * i + 2]); };
    const size_t n = size_t(w) * size_t(h);
    for (size_t i = 0; i < n; ++i) {
        if (!mask[i]) continue;
        const int id = idAt(i);
        if (id == 0 || set.present[size_t(id)]) continue;
        set.add(id);
    }
    if (onlyInside)
        for (size_t i = 0; i < n; ++i) {
            if (mask[i]) continue;
            const int id = idAt(i);
            if (id != 0 && set.present[size_t(id)]) {
                set.present[size_t(id)] = 0;
                --set.count;
            }
        }
    clearPickHits();
    if (pickConverter) pickConverter(set, pickHits);
}

void GraphicsOGL::pickRectangle(int x0, int y0, int x1, int y1, bool onlyInside) {
    if (!glReady() || windowWidth <= 0 || windowHeight <= 0) return;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    if (vp[2] <= 0 || vp[3] <= 0) return;
    // The rectangle within the GL viewport and the window.
    const int l = std::max({x0, int(vp[0]), 0}), r = std::min({x1, vp[0] + vp[2] - 1, windowWidth - 1});
    const int b = std::max({y0, int(vp[1]), 0}), t = std::min({y1, vp[1] + vp[3] - 1, windowHeight - 1});
    if (l > r || b > t) {
        pickIds.reset();
        clearPickHits();
        return;
    }
    if (!onlyInside) {
        // Only the pixels under the rectangle matter.
        const int rect[4] = {l, b, r - l + 1, t - b + 1};
        readIdentifiers(std::vector<unsigned char>(size_t(rect[2]) * size_t(rect[3]), 1), rect, false);
        return;
    }
    // What shows outside the rectangle rules items out: read the whole viewport.
    std::vector<unsigned char> mask(size_t(vp[2]) * size_t(vp[3]), 0);
    for (int y = b; y <= t; ++y)
        std::fill_n(mask.begin() + std::ptrdiff_t(size_t(y - vp[1]) * size_t(vp[2]) + size_t(l - vp[0])), r - l + 1,
                    static_cast<unsigned char>(1));
    const int rect[4] = {vp[0], vp[1], vp[2], vp[3]};
    readIdentifiers(mask, rect, true);
}

void GraphicsOGL::pickPolygon(int count, const int* points, bool onlyInside) {
    if (!glReady() || count < 3 || !points) return;
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    if (vp[2] <= 0 || vp[3] <= 0) return;
    // Without the inside rule only the polygon's bounding box is read.
    int rect[4] = {vp[0], vp[1], vp[2], vp[3]};
    if (!onlyInside) {
        int x0 = points[0], x1 = points[0], y0 = points[1], y1 = points[1];
        for (int i = 1; i < count; ++i) {
            x0 = std::min(x0, points[2 * i]), x1 = std::max(x1, points[2 * i]);
            y0 = std::min(y0, points[2 * i + 1]), y1 = std::max(y1, points[2 * i + 1]);
        }
        x0 = std::max(x0, int(vp[0])), x1 = std::min(x1, vp[0] + vp[2] - 1);
        y0 = std::max(y0, int(vp[1])), y1 = std::min(y1, vp[1] + vp[3] - 1);
        if (x0 > x1 || y0 > y1) {
            pickIds.reset();
            clearPickHits();
            return;
        }
        rect[0] = x0, rect[1] = y0, rect[2] = x1 - x0 + 1, rect[3] = y1 - y0 + 1;
    }
    // Pixel centres inside the polygon (even-odd rule) form the mask.
    std::vector<unsigned char> mask(size_t(rect[2]) * size_t(rect[3]), 0);
    std::vector<double> crossings;
    for (int row = 0; row < rect[3]; ++row) {
        const double y = rect[1] + row + 0.5;
        crossings.clear();
        for (int i = 0; i < count; ++i) {
            const int j = (i + 1) % count;
            const double ax = points[2 * i], ay = points[2 * i + 1], bx = points[2 * j], by = points[2 * j + 1];
            if ((ay <= y) == (by <= y)) continue;
            crossings.push_back(ax + (y - ay) * (bx - ax) / (by - ay));
        }
        std::sort(crossings.begin(), crossings.end());
        for (size_t k = 0; k + 1 < crossings.size(); k += 2)
            for (int col = 0; col < rect[2]; ++col) {
                const double x = rect[0] + col + 0.5;
                if (x >= crossings[k] && x < crossings[k + 1]) mask[size_t(row) * size_t(rect[2]) + size_t(col)] = 1;
            }
    }
    readIdentifiers(mask, rect, onlyInside);
}

int GraphicsOGL::facePickBase(int objectId, bool primitive) const {
    for (const auto& p : facePickBases_[primitive ? 1 : 0])
        if (p.first == objectId) return p.second;
    return 0;
}

void GraphicsOGL::RecordsFromPickIds(const vkoViewport& viewport, const GraphicsOGL& renderer, int method,
                                     const PickIdSet& ids, std::vector<PickRecord>& out) {
    out.clear();
    for (auto it = viewport.objects.rbegin(); it != viewport.objects.rend(); ++it) {
        if (int(out.size()) >= ids.count) break;
        const vkoGraphicObj* o = *it;
        if (!o || (!o->objectname.empty() && o->objectname[0] == '\t')) continue;
        if (method == 4) {
            if (o->pickBase > 0 && ids.has(o->pickBase)) out.push_back(PickRecord{1.0f, o->objectid, -1, -1});
            continue;
        }
        if (method != 1 && method != 2) continue;
        if (!o->data) continue;
        const int faceBase = renderer.facePickBase(o->objectid, false);
        if (faceBase > 0)
            for (int k = 0; k < o->data->numFaces && int(out.size()) < ids.count; ++k)
                if (ids.has(faceBase + k)) out.push_back(PickRecord{1.0f, o->objectid, -1, k});
        const int primBase = renderer.facePickBase(o->objectid, true);
        if (primBase > 0)
            for (int k = 0; k < o->data->primitive.shape.numFaces && int(out.size()) < ids.count; ++k)
                if (ids.has(primBase + k)) out.push_back(PickRecord{1.0f, o->objectid, -1, k});
    }
}

// ---- depth ------------------------------------------------------------------------------------

bool GraphicsOGL::pickDepthPoint(float out[3]) {
    if (!glReady()) return false;
    int x0 = std::min(pickRect[0], pickRect[2]), x1 = std::max(pickRect[0], pickRect[2]);
    int y0 = std::min(pickRect[1], pickRect[3]), y1 = std::max(pickRect[1], pickRect[3]);
    if (windowWidth > 0 && windowHeight > 0) {
        x0 = std::clamp(x0, 0, windowWidth - 1), x1 = std::clamp(x1, 0, windowWidth - 1);
        y0 = std::clamp(y0, 0, windowHeight - 1), y1 = std::clamp(y1, 0, windowHeight - 1);
    }
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    std::vector<float> depth(size_t(w) * size_t(h), 1.0f);
    bindTarget();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x0, y0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    float best = 1.0f;
    for (float d : depth)
        if (d > kNearDepth && d < best) best = d;
    if (!(best < kFarDepth)) return false;
    const double win[3] = {0.5 * (x0 + x1), 0.5 * (y0 + y1), best};
    return unprojectToFloat(win, out);
}

bool GraphicsOGL::findDepthNear(int x0, int y0, int x1, int y1, int* x, int* y, float* depth) {
    if (!glReady()) return false;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    if (windowWidth > 0 && windowHeight > 0) {
        x0 = std::clamp(x0, 0, windowWidth - 1), x1 = std::clamp(x1, 0, windowWidth - 1);
        y0 = std::clamp(y0, 0, windowHeight - 1), y1 = std::clamp(y1, 0, windowHeight - 1);
    }
    bindTarget();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const int cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    float best = 1.0f;
    std::vector<float> line;
    auto scan = [&](int ax, int ay, int w, int h) {
        if (w <= 0 || h <= 0) return;
        line.assign(size_t(w) * size_t(h), 1.0f);
        glReadPixels(ax, ay, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, line.data());
        for (float d : line)
            if (d > kNearDepth && d < best) best = d;
    };
    // Square rings around the centre, one pixel wider each step.
    for (int r = 0;; ++r) {
        const int l = std::max(x0, cx - r), rr = std::min(x1, cx + r);
        const int b = std::max(y0, cy - r), t = std::min(y1, cy + r);
        if (r == 0) {
            scan(cx, cy, 1, 1);
        } else {
            if (cy - r >= y0) scan(l, b, rr - l + 1, 1);
            if (cy + r <= y1) scan(l, t, rr - l + 1, 1);
            if (cx - r >= x0) scan(l, b, 1, t - b + 1);
            if (cx + r <= x1) scan(rr, b, 1, t - b + 1);
        }
        const bool covers = l == x0 && rr == x1 && b == y0 && t == y1;
        if (best < kFarDepth || covers) {
            if (!(best < kFarDepth)) return false;
            *x = l;
            *y = t;
            *depth = best;
            return true;
        }
    }
}

bool GraphicsOGL::pickOnSegment(const float a[3], const float b[3], float out[3]) {
    if (!glReady()) return false;
    float wa[3], wb[3];
    if (!projectFloat(a, wa) || !projectFloat(b, wb)) return false;
    const double cx = 0.5 * (pickRect[0] + pickRect[2]), cy = 0.5 * (pickRect[1] + pickRect[3]);
    if (wa[0] == wb[0] && wa[1] == wb[1]) return unprojectFloat(wa, out);
    double fx, fy;
    if (wa[0] == wb[0]) {
        fx = wa[0], fy = cy;
    } else if (wa[1] == wb[1]) {
        fx = cx, fy = wa[1];
    } else {
        const double dx = double(wb[0]) - wa[0], dy = double(wb[1]) - wa[1];
        const double t = ((cx - wa[0]) * dx + (cy - wa[1]) * dy) / (dx * dx + dy * dy);
        fx = wa[0] + t * dx, fy = wa[1] + t * dy;
    }
    const double d = std::hypot(double(wb[0]) - wa[0], double(wb[1]) - wa[1]);
    const double da = std::hypot(fx - wa[0], fy - wa[1]), db = std::hypot(fx - wb[0], fy - wb[1]);
    double z;
    if (da >= d) z = wb[2];
    else if (db >= d) z = wa[2];
    else z = wa[2] + da * (double(wb[2]) - wa[2]) / d;
    const double win[3] = {fx, fy, z};
    return unprojectToFloat(win, out);
}

// ---- rubber band -------------------------------------------------------------------------------

void GraphicsOGL::rubberBand(int phase, int x, int y) {
    if (phase == 1) {
        rubberAnchor_[0] = x, rubberAnchor_[1] = y;
        rubberValid_ = false;
        rubberSaved_.clear();
        return;
    }
    if (phase == 2 || !glReady() || windowWidth <= 0 || windowHeight <= 0) return;
    bindTarget();
    glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_PIXEL_MODE_BIT);
    glViewport(0, 0, windowWidth, windowHeight);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, windowWidth, 0, windowHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDrawBuffer(colourBuffer(true));
    glReadBuffer(colourBuffer(true));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // Edge strips of a rectangle: bottom and top rows, left and right columns.
    auto strips = [](const int r[4], int s[4][4]) {
        const int x0 = r[0], y0 = r[1], w = r[2], h = r[3];
        const int sv[4][4] = {{x0, y0, w, 1}, {x0, y0 + h - 1, w, 1}, {x0, y0, 1, h}, {x0 + w - 1, y0, 1, h}};
        std::copy(&sv[0][0], &sv[0][0] + 16, &s[0][0]);
    };
    auto put = [&](const int s[4], const unsigned char* px) {
        glRasterPos2i(s[0], s[1]);
        glDrawPixels(s[2], s[3], GL_RGB, GL_UNSIGNED_BYTE, px);
    };
    if (rubberValid_) {
        int s[4][4];
        strips(rubberRect_, s);
        size_t at = 0;
        for (auto& strip : s) {
            put(strip, rubberSaved_.data() + at);
            at += size_t(strip[2]) * size_t(strip[3]) * 3u;
        }
    }
    int x0 = std::clamp(std::min(rubberAnchor_[0], x), 0, windowWidth - 1);
    int x1 = std::clamp(std::max(rubberAnchor_[0], x), 0, windowWidth - 1);
    int y0 = std::clamp(std::min(rubberAnchor_[1], y), 0, windowHeight - 1);
    int y1 = std::clamp(std::max(rubberAnchor_[1], y), 0, windowHeight - 1);
    rubberRect_[0] = x0, rubberRect_[1] = y0, rubberRect_[2] = x1 - x0 + 1, rubberRect_[3] = y1 - y0 + 1;
    int s[4][4];
    strips(rubberRect_, s);
    rubberSaved_.clear();
    for (auto& strip : s) {
        std::vector<unsigned char> px(size_t(strip[2]) * size_t(strip[3]) * 3u);
        glReadPixels(strip[0], strip[1], strip[2], strip[3], GL_RGB, GL_UNSIGNED_BYTE, px.data());
        rubberSaved_.insert(rubberSaved_.end(), px.begin(), px.end());
        for (unsigned char& c : px) c = static_cast<unsigned char>(~c);
        put(strip, px.data());
    }
    rubberValid_ = true;
    glFlush();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    glDrawBuffer(colourBuffer(!doubleBuffered));
    invalidateCaches();
}

// ---- read-back ------------------------------------------------------------------------------

std::vector<unsigned char> GraphicsOGL::grabImage(int* width, int* height) {
    *width = 0, *height = 0;
    if (!glReady() || windowWidth <= 0 || windowHeight <= 0) return {};
    const int w = windowWidth, h = windowHeight;
    const size_t row = size_t(w) * 3u;
    std::vector<unsigned char> bottomUp(row * size_t(h));
    bindTarget();
    // After a swap the frame is in the front buffer; a framebuffer object
    // has just the one.
    glReadBuffer(colourBuffer(true));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    glReadBuffer(colourBuffer(!doubleBuffered));
    std::vector<unsigned char> out(bottomUp.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(bottomUp.data() + size_t(h - 1 - y) * row, row, out.data() + size_t(y) * row);
    *width = w, *height = h;
    return out;
}

float GraphicsOGL::coverage(float pixelScale) {
    if (!glReady() || windowWidth <= 0 || windowHeight <= 0 || !(pixelScale > 0.0f)) return 0.0f;
    const int w = windowWidth, h = windowHeight;
    std::vector<float> row(static_cast<size_t>(w), 0.0f);
    bindTarget();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    long long count = 0;
    for (int y = 0; y < h; ++y) {
        glReadPixels(0, y, w, 1, GL_DEPTH_COMPONENT, GL_FLOAT, row.data());
        for (float d : row)
            if (d > kNearDepth && d < kFarDepth) ++count;
    }
    const double aspect = double(w) / double(h);
    const double area = aspect >= 1.0 ? (2.0 * aspect) * 2.0 : 2.0 * (2.0 / aspect);
    return float(double(count) / (double(w) * h) * area / (double(pixelScale) * pixelScale));
}
