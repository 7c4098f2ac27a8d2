// The OpenGL renderer: construction, the list table, the fixed lists (axis
// letters and triads, border, background, glyphs), frames, viewports,
// projection, lighting, clip planes and matrices.  Object drawing is in
// GraphicsOGLDraw.cpp, picking and read-back in GraphicsOGLPick.cpp.
#include "render/GraphicsOGL.h"

#include "render/AxisLetters.h"
#include "render/ViewLayout.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef GL_FRAMEBUFFER
#define GL_FRAMEBUFFER 0x8D40
#endif
#ifndef GL_COLOR_ATTACHMENT0
#define GL_COLOR_ATTACHMENT0 0x8CE0
#endif

namespace {

constexpr double kPi = 3.141592653589793;

int batchFromEnvironment(const char* name, int fallback) {
    const char* v = std::getenv(name);
    if (!v) return fallback;
    int n = std::atoi(v);
    return n <= 0 ? 1 : n;
}

// A lit arrow of unit length along +z: shaft and cone head, 12 segments.
void drawArrow() {
    const int segments = 12;
    const float headRadius = 0.1f, headLength = 0.25f, shaftRadius = 0.025f;
    const float shaftEnd = 1.0f - headLength;
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i <= segments; ++i) {
        double a = 2.0 * kPi * i / segments;
        float c = float(std::cos(a)), s = float(std::sin(a));
        glNormal3f(c, s, 0.0f);
        glVertex3f(shaftRadius * c, shaftRadius * s, shaftEnd);
        glVertex3f(shaftRadius * c, shaftRadius * s, 0.0f);
    }
    glEnd();
    // Cone: the normal leans forward by the cone's half angle.
    const float slope = headRadius / headLength;
    const float nl = 1.0f / std::sqrt(1.0f + slope * slope);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < segments; ++i) {
        double a0 = 2.0 * kPi * i / segments, a1 = 2.0 * kPi * (i + 1) / segments, am = (a0 + a1) / 2;
        glNormal3f(float(std::cos(am)) * nl, float(std::sin(am)) * nl, slope * nl);
        glVertex3f(0.0f, 0.0f, 1.0f);
        glNormal3f(float(std::cos(a0)) * nl, float(std::sin(a0)) * nl, slope * nl);
        glVertex3f(headRadius * float(std::cos(a0)), headRadius * float(std::sin(a0)), shaftEnd);
        glNormal3f(float(std::cos(a1)) * nl, float(std::sin(a1)) * nl, slope * nl);
        glVertex3f(headRadius * float(std::cos(a1)), headRadius * float(std::sin(a1)), shaftEnd);
    }
    glEnd();
    // Back of the head and of the shaft.
    glNormal3f(0.0f, 0.0f, -1.0f);
    for (float z : {shaftEnd, 0.0f}) {
        float r = z == shaftEnd ? headRadius : shaftRadius;
        glBegin(GL_POLYGON);
        for (int i = segments; i > 0; --i) {
            double a = 2.0 * kPi * i / segments;
            glVertex3f(r * float(std::cos(a)), r * float(std::sin(a)), z);
        }
        glEnd();
    }
}

}  // namespace

// ---- construction -------------------------------------------------------------

GraphicsOGL::GraphicsOGL(vkoViewer* owner_, GLWindow* window_) : Graphics(owner_, window_) {
    faceBatch = batchFromEnvironment("VIEWER_FACE_LIST", 1000);
    lineBatch = batchFromEnvironment("VIEWER_LINE_LIST", 500);
    initialiseGL();
}

GraphicsOGL::~GraphicsOGL() {
    // The lists die with the context; delete them only while ours is current.
    if (context_ && QOpenGLContext::currentContext() == context_) {
        for (const Entry& e : entries_) glDeleteLists(kObjectListBase + e.slot, 1);
        glDeleteLists(1, kObjectListBase - 1);
    }
}

bool GraphicsOGL::glReady() const {
    return context_ != nullptr && QOpenGLContext::currentContext() == context_;
}

