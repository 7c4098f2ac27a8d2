// Geometry items through a real LinkStream on a temporary file: round trips,
// colour normalisation, glyph instances, textures and backdrops, and the
// handling of malformed items.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "geometry/GeometryLoader.h"
#include "geometry/GlyphShapes.h"
#include "link/LinkStream.h"
#include "output/ImageCodecs.h"
#include "platform/MessageSink.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"

using Tok = LinkStream::Tok;

namespace {

// A stream whose write side fills a file that the read side then reads.
class StreamFile {
public:
    explicit StreamFile(int compress = 0) {
        char path[] = "/tmp/geometry_loaderXXXXXX";
        fd_ = mkstemp(path);
        unlink(path);
        out.writeHandle = fd_;
        in.readHandle = fd_;
        out.compressBufferSize = in.compressBufferSize = compress;
    }
    ~StreamFile() { close(fd_); }
    // Ends the item list and rewinds for reading.
    void finish() {
        ASSERT_TRUE(out.WriteToken(Tok::DONE));
        lseek(fd_, 0, SEEK_SET);
    }
    void ints(std::vector<int> v, int remaining = 0) { ASSERT_TRUE(out.WriteIntDataBlock(v.data(), int(v.size()), remaining)); }
    void floats(std::vector<float> v, int remaining = 0) {
        ASSERT_TRUE(out.WriteIntDataBlock(v.data(), int(v.size()), remaining));
    }
    void token(int t) { ASSERT_TRUE(out.WriteToken(t)); }
    void bytes(const std::vector<unsigned char>& b) {
        ints({int(b.size())}, 1);
        ASSERT_TRUE(out.WriteDataBlock(b.data(), int(b.size()), 0));
    }
    void rawHeader(int remaining, int size) { ASSERT_TRUE(out.WriteDataBlockHeader(remaining, size)); }

    LinkStream out, in;

private:
    int fd_ = -1;
};

std::vector<unsigned char> Ppm(int w, int h, bool gradient = true) {
    std::vector<unsigned char> rgba(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgba[(size_t(y) * w + x) * 4];
            p[0] = gradient ? (unsigned char)(x) : 10;
            p[1] = gradient ? (unsigned char)(y) : 20;
            p[2] = 30;
            p[3] = 255;
        }
    std::vector<unsigned char> block;
    EXPECT_GT(encodeImageBlock(kEncodePpm, w, h, rgba.data(), block), 0u);
    return block;
}

void Texture(StreamFile& f, int kind, float transparency, const std::vector<unsigned char>& image) {
    f.token(Tok::TEXTURE);
    f.floats({0, 0, 2}, 8);
    f.floats({0, 0}, 7);
    f.floats({1}, 6);
    f.floats({0}, 5);
    f.ints({kind}, 4);
    f.floats({transparency}, 3);
    f.ints({0}, 2);
    f.bytes(image);
}

std::unique_ptr<GraphicData> Load(StreamFile& f, bool singleList = true) {
    f.finish();
    auto d = std::make_unique<GraphicData>(nullptr, &f.in);
    EXPECT_TRUE(d->LoadData(singleList));
    return d;
}

void Object(StreamFile& f, int type, float a, std::vector<float> scales) {
    const int n = int(scales.size());
    f.token(Tok::OBJECT);
    f.ints({n}, 9);
    f.ints({type}, 8);
    f.floats({a}, 7);
    f.floats({0.5f}, 6);
    f.ints({8}, 5);
    std::vector<float> colours(static_cast<size_t>(n), 0.0f), lineColours(static_cast<size_t>(n), 7.0f), pos, frames;
    for (int i = 0; i < n; ++i) {
        colours[size_t(i)] = float(i);
        pos.insert(pos.end(), {float(10 * i), 0, 0});
        frames.insert(frames.end(), {0, 0, 1, 0, 1, 0});
    }
    f.floats(colours, 4);
    f.floats(lineColours, 3);
    f.floats(scales, 2);
    f.floats(pos, 1);
    f.floats(frames, 0);
}

}  // namespace

