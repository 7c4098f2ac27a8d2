#include "output/PostScriptPage.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "output/PostScriptEncoder.h"

namespace {

constexpr double s = PostScriptPage::kPointsPerPixel;

// Window pixels to points (relative to the translated origin).
inline double pt(double v) { return v * s + 0.5; }

int clampToInt(int64_t v) { return int(std::clamp<int64_t>(v, 1, int64_t(1) << 30)); }

int hundredths(float c) { return int(100.0f * c + 0.5f); }

// A colour that no pixel with alpha above 0 has; false when all 2^24 are
// taken (or there is no memory to look).
bool unusedColour(const unsigned char* rgba, size_t count, unsigned char out[3]) {
    std::vector<bool> used;
    try {
        used.assign(size_t(1) << 24, false);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = rgba + i * 4;
        if (p[3] != 0) used[(size_t(p[0]) << 16) | (size_t(p[1]) << 8) | p[2]] = true;
    }
    // Magenta first: the usual choice, and easy to spot in a file.
    for (size_t k = 0; k < used.size(); ++k) {
        const size_t c = (0xff00ffu + k) & 0xffffffu;
        if (!used[c]) {
            out[0] = uint8_t(c >> 16), out[1] = uint8_t(c >> 8), out[2] = uint8_t(c);
            return true;
        }
    }
    return false;
}

}  // namespace

PostScriptPage::PostScriptPage(const PostScriptPageSetup& setup)
    : eps_(setup.eps), landscape_(setup.landscape), lineWidthMultiplier_(setup.lineWidthMultiplier) {
    // Paper sizes arrive from the link: 64-bit arithmetic, and a page always
    // keeps at least one pixel to draw on.
    mx_ = int(std::clamp(kDotsPerInch * double(setup.leftMargin), 0.0, 1.0e8));
    my_ = int(std::clamp(kDotsPerInch * double(setup.bottomMargin), 0.0, 1.0e8));
    const int pw = clampToInt(int64_t(setup.paperWidth) * kDotsPerInch / 1000);
    const int ph = clampToInt(int64_t(setup.paperHeight) * kDotsPerInch / 1000);
    width_ = std::max(1, pw - 2 * mx_);
    height_ = std::max(1, ph - 2 * my_);
    offset_ = ph;
    if (landscape_) {
        std::swap(width_, height_);
        if (!eps_) std::swap(mx_, my_);
        offset_ = pw;
    }
    box_[0] = mx_;
    box_[1] = my_;
    box_[2] = mx_ + width_ - 1;
    box_[3] = my_ + height_ - 1;
}

bool PostScriptPage::open(const std::string& path, const float background[3]) {
    if (!file_.open(path)) return false;
    PostScriptFile& f = file_;
    const int* b = box_;
    if (eps_) {
        f.print("%%!PS-Adobe-3.0 EPSF-3.0\n");
        f.print("%%%%BoundingBox: %d %d %d %d\n", int(b[0] * s + 0.5), int(b[1] * s + 0.5), int(b[2] * s + 0.5),
                int(b[3] * s + 0.5));
    } else {
        f.print("%%!PS-Adobe-3.0\n");
    }
    f.print("1 setlinecap\n");
    f.print("1 setlinejoin\n");
    lastLineWidth_ = -1.0f;
    currentLineWidth_ = 1.0f;
    lineWidth(1.0f);
    if (landscape_ && !eps_) {
        f.print("%d 0 translate\n", int(offset_ * s + 0.5));
        f.print("90 rotate\n");
    }
    f.print("/vc {setrgbcolor 3 copy pop moveto 0 360 arc closepath fill} def\n");
    f.print("/v {3 copy pop moveto 0 360 arc closepath fill} def\n");
    f.print("/tc {setrgbcolor moveto lineto lineto closepath fill} def\n");
    f.print("/t {moveto lineto lineto closepath fill} def\n");
    f.print("/lc {setrgbcolor moveto lineto stroke} def\n");
    f.print("/l {moveto lineto stroke} def\n");
    f.print("/r {grestore gsave} def\n");
    f.print("/c {moveto lineto lineto lineto closepath clip newpath} def\n");
    if (!(background[0] == 1.0f && background[1] == 1.0f && background[2] == 1.0f)) {
        f.print("%0.3f %0.3f %0.3f setrgbcolor\n", background[0], background[1], background[2]);
        const double l = b[0] * s, r = b[2] * s, bo = b[1] * s, t = b[3] * s;
        f.print("%0.2f %0.2f moveto\n", l, t);
        f.print("%0.2f %0.2f lineto\n", r, t);
        f.print("%0.2f %0.2f lineto\n", r, bo);
        f.print("%0.2f %0.2f lineto\n", l, bo);
        f.print("closepath\n");
        f.print("fill\n");
    }
    f.print("%0.2f %0.2f translate\n", b[0] * s - 1 + 0.5, b[1] * s - 1 + 0.5);
    f.print("gsave %% saves the viewport clipping path\n");
    lastColour_[0] = lastColour_[1] = lastColour_[2] = -1;
    haveClip_ = false;
    return !f.failed();
}

