#include "output/GraphicsAEAPS.h"

#include <algorithm>
#include <cmath>

#include "scene/GraphicData.h"

namespace {

PostScriptPageSetup pageSetup(int paperWidth, int paperHeight, float leftMargin, float bottomMargin, bool isPostScript,
                              bool landscape, int multiplier) {
    PostScriptPageSetup s;
    s.paperWidth = paperWidth;
    s.paperHeight = paperHeight;
    s.leftMargin = leftMargin;
    s.bottomMargin = bottomMargin;
    s.eps = !isPostScript;
    s.landscape = landscape;
    s.lineWidthMultiplier = std::max(1, multiplier);
    return s;
}

}  // namespace

GraphicsAEAPS::GraphicsAEAPS(Graphics* from, int paperWidth, int paperHeight, float leftMargin, float bottomMargin,
                             const std::string& fileName, bool isPostScript, bool landscape, float tolerance,
                             int lineWidthMultiplier, bool reverse, int colourMode)
    : GraphicsAEA(from,
                  PostScriptPage(pageSetup(paperWidth, paperHeight, leftMargin, bottomMargin, isPostScript, landscape,
                                           lineWidthMultiplier))
                      .width(),
                  PostScriptPage(pageSetup(paperWidth, paperHeight, leftMargin, bottomMargin, isPostScript, landscape,
                                           lineWidthMultiplier))
                      .height(),
                  lineWidthMultiplier, reverse, colourMode),
      page_(pageSetup(paperWidth, paperHeight, leftMargin, bottomMargin, isPostScript, landscape, lineWidthMultiplier)),
      fileName_(fileName) {
    const float t = std::clamp(std::isnan(tolerance) ? 0.0f : tolerance, 0.0f, 1.0f);
    colourTolerance = 0.0001f;
    const float side = (1.0f - t + 0.01f) * PostScriptPage::kDotsPerInch;
    areaTolerance = side * side;
    toleranceFactor = std::max(t, 0.1f);
    vectorOutput = true;
    fragmentMode = false;
}

GraphicsAEAPS::~GraphicsAEAPS() {
    // A page that was never finished is not left behind.
    if (page_.isOpen()) page_.discard();
}

bool GraphicsAEAPS::isUsable(int purpose) {
    if (!usable) return false;
    if (!opened_) {
        opened_ = true;
        if (fileName_.empty() || !page_.open(fileName_, backgroundColour1)) usable = false;
    }
    return usable && page_.isOpen();
}

void GraphicsAEAPS::finishFrame() {
    GraphicsAEA::finishFrame();
    if (page_.isOpen()) written_ = page_.finish();
}

bool GraphicsAEAPS::emitImage(const ImageRecord& image) {
    keyColour_ = image.keyColour;
    const bool ok = GraphicsAEA::emitImage(image);
    keyColour_ = nullptr;
    return ok;
}

void GraphicsAEAPS::drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba) {
    if (format != aegl::RGBA || type != aegl::UNSIGNED_BYTE || !rgba || width < 1 || height < 1) return;
    if (!page_.isOpen()) return;
    // An image is written at once, so what was drawn before it is written
    // first (the back-to-front order cannot place an image among shapes).
    flushDeferred();
    const int* region = scissorTest_ ? scissor_ : viewport_;
    setPixelRegion(region[0], region[1], region[2], region[3]);
    const double origin[3] = {0, 0, 0};
    double win[3] = {0, 0, 0};
    if (!project(origin, win)) return;
    const int ox = int(std::lround(win[0] + rasterMove_[0])), oy = int(std::lround(win[1] + rasterMove_[1]));
    page_.image(currentKind, currentObject, ox, oy, zoom_[0] > 0.0f ? zoom_[0] : 1.0f, width, height, rgba, keyColour_);
}

void GraphicsAEAPS::setPixelRegion(int x, int y, int width, int height) {
    GraphicsAEA::setPixelRegion(x, y, width, height);
    page_.clipRegion(x, y, width, height);
}

void GraphicsAEAPS::fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]) {
    const float pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y}, pc[2] = {c.x, c.y};
    page_.triangle(pa, pb, pc, rgba);
}

void GraphicsAEAPS::drawWideLine(float width, const WinVertex& a, const WinVertex& b) {
    const float pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y};
    page_.line(width, pa, pb, a.colour);
}

void GraphicsAEAPS::drawWidePoint(float size, const WinVertex& v) {
    const float p[2] = {v.x, v.y};
    page_.point(size, p, v.colour);
}