TEST(GeometryLoader, RoundTripKeepsEveryItem) {
    GraphicData src(nullptr, nullptr);
    src.colourMap = std::make_unique<ColourMapRecord>();
    src.colourMap->numEntries = 2;
    src.colourMap->entries = {0, 0, 0, 1, 1, 1, 0, 0};
    src.numVertices = 4;
    src.vertexCoords = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5f};
    src.vertexColours = {0, 0.25f, 0.5f, 1};
    src.numLineSegs = 2;
    src.lineSegs = {0, 1, 2, 3};
    src.lineColour = 0.75f;
    src.numFaces = 2;
    src.faceEntries = {3, 0, 1, 2, 3, 0, 2, 3};
    src.numFaceEntries = 8;
    src.faceColours = {0.1f, 0.9f};
    src.texts = std::make_unique<TextsRecord>();
    *src.texts = TextsRecord{2, {"alpha", "beta"}, {0.1f, 0.2f, 0, 0.3f, 0.4f, 0}, {0.05f, 0.06f}, {0.5f, 0.6f},
                             {0, 45}, {0, 2}, 1, 0.5f, 0};
    src.numOverlays = 1;
    src.overlayPoints = {-1, 0, 0, 1, 0.5f, 0};
    src.overlayColours = {0.3f};
    src.overlaySegs = {0, 1};
    src.label = std::make_unique<LabelRecord>();
    LabelRecord& l = *src.label;
    l.position[0] = 0.1f;
    l.size = 0.4f;
    l.options[0] = 1;
    l.numPoints = 3;
    l.points = {0, 0, 1, 0, 0, 1};
    l.pointValues = {0, 0.5f, 1};
    l.numSegs = 1;
    l.segs = {0, 2};
    l.segValues = {0.2f};
    l.numFaces = 1;
    l.numFaceEntries = 4;
    l.faceEntries = {3, 0, 1, 2};
    l.faceValues = {0.7f};
    l.numTexts = 1;
    l.textSize = 0.02f;
    l.textPositions = {0.5f, 0.5f};
    l.textAlignments = {1};
    l.textSizes = {0.03f};
    l.textAngles = {10};
    l.textStrings = {"label"};

    for (int compress : {0, 16}) {
        SCOPED_TRACE(compress);
        StreamFile f(compress);
        ASSERT_TRUE(src.SaveData(f.out));
        platform::MessageRecorder messages;
        auto d = Load(f);
        EXPECT_TRUE(messages.entries().empty()) << messages.texts()[0];
        EXPECT_EQ(d->colourMap->entries, src.colourMap->entries);
        EXPECT_EQ(d->vertexCoords, src.vertexCoords);
        EXPECT_EQ(d->vertexColours, src.vertexColours);
        EXPECT_EQ(d->lineSegs, src.lineSegs);
        EXPECT_EQ(d->lineColour, 0.75f);
        EXPECT_EQ(d->faceEntries, src.faceEntries);
        EXPECT_EQ(d->faceColours, src.faceColours);
        EXPECT_EQ(d->faceNormals.size(), 6u);
        EXPECT_EQ(d->vertexFaceStart.size(), 4u);
        EXPECT_EQ(d->bounds[0], 0.0f);
        EXPECT_EQ(d->bounds[5], 0.5f);
        ASSERT_TRUE(d->texts);
        EXPECT_EQ(d->texts->strings, src.texts->strings);
        EXPECT_EQ(d->texts->angles, src.texts->angles);
        EXPECT_EQ(d->texts->alignments, src.texts->alignments);
        EXPECT_EQ(d->texts->font, 1);
        EXPECT_EQ(d->overlayPoints, src.overlayPoints);
        EXPECT_EQ(d->overlaySegs, src.overlaySegs);
        ASSERT_TRUE(d->label);
        EXPECT_FLOAT_EQ(d->label->size, 0.4f);
        EXPECT_EQ(d->label->faceEntries, l.faceEntries);
        EXPECT_EQ(d->label->faceValues, l.faceValues);
        EXPECT_EQ(d->label->textStrings, l.textStrings);
        EXPECT_EQ(d->label->segs, l.segs);
    }
}

