// Reading and writing of the geometry items of a GraphicData.  The
// GraphicData members LoadData, SaveData and LoadImage live here because they
// need the raster readers, which the scene folder cannot include.
#include "geometry/GeometryLoader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "geometry/Extruder.h"
#include "geometry/GlyphShapes.h"
#include "geometry/LinkArrayReader.h"
#include "link/LinkStream.h"
#include "output/CubeToSphere.h"
#include "output/ImageCodecs.h"
#include "platform/MessageSink.h"

using Tok = LinkStream::Tok;

namespace {

constexpr double kPi = 3.141592653589793;

void Error(const std::string& text) { platform::ShowMessage(platform::MessageIcon::Error, text); }

void DroppedWarning(const char* item, long long dropped) {
    char text[160];
    std::snprintf(text, sizeof text, "WARNING in LoadData: %s: %lld element(s) with an index out of range dropped\n",
                  item, dropped);
    platform::ShowMessage(platform::MessageIcon::Warning, text);
}

// ---------------------------------------------------------------- reading

class ItemReader {
public:
    ItemReader(LinkStream& stream, GraphicData& data) : s(stream), d(data) {}

    bool Read(int token, bool& known) {
        known = true;
        switch (token) {
        case Tok::VERTICES: return Vertices();
        case Tok::VERTEX_COLOR: return s.ReadFloat(d.vertexColour);
        case Tok::VERTEX_COLORS: return Values(d.numVertices, d.vertexColours);
        case Tok::LINES: return Lines();
        case Tok::LINE_COLOR: return s.ReadFloat(d.lineColour);
        case Tok::LINE_COLORS: return Values(d.numLineSegs, d.lineColours);
        case Tok::FACES: return Faces();
        case Tok::FACE_COLOR: return s.ReadFloat(d.faceColour);
        case Tok::FACE_COLORS: return Values(d.numFaces, d.faceColours);
        case Tok::COLOR_MAP: return ColourMap();
        case Tok::OVERLAY: return Overlay();
        case Tok::TEXTS: return Texts();
        case Tok::LABEL: return Label();
        case Tok::IMAGE: return Image();
        case Tok::TEXTURE: return Texture();
        case Tok::EXTRUDE: return Extrude();
        case Tok::OBJECT: return Object();
        default: known = false; return false;
        }
    }

private:
    LinkStream& s;
    GraphicData& d;

    bool Count(int& n) { return s.ReadInt(n) && n > 0; }
    bool Ints(int64_t count, std::vector<int>& out) { return LinkArrayReader::ReadInts(s, count, out); }
    bool Floats(int64_t count, std::vector<float>& out) { return LinkArrayReader::ReadFloats(s, count, out); }

    bool Vertices() {
        int n = 0;
        d.numVertices = 0;
        d.vertexCoords.clear();
        if (!Count(n) || !Floats(3LL * n, d.vertexCoords)) {
            d.vertexCoords.clear();
            return false;
        }
        d.numVertices = n;
        return true;
    }

    // A per-item colour array: its count must equal the item count.
    bool Values(int expected, std::vector<float>& out) {
        out.clear();
        int n = 0;
        if (!Count(n) || n != expected) return false;
        if (!Floats(n, out)) {
            out.clear();
            return false;
        }
        return true;
    }

    bool Lines() {
        int m = 0;
        d.numLineSegs = 0;
        d.lineSegs.clear();
        if (!Count(m) || !Ints(2LL * m, d.lineSegs)) {
            d.lineSegs.clear();
            return false;
        }
        d.numLineSegs = m;
        return true;
    }

    bool Faces() {
        int f = 0, e = 0;
        d.numFaces = d.numFaceEntries = 0;
        d.faceEntries.clear();
        if (!Count(f) || !Count(e) || !Ints(e, d.faceEntries)) {
            d.faceEntries.clear();
            return false;
        }
        d.numFaces = f;
        d.numFaceEntries = e;
        return true;
    }

    bool ColourMap() {
        int n = 0;
        auto map = std::make_unique<ColourMapRecord>();
        if (!Count(n) || !Floats(4LL * n, map->entries)) return false;
        map->numEntries = n;
        d.colourMap = std::move(map);
        return true;
    }

    bool Overlay() {
        int m = 0;
        std::vector<float> pts, colours;
        d.numOverlays = 0;
        d.overlayPoints.clear();
        d.overlayColours.clear();
        d.overlaySegs.clear();
        if (!Count(m) || !Floats(4LL * m, pts) || !Floats(m, colours)) return false;
        d.overlayPoints.resize(size_t(m) * 6);
        d.overlaySegs.resize(size_t(m) * 2);
        for (size_t i = 0; i < size_t(m) * 2; ++i) {  // points
            d.overlayPoints[3 * i] = 2 * pts[2 * i] - 1;
            d.overlayPoints[3 * i + 1] = 2 * pts[2 * i + 1] - 1;
            d.overlayPoints[3 * i + 2] = 0;
            d.overlaySegs[i] = int(i);
        }
        d.overlayColours = std::move(colours);
        d.numOverlays = m;
        return true;
    }

