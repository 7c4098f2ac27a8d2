// The viewport's text forms: the diagnostic dump and the "++ VIEWPORT"
// section of state and scene files.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/RecordFile.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"

namespace {

const char* const kAxisTypeNames[] = {"XYZ", "ATR", "MTS"};

bool IsInternal(const vkoGraphicObj* object) {
    return object && !object->objectname.empty() && object->objectname[0] == '\t';
}

// Exactly count finite numbers, nothing else but blanks and ";" after them.
bool ParseFloats(const std::string& text, float* out, int count) {
    const char* p = text.c_str();
    float tmp[3];
    int n = 0;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0' || *p == ';') break;
        char* end = nullptr;
        const float v = std::strtof(p, &end);
        if (end == p || !std::isfinite(v) || n >= count) return false;
        tmp[n++] = v;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == ';') ++p;
    if (*p != '\0' || n != count) return false;
    std::memcpy(out, tmp, sizeof(float) * size_t(count));
    return true;
}

// One number the "atof" way, except that a value that is not finite is
// refused (it would poison every later projection).
bool ParseOne(const std::string& text, float& out) {
    const float v = static_cast<float>(std::atof(text.c_str()));
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

std::string StripTail(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == ';')) text.pop_back();
    return text;
}

}  // namespace

void vkoViewport::dump(FILE* file, int indent) const {
    if (!file) return;
    const int in = indent > 0 ? indent : 1;  // "%*c" prints at least the blank
    auto text = [&](const char* key, const char* value) { std::fprintf(file, "%*c%s: %s\n", in, ' ', key, value); };
    auto num = [&](const char* key, double value) { std::fprintf(file, "%*c%s: %g\n", in, ' ', key, value); };
    auto flag = [&](const char* key, int value) { std::fprintf(file, "%*c%s: %d\n", in, ' ', key, value); };
    auto point = [&](const char* key, const float* p) {
        std::fprintf(file, "%*c%s: %g %g %g\n", in, ' ', key, double(p[0]), double(p[1]), double(p[2]));
    };
    text("viewportname", viewportname.c_str());
    num("left", left);
    num("bottom", bottom);
    num("width", width);
    num("height", height);
    flag("isCentered", isCentered);
    flag("isVisibleFlag", isVisibleFlag);
    flag("isAxisVisibleFlag", isAxisVisibleFlag);
    flag("isRulerVisibleFlag", isRulerVisibleFlag);
    flag("isBorderVisibleFlag", isBorderVisibleFlag);
    flag("isOrthographic", isOrthographic);
    flag("isRotationEnabled", isRotationEnabled);
    const char* axisName = axisType >= 0 && axisType < 3 ? kAxisTypeNames[axisType] : "???";
    std::fprintf(file, "%*c%s: %d(%.3s)\n", in, ' ', "axisType", axisType, axisName);
    flag("isCuttingPlaneVisibleFlag", isCuttingPlaneVisibleFlag);
    point("cuttingPlanePt1", cuttingPlanePt1);
    point("cuttingPlanePt2", cuttingPlanePt2);
    point("cuttingPlanePt3", cuttingPlanePt3);
    num("cuttingPlaneD", cuttingPlaneD);
    num("lightAngleXToZ", lightAngleXToZ);
    num("lightAngleZToY", lightAngleZToY);
    text("rulerUnits", rulerUnits.c_str());
    num("rulerScale", rulerScale);
    std::fprintf(file, "%*cObjects:\n", in, ' ');
    for (const vkoGraphicObj* object : objects)
        if (!IsInternal(object)) std::fprintf(file, "%*c%s\n", in + 4, ' ', object->objectname.c_str());
    if (view) view->dump(file, in);
}

bool vkoViewport::save(int fd) const {
    using namespace recordfile;
    auto byte = [&](const char* key, unsigned char value) { return WriteBytes(fd, key, &value, 1); };
    bool ok = WriteLine(fd, "++ VIEWPORT") && WriteText(fd, "viewportname", viewportname.c_str()) &&
              WriteFloats(fd, "left", &left, 1) && WriteFloats(fd, "bottom", &bottom, 1) &&
              WriteFloats(fd, "width", &width, 1) && WriteFloats(fd, "height", &height, 1) &&
              byte("isCentered", isCentered) && byte("isVisibleFlag", isVisibleFlag) &&
              byte("isAxisVisibleFlag", isAxisVisibleFlag) && byte("isRulerVisibleFlag", isRulerVisibleFlag) &&
              byte("isBorderVisibleFlag", isBorderVisibleFlag) && byte("isOrthographic", isOrthographic) &&
              byte("isRotationEnabled", isRotationEnabled) && WriteInts(fd, "axisType", &axisType, 1) &&
              byte("isCuttingPlaneVisibleFlag", isCuttingPlaneVisibleFlag) &&
              WriteFloats(fd, "cuttingPlanePt1", cuttingPlanePt1, 3) &&
              WriteFloats(fd, "cuttingPlanePt2", cuttingPlanePt2, 3) &&
              WriteFloats(fd, "cuttingPlanePt3", cuttingPlanePt3, 3) && WriteFloats(fd, "cuttingPlaneD", &cuttingPlaneD, 1) &&
              WriteFloats(fd, "lightAngleXToZ", &lightAngleXToZ, 1) &&
              WriteFloats(fd, "lightAngleZToY", &lightAngleZToY, 1) &&
              WriteText(fd, "rulerUnits", rulerUnits.c_str()) && WriteFloats(fd, "rulerScale", &rulerScale, 1) &&
              WriteLine(fd, "++ OBJECTS");
    for (const vkoGraphicObj* object : objects)
        if (ok && !IsInternal(object)) ok = WriteLine(fd, object->objectname.c_str());
    ok = ok && WriteLine(fd, "-- OBJECTS");
    if (ok && view) ok = view->save(fd);
    return ok && WriteLine(fd, "-- VIEWPORT");
}