bool GraphicsOGL::initialiseGL() {
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current) return false;
    if (current != context_) {
        // A new context (or the first): its list space is empty.
        context_ = current;
        fixedListsBuilt_ = false;
        glyphFontsBuilt_ = 0;
        entries_.clear();
        freeSlots_.clear();
        nextSlot_ = 0;
        capacity_ = 0;
        glCulling_ = -1;
        lightingOn_ = false;
        listOpen_ = false;
    }
    if (fixedListsBuilt_) return true;
    fixedListsBuilt_ = true;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    buildLetterLists();
    buildAxisLists();
    buildBorderList();
    setupLighting();
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glCulling_ = CULL_NO;
    glEnable(GL_DEPTH_TEST);
    glClearColor(backgroundColour1[0], backgroundColour1[1], backgroundColour1[2], 0.0f);
    if (backgroundKind != 0) buildBackgroundList();
    return true;
}

void GraphicsOGL::setupLighting() {
    const GLfloat white[4] = {1, 1, 1, 1}, ambient[4] = {0.3f, 0.3f, 0.3f, 1};
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 100.0f);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_NORMALIZE);
    lightingOn_ = false;
}

void GraphicsOGL::buildLetterLists() {
    for (int size = 0; size < 2; ++size) {
        const AxisLetters::Size& sz = AxisLetters::kSizes[size];
        for (int i = 0; i < AxisLetters::Count; ++i) {
            std::vector<unsigned char> bits = AxisLetters::Bitmap(i, size);
            glNewList((size == 0 ? kLetterListsLarge : kLetterListsSmall) + i, GL_COMPILE);
            glBitmap(sz.width, sz.height, -2.0f, -2.0f, float(sz.advance), 0.0f, bits.data());
            glEndList();
        }
    }
}

void GraphicsOGL::buildAxisLists() {
    GLUquadric* quadric = gluNewQuadric();
    for (int type = 0; type < 3; ++type)
        for (int size = 0; size < 2; ++size) {
            const int letterBase = size == 0 ? kLetterListsLarge : kLetterListsSmall;
            glNewList(kAxisListBase + 2 * type + size, GL_COMPILE);
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            glLoadIdentity();
            glOrtho(-1, 1, -1, 1, -1000, 1000);
            glTranslatef(0, 0, 998);
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glScalef(0.7f, 0.7f, 0.7f);
            for (int a = 0; a < 3; ++a) {
                const AxisLetters::Arrow& ax = AxisLetters::kArrows[a];
                glColor3fv(ax.colour);
                // Raster colours would be lit: the letters go in plain colour.
                glDisable(GL_LIGHTING);
                glRasterPos3fv(ax.letterAt);
                glCallList(letterBase + AxisLetters::kAxisLetters[type][a]);
                glEnable(GL_LIGHTING);
                glPushMatrix();
                if (ax.angle != 0) glRotatef(ax.angle, ax.rx, ax.ry, ax.rz);
                drawArrow();
                glPopMatrix();
            }
            glColor3f(0, 1, 1);
            glPushMatrix();
            glTranslatef(0.5f, 0.5f, 0.5f);
            if (quadric) gluSphere(quadric, 0.1, 12, 12);
            glPopMatrix();
            glPopMatrix();
            glMatrixMode(GL_PROJECTION);
            glPopMatrix();
            glMatrixMode(GL_MODELVIEW);
            glEndList();
        }
    if (quadric) gluDeleteQuadric(quadric);
}

void GraphicsOGL::buildBorderList() {
    glNewList(kBorderList, GL_COMPILE);
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_LINE_LOOP);
    glVertex2f(-0.999f, -0.999f);
    glVertex2f(0.999f, -0.999f);
    glVertex2f(0.999f, 0.999f);
    glVertex2f(-0.999f, 0.999f);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    glEndList();
}

