#include "viewer/OutputRenderers.h"

#include "output/GraphicsVRML.h"

namespace outputrenderers {

// The software raster renderer is not built yet: off-screen raster output
// falls back to the window's pixels.
Graphics* CreateRasterRenderer(const RasterRequest&) { return nullptr; }

bool ReadRasterPixels(Graphics*, std::vector<unsigned char>& rgb) {
    rgb.clear();
    return false;
}

// No PostScript renderer or raster PostScript writer yet: PS and EPS output
// writes nothing.
Graphics* CreatePostScriptRenderer(const PostScriptRequest&) { return nullptr; }

bool WriteRasterPostScript(const RasterPostScriptRequest&) { return false; }

Graphics* CreateVrmlRenderer(Graphics* current, const std::string& path) {
    if (!current || path.empty()) return nullptr;
    return new GraphicsVRML(*current, path);
}

// No printer backend yet: printing prints nothing.
Graphics* CreatePrinterRenderer(const PrinterRequest&) { return nullptr; }

Backends& Current() {
    static Backends backends;
    return backends;
}

void Reset() { Current() = Backends(); }

}  // namespace outputrenderers