TEST(GeometryLoader, ImageRoundTripThroughPpm) {
    GraphicData src(nullptr, nullptr);
    ASSERT_TRUE(src.LoadImage(Ppm(5, 3).data(), int(Ppm(5, 3).size())));
    src.image->scale = 2;
    src.image->alignment = 3;
    StreamFile f;
    ASSERT_TRUE(src.SaveData(f.out));
    auto d = Load(f);
    ASSERT_TRUE(d->hasImage());
    EXPECT_EQ(d->image->width, 5);
    EXPECT_EQ(d->image->alignment, 3);
    EXPECT_EQ(d->image->pixels, src.image->pixels);

    // the object's entry point keeps placement and asks for colour conversion
    vkoGraphicObj o(nullptr, "\tWATERMARK");
    const std::vector<unsigned char> ppm = Ppm(6, 2);
    const float pos[3] = {0.9f, 0.1f, 0};
    ASSERT_TRUE(o.loadImage(ppm.data(), int(ppm.size()), pos, 0.5f, 6));
    EXPECT_EQ(o.data->image->colourConversion, 1);
    EXPECT_EQ(o.data->image->alignment, 6);
    EXPECT_EQ(o.data->image->position[0], 0.9f);
    const unsigned char junk[] = "not an image";
    EXPECT_FALSE(o.loadImage(junk, sizeof junk, pos, 1, 0));
    EXPECT_FALSE(o.data->image);
}

TEST(GeometryLoader, ColourNormalisation) {
    StreamFile f;
    f.token(Tok::VERTICES);
    f.ints({3}, 1);
    f.floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    f.token(Tok::VERTEX_COLORS);
    f.ints({3}, 1);
    f.floats({3.5f, 3.5f, 3.5f});
    f.token(Tok::LINES);
    f.ints({2}, 1);
    f.ints({0, 1, 1, 2});
    f.token(Tok::LINE_COLORS);
    f.ints({2}, 1);
    f.floats({1, 2});
    f.token(Tok::FACE_COLOR);
    f.floats({0.5f});
    f.token(Tok::FACES);
    f.ints({1}, 2);
    f.ints({4}, 1);
    f.ints({3, 0, 1, 2});
    f.token(Tok::FACE_COLORS);
    f.ints({1}, 1);
    f.floats({0.25f});
    auto d = Load(f);
    EXPECT_EQ(d->vertexColour, 3.5f);
    EXPECT_TRUE(d->vertexColours.empty());
    EXPECT_EQ(d->lineColour, -1.0f);
    EXPECT_EQ(d->lineColours, (std::vector<float>{1, 2}));
    EXPECT_EQ(d->faceColour, 0.5f);  // the single value wins
    EXPECT_TRUE(d->faceColours.empty());
}

TEST(GeometryLoader, FailedItemsReportAndLoadingGoesOn) {
    StreamFile f;
    f.token(Tok::VERTICES);
    f.ints({3}, 1);
    f.floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    f.token(Tok::VERTEX_COLORS);  // count differs from the vertices
    f.ints({2}, 1);
    f.floats({1, 2});
    f.token(Tok::DRAW_FACES);  // a parameter token, not a geometry item
    f.ints({1});
    f.token(Tok::LINES);  // zero count
    f.ints({0});
    f.token(Tok::LINE_COLOR);
    f.floats({0.5f});
    platform::MessageRecorder messages;
    auto d = Load(f);
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{"ERROR in LoadData: VERTEX_COLORS\n",
                                                          "ERROR in LoadData: Token not recognized\n",
                                                          "ERROR in LoadData: LINES\n"}));
    EXPECT_TRUE(d->vertexColours.empty());
    EXPECT_EQ(d->numVertices, 3);
    EXPECT_EQ(d->numLineSegs, 0);
    EXPECT_EQ(d->lineColour, 0.5f);  // read after the failures
}

