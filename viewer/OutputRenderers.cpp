#include "viewer/OutputRenderers.h"

#include <QPrinter>

#include <memory>
#include <new>

#include "output/GraphicsAEARaster.h"
#include "output/GraphicsAEAWindows.h"
#include "output/PrintJob.h"

namespace outputrenderers {

// The software raster renderer: any size, no window, no OpenGL.  Null when
// its store cannot be held (it has said so, naming the size).
Graphics* CreateRasterRenderer(const RasterRequest& request) {
    auto* r = new (std::nothrow) GraphicsAEARaster(request.current, request.width, request.height,
                                                   request.toleranceFactor, request.lineWidth, request.reverse,
                                                   request.colourMode);
    if (r && !r->usable) {
        delete r;
        return nullptr;
    }
    return r;
}

bool ReadRasterPixels(Graphics* raster, std::vector<unsigned char>& rgb) {
    auto* r = dynamic_cast<GraphicsAEARaster*>(raster);
    rgb = r ? r->readPixels() : std::vector<unsigned char>();
    return !rgb.empty();
}

// No PostScript renderer or raster PostScript writer yet: PS and EPS output
// writes nothing.
Graphics* CreatePostScriptRenderer(const PostScriptRequest&) { return nullptr; }

bool WriteRasterPostScript(const RasterPostScriptRequest&) { return false; }

// No VRML renderer yet: VRML output writes nothing.
Graphics* CreateVrmlRenderer(Graphics*, const std::string&) { return nullptr; }

// One page on a printer: the one the user picks in the print dialog, or a
// PDF file with no dialogs at all (nothing may wait for a user there).
Graphics* CreatePrinterRenderer(const PrinterRequest& request) {
    std::unique_ptr<QPrinter> pdf;
    if (!request.pdfPath.empty()) pdf = PrintJob::pdfPrinter(QString::fromStdString(request.pdfPath));
    const bool dialogs = !pdf;
    auto* printer = new GraphicsAEAWindows(request.current, request.marginX, request.marginY, request.tolerance,
                                           request.reverse, request.colourMode, std::move(pdf), dialogs);
    if (!printer->usable) {
        delete printer;
        return nullptr;
    }
    printer->printedFlag = request.printed;
    return printer;
}

Backends& Current() {
    static Backends backends;
    return backends;
}

void Reset() { Current() = Backends(); }

}  // namespace outputrenderers
