// Raster files written by writeRasterFile: read back by our readers and by
// the standard libraries, byte layouts of BMP and PPM, reduction, flipping
// and failures.
#include <gtest/gtest.h>

#include <QImage>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ImageTestHelpers.h"
#include "TestSupport.h"
#include "output/ImageCodecs.h"
#include "output/RasterImage.h"

using imagetest::makePicture;
using imagetest::readFile;

namespace {

// Mean per-channel difference between an RGB picture (top row first) and
// RGBA pixels as readImage gives them (bottom row first).
double rowAlignedDifference(const RasterImage& src, int width, int height, const std::vector<unsigned char>& rgba) {
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k) {
                const int a = src.pixels[(size_t(y) * width + x) * 3 + k];
                const int b = rgba[(size_t(height - 1 - y) * width + x) * 4 + k];
                sum += std::abs(a - b);
            }
    return sum / (double(width) * height * 3);
}

double meanDifference(const unsigned char* a, const unsigned char* b, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(n);
}

struct FormatCase {
    int type;
    const char* extension;
    double tolerance;  // mean channel difference after the round trip
};

class RasterWriterRoundTrip : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RasterWriterRoundTrip, ReadsBackWithRowsInPlace) {
    const FormatCase& fc = GetParam();
    const std::string dir = testsupport::ScratchDir(std::string("writer_") + fc.extension);
    // Odd sizes exercise BMP row padding and JPEG partial blocks.
    const RasterImage img = makePicture(61, 37, 95);
    for (bool flip : {false, true}) {
        const std::string path = dir + "/out." + fc.extension;
        ASSERT_TRUE(writeRasterFile(fc.type, img, path, flip));
        const auto bytes = readFile(path);
        int w = 0, h = 0;
        std::vector<unsigned char> rgba;
        ASSERT_TRUE(readImage(bytes.data(), bytes.size(), nullptr, 0, w, h, rgba)) << fc.extension;
        ASSERT_EQ(w, 61);
        ASSERT_EQ(h, 37);
        if (flip) {
            // Flipped: the file's bottom row is image row 0, so reading
            // (bottom first) gives the buffer back in its own order.
            RasterImage reversed = img;
            for (int y = 0; y < 37; ++y)
                std::copy_n(&img.pixels[size_t(36 - y) * 61 * 3], 61 * 3, &reversed.pixels[size_t(y) * 61 * 3]);
            EXPECT_LE(rowAlignedDifference(reversed, w, h, rgba), fc.tolerance) << fc.extension << " flipped";
        } else {
            EXPECT_LE(rowAlignedDifference(img, w, h, rgba), fc.tolerance) << fc.extension;
        }
        for (size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(rgba[i], 255);
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, RasterWriterRoundTrip,
                         ::testing::Values(FormatCase{RASTER_PNG, "png", 0}, FormatCase{RASTER_JPG, "jpg", 2.5},
                                           FormatCase{RASTER_BMP, "bmp", 0}, FormatCase{RASTER_PPM, "ppm", 0}),
                         [](const auto& info) { return std::string(info.param.extension); });

TEST(RasterWriter, PngIsReadByLibpngAndQt) {
    const std::string path = testsupport::ScratchDir("writer_png_std") + "/frame.png";
    const RasterImage img = makePicture(120, 80);
    ASSERT_TRUE(writeRasterFile(RASTER_PNG, img, path, false));
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(imagetest::decodeWithLibpngSimple(readFile(path), w, h, rgb));
    ASSERT_EQ(w, 120);
    ASSERT_EQ(h, 80);
    EXPECT_EQ(rgb, img.pixels);

    QImage q(QString::fromStdString(path));
    ASSERT_FALSE(q.isNull());
    q = q.convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(0, std::memcmp(q.constScanLine(10), &img.pixels[size_t(10) * 120 * 3], 120 * 3));
}

TEST(RasterWriter, JpegIsReadByPlainLibjpegAndQtAndFollowsQuality) {
    const std::string dir = testsupport::ScratchDir("writer_jpg_std");
    const RasterImage img = makePicture(160, 96, 90);
    ASSERT_TRUE(writeRasterFile(RASTER_JPG, img, dir + "/q90.jpg", false));
    const auto file = readFile(dir + "/q90.jpg");
    EXPECT_EQ(0, std::memcmp(file.data() + 6, "JFIF", 4));
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(imagetest::decodeWithPlainLibjpeg(file, w, h, rgb));
    ASSERT_EQ(w, 160);
    ASSERT_EQ(h, 96);
    EXPECT_LT(meanDifference(rgb.data(), img.pixels.data(), rgb.size()), 3.0);
    QImage q(QString::fromStdString(dir + "/q90.jpg"));
    EXPECT_EQ(q.width(), 160);

    RasterImage low = img;
    low.quality = 10;
    ASSERT_TRUE(writeRasterFile(RASTER_JPG, low, dir + "/q10.jpg", false));
    EXPECT_LT(readFile(dir + "/q10.jpg").size() * 2, file.size());
}

TEST(RasterWriter, BmpBytesMatchHandMadeFile) {
    // 3 x 2 pixels: rows of 9 bytes padded to 12, last picture row first.
    RasterImage img;
    img.width = 3;
    img.height = 2;
    img.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9,  //
                  10, 11, 12, 13, 14, 15, 16, 17, 18};
    const std::string path = testsupport::ScratchDir("writer_bmp_bytes") + "/a.bmp";
    ASSERT_TRUE(writeRasterFile(RASTER_BMP, img, path, false));
    const std::vector<unsigned char> expected = {
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                   // file header, size 2*12+54
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,     // size, w, h, planes, bits, comp
        0, 0, 0, 0, 0x13, 0x0b, 0, 0, 0x13, 0x0b, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 2835 ppm, colours 0
        12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0,                     // picture row 1 (bottom)
        3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};                             // picture row 0 (top)
    EXPECT_EQ(readFile(path), expected);
}

TEST(RasterWriter, PpmBytesMatchHandMadeFile) {
    RasterImage img;
    img.width = 2;
    img.height = 2;
    img.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::string dir = testsupport::ScratchDir("writer_ppm_bytes");
    ASSERT_TRUE(writeRasterFile(RASTER_PPM, img, dir + "/a.ppm", false));
    std::string expected = "P6\n2 2\n255\n";
    expected += std::string{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const auto bytes = readFile(dir + "/a.ppm");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);

    ASSERT_TRUE(writeRasterFile(RASTER_PPM, img, dir + "/flip.ppm", true));
    std::string flipped = "P6\n2 2\n255\n";
    flipped += std::string{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6};
    const auto fb = readFile(dir + "/flip.ppm");
    EXPECT_EQ(std::string(fb.begin(), fb.end()), flipped);
}

TEST(RasterWriter, AntialiasedImageIsHalvedWithRoundedMeans) {
    RasterImage img;
    img.width = 4;
    img.height = 2;
    img.antialiased = true;
    // Left block: 0, 1, 1, 1 -> (3 + 2) >> 2 = 1; right block: 255, 254, 254, 0 -> 191.
    img.pixels = {0, 0, 0, 1, 1, 1, 255, 255, 255, 254, 254, 254,  //
                  1, 1, 1, 1, 1, 1, 254, 254, 254, 0, 0, 0};
    const std::string dir = testsupport::ScratchDir("writer_aa");
    ASSERT_TRUE(writeRasterFile(RASTER_PPM, img, dir + "/aa.ppm", false));
    const auto bytes = readFile(dir + "/aa.ppm");
    std::string expected = "P6\n2 1\n255\n";
    expected += std::string{1, 1, 1, char(191), char(191), char(191)};
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);

