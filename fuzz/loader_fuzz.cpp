// The geometry loader over arbitrary bytes: whatever arrives, the loaded
// data must keep its arrays exactly sized and every index inside them, and
// what it writes back must load again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/LinkStream.h"
#include "platform/MessageSink.h"
#include "scene/GraphicData.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool Sized(size_t size, long long count) { return size == 0 || (count >= 0 && size == size_t(count)); }

void CheckFaces(const std::vector<int>& entries, int numFaces, int numEntries, int numVertices) {
    Check(entries.size() == size_t(numEntries));
    size_t pos = 0;
    for (int f = 0; f < numFaces; ++f) {
        Check(pos < entries.size());
        const int n = entries[pos];
        Check(n >= 0 && pos + 1 + size_t(n) <= entries.size());
        for (int k = 1; k <= n; ++k) Check(entries[pos + size_t(k)] >= 0 && entries[pos + size_t(k)] < numVertices);
        pos += size_t(n) + 1;
    }
    Check(pos == entries.size());
}

void CheckData(const GraphicData& d) {
    Check(d.vertexCoords.size() == size_t(d.numVertices) * 3);
    Check(Sized(d.vertexColours.size(), d.numVertices));
    Check(d.lineSegs.size() == size_t(d.numLineSegs) * 2);
    for (int v : d.lineSegs) Check(v >= 0 && v < d.numVertices);
    Check(Sized(d.lineColours.size(), d.numLineSegs));
    CheckFaces(d.faceEntries, d.numFaces, d.numFaceEntries, d.numVertices);
    Check(Sized(d.faceColours.size(), d.numFaces));
    if (!d.hasBackdrop()) {
        Check(d.faceNormals.size() == size_t(d.numFaces) * 3);
        Check(d.vertexFaceStart.size() == size_t(d.numVertices));
    }
    Check(d.overlayPoints.size() == size_t(d.numOverlays) * 6 && Sized(d.overlayColours.size(), d.numOverlays));
    if (d.label) {
        const LabelRecord& l = *d.label;
        Check(l.points.size() == size_t(l.numPoints) * 2);
        for (int v : l.segs) Check(v >= 0 && v < l.numPoints);
        CheckFaces(l.faceEntries, l.numFaces, l.numFaceEntries, l.numPoints);
        Check(l.textStrings.size() == size_t(l.numTexts));
    }
    if (d.texts) Check(d.texts->strings.size() == size_t(d.texts->numTexts));
    if (d.image) Check(d.image->pixels.size() == size_t(d.image->width) * size_t(d.image->height) * 4);
    if (d.texture) Check(d.texture->pixels.size() == size_t(d.texture->width) * size_t(d.texture->height) * 4);
    const PrimitiveRecord& p = d.primitive;
    if (p.present()) {
        const size_t n = size_t(p.numInstances);
        Check(p.scales.size() == n && p.positions.size() == 3 * n && p.frames.size() == 6 * n);
        const MeshRecord& t = p.shape;
        Check(t.vertexCoords.size() == size_t(t.numVertices) * 3);
        for (int v : t.lineSegs) Check(v >= 0 && v < t.numVertices);
        CheckFaces(t.faceEntries, t.numFaces, t.numFaceEntries, t.numVertices);
    }
}

int MemoryFile(const void* data, size_t size) {
    const int fd = memfd_create("loader_fuzz", 0);
    if (fd < 0) return -1;
    if (size > 0 && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return -1;
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string&) {}),
                         true);
    (void)quiet;
    const int in = MemoryFile(data, size);
    if (in < 0) return 0;
    LinkStream stream;
    stream.readHandle = in;
    stream.compressBufferSize = 0;
    GraphicData first(nullptr, &stream);
    first.LoadData(size % 2 == 0);
    CheckData(first);
    close(in);

    // What was loaded writes out and loads again to the same counts; the
    // copy travels compressed so that both transfer forms are covered.
    const int out = MemoryFile(nullptr, 0);
    if (out < 0) return 0;
    LinkStream back;
    back.writeHandle = out;
    back.readHandle = out;
    back.compressBufferSize = 32;
    if (first.SaveData(back) && back.WriteToken(LinkStream::Tok::DONE)) {
        lseek(out, 0, SEEK_SET);
        GraphicData second(nullptr, &back);
        second.LoadData(false);
        CheckData(second);
        if (!first.primitive.present() && !first.hasBackdrop()) {
            Check(second.numVertices == first.numVertices);
            Check(second.numFaces == first.numFaces);
            Check(second.numLineSegs == first.numLineSegs);
        }
    }
    close(out);
    return 0;
}
