#include "output/JpegCodec.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <new>

#include "output/ImageCodecs.h"

// The library's default error handler ends the process; ours jumps back and
// the operation fails.  As with libpng, the functions that call setjmp hold
// no C++ object with a destructor and change no local after setjmp.
namespace {

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

// Warnings about damaged data are not shown; the decoder recovers from them.
void jpegSilent(j_common_ptr) {}

void installErrors(JpegError& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    err.pub.output_message = jpegSilent;
}

bool compressAll(jpeg_compress_struct& c, JpegError& err, std::FILE* file, int width, int height, int quality,
                 const unsigned char* const* rows) {
    if (setjmp(err.jump)) return false;
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    // All rows offered at once: the library takes what it can per call (the
    // same bytes as one row per call, with fewer calls).
    JSAMPARRAY all = const_cast<JSAMPARRAY>(rows);
    while (c.next_scanline < c.image_height) {
        const JDIMENSION done = c.next_scanline;
        if (jpeg_write_scanlines(&c, all + done, c.image_height - done) == 0) return false;
    }
    jpeg_finish_compress(&c);
    return true;
}

// Source over one memory block.  There is nothing to refill: running out of
// data is an error, so a truncated block fails instead of decoding as grey.
void sourceNothing(j_decompress_ptr) {}

boolean sourceFill(j_decompress_ptr cinfo) {
    ERREXIT(cinfo, JERR_INPUT_EOF);
    return FALSE;
}

void sourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    size_t n = size_t(count) < src->bytes_in_buffer ? size_t(count) : src->bytes_in_buffer;
    src->next_input_byte += n;
    src->bytes_in_buffer -= n;
}

// A progressive stream may repeat scans without end; each costs a pass over
// the whole coefficient buffer.  Real encoders use a few dozen.
constexpr int kMaxScans = 500;

void progressLimit(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        ERREXIT(cinfo, JERR_NOT_COMPILED);
}

bool readHeader(jpeg_decompress_struct& d, JpegError& err, jpeg_source_mgr& src, jpeg_progress_mgr& progress) {
    if (setjmp(err.jump)) return false;
    jpeg_create_decompress(&d);
    d.src = &src;
    d.progress = &progress;
    jpeg_read_header(&d, TRUE);
    return true;
}

bool startDecompress(jpeg_decompress_struct& d, JpegError& err) {
    if (setjmp(err.jump)) return false;
    jpeg_start_decompress(&d);
    return true;
}

// Reads every scanline into `line` and widens it to RGBA in `out`, bottom
// row first.
bool readRows(jpeg_decompress_struct& d, JpegError& err, unsigned char* line, unsigned char* out) {
    if (setjmp(err.jump)) return false;
    const size_t w = d.output_width;
    const size_t h = d.output_height;
    while (d.output_scanline < h) {
        const size_t y = d.output_scanline;
        JSAMPROW row = line;
        if (jpeg_read_scanlines(&d, &row, 1) != 1) return false;
        unsigned char* dst = out + (h - 1 - y) * w * 4;
        for (size_t x = 0; x < w; ++x) {
            dst[4 * x] = line[3 * x];
            dst[4 * x + 1] = line[3 * x + 1];
            dst[4 * x + 2] = line[3 * x + 2];
            dst[4 * x + 3] = 255;
        }
    }
    jpeg_finish_decompress(&d);
    return true;
}

}  // namespace

bool writeJpegRows(std::FILE* file, int width, int height, int quality, const unsigned char* const* rows) {
    if (!file || width < 1 || height < 1 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return false;
    quality = quality < 0 ? 0 : quality > 100 ? 100 : quality;
    JpegError err;
    jpeg_compress_struct c{};
    installErrors(err);
    c.err = &err.pub;
    bool ok = compressAll(c, err, file, width, height, quality, rows);
    jpeg_destroy_compress(&c);
    return ok;
}

bool decodeJpeg(const unsigned char* block, size_t length, int& width, int& height, std::vector<unsigned char>& rgba) {
    width = height = 0;
    rgba.clear();
    if (!block || length < 4) return false;
    JpegError err;
    installErrors(err);
    jpeg_decompress_struct d{};
    d.err = &err.pub;
    jpeg_source_mgr src{};
    src.next_input_byte = block;
    src.bytes_in_buffer = length;
    src.init_source = sourceNothing;
    src.fill_input_buffer = sourceFill;
    src.skip_input_data = sourceSkip;
    src.resync_to_restart = jpeg_resync_to_restart;
    src.term_source = sourceNothing;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = progressLimit;

    std::vector<unsigned char> line;
    bool ok = readHeader(d, err, src, progress);
    if (ok) {
        // Even a flat picture costs a few bits per 8 x 8 block, so a header
        // that promises far more pixels than the block can describe is
        // refused before the decoder allocates its buffers.
        const uint64_t pixels = uint64_t(d.image_width) * d.image_height;
        ok = pixels > 0 && pixels <= kMaxImagePixels && pixels <= uint64_t(length) * 1024 + 65536;
    }
    ok = ok && startDecompress(d, err) && d.output_components == 3;
    if (ok) {
        try {
            line.resize(size_t(d.output_width) * 3);
            rgba.resize(size_t(d.output_width) * d.output_height * 4);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    ok = ok && readRows(d, err, line.data(), rgba.data());
    if (ok) {
        width = int(d.output_width);
        height = int(d.output_height);
    }
    jpeg_destroy_decompress(&d);
    if (!ok) {
        rgba.clear();
        rgba.shrink_to_fit();
    }
    return ok;
}
