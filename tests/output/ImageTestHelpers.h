#pragma once
// Pictures and independent decoders shared by the raster image tests.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output/RasterImage.h"

namespace imagetest {

// A rendering-like picture: a smooth background gradient, a shaded disc and a
// few hard-edged bars, so that JPEG stays close and PNG has structure.
inline RasterImage makePicture(int width, int height, int quality = 90) {
    RasterImage img;
    img.width = width;
    img.height = height;
    img.quality = quality;
    img.pixels.resize(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &img.pixels[(size_t(y) * width + x) * 3];
            int r = 40 + 120 * y / height, g = 60 + 100 * x / width, b = 160;
            const int dx = x - width / 2, dy = y - height / 2, rad = (width < height ? width : height) / 3;
            if (dx * dx + dy * dy < rad * rad) {
                r = 200 - 80 * (dx * dx + dy * dy) / (rad * rad + 1);
                g = 90;
                b = 50;
            }
            if ((x / 16) % 5 == 0 && y < height / 4) r = g = b = 250;
            p[0] = uint8_t(r);
            p[1] = uint8_t(g);
            p[2] = uint8_t(b);
        }
    }
    return img;
}

inline std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Independent decoders: libpng's simplified API and a plain libjpeg
// decompression, both giving RGB rows top first.  False when the library
// refuses the data.
bool decodeWithLibpngSimple(const std::vector<unsigned char>& file, int& width, int& height,
                            std::vector<unsigned char>& rgb);
bool decodeWithPlainLibjpeg(const std::vector<unsigned char>& file, int& width, int& height,
                            std::vector<unsigned char>& rgb);

// PNG encoded with libpng's low-level API in any colour type, bit depth and
// interlacing; `samples` holds the rows top first at the given bit depth
// (16-bit samples big-endian).
std::vector<unsigned char> encodePngLowLevel(int width, int height, int colourType, int bitDepth, bool interlaced,
                                             const std::vector<unsigned char>& samples,
                                             const std::vector<unsigned char>& paletteRgb = {},
                                             const std::vector<unsigned char>& paletteAlpha = {});

// A JPEG of a grey picture (one component).
std::vector<unsigned char> encodeGreyJpeg(int width, int height);

}  // namespace imagetest
