// readImage over every kind of block: decoding, refusals, truncated and
// forged blocks, the cube bundle, colour key and transparency; and the
// in-memory encoders.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstring>

#include "ImageTestHelpers.h"
#include "TestSupport.h"
#include "output/ImageCodecs.h"
#include "output/RasterImage.h"
#include "platform/MessageSink.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Decoded {
    bool ok = false;
    int width = -1, height = -1;
    Bytes rgba;
};

Decoded decode(const Bytes& b, const int* key = nullptr, float transparency = 0) {
    Decoded d;
    d.ok = readImage(b.data(), b.size(), key, transparency, d.width, d.height, d.rgba);
    return d;
}

// RGBA of pixel (x, y), y counted from the bottom.
std::vector<int> pixel(const Decoded& d, int x, int y) {
    const unsigned char* p = &d.rgba[(size_t(y) * d.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// A file written by our writer, in memory.
Bytes writtenFile(int type, const RasterImage& img, const char* name) {
    const std::string path = testsupport::ScratchDir(std::string("reader_") + name) + "/" + name;
    EXPECT_TRUE(writeRasterFile(type, img, path, false));
    return imagetest::readFile(path);
}

// 2 x 2 picture, top row red, green; bottom row blue, white.
RasterImage tiny() {
    RasterImage img;
    img.width = 2;
    img.height = 2;
    img.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    return img;
}

Bytes ppmBlock(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    Bytes rgba;
    for (int i = 0; i < w * h; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
    Bytes block;
    EXPECT_GT(encodeImageBlock(kEncodePpm, w, h, rgba.data(), block), 0u);
    return block;
}

void put32be(Bytes& b, uint32_t v) {
    b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

Bytes bundle(const std::vector<Bytes>& members, uint32_t count) {
    Bytes b = {'C', 'A', 'T'};
    put32be(b, count);
    for (const Bytes& m : members) {
        put32be(b, uint32_t(m.size()));
        b.insert(b.end(), m.begin(), m.end());
    }
    return b;
}

// BMP headers with selected fields changed, followed by `data`.
Bytes bmpFile(int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t coloursUsed, const Bytes& data,
              uint32_t offset = 54) {
    Bytes b(54, 0);
    makeBmpHeaders(b.data(), w, h, uint32_t(54 + data.size()));
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
    };
    put(10, offset, 4);
    put(28, bits, 2);
    put(30, compression, 4);
    put(46, coloursUsed, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(ImageReader, DetectsKindFromFirstBytes) {
    struct Case {
        std::string bytes;
        ImageKind kind;
    } cases[] = {
        {"P6 1 1 255 abc", ImageKind::Ppm}, {"P3 1 1", ImageKind::Ppm}, {"P5 1 1", ImageKind::None},
        {"BM......", ImageKind::Bmp},       {"\xff\xd8\xff\xe0..JFIF\0", ImageKind::Jpeg},
        {"\x89PNG\r\n", ImageKind::Png},    {"CAT\0\0\0\6", ImageKind::Bundle},
        {"GIF89a", ImageKind::None},        {"", ImageKind::None},
        {"\x89PN", ImageKind::None},  // too short to hold the mark
    };
    for (const Case& c : cases) {
        EXPECT_EQ(detectImageKind(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()), c.kind)
            << c.bytes;
        Bytes b(c.bytes.begin(), c.bytes.end());
        if (c.kind == ImageKind::None) {
            EXPECT_FALSE(decode(b).ok);
        }
    }
    int w = 1, h = 1;
    Bytes px{1};
    EXPECT_FALSE(readImage(nullptr, 10, nullptr, 0, w, h, px));
    EXPECT_TRUE(px.empty());
    EXPECT_EQ(w, 0);
}

TEST(ImageReader, EveryWrittenKindDecodesBottomRowFirst) {
    for (int type : {RASTER_PNG, RASTER_BMP, RASTER_PPM}) {
        const Decoded d = decode(writtenFile(type, tiny(), "tiny"));
        ASSERT_TRUE(d.ok) << type;
        EXPECT_EQ(pixel(d, 0, 0), (std::vector<int>{0, 0, 255, 255})) << type;
        EXPECT_EQ(pixel(d, 1, 0), (std::vector<int>{255, 255, 255, 255})) << type;
        EXPECT_EQ(pixel(d, 0, 1), (std::vector<int>{255, 0, 0, 255})) << type;
        EXPECT_EQ(pixel(d, 1, 1), (std::vector<int>{0, 255, 0, 255})) << type;
    }
}

TEST(ImageReader, PngColourTypes) {
    using imagetest::encodePngLowLevel;
    // 2 x 2 RGBA reference, rows top first: opaque red, half-transparent green
    // / blue, white.
    struct Case {
        const char* name;
        Bytes png;
        bool accepted;
    } cases[] = {
        {"rgb8", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_RGB, 8, false, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}),
         true},
        {"rgb8 interlaced",
         encodePngLowLevel(2, 2, PNG_COLOR_TYPE_RGB, 8, true, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}), true},
        {"rgba8", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_RGBA, 8, false,
                                    {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 255, 255, 255, 255}),
         true},
        {"rgb16", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_RGB, 16, false,
                                    {255, 1, 0, 0, 0, 0, 0, 0, 255, 2, 0, 0, 0, 0, 0, 0, 255, 3,
                                     255, 9, 255, 9, 255, 9}),
         true},
        {"palette+tRNS", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_PALETTE, 2, false, {0x1 << 6 | 0x0 << 4, 0x2 << 6 | 0x3 << 4},
                                           {0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255}, {128}),
         true},
        {"grey8", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_GRAY, 8, false, {0, 85, 170, 255}), false},
        {"grey1", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_GRAY, 1, false, {0x40, 0x80}), false},
        {"grey+alpha", encodePngLowLevel(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {0, 255, 85, 255, 170, 255, 255, 0}),
         false},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.png.empty()) << c.name;
        const Decoded d = decode(c.png);
        ASSERT_EQ(d.ok, c.accepted) << c.name;
        if (!c.accepted) {
            EXPECT_TRUE(d.rgba.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(d.width, 2);
        ASSERT_EQ(d.height, 2);
        EXPECT_EQ(pixel(d, 0, 1), (std::vector<int>{255, 0, 0, 255})) << c.name;
        EXPECT_EQ(pixel(d, 0, 0), (std::vector<int>{0, 0, 255, 255})) << c.name;
        EXPECT_EQ(pixel(d, 1, 0), (std::vector<int>{255, 255, 255, 255})) << c.name;
        const int greenAlpha = std::string(c.name).find("rgba") != std::string::npos ? 128
                               : std::string(c.name).find("palette") != std::string::npos ? 128
                                                                                           : 255;
        EXPECT_EQ(pixel(d, 1, 1), (std::vector<int>{0, 255, 0, greenAlpha})) << c.name;
    }
}