void GraphicsOGL::buildBackgroundList() {
    // Corner colours: lower-left always the second colour; kind 1 also the
    // lower right, kind 2 the upper left, kind 3 the upper right.
    const float* c1 = backgroundColour1;
    const float* c2 = backgroundColour2;
    const float* ll = c2;
    const float* lr = backgroundKind == 1 ? c2 : c1;
    const float* ul = backgroundKind == 2 ? c2 : c1;
    const float* ur = backgroundKind == 3 ? c2 : c1;
    glNewList(kBackgroundList, GL_COMPILE);
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    // Split along the lower-left to upper-right diagonal, so that the
    // diagonal kind shades symmetrically.
    glBegin(GL_TRIANGLE_FAN);
    glColor3fv(ll);
    glVertex2f(-1, -1);
    glColor3fv(lr);
    glVertex2f(1, -1);
    glColor3fv(ur);
    glVertex2f(1, 1);
    glEnd();
    glBegin(GL_TRIANGLE_FAN);
    glColor3fv(ll);
    glVertex2f(-1, -1);
    glColor3fv(ur);
    glVertex2f(1, 1);
    glColor3fv(ul);
    glVertex2f(-1, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    glEndList();
}

// ---- the glyph lists of the stroke fonts ----------------------------------------

void GraphicsOGL::GlyphLists::drawGlyph(Graphics&, const StrokeFont&, int fontIndex, int code) {
    if (fontIndex < 0 || fontIndex >= kMaxGlyphFonts || code < 32 || code >= 32 + StrokeFont::kMaxGlyphs) return;
    glCallList(kGlyphListBase + 96 * fontIndex + (code - 32));
}

void GraphicsOGL::ensureGlyphLists() {
    // Fonts arrive after construction (the viewer hands its array over); a
    // list cannot be built while another is open, so callers come here first.
    if (listOpen_ || !fonts) return;
    const int n = std::min(fontCount, kMaxGlyphFonts);
    for (int f = 0; f < n; ++f) {
        const StrokeFont* font = fonts[f];
        if (f < glyphFontsBuilt_ && glyphFonts_[f] == font) continue;
        glyphFonts_[f] = font;
        std::vector<float> xy;
        std::vector<int> counts;
        for (int c = 0; c < StrokeFont::kMaxGlyphs; ++c) {
            glNewList(kGlyphListBase + 96 * f + c, GL_COMPILE);
            if (font && font->isLoaded()) {
                font->glyphStrokes(32 + c, xy, counts);
                size_t at = 0;
                if (!font->hasPolygons()) glBegin(GL_LINES);
                for (int k : counts) {
                    if (font->hasPolygons()) glBegin(GL_POLYGON);
                    for (int j = 0; j < k; ++j) glVertex3f(xy[at + 2 * j], xy[at + 2 * j + 1], 0.0f);
                    if (font->hasPolygons()) glEnd();
                    at += size_t(2 * k);
                }
                if (!font->hasPolygons()) glEnd();
            }
            glEndList();
        }
    }
    glyphFontsBuilt_ = std::max(glyphFontsBuilt_, n);
}

// ---- the list table ---------------------------------------------------------------

int GraphicsOGL::findEntry(const Key& key) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, const Key& k) { return e.key < k; });
    if (it == entries_.end() || !(it->key == key)) return -1;
    return int(it - entries_.begin());
}

bool GraphicsOGL::hasList(int category, int objectId, int kind) const {
    return findEntry(Key{category, objectId, kind}) >= 0;
}

unsigned GraphicsOGL::listId(int category, int objectId, int kind) const {
    int i = findEntry(Key{category, objectId, kind});
    return i < 0 ? 0u : unsigned(kObjectListBase + entries_[size_t(i)].slot);
}

unsigned GraphicsOGL::openList(int category, int objectId, int kind) {
    if (!glReady()) return 0;
    if (listOpen_) closeList();
    ensureGlyphLists();
    Key key{category, objectId, kind};
    int i = findEntry(key);
    int slot;
    if (i >= 0) {
        slot = entries_[size_t(i)].slot;
    } else {
        if (!freeSlots_.empty()) {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
        } else {
            slot = nextSlot_++;
        }
        if (entries_.size() == capacity_) {
            capacity_ += kListTableGrowth;
            entries_.reserve(capacity_);
        }
        auto at = std::lower_bound(entries_.begin(), entries_.end(), key,
                                   [](const Entry& e, const Key& k) { return e.key < k; });
        entries_.insert(at, Entry{key, slot});
    }
    // A list never relies on colour state set outside it.
    invalidateCaches();
    const unsigned id = unsigned(kObjectListBase + slot);
    glNewList(id, GL_COMPILE);
    listOpen_ = true;
    return id;
}

