// Output settings: the file name and its extension, the setters the tokens
// use, the output keys, the description line and the output sizes.
#include <gtest/gtest.h>

#include <string>

#include "output/OutputSettings.h"

namespace {

TEST(OutputSettings, FileNameAlwaysEndsInTheExtensionOfTheType) {
    struct Case {
        int type;
        const char* name;  // null: keep the current name
        const char* expected;
    } cases[] = {
        {OUTPUT_PNG, "out.jpg", "out.png"},
        {OUTPUT_JPG, nullptr, "out.jpg"},  // continues from the row above
        {OUTPUT_BMP, "picture.png", "picture.bmp"},
        {OUTPUT_BMP, "picture.txt", "picture.txt.bmp"},
        {OUTPUT_PNG, "pic.PNG", "pic.PNG.png"},       // case-sensitive
        {OUTPUT_PNG, "a.png.jpg", "a.png.png"},       // one extension removed
        {OUTPUT_VRML, "world.wrl", "world.wrl"},
        {OUTPUT_EPS, "page.ps", "page.eps"},
        {OUTPUT_KVF, "scene", "scene.kvf"},
        {OUTPUT_PPM, "dir.d/plain", "dir.d/plain.ppm"},
    };
    OutputSettings s;
    EXPECT_EQ(s.outputFileName, "viewerOutput.png");
    for (const Case& c : cases) {
        if (c.name) {
            s.outputType = c.type;
            s.setOutputFileName(c.name);
        } else {
            s.setOutputType(c.type);
        }
        EXPECT_EQ(s.outputFileName, c.expected) << (c.name ? c.name : "(type change)");
    }
}

TEST(OutputSettings, SettersRefuseOutOfRangeValues) {
    OutputSettings s;
    EXPECT_FALSE(s.setQuality(101));
    EXPECT_FALSE(s.setQuality(-1));
    EXPECT_TRUE(s.setQuality(0));
    EXPECT_EQ(s.outputQuality, 0);
    EXPECT_FALSE(s.setRasterSize(9, 500));
    EXPECT_FALSE(s.hasRasterSize());
    EXPECT_TRUE(s.setRasterSize(10, 500));
    EXPECT_EQ(s.rasterWidth, 10);
    EXPECT_FALSE(s.setScalePercent(0));
    EXPECT_TRUE(s.hasRasterSize());
    EXPECT_TRUE(s.setScalePercent(150));
    EXPECT_FALSE(s.hasRasterSize()) << "a scale drops the explicit size";
    EXPECT_TRUE(s.setPaperSize("A4"));
    EXPECT_EQ(s.paperWidth, 8268);
    EXPECT_EQ(s.paperHeight, 11693);
    EXPECT_TRUE(s.setPaperSize("0.5 3"));
    EXPECT_EQ(s.paperWidth, 1000) << "at least one inch";
    EXPECT_EQ(s.paperHeight, 3000);
    EXPECT_FALSE(s.setPaperSize("letter"));
    EXPECT_EQ(s.paperHeight, 3000);
}

TEST(OutputSettings, Keys) {
    OutputSettings s;
    // Scale doubles and wraps from 800 to 100; it also drops the raster size.
    s.setRasterSize(640, 480);
    for (int expected : {200, 400, 800, 100}) {
        s.raiseScale();
        EXPECT_EQ(s.outputScalePercent, expected);
    }
    EXPECT_FALSE(s.hasRasterSize());
    s.outputScalePercent = 1 << 30;  // a huge token value wraps too, without overflow
    s.raiseScale();
    EXPECT_EQ(s.outputScalePercent, 100);
    s.outputType = OUTPUT_PS;
    s.raiseScale();
    EXPECT_EQ(s.outputScalePercent, 100) << "no scale for PostScript";

    // Quality only for JPG: +5, above 100 back to 50.
    s.outputType = OUTPUT_PNG;
    s.outputQuality = 95;
    s.raiseQuality();
    EXPECT_EQ(s.outputQuality, 95);
    s.outputType = OUTPUT_JPG;
    for (int expected : {100, 50, 55}) {
        s.raiseQuality();
        EXPECT_EQ(s.outputQuality, expected);
    }

    for (int expected : {1, 2, 0}) {
        s.cycleColourMode();
        EXPECT_EQ(s.outputColourMode, expected);
    }

    s.setOutputType(OUTPUT_PS);
    const char* names[] = {"viewerOutput.eps", "viewerOutput.wrl", "viewerOutput.png", "viewerOutput.kvf"};
    for (const char* name : names) {
        s.cycleType();
        EXPECT_EQ(s.outputFileName, name);
    }
    EXPECT_EQ(s.outputType, OUTPUT_KVF);
}

TEST(OutputSettings, DescriptionLines) {
    struct Case {
        const char* what;
        int type;
        bool antialias;
        int rasterWidth, rasterHeight;
        int windowWidth, windowHeight;
        const char* expected;
    } cases[] = {
        {"default", OUTPUT_PNG, true, -1, -1, 640, 480,
         "\nOutput file: name is out.png, type is PNG, mode is GRAY, 100%% (640 x 480 pixels), antialiased\n"},
        {"jpeg quality", OUTPUT_JPG, false, -1, -1, 640, 480,
         "\nOutput file: name is out.jpg, type is JPG, mode is GRAY, quality 75, 100%% (640 x 480 pixels)\n"},
        {"explicit size", OUTPUT_BMP, true, 320, 200, 640, 480,
         "\nOutput file: name is out.bmp, type is BMP, mode is GRAY, (320 x 200 pixels), antialiased\n"},
        {"unknown window", OUTPUT_PPM, false, -1, -1, 0, 0,
         "\nOutput file: name is out.ppm, type is PPM, mode is GRAY, 100%% (700 x 700 pixels)\n"},
        {"scene", OUTPUT_KVF, true, -1, -1, 640, 480, "\nOutput file: name is out.kvf, type is KVF\n"},
        {"world", OUTPUT_VRML, true, -1, -1, 640, 480, "\nOutput file: name is out.wrl, type is VRML\n"},
        {"page", OUTPUT_EPS, true, -1, -1, 640, 480, "\nOutput file: name is out.eps, type is EPS, mode is GRAY\n"},
        {"unknown type", 9, true, -1, -1, 640, 480,
         "\nOutput file: name is out, type is UNKNOWN, mode is GRAY, 100%% (640 x 480 pixels)\n"},
    };
    for (const Case& c : cases) {
        OutputSettings s;
        s.setOutputType(c.type);
        s.setOutputFileName("out");
        s.outputColourMode = 2;
        s.outputQuality = 75;
        s.outputAntialias = c.antialias;
        s.rasterWidth = c.rasterWidth;
        s.rasterHeight = c.rasterHeight;
        EXPECT_EQ(s.describe(c.windowWidth, c.windowHeight), c.expected) << c.what;
    }
    OutputSettings scaled;
    scaled.setScalePercent(150);
    EXPECT_NE(scaled.describe(101, 33).find(", 150%% (151 x 49 pixels)"), std::string::npos)
        << "integer arithmetic: 101 * 150 / 100 = 151, 33 * 150 / 100 = 49";
}

TEST(OutputSettings, RasterOutputSizes) {
    struct Case {
        const char* what;
        int scale;
        int rasterWidth, rasterHeight;
        int windowWidth, windowHeight, requestWidth, requestHeight;
        long long width, height;
    } cases[] = {
        {"window", 100, -1, -1, 640, 480, -1, -1, 640, 480},
        {"0 x 0 window", 200, -1, -1, 0, 0, -1, -1, 1400, 1400},
        {"one side unknown", 100, -1, -1, 640, 0, -1, -1, 700, 700},
        {"requested size", 50, -1, -1, 640, 480, 300, 100, 150, 50},
        {"one side requested", 100, -1, -1, 640, 480, 300, -1, 640, 480},
        {"explicit size is not scaled", 300, 10, 500, 640, 480, 300, 100, 10, 500},
        {"huge scale", 1 << 30, -1, -1, 4000, 4000, -1, -1, 4000LL * (1 << 30) / 100, 4000LL * (1 << 30) / 100},
    };
    for (const Case& c : cases) {
        OutputSettings s;
        s.outputScalePercent = c.scale;
        s.rasterWidth = c.rasterWidth;
        s.rasterHeight = c.rasterHeight;
        long long w = 0, h = 0;
        s.rasterOutputSize(c.windowWidth, c.windowHeight, c.requestWidth, c.requestHeight, w, h);
        EXPECT_EQ(w, c.width) << c.what;
        EXPECT_EQ(h, c.height) << c.what;
    }
    // 3 bytes a pixel must stay within an int.
    EXPECT_EQ(OutputSettings::rasterSizeProblem(3840, 2160), "");
    EXPECT_EQ(OutputSettings::rasterSizeProblem(26754, 26754), "");
    EXPECT_EQ(OutputSettings::rasterSizeProblem(26755, 26755), "ERROR Output size 26755 x 26755 pixels is too large\n");
    EXPECT_EQ(OutputSettings::rasterSizeProblem(1LL << 40, 1), "ERROR Output size 1099511627776 x 1 pixels is too large\n");
    EXPECT_EQ(OutputSettings::rasterSizeProblem(0, 480), "ERROR Output size 0 x 480 pixels is empty\n");
}

TEST(OutputSettings, NumberedFileNames) {
    EXPECT_EQ(OutputSettings::numberedFileName("a.wrl", 0), "a.wrl");
    EXPECT_EQ(OutputSettings::numberedFileName("a.wrl", 1), "a1.wrl");
    EXPECT_EQ(OutputSettings::numberedFileName("a.b.wrl", 12), "a.b12.wrl");
    EXPECT_EQ(OutputSettings::numberedFileName("world", 2), "world2");
    EXPECT_EQ(OutputSettings::numberedFileName("dir.d/world", 2), "dir.d/world2");
}

}  // namespace
