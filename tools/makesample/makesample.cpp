// The bundled sample scene: uniform flow past a sphere (incompressible,
// inviscid, potential flow).  The sphere is coloured by its pressure
// coefficient Cp = 1 - 9/4 sin^2(theta), theta measured from the oncoming
// flow direction; streamlines are traced in the analytic velocity field and
// coloured by speed; a title and a colour legend go on top.  The scene is
// written with the viewer's own scene writer.
//
//   makesample [output.kvf]        (default samples/sphere_flow.kvf)
#include <QApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadius = 1.0;  // sphere radius a
constexpr double kSpeed = 1.0;   // free-stream speed U along +x
constexpr float kCpMin = -1.25f, kCpMax = 1.0f;

struct Vec {
    double x, y, z;
};

// Velocity of the flow: the gradient of phi = U x (1 + a^3 / (2 r^3)).
Vec Velocity(const Vec& p) {
    const double r2 = p.x * p.x + p.y * p.y + p.z * p.z;
    const double r = std::sqrt(r2);
    const double a3 = kRadius * kRadius * kRadius;
    const double k = 1.0 + a3 / (2.0 * r2 * r);
    const double m = 3.0 * a3 * p.x / (2.0 * r2 * r2 * r);
    return {kSpeed * (k - m * p.x), -kSpeed * m * p.y, -kSpeed * m * p.z};
}

// Jet-like colour map over colour values offset .. offset + 1; with white,
// the value 0 is white (texts) and the colours start at offset 0.1.
std::unique_ptr<ColourMapRecord> ColourMap(bool withWhite) {
    auto map = std::make_unique<ColourMapRecord>();
    const float offset = withWhite ? 0.1f : 0.0f;
    if (withWhite) map->entries.insert(map->entries.end(), {0.0f, 1.0f, 1.0f, 1.0f});
    const float stops[][4] = {{0.0f, 0.1f, 0.2f, 0.9f}, {0.25f, 0.0f, 0.75f, 1.0f}, {0.5f, 0.1f, 0.9f, 0.3f},
                              {0.75f, 1.0f, 0.85f, 0.0f}, {1.0f, 0.95f, 0.1f, 0.1f}};
    for (const auto& stop : stops) map->entries.insert(map->entries.end(), {stop[0] + offset, stop[1], stop[2], stop[3]});
    map->numEntries = int(map->entries.size() / 4);
    return map;
}

float CpValue(double cp) { return float((cp - kCpMin) / (kCpMax - kCpMin)); }

void BuildSphere(vkoGraphicObj& object) {
    GraphicData& d = object.ensureData();
    const int rings = 36, segments = 72;
    for (int i = 0; i <= rings; ++i) {
        const double theta = kPi * i / rings;  // 0 at the upstream stagnation point (-x)
        for (int j = 0; j < segments; ++j) {
            const double phi = 2.0 * kPi * j / segments;
            const double x = -kRadius * std::cos(theta);
            const double y = kRadius * std::sin(theta) * std::cos(phi);
            const double z = kRadius * std::sin(theta) * std::sin(phi);
            d.vertexCoords.insert(d.vertexCoords.end(), {float(x), float(y), float(z)});
            const double s = std::sin(theta);
            d.vertexColours.push_back(CpValue(1.0 - 2.25 * s * s));
        }
    }
    d.numVertices = (rings + 1) * segments;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const int a = i * segments + j, b = i * segments + (j + 1) % segments;
            const int c = b + segments, e = a + segments;
            if (i == 0) {
                d.faceEntries.insert(d.faceEntries.end(), {3, a, c, e});
            } else if (i == rings - 1) {
                d.faceEntries.insert(d.faceEntries.end(), {3, a, b, e});
            } else {
                d.faceEntries.insert(d.faceEntries.end(), {4, a, b, c, e});
            }
            ++d.numFaces;
        }
    d.numFaceEntries = int(d.faceEntries.size());
    d.colourMap = ColourMap(false);
    d.computeBounds();
    object.faces = true;
    object.lines = false;
    object.lighting = true;
    object.smoothFaces = true;
}

void BuildStreamlines(vkoGraphicObj& object) {
    GraphicData& d = object.ensureData();
    const double step = 0.04, start = -4.0, end = 4.0;
    const double radii[] = {0.2, 0.45, 0.7, 1.0, 1.35};
    const int angles = 10;
    for (double radius : radii)
        for (int k = 0; k < angles; ++k) {
            const double phi = 2.0 * kPi * (k + (radius > 0.5 ? 0.5 : 0.0)) / angles;
            Vec p{start, radius * std::cos(phi), radius * std::sin(phi)};
            int first = d.numVertices;
            for (int n = 0; n < 400 && p.x <= end; ++n) {
                const Vec v = Velocity(p);
                const double speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
                d.vertexCoords.insert(d.vertexCoords.end(), {float(p.x), float(p.y), float(p.z)});
                d.vertexColours.push_back(float(std::min(speed / (1.5 * kSpeed), 1.0)));
                if (d.numVertices > first) {
                    d.lineSegs.insert(d.lineSegs.end(), {d.numVertices - 1, d.numVertices});
                    ++d.numLineSegs;
                }
                ++d.numVertices;
                // Fourth-order Runge-Kutta along the unit direction: steps of
                // equal length whatever the local speed.
                auto dir = [](const Vec& q) {
                    const Vec w = Velocity(q);
                    const double s = std::sqrt(w.x * w.x + w.y * w.y + w.z * w.z);
                    return s > 1e-12 ? Vec{w.x / s, w.y / s, w.z / s} : Vec{1, 0, 0};
                };
                const Vec k1 = dir(p);
                const Vec k2 = dir({p.x + step / 2 * k1.x, p.y + step / 2 * k1.y, p.z + step / 2 * k1.z});
                const Vec k3 = dir({p.x + step / 2 * k2.x, p.y + step / 2 * k2.y, p.z + step / 2 * k2.z});
                const Vec k4 = dir({p.x + step * k3.x, p.y + step * k3.y, p.z + step * k3.z});
                p = {p.x + step / 6 * (k1.x + 2 * k2.x + 2 * k3.x + k4.x),
                     p.y + step / 6 * (k1.y + 2 * k2.y + 2 * k3.y + k4.y),
                     p.z + step / 6 * (k1.z + 2 * k2.z + 2 * k3.z + k4.z)};
            }
        }
    d.colourMap = ColourMap(false);
    d.computeBounds();
    object.lines = true;
    object.smoothLines = true;
    object.lineWidth = 2;
}