void GraphicsOGL::closeList() {
    if (!listOpen_) return;
    glEndList();
    listOpen_ = false;
    invalidateCaches();
}

void GraphicsOGL::deleteList(int category, int objectId, int kind) {
    int i = findEntry(Key{category, objectId, kind});
    if (i < 0) return;
    const int slot = entries_[size_t(i)].slot;
    if (glReady()) glDeleteLists(kObjectListBase + slot, 1);
    entries_.erase(entries_.begin() + i);
    freeSlots_.push_back(slot);
}

void GraphicsOGL::deleteLists(int objectId, int textCount) {
    Graphics::deleteLists(objectId, textCount);
    for (int kind = 0; kind < textCount + 5; ++kind) {
        if (!hasList(CategoryMesh, objectId, kind)) {
            if (kind > 5) break;
            continue;
        }
        deleteList(CategoryMesh, objectId, kind);
    }
}

void GraphicsOGL::deletePrimitiveLists(int objectId) {
    Graphics::deletePrimitiveLists(objectId);
    deleteList(CategoryPrimitive, objectId, PRIM_LIST_FACES);
    deleteList(CategoryPrimitive, objectId, PRIM_LIST_LINES);
}

void GraphicsOGL::deleteOverlayLists(int objectId, int textCount) {
    Graphics::deleteOverlayLists(objectId, textCount);
    // Kinds 0..2 and the text list of every viewport (3 + 4 i).
    for (int kind = 0; kind < 3; ++kind) deleteList(CategoryOverlay, objectId, kind);
    const int viewports = std::max(4, textCount);
    for (int i = 0; i <= viewports; ++i) deleteList(CategoryOverlay, objectId, 3 + 4 * i);
    labelExtents_.erase(std::remove_if(labelExtents_.begin(), labelExtents_.end(),
                                       [&](const auto& p) { return p.first == objectId; }),
                        labelExtents_.end());
    imageSizes_.erase(std::remove_if(imageSizes_.begin(), imageSizes_.end(),
                                     [&](const auto& p) { return p.first == objectId; }),
                      imageSizes_.end());
}

// ---- colours -------------------------------------------------------------------

void GraphicsOGL::invalidateCaches() {
    currentColour[0] = currentColour[1] = currentColour[2] = currentColour[3] = -1.0f;
    currentColourValue = -1.0f;
    currentValueAlpha = -1.0f;
}

void GraphicsOGL::applyDeviceColour(const float rgb[3], float a) {
    if (rgb[0] == currentColour[0] && rgb[1] == currentColour[1] && rgb[2] == currentColour[2] &&
        a == currentColour[3])
        return;
    currentColour[0] = rgb[0];
    currentColour[1] = rgb[1];
    currentColour[2] = rgb[2];
    currentColour[3] = a;
    glColor4f(rgb[0], rgb[1], rgb[2], a);
}

void GraphicsOGL::setColour(const float rgb[3], float a) {
    float c[3] = {rgb[0], rgb[1], rgb[2]};
    convertColour(c);
    currentColourValue = -1.0f;
    if (!context_) return;
    applyDeviceColour(c, a);
}

void GraphicsOGL::setColourValue(float value) { Graphics::setColourValue(value); }

// ---- background, buffers, frames ---------------------------------------------------

void GraphicsOGL::setBackground(int kind, const float colour1[3], const float colour2[3]) {
    Graphics::setBackground(kind, colour1, colour2);
    // The clear colour and the background list are brought up to date by the
    // next frame, which has the context (a setting may arrive without one).
    backgroundDirty_ = true;
}

unsigned GraphicsOGL::colourBuffer(bool front) const {
    // A framebuffer object has one colour buffer for both roles.
    if (targetFramebuffer != 0) return GL_COLOR_ATTACHMENT0;
    return front ? GL_FRONT : GL_BACK;
}

void GraphicsOGL::bindTarget() {
    QOpenGLContext* c = QOpenGLContext::currentContext();
    if (!c) return;
    c->functions()->glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
}

void GraphicsOGL::chooseBuffer(int buffer) {
    Graphics::chooseBuffer(buffer);
    if (!glReady()) return;
    glDrawBuffer(colourBuffer(!doubleBuffered));
}