bool PostScriptPage::colourChanged(const float rgb[3]) {
    // Colours are written in hundredths; one hundredth apart counts as the
    // same colour (the squared difference is within the tolerance).
    const int c[3] = {hundredths(rgb[0]), hundredths(rgb[1]), hundredths(rgb[2])};
    bool same = true;
    for (int k = 0; k < 3; ++k)
        if (lastColour_[k] < 0 || std::abs(c[k] - lastColour_[k]) > 1) same = false;
    if (same) return false;
    for (int k = 0; k < 3; ++k) lastColour_[k] = c[k];
    return true;
}

void PostScriptPage::clipRegion(int x, int y, int w, int h) {
    const double c = pt(x), e = pt(y), f = pt(double(x) + w), g = pt(double(y) + h);
    file_.print("r %0.2f %0.2f %0.2f %0.2f %0.2f %0.2f %0.2f %0.2f c\n", c, e, f, e, f, g, c, g);
    clip_[0] = float(c);
    clip_[1] = float(e);
    clip_[2] = float(f);
    clip_[3] = float(g);
    haveClip_ = true;
    // grestore took back the colour and the line width.
    lastColour_[0] = lastColour_[1] = lastColour_[2] = -1;
    lastLineWidth_ = -1.0f;
    lineWidth(currentLineWidth_);
}

void PostScriptPage::lineWidth(float width) {
    currentLineWidth_ = width;
    if (width == lastLineWidth_) return;
    lastLineWidth_ = width;
    file_.print("%0.2f setlinewidth\n", 0.12 * width * lineWidthMultiplier_);
}

void PostScriptPage::triangle(const float a[2], const float b[2], const float c[2], const float rgb[3]) {
    const double p[6] = {pt(a[0]), pt(a[1]), pt(b[0]), pt(b[1]), pt(c[0]), pt(c[1])};
    if (haveClip_) {
        if ((p[0] < clip_[0] && p[2] < clip_[0] && p[4] < clip_[0]) ||
            (p[0] > clip_[2] && p[2] > clip_[2] && p[4] > clip_[2]) ||
            (p[1] < clip_[1] && p[3] < clip_[1] && p[5] < clip_[1]) ||
            (p[1] > clip_[3] && p[3] > clip_[3] && p[5] > clip_[3]))
            return;
    }
    file_.print("%0.2f %0.2f %0.2f %0.2f %0.2f %0.2f ", p[0], p[1], p[2], p[3], p[4], p[5]);
    if (colourChanged(rgb))
        file_.print("%0.2f %0.2f %0.2f tc\n", lastColour_[0] / 100.0, lastColour_[1] / 100.0, lastColour_[2] / 100.0);
    else
        file_.print("t\n");
}