void BuildTitle(vkoGraphicObj& object) {
    GraphicData& d = object.ensureData();
    d.texts = std::make_unique<TextsRecord>();
    TextsRecord& t = *d.texts;
    t.numTexts = 1;
    t.strings = {"Potential flow around a sphere"};
    t.positions = {0.5f, 0.93f, 0.0f};
    t.heights = {0.045f};
    t.widths = {0.0f};
    t.angles = {0.0f};
    t.alignments = {1};
    t.font = 1;
    t.colour = 0.0f;  // white
    t.kind = 0;
    d.colourMap = ColourMap(true);
    object.overlay = true;
}

void BuildLegend(vkoGraphicObj& object) {
    GraphicData& d = object.ensureData();
    d.label = std::make_unique<LabelRecord>();
    LabelRecord& l = *d.label;
    const int bands = 16;
    const float barWidth = 0.12f;
    for (int i = 0; i <= bands; ++i) {
        const float y = float(i) / bands;
        l.points.insert(l.points.end(), {0.0f, y, barWidth, y});
        l.pointValues.insert(l.pointValues.end(), {0.1f + float(i) / bands, 0.1f + float(i) / bands});
    }
    l.numPoints = 2 * (bands + 1);
    for (int i = 0; i < bands; ++i) {
        const int a = 2 * i;
        l.faceEntries.insert(l.faceEntries.end(), {4, a, a + 1, a + 3, a + 2});
        l.faceValues.push_back(0.1f + (i + 0.5f) / bands);
    }
    l.numFaces = bands;
    l.numFaceEntries = int(l.faceEntries.size());
    const int ticks = 5;
    for (int i = 0; i < ticks; ++i) {
        const float f = float(i) / (ticks - 1);
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", kCpMin + f * (kCpMax - kCpMin));
        l.textStrings.push_back(text);
        l.textPositions.insert(l.textPositions.end(), {barWidth + 0.03f, f - 0.015f});
        l.textAlignments.push_back(0);
        l.textSizes.push_back(0.035f);
        l.textAngles.push_back(0.0f);
    }
    l.textStrings.push_back("Cp");
    l.textPositions.insert(l.textPositions.end(), {0.0f, 1.04f});
    l.textAlignments.push_back(0);
    l.textSizes.push_back(0.045f);
    l.textAngles.push_back(0.0f);
    l.numTexts = int(l.textStrings.size());
    l.textSize = 0.035f;
    l.textFont = 1;
    l.textColour = 0.0f;  // white
    l.position[0] = 0.86f;
    l.position[1] = 0.25f;
    l.size = 0.4f;
    d.colourMap = ColourMap(true);
    object.overlay = true;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string output = argc > 1 ? argv[1] : "samples/sphere_flow.kvf";

    vkoViewer* viewer = CreateViewer(nullptr, true, true, "makesample -n");
    if (!viewer) return 1;
    std::unique_ptr<krvViewer> box(viewer->Widget());

    viewer->NewGraphic("Sphere (Cp)");
    BuildSphere(*viewer->currentGraphic);
    viewer->NewGraphic("Streamlines");
    BuildStreamlines(*viewer->currentGraphic);
    viewer->NewGraphic("Title");
    BuildTitle(*viewer->currentGraphic);
    viewer->NewGraphic("Legend");
    BuildLegend(*viewer->currentGraphic);

    const float top[3] = {0.16f, 0.2f, 0.32f}, bottom[3] = {0.02f, 0.02f, 0.05f};
    viewer->SetBackground(BG_TOP_BOTTOM, top, bottom);
    vkoViewport* viewport = viewer->viewports[0];
    viewport->isRulerVisibleFlag = 0;
    // Looking at the sphere from the side, a little from above and behind
    // the upstream side, with the whole tracing box in view.
    Transform& view = *viewport->view;
    view.reset();
    view.ModifyValues(Transform::ChangeRotate, 0.0f, 25.0f, 0.0f, 0.0f);
    view.ModifyValues(Transform::ChangeRotate, 20.0f, 0.0f, 0.0f, 0.0f);
    view.scale = view.defscale = 0.42f;

    if (!viewer->WriteScene(output.c_str())) {
        std::fprintf(stderr, "makesample: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("makesample: wrote %s\n", output.c_str());
    return 0;
}