TEST(GeometryLoader, IndicesOutOfRangeAreDroppedOncePerItem) {
    StreamFile f;
    f.token(Tok::VERTICES);
    f.ints({3}, 1);
    f.floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    f.token(Tok::LINES);
    f.ints({3}, 1);
    f.ints({0, 1, 1, 99, -4, 2});
    f.token(Tok::LINE_COLORS);
    f.ints({3}, 1);
    f.floats({1, 2, 3});
    f.token(Tok::FACES);
    f.ints({3}, 2);
    f.ints({12}, 1);
    f.ints({3, 0, 1, 7, 3, 0, 1, 2, 3, 2, 1, 1000000});
    f.token(Tok::FACE_COLORS);
    f.ints({3}, 1);
    f.floats({5, 6, 7});
    platform::MessageRecorder messages;
    auto d = Load(f);
    EXPECT_EQ(d->lineSegs, (std::vector<int>{0, 1}));
    EXPECT_EQ(d->lineColour, 1.0f);  // 2 and 3 dropped with their segments, the rest collapsed
    EXPECT_EQ(d->faceEntries, (std::vector<int>{3, 0, 1, 2}));
    EXPECT_EQ(d->faceColour, 6.0f);  // the one kept face's value, collapsed
    ASSERT_EQ(messages.entries().size(), 2u);
    EXPECT_EQ(messages.entries()[0].icon, platform::MessageIcon::Warning);
    EXPECT_NE(messages.texts()[0].find("LINES: 2 element"), std::string::npos) << messages.texts()[0];
    EXPECT_NE(messages.texts()[1].find("FACES: 2 element"), std::string::npos) << messages.texts()[1];
}

TEST(GeometryLoader, LabelIndicesOutOfRangeAreDropped) {
    StreamFile f;
    f.token(Tok::LABEL);
    f.floats({0.5f, 0.5f});
    f.floats({0.1f});
    f.ints({0});
    f.ints({0});
    f.ints({2});
    f.floats({0, 0, 1, 1});
    f.floats({0, 1});
    f.ints({2});
    f.ints({0, 1, 1, 5});
    f.floats({0, 1});
    f.ints({1});
    f.ints({3});
    f.ints({2, 0, 9});
    f.ints({0});
    f.ints({0});
    platform::MessageRecorder messages;
    auto d = Load(f);
    ASSERT_TRUE(d->label);
    EXPECT_EQ(d->label->segs, (std::vector<int>{0, 1}));
    EXPECT_EQ(d->label->numFaces, 0);
    EXPECT_FLOAT_EQ(d->label->size, 0.2f);
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_NE(messages.texts()[0].find("LABEL: 2 element"), std::string::npos);
}

// Arrays come a megabyte at a time; one of several pieces, plain or
// compressed in chunks that do not line up with the pieces, must arrive
// whole and in order, and one cut short in a later piece must fail alone.
TEST(GeometryLoader, ArraysOfManyPiecesArriveWhole) {
    const int n = 300001;  // 3n floats: 3.6 MB, the last piece partial
    std::vector<float> coords(size_t(3) * n);
    for (size_t i = 0; i < coords.size(); ++i) coords[i] = float(i) * 0.25f - 7.0f;
    for (int compress : {0, 65536}) {
        SCOPED_TRACE(compress);
        StreamFile f(compress);
        f.token(Tok::VERTICES);
        f.ints({n}, 1);
        f.floats(coords);
        auto d = Load(f);
        EXPECT_EQ(d->numVertices, n);
        EXPECT_TRUE(d->vertexCoords == coords);
    }
    StreamFile f;
    f.token(Tok::COLOR_MAP);
    f.ints({1}, 1);
    f.floats({0, 1, 0, 0});
    f.token(Tok::VERTICES);
    f.ints({n}, 1);
    f.rawHeader(0, 12 * n);
    const std::vector<unsigned char> part(size_t(2500000), 0x3f);  // into the third piece, then the end
    ASSERT_TRUE(LinkStream::RawWrite(f.out.writeHandle, part.data(), part.size()));
    platform::MessageRecorder messages;
    auto d = Load(f);
    EXPECT_EQ(d->numVertices, 0);
    EXPECT_TRUE(d->vertexCoords.empty());
    ASSERT_TRUE(d->colourMap);  // the item before it stays
    EXPECT_EQ(d->colourMap->numEntries, 1);
    EXPECT_FALSE(messages.entries().empty());
}

