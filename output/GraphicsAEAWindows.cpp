#include "output/GraphicsAEAWindows.h"

#include <QPrinter>

#include <cmath>

GraphicsAEAWindows::GraphicsAEAWindows(Graphics* from, float marginX, float marginY, float tolerance, bool reverse,
                                       int colourMode, std::unique_ptr<QPrinter> printer, bool abortDialog)
    : GraphicsAEA(from, 100, 100, 1, reverse, colourMode), printer_(std::move(printer)) {
    PrintJob::Options options;
    options.printer = printer_.get();
    options.abortDialog = abortDialog;
    options.marginInchesX = marginX;
    options.marginInchesY = marginY;
    options.tolerance = tolerance;
    job_ = std::make_unique<PrintJob>(options);
    if (!job_->usable()) {
        usable = false;
        return;
    }
    // The engine's image is the picture on the page.
    const PrintPageGeometry& page = job_->page();
    imageWidth = windowWidth = page.width;
    imageHeight = windowHeight = page.height;
    lineWidthMultiplier = page.lineWidthMultiplier;
    colourTolerance = page.colourTolerance;
    areaTolerance = page.areaTolerance;
    toleranceFactor = page.toleranceFactor;
    eViewport(0, 0, imageWidth, imageHeight);
    eScissor(0, 0, imageWidth, imageHeight);
    GraphicsAEA::setPixelRegion(0, 0, imageWidth, imageHeight);
    Graphics::setViewport(viewportLeft, viewportBottom, viewportWidth, viewportHeight);
}

GraphicsAEAWindows::~GraphicsAEAWindows() = default;

bool GraphicsAEAWindows::isUsable(int purpose) {
    // While the page is drawn, events reach the abort dialog, and through
    // them the viewer's timers; a frame asked for then would draw into the
    // page being drawn.
    if (drawingPage_) return false;
    if (!usable || !GraphicsAEA::isUsable(purpose)) return false;
    if (job_->started()) return true;
    printed_ = false;
    return job_->start(backgroundColour1, &abortFlag);
}

void GraphicsAEAWindows::finishFrame() {
    if (drawingPage_) return;
    drawingPage_ = true;
    GraphicsAEA::finishFrame();
    drawingPage_ = false;
    if (job_->started()) printed_ = job_->finish(abortFlag);
    if (printedFlag) *printedFlag = printed_;
}

void GraphicsAEAWindows::drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba) {
    if (!job_->started() || format != aegl::RGBA || type != aegl::UNSIGNED_BYTE) return;
    const double origin[3] = {0, 0, 0};
    double win[3] = {0, 0, 0};
    if (!project(origin, win)) return;
    const int x = int(std::floor(win[0] + rasterMove_[0] + 0.5)), y = int(std::floor(win[1] + rasterMove_[1] + 0.5));
    job_->canvas().drawImage(x, y, width, height, rgba, zoom_[0] > 0.0f ? zoom_[0] : 1.0f);
}

void GraphicsAEAWindows::setPixelRegion(int x, int y, int width, int height) {
    GraphicsAEA::setPixelRegion(x, y, width, height);
    if (job_ && job_->started()) job_->canvas().setClip(x, y, width, height);
}

void GraphicsAEAWindows::fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c,
                                          const float rgba[4]) {
    if (!job_->started()) return;
    const float pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y}, pc[2] = {c.x, c.y};
    job_->canvas().fillTriangle(pa, pb, pc, rgba);
    keepResponsive();
}

void GraphicsAEAWindows::drawWideLine(float width, const WinVertex& a, const WinVertex& b) {
    if (!job_->started()) return;
    const float pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y};
    job_->canvas().drawLine(width, pa, pb, a.colour);
    keepResponsive();
}

// Events are let through for the abort dialog only while the deferred
// shapes are drawn at the end of the frame: the scene has been walked then
// and the shapes are copies, so whatever the events change in the viewer
// cannot pull anything from under the drawing.  (Shapes flushed in the
// middle of an object pass are drawn without a pause.)
void GraphicsAEAWindows::keepResponsive() {
    if (drawingPage_) job_->keepResponsive();
}

// Points are not printed.
void GraphicsAEAWindows::drawWidePoint(float, const WinVertex&) {}