void GraphicsOGL::finishFrame() {
    if (!glReady()) return;
    glDisable(GL_SCISSOR_TEST);
    glFlush();
    if (doubleBuffered && !colourPickMode && swapBuffers) swapBuffers();
}

void GraphicsOGL::setViewport(float left, float bottom, float width, float height) {
    Graphics::setViewport(left, bottom, width, height);
    if (!glReady() || windowWidth <= 0 || windowHeight <= 0) return;
    glViewport(viewportPixels[0], viewportPixels[1], viewportPixels[2], viewportPixels[3]);
}

void GraphicsOGL::setScissor(float left, float bottom, float width, float height) {
    if (!glReady() || windowWidth <= 0 || windowHeight <= 0) return;
    int r[4];
    pixelRectangle(left, bottom, width, height, r);
    glScissor(r[0], r[1], std::max(0, r[2]), std::max(0, r[3]));
    glEnable(GL_SCISSOR_TEST);
}

bool GraphicsOGL::beginFrame(int index, bool clear) {
    Graphics::beginFrame(index, clear);
    if (!initialiseGL()) return false;
    bindTarget();
    glDrawBuffer(colourBuffer(!doubleBuffered));
    glReadBuffer(colourBuffer(!doubleBuffered));
    ensureGlyphLists();
    facePickBases_[0].clear();
    facePickBases_[1].clear();
    pickScratch_.forVertices = nullptr;
    setScissor(viewportLeft, viewportBottom, viewportWidth, viewportHeight);
    auto narrowScissor = [](const int r[4]) {
        GLint box[4];
        glGetIntegerv(GL_SCISSOR_BOX, box);
        const int x0 = std::max(box[0], std::min(r[0], r[2]));
        const int y0 = std::max(box[1], std::min(r[1], r[3]));
        const int x1 = std::min(box[0] + box[2] - 1, std::max(r[0], r[2]));
        const int y1 = std::min(box[1] + box[3] - 1, std::max(r[1], r[3]));
        glScissor(x0, y0, std::max(0, x1 - x0 + 1), std::max(0, y1 - y0 + 1));
    };
    if (frameClipOn) narrowScissor(frameClip);
    if (depthOnly) {
        // Only the depth under the pick rectangle is read back: keep the
        // pass inside it and away from the colour buffer, so that the frame
        // on the screen stays whole and the rasteriser does almost nothing.
        narrowScissor(pickRect);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    } else {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
    if (backgroundDirty_ && !listOpen_) {
        if (backgroundKind != 0) buildBackgroundList();
        backgroundDirty_ = false;
    }
    glClearColor(backgroundColour1[0], backgroundColour1[1], backgroundColour1[2], 0.0f);
    if (clear) {
        if (colourPickMode) {
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glClearColor(backgroundColour1[0], backgroundColour1[1], backgroundColour1[2], 0.0f);
        } else if (depthOnly) {
            glClear(GL_DEPTH_BUFFER_BIT);
        } else if (!selectionMode) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
    }
    invalidateCaches();
    if (selectionMode) {
        selectionBuffer_.assign(kSelectionBufferSize, 0u);
        glSelectBuffer(kSelectionBufferSize, selectionBuffer_.data());
        glRenderMode(GL_SELECT);
        glInitNames();
        clearPickHits();
    } else {
        glRenderMode(GL_RENDER);
    }
    return true;
}

void GraphicsOGL::endFrame() {
    if (!glReady()) return;
    if (depthOnly) glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (selectionMode) {
        int hits = glRenderMode(GL_RENDER);
        collectSelectionHits(hits);
    }
}

void GraphicsOGL::paintBackground() {
    if (!glReady() || backgroundKind == 0 || selectionMode || colourPickMode) return;
    glCallList(kBackgroundList);
    invalidateCaches();
}

void GraphicsOGL::renderBorder(bool current) {
    if (!glReady() || selectionMode || colourPickMode) return;
    float rgb[3] = {1, 1, 1};
    if (current) {
        rgb[0] = 1;
        rgb[1] = luminance(backgroundColour1) > 0.5f ? 0.0f : 1.0f;
        rgb[2] = 0;
    } else {
        convertColour(rgb, true);
    }
    applyDeviceColour(rgb, 1.0f);
    glCallList(kBorderList);
}

void GraphicsOGL::drawAxis(int axisType) {
    if (!glReady() || selectionMode || colourPickMode) return;
    if (axisType < 0 || axisType > 2) return;
    setLighting(true, false);
    setCulling(CULL_NO);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    const bool small = vp[2] < 60 || vp[3] < 60;
    glCallList(kAxisListBase + 2 * axisType + (small ? 1 : 0));
    invalidateCaches();
    setLighting(false, false);
}

// ---- projection and lighting ---------------------------------------------------

void GraphicsOGL::setProjection(bool orthographic) {
    if (!glReady()) return;
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    double window_[4];
    ViewWindow(vp[2], vp[3], window_);
    const double x0 = window_[0], x1 = window_[1], y0 = window_[2], y1 = window_[3];
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (selectionMode) {
        const double cx = 0.5 * (pickRect[0] + pickRect[2]), cy = 0.5 * (pickRect[1] + pickRect[3]);
        const double pw = std::max(1, pickRect[2] - pickRect[0] + 1), ph = std::max(1, pickRect[3] - pickRect[1] + 1);
        gluPickMatrix(cx, cy, pw, ph, vp);
    }
    const double ex = eyeOffset[0], ey = eyeOffset[1], ez = eyeOffset[2];
    if (orthographic) {
        glOrtho(x0 - ex, x1 - ex, y0 - ey, y1 - ey, -1000, 1000);
    } else {
        const double nearPlane = 0.1, farPlane = 100000.0;
        if (panoramaProjection) {
            glFrustum(-nearPlane, nearPlane, -nearPlane, nearPlane, nearPlane, farPlane);
        } else {
            // Window corners at depth 0, seen from the eye, on the near plane.
            double d = std::fabs(ez);
            if (d < 1e-6) d = 1.0;
            const double k = nearPlane / d;
            glFrustum((x0 - ex) * k, (x1 - ex) * k, (y0 - ey) * k, (y1 - ey) * k, nearPlane, farPlane);
        }
    }
    glTranslated(-ex, -ey, ez);
    glMatrixMode(GL_MODELVIEW);
}

void GraphicsOGL::setLighting(bool lit, bool specularOn) {
    if (!glReady() || selectionMode || colourPickMode) return;
    if (textureInUse) {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glRotatef(lightAngleXToZ - 63.434948f, 0, 1, 0);
        glRotatef(lightAngleZToY - 114.09484f, 1, 0, 0);
        glMatrixMode(GL_MODELVIEW);
    }
    if (!lit) {
        glFrontFace(GL_CCW);
        if (lightingOn_) {
            glDisable(GL_COLOR_MATERIAL);
            glDisable(GL_LIGHTING);
            glDisable(GL_NORMALIZE);
            lightingOn_ = false;
            lightPositionDirty = true;
        }
        return;
    }
    if (!lightingOn_) {
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_LIGHTING);
        glEnable(GL_NORMALIZE);
        lightingOn_ = true;
    }
    if (lightPositionDirty) {
        float position[4];
        lightPosition(position);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        glPopMatrix();
        lightPositionDirty = false;
    }
    const GLfloat on[4] = {1, 1, 1, 1}, off[4] = {0, 0, 0, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specularOn ? on : off);
    glFrontFace(mirrored ? GL_CW : GL_CCW);
}

