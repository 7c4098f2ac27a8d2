#pragma once
// The small scenes that the renderers draw for their golden images
// (tests/render/golden): the OpenGL renderer and the software raster
// renderer draw the same scenes and are compared with the same pictures,
// so that the two cannot drift apart.  Header only: each test program that
// links the viewer includes it.
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "render/Graphics.h"
#include "render/StrokeFont.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace goldenscenes {

constexpr int kW = 160, kH = 120;

// A window-less viewer with one full-window viewport, no ruler, no axis,
// the default view, and the two stroke fonts.
class Kit {
public:
    Kit() {
        setenv("KRV_NO_KRVLOGO", "1", 1);
        serif.load("serif");
        sans.load("sanserif");
        fonts[0] = &serif;
        fonts[1] = &sans;
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        if (!viewer) return;
        box.reset(viewer->Widget());
        viewer->WindowResized(kW, kH);
        viewport = viewer->currentViewport;
        viewport->objects.clear();
        viewport->setRectangle(0, 0, 1, 1);
        viewport->isVisibleFlag = 1;
        viewport->isRulerVisibleFlag = 0;
        viewport->isAxisVisibleFlag = 0;
        // x to the right, z up, looking along +y.
        viewport->view->reset();
    }
    bool valid() const { return viewer != nullptr; }

    // Fonts and a black background for a renderer of the scenes.
    void prepare(Graphics& r) {
        r.windowWidth = kW;
        r.windowHeight = kH;
        r.fontCount = 2;
        r.fonts = fonts;
        const float black[3] = {0, 0, 0}, white[3] = {1, 1, 1};
        r.setBackground(0, black, white);
    }

    vkoGraphicObj* addObject(const char* name) {
        viewer->NewGraphic(name);
        vkoGraphicObj* o = viewer->currentGraphic;
        if (!viewport->hasObject(o)) viewport->addObject(name);
        return o;
    }

    static void finishMesh(vkoGraphicObj* o) {
        GraphicData& d = *o->data;
        d.computeBounds();
        d.computeFaceNormals();
        d.buildAdjacency();
    }

    // Colour map blue -> green -> red over 0..1.
    static void rainbow(GraphicData& d) {
        d.colourMap = std::make_unique<ColourMapRecord>();
        d.colourMap->numEntries = 3;
        d.colourMap->entries = {0, 0, 0, 1, 0.5f, 0, 1, 0, 1, 1, 0, 0};
        d.vertexColour = d.lineColour = d.faceColour = -1.0f;
    }