// Counts that promise more data than arrives must fail without committing
// the promised memory (the reads take bounded room and grow with what
// really arrives).
TEST(GeometryLoader, HugeCountsFailWithoutAllocating) {
    struct Row {
        int token;
        int count;
        int headerSize;  // of the array block that follows; -1: none
    };
    const Row rows[] = {
        {Tok::VERTICES, 0x7FFFFFFF, -1},            // 3n floats cannot be one block
        {Tok::VERTICES, 150000000, 1800000000},     // a valid header, then the data ends
        {Tok::LINES, 1000000000, -1},
        {Tok::COLOR_MAP, 100000000, 1600000000},
    };
    for (int compress : {0, 16}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(compress);
            StreamFile f(compress);
            f.token(r.token);
            f.ints({r.count}, 1);
            if (r.headerSize >= 0) {
                f.rawHeader(0, r.headerSize);
                f.floats({1, 2, 3});  // a few bytes of the promised data
            }
            platform::MessageRecorder messages;
            const auto start = std::chrono::steady_clock::now();
            auto d = Load(f);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
            EXPECT_EQ(d->numVertices, 0);
            EXPECT_TRUE(d->vertexCoords.empty());
            EXPECT_EQ(d->numLineSegs, 0);
            EXPECT_FALSE(d->colourMap);
            EXPECT_FALSE(messages.entries().empty());
        }
    }
}

TEST(GeometryLoader, GlyphInstances) {
    {  // a = 1.5 is replaced by 1/3; single list expands two cubes (scale 0 skipped)
        StreamFile f;
        Object(f, 2, 1.5f, {1, 0, 2});
        auto d = Load(f);
        EXPECT_FALSE(d->primitive.present());
        EXPECT_EQ(d->numVertices, 16);
        EXPECT_EQ(d->numLineSegs, 24);
        EXPECT_EQ(d->numFaces, 12);
        EXPECT_EQ(d->vertexColours.size(), 16u);
        EXPECT_EQ(d->vertexColours[8], 2.0f);  // the third instance's colour
        EXPECT_EQ(d->lineColour, 7.0f);        // all line values equal: collapsed
        EXPECT_EQ(d->faceColours.size(), 12u);
        // second cube: scale 2 about (20, 0, 0)
        EXPECT_FLOAT_EQ(d->bounds[0], -0.5f);
        EXPECT_FLOAT_EQ(d->bounds[1], 21.0f);
    }
    {  // without single list the template stays a primitive
        StreamFile f;
        Object(f, 3, 1.5f, {1, 1});
        auto d = Load(f, false);
        ASSERT_TRUE(d->primitive.present());
        EXPECT_FLOAT_EQ(d->primitive.a, 1.0f / 3.0f);
        EXPECT_EQ(d->numVertices, 0);
        const MeshRecord& t = d->primitive.shape;
        const int a = 4, g = 2;  // resolution 8
        EXPECT_EQ(t.numVertices, 6 * g + 4 * a + 1);
        EXPECT_EQ(t.faceNormals.size(), size_t(t.numFaces) * 3);
        EXPECT_FALSE(d->boundsEmpty());  // the instances take up space
    }
    {  // type 52: no template, nothing generated
        StreamFile f;
        Object(f, 52, 0.5f, {1});
        auto d = Load(f);
        EXPECT_EQ(d->primitive.type, 52);
        EXPECT_EQ(d->primitive.shape.numVertices, 0);
        EXPECT_EQ(d->numVertices, 0);
    }
    {  // unknown types become the axis cross, kept as type 49
        StreamFile f;
        Object(f, 7, 0.5f, {1});
        auto d = Load(f, false);
        EXPECT_EQ(d->primitive.type, 49);
        EXPECT_EQ(d->primitive.shape.numLineSegs, 3);
    }
    {  // VIEWER_ONEDL overrides the caller
        setenv("VIEWER_ONEDL", "0", 1);
        StreamFile f;
        Object(f, 2, 0.5f, {1});
        auto d = Load(f, true);
        unsetenv("VIEWER_ONEDL");
        EXPECT_TRUE(d->primitive.present());
    }
}