    bool Strings(int n, std::vector<std::string>& out) {
        out.clear();
        for (int i = 0; i < n; ++i) {
            std::string text;
            if (!s.ReadString(text)) return false;
            out.push_back(std::move(text));
        }
        return true;
    }

    bool Texts() {
        int n = 0;
        auto t = std::make_unique<TextsRecord>();
        if (!Count(n) || !s.ReadInt(t->font) || !s.ReadFloat(t->colour) || !s.ReadInt(t->kind) ||
            !Floats(3LL * n, t->positions) || !Ints(n, t->alignments) || !Floats(n, t->heights) ||
            !Floats(n, t->widths) || !Floats(n, t->angles) || !Strings(n, t->strings))
            return false;
        t->kind = t->kind == 0 ? 0 : 1;
        t->numTexts = n;
        d.texts = std::move(t);
        return true;
    }

    bool Label() {
        auto l = std::make_unique<LabelRecord>();
        std::vector<float> pos;
        if (!Floats(2, pos) || !s.ReadFloat(l->size) || !s.ReadInt(l->options[0]) || !s.ReadInt(l->options[1]))
            return false;
        l->position[0] = pos[0];
        l->position[1] = pos[1];
        l->size *= 2;  // the wire carries half the size
        l->frameBox = l->options[0] != 0;
        int p = 0;
        if (!s.ReadInt(p)) return false;
        if (p > 0) {
            if (!Floats(2LL * p, l->points) || !Floats(p, l->pointValues)) return false;
            l->numPoints = p;
        }
        int segs = 0;
        if (!s.ReadInt(segs)) return false;
        if (segs > 0) {
            if (!Ints(2LL * segs, l->segs) || !Floats(segs, l->segValues)) return false;
            l->numSegs = segs;
        }
        int f = 0;
        if (!s.ReadInt(f)) return false;
        if (f > 0) {
            int e = 0, v = 0;
            if (!Count(e) || !Ints(e, l->faceEntries) || !s.ReadInt(v)) return false;
            if (v != 0 && v != f) return false;
            if (v > 0 && !Floats(v, l->faceValues)) return false;
            l->numFaces = f;
            l->numFaceEntries = e;
        }
        int t = 0;
        if (!s.ReadInt(t)) return false;
        if (t > 0) {
            if (!s.ReadInt(l->textFont) || !s.ReadFloat(l->textSize) || !Floats(2LL * t, l->textPositions) ||
                !Ints(t, l->textAlignments) || !Floats(t, l->textSizes) || !Floats(t, l->textAngles) ||
                !Strings(t, l->textStrings))
                return false;
            l->numTexts = t;
        }
        CheckLabel(*l);
        d.label = std::move(l);
        return true;
    }

    // Segments and faces that name a point the label does not have are
    // dropped (with their values), so drawing never reads past the points.
    static void CheckLabel(LabelRecord& l) {
        long long dropped = 0;
        std::vector<int> segs;
        std::vector<float> segValues;
        for (int i = 0; i < l.numSegs; ++i) {
            const int a = l.segs[size_t(2 * i)], b = l.segs[size_t(2 * i + 1)];
            if (a < 0 || b < 0 || a >= l.numPoints || b >= l.numPoints) {
                ++dropped;
                continue;
            }
            segs.insert(segs.end(), {a, b});
            segValues.push_back(l.segValues[size_t(i)]);
        }
        l.numSegs = int(segValues.size());
        l.segs = std::move(segs);
        l.segValues = std::move(segValues);
        std::vector<int> entries;
        std::vector<float> values;
        size_t pos = 0;
        int kept = 0;
        for (int f = 0; f < l.numFaces; ++f) {
            if (pos >= l.faceEntries.size()) {
                dropped += l.numFaces - f;
                break;
            }
            const int n = l.faceEntries[pos];
            if (n < 0 || pos + 1 + size_t(n) > l.faceEntries.size()) {
                dropped += l.numFaces - f;
                break;
            }
            bool ok = true;
            for (int k = 1; k <= n; ++k) {
                const int v = l.faceEntries[pos + size_t(k)];
                if (v < 0 || v >= l.numPoints) ok = false;
            }
            if (ok) {
                entries.insert(entries.end(), l.faceEntries.begin() + long(pos), l.faceEntries.begin() + long(pos) + n + 1);
                if (!l.faceValues.empty()) values.push_back(l.faceValues[size_t(f)]);
                ++kept;
            } else {
                ++dropped;
            }
            pos += size_t(n) + 1;
        }
        l.numFaces = kept;
        l.numFaceEntries = int(entries.size());
        l.faceEntries = std::move(entries);
        l.faceValues = std::move(values);
        if (dropped > 0) DroppedWarning("LABEL", dropped);
    }

