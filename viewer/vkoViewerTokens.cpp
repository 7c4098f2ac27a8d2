// Parameter tokens: SetParameters and the object and viewport forwarding
// operations that the tokens, the keys and the GUI share.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

using Tok = LinkStream::Tok;

// Text values are read into a buffer of this size (terminator included).
constexpr int kTextLimit = 256;

const char kNotRecognized[] = "ERROR in SetParameters: Token not recognized\n";
const char kTextTooLong[] = "ERROR in SetParameters: Token value longer than 256 bytes ignored\n";

// Reads and interprets a plane text: "ON", nine numbers, or anything else.
// Returns the new visibility; points are filled only for nine numbers.
bool parsePlane(const char* text, float points[9], bool& havePoints) {
    havePoints = false;
    if (std::strcmp(text, "ON") == 0) return true;
    if (std::sscanf(text, "%g %g %g %g %g %g %g %g %g", &points[0], &points[1], &points[2], &points[3], &points[4],
                    &points[5], &points[6], &points[7], &points[8]) == 9) {
        havePoints = true;
        return true;
    }
    return false;
}

}  // namespace

// ------------------------------------------------------- forwarding operations

void vkoViewer::SetGraphicProperty(int property, float value, vkoGraphicObj* object) {
    vkoGraphicObj* target = object ? object : currentGraphic;
    if (!target) return;
    target->setProperty(property, value);
    MarkViewportsShowing(target);
    if (!object) Redraw();
}

void vkoViewer::SetViewportGraphicsProperty(int property, float value, vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return;
    for (auto it = v->objects.rbegin(); it != v->objects.rend(); ++it) SetGraphicProperty(property, value, *it);
    Redraw();
}

void vkoViewer::SetAllGraphicsProperty(int property, float value) {
    for (auto& [id, object] : objectsById) SetGraphicProperty(property, value, object);
    MarkAllViewports();
    Redraw();
}

void vkoViewer::ToggleGraphicProperty(int property, vkoGraphicObj* object) {
    vkoGraphicObj* target = object ? object : currentGraphic;
    if (!target) return;
    target->toggleProperty(property);
    MarkViewportsShowing(target);
    if (!object) Redraw();
}

void vkoViewer::ToggleViewportGraphicsProperty(int property, vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return;
    for (auto it = v->objects.rbegin(); it != v->objects.rend(); ++it) ToggleGraphicProperty(property, *it);
    Redraw();
}

void vkoViewer::ToggleAllGraphicsProperty(int property) {
    for (auto& [id, object] : objectsById) ToggleGraphicProperty(property, object);
    MarkAllViewports();
    Redraw();
}

void vkoViewer::SetGraphicPlacement(int kind, const float* values, vkoGraphicObj* object) {
    vkoGraphicObj* target = object ? object : currentGraphic;
    if (!target || !values) return;
    switch (kind) {
        case 1: target->setPlacementAngle(values[0]); break;
        case 2: target->setPlacementAxis(values); break;
        case 3: target->setPlacementTranslation(values); break;
        case 4: target->setPlacementScale(values); break;
        default: return;
    }
    if (currentViewport) currentViewport->needsRedraw = 1;
    if (kind == 3 && objectMovedCallback) objectMovedCallback(target->objectname.c_str(), 3);
    if (!object) Redraw();
}

void vkoViewer::SetGraphicReplication(int kind, const float* values, vkoGraphicObj* object) {
    vkoGraphicObj* target = object ? object : currentGraphic;
    if (!target || !values) return;
    switch (kind) {
        case 0: target->setInstances(static_cast<int>(values[0])); break;
        case 1: target->setInstanceAngle(values[0]); break;
        case 2: target->setInstanceAxis(values); break;
        case 3: target->setInstanceTranslation(values); break;
        default: return;
    }
    if (currentViewport) currentViewport->needsRedraw = 1;
    if (!object) Redraw();
}

void vkoViewer::SetGraphicMirrorPoints(const float points[9], vkoGraphicObj* object) {
    vkoGraphicObj* target = object ? object : currentGraphic;
    if (!target) return;
    target->setMirrorPlane(points);
    if (currentViewport) currentViewport->needsRedraw = 1;
    if (!object) Redraw();
}

void vkoViewer::SetViewportGraphicPlacement(int kind, const float* values, vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return;
    for (auto it = v->objects.rbegin(); it != v->objects.rend(); ++it) SetGraphicPlacement(kind, values, *it);
    Redraw();
}

void vkoViewer::SetViewportGraphicReplication(int kind, const float* values, vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return;
    for (auto it = v->objects.rbegin(); it != v->objects.rend(); ++it) SetGraphicReplication(kind, values, *it);
    Redraw();
}

