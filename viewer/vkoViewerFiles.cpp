// The viewer section, state files, camera files and the text dump.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "link/RecordFile.h"
#include "platform/LowLevelFile.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

const char kCameraMagic[] = "#!DRAVmesh View/Camera File";
const char kCameraVersion[] = "#!Version 2.6";
const char kDefaultStateFile[] = "viewer.state";

bool IsInternalName(const std::string& name) { return !name.empty() && name[0] == '\t'; }

const char* EnumWord(int value, const char* const* words, int count) {
    return value >= 0 && value < count ? words[value] : "UNKNOWN";
}

// Restores drawing suspension on every way out of a reader.
class SuspendGuard {
public:
    explicit SuspendGuard(vkoViewer& viewer) : viewer_(viewer), previous_(viewer.SuspendDrawing(true)) {}
    ~SuspendGuard() { viewer_.SuspendDrawing(previous_); }
    SuspendGuard(const SuspendGuard&) = delete;
    SuspendGuard& operator=(const SuspendGuard&) = delete;

private:
    vkoViewer& viewer_;
    bool previous_;
};

}  // namespace

// ---------------------------------------------------------------- viewer section

bool vkoViewer::WriteViewerSection(int fd) {
    using namespace recordfile;
    const int count = std::min(numViewports, 4);
    bool ok = WriteLine(fd, "++ VIEWER") && WriteLine(fd, "++ MANAGED VIEWPORT") &&
              WriteInts(fd, "numViewports", &numViewports, 1) && WriteInts(fd, "viewportLayout", &viewportLayout, 1) &&
              WriteInts(fd, "viewportOrder", viewportOrder, count) &&
              WriteFloats(fd, "backGroundColor", backGroundColor, 3) &&
              WriteFloats(fd, "backGroundColor2", backGroundColor2, 3) &&
              WriteInts(fd, "backGroundType", &backGroundType, 1) && WriteInts(fd, "LogoState", &logoState, 1) &&
              WriteInts(fd, "outlineMode", &outlineMode, 1);
    for (vkoViewport* viewport : viewports)
        if (ok) ok = viewport->save(fd);
    return ok && WriteLine(fd, "-- MANAGED VIEWPORT") && WriteLine(fd, "-- VIEWER");
}

bool vkoViewer::ReadViewerSection(int fd) {
    using namespace recordfile;
    SuspendGuard suspended(*this);
    int count = -1, layout = -1;
    float xs = -1.0f, ys = -1.0f;
    float colour[3] = {0, 0, 0}, colour2[3] = {1, 1, 1};
    int type = 0, logo = 1, outline = 2;
    int state = -1;  // -1 outside, 0 in VIEWER, 1 in MANAGED VIEWPORT, 2 among the viewports
    size_t nextViewport = 0;

    char line[kLineSize];
    std::string key, value;
    while (ReadLine(fd, line, sizeof line)) {
        const char* cursor = line;
        bool hasValue = false;
        const int kind = SplitLine(cursor, key, value, &hasValue);
        if (kind == kEmptyLine) continue;
        if (kind == kOpenLine) {
            if (KeyMatches(key, "VIEWER")) {
                state = 0;
            } else if (KeyMatches(key, "MANAGED VIEWPORT") && state == 0) {
                state = 1;
            } else if (KeyMatches(key, "VIEWPORT") && (state == 1 || state == 2)) {
                if (state == 1) {
                    if (count != numViewports) return true;
                    ApplyLayout(layout);
                    // An unknown type keeps the current one; the colours still apply.
                    SetBackground(type >= BG_SOLID && type <= BG_DIAGONAL ? type : backGroundType, colour, colour2);
                    // Each split only when it was read: an unread one would
                    // squeeze its viewports to nothing.
                    if (xs >= 0.0f) SetXSplit(xs);
                    if (ys >= 0.0f) SetYSplit(ys);
                    if (outline >= OUTLINE_NEVER && outline <= OUTLINE_AUTO) outlineMode = outline;
                    SetLogoState(logo);
                    nextViewport = 0;
                    state = 2;
                }
                if (nextViewport >= viewports.size() || !viewports[nextViewport]->restore(fd)) return true;
                ++nextViewport;
                if (nextViewport >= viewports.size()) state = 0;
            }
            continue;
        }
        if (kind == kCloseLine) {
            if (KeyMatches(key, "MANAGED VIEWPORT")) state = 0;
            else if (KeyMatches(key, "VIEWER")) return true;
            continue;
        }
        if (state != 1 || !hasValue) continue;
        const char* v = value.c_str();
        if (KeyMatches(key, "numViewports")) {
            count = std::atoi(v);
        } else if (KeyMatches(key, "viewportLayout")) {
            layout = std::atoi(v);
        } else if (KeyMatches(key, "viewportOrder")) {
            if (count != numViewports) return true;
            // Numbers that name no viewport keep the current entry.
            const char* p = v;
            for (int i = 0; i < numViewports && i < 4; ++i) {
                char* end = nullptr;
                const long n = std::strtol(p, &end, 10);
                if (end == p) break;
                if (n >= 1 && n <= numViewports) viewportOrder[i] = int(n);
                p = end;
            }
        } else if (KeyMatches(key, "backGroundColor2") || KeyMatches(key, "backGroundColor")) {
            float* target = KeyMatches(key, "backGroundColor2") ? colour2 : colour;
            float c[3];
            if (std::sscanf(v, "%g %g %g", &c[0], &c[1], &c[2]) != 3) return false;
            if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2])) return false;
            for (int i = 0; i < 3; ++i) target[i] = c[i];
        } else if (KeyMatches(key, "backGroundType")) {
            type = std::atoi(v);
        } else if (KeyMatches(key, "LogoState")) {
            logo = std::atoi(v);
        } else if (KeyMatches(key, "outlineMode")) {
            outline = std::atoi(v);
        } else if (KeyMatches(key, "xSplit")) {
            xs = static_cast<float>(std::atof(v));
        } else if (KeyMatches(key, "ySplit")) {
            ys = static_cast<float>(std::atof(v));
        }
    }
    return false;
}