    bool ImageBytes(std::vector<unsigned char>& bytes) {
        int b = 0;
        return Count(b) && LinkArrayReader::ReadBytes(s, b, bytes);
    }

    bool Image() {
        auto img = std::make_unique<ImageRecord>();
        std::vector<float> pos;
        std::vector<int> key;
        std::vector<unsigned char> bytes;
        if (!Floats(2, pos) || !s.ReadFloat(img->scale) || !s.ReadInt(img->placement) ||
            !s.ReadInt(img->colourConversion) || !s.ReadInt(img->alignment) || !Ints(3, key) ||
            !s.ReadFloat(img->transparency) || !ImageBytes(bytes))
            return false;
        img->position[0] = pos[0];
        img->position[1] = pos[1];
        img->position[2] = 0;
        std::copy(key.begin(), key.end(), img->keyColour);
        const bool haveKey = key[0] >= 0 && key[1] >= 0 && key[2] >= 0;
        d.image.reset();
        if (!readImage(bytes.data(), bytes.size(), haveKey ? img->keyColour : nullptr, img->transparency, img->width,
                       img->height, img->pixels) ||
            !img->present())
            return false;
        d.image = std::move(img);
        return true;
    }

    bool Texture() {
        auto tex = std::make_unique<TextureRecord>();
        std::vector<float> dir, origin;
        std::vector<unsigned char> bytes;
        if (!Floats(3, dir) || !Floats(2, origin) || !s.ReadFloat(tex->size) || !s.ReadFloat(tex->angle) ||
            !s.ReadInt(tex->kind) || !s.ReadFloat(tex->transparency) || !s.ReadInt(tex->repeat) || !ImageBytes(bytes))
            return false;
        const double len = std::sqrt(double(dir[0]) * dir[0] + double(dir[1]) * dir[1] + double(dir[2]) * dir[2]);
        for (int i = 0; i < 3; ++i) tex->direction[i] = len > 0 && std::isfinite(len) ? float(dir[i] / len) : dir[i];
        tex->origin[0] = origin[0];
        tex->origin[1] = origin[1];
        d.texture.reset();
        if (!readImage(bytes.data(), bytes.size(), nullptr, 0.0f, tex->width, tex->height, tex->pixels) ||
            tex->width <= 0 || tex->height <= 0)
            return false;
        bytes = {};
        if (tex->kind == TEXTURE_BACKDROP_ROTATING && int64_t(tex->height) == 6LL * tex->width) {
            int w = 0, h = 0;
            std::vector<unsigned char> sphere;
            if (!cubeToSphere(tex->width, tex->height, tex->pixels.data(), w, h, sphere) || w <= 0 || h <= 0)
                return false;
            tex->width = w;
            tex->height = h;
            tex->pixels = std::move(sphere);
        }
        GeometryLoader::ReduceToPowerOfTwo(tex->width, tex->height, tex->pixels);
        if (tex->kind == TEXTURE_PLANAR && tex->transparency == 0.0f)
            GeometryLoader::ClearBorder(tex->width, tex->height, tex->pixels);
        d.texture = std::move(tex);
        return true;
    }

    bool Extrude() {
        Extruder::Input in;
        int n = 0, k = 0, p = 0;
        if (!Count(n) || !Floats(2LL * n, in.profile) || !Count(k) || !Ints(k, in.pathCounts) || !Count(p))
            return false;
        int64_t total = 0;
        for (int c : in.pathCounts) total += c;
        if (total != p) return false;
        if (!Floats(p, in.colours) || !Floats(p, in.scales) || !Floats(3LL * p, in.ups) || !Floats(3LL * p, in.points))
            return false;
        return Extruder::Sweep(in, d);
    }