TEST(ImageReader, GreyJpegIsRefused) {
    const Bytes grey = imagetest::encodeGreyJpeg(16, 8);
    ASSERT_EQ(detectImageKind(grey.data(), grey.size()), ImageKind::Jpeg);
    EXPECT_FALSE(decode(grey).ok);
}

TEST(ImageReader, BmpVariants) {
    // 3 x 1 image, 24-bit: 9 bytes + 3 padding; 32-bit: 12 bytes.
    const Bytes row24 = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};
    const Bytes row32 = {3, 2, 1, 99, 6, 5, 4, 99, 9, 8, 7, 99};
    const Bytes twoRows24 = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0, 30, 20, 10, 60, 50, 40, 90, 80, 70, 0, 0, 0};
    {
        const Decoded d = decode(bmpFile(3, 2, 24, 0, 0, twoRows24));
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(pixel(d, 2, 0), (std::vector<int>{7, 8, 9, 255}));   // first file row is the bottom
        EXPECT_EQ(pixel(d, 0, 1), (std::vector<int>{10, 20, 30, 255}));
    }
    {
        const Decoded d = decode(bmpFile(3, 1, 32, 0, 0, row32));
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(pixel(d, 1, 0), (std::vector<int>{4, 5, 6, 255}));
    }
    struct Bad {
        const char* name;
        Bytes file;
    } bad[] = {
        {"16-bit", bmpFile(3, 1, 16, 0, 0, row24)},
        {"8-bit", bmpFile(3, 1, 8, 0, 0, row24)},
        {"compressed", bmpFile(3, 1, 24, 1, 0, row24)},
        {"bitfields", bmpFile(3, 1, 32, 3, 0, row32)},
        {"colours used", bmpFile(3, 1, 24, 0, 2, row24)},
        {"other data offset", bmpFile(3, 1, 24, 0, 0, row24, 58)},
        {"zero width", bmpFile(0, 1, 24, 0, 0, row24)},
        {"top-down", bmpFile(3, -1, 24, 0, 0, row24)},
        {"padding missing", bmpFile(3, 1, 24, 0, 0, Bytes(row24.begin(), row24.begin() + 9))},
        {"forged size", bmpFile(60000, 60000, 24, 0, 0, row24)},
    };
    for (const Bad& b : bad) {
        const Decoded d = decode(b.file);
        EXPECT_FALSE(d.ok) << b.name;
        EXPECT_TRUE(d.rgba.empty()) << b.name;
    }
    Bytes otherInfoHeader = bmpFile(3, 1, 24, 0, 0, row24);
    otherInfoHeader[14] = 108;
    EXPECT_FALSE(decode(otherInfoHeader).ok);
}

