#pragma once
// The renderers and writers an output operation creates, one small function
// each, so that every backend plugs in at exactly one place.  A backend that
// is not built yet answers null (or false): the output control then falls
// back to the screen grab (off-screen raster output) or reports that nothing
// was written (PostScript, VRML, printing).
//
// The output control calls them through the table of Current(); tests put
// their own entries there to watch how it drives a backend, and put the
// built-in ones back with Reset().
#include <string>
#include <vector>

class Graphics;
struct RasterImage;

namespace outputrenderers {

// Off-screen raster renderer (software pixel store).
struct RasterRequest {
    Graphics* current = nullptr;  // state is copied from it
    int width = 0, height = 0;    // pixels
    float toleranceFactor = 1.0f;
    int lineWidth = 1;            // line width multiplier
    bool reverse = false;
    int colourMode = 0;           // 0 colour, 1 black and white, 2 grey
};

// Vector PostScript renderer; it writes its file itself.
struct PostScriptRequest {
    Graphics* current = nullptr;
    int paperWidth = 8500, paperHeight = 11000;  // thousandths of an inch
    float marginX = 0.5f, marginY = 0.5f;        // inches
    std::string path;
    bool eps = false;
    bool landscape = false;
    float tolerance = 0.99f;
    int lineWidth = 1;
    bool reverse = false;
    int colourMode = 0;
};

// A raster picture on a PostScript page.
struct RasterPostScriptRequest {
    bool eps = false;
    const RasterImage* image = nullptr;
    std::string path;
    bool landscape = false;
    int marginX = 0, marginY = 0;          // pixels at the resolution
    int pageWidth = 0, pageHeight = 0;     // pixels at the resolution
    int resolution = 300;                  // dots per inch
    bool flipRows = false;
};

// Printer renderer (one page).
struct PrinterRequest {
    Graphics* current = nullptr;
    float marginX = 0.5f, marginY = 0.5f;  // inches
    float tolerance = 0.99f;
    bool reverse = false;
    int colourMode = 0;
};

// The built-in entries.
Graphics* CreateRasterRenderer(const RasterRequest& request);
// The pixels of a raster renderer after its frame: width * height * 3 RGB
// bytes, bottom row first.  False when there are none.
bool ReadRasterPixels(Graphics* raster, std::vector<unsigned char>& rgb);
Graphics* CreatePostScriptRenderer(const PostScriptRequest& request);
bool WriteRasterPostScript(const RasterPostScriptRequest& request);
// VRML world of one viewport; the renderer opens the file in beginFrame.
Graphics* CreateVrmlRenderer(Graphics* current, const std::string& path);
Graphics* CreatePrinterRenderer(const PrinterRequest& request);

struct Backends {
    Graphics* (*createRaster)(const RasterRequest&) = &CreateRasterRenderer;
    bool (*readRaster)(Graphics*, std::vector<unsigned char>&) = &ReadRasterPixels;
    Graphics* (*createPostScript)(const PostScriptRequest&) = &CreatePostScriptRenderer;
    bool (*writeRasterPostScript)(const RasterPostScriptRequest&) = &WriteRasterPostScript;
    Graphics* (*createVrml)(Graphics*, const std::string&) = &CreateVrmlRenderer;
    Graphics* (*createPrinter)(const PrinterRequest&) = &CreatePrinterRenderer;
};

Backends& Current();
void Reset();

}  // namespace outputrenderers