TEST(GeometryLoader, PrimitiveRoundTrip) {
    StreamFile f;
    Object(f, 4, 0.5f, {1, 3});
    auto d = Load(f, false);
    StreamFile g;
    ASSERT_TRUE(d->SaveData(g.out));
    auto e = Load(g, false);
    EXPECT_EQ(e->primitive.type, 4);
    EXPECT_EQ(e->primitive.scales, (std::vector<float>{1, 3}));
    EXPECT_EQ(e->primitive.shape.vertexCoords, d->primitive.shape.vertexCoords);
}

TEST(GeometryLoader, TextureReducedToPowersOfTwoAndPlanarBorder) {
    StreamFile f;
    Texture(f, TEXTURE_PLANAR, 0, Ppm(300, 200));
    auto d = Load(f);
    ASSERT_TRUE(d->texture);
    EXPECT_EQ(d->texture->width, 256);
    EXPECT_EQ(d->texture->height, 128);
    ASSERT_EQ(d->texture->pixels.size(), 256u * 128 * 4);
    const unsigned char* corner = &d->texture->pixels[0];
    EXPECT_EQ(corner[3], 0);
    EXPECT_EQ(corner[0], 255);
    const unsigned char* inside = &d->texture->pixels[(size_t(64) * 256 + 128) * 4];
    EXPECT_EQ(inside[3], 255);
    EXPECT_EQ(inside[0], (unsigned char)(128 * 300 / 256));  // evenly spaced columns
    EXPECT_FLOAT_EQ(d->texture->direction[2], 1.0f);          // normalised
}

TEST(GeometryLoader, BackdropsReplaceTheMesh) {
    const std::string dir = testsupport::ScratchDir("geometry_backdrop");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);  // the sphere conversion also writes a file
    setenv("KRV_BACKGROUND_ROTATE", "1 0 0 30", 1);
    {
        StreamFile f;
        f.token(Tok::VERTICES);
        f.ints({1}, 1);
        f.floats({5, 5, 5});
        Texture(f, TEXTURE_BACKDROP_ROTATING, 0.5f, Ppm(256, 1536, false));
        f.finish();
        vkoGraphicObj o(nullptr, "backdrop");
        ASSERT_TRUE(o.loadData(&f.in));
        const GraphicData& d = *o.data;
        EXPECT_EQ(d.texture->width, 1024);
        EXPECT_EQ(d.texture->height, 512);
        EXPECT_EQ(d.numVertices, 33 * 65);
        EXPECT_EQ(d.numFaces, 32 * 64);
        EXPECT_EQ(d.texture->transparency, 0.0f);
        EXPECT_EQ(d.texture->repeat, 1);
        EXPECT_TRUE(d.boundsEmpty());  // backdrops do not take part in fitting
        EXPECT_EQ(o.cullingMode, CULL_FRONT);
        EXPECT_EQ(o.viewTransformMask, 2);
        EXPECT_EQ(o.offsetRotAxis[3], 1.0f);
        EXPECT_EQ(o.offsetAngle, 30.0f);
        EXPECT_TRUE(o.faces && o.dataLoaded);
    }
    unsetenv("KRV_BACKGROUND_ROTATE");
    {
        StreamFile f;
        Texture(f, TEXTURE_BACKDROP_FIXED, 0, Ppm(40, 20));
        f.finish();
        vkoGraphicObj o(nullptr, "fixed");
        ASSERT_TRUE(o.loadData(&f.in));
        EXPECT_EQ(o.data->faceEntries, (std::vector<int>{4, 2, 3, 1, 0}));
        EXPECT_EQ(o.data->vertexCoords[0], -15000.0f);
        EXPECT_EQ(o.data->vertexCoords[1], -7500.0f);
        EXPECT_EQ(o.data->vertexCoords[2], -75000.0f);
        EXPECT_EQ(o.viewTransformMask, 0);
    }
    std::filesystem::current_path(previous);
}

