#include "scene/Transform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/LowLevelFile.h"
#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "render/MatrixStack.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr double kPi = 3.141592653589793;

// A line's key names a field when it starts with the name and the name is
// followed by a blank, a control character, "=", DEL, a byte above 127 or
// the end of the key.
bool keyMatches(const char* key, const char* name) {
    size_t n = std::strlen(name);
    if (std::strncmp(key, name, n) != 0) return false;
    unsigned char c = static_cast<unsigned char>(key[n]);
    return c == '\0' || c <= ' ' || c == '=' || c >= 127;
}

// Exactly `count` finite numbers separated by blanks (a trailing ";" is
// tolerated); anything else fails.
bool parseNumbers(const char* value, int count, float* out) {
    if (!value) return false;
    const char* p = value;
    float tmp[8];
    int n = 0;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == ',') ++p;
        if (*p == '\0' || *p == ';' || *p == '\r' || *p == '\n') break;
        char* endp = nullptr;
        float v = std::strtof(p, &endp);
        if (endp == p || !std::isfinite(v) || n >= count) return false;
        tmp[n++] = v;
        p = endp;
    }
    while (*p == ';' || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (*p != '\0' || n != count) return false;
    std::copy(tmp, tmp + n, out);
    return true;
}

float clampScale(double s) {
    if (s > Transform::kAbsoluteMaxScale) return Transform::kAbsoluteMaxScale;
    if (s < Transform::kAbsoluteMinScale) return Transform::kAbsoluteMinScale;
    return static_cast<float>(s);
}

bool writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = platform::FileWrite(fd, p, left);
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::string floatsLine(const char* key, const float* v, int count) {
    std::string line = std::string("\t") + key + " =";
    char buf[48];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, " %g", v[i]);
        line += buf;
    }
    return line + "\n";
}

}  // namespace

Transform::Transform(vkoViewer* owner_, const char* name_) : name(name_ ? name_ : ""), owner(owner_) { reset(); }

Transform::Transform(const Transform& other) { copy(other); }

Transform& Transform::operator=(const Transform& other) {
    if (this != &other) copy(other);
    return *this;
}

void Transform::reset() {
    pivot[0] = pivot[1] = pivot[2] = 0.0f;
    scale = 1.0f;
    defscale = 1.0f;
    pan[0] = pan[1] = 0.0f;
    rotation.setIdentity();
    rotation.rotateWorld(-90.0f, Quaternion::AxisX);
    appliedMask = -1;
    cached[0] = cached[1] = nullptr;
}

void Transform::copy(const Transform& from) {
    name = from.name;
    owner = from.owner;
    std::copy(from.pan, from.pan + 2, pan);
    std::copy(from.pivot, from.pivot + 3, pivot);
    rotation = from.rotation;
    scale = from.scale;
    defscale = from.defscale;
    appliedMask = from.appliedMask;
    cached[0] = cached[1] = nullptr;
}

void Transform::apply(Graphics* renderer, int mask) {
    appliedMask = mask;
    if (!renderer) return;
    renderer->loadIdentity();
    if (mask & MaskScale) renderer->scale(scale, scale, scale);
    if (mask & MaskTranslation) renderer->translate(pan[0], pan[1], 0.0f);
    if (mask & MaskRotation) {
        float m[16];
        rotation.toMatrix(m);
        renderer->multMatrix(m);
    }
    if (mask & MaskTranslation) renderer->translate(-pivot[0], -pivot[1], -pivot[2]);
}

bool Transform::zoomLimited() const { return owner ? owner->limitZoom : true; }

bool Transform::currentViewportIsPerspective() const {
    return owner && owner->currentViewport && !owner->currentViewport->isOrthographic;
}

