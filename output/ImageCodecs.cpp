#include "output/ImageCodecs.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "output/JpegCodec.h"
#include "output/PngCodec.h"
#include "platform/MessageSink.h"

namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t be32(const unsigned char* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

void putLe32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void putLe16(unsigned char* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Allocates w x h RGBA pixels; false when it cannot.
bool allocateRgba(std::vector<unsigned char>& rgba, uint64_t w, uint64_t h) {
    try {
        rgba.assign(size_t(w * h * 4), 0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool decodeBmp(const unsigned char* b, size_t length, int& width, int& height, std::vector<unsigned char>& rgba) {
    if (length < kBmpHeaderSize || b[0] != 'B' || b[1] != 'M') return false;
    if (le32(b + 10) != kBmpHeaderSize || le32(b + 14) != 40) return false;
    const int32_t w = int32_t(le32(b + 18));
    const int32_t h = int32_t(le32(b + 22));
    const unsigned bits = le16(b + 28);
    if ((bits != 24 && bits != 32) || le32(b + 30) != 0 || le32(b + 46) != 0) return false;
    // A negative height (top-down rows) is not produced by any writer of ours
    // and is refused like other variants.
    if (w < 1 || h < 1) return false;
    const uint64_t pixelBytes = bits / 8;
    const uint64_t rowBytes = (uint64_t(w) * pixelBytes + 3) & ~uint64_t(3);
    if (uint64_t(w) * uint64_t(h) > kMaxImagePixels) return false;
    if (rowBytes * uint64_t(h) > length - kBmpHeaderSize) return false;
    if (!allocateRgba(rgba, w, h)) return false;
    const unsigned char* src = b + kBmpHeaderSize;
    unsigned char* dst = rgba.data();
    for (int32_t y = 0; y < h; ++y, src += rowBytes) {
        const unsigned char* p = src;
        for (int32_t x = 0; x < w; ++x, p += pixelBytes, dst += 4) {
            dst[0] = p[2];
            dst[1] = p[1];
            dst[2] = p[0];
            dst[3] = 255;
        }
    }
    width = w;
    height = h;
    return true;
}

// Reads the text of a PPM header without ever passing `end`.
struct PpmCursor {
    const unsigned char* p;
    const unsigned char* end;

    void skipBlanks() {
        while (p < end) {
            if (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') {
                ++p;
            } else if (*p == '#') {
                while (p < end && *p != '\n') ++p;
            } else {
                break;
            }
        }
    }
    // A decimal number of at most nine digits (no sign).
    bool number(uint32_t& value) {
        skipBlanks();
        const unsigned char* start = p;
        value = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (p - start >= 9) return false;
            value = value * 10 + (*p - '0');
            ++p;
        }
        return p > start;
    }
};

bool decodePpm(const unsigned char* b, size_t length, int& width, int& height, std::vector<unsigned char>& rgba) {
    PpmCursor c{b, b + length};
    c.skipBlanks();
    if (c.end - c.p < 2 || c.p[0] != 'P' || (c.p[1] != '6' && c.p[1] != '3')) return false;
    const bool binary = c.p[1] == '6';
    c.p += 2;
    uint32_t w = 0, h = 0, maxValue = 0;
    if (!c.number(w) || !c.number(h) || !c.number(maxValue) || maxValue != 255) return false;
    if (w < 1 || h < 1 || uint64_t(w) * h > kMaxImagePixels) return false;
    const uint64_t values = uint64_t(w) * h * 3;
    if (binary) {
        if (c.p >= c.end) return false;
        ++c.p;  // the single separator after the maximum value
        if (values > uint64_t(c.end - c.p)) return false;
    } else if (values > uint64_t(c.end - c.p) / 2 + 1) {
        // Every decimal value takes a digit and a separator.
        return false;
    }
    if (!allocateRgba(rgba, w, h)) return false;
    // File rows run top first; ours bottom first.
    for (uint32_t y = 0; y < h; ++y) {
        unsigned char* dst = rgba.data() + size_t(h - 1 - y) * w * 4;
        for (uint32_t x = 0; x < w; ++x, dst += 4) {
            for (int k = 0; k < 3; ++k) {
                if (binary) {
                    dst[k] = *c.p++;
                } else {
                    uint32_t v = 0;
                    if (!c.number(v)) {
                        rgba.clear();
                        return false;
                    }
                    dst[k] = uint8_t(v > 255 ? 255 : v);
                }
            }
            dst[3] = 255;
        }
    }
    width = int(w);
    height = int(h);
    return true;
}

void applyKeyAndTransparency(std::vector<unsigned char>& rgba, const int* key, float transparency) {
    float t = transparency > 0 ? transparency : 0;  // NaN counts as 0
    if (t > 1) t = 1;
    if (!key && t == 0) return;
    const size_t n = rgba.size() / 4;
    unsigned char* p = rgba.data();
    for (size_t i = 0; i < n; ++i, p += 4) {
        if (key && p[0] == key[0] && p[1] == key[1] && p[2] == key[2])
            p[3] = 0;
        else
            p[3] = uint8_t(int(p[3] * (1 - t)));
    }
}

bool readSingle(const unsigned char* block, size_t length, ImageKind kind, const int* key, float transparency,
                int& width, int& height, std::vector<unsigned char>& rgba) {
    bool ok = false;
    switch (kind) {
        case ImageKind::Png: ok = decodePng(block, length, width, height, rgba); break;
        case ImageKind::Jpeg: ok = decodeJpeg(block, length, width, height, rgba); break;
        case ImageKind::Bmp: ok = decodeBmp(block, length, width, height, rgba); break;
        case ImageKind::Ppm: ok = decodePpm(block, length, width, height, rgba); break;
        default: break;
    }
    if (ok) applyKeyAndTransparency(rgba, key, transparency);
    return ok;
}

// "CAT", a count and six length-prefixed images of one size: the faces of a
// cube, stacked so that the first image ends up on top.  Only six members are
// accepted (fewer would leave faces undefined, more would not fit), and
// members may not be bundles themselves.
constexpr uint32_t kBundleFaces = 6;

bool readBundle(const unsigned char* block, size_t length, const int* key, float transparency, int& width,
                int& height, std::vector<unsigned char>& rgba) {
    if (length < 7 || be32(block + 3) != kBundleFaces) return false;
    size_t pos = 7;
    int w = 0, h = 0;
    std::vector<unsigned char> member;
    for (uint32_t i = 0; i < kBundleFaces; ++i) {
        if (length - pos < 4) return false;
        const uint32_t size = be32(block + pos);
        pos += 4;
        if (size > length - pos) return false;
        const unsigned char* data = block + pos;
        pos += size;
        const ImageKind kind = detectImageKind(data, size);
        if (kind == ImageKind::Bundle || kind == ImageKind::None) return false;
        int mw = 0, mh = 0;
        if (!readSingle(data, size, kind, key, transparency, mw, mh, member)) return false;
        if (i == 0) {
            w = mw;
            h = mh;
            if (uint64_t(w) * h * kBundleFaces > kMaxImagePixels) return false;
            if (!allocateRgba(rgba, w, uint64_t(h) * kBundleFaces)) return false;
        } else if (mw != w || mh != h) {
            platform::ShowMessage(platform::MessageIcon::Error,
                                  "WARNING in ReadImage: Multiple images not same dimensions\n");
            return false;
        }
        const size_t faceBytes = size_t(w) * h * 4;
        std::memcpy(rgba.data() + (kBundleFaces - 1 - i) * faceBytes, member.data(), faceBytes);
    }
    width = w;
    height = h * int(kBundleFaces);
    return true;
}

}  // namespace

ImageKind detectImageKind(const unsigned char* b, size_t length) {
    if (!b) return ImageKind::None;
    if (length >= 2 && b[0] == 'P' && (b[1] == '3' || b[1] == '6')) return ImageKind::Ppm;
    if (length >= 2 && b[0] == 'B' && b[1] == 'M') return ImageKind::Bmp;
    if (length >= 10 && std::memcmp(b + 6, "JFIF", 4) == 0) return ImageKind::Jpeg;
    if (length >= 4 && std::memcmp(b + 1, "PNG", 3) == 0) return ImageKind::Png;
    if (length >= 3 && std::memcmp(b, "CAT", 3) == 0) return ImageKind::Bundle;
    return ImageKind::None;
}

bool readImage(const unsigned char* block, size_t length, const int* keyColour, float transparency, int& width,
               int& height, std::vector<unsigned char>& pixels) {
    width = height = 0;
    pixels.clear();
    const ImageKind kind = detectImageKind(block, length);
    int w = 0, h = 0;
    bool ok = kind == ImageKind::Bundle ? readBundle(block, length, keyColour, transparency, w, h, pixels)
                                        : readSingle(block, length, kind, keyColour, transparency, w, h, pixels);
    if (!ok) {
        pixels.clear();
        pixels.shrink_to_fit();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void makeBmpHeaders(unsigned char* out, int width, int height, uint32_t fileSize) {
    std::memset(out, 0, kBmpHeaderSize);
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out + 2, fileSize);
    putLe32(out + 10, uint32_t(kBmpHeaderSize));
    putLe32(out + 14, 40);
    putLe32(out + 18, uint32_t(width));
    putLe32(out + 22, uint32_t(height));
    putLe16(out + 26, 1);
    putLe16(out + 28, 24);
    putLe32(out + 38, 2835);
    putLe32(out + 42, 2835);
}

size_t encodeImageBlock(int kind, int width, int height, const unsigned char* rgba, std::vector<unsigned char>& block) {
    block.clear();
    if (!rgba || width < 1 || height < 1 || (kind != kEncodeBmp && kind != kEncodePpm)) return 0;
    const uint64_t w = uint64_t(width), h = uint64_t(height);
    try {
        if (kind == kEncodeBmp) {
            // Rows are padded like any BMP's; for the widths used here
            // (multiples of 4) there is no padding at all.
            const uint64_t rowBytes = bmpRowBytes(w);
            const uint64_t total = rowBytes * h + kBmpHeaderSize;
            if (total > 0xffffffffu) return 0;
            block.assign(size_t(total), 0);
            makeBmpHeaders(block.data(), width, height, uint32_t(total));
            const unsigned char* src = rgba;
            for (uint64_t y = 0; y < h; ++y) {
                unsigned char* dst = block.data() + kBmpHeaderSize + y * rowBytes;
                for (uint64_t x = 0; x < w; ++x, src += 4, dst += 3) {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                }
            }
        } else {
            char header[48];
            const int n = std::snprintf(header, sizeof header, "P6 %5d %5d 255 ", width, height);
            block.resize(size_t(n) + size_t(w * h * 3));
            std::memcpy(block.data(), header, size_t(n));
            unsigned char* dst = block.data() + n;
            for (uint64_t y = 0; y < h; ++y) {
                const unsigned char* src = rgba + (h - 1 - y) * w * 4;
                for (uint64_t x = 0; x < w; ++x, src += 4, dst += 3) {
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = src[2];
                }
            }
        }
    } catch (const std::bad_alloc&) {
        block.clear();
        return 0;
    }
    return block.size();
}
