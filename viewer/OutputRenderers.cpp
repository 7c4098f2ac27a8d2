#include "viewer/OutputRenderers.h"

#include <new>

#include "output/GraphicsAEAPS.h"
#include "output/GraphicsAEARaster.h"
#include "output/RasterPostScript.h"

namespace outputrenderers {

Graphics* CreateRasterRenderer(const RasterRequest& r) {
    auto* g = new (std::nothrow)
        GraphicsAEARaster(r.current, r.width, r.height, r.toleranceFactor, r.lineWidth, r.reverse, r.colourMode);
    if (g && !g->usable) {
        delete g;
        return nullptr;
    }
    return g;
}

bool ReadRasterPixels(Graphics* raster, std::vector<unsigned char>& rgb) {
    auto* g = dynamic_cast<GraphicsAEARaster*>(raster);
    rgb = g ? g->readPixels() : std::vector<unsigned char>();
    return !rgb.empty();
}

Graphics* CreatePostScriptRenderer(const PostScriptRequest& r) {
    auto* g = new (std::nothrow) GraphicsAEAPS(r.current, r.paperWidth, r.paperHeight, r.marginX, r.marginY, r.path,
                                               !r.eps, r.landscape, r.tolerance, r.lineWidth, r.reverse, r.colourMode);
    if (g && !g->usable) {
        delete g;
        return nullptr;
    }
    return g;
}

bool PostScriptWritten(Graphics* renderer) {
    auto* g = dynamic_cast<GraphicsAEAPS*>(renderer);
    return g && g->written();
}

bool WriteRasterPostScript(const RasterPostScriptRequest& r) {
    return r.image && writeRasterPostScript(!r.eps, *r.image, r.path, r.landscape, r.marginX, r.marginY, r.pageWidth,
                                            r.pageHeight, r.resolution, r.flipRows);
}

// No VRML renderer yet: VRML output writes nothing.
Graphics* CreateVrmlRenderer(Graphics*, const std::string&) { return nullptr; }

// No printer backend yet: printing prints nothing.
Graphics* CreatePrinterRenderer(const PrinterRequest&) { return nullptr; }

Backends& Current() {
    static Backends backends;
    return backends;
}

void Reset() { Current() = Backends(); }

}  // namespace outputrenderers