    RasterImage big = makePicture(1280, 960);
    big.antialiased = true;
    ASSERT_TRUE(writeRasterFile(RASTER_PNG, big, dir + "/aa.png", true));
    QImage q(QString::fromStdString(dir + "/aa.png"));
    EXPECT_EQ(q.size(), QSize(640, 480));
    EXPECT_FALSE(big.pixels.empty());  // the caller's image is left as it was
    EXPECT_EQ(big.width, 1280);
}

TEST(RasterWriter, RefusesWhatItCannotWrite) {
    const std::string dir = testsupport::ScratchDir("writer_fail");
    const RasterImage img = makePicture(8, 8);
    for (int type : {1, 5, 6, 7, -1, 99}) {
        const std::string path = dir + "/t" + std::to_string(type);
        EXPECT_FALSE(writeRasterFile(type, img, path, false)) << type;
        EXPECT_FALSE(std::filesystem::exists(path)) << type;
    }
    for (int type : {RASTER_PNG, RASTER_JPG, RASTER_BMP, RASTER_PPM}) {
        EXPECT_FALSE(writeRasterFile(type, img, dir + "/no/such/dir/x", false)) << type;
        RasterImage shortBuffer = img;
        shortBuffer.pixels.resize(8 * 8 * 3 - 1);
        EXPECT_FALSE(writeRasterFile(type, shortBuffer, dir + "/short", false)) << type;
        RasterImage empty;
        EXPECT_FALSE(writeRasterFile(type, empty, dir + "/empty", false)) << type;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/short"));
}

// A write that fails half-way (the file size limit stands in for a full
// disk), a directory in the way and a full device: each gives false, and an
// earlier picture of the same name stays whole, with no leftovers beside it.
TEST(RasterWriter, FailedWriteKeepsTheEarlierFile) {
    namespace fs = std::filesystem;
    const std::string dir = testsupport::ScratchDir("writer_halfway");
    const RasterImage small = makePicture(16, 16), large = makePicture(400, 300);
    for (int type : {RASTER_PNG, RASTER_JPG, RASTER_BMP, RASTER_PPM}) {
        const std::string path = dir + "/pic" + std::to_string(type);
        ASSERT_TRUE(writeRasterFile(type, small, path, false)) << type;
        const std::vector<unsigned char> before = readFile(path);

        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 2000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool wrote = writeRasterFile(type, large, path, false);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);

        EXPECT_FALSE(wrote) << type;
        EXPECT_EQ(readFile(path), before) << type;
        EXPECT_FALSE(writeRasterFile(type, small, "/dev/full", false)) << type;
        EXPECT_FALSE(writeRasterFile(type, small, dir, false)) << type;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
}

}  // namespace