void GraphicsOGL::setCulling(CullingMode mode) {
    Graphics::setCulling(mode);
    cullingMode = mode;
    if (!glReady() || int(mode) == glCulling_) return;
    glCulling_ = mode;
    if (mode == CULL_BACK) {
        glCullFace(GL_BACK);
        glEnable(GL_CULL_FACE);
    } else if (mode == CULL_FRONT) {
        glCullFace(GL_FRONT);
        glEnable(GL_CULL_FACE);
    } else {
        glDisable(GL_CULL_FACE);
    }
}

// ---- clip planes -----------------------------------------------------------------

void GraphicsOGL::enableClipPlane(int plane, const float p1[3], const float p2[3], const float p3[3], float offset) {
    if (!glReady() || plane < 0 || plane > 5) return;
    double eq[4];
    if (!planeFromPoints(p1, p2, p3, eq)) {
        glDisable(GL_CLIP_PLANE0 + plane);
        return;
    }
    eq[3] += offset;
    glClipPlane(GL_CLIP_PLANE0 + plane, eq);
    glEnable(GL_CLIP_PLANE0 + plane);
}

void GraphicsOGL::disableClipPlane(int plane) {
    if (!glReady() || plane < 0 || plane > 5) return;
    glDisable(GL_CLIP_PLANE0 + plane);
}