TEST(ImageReader, PpmVariants) {
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    {
        const Decoded d = decode(text("P3\r\n# a comment\n2 1 # trailing\n255\n1 2 3\t# more\n 250 251 252\n"));
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(pixel(d, 0, 0), (std::vector<int>{1, 2, 3, 255}));
        EXPECT_EQ(pixel(d, 1, 0), (std::vector<int>{250, 251, 252, 255}));
    }
    {
        // P6 rows are top first; the single separator may itself look like data.
        Bytes b = text("P6 1 2 255\n");
        b.insert(b.end(), {10, 11, 12, 20, 21, 22});
        const Decoded d = decode(b);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(pixel(d, 0, 0), (std::vector<int>{20, 21, 22, 255}));
    }
    struct Bad {
        const char* name;
        std::string text;
    } bad[] = {
        {"max 65535", "P6 1 1 65535\n\1\2\3\4\5\6"},
        {"max 15", "P3 1 1 15 1 2 3"},
        {"missing value", "P3 1 1 255 1 2"},
        {"letter in data", "P3 1 1 255 1 x 3"},
        {"negative size", "P3 -1 1 255 1 2 3"},
        {"zero size", "P6 0 0 255 "},
        {"huge number", "P6 1234567890123 1 255 "},
        {"forged size", "P6 100000 100000 255 abc"},
        {"forged P3", "P3 100000 100000 255 1 2 3"},
        {"header only", "P6"},
    };
    for (const Bad& b : bad) {
        const Decoded d = decode(text(b.text));
        EXPECT_FALSE(d.ok) << b.name;
        EXPECT_TRUE(d.rgba.empty()) << b.name;
    }
}

// Every prefix shorter than the whole file must fail without reading past
// it (the sanitizers see a read beyond a block copied to its exact size).
TEST(ImageReader, TruncatedBlocksFailCleanly) {
    const RasterImage pic = imagetest::makePicture(33, 21);
    const std::string p3text = "P3 2 2 255\n1 2 3 4 5 6 7 8 9 10 11 12\n";
    const Bytes ppm = writtenFile(RASTER_PPM, pic, "cut.ppm");
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"png", writtenFile(RASTER_PNG, pic, "cut.png")},
        {"jpeg", writtenFile(RASTER_JPG, pic, "cut.jpg")},
        {"bmp", writtenFile(RASTER_BMP, pic, "cut.bmp")},
        {"ppm", ppm},
        {"p3", Bytes(p3text.begin(), p3text.end() - 1)},  // without the last newline: ends in a digit
        {"bundle", bundle({ppm, ppm, ppm, ppm, ppm, ppm}, 6)},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(decode(c.file).ok) << c.name;
        const size_t n = c.file.size();
        for (size_t cut : {size_t(1), size_t(3), size_t(9), size_t(20), size_t(54), n / 3, n / 2, n - 9, n - 2, n - 1}) {
            if (cut >= n) continue;
            if (std::string(c.name) == "p3" && cut == n - 1) continue;  // "1" of the last "12" still parses
            Bytes prefix(c.file.begin(), c.file.begin() + long(cut));
            const Decoded d = decode(prefix);
            EXPECT_FALSE(d.ok) << c.name << " cut at " << cut;
            EXPECT_TRUE(d.rgba.empty()) << c.name << " cut at " << cut;
        }
    }
}