void PostScriptPage::line(float width, const float a[2], const float b[2], const float rgb[3]) {
    lineWidth(width);
    file_.print("%0.2f %0.2f %0.2f %0.2f ", pt(a[0]), pt(a[1]), pt(b[0]), pt(b[1]));
    if (colourChanged(rgb))
        file_.print("%0.2f %0.2f %0.2f lc\n", lastColour_[0] / 100.0, lastColour_[1] / 100.0, lastColour_[2] / 100.0);
    else
        file_.print("l\n");
}

void PostScriptPage::point(float size, const float p[2], const float rgb[3]) {
    file_.print("%0.2f %0.2f %0.2f ", pt(p[0]), pt(p[1]), double(size) * 700.0 / std::min(width_, height_));
    if (colourChanged(rgb))
        file_.print("%0.2f %0.2f %0.2f vc\n", lastColour_[0] / 100.0, lastColour_[1] / 100.0, lastColour_[2] / 100.0);
    else
        file_.print("v\n");
}

bool PostScriptPage::image(int listKind, int objectId, int originX, int originY, float zoom, int width, int height,
                           const unsigned char* rgba, const int keyColour[3]) {
    if (width < 1 || height < 1 || !rgba) return true;
    PostScriptEncoder encoder(file_);
    if (!encoder.ready()) return false;
    PostScriptFile& f = file_;
    f.print("/image%02d%06d {\n", listKind, objectId);
    f.print("/DeviceRGB setcolorspace\n");
    f.print("%g %g translate\n", originX * s, originY * s);
    f.print("%g %g scale\n", zoom * s, zoom * s);
    f.print("<<\n");
    // Pixels that are not to be painted (alpha 0, the image's key colour)
    // are written in the mask colour: the key colour when the image has one,
    // else a colour no painted pixel has.  Without such pixels the image is
    // a plain one (a masked image needs its mask colour).
    const size_t count = size_t(width) * size_t(height);
    bool anyClear = false;
    for (size_t i = 0; i < count && !anyClear; ++i) anyClear = rgba[i * 4 + 3] == 0;
    bool masked = keyColour && keyColour[0] >= 0 && keyColour[1] >= 0 && keyColour[2] >= 0;
    unsigned char mask[3] = {0, 0, 0};
    if (masked) {
        for (int k = 0; k < 3; ++k) mask[k] = static_cast<unsigned char>(std::min(keyColour[k], 255));
    } else if (anyClear) {
        masked = unusedColour(rgba, count, mask);
    }
    f.print("/ImageType %d\n", masked ? 4 : 1);
    f.print("/Width %d\n", width);
    f.print("/Height %d\n", height);
    f.print("/BitsPerComponent 8\n");
    f.print("/Decode [0 1 0 1 0 1]\n");
    if (masked)
        f.print("/MaskColor [16#%02x 16#%02x 16#%02x]\n", mask[0], mask[1], mask[2]);
    f.print("/ImageMatrix[1 0 0 1 0 0]\n");
    f.print("/DataSource currentfile /ASCII85Decode filter /RunLengthDecode filter\n");
    f.print(">>\n");
    f.print("image\n");
    f.print("} bind def\n");
    f.print("gsave\n");
    f.print("image%02d%06d", listKind, objectId);
    f.print("\n");
    const size_t rowBytes = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        const unsigned char* p = rgba + size_t(y) * rowBytes;
        for (int x = 0; x < width; ++x, p += 4) {
            const unsigned char* c = (masked && p[3] == 0) ? mask : p;
            encoder.put(c[0]);
            encoder.put(c[1]);
            encoder.put(c[2]);
        }
    }
    encoder.finish();
    f.print("\ngrestore\n");
    return true;
}

bool PostScriptPage::finish() {
    if (!file_.isOpen()) return false;
    file_.print("grestore\n");
    file_.print("showpage\n");
    return file_.commit();
}
