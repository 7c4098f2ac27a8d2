#include "output/CubeToSphere.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

#include "output/ImageCodecs.h"
#include "platform/MessageSink.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct CubeSampler {
    const unsigned char* cube;
    int a;  // face width
    int d;  // face height
    int c;  // output size unit: the result is 4c x 2c

    static double unit(double t) { return t > 0 ? (t < 1 ? t : 1) : 0; }  // NaN -> 0

    // RGBA of the cube pixel seen in the direction of the output position
    // (x, y), in pixels of the result.
    const unsigned char* at(double x, double y) const {
        const double p = 2 * kPi * x / (4.0 * c);
        const double q = kPi * y / (2.0 * c);
        const double dx = std::cos(p) * std::sin(q), dy = std::sin(p) * std::sin(q), dz = std::cos(q);
        int face;
        double s;  // component along the face's outward normal
        if (p <= kPi / 4 || p > 7 * kPi / 4) {
            face = 0, s = dx;
        } else if (p <= 3 * kPi / 4) {
            face = 1, s = dy;
        } else if (p <= 5 * kPi / 4) {
            face = 2, s = -dx;
        } else {
            face = 3, s = -dy;
        }
        // At the poles the side plane is never met (s is 0): use the cap.
        bool offFace = !(s > 1e-12);
        double X = 0, Y = 0, Z = 0;
        if (!offFace) {
            X = dx / s, Y = dy / s, Z = dz / s;
            offFace = std::fabs(X) > 1 || std::fabs(Y) > 1 || std::fabs(Z) > 1;
        }
        if (offFace) {
            face = q < kPi / 2 ? 5 : 4;
            s = std::fabs(dz) > 1e-12 ? std::fabs(dz) : 1e-12;
            X = dx / s, Y = dy / s, Z = dz / s;
        }
        double u = 0, v = 0;
        switch (face) {
            case 0: u = (1 + Y) / 2, v = (1 + Z) / 2; break;
            case 1: u = (1 - X) / 2, v = (1 + Z) / 2; break;
            case 2: u = (1 - Y) / 2, v = (1 + Z) / 2; break;
            case 3: u = (1 + X) / 2, v = (1 + Z) / 2; break;
            case 4: u = (1 + X) / 2, v = (1 - Y) / 2; break;
            default: u = (1 + X) / 2, v = (1 + Y) / 2; break;
        }
        // Rounding at the cube's edges can put the hit a hair outside the
        // face; clamping keeps the sample on the face instead of reading the
        // neighbour or past the image.
        const int column = int((a - 1) * unit(u) + 0.5);
        const int row = 6 * d - 1 - int((d - 1) * unit(v) + 0.5) - d * face;
        return cube + (size_t(row) * a + column) * 4;
    }
};

}  // namespace

bool cubeToSphere(int width, int height, const unsigned char* cube, int& outWidth, int& outHeight,
                  std::vector<unsigned char>& out) {
    if (!cube || width < 1 || height < 6 || height % 6 != 0 || height / 6 != width) return false;
    int c = 1;
    while (c <= width / 2) c *= 2;
    const int W = 4 * c, H = 2 * c;
    CubeSampler sampler{cube, width, height / 6, c};

    std::vector<unsigned char> result;
    // Corner samples are shared by neighbouring pixels; two rows of them are
    // kept at a time.
    std::vector<const unsigned char*> lower, upper;
    try {
        result.resize(size_t(W) * H * 4);
        lower.resize(size_t(W) + 1);
        upper.resize(size_t(W) + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int i = 0; i <= W; ++i) lower[i] = sampler.at(i, 0);
    for (int j = 0; j < H; ++j) {
        for (int i = 0; i <= W; ++i) upper[i] = sampler.at(i, j + 1);
        unsigned char* dst = result.data() + size_t(j) * W * 4;
        for (int i = 0; i < W; ++i, dst += 4) {
            const unsigned char* centre = sampler.at(i + 0.5, j + 0.5);
            for (int k = 0; k < 4; ++k) {
                const double value =
                    0.5 * centre[k] + 0.125 * (lower[i][k] + lower[i + 1][k] + upper[i][k] + upper[i + 1][k]);
                dst[k] = uint8_t(int(value + 0.5));
            }
        }
        lower.swap(upper);
    }

    std::vector<unsigned char> bmp;
    if (encodeImageBlock(kEncodeBmp, W, H, result.data(), bmp) > 0) {
        if (std::FILE* f = std::fopen(kSphericalBackdropFile, "wb")) {
            char text[256];
            std::snprintf(text, sizeof text, "Saving multiple images in Spherical Panorama file: %s\n",
                          kSphericalBackdropFile);
            platform::ShowMessage(platform::MessageIcon::Warning, text);
            const bool written = std::fwrite(bmp.data(), 1, bmp.size(), f) == bmp.size();
            if (std::fclose(f) != 0 || !written) std::remove(kSphericalBackdropFile);
        }
    }
    out.swap(result);
    outWidth = W;
    outHeight = H;
    return true;
}