void GraphicsOGL::reenableClipPlane(int plane) {
    if (!glReady() || plane < 0 || plane > 5) return;
    glEnable(GL_CLIP_PLANE0 + plane);
}

// ---- projection of points ---------------------------------------------------------

namespace {
// The matrices and viewport that GLU projects with.
struct CurrentTransform {
    GLdouble mv[16], pr[16];
    GLint vp[4];
    CurrentTransform() {
        glGetDoublev(GL_MODELVIEW_MATRIX, mv);
        glGetDoublev(GL_PROJECTION_MATRIX, pr);
        glGetIntegerv(GL_VIEWPORT, vp);
    }
};
}  // namespace

bool GraphicsOGL::project(const double point[3], double win[3]) {
    if (!glReady()) return false;
    const CurrentTransform t;
    const GLdouble *mv = t.mv, *pr = t.pr;
    const GLint* vp = t.vp;
    return gluProject(point[0], point[1], point[2], mv, pr, vp, &win[0], &win[1], &win[2]) == GL_TRUE;
}

bool GraphicsOGL::unproject(const double win[3], double point[3]) {
    if (!glReady()) return false;
    const CurrentTransform t;
    const GLdouble *mv = t.mv, *pr = t.pr;
    const GLint* vp = t.vp;
    return gluUnProject(win[0], win[1], win[2], mv, pr, vp, &point[0], &point[1], &point[2]) == GL_TRUE;
}

// Kept in double precision all the way (the base rounds the point to float
// first); the float forms of the base reach project/unproject as they are.
bool GraphicsOGL::projectToFloat(const double point[3], float win[3]) {
    double w[3] = {0, 0, 0};
    bool ok = project(point, w);
    for (int i = 0; i < 3; ++i) win[i] = float(w[i]);
    return ok;
}

// ---- matrices -----------------------------------------------------------------------

void GraphicsOGL::pushMatrix() {
    if (glReady()) glPushMatrix();
}
void GraphicsOGL::popMatrix() {
    if (glReady()) glPopMatrix();
}
void GraphicsOGL::loadIdentity() {
    if (glReady()) glLoadIdentity();
}
void GraphicsOGL::scale(float x, float y, float z) {
    if (glReady()) glScalef(x, y, z);
}
void GraphicsOGL::translate(float x, float y, float z) {
    if (glReady()) glTranslatef(x, y, z);
}
void GraphicsOGL::rotate(float x, float y, float z, float angleDegrees) {
    if (glReady()) glRotatef(angleDegrees, x, y, z);
}
void GraphicsOGL::multMatrix(const float* matrix) {
    if (glReady() && matrix) glMultMatrixf(matrix);
}

// ---- immediate drawing -------------------------------------------------------------------

void GraphicsOGL::drawPoint(const float p[3], float red, float green, float blue, float size) {
    if (!glReady()) return;
    GLfloat previous = 1.0f;
    glGetFloatv(GL_POINT_SIZE, &previous);
    const float rgb[3] = {red, green, blue};
    setColour(rgb, 1.0f);
    glPointSize(size);
    glBegin(GL_POINTS);
    glVertex3fv(p);
    glEnd();
    glPointSize(previous);
}

void GraphicsOGL::drawLine(const float p[3], const float q[3], float red, float green, float blue, float width) {
    if (!glReady()) return;
    GLfloat previous = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &previous);
    const float rgb[3] = {red, green, blue};
    setColour(rgb, 1.0f);
    glLineWidth(width);
    glBegin(GL_LINES);
    glVertex3fv(p);
    glVertex3fv(q);
    glEnd();
    glLineWidth(previous);
}

