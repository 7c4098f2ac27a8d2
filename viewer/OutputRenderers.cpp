#include "viewer/OutputRenderers.h"

#include <QPrinter>

#include <memory>
#include <new>

#include "output/GraphicsAEAPS.h"
#include "output/GraphicsAEARaster.h"
#include "output/GraphicsAEAWindows.h"
#include "output/GraphicsVRML.h"
#include "output/PrintJob.h"
#include "output/RasterPostScript.h"

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

Graphics* CreateVrmlRenderer(Graphics* current, const std::string& path) {
    if (!current || path.empty()) return nullptr;
    return new GraphicsVRML(*current, path);
}

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