bool vkoViewport::restore(int fd) {
    using namespace recordfile;
    needsRedraw = 1;
    std::vector<std::string> listed;
    for (const vkoGraphicObj* object : objects)
        if (!IsInternal(object)) listed.push_back(object->objectname);
    for (const std::string& name : listed) removeObject(name.c_str());

    enum { kFields, kObjectList, kViewBlock } mode = kFields;
    char line[kLineSize];
    std::string key, value;
    while (ReadLine(fd, line, sizeof line)) {
        const char* cursor = line;
        bool hasValue = false;
        const int kind = SplitLine(cursor, key, value, &hasValue);
        if (mode == kObjectList) {
            if (kind == kCloseLine && KeyMatches(key, "OBJECTS")) {
                mode = kFields;
            } else if (kind == kCloseLine && KeyMatches(key, "VIEWPORT")) {
                return true;  // a damaged list: the section still ends here
            } else if (line[0] != '\t') {
                // The whole line is the name (names may hold "=" or blanks);
                // the viewer's own objects are never listed.
                addObject(line);
            }
            continue;
        }
        if (kind == kEmptyLine) continue;
        if (mode == kViewBlock && kind == kCloseLine) mode = kFields;  // "}" is missing
        if (mode == kViewBlock) {
            if (key[0] == '}') {
                mode = kFields;
            } else if (view && !view->restore(key.c_str(), hasValue ? value.c_str() : nullptr)) {
                return false;
            }
            continue;
        }
        if (kind == kCloseLine) {
            if (KeyMatches(key, "VIEWPORT")) return true;
            continue;
        }
        if (kind == kOpenLine) {
            if (KeyMatches(key, "OBJECTS")) mode = kObjectList;
            continue;
        }
        if (KeyMatches(key, "NEW_VIEW")) {
            mode = kViewBlock;
            continue;
        }
        if (!hasValue) continue;

        struct FloatKey { const char* name; float* target; };
        const FloatKey floats[] = {{"left", &left},
                                   {"bottom", &bottom},
                                   {"width", &width},
                                   {"height", &height},
                                   {"cuttingPlaneD", &cuttingPlaneD},
                                   {"lightAngleXToZ", &lightAngleXToZ},
                                   {"lightAngleZToY", &lightAngleZToY},
                                   {"rulerScale", &rulerScale}};
        struct ByteKey { const char* name; unsigned char* target; };
        const ByteKey bytes[] = {{"isCentered", &isCentered},
                                 {"isVisibleFlag", &isVisibleFlag},
                                 {"isAxisVisibleFlag", &isAxisVisibleFlag},
                                 {"isRulerVisibleFlag", &isRulerVisibleFlag},
                                 {"isBorderVisibleFlag", &isBorderVisibleFlag},
                                 {"isOrthographic", &isOrthographic},
                                 {"isRotationEnabled", &isRotationEnabled},
                                 {"isCuttingPlaneVisibleFlag", &isCuttingPlaneVisibleFlag}};
        struct PointKey { const char* name; float* target; };
        const PointKey points[] = {{"cuttingPlanePt1", cuttingPlanePt1},
                                   {"cuttingPlanePt2", cuttingPlanePt2},
                                   {"cuttingPlanePt3", cuttingPlanePt3}};
        bool handled = false;
        if (KeyMatches(key, "viewportname")) {
            viewportname = StripTail(value);
            handled = true;
        } else if (KeyMatches(key, "rulerUnits")) {
            rulerUnits = StripTail(value);
            handled = true;
        } else if (KeyMatches(key, "axisType")) {
            // Only the three known letter sets (the dump and the triad index by it).
            const int type = std::atoi(value.c_str());
            if (type >= 0 && type <= 2) axisType = type;
            handled = true;
        }
        for (const FloatKey& k : floats)
            if (!handled && KeyMatches(key, k.name)) {
                float v;
                if (ParseOne(value, v)) {
                    if (k.target == &lightAngleXToZ || k.target == &lightAngleZToY)
                        v = std::fmin(std::fmax(v, 0.0f), 180.0f);
                    *k.target = v;
                }
                handled = true;
            }
        for (const ByteKey& k : bytes)
            if (!handled && KeyMatches(key, k.name)) {
                *k.target = static_cast<unsigned char>(std::atoi(value.c_str()));
                handled = true;
            }
        for (const PointKey& k : points)
            if (!handled && KeyMatches(key, k.name)) {
                if (!ParseFloats(value, k.target, 3)) return false;
                handled = true;
            }
    }
    return false;
}
