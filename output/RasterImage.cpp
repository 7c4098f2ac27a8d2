#include "output/RasterImage.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "link/RecordFile.h"
#include "output/ImageCodecs.h"
#include "output/JpegCodec.h"
#include "output/PngCodec.h"

namespace {

constexpr size_t kStreamBuffer = size_t(256) << 10;

// Halves an image rendered at twice the size: each channel the rounded mean
// of its 2 x 2 block.  An odd last row or column is dropped.
void reduceByTwo(const unsigned char* src, int width, int height, std::vector<unsigned char>& out) {
    const int w = width / 2, h = height / 2;
    const size_t srcRow = size_t(width) * 3;
    out.resize(size_t(w) * h * 3);
    unsigned char* dst = out.data();
    for (int y = 0; y < h; ++y) {
        const unsigned char* a = src + size_t(2 * y) * srcRow;
        const unsigned char* b = a + srcRow;
        for (int x = 0; x < w; ++x, a += 6, b += 6, dst += 3)
            for (int k = 0; k < 3; ++k) dst[k] = uint8_t((a[k] + a[k + 3] + b[k] + b[k + 3] + 2) >> 2);
    }
}

bool writeBmpRows(std::FILE* f, int width, int height, const unsigned char* const* rows) {
    const uint64_t rowBytes = bmpRowBytes(uint64_t(width));
    const uint64_t total = rowBytes * uint64_t(height) + kBmpHeaderSize;
    if (total > 0xffffffffu) return false;
    std::vector<unsigned char> line;
    try {
        line.assign(size_t(rowBytes), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    unsigned char header[kBmpHeaderSize];
    makeBmpHeaders(header, width, height, uint32_t(total));
    if (std::fwrite(header, 1, sizeof header, f) != sizeof header) return false;
    // Bottom-up file: the last row of the picture comes first.
    for (int y = height - 1; y >= 0; --y) {
        const unsigned char* src = rows[y];
        unsigned char* dst = line.data();
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) return false;
    }
    return true;
}

bool writePpmRows(std::FILE* f, int width, int height, const unsigned char* const* rows) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", width, height) < 0) return false;
    const size_t rowBytes = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        if (std::fwrite(rows[y], 1, rowBytes, f) != rowBytes) return false;
    return true;
}

}  // namespace

bool writeRasterFile(int type, const RasterImage& image, const std::string& path, bool flipRows) {
    if (type != RASTER_PNG && type != RASTER_JPG && type != RASTER_BMP && type != RASTER_PPM) return false;
    if (image.width < 1 || image.height < 1 ||
        uint64_t(image.width) * uint64_t(image.height) * 3 > image.pixels.size())
        return false;

    const unsigned char* pixels = image.pixels.data();
    int width = image.width, height = image.height;
    std::vector<unsigned char> reduced;
    if (image.antialiased && width >= 2 && height >= 2) {
        try {
            reduceByTwo(pixels, width, height, reduced);
            pixels = reduced.data();
            width /= 2;
            height /= 2;
        } catch (const std::bad_alloc&) {
            // Without memory for the reduced copy the full-size picture is
            // better than none.
        }
    }

    // Flipping needs no copy: the writers take one pointer per row.
    std::vector<const unsigned char*> rows;
    try {
        rows.resize(size_t(height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t rowBytes = size_t(width) * 3;
    for (int y = 0; y < height; ++y) rows[y] = pixels + size_t(flipRows ? height - 1 - y : y) * rowBytes;

    // Written beside the target and moved over it when complete: a failed
    // write (full disk, a directory in the way) keeps the previous picture.
    // A large stream buffer: the encoders hand over a few kilobytes at a
    // time, and a picture of several megabytes would otherwise cost a system
    // call for each of them.  Declared before the file, which may still
    // close its stream when it goes.
    // Without memory for it the stream's own buffer does.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBuffer]);
    recordfile::ReplacingFile file;
    std::FILE* f = file.OpenStream(path.c_str());
    if (!f) return false;
    if (buffer) std::setvbuf(f, buffer.get(), _IOFBF, kStreamBuffer);
    bool ok = false;
    switch (type) {
        case RASTER_PNG: ok = writePngRows(f, width, height, rows.data()); break;
        case RASTER_JPG: ok = writeJpegRows(f, width, height, image.quality, rows.data()); break;
        case RASTER_BMP: ok = writeBmpRows(f, width, height, rows.data()); break;
        case RASTER_PPM: ok = writePpmRows(f, width, height, rows.data()); break;
    }
    return ok && file.Commit(false);
}
