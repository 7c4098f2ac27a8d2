#include "output/PngCodec.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <new>

#include "output/ImageCodecs.h"

// libpng reports errors by a long jump.  Each function below that calls
// setjmp holds no C++ object with a destructor and changes no local after
// setjmp, so the jump skips nothing; buffers live in the callers.
namespace {

struct PngJump {
    std::jmp_buf jump;
};

[[noreturn]] void pngError(png_structp png, png_const_charp) {
    std::longjmp(static_cast<PngJump*>(png_get_error_ptr(png))->jump, 1);
}

// Warnings (unknown chunks, bad ancillary CRCs, ...) are no business of the
// user's.
void pngWarning(png_structp, png_const_charp) {}

bool writeAll(png_structp png, png_infop info, PngJump& jmp, int width, int height,
              const unsigned char* const* rows) {
    if (setjmp(jmp.jump)) return false;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows));
    png_write_end(png, nullptr);
    return true;
}

struct BlockReader {
    PngJump jmp;
    const unsigned char* data;
    size_t left;
};

void readFromBlock(png_structp png, png_bytep out, png_size_t count) {
    auto* r = static_cast<BlockReader*>(png_get_io_ptr(png));
    if (count > r->left) png_error(png, "read past the end of the block");
    std::memcpy(out, r->data, count);
    r->data += count;
    r->left -= count;
}

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    size_t storedRowBytes = 0;  // one row as stored (before any transformation)
    size_t outRowBytes = 0;     // one row after the transformations
};

bool readHeader(png_structp png, png_infop info, BlockReader& reader, PngHeader& h) {
    if (setjmp(reader.jmp.jump)) return false;
    png_read_info(png, info);
    h.width = png_get_image_width(png, info);
    h.height = png_get_image_height(png, info);
    h.storedRowBytes = png_get_rowbytes(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_byte colourType = png_get_color_type(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    png_set_invert_mono(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    h.outRowBytes = png_get_rowbytes(png, info);
    return true;
}

bool readPixels(png_structp png, BlockReader& reader, png_bytepp rows) {
    if (setjmp(reader.jmp.jump)) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

bool writePngRows(std::FILE* file, int width, int height, const unsigned char* const* rows) {
    if (!file || width < 1 || height < 1) return false;
    PngJump jmp;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &jmp, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_init_io(png, file);
    bool ok = writeAll(png, info, jmp, width, height, rows);
    png_destroy_write_struct(&png, &info);
    return ok;
}

bool decodePng(const unsigned char* block, size_t length, int& width, int& height, std::vector<unsigned char>& rgba) {
    width = height = 0;
    rgba.clear();
    if (!block || length < 8 || png_sig_cmp(block, 0, 8) != 0) return false;
    BlockReader reader{{}, block, length};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader.jmp, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, readFromBlock);

    PngHeader h;
    std::vector<png_bytep> rows;
    bool ok = readHeader(png, info, reader, h);
    if (ok) {
        const uint64_t pixels = uint64_t(h.width) * h.height;
        // Deflate expands at most about 1032:1, so the stored rows cannot
        // exceed that multiple of the block; a header promising more is
        // forged or truncated and is refused before anything is allocated.
        const uint64_t storedBytes = uint64_t(h.height) * (h.storedRowBytes + 1);
        ok = h.width > 0 && h.height > 0 && pixels <= kMaxImagePixels && h.outRowBytes == size_t(h.width) * 4 &&
             storedBytes <= uint64_t(length) * 1040 + 4096;
    }
    if (ok) {
        try {
            rgba.resize(size_t(h.width) * h.height * 4);
            rows.resize(h.height);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (ok) {
        // The file's top row goes to the end of the buffer: bottom row first.
        for (png_uint_32 r = 0; r < h.height; ++r) rows[r] = rgba.data() + size_t(h.height - 1 - r) * h.outRowBytes;
        ok = readPixels(png, reader, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        rgba.clear();
        rgba.shrink_to_fit();
        return false;
    }
    width = int(h.width);
    height = int(h.height);
    return true;
}