// The factor that takes the scale to scale * factor, cut back so the new
// scale stays inside the zoom limits (when on) and the absolute limits.
float Transform::limitFactor(double factor) const {
    const bool limited = zoomLimited();
    const double maxScale = 100000.0 * defscale / 2.0;
    const double minScale = defscale / 20.0;
    double s = double(scale) * factor;
    if (limited && s > maxScale)
        s = maxScale;
    else if (s > kAbsoluteMaxScale)
        s = kAbsoluteMaxScale;
    else if (limited && s < minScale)
        s = minScale;
    else if (s < kAbsoluteMinScale)
        s = kAbsoluteMinScale;
    // Limits computed from an extreme defscale can themselves leave the
    // single-precision range.
    s = clampScale(s);
    return static_cast<float>(s / scale);
}

void Transform::ModifyValues(int type, float a, float b, float c, float d) {
    if (type < ChangeRotate || type > ChangeZoom) {
        platform::ShowMessage(platform::MessageIcon::Error, "WARNING in Transform::ModifyValues: Illegal type\n");
        return;
    }
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c) || !std::isfinite(d)) return;
    switch (type) {
    case ChangeRotate:
        rotateWorld(a, Quaternion::AxisX);
        rotateWorld(b, Quaternion::AxisY);
        rotateWorld(c, Quaternion::AxisZ);
        break;
    case ChangePan:
        pan[0] += 2.0f * a / scale;
        pan[1] += 2.0f * b / scale;
        break;
    case ChangePivot:
        pan[0] = pan[1] = 0.0f;
        pivot[0] = a;
        pivot[1] = b;
        pivot[2] = c;
        break;
    case ChangeTravel:
        if (a != 0.0f || b != 0.0f) {
            pan[0] -= a / scale;
            pan[1] -= b / scale;
            if (currentViewportIsPerspective()) {
                if (b != 0.0f) rotateWorld(float(std::atan(-b / 5.0) * 180.0 / kPi), Quaternion::AxisX);
                if (a != 0.0f) rotateWorld(float(std::atan(a / 5.0) * 180.0 / kPi), Quaternion::AxisY);
            }
        }
        scale = clampScale(double(scale) * limitFactor(d));
        break;
    case ChangeZoom: {
        float f = limitFactor(d);
        pan[0] += 2.0f * a * (1.0f / f - 1.0f) / scale;
        pan[1] += 2.0f * b * (1.0f / f - 1.0f) / scale;
        scale = clampScale(double(scale) * f);
        break;
    }
    }
}

void Transform::fitToBounds(Graphics* renderer, bool orthographic, const float bounds[6]) {
    float largest = 0.0f;
    for (int axis = 0; axis < 3; ++axis) {
        pivot[axis] = (bounds[2 * axis] + bounds[2 * axis + 1]) / 2.0f;
        largest = std::max(largest, bounds[2 * axis + 1] - bounds[2 * axis]);
    }
    // A point (all extents 0) or unusable bounds fit at scale 1.
    if (!(largest > 0.0f) || !std::isfinite(largest)) largest = 1.0f;
    for (float& p : pivot)
        if (!std::isfinite(p)) p = 0.0f;
    scale = defscale = clampScale(1.0 / largest);
    pan[0] = pan[1] = 0.0f;

    if (!renderer) return;
    int W = 0, H = 0;
    renderer->getWindowSize(&W, &H);
    float fl, fb, fw, fh;
    renderer->getViewport(&fl, &fb, &fw, &fh);
    if (W <= 0 || H <= 0 || fw <= 0.0f || fh <= 0.0f) return;
    int rect[4];
    renderer->pixelRectangle(fl, fb, fw, fh, rect);
    const double left = rect[0], bottom = rect[1], vw = rect[2], vh = rect[3];
    if (vw <= 0 || vh <= 0) return;

    apply(renderer, MaskAll);
    float win[3];
    if (!renderer->projectFloat(pivot, win)) return;  // a renderer that cannot project keeps the plain fit
    const double m = win[2];
    double dx = 0.0, dy = 0.0, zmax = -HUGE_VAL;
    for (int corner = 0; corner < 8; ++corner) {
        const float p[3] = {bounds[(corner & 1) ? 1 : 0], bounds[(corner & 2) ? 3 : 2], bounds[(corner & 4) ? 5 : 4]};
        renderer->projectFloat(p, win);
        dx = std::max(dx, std::fabs(win[0] - vw / 2.0 - left));
        dy = std::max(dy, std::fabs(win[1] - vh / 2.0 - bottom));
        zmax = std::max(zmax, double(win[2]));
    }

    double rx, ry;
    if (orthographic) {
        rx = 2.0 * dx / vw;
        ry = 2.0 * dy / vh;
    } else {
        // The corner farthest from the centre, seen through the eye: the
        // ratio of its distance to where it may lie on the viewport edge.
        auto ratio = [&](double d, double size) {
            double o = (m - 1.0) / (size / 2.0);
            double t = (zmax - m) / d;
            double X = (m - 1.0) / (o - t);
            double Z = (o * m - t) / (o - t);
            return std::sqrt(d * d + (zmax - m) * (zmax - m)) / std::sqrt(X * X + (Z - m) * (Z - m));
        };
        rx = ratio(dx, vw);
        ry = ratio(dy, vh);
    }
    double r = std::max(std::isfinite(rx) ? rx : 0.0, std::isfinite(ry) ? ry : 0.0);
    if (!(r > 0.0)) return;  // degenerate projection: keep the plain fit
    scale = defscale = clampScale(scale / r / 1.1);
}

