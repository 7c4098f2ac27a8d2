// CopyPickedFaces: a face mesh made of the faces that pick records name in
// other objects, used by the GUI to show picked faces in a colour of its own.
#include <map>
#include <vector>

#include "render/PickRecord.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "viewer/vkoViewer.h"

void vkoViewer::CopyPickedFaces(const float colour[3], int count, const PickRecord* records) {
    vkoGraphicObj* target = currentGraphic;
    if (!target || !records || count <= 0 || !colour) return;

    // Start of each face in an object's face list, built once per object.
    std::map<int, std::vector<int>> faceStarts;
    auto startsOf = [&](const vkoGraphicObj* o) -> const std::vector<int>& {
        auto [it, inserted] = faceStarts.try_emplace(o->objectid);
        if (inserted) {
            const GraphicData& d = *o->data;
            for (int pos = 0, f = 0; f < d.numFaces && pos < int(d.faceEntries.size()); ++f) {
                it->second.push_back(pos);
                pos += d.faceEntries[pos] + 1;
            }
        }
        return it->second;
    };

    std::vector<float> coords;
    std::vector<int> entries;
    coords.reserve(size_t(count) * 18);
    entries.reserve(size_t(count) * 7);
    int numVertices = 0, numFaces = 0;
    for (int i = 0; i < count; ++i) {
        const PickRecord& r = records[i];
        if (r.element < 0) continue;
        const vkoGraphicObj* o = FindGraphicById(r.objectId);
        if (!o || o == target || !o->data) continue;
        const GraphicData& d = *o->data;
        const std::vector<int>& starts = startsOf(o);
        if (r.element >= int(starts.size())) continue;
        const int pos = starts[r.element];
        const int n = d.faceEntries[pos];
        if (n <= 0 || pos + n >= int(d.faceEntries.size())) continue;
        bool valid = true;
        for (int k = 1; k <= n; ++k) {
            const int vtx = d.faceEntries[pos + k];
            if (vtx < 0 || vtx >= d.numVertices) valid = false;
        }
        if (!valid) continue;
        entries.push_back(n);
        for (int k = 1; k <= n; ++k) {
            const int vtx = d.faceEntries[pos + k];
            coords.insert(coords.end(), &d.vertexCoords[3 * size_t(vtx)], &d.vertexCoords[3 * size_t(vtx)] + 3);
            entries.push_back(numVertices++);
        }
        ++numFaces;
    }

    target->releaseData();
    target->appendMesh(numVertices, coords.data(), 0, nullptr, numFaces, int(entries.size()), entries.data());
    target->setSolidColour(colour[0], colour[1], colour[2]);
    RefreshGraphic(target, true, true);
}
