#include "ImageTestHelpers.h"

#include <cstddef>
#include <cstdio>
#include <csetjmp>

#include <jpeglib.h>
#include <png.h>

namespace imagetest {

bool decodeWithLibpngSimple(const std::vector<unsigned char>& file, int& width, int& height,
                            std::vector<unsigned char>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = int(image.width);
    height = int(image.height);
    return true;
}

namespace {
struct PlainJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
void plainErrorExit(j_common_ptr c) { std::longjmp(reinterpret_cast<PlainJpegError*>(c->err)->jump, 1); }

bool plainDecode(jpeg_decompress_struct& d, PlainJpegError& err, const std::vector<unsigned char>& file,
                 std::vector<unsigned char>& rgb) {
    if (setjmp(err.jump)) return false;
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    rgb.resize(size_t(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = rgb.data() + size_t(d.output_scanline) * d.output_width * 3;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    return true;
}

void pngMemWrite(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void pngMemFlush(png_structp) {}
}  // namespace

bool decodeWithPlainLibjpeg(const std::vector<unsigned char>& file, int& width, int& height,
                            std::vector<unsigned char>& rgb) {
    PlainJpegError err;
    jpeg_decompress_struct d{};
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = plainErrorExit;
    const bool ok = plainDecode(d, err, file, rgb);
    width = int(d.output_width);
    height = int(d.output_height);
    jpeg_destroy_decompress(&d);
    return ok;
}

std::vector<unsigned char> encodePngLowLevel(int width, int height, int colourType, int bitDepth, bool interlaced,
                                             const std::vector<unsigned char>& samples,
                                             const std::vector<unsigned char>& paletteRgb,
                                             const std::vector<unsigned char>& paletteAlpha) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, pngMemWrite, pngMemFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < paletteRgb.size(); i += 3)
        palette.push_back({paletteRgb[i], paletteRgb[i + 1], paletteRgb[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!paletteAlpha.empty())
        png_set_tRNS(png, info, const_cast<png_bytep>(paletteAlpha.data()), int(paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(samples.data()) + size_t(y) * rowBytes;
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<unsigned char> encodeGreyJpeg(int width, int height) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> line(static_cast<size_t>(width));
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < width; ++x) line[x] = uint8_t(x * 255 / (width > 1 ? width - 1 : 1));
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<unsigned char> out(buffer, buffer + size);
    std::free(buffer);
    jpeg_destroy_compress(&c);
    return out;
}

}  // namespace imagetest