    bool Object() {
        PrimitiveRecord prim;
        int n = 0;
        if (!Count(n) || !s.ReadInt(prim.type) || !s.ReadFloat(prim.a) || !s.ReadFloat(prim.b) ||
            !s.ReadInt(prim.resolution) || !Floats(n, prim.colours) || !Floats(n, prim.lineColours) ||
            !Floats(n, prim.scales) || !Floats(3LL * n, prim.positions) || !Floats(6LL * n, prim.frames))
            return false;
        prim.numInstances = n;
        if (!(prim.a > 0 && prim.a < 1)) prim.a = 1.0f / 3.0f;
        if (!(prim.b > 0 && prim.b < 1)) prim.b = 0.1f;
        int stored = prim.type;
        GlyphShapes::Template(prim.type, prim.a, prim.b, prim.resolution, prim.shape, stored);
        if (prim.type != 52) {
            if (const char* path = std::getenv("DRAV_OBJ_FILE")) {
                MeshRecord fromFile;
                bool failed = false;
                if (GlyphShapes::ReadTemplateFile(path, fromFile, failed)) prim.shape = std::move(fromFile);
            }
        }
        prim.type = stored;
        d.primitive = std::move(prim);
        return true;
    }
};

// ---------------------------------------------------------------- checks

// Segments naming a vertex that does not exist are dropped with their values.
void CheckLines(GraphicData& d) {
    if (!d.lineColours.empty() && d.lineColours.size() != size_t(d.numLineSegs)) d.lineColours.clear();
    if (d.lineSegs.size() != size_t(std::max(d.numLineSegs, 0)) * 2) {
        d.lineSegs.clear();
        d.lineColours.clear();
        d.numLineSegs = 0;
        return;
    }
    size_t kept = 0;
    long long dropped = 0;
    for (int i = 0; i < d.numLineSegs; ++i) {
        const int a = d.lineSegs[size_t(2 * i)], b = d.lineSegs[size_t(2 * i + 1)];
        if (a < 0 || b < 0 || a >= d.numVertices || b >= d.numVertices) {
            ++dropped;
            continue;
        }
        d.lineSegs[2 * kept] = a;
        d.lineSegs[2 * kept + 1] = b;
        if (!d.lineColours.empty()) d.lineColours[kept] = d.lineColours[size_t(i)];
        ++kept;
    }
    if (dropped == 0) return;
    d.numLineSegs = int(kept);
    d.lineSegs.resize(2 * kept);
    if (!d.lineColours.empty()) d.lineColours.resize(kept);
    DroppedWarning("LINES", dropped);
}

// Faces naming a vertex that does not exist, or running past the entry
// list, are dropped with their values (the normals step drops degenerate
// faces the same way, but silently).
void CheckFaces(GraphicData& d) {
    if (!d.faceColours.empty() && d.faceColours.size() != size_t(d.numFaces)) d.faceColours.clear();
    const size_t entries = std::min(d.faceEntries.size(), size_t(std::max(d.numFaceEntries, 0)));
    size_t read = 0, write = 0;
    int kept = 0;
    long long dropped = 0;
    int f = 0;
    for (; f < d.numFaces && read < entries; ++f) {
        const int n = d.faceEntries[read];
        if (n < 0 || read + 1 + size_t(n) > entries) break;
        bool ok = true;
        for (int k = 1; k <= n; ++k) {
            const int v = d.faceEntries[read + size_t(k)];
            if (v < 0 || v >= d.numVertices) ok = false;
        }
        if (ok) {
            for (int k = 0; k <= n; ++k) d.faceEntries[write + size_t(k)] = d.faceEntries[read + size_t(k)];
            if (!d.faceColours.empty()) d.faceColours[size_t(kept)] = d.faceColours[size_t(f)];
            write += size_t(n) + 1;
            ++kept;
        } else {
            ++dropped;
        }
        read += size_t(n) + 1;
    }
    dropped += d.numFaces - f;  // faces the entry list does not hold
    d.numFaces = kept;
    d.numFaceEntries = int(write);
    d.faceEntries.resize(write);
    if (!d.faceColours.empty()) d.faceColours.resize(size_t(kept));
    if (dropped > 0) DroppedWarning("FACES", dropped);
}

void Grow(float bounds[6], const float p[3]) {
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(p[a])) return;
    }
    for (int a = 0; a < 3; ++a) {
        if (bounds[2 * a] == FLT_MAX && bounds[2 * a + 1] == FLT_MAX) {
            bounds[2 * a] = bounds[2 * a + 1] = p[a];
        } else {
            bounds[2 * a] = std::min(bounds[2 * a], p[a]);
            bounds[2 * a + 1] = std::max(bounds[2 * a + 1], p[a]);
        }
    }
}

// Glyphs drawn from their template still take up space: each instance adds
// its position widened by the template's reach times its scale.
void AddInstanceBounds(GraphicData& d) {
    const PrimitiveRecord& p = d.primitive;
    if (!p.present() || p.numInstances <= 0) return;
    double reach = 0;
    for (size_t i = 0; i + 2 < p.shape.vertexCoords.size(); i += 3) {
        const double x = p.shape.vertexCoords[i], y = p.shape.vertexCoords[i + 1], z = p.shape.vertexCoords[i + 2];
        reach = std::max(reach, std::sqrt(x * x + y * y + z * z));
    }
    for (int i = 0; i < p.numInstances; ++i) {
        const float s = p.scales[size_t(i)];
        if (s == 0.0f) continue;
        const float r = float(reach * std::fabs(s));
        const float* c = &p.positions[size_t(3 * i)];
        const float lo[3] = {c[0] - r, c[1] - r, c[2] - r}, hi[3] = {c[0] + r, c[1] + r, c[2] + r};
        Grow(d.bounds, lo);
        Grow(d.bounds, hi);
    }
}

// ---------------------------------------------------------------- writing

class ItemWriter {
public:
    explicit ItemWriter(LinkStream& stream) : s(stream) {}
    bool ok = true;

