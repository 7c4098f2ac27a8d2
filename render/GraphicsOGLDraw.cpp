// The OpenGL renderer: object lists (faces, lines, points, 3D texts and the
// generated primitive), their calls with per-call state, textures, the 2D
// items with their placement, and the ruler.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/GraphicsOGL.h"
#include "render/ViewLayout.h"
#include "scene/GraphicData.h"

namespace {

// Face n and its first vertex entry, walking the entry list.
struct FaceWalker {
    const int* entries;
    int numEntries;
    int at = 0;
    bool valid() const { return at < numEntries && entries[at] >= 0 && at + entries[at] < numEntries; }
    int size() const { return entries[at]; }
    const int* vertices() const { return entries + at + 1; }
    void next() { at += entries[at] + 1; }
};

bool isBackdrop(const TextureRecord* t) {
    return t && (t->kind == TEXTURE_BACKDROP_ROTATING || t->kind == TEXTURE_BACKDROP_FIXED);
}

}  // namespace

// ---- faces ------------------------------------------------------------------------

void GraphicsOGL::setupTexture() {
    const TextureRecord* t = texture;
    if (!t || t->width <= 0 || t->height <= 0 ||
        t->pixels.size() < size_t(t->width) * size_t(t->height) * 4u)
        return;
    glEnable(GL_NORMALIZE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, t->mode == 1 ? GL_DECAL : GL_MODULATE);
    if (t->kind == TEXTURE_SPHERE_MAP) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else if (!t->isBackdrop()) {
        double s[3], tt[3];
        planarTextureAxes(t->direction, s, tt);
        const GLdouble sPlane[4] = {s[0], s[1], s[2], 0}, tPlane[4] = {tt[0], tt[1], tt[2], 0};
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGendv(GL_S, GL_OBJECT_PLANE, sPlane);
        glTexGendv(GL_T, GL_OBJECT_PLANE, tPlane);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        // One image (corrected for its aspect ratio) per size, turned by the
        // angle, with the origin at the image centre.
        const float size = t->size != 0.0f ? t->size : 1.0f;
        const float aspect = float(t->width) / float(t->height);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glTranslatef(0.5f, 0.5f, 0.0f);
        glScalef(1.0f / size, aspect / size, 1.0f);
        glRotatef(t->angle, 0, 0, 1);
        glTranslatef(-t->origin[0], -t->origin[1], 0.0f);
        glMatrixMode(GL_MODELVIEW);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
    const GLint wrap = t->repeat ? GL_REPEAT : GL_CLAMP;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    const GLfloat border[4] = {1, 1, 1, 0};
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, t->width, t->height, 0, GL_RGBA, GL_UNSIGNED_BYTE, t->pixels.data());
}

