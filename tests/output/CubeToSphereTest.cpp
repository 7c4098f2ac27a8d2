// cubeToSphere: output size, where the six faces land, and the BMP file.
#include <gtest/gtest.h>

#include <filesystem>

#include "ImageTestHelpers.h"
#include "TestSupport.h"
#include "output/CubeToSphere.h"
#include "output/ImageCodecs.h"
#include "platform/MessageSink.h"

namespace {

// Runs the body with the working directory set to a fresh scratch folder.
class CubeToSphereTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        dir_ = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::current_path(dir_);
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    // A cube of width a in the layout of a read bundle: face f, one flat
    // colour (f * 40, 255 - f * 40, 7), in rows (5 - f) * a .. from the start.
    static std::vector<unsigned char> cube(int a) {
        std::vector<unsigned char> px(size_t(a) * a * 6 * 4);
        for (int f = 0; f < 6; ++f)
            for (size_t i = 0; i < size_t(a) * a; ++i) {
                unsigned char* p = &px[(size_t(5 - f) * a * a + i) * 4];
                p[0] = uint8_t(f * 40);
                p[1] = uint8_t(255 - f * 40);
                p[2] = 7;
                p[3] = 255;
            }
        return px;
    }

    std::filesystem::path previous_;
    std::string dir_;
};

TEST_F(CubeToSphereTest, FacesLandWhereTheirDirectionsPoint) {
    const std::vector<unsigned char> px = cube(500);
    platform::MessageRecorder rec;
    int w = 0, h = 0;
    std::vector<unsigned char> out;
    ASSERT_TRUE(cubeToSphere(500, 3000, px.data(), w, h, out));
    ASSERT_EQ(w, 1024);  // c = 256
    ASSERT_EQ(h, 512);
    ASSERT_EQ(out.size(), size_t(1024) * 512 * 4);
    auto faceAt = [&](int i, int j) {
        const unsigned char* p = &out[(size_t(j) * w + i) * 4];
        EXPECT_EQ(p[0] / 40 * 40, p[0]) << "mixed colour at " << i << "," << j;
        return p[0] / 40;
    };
    EXPECT_EQ(faceAt(0, 256), 0);     // longitude 0, equator: x = 1
    EXPECT_EQ(faceAt(256, 256), 1);   // y = 1
    EXPECT_EQ(faceAt(512, 256), 2);   // x = -1
    EXPECT_EQ(faceAt(768, 256), 3);   // y = -1
    EXPECT_EQ(faceAt(100, 0), 5);     // first row: latitude 0, z = 1
    EXPECT_EQ(faceAt(900, 511), 4);   // last row: z = -1

    ASSERT_EQ(rec.entries().size(), 1u);
    EXPECT_EQ(rec.entries()[0].text, "Saving multiple images in Spherical Panorama file: viewerSphericalBackDrop.bmp\n");
    EXPECT_EQ(rec.entries()[0].icon, platform::MessageIcon::Warning);

    const auto file = imagetest::readFile(dir_ + "/viewerSphericalBackDrop.bmp");
    ASSERT_EQ(file.size(), size_t(1024) * 512 * 3 + 54);
    int fw = 0, fh = 0;
    std::vector<unsigned char> back;
    ASSERT_TRUE(readImage(file.data(), file.size(), nullptr, 0, fw, fh, back));
    ASSERT_EQ(fw, 1024);
    ASSERT_EQ(fh, 512);
    EXPECT_EQ(back, out);  // rows in buffer order, alpha 255 on both sides
}

TEST_F(CubeToSphereTest, SmallCubeBlendsAndStaysInside) {
    // A 1-pixel and a 3-pixel cube: c = 1 and 2, every sample clamped to its
    // face (the sanitizers catch a read outside the cube).
    for (int a : {1, 3}) {
        std::vector<unsigned char> px = cube(a);
        int w = 0, h = 0;
        std::vector<unsigned char> out;
        ASSERT_TRUE(cubeToSphere(a, 6 * a, px.data(), w, h, out)) << a;
        EXPECT_EQ(w, a == 1 ? 4 : 8);
        EXPECT_EQ(h, w / 2);
        for (size_t i = 3; i < out.size(); i += 4) EXPECT_EQ(out[i], 255);
    }
}

TEST_F(CubeToSphereTest, RefusesNonCubesAndStillConvertsWithoutFile) {
    std::vector<unsigned char> px = cube(4);
    int w = -1, h = -1;
    std::vector<unsigned char> out;
    EXPECT_FALSE(cubeToSphere(4, 20, px.data(), w, h, out));
    EXPECT_FALSE(cubeToSphere(0, 0, px.data(), w, h, out));
    EXPECT_FALSE(cubeToSphere(4, 24, nullptr, w, h, out));
    EXPECT_TRUE(out.empty());

    // The file name taken by a directory: no file, no message, result kept.
    std::filesystem::create_directory(dir_ + "/viewerSphericalBackDrop.bmp");
    platform::MessageRecorder rec;
    ASSERT_TRUE(cubeToSphere(4, 24, px.data(), w, h, out));
    EXPECT_EQ(w, 16);
    EXPECT_EQ(out.size(), size_t(16) * 8 * 4);
    EXPECT_TRUE(rec.entries().empty());
}

}  // namespace