    void Begin(int token, int blocks) {
        if (ok) ok = s.WriteToken(token);
        remaining = blocks - 1;
    }
    void Ints(const int* v, int count) {
        if (ok) ok = s.WriteIntDataBlock(v, count, remaining);
        --remaining;
    }
    void Floats(const float* v, int count) {
        if (ok) ok = s.WriteIntDataBlock(v, count, remaining);
        --remaining;
    }
    void Int(int v) { Ints(&v, 1); }
    void Float(float v) { Floats(&v, 1); }
    void Bytes(const unsigned char* b, int count) {
        if (ok) ok = s.WriteDataBlock(b, count, remaining);
        --remaining;
    }
    void String(const std::string& text) {
        if (ok) ok = s.WriteString(text.c_str(), remaining + 1);
        remaining -= 2;
    }
    void Strings(const std::vector<std::string>& texts) {
        for (const std::string& t : texts) String(t);
    }
    // An image as a PPM block (alpha is not kept).
    void Image(int width, int height, const std::vector<unsigned char>& rgba) {
        std::vector<unsigned char> block;
        const size_t n = encodeImageBlock(kEncodePpm, width, height, rgba.data(), block);
        if (n == 0 || n > size_t(0x7FFFFFFF)) ok = false;
        Int(int(n));
        Bytes(block.data(), int(n));
    }

private:
    LinkStream& s;
    int remaining = 0;
};

bool Sized(const std::vector<float>& v, long long n) { return n > 0 && v.size() == size_t(n); }
bool Sized(const std::vector<int>& v, long long n) { return n > 0 && v.size() == size_t(n); }

}  // namespace

// ---------------------------------------------------------------- GeometryLoader

bool GeometryLoader::SingleListSetting(bool callerFlag) {
    if (const char* v = std::getenv("VIEWER_ONEDL")) return std::atoi(v) != 0;
    return callerFlag;
}

void GeometryLoader::ReduceToPowerOfTwo(int& width, int& height, std::vector<unsigned char>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height) * 4) return;
    auto floorPow2 = [](int v) {
        int p = 1;
        while (p <= v / 2) p *= 2;
        return p;
    };
    const int w2 = floorPow2(width), h2 = floorPow2(height);
    if (w2 == width && h2 == height) return;
    std::vector<unsigned char> out(size_t(w2) * size_t(h2) * 4);
    for (int y = 0; y < h2; ++y) {
        const size_t sy = size_t(int64_t(y) * height / h2);
        for (int x = 0; x < w2; ++x) {
            const size_t sx = size_t(int64_t(x) * width / w2);
            std::memcpy(&out[(size_t(y) * size_t(w2) + size_t(x)) * 4], &pixels[(sy * size_t(width) + sx) * 4], 4);
        }
    }
    width = w2;
    height = h2;
    pixels = std::move(out);
}

void GeometryLoader::ClearBorder(int width, int height, std::vector<unsigned char>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height) * 4) return;
    auto clear = [&](int x, int y) {
        unsigned char* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4];
        p[0] = p[1] = p[2] = 255;
        p[3] = 0;
    };
    for (int x = 0; x < width; ++x) {
        clear(x, 0);
        clear(x, height - 1);
    }
    for (int y = 0; y < height; ++y) {
        clear(0, y);
        clear(width - 1, y);
    }
}

namespace {
void ClearPlainMesh(GraphicData& d) {
    d.vertexCoords.clear();
    d.vertexColours.clear();
    d.lineSegs.clear();
    d.lineColours.clear();
    d.faceEntries.clear();
    d.faceColours.clear();
    d.faceNormals.clear();
    d.vertexFaceStart.clear();
    d.vertexFaces.clear();
    d.numVertices = d.numLineSegs = d.numFaces = d.numFaceEntries = 0;
    d.vertexColour = d.lineColour = d.faceColour = -1.0f;
}
}  // namespace

void GeometryLoader::MakeBackdropSphere(GraphicData& d) {
    ClearPlainMesh(d);
    const int rows = 33, cols = 65;
    const double r = kBackdropRadius;
    d.vertexCoords.reserve(size_t(rows) * cols * 3);
    for (int i = 0; i < rows; ++i) {
        const double lat = kPi - kPi * i / (rows - 1);
        for (int j = 0; j < cols; ++j) {
            const double lon = 2 * kPi - 2 * kPi * j / (cols - 1);
            d.vertexCoords.push_back(float(r * std::cos(lon) * std::sin(lat)));
            d.vertexCoords.push_back(float(r * std::sin(lon) * std::sin(lat)));
            d.vertexCoords.push_back(float(r * std::cos(lat)));
        }
    }
    d.numVertices = rows * cols;
    for (int i = 1; i < rows; ++i)
        for (int j = 1; j < cols; ++j)
            d.faceEntries.insert(d.faceEntries.end(),
                                 {4, i * cols + j - 1, i * cols + j, (i - 1) * cols + j, (i - 1) * cols + j - 1});
    d.numFaces = (rows - 1) * (cols - 1);
    d.numFaceEntries = int(d.faceEntries.size());
}