// ---------------------------------------------------------------- state files

bool vkoViewer::WriteState(int parts, const char* path) {
    using namespace recordfile;
    const char* name = path && *path ? path : kDefaultStateFile;
    ReplacingFile file;
    const int fd = file.Open(name);
    if (fd < 0) return false;
    bool ok = true;
    if (parts & 1) ok = WriteLine(fd, "++ OBJECTS") && WriteLine(fd, "-- OBJECTS");
    if (ok && (parts & 2)) ok = WriteViewerSection(fd);
    return ok && file.Commit();
}

bool vkoViewer::WriteStateFile(const char* path) { return WriteState(3, path); }

// ---------------------------------------------------------------- camera files

bool vkoViewer::WriteCameraFile(const char* path) {
    using namespace recordfile;
    ReplacingFile file;
    const int fd = file.Open(path);
    if (fd < 0) return false;
    bool ok = WriteLine(fd, kCameraMagic) && WriteLine(fd, kCameraVersion);
    for (SavedCamera* camera = savedCameras; camera && ok; camera = camera->next) ok = camera->view.save(fd);
    return ok && file.Commit();
}

bool vkoViewer::ReadCameraFile(const char* path) {
    using namespace recordfile;
    if (!path || !*path) return false;
    const int fd = platform::FileOpen(path, platform::OpenMode::Read);
    if (fd < 0) return false;
    char line[kLineSize];
    if (!ReadLine(fd, line, sizeof line) || std::strncmp(line, kCameraMagic, sizeof kCameraMagic - 1) != 0) {
        platform::FileClose(fd);
        return false;
    }
    std::unique_ptr<SavedCamera> camera;  // the view being read
    bool ok = true;
    std::string key, value;
    while (ReadLine(fd, line, sizeof line)) {
        const char* cursor = line;
        bool hasValue = false;
        if (SplitLine(cursor, key, value, &hasValue) == kEmptyLine || key[0] == '#') continue;
        if (key.compare(0, 8, "NEW_VIEW") == 0) {
            // A view left open by the one before it is dropped.
            camera = std::make_unique<SavedCamera>(this, "");
            camera->view.reset();
            continue;
        }
        if (!camera) continue;  // lines outside a view belong to nothing
        if (key[0] == '}') {
            SavedCamera::Add(this, camera.release());
            continue;
        }
        if (!camera->view.restore(key.c_str(), hasValue ? value.c_str() : "")) {
            ok = false;
            break;
        }
    }
    platform::FileClose(fd);
    return ok && !camera;
}

// ---------------------------------------------------------------- text dump

void vkoViewer::WriteTextDump(FILE* stream) {
    if (!stream) return;
    static const char* const backgroundWords[] = {"SOLID", "TOP->BOTTOM", "LEFT->RIGHT", "DIAGONAL"};
    static const char* const logoWords[] = {"NONE", "KRV", "VH"};
    static const char* const outlineWords[] = {"NEVER", "MOVING", "AUTO"};
    int shown = 0;
    for (const auto& entry : objectsById)
        if (!IsInternalName(entry.second->objectname)) ++shown;

    std::fprintf(stream, "%*cViewer:\n", 0, ' ');
    std::fprintf(stream, "%*cNumber of Graphic Objects: %d\n", 4, ' ', shown);
    std::fprintf(stream, "%*c%s: %d\n", 4, ' ', "numViewports", numViewports);
    std::fprintf(stream, "%*c%s: %d\n", 4, ' ', "viewportLayout", viewportLayout);
    std::fprintf(stream, "%*c%s: ", 4, ' ', "viewportOrder");
    for (int i = 0; i < numViewports && i < 4; ++i) std::fprintf(stream, "%d ", viewportOrder[i]);
    std::fprintf(stream, "\n");
    std::fprintf(stream, "%*c%s: %g %g %g\n", 4, ' ', "backGroundColor", double(backGroundColor[0]),
                 double(backGroundColor[1]), double(backGroundColor[2]));
    std::fprintf(stream, "%*c%s: %g %g %g\n", 4, ' ', "backGroundColor2", double(backGroundColor2[0]),
                 double(backGroundColor2[1]), double(backGroundColor2[2]));
    std::fprintf(stream, "%*c%s: %d(%s)\n", 4, ' ', "backGroundType", backGroundType,
                 EnumWord(backGroundType, backgroundWords, 4));
    std::fprintf(stream, "%*c%s: %d(%s)\n", 4, ' ', "LogoState", logoState, EnumWord(logoState, logoWords, 3));
    std::fprintf(stream, "%*c%s: %d(%s)\n", 4, ' ', "outlineMode", outlineMode,
                 EnumWord(outlineMode, outlineWords, 3));
    std::fprintf(stream, "\n\n%*cViewports:\n", 0, ' ');
    for (vkoViewport* viewport : viewports) {
        viewport->dump(stream, 4);
        std::fprintf(stream, "\n");
    }
    std::fprintf(stream, "\n%*cObjects:\n", 0, ' ');
    for (const auto& entry : objectsById) {
        if (IsInternalName(entry.second->objectname)) continue;
        entry.second->dump(stream, 4);
        std::fprintf(stream, "\n");
    }
    std::fflush(stream);
}