void Transform::dump(FILE* file, int indent) const {
    const int in = indent + 4;
    const float* q = rotation.value();
    std::fprintf(file, "%*cTransform:\n", indent, ' ');
    std::fprintf(file, "%*c%s: %s\n", in, ' ', "name", name.c_str());
    std::fprintf(file, "%*c%s: %g %g %g\n", in, ' ', "pivot point", pivot[0], pivot[1], pivot[2]);
    std::fprintf(file, "%*c%s: %g\n", in, ' ', "scale", scale);
    std::fprintf(file, "%*c%s: %g\n", in, ' ', "defscale", defscale);
    std::fprintf(file, "%*c%s: %g %g\n", in, ' ', "pan", pan[0], pan[1]);
    std::fprintf(file, "%*c%s: %g %g %g %g\n", in, ' ', "rotation quaternion", q[0], q[1], q[2], q[3]);
}

bool Transform::save(int fileHandle) const {
    // The name ends at the first control character (a line break would
    // split the block) and is kept short enough for a 263-character line.
    std::string safeName;
    for (char ch : name) {
        if (static_cast<unsigned char>(ch) < ' ') break;
        safeName += ch;
    }
    if (safeName.size() > 240) safeName.resize(240);
    std::string text = "#\nNEW_VIEW {\n";
    text += "\tname = " + safeName + "\n";
    text += floatsLine("pivot point", pivot, 3);
    text += floatsLine("scale", &scale, 1);
    text += floatsLine("defscale", &defscale, 1);
    text += floatsLine("pan", pan, 2);
    text += floatsLine("rotation quaternion", rotation.value(), 4);
    text += "}\n";
    return writeAll(fileHandle, text);
}

bool Transform::restore(const char* key, const char* value) {
    if (!key) return false;
    float v[4];
    if (keyMatches(key, "name")) {
        std::string text = value ? value : "";
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == ';' ||
                                 text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        name = text;
        return true;
    }
    if (keyMatches(key, "pivot point")) {
        if (!parseNumbers(value, 3, v)) return false;
        std::copy(v, v + 3, pivot);
        return true;
    }
    if (keyMatches(key, "scale")) {
        if (!parseNumbers(value, 1, v)) return false;
        // A scale of 0 or below cannot be drawn or divided by; like defscale
        // it falls back to 1.
        scale = v[0] > 0.0f ? clampScale(v[0]) : 1.0f;
        return true;
    }
    if (keyMatches(key, "defscale")) {
        if (!parseNumbers(value, 1, v)) return false;
        defscale = v[0] > 0.0f ? clampScale(v[0]) : 1.0f;
        return true;
    }
    if (keyMatches(key, "pan")) {
        if (!parseNumbers(value, 2, v)) return false;
        pan[0] = v[0];
        pan[1] = v[1];
        return true;
    }
    if (keyMatches(key, "rotation xyz")) {
        if (!parseNumbers(value, 3, v)) return false;
        rotation.setIdentity();
        rotation.rotateWorld(v[0], Quaternion::AxisX);
        rotation.rotateWorld(v[1], Quaternion::AxisY);
        rotation.rotateWorld(v[2], Quaternion::AxisZ);
        return true;
    }
    if (keyMatches(key, "rotation quaternion")) {
        if (!parseNumbers(value, 4, v)) return false;
        rotation.set(v[0], v[1], v[2], v[3]);
        return true;
    }
    return true;  // unknown keys are ignored
}

