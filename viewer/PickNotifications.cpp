// Default pick notifications: the host's GUI layer defines the real ones,
// which take precedence over these weak definitions at link time.
#include "render/PickRecord.h"
#include "viewer/ViewerExports.h"

__attribute__((weak)) void DmeshPickedObject(int, const PickRecord*) {}
__attribute__((weak)) void DmeshPickedPoint(const float*, int) {}
__attribute__((weak)) void DmeshMovedObject(int, float, float, float) {}