void vkoViewer::SetViewportGraphicMirrorPoints(const float points[9], vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return;
    for (auto it = v->objects.rbegin(); it != v->objects.rend(); ++it) SetGraphicMirrorPoints(points, *it);
    Redraw();
}

void vkoViewer::MarkViewportsShowing(const vkoGraphicObj* object) {
    for (vkoViewport* v : viewports)
        if (v->hasObject(object)) v->needsRedraw = 1;
}

void vkoViewer::LoadCurGraphic() {
    if (link.readHandle < 0) {
        platform::ShowMessage(platform::MessageIcon::Error, "WARNING in LoadCurGraphic: no input stream open\n");
        return;
    }
    if (currentGraphic) {
        currentGraphic->loadData();
        MarkViewportsShowing(currentGraphic);
        Redraw();
        return;
    }
    // No target: read the item into a throw-away object so that it is consumed.
    vkoGraphicObj scratch(this, nullptr);
    scratch.loadData();
}

// ------------------------------------------------------------ SetParameters

int vkoViewer::SetParameters() {
    if (link.readHandle < 0) {
        platform::ShowMessage(platform::MessageIcon::Error, "WARNING in SetParameters: no input stream open\n");
        return -1;
    }
    for (;;) {
        int token = link.ReadToken();
        if (token < 0) return token;
        if (token == Tok::NOT_FOUND || token == Tok::DONE) return token;
        if (token == Tok::AUTOPRINT) {
            autoPrintPending = true;
            continue;
        }
        int value = 0;
        if (!link.ReadInt(value)) return -1;
        int result = ApplyToken(token, value);
        if (result < 0) return result;
    }
}

// Reads the text that follows a text-form token whose int was its length.
// 1: text read; 0: refused (too long or empty), left for the key scan; -1:
// the read failed.
int vkoViewer::ReadTokenText(int length, std::string& text) {
    if (length < 1 || length > kTextLimit) {
        platform::ShowMessage(platform::MessageIcon::Error, kTextTooLong);
        return 0;
    }
    char buffer[kTextLimit];
    if (link.ReadDataBlock(buffer, length) < 0) return -1;
    buffer[length - 1] = '\0';
    text = buffer;
    return 1;
}

