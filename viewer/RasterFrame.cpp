#include "viewer/RasterFrame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <new>

#include "output/GraphicsAEARaster.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace rasterframe {

Graphics* CreateRasterRenderer(vkoViewer& viewer, int width, int height, int lineWidthMultiplier) {
    Graphics* from = viewer.renderer ? viewer.renderer : viewer.baseRenderer;
    auto* r = new (std::nothrow) GraphicsAEARaster(from, width, height, 1.0f, lineWidthMultiplier,
                                                   viewer.output.reverseColours, viewer.output.outputColourMode);
    if (r && !r->usable) {
        delete r;
        return nullptr;
    }
    return r;
}

bool RenderFrame(vkoViewer& viewer, int width, int height, bool antialias, int lineWidthMultiplier,
                 RasterImage& image) {
    int W = width, H = height, L = std::max(1, lineWidthMultiplier);
    if (antialias) W *= 2, H *= 2, L *= 2;
    std::unique_ptr<Graphics> raster(CreateRasterRenderer(viewer, W, H, L));
    if (!raster) return false;
    auto* aea = static_cast<GraphicsAEARaster*>(raster.get());

    Graphics* previous = viewer.renderer;
    const bool suspended = viewer.drawingSuspended;
    const bool autoPrint = viewer.autoPrintPending;
    const int caption = viewer.captionHeight, gap = viewer.viewportGap;
    viewer.drawingSuspended = true;
    viewer.captionHeight = viewer.viewportGap = 0;
    viewer.autoPrintPending = false;
    viewer.renderer = raster.get();
    // Cached renderer data is rebuilt for the new renderer.
    for (auto& [id, object] : viewer.objectsById) object->markAllDirty();
    for (vkoViewport* v : viewer.viewports) v->needsRedraw = 1;
    viewer.drawingSuspended = false;
    const bool drawn = viewer.Redraw(false);
    viewer.drawingSuspended = true;
    bool ok = false;
    if (drawn) {
        image.width = W;
        image.height = H;
        image.quality = viewer.output.outputQuality;
        image.antialiased = antialias;
        image.pixels = aea->readPixels();
        ok = !image.pixels.empty();
    }
    viewer.renderer = previous;
    for (auto& [id, object] : viewer.objectsById) object->markAllDirty();
    for (vkoViewport* v : viewer.viewports) v->needsRedraw = 1;
    viewer.captionHeight = caption;
    viewer.viewportGap = gap;
    viewer.autoPrintPending = autoPrint;
    viewer.drawingSuspended = suspended;
    return ok;
}

int OutputTypeOfFile(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return -1;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jpeg") return OUTPUT_JPG;
    for (int t = 0; t < OutputSettings::kNumTypes; ++t)
        if (ext == OutputSettings::kExtensions[t]) return t;
    return -1;
}

int WriteOutputFile(vkoViewer& viewer, const std::string& path, int width, int height) {
    const int type = OutputTypeOfFile(path);
    if (type == OUTPUT_PS || type == OUTPUT_EPS) {
        // A page of the output settings' paper (the size does not apply):
        // vector PostScript, or a raster page for translucent or textured
        // faces, through the output operation.
        viewer.output.setOutputType(type);
        viewer.output.outputFileName = path;
        const bool suspended = viewer.drawingSuspended;
        viewer.drawingSuspended = false;
        const bool ok = viewer.writeOutput(true, false, -1, -1);
        viewer.drawingSuspended = suspended;
        if (!ok) {
            std::fprintf(stderr, "viewer: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("viewer: wrote %s\n", path.c_str());
        return 0;
    }
    if (type != OUTPUT_PNG && type != OUTPUT_JPG && type != OUTPUT_BMP && type != OUTPUT_PPM) {
        std::fprintf(stderr, "viewer: cannot write %s: %s\n", path.c_str(),
                     type < 0 ? "unknown file type (png, jpg, bmp, ppm, eps or ps)" : "this output type is not available");
        return 1;
    }
    const OutputSettings& o = viewer.output;
    if (width < 1 || height < 1) {
        // The viewer's output size: the raster size, else the window times the scale.
        int ww = viewer.windowWidth, wh = viewer.windowHeight;
        if (ww < 1 || wh < 1) ww = wh = 700;
        width = o.rasterWidth > 0 ? o.rasterWidth : ww * o.outputScalePercent / 100;
        height = o.rasterHeight > 0 ? o.rasterHeight : wh * o.outputScalePercent / 100;
    }
    RasterImage image;
    if (!RenderFrame(viewer, width, height, o.outputAntialias, 1, image)) {
        std::fprintf(stderr, "viewer: cannot render a %d x %d picture for %s\n", width, height, path.c_str());
        return 1;
    }
    if (!writeRasterFile(type, image, path, true)) {
        std::fprintf(stderr, "viewer: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("viewer: wrote %s (%d x %d)\n", path.c_str(), width, height);
    return 0;
}

}  // namespace rasterframe