void GeometryLoader::MakeBackdropQuad(GraphicData& d, int imageWidth, int imageHeight) {
    ClearPlainMesh(d);
    const float larger = float(std::max(std::max(imageWidth, imageHeight), 1));
    const float w = float(imageWidth) / larger * 15000.0f, h = float(imageHeight) / larger * 15000.0f;
    const float z = -kBackdropRadius;
    d.vertexCoords = {-w, -h, z, w, -h, z, -w, h, z, w, h, z};
    d.numVertices = 4;
    d.faceEntries = {4, 2, 3, 1, 0};
    d.numFaces = 1;
    d.numFaceEntries = 5;
}

bool GeometryLoader::ExpandInstances(GraphicData& d) {
    PrimitiveRecord& p = d.primitive;
    const MeshRecord& t = p.shape;
    if (!p.present() || p.type == 52 || t.numVertices <= 0 || p.numInstances <= 0) return false;
    const size_t n = size_t(p.numInstances);
    if (p.colours.size() != n || p.lineColours.size() != n || p.scales.size() != n || p.positions.size() != 3 * n ||
        p.frames.size() != 6 * n)
        return false;
    int64_t drawn = 0;
    for (float s : p.scales)
        if (s != 0.0f) ++drawn;
    const int64_t base = d.numVertices;
    if (base + drawn * t.numVertices > kMaxExpandedVertices) return false;
    if ((int64_t)d.numFaceEntries + drawn * t.numFaceEntries > 0x7FFFFFFF ||
        (int64_t)d.numLineSegs + drawn * t.numLineSegs > 0x7FFFFFFF)
        return false;

    // Existing items keep their colour as per-item values from here on.
    if (d.vertexColours.size() != size_t(d.numVertices)) d.vertexColours.assign(size_t(d.numVertices), d.vertexColour);
    if (d.lineColours.size() != size_t(d.numLineSegs)) d.lineColours.assign(size_t(d.numLineSegs), d.lineColour);
    if (d.faceColours.size() != size_t(d.numFaces)) d.faceColours.assign(size_t(d.numFaces), d.faceColour);

    for (size_t i = 0; i < n; ++i) {
        const float s = p.scales[i];
        if (s == 0.0f) continue;
        float tv[3], vv[3], wv[3];
        GlyphShapes::InstanceFrame(&p.frames[6 * i], &p.frames[6 * i + 3], tv, vv, wv);
        const float* pos = &p.positions[3 * i];
        const int first = d.numVertices;
        for (int k = 0; k < t.numVertices; ++k) {
            const float x = t.vertexCoords[size_t(3 * k)], y = t.vertexCoords[size_t(3 * k + 1)],
                        z = t.vertexCoords[size_t(3 * k + 2)];
            for (int a = 0; a < 3; ++a) d.vertexCoords.push_back(s * (x * tv[a] + y * vv[a] + z * wv[a]) + pos[a]);
            d.vertexColours.push_back(p.colours[i]);
        }
        d.numVertices += t.numVertices;
        for (int k = 0; k < 2 * t.numLineSegs; ++k) d.lineSegs.push_back(t.lineSegs[size_t(k)] + first);
        d.lineColours.insert(d.lineColours.end(), size_t(t.numLineSegs), p.lineColours[i]);
        d.numLineSegs += t.numLineSegs;
        size_t pos2 = 0;
        for (int f = 0; f < t.numFaces; ++f) {
            const int c = t.faceEntries[pos2];
            d.faceEntries.push_back(c);
            for (int k = 1; k <= c; ++k) d.faceEntries.push_back(t.faceEntries[pos2 + size_t(k)] + first);
            pos2 += size_t(c) + 1;
        }
        d.faceColours.insert(d.faceColours.end(), size_t(t.numFaces), p.colours[i]);
        d.numFaces += t.numFaces;
        d.numFaceEntries += t.numFaceEntries;
    }
    d.vertexColour = d.lineColour = d.faceColour = -1.0f;
    d.primitive = PrimitiveRecord();
    return true;
}

void GeometryLoader::FinishData(GraphicData& d, bool singleList) {
    if (d.vertexCoords.size() != size_t(std::max(d.numVertices, 0)) * 3) {
        d.vertexCoords.clear();
        d.numVertices = 0;
    }
    if (!d.vertexColours.empty() && d.vertexColours.size() != size_t(d.numVertices)) d.vertexColours.clear();
    PrimitiveRecord& p = d.primitive;
    if (p.present() && singleList) ExpandInstances(d);
    if (d.texture && d.texture->isBackdrop()) {
        if (d.texture->kind == TEXTURE_BACKDROP_ROTATING)
            MakeBackdropSphere(d);
        else
            MakeBackdropQuad(d, d.texture->width, d.texture->height);
        d.texture->transparency = 0.0f;
        d.texture->repeat = 1;
    }
    CheckLines(d);
    if (d.hasBackdrop()) {
        CheckFaces(d);
    } else {
        // The normals pass drops unreadable faces (and, silently, those
        // without area) in the same sweep over the list.
        if (!d.faceColours.empty() && d.faceColours.size() != size_t(d.numFaces)) d.faceColours.clear();
        const long long unreadable = d.computeNormalsAndAdjacency(true);
        if (unreadable > 0) DroppedWarning("FACES", unreadable);
        AddInstanceBounds(d);
        if (d.primitive.present()) {
            MeshRecord& t = d.primitive.shape;
            GraphicData::ComputeFaceNormals(t.vertexCoords.data(), t.numVertices, t.faceEntries, t.numFaces,
                                            t.numFaceEntries, t.faceNormals);
            GraphicData::BuildAdjacency(t.numVertices, t.faceEntries, t.numFaces, t.vertexFaceStart, t.vertexFaces);
        }
    }
    d.collapseColours();
}