// A PNG header promising a huge image over a few bytes of data is refused
// before the pixels are allocated.
TEST(ImageReader, ForgedPngAndJpegSizesAreRefused) {
    Bytes png = imagetest::encodePngLowLevel(2, 2, PNG_COLOR_TYPE_PALETTE, 1, false, {0, 0}, {0, 0, 0, 255, 255, 255});
    ASSERT_TRUE(decode(png).ok);
    // IHDR data starts at 16; its CRC covers type and data (bytes 12..28).
    auto setBe = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) png[at + i] = uint8_t(v >> (24 - 8 * i));
    };
    setBe(16, 8000);  // 8000 x 8000: 8 MB of rows from a block of a few dozen bytes
    setBe(20, 8000);
    setBe(29, uint32_t(crc32(0, png.data() + 12, 17)));
    EXPECT_FALSE(decode(png).ok);

    Bytes jpeg = writtenFile(RASTER_JPG, imagetest::makePicture(16, 16), "forged.jpg");
    size_t sof = 2;
    while (sof + 9 < jpeg.size() && !(jpeg[sof] == 0xff && jpeg[sof + 1] == 0xc0)) ++sof;
    ASSERT_LT(sof + 9, jpeg.size());
    jpeg[sof + 5] = 0x0f;  // 4000 x 4000 pixels from a few hundred bytes
    jpeg[sof + 6] = 0xa0;
    jpeg[sof + 7] = 0x0f;
    jpeg[sof + 8] = 0xa0;
    EXPECT_FALSE(decode(jpeg).ok);
}

TEST(ImageReader, BundleStacksSixFacesFirstOnTop) {
    std::vector<Bytes> faces;
    for (int i = 0; i < 6; ++i) faces.push_back(ppmBlock(2, 3, uint8_t(10 * i), uint8_t(i), 200));
    // Members of different kinds are allowed: face 2 as a BMP.
    RasterImage face2;
    face2.width = 2;
    face2.height = 3;
    for (int i = 0; i < 6; ++i) face2.pixels.insert(face2.pixels.end(), {20, 2, 200});
    faces[2] = writtenFile(RASTER_BMP, face2, "face2.bmp");
    Bytes block = bundle(faces, 6);
    block.push_back(0);  // trailing bytes are ignored
    const Decoded d = decode(block);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.width, 2);
    ASSERT_EQ(d.height, 18);
    for (int i = 0; i < 6; ++i)
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(pixel(d, 1, (5 - i) * 3 + row)[0], 10 * i) << "face " << i;
}

TEST(ImageReader, BundleFailures) {
    const Bytes f = ppmBlock(2, 3, 1, 2, 3);
    {
        platform::MessageRecorder rec;
        const Decoded d = decode(bundle({f, f, f, ppmBlock(3, 2, 1, 2, 3), f, f}, 6));
        EXPECT_FALSE(d.ok);
        EXPECT_TRUE(d.rgba.empty());
        ASSERT_EQ(rec.entries().size(), 1u);
        EXPECT_EQ(rec.entries()[0].text, "WARNING in ReadImage: Multiple images not same dimensions\n");
        EXPECT_EQ(rec.entries()[0].icon, platform::MessageIcon::Error);
    }
    platform::MessageRecorder rec;
    Bytes lengthTooLong = bundle({f, f, f, f, f, f}, 6);
    lengthTooLong[7 + 3] += 1;  // first member claims one byte more
    Bytes lengthHuge = bundle({f, f, f, f, f, f}, 6);
    lengthHuge[7] = 0xff;
    struct Case {
        const char* name;
        Bytes block;
    } cases[] = {
        {"five members", bundle({f, f, f, f, f}, 5)},
        {"seven members", bundle({f, f, f, f, f, f, f}, 7)},
        {"count says six, five present", bundle({f, f, f, f, f}, 6)},
        {"nested bundle", bundle({bundle({f, f, f, f, f, f}, 6), f, f, f, f, f}, 6)},
        {"member not an image", bundle({f, f, Bytes{'x', 'y', 'z'}, f, f, f}, 6)},
        {"member too long", lengthTooLong},
        {"member length huge", lengthHuge},
        {"only the mark", Bytes{'C', 'A', 'T'}},
    };
    for (const Case& c : cases) {
        const Decoded d = decode(c.block);
        EXPECT_FALSE(d.ok) << c.name;
        EXPECT_TRUE(d.rgba.empty()) << c.name;
    }
    EXPECT_TRUE(rec.entries().empty());
}