void GraphicsOGL::drawSegmentValue(const float p[3], const float q[3], float colourValue) {
    if (!glReady()) return;
    setColourValue(colourValue);
    glBegin(GL_LINES);
    glVertex3fv(p);
    glVertex3fv(q);
    glEnd();
}

void GraphicsOGL::drawFaceOutline(int face, const float* vertices, const int* faceEntries, int numFaceEntries,
                                  float red, float green, float blue) {
    if (!glReady() || !vertices || !faceEntries || face < 0) return;
    // Walk to the face, never past the entry list.
    int at = 0;
    for (int f = 0; f < face; ++f) {
        if (at >= numFaceEntries) return;
        at += faceEntries[at] + 1;
    }
    if (at >= numFaceEntries || at + faceEntries[at] >= numFaceEntries) return;
    const int n = faceEntries[at];
    const float rgb[3] = {red, green, blue};
    setColour(rgb, 1.0f);
    glBegin(GL_POLYGON);
    for (int i = 1; i <= n; ++i) {
        const int v = faceEntries[at + i];
        if (v >= 0) glVertex3fv(vertices + 3 * v);
    }
    glEnd();
}

void GraphicsOGL::drawMirrorPlane(const float points[9], const float bounds[6]) {
    if (!glReady() || selectionMode || colourPickMode) return;
    const float* p1 = points;
    const float* p2 = points + 3;
    const float* p3 = points + 6;
    double u[3] = {double(p2[0]) - p1[0], double(p2[1]) - p1[1], double(p2[2]) - p1[2]};
    double v[3] = {double(p3[0]) - p1[0], double(p3[1]) - p1[1], double(p3[2]) - p1[2]};
    double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (nl == 0.0 || !std::isfinite(nl)) return;
    for (double& c : n) c /= nl;
    double centre[3] = {0.5 * (bounds[0] + bounds[1]), 0.5 * (bounds[2] + bounds[3]), 0.5 * (bounds[4] + bounds[5])};
    double dist = (centre[0] - p1[0]) * n[0] + (centre[1] - p1[1]) * n[1] + (centre[2] - p1[2]) * n[2];
    const double extent =
        std::max({double(bounds[1]) - bounds[0], double(bounds[3]) - bounds[2], double(bounds[5]) - bounds[4]});
    if (dist == 0.0) dist = extent / 1000.0;
    double c[3];
    for (int i = 0; i < 3; ++i) c[i] = centre[i] - dist * n[i];
    double r = std::sqrt((centre[0] - bounds[0]) * (centre[0] - bounds[0]) +
                         (centre[1] - bounds[2]) * (centre[1] - bounds[2]) +
                         (centre[2] - bounds[4]) * (centre[2] - bounds[4]));
    // In-plane axes: the first point direction, and the normal across it.
    double a[3] = {u[0], u[1], u[2]};
    double al = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    for (double& x : a) x /= al;
    double b[3] = {n[1] * a[2] - n[2] * a[1], n[2] * a[0] - n[0] * a[2], n[0] * a[1] - n[1] * a[0]};
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glColor4f(0.6f, 0.7f, 0.9f, 0.25f);
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
        const double sa = (k == 0 || k == 3) ? -r : r, sb = (k < 2) ? -r : r;
        glVertex3d(c[0] + sa * a[0] + sb * b[0], c[1] + sa * a[1] + sb * b[1], c[2] + sa * a[2] + sb * b[2]);
    }
    glEnd();
    glPopAttrib();
    invalidateCaches();
}

void GraphicsOGL::drawPickPolygon(int count, const int* points) {
    if (!glReady() || count <= 0 || !points || windowWidth <= 0 || windowHeight <= 0) return;
    const double W = windowWidth, H = windowHeight;
    const double m = std::max(1.0, std::min(W, H));
    glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_LINE_BIT);
    glViewport(0, 0, windowWidth, windowHeight);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_SCISSOR_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // The lasso keeps its pixel shape: both axes scaled by the shorter side.
    glOrtho(-W / m, W / m, -H / m, H / m, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(1, 0, 0, 1);
    glLineWidth(3.0f);
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < count; ++i)
        glVertex2d((2.0 * points[2 * i] - W) / m, (2.0 * points[2 * i + 1] - H) / m);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    invalidateCaches();
}