// ---------------------------------------------------------------- GraphicData members

bool GraphicData::LoadData(bool singleList) {
    if (!input) return false;
    LinkStream& s = *input;
    ItemReader reader(s, *this);
    for (;;) {
        const int token = s.ReadToken();
        if (token < 0 || token >= LinkStream::kNumTokens || token == Tok::DONE) break;
        bool known = true;
        bool ok = false;
        try {
            ok = reader.Read(token, known);
        } catch (const std::bad_alloc&) {
            // Memory ran out inside the item: it stays empty, the rest loads.
            ok = false;
        }
        if (!known)
            Error("ERROR in LoadData: Token not recognized\n");
        else if (!ok)
            Error(std::string("ERROR in LoadData: ") + LinkStream::kTokenNames[token] + "\n");
    }
    try {
        GeometryLoader::FinishData(*this, GeometryLoader::SingleListSetting(singleList));
    } catch (const std::bad_alloc&) {
        // Derived data could not be built: keep nothing half-made.
        primitive = PrimitiveRecord();
        numVertices = numLineSegs = numFaces = numFaceEntries = 0;
        vertexCoords = {};
        vertexColours = {};
        lineSegs = {};
        lineColours = {};
        faceEntries = {};
        faceColours = {};
        faceNormals = {};
        vertexFaceStart = {};
        vertexFaces = {};
        Error("ERROR in LoadData: out of memory\n");
    }
    return true;
}