TEST(ImageReader, ColourKeyAndTransparency) {
    const Bytes png = imagetest::encodePngLowLevel(2, 1, PNG_COLOR_TYPE_RGBA, 8, false,
                                                   {10, 20, 30, 255, 40, 50, 60, 200});
    const int key[3] = {10, 20, 30};
    struct Case {
        const int* key;
        float transparency;
        int keyedAlpha, otherAlpha;
    } cases[] = {
        {nullptr, 0.0f, 255, 200},  {key, 0.0f, 0, 200},          {nullptr, 0.25f, 191, 150},
        {key, 0.25f, 0, 150},       {nullptr, 1.5f, 0, 0},         {nullptr, -2.0f, 255, 200},
        {nullptr, 1.0f, 0, 0},
    };
    for (const Case& c : cases) {
        const Decoded d = decode(png, c.key, c.transparency);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(pixel(d, 0, 0)[3], c.keyedAlpha) << c.transparency;
        EXPECT_EQ(pixel(d, 1, 0)[3], c.otherAlpha) << c.transparency;
        EXPECT_EQ(pixel(d, 0, 0)[0], 10);  // colours are kept
    }
    // A bundle applies both to each member.
    const Bytes f = ppmBlock(1, 1, 10, 20, 30);
    const Bytes g = ppmBlock(1, 1, 11, 20, 30);
    const Decoded d = decode(bundle({f, g, f, g, f, g}, 6), key, 0.25f);
    ASSERT_TRUE(d.ok);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(pixel(d, 0, 5 - i)[3], i % 2 ? 191 : 0) << i;
}

TEST(ImageEncoder, PpmAndBmpBlocks) {
    // 4 x 2 RGBA, bottom row first.
    Bytes rgba;
    for (int i = 0; i < 8; ++i) rgba.insert(rgba.end(), {uint8_t(i), uint8_t(10 + i), uint8_t(20 + i), 99});
    Bytes ppm;
    ASSERT_EQ(encodeImageBlock(kEncodePpm, 4, 2, rgba.data(), ppm), size_t(4 * 2 * 3 + 19));
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + 19), "P6     4     2 255 ");
    EXPECT_EQ((Bytes(ppm.begin() + 19, ppm.begin() + 22)), (Bytes{4, 14, 24}));  // top row first

    Bytes bmp;
    ASSERT_EQ(encodeImageBlock(kEncodeBmp, 4, 2, rgba.data(), bmp), size_t(4 * 3 * 2 + 54));
    Bytes headers(54);
    makeBmpHeaders(headers.data(), 4, 2, 4 * 3 * 2 + 54);
    EXPECT_EQ(Bytes(bmp.begin(), bmp.begin() + 54), headers);
    EXPECT_EQ((Bytes(bmp.begin() + 54, bmp.begin() + 57)), (Bytes{20, 10, 0}));  // buffer order, BGR

    for (const Bytes* block : {&ppm, &bmp}) {
        const Decoded d = decode(*block);
        ASSERT_TRUE(d.ok);
        ASSERT_EQ(d.width, 4);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(d.rgba[i * 4 + 2], 20 + i);
            EXPECT_EQ(d.rgba[i * 4 + 3], 255);
        }
    }

    // A width whose rows need padding still gives a valid BMP.
    Bytes odd;
    ASSERT_EQ(encodeImageBlock(kEncodeBmp, 3, 2, rgba.data(), odd), size_t(12 * 2 + 54));
    const Decoded d = decode(odd);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(pixel(d, 0, 1)[0], 3);

    Bytes none;
    for (int kind : {0, 1, 2, 5, 7}) EXPECT_EQ(encodeImageBlock(kind, 4, 2, rgba.data(), none), 0u) << kind;
    EXPECT_EQ(encodeImageBlock(kEncodePpm, 0, 2, rgba.data(), none), 0u);
    EXPECT_EQ(encodeImageBlock(kEncodeBmp, 4, 2, nullptr, none), 0u);
}

}  // namespace
