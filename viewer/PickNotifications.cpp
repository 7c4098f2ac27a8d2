// Pick notifications: forwarded to the hooks of the GUI layer when it has
// installed them.  Weak, so that a program that links the engine archives
// can still take the notifications itself.
#include "render/PickRecord.h"
#include "viewer/ViewerExports.h"

namespace {
PickNotificationHooks installedHooks;
}

void SetPickNotificationHooks(const PickNotificationHooks* hooks) {
    installedHooks = hooks ? *hooks : PickNotificationHooks();
}

__attribute__((weak)) void DmeshPickedObject(int count, const PickRecord* records) {
    if (installedHooks.pickedObject) installedHooks.pickedObject(count, records);
}
__attribute__((weak)) void DmeshPickedPoint(const float* point, int code) {
    if (installedHooks.pickedPoint) installedHooks.pickedPoint(point, code);
}
__attribute__((weak)) void DmeshMovedObject(int objectId, float x, float y, float z) {
    if (installedHooks.movedObject) installedHooks.movedObject(objectId, x, y, z);
}