void Transform::reportBackdropSetting() {
    float m[16];
    rotation.toMatrix(m);
    double md[16];
    for (int i = 0; i < 16; ++i) md[i] = m[i];
    float x, y, z, angle;
    MatrixStack::toAxisAngle(md, &x, &y, &z, &angle);
    char text[256];
    std::snprintf(text, sizeof text, "\nKRV_BACKGROUND_ROTATE=\"%g %g %g %g\"\n\n", x, y, z,
                  -angle * 180.0 / kPi);
    platform::ShowMessage(platform::MessageIcon::Warning, text);
}

// ---- undo ring ----------------------------------------------------------------

void Transform::UndoPush(Transform* const slots[], int& start, int& cursor, int& end, const Transform& current) {
    slots[cursor]->copy(current);
    if (cursor == end) end = (end + 1) % kUndoSlots;
    if (end == start) start = (start + 1) % kUndoSlots;
    cursor = (cursor + 1) % kUndoSlots;
}

bool Transform::Undo(Transform* const slots[], int& start, int& cursor, int& end, Transform& current) {
    if (cursor == start) return false;
    if (cursor == end) {
        UndoPush(slots, start, cursor, end, current);
        cursor = (cursor + kUndoSlots - 1) % kUndoSlots;
    }
    cursor = (cursor + kUndoSlots - 1) % kUndoSlots;
    current.copy(*slots[cursor]);
    return true;
}

bool Transform::Redo(Transform* const slots[], int& start, int& cursor, int& end, Transform& current) {
    // At the newest entry there is nothing to redo; without this check the
    // cursor would step past the end into an empty or stale slot.
    int next = (cursor + 1) % kUndoSlots;
    if (cursor == end || next == end) return false;
    cursor = next;
    current.copy(*slots[cursor]);
    return true;
}

// ---- saved cameras ----------------------------------------------------------------

SavedCamera* SavedCamera::Find(vkoViewer* viewer, const char* name) {
    if (!viewer || !name) return nullptr;
    for (SavedCamera* c = viewer->savedCameras; c; c = c->next)
        if (c->view.name == name) return c;
    return nullptr;
}

void SavedCamera::Add(vkoViewer* viewer, SavedCamera* camera) {
    if (!viewer || !camera) return;
    // A camera of the same name is replaced where it stands, so a camera
    // file keeps its order; a new name goes to the end.
    SavedCamera* prev = nullptr;
    for (SavedCamera* c = viewer->savedCameras; c; prev = c, c = c->next) {
        if (c == camera) return;  // already listed
        if (c->view.name == camera->view.name) {
            camera->next = c->next;
            (prev ? prev->next : viewer->savedCameras) = camera;
            if (viewer->savedCamerasTail == c) viewer->savedCamerasTail = camera;
            delete c;
            return;
        }
    }
    camera->next = nullptr;
    if (viewer->savedCamerasTail)
        viewer->savedCamerasTail->next = camera;
    else
        viewer->savedCameras = camera;
    viewer->savedCamerasTail = camera;
    ++viewer->numSavedCameras;
}

void SavedCamera::FreeAll(vkoViewer* viewer) {
    if (!viewer) return;
    for (SavedCamera* c = viewer->savedCameras; c;) {
        SavedCamera* next = c->next;
        delete c;
        c = next;
    }
    viewer->savedCameras = nullptr;
    viewer->savedCamerasTail = nullptr;
    viewer->numSavedCameras = 0;
}
