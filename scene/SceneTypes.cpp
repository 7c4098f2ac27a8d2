#include "scene/SceneTypes.h"

namespace {
const char* NameAt(const char* const* names, int count, int index) {
    return index >= 0 && index < count ? names[index] : "";
}
}  // namespace

const char* DrawModeName(int mode) {
    static const char* const names[] = {"NORMAL", "SPARSE OFF", "SPARSE ON", "ALWAYS ON", "PRIORITY"};
    return NameAt(names, 5, mode);
}

const char* PolygonModeName(int mode) {
    static const char* const names[] = {"FILL", "LINE", "POINT"};
    return NameAt(names, 3, mode);
}

const char* CullingModeName(int mode) {
    static const char* const names[] = {"NO", "BACK", "FRONT"};
    return NameAt(names, 3, mode);
}