void GraphicsOGL::scissorOutcodes(const float* vertices, int count, PickScratch& out) const {
    if (count <= 0 || !glIsEnabled(GL_SCISSOR_TEST)) {
        out.outcodes.clear();
        out.window.clear();
        out.forVertices = nullptr;
        return;
    }
    GLint box[4], vp[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glGetIntegerv(GL_VIEWPORT, vp);
    GLdouble mv[16], pr[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    double m[16];  // projection x modelview, column-major
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += pr[4 * k + r] * mv[4 * c + k];
            m[4 * c + r] = sum;
        }
    // The edge draw right after the face draw of the same vertices reuses
    // the codes; a new frame forgets them (the vertices may have changed).
    if (out.forVertices == vertices && out.forCount == count && std::equal(m, m + 16, out.matrix) &&
        std::equal(box, box + 4, out.box) && std::equal(vp, vp + 4, out.viewport))
        return;
    out.forVertices = vertices;
    out.forCount = count;
    std::copy(m, m + 16, out.matrix);
    std::copy(box, box + 4, out.box);
    std::copy(vp, vp + 4, out.viewport);
    // Window coordinates of the box, two pixels wider for line ends and
    // rounding.  A vertex not in front of the eye is marked kBehind only:
    // its faces are always drawn.
    const double x0 = box[0] - 2.0, x1 = box[0] + box[2] + 2.0, y0 = box[1] - 2.0, y1 = box[1] + box[3] + 2.0;
    out.outcodes.resize(size_t(count));
    out.window.resize(2u * size_t(count));
    for (int i = 0; i < count; ++i) {
        const double x = vertices[3 * i], y = vertices[3 * i + 1], z = vertices[3 * i + 2];
        const double cw = m[3] * x + m[7] * y + m[11] * z + m[15];
        if (!(cw > 1e-12)) {
            out.outcodes[size_t(i)] = PickScratch::kBehind;
            continue;
        }
        const double wx = vp[0] + vp[2] * 0.5 * ((m[0] * x + m[4] * y + m[8] * z + m[12]) / cw + 1.0);
        const double wy = vp[1] + vp[3] * 0.5 * ((m[1] * x + m[5] * y + m[9] * z + m[13]) / cw + 1.0);
        out.window[2u * size_t(i)] = float(wx);
        out.window[2u * size_t(i) + 1u] = float(wy);
        out.outcodes[size_t(i)] = static_cast<unsigned char>((wx < x0 ? 1 : 0) | (wx > x1 ? 2 : 0) |
                                                             (wy < y0 ? 4 : 0) | (wy > y1 ? 8 : 0));
    }
}

void GraphicsOGL::emitPickFacesGL(const FaceSet& f, bool primitive) {
    const bool perFace = pickable && pickMethod == 1;
    float constant[3] = {0.0f, 0.0f, 0.0f};
    if (pickable && pickMethod == 4) std::copy(pickColour, pickColour + 3, constant);

    // Face k has identifier base + k whether or not it can be drawn, which
    // is how the identifiers are turned back into face numbers.
    int base = 0, identified = 0;
    if (perFace) {
        base = pickCounter;
        facePickBases_[primitive ? 1 : 0].emplace_back(currentObject, base);
        identified = int(std::min<long long>(f.numFaces, std::max(0, kPickIdLimit - base)));
        pickCounter = base + identified;
        // Faces past the limit stay black; the message is given once.
        if (identified < f.numFaces) allocatePickId();
    }

    // Faces wholly off one side of the scissor box leave no pixel: on a
    // large mesh most of a region pick's faces are dropped here, before
    // the rasteriser has to set each of them up (twice, with the edges).
    scissorOutcodes(f.vertices, f.numVertices, pickScratch_);
    const std::vector<unsigned char>& outcodes = pickScratch_.outcodes;
    const std::vector<float>& window = pickScratch_.window;
    auto offRegion = [&](const FaceWalker& fw) {
        if (outcodes.empty()) return false;
        unsigned char all = 0xff;
        for (int i = 0; i < fw.size(); ++i) all &= outcodes[size_t(fw.vertices()[i])];
        return (all & 0x0f) != 0;
    };
    // A filled face makes fragments only at the pixel centres it covers: a
    // face (most faces of a mesh finer than the pixels) whose window extent
    // holds no centre is left out.  The extent is widened a little for the
    // rasteriser's own rounding.
    GLint polygonModes[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, polygonModes);
    const bool filled = !pickEdgePass_ && polygonModes[0] == GL_FILL && polygonModes[1] == GL_FILL;
    auto missesCentres = [&](const FaceWalker& fw) {
        if (!filled || outcodes.empty()) return false;
        constexpr float kSlack = 1.0f / 32.0f;
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        for (int i = 0; i < fw.size(); ++i) {
            const size_t v = size_t(fw.vertices()[i]);
            if (outcodes[v] & PickScratch::kBehind) return false;
            for (int c = 0; c < 2; ++c) {
                lo[c] = std::min(lo[c], window[2 * v + size_t(c)]);
                hi[c] = std::max(hi[c], window[2 * v + size_t(c)]);
            }
        }
        for (int c = 0; c < 2; ++c)
            if (std::floor(hi[c] + kSlack - 0.5f) < std::ceil(lo[c] - kSlack - 0.5f)) return true;
        return false;
    };
    // Edges shared by two triangles are drawn once, from the triangle that
    // runs them from the higher to the lower vertex number, when the mesh
    // says which triangles meet at a vertex.
    bool triangleMesh = pickEdgePass_ && f.vertexFaceStart && f.vertexFaces &&
                        size_t(f.numFaceEntries) == size_t(4) * size_t(f.numFaces);
    for (int g = 0; triangleMesh && g < f.numFaces; ++g) triangleMesh = f.faceEntries[4 * g] == 3;
    auto drawnByTwin = [&](int face, int a, int b) {
        if (!triangleMesh || a < b) return false;
        const int* around = f.vertexFaces + f.vertexFaceStart[a];
        for (int j = 1; j <= around[0]; ++j) {
            const int g = around[j];
            if (g == face || g < 0 || g >= f.numFaces) continue;
            const int* e = f.faceEntries + 4 * g + 1;
            const bool runsBack = (e[0] == b && e[1] == a) || (e[1] == b && e[2] == a) || (e[2] == b && e[0] == a);
            // The twin is drawn only when it is a face that can be drawn.
            if (runsBack && e[0] >= 0 && e[0] < f.numVertices && e[1] >= 0 && e[1] < f.numVertices && e[2] >= 0 &&
                e[2] < f.numVertices)
                return true;
        }
        return false;
    };
    auto usable = [&](const FaceWalker& fw) {
        const int n = fw.size();
        if (n < 3) return false;
        for (int i = 0; i < n; ++i)
            if (fw.vertices()[i] < 0 || fw.vertices()[i] >= f.numVertices) return false;
        return true;
    };

    glShadeModel(GL_FLAT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (perFace && !pickEdgePass_) glEnableClientState(GL_COLOR_ARRAY);
    else glDisableClientState(GL_COLOR_ARRAY);
    applyDeviceColour(constant, 1.0f);

    // Corners are copied out in small batches (triangles, quads, edge
    // segments), with the face's identifier when each face has its own:
    // arrays of the whole mesh would cost more in fresh memory than the
    // copying saves.
    constexpr size_t kBatchCorners = 3u * 16384u;
    constexpr GLenum kModes[3] = {GL_TRIANGLES, GL_QUADS, GL_LINES};
    auto& positions = pickScratch_.positions;
    auto& colours = pickScratch_.colours;
    for (int k = 0; k < 3; ++k) {
        positions[k].clear();
        colours[k].clear();
        positions[k].reserve(3u * kBatchCorners + 12u);
        if (perFace) colours[k].reserve(3u * kBatchCorners + 12u);
    }
    auto flush = [&](int k) {
        if (positions[k].empty()) return;
        glVertexPointer(3, GL_FLOAT, 0, positions[k].data());
        if (!colours[k].empty()) glColorPointer(3, GL_UNSIGNED_BYTE, 0, colours[k].data());
        glDrawArrays(kModes[k], 0, GLsizei(positions[k].size() / 3u));
        positions[k].clear();
        colours[k].clear();
    };
    auto corner = [&](int k, int vertex, const unsigned char* rgb) {
        const float* p = f.vertices + 3 * vertex;
        positions[k].insert(positions[k].end(), p, p + 3);
        if (rgb) colours[k].insert(colours[k].end(), rgb, rgb + 3);
    };
    std::vector<std::pair<int, int>> polygons;  // (entry offset, face) of faces with more than four corners
    FaceWalker w{f.faceEntries, f.numFaceEntries};
    for (int face = 0; face < f.numFaces && w.valid(); ++face, w.next()) {
        if (!usable(w) || offRegion(w)) continue;
        const int n = w.size();
        const int* v = w.vertices();
        if (pickEdgePass_) {
            // Each face's outline as separate segments, as an outlined
            // polygon draws it.
            for (int i = 0; i < n; ++i) {
                const int a = v[i], b = v[(i + 1) % n];
                if (drawnByTwin(face, a, b)) continue;
                corner(2, a, nullptr);
                corner(2, b, nullptr);
            }
            if (positions[2].size() >= 3u * kBatchCorners) flush(2);
            continue;
        }
        if (missesCentres(w)) continue;
        if (n > 4) {
            polygons.emplace_back(w.at, face);
            continue;
        }
        const int k = n == 3 ? 0 : 1;
        unsigned char rgb[3];
        if (perFace) {
            const unsigned id = face < identified ? unsigned(base + face) : 0u;
            rgb[0] = static_cast<unsigned char>(id >> 16), rgb[1] = static_cast<unsigned char>(id >> 8);
            rgb[2] = static_cast<unsigned char>(id);
        }
        for (int i = 0; i < n; ++i) corner(k, v[i], perFace ? rgb : nullptr);
        if (positions[k].size() >= 3u * kBatchCorners) flush(k);
    }
    for (int k = 0; k < 3; ++k) flush(k);
    glPopClientAttrib();
    invalidateCaches();
    // Faces of more than four corners one by one (rare in meshes).
    for (const auto& [at, face] : polygons) {
        FaceWalker p{f.faceEntries, f.numFaceEntries, at};
        float rgb[3] = {constant[0], constant[1], constant[2]};
        if (perFace) pickIdColour(face < identified ? base + face : 0, rgb);
        applyDeviceColour(rgb, 1.0f);
        glBegin(GL_POLYGON);
        for (int i = 0; i < p.size(); ++i) glVertex3fv(f.vertices + 3 * p.vertices()[i]);
        glEnd();
    }
    glShadeModel(GL_SMOOTH);
}

void GraphicsOGL::emitFacesGL(const FaceSet& f, bool primitive) {
    if (f.numFaces <= 0 || !f.faceEntries || !f.vertices) return;
    if (colourPickMode) {
        emitPickFacesGL(f, primitive);
        return;
    }
    const bool named = selectionMode && pickable && pickMethod == 0;
    const bool textured = textureInUse && texture;
    const bool backdrop = textured && isBackdrop(texture);
    const float faceAlpha = 1.0f - f.transparency;
    if (faceAlpha < 1.0f) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
    }
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(0.5f * float(polygonOffset), 0.0f);
    if (textured) setupTexture();
    // Faces without colour values hide what lies behind them; a
    // primitive's template takes its instance's colour instead.
    if (!primitive) {
        float bg[3] = {backgroundColour1[0], backgroundColour1[1], backgroundColour1[2]};
        applyDeviceColour(bg, faceAlpha);
    }
    const float savedAlpha = alpha;
    alpha = faceAlpha;

    const bool hasFaceValues = f.faceColours != nullptr;
    const bool smooth = f.smooth && f.faceNormals && f.vertexFaceStart && f.vertexFaces;
    glShadeModel(smooth ? GL_SMOOTH : GL_FLAT);

    auto faceColour = [&](const FaceWalker& w, int face) {
        if (f.faceColour >= 0.0f) {
            setColourValue(f.faceColour);
        } else if (hasFaceValues && f.faceColours[face] >= 0.0f) {
            setColourValue(f.faceColours[face]);
        } else if (f.vertexColour >= 0.0f) {
            setColourValue(f.vertexColour);
        } else if (f.vertexColours) {
            // The colour of the mean of the vertex values.
            double sum = 0;
            int n = 0;
            for (int i = 0; i < w.size(); ++i) {
                float v = f.vertexColours[w.vertices()[i]];
                if (v >= 0.0f) sum += v, ++n;
            }
            if (n > 0) setColourValue(float(sum / n));
        }
    };
    const bool perVertexColour = f.faceColour < 0.0f && !hasFaceValues && f.vertexColour < 0.0f && f.vertexColours;
    const int backdropH =
        backdrop ? std::max(1, int(std::sqrt(double(f.numFaces) / 2.0) + 0.5)) : 1;
    const int backdropL = backdrop && texture->kind == TEXTURE_BACKDROP_ROTATING ? 2 * backdropH : backdropH;
    auto vertex = [&](int face, int v) {
        if (smooth) {
            float n[3];
            smoothNormal(v, face, f.faceNormals, f.vertexFaceStart, f.vertexFaces, creaseThreshold, n);
            glNormal3fv(n);
            if (perVertexColour) setColourValue(f.vertexColours[v]);
        }
        if (backdrop)
            glTexCoord2f(float(v % (backdropL + 1)) / float(backdropL), float(v / (backdropL + 1)) / float(backdropH));
        glVertex3fv(f.vertices + 3 * v);
    };

    const int batch = faceBatch;
    GLenum open = 0;  // primitive of the open batch, 0 none
    int inBatch = 0;
    auto closeBatch = [&] {
        if (open) glEnd();
        open = 0;
        inBatch = 0;
    };
    FaceWalker w{f.faceEntries, f.numFaceEntries};
    for (int face = 0; face < f.numFaces && w.valid(); ++face, w.next()) {
        const int n = w.size();
        bool badIndex = false;
        for (int i = 0; i < n; ++i)
            if (w.vertices()[i] < 0 || w.vertices()[i] >= f.numVertices) badIndex = true;
        if (n < 3 || badIndex) continue;
        const GLenum kind = (batch >= 2 && n == 3) ? GL_TRIANGLES : (batch >= 2 && n == 4) ? GL_QUADS : GL_POLYGON;
        if (named) {
            closeBatch();
            glPushName(GLuint(face));
        }
        if (open && (open != kind || kind == GL_POLYGON || inBatch >= batch)) closeBatch();
        // Colour and normal changes are legal between glBegin and glEnd.
        faceColour(w, face);
        if (!smooth && f.faceNormals) glNormal3fv(f.faceNormals + 3 * face);
        if (!open) {
            glBegin(kind);
            open = kind;
        }
        for (int i = 0; i < n; ++i) vertex(face, w.vertices()[i]);
        ++inBatch;
        if (named) {
            closeBatch();
            glPopName();
        }
    }
    closeBatch();
    alpha = savedAlpha;
    glDisable(GL_POLYGON_OFFSET_FILL);
    if (faceAlpha < 1.0f) glDisable(GL_BLEND);
    if (textured) {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
    if (normalsMode != 0) drawNormals(f);
    glShadeModel(GL_SMOOTH);
}

void GraphicsOGL::drawNormals(const FaceSet& f) {
    if (!f.faceNormals) return;
    const float extent = std::max({dataBounds[1] - dataBounds[0], dataBounds[3] - dataBounds[2],
                                   dataBounds[5] - dataBounds[4]});
    const float len = extent / 20.0f;
    const bool smooth = f.smooth && f.vertexFaceStart && f.vertexFaces;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBegin(GL_LINES);
    FaceWalker w{f.faceEntries, f.numFaceEntries};
    for (int face = 0; face < f.numFaces && w.valid(); ++face, w.next()) {
        const int n = w.size();
        if (smooth) {
            for (int i = 0; i < n; ++i) {
                const int v = w.vertices()[i];
                if (v < 0 || v >= f.numVertices) continue;
                float nn[3];
                smoothNormal(v, face, f.faceNormals, f.vertexFaceStart, f.vertexFaces, creaseThreshold, nn);
                const float* p = f.vertices + 3 * v;
                glVertex3fv(p);
                glVertex3f(p[0] + len * nn[0], p[1] + len * nn[1], p[2] + len * nn[2]);
            }
        } else {
            float c[3] = {0, 0, 0};
            int k = 0;
            for (int i = 0; i < n; ++i) {
                const int v = w.vertices()[i];
                if (v < 0 || v >= f.numVertices) continue;
                for (int j = 0; j < 3; ++j) c[j] += f.vertices[3 * v + j];
                ++k;
            }
            if (k == 0) continue;
            for (float& x : c) x /= float(k);
            const float* nn = f.faceNormals + 3 * face;
            glVertex3fv(c);
            glVertex3f(c[0] + len * nn[0], c[1] + len * nn[1], c[2] + len * nn[2]);
        }
    }
    glEnd();
    glPopAttrib();
    invalidateCaches();
}

void GraphicsOGL::compileFaces(const FaceSet& faces) {
    if (!openList(CategoryMesh, currentObject, currentKind)) return;
    if (normalsMode != 2) emitFacesGL(faces, false);
    else drawNormals(faces);
    closeList();
}

bool GraphicsOGL::emitFaces(const FaceSet& faces) {
    if (!glReady()) return false;
    if (drawPickDirect(CategoryMesh, [&] { emitFacesGL(faces, false); })) return true;
    if (!hasList(CategoryMesh, currentObject, currentKind)) return false;
    callList();
    return true;
}

// ---- lines and points ---------------------------------------------------------------

void GraphicsOGL::emitLinesGL(const LineSet& l, bool) {
    if (l.numSegments <= 0 || !l.segments || !l.vertices) return;
    const bool pickColours = colourPickMode && pickable;
    glShadeModel(l.smooth && !colourPickMode ? GL_SMOOTH : GL_FLAT);
    if (colourPickMode) {
        float rgb[3] = {0, 0, 0};
        if (pickColours && pickMethod == 4) std::copy(pickColour, pickColour + 3, rgb);
        applyDeviceColour(rgb, 1.0f);
    } else if (l.segmentColour >= 0.0f) {
        setColourValue(l.segmentColour);
    } else if (!l.segmentColours && l.vertexColour >= 0.0f) {
        setColourValue(l.vertexColour);
    }
    auto valueOf = [&](int v) { return l.vertexColours ? l.vertexColours[v] : l.vertexColour; };
    int inBatch = 0;
    glBegin(GL_LINES);
    for (int s = 0; s < l.numSegments; ++s) {
        const int a = l.segments[2 * s], b = l.segments[2 * s + 1];
        if (a < 0 || b < 0 || a >= l.numVertices || b >= l.numVertices) continue;
        if (inBatch >= lineBatch) {
            glEnd();
            glBegin(GL_LINES);
            inBatch = 0;
        }
        if (!colourPickMode) {
            if (l.smooth && l.vertexColours) {
                setColourValue(valueOf(a));
                glVertex3fv(l.vertices + 3 * a);
                setColourValue(valueOf(b));
                glVertex3fv(l.vertices + 3 * b);
                ++inBatch;
                continue;
            }
            if (l.segmentColour < 0.0f) {
                if (l.segmentColours && l.segmentColours[s] >= 0.0f) {
                    setColourValue(l.segmentColours[s]);
                } else if (l.vertexColour < 0.0f && l.vertexColours) {
                    float va = valueOf(a), vb = valueOf(b);
                    if (va >= 0.0f && vb >= 0.0f) setColourValue(0.5f * (va + vb));
                    else if (va >= 0.0f || vb >= 0.0f) setColourValue(std::max(va, vb));
                }
            }
        }
        glVertex3fv(l.vertices + 3 * a);
        glVertex3fv(l.vertices + 3 * b);
        ++inBatch;
    }
    glEnd();
    glShadeModel(GL_SMOOTH);
}

void GraphicsOGL::compileLines(const LineSet& lines) {
    if (!openList(CategoryMesh, currentObject, currentKind)) return;
    if (lines.width >= 0.0f) glLineWidth(std::max(1.0f, lines.width));
    emitLinesGL(lines, false);
    if (lines.width >= 0.0f) glLineWidth(1.0f);
    closeList();
}

bool GraphicsOGL::emitLines(const LineSet& lines) {
    if (!glReady()) return false;
    if (drawPickDirect(CategoryMesh, [&] {
            if (lines.width >= 0.0f) glLineWidth(std::max(1.0f, lines.width));
            emitLinesGL(lines, false);
            if (lines.width >= 0.0f) glLineWidth(1.0f);
        }))
        return true;
    if (!hasList(CategoryMesh, currentObject, currentKind)) return false;
    callList();
    return true;
}

void GraphicsOGL::emitPointsGL(const PointSet& p) {
    if (p.count <= 0 || !p.vertices) return;
    glPointSize(p.size);
    if (colourPickMode) {
        float rgb[3] = {0, 0, 0};
        if (pickable && pickMethod == 4) std::copy(pickColour, pickColour + 3, rgb);
        applyDeviceColour(rgb, 1.0f);
    } else if (p.colour >= 0.0f) {
        setColourValue(p.colour);
    }
    glBegin(GL_POINTS);
    for (int i = 0, inBatch = 0; i < p.count; ++i, ++inBatch) {
        if (inBatch >= lineBatch) {
            glEnd();
            glBegin(GL_POINTS);
            inBatch = 0;
        }
        if (!colourPickMode && p.colour < 0.0f && p.colourValues) setColourValue(p.colourValues[i]);
        glVertex3fv(p.vertices + 3 * i);
    }
    glEnd();
    glPointSize(1.0f);
}

void GraphicsOGL::compilePoints(const PointSet& points) {
    if (points.size < 1.0f) return;
    if (!openList(CategoryMesh, currentObject, currentKind)) return;
    emitPointsGL(points);
    closeList();
}

bool GraphicsOGL::emitPoints(const PointSet& points) {
    if (!glReady()) return false;
    if (colourPickMode && points.size < 1.0f) return true;
    if (drawPickDirect(CategoryMesh, [&] { emitPointsGL(points); })) return true;
    if (!hasList(CategoryMesh, currentObject, currentKind)) return false;
    callList();
    return true;
}

// ---- list calls ------------------------------------------------------------------------

void GraphicsOGL::callList() { callListOf(CategoryMesh); }
void GraphicsOGL::callPrimitiveList() { callListOf(CategoryPrimitive); }

bool GraphicsOGL::drawPickDirect(int category, const std::function<void()>& draw) {
    if (!colourPickMode) return false;
    callListOf(category, &draw);
    return true;
}

void GraphicsOGL::callListOf(int category, const std::function<void()>* drawDirect) {
    if (!glReady()) return;
    const bool mesh = category == CategoryMesh;
    const bool facesKind = mesh ? (currentKind == LIST_FACES || currentKind == LIST_REDUCED_FACES)
                                : currentKind == PRIM_LIST_FACES;
    const bool picking = selectionMode || colourPickMode;
    if (colourPickMode && pickable && mesh &&
        !(currentKind == LIST_FACES || currentKind == LIST_LINES || currentKind == LIST_VERTICES))
        return;
    if (picking && pickable && isBackdrop(texture)) return;
    const unsigned id = drawDirect ? 0u : listId(category, currentObject, currentKind);
    if (!id && !drawDirect) return;
    const bool pickingThis = picking && pickable;
    auto drawItems = [&] {
        if (drawDirect)
            (*drawDirect)();
        else
            glCallList(id);
    };

    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_POINT_BIT);
    if (transparent && !pickingThis) {
        // Transparent faces do not hide each other.
        glDepthMask(GL_FALSE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    if (polygonMode == 1) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    } else if (polygonMode == 2) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
        glPointSize(4.0f);
    }
    bool projectionPushed = false, modelPushed = false, clipSuspended = false;
    const bool texturing = textureInUse && texture && !pickingThis && !colourPickMode;
    if (texturing && facesKind) {
        glEnable(GL_TEXTURE_2D);
        if (texture->kind == TEXTURE_BACKDROP_ROTATING || texture->kind == TEXTURE_BACKDROP_FIXED) {
            clipSuspended = glIsEnabled(GL_CLIP_PLANE0);
            glDisable(GL_CLIP_PLANE0);
            GLint vp[4];
            glGetIntegerv(GL_VIEWPORT, vp);
            const double w = std::max(1, vp[2]), h = std::max(1, vp[3]), a = w / h;
            glMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            projectionPushed = true;
            glLoadIdentity();
            if (texture->kind == TEXTURE_BACKDROP_ROTATING) {
                // A wide perspective around the eye: only the rotation moves it.
                const double x = (w > h ? a : 1.0) * 4.0, y = (w > h ? 1.0 : 1.0 / a) * 4.0;
                glFrustum(-x * 0.1, x * 0.1, -y * 0.1, y * 0.1, 0.1, 100000.0);
                glMatrixMode(GL_MODELVIEW);
                glPushMatrix();
                modelPushed = true;
                // Keep the rotation only.
                GLfloat m[16];
                glGetFloatv(GL_MODELVIEW_MATRIX, m);
                for (int c = 0; c < 3; ++c) {
                    float l = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
                    if (l > 0) m[4 * c] /= l, m[4 * c + 1] /= l, m[4 * c + 2] /= l;
                }
                m[12] = m[13] = m[14] = 0;
                glLoadMatrixf(m);
                glRotatef(-90.0f, 1, 0, 0);
            } else {
                glOrtho(-1, 1, -1, 1, -1000, 1000);
                glMatrixMode(GL_MODELVIEW);
                glPushMatrix();
                modelPushed = true;
                glLoadIdentity();
                // Keep the image's aspect ratio inside the viewport.
                const double ia = texture->height > 0 ? double(texture->width) / texture->height : 1.0;
                const double fx = std::max(1.0, ia / a), fy = std::max(1.0, a / ia);
                glScaled(fx, fy, 1.0);
            }
            glDisable(GL_DEPTH_TEST);
        }
    }
    glPushName(GLuint(currentObject));
    drawItems();
    glPopName();
    if (colourPickMode && pickable && facesKind && drawDirect) {
        // Edges count as no item: over-draw them in black.  They take no
        // identifiers (the resting pick method) and are drawn as lines.
        const int method = pickMethod;
        pickMethod = 5;
        pickEdgePass_ = true;
        glLineWidth(1.0f);
        (*drawDirect)();
        pickEdgePass_ = false;
        pickMethod = method;
    } else if (colourPickMode && pickable && facesKind) {
        // The list carries its own colours: lighting with a black material
        // makes them black.
        const GLfloat black[4] = {0, 0, 0, 1};
        glEnable(GL_LIGHTING);
        glDisable(GL_COLOR_MATERIAL);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        glLineWidth(1.0f);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glCallList(id);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_LIGHTING);
        const GLfloat ambient[4] = {0.3f, 0.3f, 0.3f, 1}, white[4] = {1, 1, 1, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
        lightingOn_ = false;
    }
    if (modelPushed) {
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
    if (projectionPushed) {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    glPopAttrib();
    if (clipSuspended) glEnable(GL_CLIP_PLANE0);
    // The list may have changed the colour, the line width and the lighting.
    invalidateCaches();
}

// ---- the generated primitive ------------------------------------------------------------

void GraphicsOGL::beginPrimitiveList(int objectId, int primitiveKind, bool textured, const TextureRecord* tex) {
    Graphics::beginPrimitiveList(objectId, primitiveKind, textured, tex);
}

void GraphicsOGL::endPrimitiveList() { Graphics::endPrimitiveList(); }

void GraphicsOGL::compilePrimitiveLines(const LineSet& lines) {
    if (!openList(CategoryPrimitive, currentObject, currentKind)) return;
    if (lines.width >= 0.0f) glLineWidth(std::max(1.0f, lines.width));
    emitLinesGL(lines, true);
    if (lines.width >= 0.0f) glLineWidth(1.0f);
    closeList();
}

void GraphicsOGL::compilePrimitiveFaces(const FaceSet& faces) {
    if (!openList(CategoryPrimitive, currentObject, currentKind)) return;
    emitFacesGL(faces, true);
    closeList();
}

bool GraphicsOGL::emitPrimitiveLines(const LineSet& lines) {
    if (!glReady()) return false;
    if (drawPickDirect(CategoryPrimitive, [&] { emitLinesGL(lines, true); })) return true;
    if (!hasList(CategoryPrimitive, currentObject, currentKind)) return false;
    if (!colourPickMode) {
        if (currentElementValue >= 0.0f) setColourValue(currentElementValue);
    }
    callPrimitiveList();
    return true;
}

bool GraphicsOGL::emitPrimitiveFaces(const FaceSet& faces) {
    if (!glReady()) return false;
    if (drawPickDirect(CategoryPrimitive, [&] { emitFacesGL(faces, true); })) return true;
    if (!hasList(CategoryPrimitive, currentObject, currentKind)) return false;
    if (!colourPickMode) {
        // An instance without a colour takes the first background colour.
        if (currentElementValue >= 0.0f) {
            setColourValue(currentElementValue);
        } else {
            float bg[3] = {backgroundColour1[0], backgroundColour1[1], backgroundColour1[2]};
            setColour(bg, alpha);
        }
    }
    callPrimitiveList();
    return true;
}

void GraphicsOGL::drawPickVertex(int vertex, const float point[3], float size) {
    if (!glReady() || !selectionMode) return;
    glPointSize(size);
    glPushName(GLuint(currentObject));
    const bool named = pickable && pickMethod == 0;
    if (named) glPushName(GLuint(vertex));
    glBegin(GL_POINTS);
    glVertex3fv(point);
    glEnd();
    if (named) glPopName();
    glPopName();
    glPointSize(1.0f);
}

// ---- 3D texts ------------------------------------------------------------------------------

void GraphicsOGL::compileText3D(int listKind, const TextsRecord& texts) {
    if (!glReady()) return;
    // One list per text (kinds listKind, listKind + 1, ...), each drawn at
    // the origin: the call places it at its anchor's screen position.
    const int n = std::min<int>(texts.numTexts, int(texts.strings.size()));
    GlyphLists sink;
    for (int i = 0; i < n; ++i) {
        if (!openList(CategoryMesh, currentObject, listKind + i)) return;
        const float origin[3] = {0, 0, 0};
        const float height = i < int(texts.heights.size()) ? texts.heights[size_t(i)] : 0.05f;
        const float angle = i < int(texts.angles.size()) ? texts.angles[size_t(i)] : 0.0f;
        const int alignment = i < int(texts.alignments.size()) ? texts.alignments[size_t(i)] : 0;
        glPushAttrib(GL_ENABLE_BIT);
        glDisable(GL_LIGHTING);
        StrokeFont::drawText(*this, texts.strings[size_t(i)].c_str(), origin, alignment, height, 0.0f, angle,
                             texts.font == 0 ? 0 : std::min(1, fontCount - 1), texts.colour, false, &sink);
        glPopAttrib();
        closeList();
    }
}

bool GraphicsOGL::emitText3D(int listKind, const TextsRecord& texts) {
    if (!glReady() || colourPickMode) return false;
    const int n = std::min<int>(texts.numTexts, int(texts.positions.size() / 3));
    bool drew = false;
    for (int i = 0; i < n; ++i) {
        const unsigned id = listId(CategoryMesh, currentObject, listKind + i);
        if (!id) continue;
        float win[3];
        if (!projectFloat(&texts.positions[size_t(3 * i)], win)) continue;
        glPushMatrix();
        glLoadIdentity();
        float at[3];
        if (unprojectFloat(win, at)) {
            glTranslatef(at[0], at[1], at[2]);
            glPushName(GLuint(currentObject));
            glCallList(id);
            glPopName();
            drew = true;
        }
        glPopMatrix();
    }
    invalidateCaches();
    return drew;
}

// ---- 2D items -------------------------------------------------------------------------------

void GraphicsOGL::beginOverlayList(int objectId, int overlayKind) {
    Graphics::beginOverlayList(objectId, overlayKind);
    if (!openList(CategoryOverlay, objectId, overlayKindKey(overlayKind))) return;
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    // Labels and images are placed by callOverlayItem's projection; lines
    // and texts live in the viewport's -1..1 square.
    if (overlayKind == OVERLAY_LINES || overlayKind == OVERLAY_TEXTS) {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -1000, 1000);
        glMatrixMode(GL_MODELVIEW);
    }
    glPushMatrix();
}

void GraphicsOGL::endOverlayList() {
    Graphics::endOverlayList();
    if (!listOpen_) return;
    glPopMatrix();
    if (currentKind == OVERLAY_LINES || currentKind == OVERLAY_TEXTS) {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    glPopAttrib();
    closeList();
}

void GraphicsOGL::compileOverlayLines(const OverlayLineSet& l) {
    if (!listOpen_ || !l.points || !l.segments || l.count <= 0) return;
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (int i = 0; i < l.count; ++i) {
        if (l.colourValues) setColourValue(l.colourValues[i]);
        const int a = l.segments[2 * i], b = l.segments[2 * i + 1];
        if (a < 0 || b < 0 || a >= 2 * l.count || b >= 2 * l.count) continue;
        glVertex3fv(l.points + 3 * a);
        glVertex3fv(l.points + 3 * b);
    }
    glEnd();
}

bool GraphicsOGL::emitOverlayLines(const OverlayLineSet&) { return false; }

void GraphicsOGL::compileText2D(int, const TextsRecord& texts) {
    if (!listOpen_) return;
    GlyphLists sink;
    const int n = std::min<int>(texts.numTexts, int(texts.strings.size()));
    for (int i = 0; i < n; ++i) {
        if (size_t(3 * i + 2) >= texts.positions.size()) break;
        const float height = i < int(texts.heights.size()) ? texts.heights[size_t(i)] : 0.05f;
        const float wrap = i < int(texts.widths.size()) ? texts.widths[size_t(i)] : 0.0f;
        const float angle = i < int(texts.angles.size()) ? texts.angles[size_t(i)] : 0.0f;
        const int alignment = i < int(texts.alignments.size()) ? texts.alignments[size_t(i)] : 0;
        StrokeFont::drawText(*this, texts.strings[size_t(i)].c_str(), &texts.positions[size_t(3 * i)], alignment,
                             height, wrap, angle, texts.font == 0 ? 0 : std::min(1, fontCount - 1), texts.colour,
                             true, &sink);
    }
}

bool GraphicsOGL::emitText2D(int, const TextsRecord&) { return false; }

void GraphicsOGL::compileLabel(const LabelRecord& label) {
    if (!listOpen_) return;
    // Extents of the label's points, for its placement.
    std::array<float, 4> ext = {0, 0, 0, 0};
    bool any = false;
    for (int i = 0; i < label.numPoints && size_t(2 * i + 1) < label.points.size(); ++i) {
        float x = label.points[size_t(2 * i)], y = label.points[size_t(2 * i + 1)];
        if (!any) ext = {x, y, x, y}, any = true;
        ext[0] = std::min(ext[0], x), ext[1] = std::min(ext[1], y);
        ext[2] = std::max(ext[2], x), ext[3] = std::max(ext[3], y);
    }
    labelExtents_.erase(std::remove_if(labelExtents_.begin(), labelExtents_.end(),
                                       [&](const auto& p) { return p.first == currentObject; }),
                        labelExtents_.end());
    labelExtents_.emplace_back(currentObject, ext);
    auto point = [&](int i) {
        if (i < 0 || i >= label.numPoints || size_t(2 * i + 1) >= label.points.size()) return false;
        glVertex2f(label.points[size_t(2 * i)], label.points[size_t(2 * i + 1)]);
        return true;
    };
    FaceWalker w{label.faceEntries.data(), int(label.faceEntries.size())};
    for (int f = 0; f < label.numFaces && w.valid(); ++f, w.next()) {
        if (!label.faceValues.empty() && size_t(f) < label.faceValues.size()) setColourValue(label.faceValues[size_t(f)]);
        else if (label.faceColour >= 0.0f) setColourValue(label.faceColour);
        glBegin(GL_POLYGON);
        for (int i = 0; i < w.size(); ++i) point(w.vertices()[i]);
        glEnd();
    }
    glBegin(GL_LINES);
    for (int s = 0; s < label.numSegs && size_t(2 * s + 1) < label.segs.size(); ++s) {
        if (size_t(s) < label.segValues.size()) setColourValue(label.segValues[size_t(s)]);
        point(label.segs[size_t(2 * s)]);
        point(label.segs[size_t(2 * s + 1)]);
    }
    glEnd();
    if (label.frameBox && any) {
        const float white[3] = {1, 1, 1};
        setColour(white, 1.0f);
        glBegin(GL_LINE_LOOP);
        glVertex2f(ext[0], ext[1]);
        glVertex2f(ext[2], ext[1]);
        glVertex2f(ext[2], ext[3]);
        glVertex2f(ext[0], ext[3]);
        glEnd();
    }
    GlyphLists sink;
    StrokeFont::drawLabelTexts(*this, label, &sink);
}

bool GraphicsOGL::emitLabel(const LabelRecord&) { return false; }

void GraphicsOGL::compileImage(const ImageRecord& image) {
    if (!listOpen_ || !image.present() ||
        image.pixels.size() < size_t(image.width) * size_t(image.height) * 4u)
        return;
    const std::vector<unsigned char> px = imagePixels(image);
    imageSizes_.erase(std::remove_if(imageSizes_.begin(), imageSizes_.end(),
                                     [&](const auto& p) { return p.first == currentObject; }),
                      imageSizes_.end());
    imageSizes_.emplace_back(currentObject, std::array<int, 2>{image.width, image.height});
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
}

bool GraphicsOGL::emitImage(const ImageRecord&) { return false; }

void GraphicsOGL::callOverlayItem(int overlayKind, const OverlayPlacement& pl) {
    if (!glReady() || colourPickMode || selectionMode) return;
    const unsigned id = listId(CategoryOverlay, currentObject, overlayKindKey(overlayKind));
    if (!id) return;
    if (overlayKind != OVERLAY_LABEL && overlayKind != OVERLAY_IMAGE) {
        glCallList(id);
        invalidateCaches();
        return;
    }
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    const double w = std::max(1, vp[2]), h = std::max(1, vp[3]);
    double hx = 0.999, hy = 0.999;
    if (w > h) hx = w / h - 0.001;
    else hy = h / w - 0.001;
    double scale = pl.scale;
    if (scale == 0.0) scale = 1.0;
    double ax = (2.0 * pl.position[0] - 1.0) * hx, ay = (2.0 * pl.position[1] - 1.0) * hy;
    const int horizontal = (pl.alignment >> 2) & 3, vertical = pl.alignment & 3;

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-(hx + 0.001), hx + 0.001, -(hy + 0.001), hy + 0.001, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (overlayKind == OVERLAY_IMAGE) {
        int iw = int(pl.extents[2] - pl.extents[0]), ih = int(pl.extents[3] - pl.extents[1]);
        for (const auto& p : imageSizes_)
            if (p.first == currentObject && (iw <= 0 || ih <= 0)) iw = p.second[0], ih = p.second[1];
        iw = std::max(iw, 1), ih = std::max(ih, 1);
        // Shrink an image larger than the viewport; zooms other than powers
        // of two blur the pixels.
        const double fit = std::min({1.0, w / iw, h / ih});
        double zoom = scale * fit;
        if (!pl.fixedScale && zoom > 0) zoom = std::pow(2.0, std::floor(std::log2(zoom) + 1e-9));
        const double pw = iw * zoom, ph = ih * zoom;  // pixels
        double dx = 0, dy = 0;
        if (horizontal == 2) dx = -pw;
        else if (horizontal == 3) dx = -pw / 2;
        if (vertical == 2) dy = -ph;
        else if (vertical == 3) dy = -ph / 2;
        // The raster position must lie inside the view; move by pixels after.
        glRasterPos2d(std::clamp(ax, -hx, hx), std::clamp(ay, -hy, hy));
        const double px = (ax - std::clamp(ax, -hx, hx)) * w / (2 * (hx + 0.001)) + dx;
        const double py = (ay - std::clamp(ay, -hy, hy)) * h / (2 * (hy + 0.001)) + dy;
        glBitmap(0, 0, 0, 0, float(px), float(py), nullptr);
        glPixelZoom(float(zoom), float(zoom));
        glCallList(id);
        glPixelZoom(1.0f, 1.0f);
    } else {
        std::array<float, 4> ext = {pl.extents[0], pl.extents[1], pl.extents[2], pl.extents[3]};
        if (ext[2] <= ext[0] && ext[3] <= ext[1])
            for (const auto& p : labelExtents_)
                if (p.first == currentObject) ext = p.second;
        const double ew = ext[2] - ext[0], eh = ext[3] - ext[1];
        // The label's larger side spans `scale` of the viewport's shorter side.
        const double fit = std::max(ew, eh) > 0 ? 1.0 / std::max(ew, eh) : 1.0;
        const double k = 2.0 * scale * fit * std::min(hx, hy);
        double ox = 0, oy = 0;
        if (horizontal == 1) ox = -ext[0];
        else if (horizontal == 2) ox = -ext[2];
        else if (horizontal == 3) ox = -(ext[0] + ext[2]) / 2;
        if (vertical == 1) oy = -ext[1];
        else if (vertical == 2) oy = -ext[3];
        else if (vertical == 3) oy = -(ext[1] + ext[3]) / 2;
        glTranslated(ax, ay, 0);
        glScaled(k, k, 1);
        glTranslated(ox, oy, 0);
        glCallList(id);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    invalidateCaches();
}

// ---- the ruler ---------------------------------------------------------------------------------

void GraphicsOGL::drawRuler(float viewScale) {
    if (!glReady() || selectionMode || colourPickMode || windowWidth <= 0 || windowHeight <= 0) return;
    RulerLayout ruler;
    if (!ruler.compute(windowWidth, windowHeight, viewportWidth, viewportHeight, viewScale)) return;
    const int n = ruler.subdivisions;
    const double e = ruler.halfExtent, step = ruler.step, y0 = ruler.y0, y1 = ruler.y1;

    setLighting(false, false);
    setCulling(CULL_NO);
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    float white[3] = {1, 1, 1};
    convertColour(white, true);
    applyDeviceColour(white, 1.0f);
    glBegin(GL_QUADS);
    for (int i = 0; i < n; i += 2) {
        const double xa = -e + i * step, xb = xa + step;
        glVertex2d(xa, y0), glVertex2d(xb, y0), glVertex2d(xb, y1), glVertex2d(xa, y1);
    }
    glEnd();
    glLineWidth(1.0f);
    glBegin(GL_LINE_LOOP);
    glVertex2d(-e, y0), glVertex2d(e, y0), glVertex2d(e, y1), glVertex2d(-e, y1);
    glEnd();
    glBegin(GL_LINES);
    for (int i = 1; i < n; ++i) glVertex2d(-e + i * step, y0), glVertex2d(-e + i * step, y1);
    glEnd();

    // Labels; then the unit text after the last one.
    GlyphLists sink;
    ruler.drawLabels(*this, &sink, -white[0] - 1.0f);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    invalidateCaches();
}