    // A sphere of quads (lat-long grid), colour value = height.
    vkoGraphicObj* addSphere(const char* name, float radius, float cx, float cy, float cz) {
        vkoGraphicObj* o = addObject(name);
        const int nu = 24, nv = 12;
        std::vector<float> v;
        for (int j = 0; j <= nv; ++j)
            for (int i = 0; i < nu; ++i) {
                double th = M_PI * j / nv, ph = 2 * M_PI * i / nu;
                v.push_back(cx + radius * float(std::sin(th) * std::cos(ph)));
                v.push_back(cy + radius * float(std::sin(th) * std::sin(ph)));
                v.push_back(cz + radius * float(std::cos(th)));
            }
        std::vector<int> f;
        int faces = 0;
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                int a = j * nu + i, b = j * nu + (i + 1) % nu, c = (j + 1) * nu + (i + 1) % nu, d = (j + 1) * nu + i;
                f.insert(f.end(), {4, a, d, c, b});
                ++faces;
            }
        o->appendMesh(int(v.size() / 3), v.data(), 0, nullptr, faces, int(f.size()), f.data());
        finishMesh(o);
        GraphicData& d = *o->data;
        rainbow(d);
        d.vertexColours.resize(size_t(d.numVertices));
        for (int i = 0; i < d.numVertices; ++i) d.vertexColours[size_t(i)] = (v[size_t(3 * i + 2)] - cz) / (2 * radius) + 0.5f;
        o->faces = true;
        o->lines = false;
        return o;
    }

    // Quads in the x-z plane (the default view looks along +y, z up).
    vkoGraphicObj* addQuads(const char* name, const std::vector<std::array<float, 4>>& rects, float y) {
        vkoGraphicObj* o = addObject(name);
        std::vector<float> v;
        std::vector<int> f;
        int n = 0;
        for (const auto& q : rects) {
            float x0 = q[0], z0 = q[1], x1 = q[2], z1 = q[3];
            v.insert(v.end(), {x0, y, z0, x1, y, z0, x1, y, z1, x0, y, z1});
            f.insert(f.end(), {4, 4 * n, 4 * n + 1, 4 * n + 2, 4 * n + 3});
            ++n;
        }
        o->appendMesh(4 * n, v.data(), 0, nullptr, n, int(f.size()), f.data());
        finishMesh(o);
        o->faces = true;
        o->lines = false;
        o->smoothFaces = false;
        return o;
    }

    void fit(Graphics& r) {
        viewport->needsRedraw = 1;
        viewport->fitView(&r);
    }

    // ---- the scenes (each returns its main object, when it has one)

    vkoGraphicObj* litSmoothSphere() {
        vkoGraphicObj* o = addSphere("sphere", 1.0f, 0, 0, 0);
        o->lighting = true;
        o->smoothFaces = true;
        return o;
    }

    vkoGraphicObj* flatFaceColours() {
        vkoGraphicObj* o = addQuads("quads", {{0, 0, 1, 1}, {1.2f, 0, 2.2f, 1}, {0, 1.2f, 1, 2.2f}, {1.2f, 1.2f, 2.2f, 2.2f}}, 0);
        GraphicData& d = *o->data;
        rainbow(d);
        d.faceColours = {0.0f, 0.33f, 0.66f, 1.0f};
        return o;
    }

    vkoGraphicObj* linesWithWidths() {
        for (int k = 0; k < 2; ++k) {
            vkoGraphicObj* o = addObject(k ? "thick" : "thin");
            const float z = k ? 0.5f : -0.5f;
            const float v[] = {-1, 0, z, 0, 0, z + 0.3f, 1, 0, z};
            const int segs[] = {0, 1, 1, 2};
            o->appendMesh(3, v, 2, segs, 0, 0, nullptr);
            finishMesh(o);
            rainbow(*o->data);
            o->data->lineColours = {0.0f, 1.0f};
            o->lines = true;
            o->lineWidth = k ? 5 : 1;
        }
        return nullptr;
    }

    vkoGraphicObj* textsInBothFonts() {
        vkoGraphicObj* t2 = addObject("texts2d");
        GraphicData& d = t2->ensureData();
        rainbow(d);
        auto texts = std::make_unique<TextsRecord>();
        texts->numTexts = 2;
        texts->strings = {"Serif <COLOR=ff0000>red</COLOR>", "lower <color=ffff00>case</color> tag"};
        texts->positions = {0.05f, 0.85f, 0, 0.05f, 0.65f, 0};
        texts->heights = {0.06f, 0.06f};
        texts->widths = {0, 0};
        texts->angles = {0, 0};
        texts->alignments = {0, 0};
        texts->colour = 0.5f;  // green base, markup overrides
        texts->kind = 0;
        d.texts = std::move(texts);
        vkoGraphicObj* ts = addObject("texts2d_sans");
        GraphicData& ds = ts->ensureData();
        rainbow(ds);
        auto sansTexts = std::make_unique<TextsRecord>();
        sansTexts->numTexts = 1;
        sansTexts->strings = {"Sans <COLOR=ff00ff>magenta</COLOR> blue"};
        sansTexts->positions = {0.05f, 0.45f, 0};
        sansTexts->heights = {0.06f};
        sansTexts->widths = {0};
        sansTexts->angles = {0};
        sansTexts->alignments = {0};
        sansTexts->font = 1;
        sansTexts->colour = 0.0f;
        ds.texts = std::move(sansTexts);
        vkoGraphicObj* t3 = addObject("texts3d");
        GraphicData& d3 = t3->ensureData();
        const float v[] = {-1, 0, -1, 1, 0, 1};
        t3->appendMesh(2, v, 0, nullptr, 0, 0, nullptr);
        d3.computeBounds();
        rainbow(d3);
        auto t = std::make_unique<TextsRecord>();
        t->numTexts = 1;
        t->strings = {"3D <COLOR=ffff00>yel</COLOR>"};
        t->positions = {-0.5f, 0, -0.5f};
        t->heights = {0.08f};
        t->widths = {0};
        t->angles = {0};
        t->alignments = {0};
        t->font = 1;
        t->colour = 0.0f;  // blue
        t->kind = 1;
        d3.texts = std::move(t);
        t3->overlay = true;
        t3->lines = false;
        t3->vertices = false;
        return nullptr;
    }

    vkoGraphicObj* planarTexture() {
        vkoGraphicObj* o = addQuads("textured", {{-1, -1, 1, 1}}, 0);
        rainbow(*o->data);
        o->data->faceColour = 1.0f;
        auto tex = std::make_unique<TextureRecord>();
        tex->width = tex->height = 8;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                bool on = ((x / 2) + (y / 2)) % 2;
                tex->pixels.insert(tex->pixels.end(), {static_cast<unsigned char>(on ? 255 : 30),
                                                       static_cast<unsigned char>(on ? 255 : 30), 255, 255});
            }
        tex->kind = TEXTURE_PLANAR;
        tex->direction[0] = 0, tex->direction[1] = 1, tex->direction[2] = 0;
        tex->size = 2.0f;
        tex->repeat = 1;
        o->data->texture = std::move(tex);
        return o;
    }

    vkoGraphicObj* transparency() {
        vkoGraphicObj* back = addQuads("a_back", {{-1, -1, 1, 1}}, 1.0f);
        back->setSolidColour(1, 0, 0);
        vkoGraphicObj* front = addQuads("b_front", {{-0.5f, -0.5f, 1.5f, 1.5f}}, -1.0f);
        front->setSolidColour(0, 0, 1);
        front->transparent = true;
        front->transparencyLevel = 0.5f;
        return nullptr;
    }

    vkoGraphicObj* clipPlane() {
        vkoGraphicObj* o = addSphere("clipped", 1.0f, 0, 0, 0);
        o->lighting = true;
        const float plane[9] = {0, 0, 0, 0, 1, 0, 1, 0, 0};  // z = 0, normal -z: keeps the lower half
        o->setClipPlane(plane);
        o->cuttingPlaneVisible = true;
        return o;
    }

    vkoGraphicObj* overlayItems() {
        vkoGraphicObj* o = addObject("overlay");
        GraphicData& d = o->ensureData();
        rainbow(d);
        // 2D lines: a red diagonal and a blue horizontal in -1..1.
        d.numOverlays = 2;
        d.overlayPoints = {-0.9f, -0.9f, 0, -0.3f, -0.3f, 0, -0.9f, 0.8f, 0, 0.9f, 0.8f, 0};
        d.overlayColours = {1.0f, 0.0f};
        d.overlaySegs = {0, 1, 2, 3};
        // A label: a green triangle with a white frame, at the lower right.
        auto label = std::make_unique<LabelRecord>();
        label->position[0] = 0.6f, label->position[1] = 0.1f;
        label->size = 0.3f;
        label->numPoints = 3;
        label->points = {0, 0, 1, 0, 0.5f, 1};
        label->numFaces = 1;
        label->numFaceEntries = 4;
        label->faceEntries = {3, 0, 1, 2};
        label->faceColour = 0.5f;
        label->frameBox = true;
        d.label = std::move(label);
        // An 8 x 8 image, right and top edges at (0.95, 0.95).
        auto image = std::make_unique<ImageRecord>();
        image->width = image->height = 8;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                image->pixels.insert(image->pixels.end(),
                                     {static_cast<unsigned char>(x < 4 ? 255 : 0), static_cast<unsigned char>(y < 4 ? 255 : 0),
                                      200, 255});
        image->position[0] = image->position[1] = 0.95f;
        image->scale = 2.0f;
        image->alignment = (2 << 2) | 2;
        d.image = std::move(image);
        return o;
    }

    StrokeFont serif, sans;
    StrokeFont* fonts[2] = {nullptr, nullptr};
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    vkoViewport* viewport = nullptr;
};

}  // namespace goldenscenes