bool GraphicData::SaveData(LinkStream& out) const {
    ItemWriter w(out);
    if (colourMap && Sized(colourMap->entries, 4LL * colourMap->numEntries)) {
        w.Begin(Tok::COLOR_MAP, 2);
        w.Int(colourMap->numEntries);
        w.Floats(colourMap->entries.data(), 4 * colourMap->numEntries);
    }
    const PrimitiveRecord& p = primitive;
    if (!p.present()) {
        if (Sized(vertexCoords, 3LL * numVertices)) {
            w.Begin(Tok::VERTICES, 2);
            w.Int(numVertices);
            w.Floats(vertexCoords.data(), 3 * numVertices);
        }
        if (vertexColour >= 0) {
            w.Begin(Tok::VERTEX_COLOR, 1);
            w.Float(vertexColour);
        }
        if (Sized(vertexColours, numVertices)) {
            w.Begin(Tok::VERTEX_COLORS, 2);
            w.Int(numVertices);
            w.Floats(vertexColours.data(), numVertices);
        }
        if (Sized(lineSegs, 2LL * numLineSegs)) {
            w.Begin(Tok::LINES, 2);
            w.Int(numLineSegs);
            w.Ints(lineSegs.data(), 2 * numLineSegs);
        }
        if (lineColour >= 0) {
            w.Begin(Tok::LINE_COLOR, 1);
            w.Float(lineColour);
        }
        if (Sized(lineColours, numLineSegs)) {
            w.Begin(Tok::LINE_COLORS, 2);
            w.Int(numLineSegs);
            w.Floats(lineColours.data(), numLineSegs);
        }
        if (numFaces > 0 && Sized(faceEntries, numFaceEntries)) {
            w.Begin(Tok::FACES, 3);
            w.Int(numFaces);
            w.Int(numFaceEntries);
            w.Ints(faceEntries.data(), numFaceEntries);
        }
        if (faceColour >= 0) {
            w.Begin(Tok::FACE_COLOR, 1);
            w.Float(faceColour);
        }
        if (Sized(faceColours, numFaces)) {
            w.Begin(Tok::FACE_COLORS, 2);
            w.Int(numFaces);
            w.Floats(faceColours.data(), numFaces);
        }
    } else if (p.numInstances > 0 && Sized(p.colours, p.numInstances) && Sized(p.lineColours, p.numInstances) &&
               Sized(p.scales, p.numInstances) && Sized(p.positions, 3LL * p.numInstances) &&
               Sized(p.frames, 6LL * p.numInstances)) {
        const int n = p.numInstances;
        w.Begin(Tok::OBJECT, 10);
        w.Int(n);
        w.Int(p.type);
        w.Float(p.a);
        w.Float(p.b);
        w.Int(p.resolution);
        w.Floats(p.colours.data(), n);
        w.Floats(p.lineColours.data(), n);
        w.Floats(p.scales.data(), n);
        w.Floats(p.positions.data(), 3 * n);
        w.Floats(p.frames.data(), 6 * n);
    }
    if (texts && texts->numTexts > 0 && Sized(texts->positions, 3LL * texts->numTexts) &&
        Sized(texts->alignments, texts->numTexts) && Sized(texts->heights, texts->numTexts) &&
        Sized(texts->widths, texts->numTexts) && Sized(texts->angles, texts->numTexts) &&
        texts->strings.size() == size_t(texts->numTexts)) {
        const TextsRecord& t = *texts;
        const int n = t.numTexts;
        w.Begin(Tok::TEXTS, 2 * n + 9);
        w.Int(n);
        w.Int(t.font);
        w.Float(t.colour);
        w.Int(t.kind);
        w.Floats(t.positions.data(), 3 * n);
        w.Ints(t.alignments.data(), n);
        w.Floats(t.heights.data(), n);
        w.Floats(t.widths.data(), n);
        w.Floats(t.angles.data(), n);
        w.Strings(t.strings);
    }
    if (numOverlays > 0 && Sized(overlayPoints, 6LL * numOverlays)) {
        std::vector<float> pts(size_t(numOverlays) * 4);
        for (size_t i = 0; i < size_t(numOverlays) * 2; ++i) {
            pts[2 * i] = (overlayPoints[3 * i] + 1) / 2;
            pts[2 * i + 1] = (overlayPoints[3 * i + 1] + 1) / 2;
        }
        std::vector<float> colours = overlayColours;
        colours.resize(size_t(numOverlays), 0.0f);
        w.Begin(Tok::OVERLAY, 3);
        w.Int(numOverlays);
        w.Floats(pts.data(), 4 * numOverlays);
        w.Floats(colours.data(), numOverlays);
    }
    if (label) {
        const LabelRecord& l = *label;
        const bool hasValues = l.numFaces > 0 && l.faceValues.size() == size_t(l.numFaces);
        const int blocks = 6 + (l.numPoints > 0 ? 2 : 0) + 1 + (l.numSegs > 0 ? 2 : 0) + 1 +
                           (l.numFaces > 0 ? 3 + (hasValues ? 1 : 0) : 0) +
                           (l.numTexts > 0 ? 6 + 2 * l.numTexts : 0);
        w.Begin(Tok::LABEL, blocks);
        w.Floats(l.position, 2);
        w.Float(l.size / 2);
        w.Int(l.options[0]);
        w.Int(l.options[1]);
        w.Int(l.numPoints);
        if (l.numPoints > 0) {
            w.Floats(l.points.data(), 2 * l.numPoints);
            w.Floats(l.pointValues.data(), l.numPoints);
        }
        w.Int(l.numSegs);
        if (l.numSegs > 0) {
            w.Ints(l.segs.data(), 2 * l.numSegs);
            w.Floats(l.segValues.data(), l.numSegs);
        }
        w.Int(l.numFaces);
        if (l.numFaces > 0) {
            w.Int(l.numFaceEntries);
            w.Ints(l.faceEntries.data(), l.numFaceEntries);
            w.Int(hasValues ? l.numFaces : 0);
            if (hasValues) w.Floats(l.faceValues.data(), l.numFaces);
        }
        w.Int(l.numTexts);
        if (l.numTexts > 0) {
            w.Int(l.textFont);
            w.Float(l.textSize);
            w.Floats(l.textPositions.data(), 2 * l.numTexts);
            w.Ints(l.textAlignments.data(), l.numTexts);
            w.Floats(l.textSizes.data(), l.numTexts);
            w.Floats(l.textAngles.data(), l.numTexts);
            w.Strings(l.textStrings);
        }
    }
    if (hasImage()) {
        const ImageRecord& im = *image;
        w.Begin(Tok::IMAGE, 9);
        w.Floats(im.position, 2);
        w.Float(im.scale);
        w.Int(im.placement);
        w.Int(im.colourConversion);
        w.Int(im.alignment);
        w.Ints(im.keyColour, 3);
        w.Float(im.transparency);
        w.Image(im.width, im.height, im.pixels);
    }
    if (texture && texture->width > 0 && texture->height > 0) {
        const TextureRecord& t = *texture;
        w.Begin(Tok::TEXTURE, 9);
        w.Floats(t.direction, 3);
        w.Floats(t.origin, 2);
        w.Float(t.size);
        w.Float(t.angle);
        w.Int(t.kind);
        w.Float(t.transparency);
        w.Int(t.repeat);
        w.Image(t.width, t.height, t.pixels);
    }
    return w.ok;
}

bool GraphicData::LoadImage(const unsigned char* bytes, int size) {
    auto img = std::make_unique<ImageRecord>();
    image.reset();
    if (!bytes || size <= 0 ||
        !readImage(bytes, size_t(size), nullptr, 0.0f, img->width, img->height, img->pixels) || !img->present())
        return false;
    image = std::move(img);
    return true;
}