int vkoViewer::ApplyToken(int token, int value) {
    // Tokens whose value is a text: read it first.
    std::string text;
    switch (token) {
        case Tok::ADD_OBJECT: case Tok::BACKGROUND_COLOR: case Tok::CAMERA: case Tok::CREASE_ANGLE:
        case Tok::GUI_CAMERA: case Tok::LINE_WIDTH: case Tok::OBJECT_ANGLE: case Tok::OBJECT_AXIS:
        case Tok::OBJECT_CLIP_PLANE: case Tok::OBJECT_INSTANCES: case Tok::OBJECT_INSTANCE_ANGLE:
        case Tok::OBJECT_INSTANCE_AXIS: case Tok::OBJECT_INSTANCE_TRANSLATION: case Tok::OBJECT_MIRROR_PLANE:
        case Tok::OBJECT_POLYGON_MODE: case Tok::OBJECT_SCALE: case Tok::OBJECT_TRANSLATION: case Tok::OUTFILE:
        case Tok::POINT_SIZE: case Tok::PRINTER: case Tok::PRINT_PS_PAPER_SIZE: case Tok::PRINT_RASTER_SIZE:
        case Tok::PRINT_TOLERANCE: case Tok::REMOVE_OBJECT: case Tok::SPARSE_MODE: case Tok::TRANSPARENCY:
        case Tok::VIEWER_LOD_ERROR: case Tok::VIEWER_PORT_ORDER: case Tok::VIEWER_XSPLIT: case Tok::VIEWER_YSPLIT:
        case Tok::VIEWPORT_CLIP_PLANE: case Tok::VIEWPORT_LIGHT: case Tok::VIEWPORT_RULER_UNITS: {
            int r = ReadTokenText(value, text);
            if (r <= 0) return r;
            break;
        }
        default: break;
    }
    const char* t = text.c_str();
    float f[9] = {0};
    vkoGraphicObj* g = currentGraphic;
    vkoViewport* vp = currentViewport;

    switch (token) {
        case Tok::ADD_OBJECT:
            if (vp) vp->addObject(t);
            break;
        case Tok::REMOVE_OBJECT:
            if (vp) vp->removeObject(t);
            break;
        case Tok::BACKGROUND_COLOR:
            if (std::sscanf(t, "%g %g %g %g %g %g %g", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6]) == 7) {
                SetBackground(static_cast<int>(f[0]), f + 1, f + 4);
            } else if (std::sscanf(t, "%g %g %g", &f[0], &f[1], &f[2]) == 3) {
                SetBackground(BG_SOLID, f, f);
            }
            break;
        case Tok::CAMERA:
            return ReadCameraToken(t);
        case Tok::GUI_CAMERA:
            std::snprintf(currentCameraName, sizeof(currentCameraName), "%s", t);
            ApplySavedCamera(currentCameraName, currentViewport);
            break;
        case Tok::CREASE_ANGLE: SetGraphicProperty(19, static_cast<float>(std::atof(t))); break;
        case Tok::CULLING_MODE: SetGraphicProperty(6, static_cast<float>(value)); break;
        case Tok::DOUBLE_BUFFERING:
            if (renderer) renderer->doubleBuffered = value != 0;
            MarkAllViewports();
            Redraw();
            break;
        case Tok::DRAW_FACES: SetGraphicProperty(1, static_cast<float>(value)); break;
        case Tok::DRAW_LINES: SetGraphicProperty(2, static_cast<float>(value)); break;
        case Tok::DRAW_MODE: SetGraphicProperty(26, static_cast<float>(value)); break;
        case Tok::DRAW_OVERLAY: SetGraphicProperty(9, static_cast<float>(value)); break;
        case Tok::DRAW_SMOOTH: SetGraphicProperty(8, static_cast<float>(value)); break;
        case Tok::LIGHTING: SetGraphicProperty(4, static_cast<float>(value)); break;
        case Tok::LIGHTING_SPECULAR: SetGraphicProperty(5, static_cast<float>(value)); break;
        case Tok::LIMIT_ZOOM: limitZoom = value != 0; break;
        case Tok::LINE_SMOOTH: SetGraphicProperty(7, static_cast<float>(value)); break;
        case Tok::LINE_WIDTH: SetGraphicProperty(10, static_cast<float>(std::atof(t))); break;
        case Tok::OBJECT_ANGLE:
            f[0] = static_cast<float>(std::atof(t));
            SetGraphicPlacement(1, f);
            break;
        case Tok::OBJECT_AXIS:
            if (std::sscanf(t, "%g %g %g %g %g %g", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) == 6)
                SetGraphicPlacement(2, f);
            break;
        case Tok::OBJECT_SCALE:
            if (std::sscanf(t, "%g %g %g", &f[0], &f[1], &f[2]) == 3) SetGraphicPlacement(4, f);
            break;
        case Tok::OBJECT_TRANSLATION:
            if (std::sscanf(t, "%g %g %g", &f[0], &f[1], &f[2]) == 3) SetGraphicPlacement(3, f);
            break;
        case Tok::OBJECT_CLIP_PLANE:
        case Tok::OBJECT_MIRROR_PLANE: {
            if (!g) break;
            bool havePoints = false;
            bool on = parsePlane(t, f, havePoints);
            bool clip = token == Tok::OBJECT_CLIP_PLANE;
            if (havePoints) {
                if (clip)
                    g->setClipPlane(f);
                else
                    g->setMirrorPlane(f);
            }
            SetGraphicProperty(clip ? 13 : 15, on ? 1.0f : 0.0f);
            MarkAllViewports();
            break;
        }
        case Tok::OBJECT_INSTANCES:
            f[0] = static_cast<float>(std::atof(t));
            SetGraphicReplication(0, f);
            break;
        case Tok::OBJECT_INSTANCE_ANGLE:
            f[0] = static_cast<float>(std::atof(t));
            SetGraphicReplication(1, f);
            break;
        case Tok::OBJECT_INSTANCE_AXIS:
            if (std::sscanf(t, "%g %g %g %g %g %g", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) == 6)
                SetGraphicReplication(2, f);
            break;
        case Tok::OBJECT_INSTANCE_TRANSLATION:
            if (std::sscanf(t, "%g %g %g", &f[0], &f[1], &f[2]) == 3) SetGraphicReplication(3, f);
            break;
        case Tok::OBJECT_POLYGON_MODE: {
            float mode = std::strcmp(t, "LINE") == 0 ? 1.0f : (std::strcmp(t, "POINT") == 0 ? 2.0f : 0.0f);
            SetGraphicProperty(20, mode);
            break;
        }
        case Tok::OBJECT_POLYGON_OFFSET: SetGraphicProperty(25, static_cast<float>(value)); break;
        case Tok::OBJECT_POLYSTRIP: break;
        case Tok::OBJECT_VISIBILITY: SetGraphicProperty(0, static_cast<float>(value)); break;
        case Tok::POINT_SIZE: SetGraphicProperty(23, static_cast<float>(std::atof(t))); break;
        case Tok::TEXTURE: SetGraphicProperty(21, static_cast<float>(value)); break;
        case Tok::TRANSPARENCY: SetGraphicProperty(12, static_cast<float>(std::atof(t))); break;

        case Tok::OUTFILE: output.setOutputFileName(t); break;
        case Tok::PRINTER: output.setOutputType(OutputSettings::TypeFromWord(t)); break;
        case Tok::PRINT_ANTIALIAS: output.outputAntialias = value != 0; break;
        case Tok::PRINT_PS_PAPER_SIZE: output.setPaperSize(t); break;
        case Tok::PRINT_RASTER_SIZE:
            if (std::sscanf(t, "%g %g", &f[0], &f[1]) == 2)
                output.setRasterSize(static_cast<int>(f[0]), static_cast<int>(f[1]));
            break;
        case Tok::PRINT_SCREEN: printFromScreen = value != 0; break;
        case Tok::PRINT_TOLERANCE: SetPrintTolerance(static_cast<float>(std::atof(t))); break;
        case Tok::QUALITY_FACTOR: output.setQuality(value); break;
        case Tok::SCALE_FACTOR: output.setScalePercent(value); break;
        case Tok::XREVERSEVIDEO: output.reverseColours = value != 0; break;

        case Tok::SPARSE_MODE:
            if (std::strcmp(t, "AUTO") == 0)
                outlineMode = OUTLINE_AUTO;
            else if (std::strcmp(t, "MOVING") == 0)
                outlineMode = OUTLINE_MOVING;
            else if (std::strcmp(t, "NEVER") == 0)
                outlineMode = OUTLINE_NEVER;
            break;
        case Tok::VIEWER_LAYOUT: ApplyLayout(value); break;
        case Tok::VIEWER_LOD_ERROR: lodError = static_cast<float>(std::atof(t)); break;
        case Tok::VIEWER_LOGO: SetLogoState(value); break;
        case Tok::VIEWER_PORT:
            if (!SetCurrentViewportByNumber(value)) SetCurrentViewportByNumber(1);
            break;
        case Tok::VIEWER_PORT_ORDER: {
            std::istringstream words(text);
            for (int slot = 0; slot < numViewports && slot < 4; ++slot) {
                int n;
                if (!(words >> n)) break;
                viewportOrder[slot] = n;
            }
            ApplyLayout(viewportLayout);
            break;
        }
        case Tok::VIEWER_XSPLIT: SetXSplit(static_cast<float>(std::atof(t))); break;
        case Tok::VIEWER_YSPLIT: SetYSplit(static_cast<float>(std::atof(t))); break;

        case Tok::VIEWPORT_AUTOFIT: SetViewportAutofit(value != 0); break;
        case Tok::VIEWPORT_AXIS: SetViewportAxis(value != 0); break;
        case Tok::VIEWPORT_AXIS_TYPE: SetViewportAxisType(value); break;
        case Tok::VIEWPORT_BORDER: SetViewportBorder(value != 0); break;
        case Tok::VIEWPORT_CLIP_PLANE: {
            if (!vp) break;
            bool havePoints = false;
            bool on = parsePlane(t, f, havePoints);
            if (havePoints) vp->setClipPlane(f);
            vp->isCuttingPlaneVisibleFlag = on ? 1 : 0;
            vp->needsRedraw = 1;
            break;
        }
        case Tok::VIEWPORT_LIGHT:
            if (std::sscanf(t, "%g %g", &f[0], &f[1]) == 2) SetViewportLight(f[0], f[1]);
            break;
        case Tok::VIEWPORT_MAXIMIZE: SetMaximized(value != 0); break;
        case Tok::VIEWPORT_ORTHO:
            if (vp && (value != 0) != (vp->isOrthographic != 0)) ToggleViewportProjection();
            break;
        case Tok::VIEWPORT_ROTATION: SetViewportRotation(value != 0); break;
        case Tok::VIEWPORT_RULER: SetViewportRuler(value != 0); break;
        case Tok::VIEWPORT_RULER_UNITS: {
            char units[kTextLimit] = {0};
            if (std::sscanf(t, "%g %255s", &f[0], units) == 2) SetViewportRulerScale(f[0], units);
            break;
        }
        default:
            // Geometry tokens belong to LOAD_GRAPHIC; their data stays in the
            // stream and the next key scan skips it.
            platform::ShowMessage(platform::MessageIcon::Error, kNotRecognized);
            break;
    }
    return 1;
}