TEST(GeometryLoader, ExtrudeSweepsProfileAlongPath) {
    StreamFile f;
    f.token(Tok::EXTRUDE);
    f.ints({5}, 8);
    f.floats({-1, -1, 1, -1, 1, 1, -1, 1, -1, -1}, 7);  // closed square
    f.ints({1}, 6);
    f.ints({3}, 5);
    f.ints({3}, 4);
    f.floats({0, 1, 2}, 3);
    f.floats({1, 1, 2}, 2);
    f.floats({0, 1, 0, 0, 1, 0, 0, 1, 0}, 1);
    f.floats({0, 0, 0, 0, 0, 1, 0, 0, 2}, 0);
    auto d = Load(f);
    EXPECT_EQ(d->numVertices, 12);        // the repeated profile point is dropped
    EXPECT_EQ(d->numFaces, 2 * 2 * 4);    // two quads per ring step and side
    EXPECT_EQ(d->numLineSegs, 3 * 4 + 2 * 4);
    EXPECT_EQ(d->vertexColours.size(), 12u);
    EXPECT_FLOAT_EQ(d->bounds[0], -2.0f);  // the last ring has scale 2
    EXPECT_FLOAT_EQ(d->bounds[5], 2.0f);
    // every face points away from the path
    for (int i = 0; i < d->numFaces; ++i) {
        const int* e = &d->faceEntries[size_t(4 * i)];
        const float* p = &d->vertexCoords[size_t(3 * e[1])];
        const float* n = &d->faceNormals[size_t(3 * i)];
        EXPECT_GT(p[0] * n[0] + p[1] * n[1], 0.0f) << i;
    }
}

TEST(GeometryLoader, TemplateFile) {
    const std::string dir = testsupport::ScratchDir("geometry_template");
    const std::string good = dir + "/good.obj", bad = dir + "/bad.obj";
    FILE* file = std::fopen(good.c_str(), "w");
    std::fputs("# a tetrahedron\n4\n0 0 0\n1 0 0\n\n0 1 0\n0 0 1\n1\n0 3\n2\n6\n0 2 1\n0 1 3\n", file);
    std::fclose(file);
    file = std::fopen(bad.c_str(), "w");
    std::fputs("2\n0 0 0\n1 0 0\n1\n0 5\n0\n", file);
    std::fclose(file);

    setenv("DRAV_OBJ_FILE", good.c_str(), 1);
    StreamFile f;
    Object(f, 2, 0.5f, {1});
    auto d = Load(f, false);
    EXPECT_EQ(d->primitive.shape.numVertices, 4);
    EXPECT_EQ(d->primitive.shape.faceEntries, (std::vector<int>{3, 0, 2, 1, 3, 0, 1, 3}));
    unsetenv("DRAV_OBJ_FILE");

    MeshRecord m;
    bool failed = false;
    EXPECT_FALSE(GlyphShapes::ReadTemplateFile(bad, m, failed));
    EXPECT_TRUE(failed);
    EXPECT_EQ(m.numVertices, 0);
    EXPECT_FALSE(GlyphShapes::ReadTemplateFile(dir + "/missing", m, failed));
    EXPECT_FALSE(failed);
}
