// Image output: the description line and the output keys, the output
// operation with its from-screen, off-screen, PostScript, scene and VRML
// paths, tiled high-resolution output and the six-face cube capture.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "output/GraphicsVRML.h"
#include "output/RasterImage.h"
#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/OutputRenderers.h"
#include "viewer/vkoViewer.h"

namespace {

// Objects whose 2D items would repeat on every tile of a tiled output.
bool Has2DItems(const vkoGraphicObj* o) {
    const GraphicData* d = o->data.get();
    if (!d) return false;
    return d->label != nullptr ||
           d->hasImage() || d->numOverlays > 0 || (d->texts && d->texts->kind == 0 && d->texts->numTexts > 0);
}

int IntFromEnvironment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::atoi(v) : 0;
}

}  // namespace

// ------------------------------------------------------------ description and keys

void vkoViewer::describeOutput() {
    const std::string text = output.describe(windowWidth, windowHeight);
    std::snprintf(outputMessage, sizeof outputMessage, "%s", text.c_str());
}

void vkoViewer::CycleOutputColourMode() {
    output.cycleColourMode();
    describeOutput();
}

void vkoViewer::CycleOutputType() {
    output.cycleType();
    describeOutput();
}

void vkoViewer::RaiseOutputQuality() {
    output.raiseQuality();
    describeOutput();
}

void vkoViewer::RaiseOutputScale() {
    output.raiseScale();
    describeOutput();
}

void vkoViewer::ToggleOutputAntialias() {
    output.toggleAntialias();
    describeOutput();
}

void vkoViewer::ToggleReverseVideo() {
    ReverseVideo();
    describeOutput();
}

void vkoViewer::ConfirmOutput() {
    if (standAlone)
        std::snprintf(outputMessage, sizeof outputMessage, "\nImage printed to file: %s\n",
                      output.outputFileName.c_str());
}

// ------------------------------------------------------------ the output operation

bool vkoViewer::PerformOutput() {
    tileSize = IntFromEnvironment("KRV_VIEWER_PRINT_TILE_SIZE");
    autoPrintPending = false;
    if (tileSize < 2 || !OutputSettings::isRasterType(output.outputType))
        return writeOutput(true, printFromScreen, -1, -1);
    return TiledOutput();
}

bool vkoViewer::writeOutput(bool toFile, bool fromScreen, int width, int height) {
    const int type = output.outputType;
    if (type == OUTPUT_VRML) return WriteVrmlOutput();
    if (type == OUTPUT_KVF) {
        const bool ok = WriteScene(output.outputFileName.c_str());
        if (ok) ConfirmOutput();
        return ok;
    }

    const bool suspended = SuspendDrawing(true);
    const int caption = captionHeight, gap = viewportGap;
    const bool insets = caption != 0 || gap != 0;
    if (insets) SetViewportInsets(0, 0);
    Graphics* previous = renderer;

    bool ok = false;
    if (!toFile) {
        ok = PrintOutput();
    } else {
        int w = 0, h = 0;
        OutputSettings::outputWindowSize(windowWidth, windowHeight, w, h);
        const bool landscape = h < w;
        ok = fromScreen ? ScreenOutput(w, h, landscape) : OffscreenOutput(w, h, width, height, landscape);
    }

    // Every path has deleted its renderer; the previous one is current again.
    renderer = previous;
    drawingSuspended = suspended;
    if (insets) SetViewportInsets(caption, gap);
    return ok;
}

// The window's pixels of a frame drawn now (top row first): the frame that
// was on the screen may predate the settings of this output.
bool vkoViewer::GrabWindow(RasterImage& image) {
    MarkAllViewports(false);
    const bool suspended = SuspendDrawing(false);
    const bool drawn = Redraw();
    SuspendDrawing(suspended);
    if (!drawn || !renderer) return false;
    int w = 0, h = 0;
    image.pixels = renderer->grabImage(&w, &h);
    if (image.pixels.empty() || w < 1 || h < 1) return false;
    image.width = w;
    image.height = h;
    image.quality = output.outputQuality;
    image.antialiased = false;
    return true;
}

bool vkoViewer::ScreenOutput(int w, int h, bool landscape) {
    RasterImage image;
    if (!GrabWindow(image)) return false;
    if (tileBuffer) {
        // One tile of a tiled output: its rows go to the big picture at the
        // current write position.
        if (image.width != windowWidth || image.height != windowHeight) return false;
        const size_t row = size_t(image.width) * 3, stride = row * size_t(tileSize);
        for (int y = 0; y < image.height; ++y)
            std::memcpy(tileBuffer + size_t(y) * stride, image.pixels.data() + size_t(y) * row, row);
        return true;
    }
    bool ok = false;
    const int type = output.outputType;
    if (type == OUTPUT_PS || type == OUTPUT_EPS) {
        int pageWidth = output.paperWidth, pageHeight = output.paperHeight;
        if (landscape) std::swap(pageWidth, pageHeight);
        // The picture fills the page inside half-inch margins.  A page of one
        // inch has no room inside them (the resolution would divide by zero):
        // take an inch as the room.
        auto room = [](int side) { return side > 1000 ? (long long)side - 1000 : 1000LL; };
        const long long roomX = room(pageWidth), roomY = room(pageHeight);
        const int res = int(std::max(1LL, std::max(w * 1000LL / roomX, h * 1000LL / roomY)));
        const int margin = int(0.5 * res);
        ok = WritePostScriptPicture(image, landscape, margin, int(pageWidth * (long long)res / 1000),
                                    int(pageHeight * (long long)res / 1000), res, false);
    } else {
        ok = writeRasterFile(type, image, output.outputFileName, false);
    }
    if (ok) ConfirmOutput();
    return ok;
}

bool vkoViewer::OffscreenOutput(int w, int h, int requestWidth, int requestHeight, bool landscape) {
    const int lineWidth = (standAlone && output.outputScalePercent >= 300) ? 2 : 1;
    const int type = output.outputType;
    if (type == OUTPUT_PS || type == OUTPUT_EPS) {
        bool raster = false;
        for (vkoViewport* v : viewports)
            if (v->isVisibleFlag && v->width != 0.0f && v->height != 0.0f &&
                (v->hasTransparentFaces() || v->hasTexturedFaces()))
                raster = true;
        if (raster) return RasterPostScriptOutput(landscape, lineWidth);
        outputrenderers::PostScriptRequest request;
        request.current = renderer;
        request.paperWidth = output.paperWidth;
        request.paperHeight = output.paperHeight;
        request.path = output.outputFileName;
        request.eps = type == OUTPUT_EPS;
        request.landscape = landscape;
        request.lineWidth = lineWidth;
        request.reverse = output.reverseColours;
        request.colourMode = output.outputColourMode;
        Graphics* ps = outputrenderers::Current().createPostScript(request);
        if (!ps) return false;
        // The renderer writes its file at the end of the frame; a file that
        // could not be written whole is not there and is not reported.
        const bool ok = DrawOutputFrame(ps) && outputrenderers::Current().postScriptWritten(ps);
        delete ps;
        if (ok) ConfirmOutput();
        return ok;
    }
    long long width = 0, height = 0;
    output.rasterOutputSize(w, h, requestWidth, requestHeight, width, height);
    return RasterOutput(width, height, lineWidth);
}

bool vkoViewer::RasterOutput(long long width, long long height, int lineWidth) {
    // With antialias the picture is rendered at twice the size (and lines
    // twice as wide) and halved by the writer.
    const bool antialias = output.outputAntialias;
    const int factor = antialias ? 2 : 1;
    const std::string problem = OutputSettings::rasterSizeProblem(width, height, factor);
    if (!problem.empty()) {
        platform::ShowMessage(platform::MessageIcon::Error, problem);
        return false;
    }
    // A renderer that cannot be made (its store cannot be held: it has said
    // so) ends the output; nothing is written.
    bool created = false;
    RasterImage image;
    const int w = int(width * factor), h = int(height * factor);
    if (!RenderRaster(w, h, lineWidth * factor, image, created)) return false;
    image.antialiased = antialias;
    const bool ok = writeRasterFile(output.outputType, image, output.outputFileName, true);
    if (ok) ConfirmOutput();
    return ok;
}

bool vkoViewer::RasterPostScriptOutput(bool landscape, int lineWidth) {
    int res = (standAlone && output.outputQuality < 90) ? 3 * output.outputQuality : 300;
    res = std::clamp(res, 25, 300);
    int pageWidth = int((long long)res * output.paperWidth / 1000);
    int pageHeight = int((long long)res * output.paperHeight / 1000);
    if (landscape) std::swap(pageWidth, pageHeight);
    const int margin = int(0.5 * res);
    const int width = pageWidth - 2 * margin, height = pageHeight - 2 * margin;
    const std::string problem = OutputSettings::rasterSizeProblem(width, height);
    if (!problem.empty()) {
        platform::ShowMessage(platform::MessageIcon::Error, problem);
        return false;
    }
    bool created = false;
    RasterImage image;
    if (!RenderRaster(width, height, lineWidth, image, created)) return false;
    const bool ok = WritePostScriptPicture(image, landscape, margin, pageWidth, pageHeight, res, true);
    if (ok) ConfirmOutput();
    return ok;
}

bool vkoViewer::WritePostScriptPicture(const RasterImage& image, bool landscape, int margin, int pageWidth,
                                       int pageHeight, int resolution, bool flipRows) {
    outputrenderers::RasterPostScriptRequest page;
    page.eps = output.outputType == OUTPUT_EPS;
    page.image = &image;
    page.path = output.outputFileName;
    page.landscape = landscape;
    page.marginX = page.marginY = margin;
    page.pageWidth = pageWidth;
    page.pageHeight = pageHeight;
    page.resolution = resolution;
    page.flipRows = flipRows;
    return outputrenderers::Current().writeRasterPostScript(page);
}

// One frame into a new off-screen raster renderer of width x height pixels
// and its pixels (bottom row first); created tells whether a renderer could
// be made at all.
bool vkoViewer::RenderRaster(int width, int height, int lineWidth, RasterImage& image, bool& created) {
    outputrenderers::RasterRequest request;
    request.current = renderer;
    request.width = width;
    request.height = height;
    request.lineWidth = lineWidth;
    request.reverse = output.reverseColours;
    request.colourMode = output.outputColourMode;
    Graphics* raster = outputrenderers::Current().createRaster(request);
    created = raster != nullptr;
    if (!raster) return false;
    const bool ok = DrawOutputFrame(raster) && outputrenderers::Current().readRaster(raster, image.pixels);
    delete raster;
    if (!ok) return false;
    image.width = width;
    image.height = height;
    image.quality = output.outputQuality;
    image.antialiased = false;
    return true;
}

bool vkoViewer::PrintOutput() {
    outputrenderers::PrinterRequest request;
    request.current = renderer;
    request.reverse = output.reverseColours;
    request.colourMode = output.outputColourMode;
    request.pdfPath = output.printFileName;
    bool printed = false;
    request.printed = &printed;
    Graphics* printer = outputrenderers::Current().createPrinter(request);
    if (!printer) return false;
    // A frame can be drawn and the page still fail (the printer refused the
    // document, the user cancelled).
    const bool ok = DrawOutputFrame(printer) && printed;
    delete printer;
    return ok;
}

// Cached renderer data (display lists, text layouts) belongs to one
// renderer: switching renderers rebuilds it.
void vkoViewer::MarkForOutput() {
    for (auto& [id, object] : objectsById) object->markAllDirty();
    MarkAllViewports(true);
}

// One frame of every viewport into an output renderer, installed as the
// viewer's renderer meanwhile.
bool vkoViewer::DrawOutputFrame(Graphics* out) {
    Graphics* previous = renderer;
    renderer = out;
    // An output has one buffer: one pass, and isUsable (which opens the
    // file of a PostScript renderer) asked once.
    out->doubleBuffered = false;
    MarkForOutput();
    const bool suspended = SuspendDrawing(false);
    const bool drawn = Redraw();
    SuspendDrawing(suspended);
    renderer = previous;
    MarkForOutput();
    return drawn;
}

// ------------------------------------------------------------ VRML

bool vkoViewer::WriteVrmlOutput() {
    Graphics* previous = renderer;
    bool ok = true, wrote = false;
    int i = 0;
    size_t k = 0;
    while (ok && k < viewports.size()) {
        vkoViewport* v = viewports[k];
        if (!v->isVisibleFlag || v->width == 0.0f || v->height == 0.0f) {
            ++i;
            ++k;
            continue;
        }
        Graphics* world =
            outputrenderers::Current().createVrml(previous, OutputSettings::numberedFileName(output.outputFileName, i));
        if (!world) {
            ok = false;
            break;
        }
        renderer = world;
        MarkForOutput();
        bool stop = false, again = false;
        if (world->isUsable(1)) {
            const float half = eyeSeparation;  // half the eye distance
            float offset = 0.0f;
            switch (stereoMode) {
                case 1: offset = -half; stop = true; break;
                case 2: offset = half; stop = true; break;
                case 3: offset = i == 0 ? -half : half; again = i == 0; stop = i > 0; break;
                case 4: offset = i == 0 ? half : -half; again = i == 0; stop = i > 0; break;
                default: break;
            }
            if (stereoMode >= 1 && stereoMode <= 4) v->setEyeOffset(offset, 0.0f, eyeDistance);
            v->needsRedraw = 1;
            // A world that could not be opened or written completely ends
            // the output: the earlier file stays, and nothing counts as written.
            bool drawn = v->draw(world, false);
            if (auto* vrml = dynamic_cast<GraphicsVRML*>(world)) drawn = drawn && vrml->written();
            world->finishFrame();
            if (!drawn) ok = false;
            wrote = drawn || wrote;
            if (stereoMode != 0) v->setEyeOffset(0.0f, 0.0f, eyeDistance);
        }
        delete world;
        renderer = previous;
        ++i;
        if (stop || !ok) break;
        if (!again) ++k;
    }
    renderer = previous;
    MarkForOutput();
    return ok && wrote;
}

// ------------------------------------------------------------ tiled output

bool vkoViewer::TiledOutput() {
    const int n = tileSize;
    vkoViewport* v = currentViewport;
    if (!v) return writeOutput(true, printFromScreen, -1, -1);
    const int w = windowWidth, h = windowHeight;
    // Tiles are grabbed from the window: without one there is nothing to tile.
    if (w < 1 || h < 1) return false;
    output.outputAntialias = false;
    output.outputScalePercent = 100;
    const std::string problem = OutputSettings::rasterSizeProblem((long long)n * w, (long long)n * h);
    if (!problem.empty()) {
        platform::ShowMessage(platform::MessageIcon::Error, problem);
        return false;
    }
    RasterImage big;
    try {
        big.pixels.resize(size_t(n) * w * size_t(n) * h * 3);
    } catch (const std::bad_alloc&) {
        platform::ShowMessage(platform::MessageIcon::Error, "ERROR Can't allocate memory for print buffer\n");
        return false;
    }
    big.width = n * w;
    big.height = n * h;
    big.quality = output.outputQuality;

    // The scene for tiles: one orthographic view zoomed by n, without the
    // items that would repeat on every tile or not line up across them.
    const bool suspended = SuspendDrawing(true);
    TransformView(5, 0, 0, 0, 0, false);
    // A fit before each frame would undo the zoom and the pan of every tile.
    const unsigned char autofit = v->autofit, centred = v->isCentered;
    v->autofit = 0;
    v->isCentered = 1;
    const bool wasPerspective = !v->isOrthographic;
    if (wasPerspective) v->isOrthographic = 1;
    const unsigned char ruler = v->isRulerVisibleFlag, border = v->isBorderVisibleFlag, axis = v->isAxisVisibleFlag;
    v->isRulerVisibleFlag = v->isBorderVisibleFlag = v->isAxisVisibleFlag = 0;
    const int background = backGroundType;
    backGroundType = BG_SOLID;
    if (renderer) renderer->setBackground(BG_SOLID, backGroundColor, backGroundColor2);
    std::vector<vkoGraphicObj*> hidden, untextured;
    for (vkoGraphicObj* o : v->objects) {
        if (!o->isVisible()) continue;
        if (Has2DItems(o)) {
            o->setProperty(0, 0.0f);
            hidden.push_back(o);
        }
        if (o->data && o->data->texture && o->data->texture->kind != TEXTURE_PLANAR && o->drawTexture) {
            o->setProperty(21, 0.0f);
            untextured.push_back(o);
        }
    }
    const bool reverse = std::getenv("KRV_VIEWER_PRINT_REVERSE_COLOURS") && backGroundColor[0] == 1.0f &&
                         backGroundColor[1] == 1.0f && backGroundColor[2] == 1.0f;
    if (reverse && renderer) {
        renderer->reverseVideo = true;
        RefreshTexts(false);
    }
    // Tiles meet edge to edge only without the layout margins.
    const int caption = captionHeight, gap = viewportGap;
    const bool insets = caption != 0 || gap != 0;
    if (insets) SetViewportInsets(0, 0);
    TransformView(3, 0, 0, 0, float(n), true);
    SuspendDrawing(false);

    // Tiles from the top left, rows top first like the grab.
    const float ax = w > h ? float(w) / float(h) : 1.0f;
    const float ay = h > w ? float(h) / float(w) : 1.0f;
    TransformView(1, ax * float(n - 1) / 2.0f, -ay * float(n - 1) / 2.0f, 0, 0, false);
    tileBuffer = big.pixels.data();
    const size_t stride = size_t(n) * w * 3;
    bool ok = true;
    for (int row = 0; row < n && ok; ++row) {
        for (int col = 0; col < n && ok; ++col) {
            ok = writeOutput(true, true, -1, -1);
            TransformView(1, -ax, 0, 0, 0, false);
            tileBuffer += size_t(w) * 3;
        }
        TransformView(1, ax * float(n), ay, 0, 0, false);
        tileBuffer += size_t(h - 1) * stride;
    }
    tileBuffer = nullptr;

    // The scene as it was.
    SuspendDrawing(true);
    if (reverse && renderer) {
        renderer->reverseVideo = false;
        RefreshTexts(false);
    }
    for (vkoGraphicObj* o : hidden) o->setProperty(0, 1.0f);
    for (vkoGraphicObj* o : untextured) o->setProperty(21, 1.0f);
    backGroundType = background;
    if (renderer) renderer->setBackground(background, backGroundColor, backGroundColor2);
    v->isAxisVisibleFlag = axis;
    v->isBorderVisibleFlag = border;
    v->isRulerVisibleFlag = ruler;
    if (wasPerspective) v->isOrthographic = 0;
    v->autofit = autofit;
    v->isCentered = centred;
    if (insets) SetViewportInsets(caption, gap);
    SuspendDrawing(suspended);
    MarkAllViewports(true);
    TransformView(6, 0, 0, 0, 0, true);

    if (!ok) return false;
    ok = writeRasterFile(output.outputType, big, output.outputFileName, false);
    if (ok) ConfirmOutput();
    return ok;
}

// ------------------------------------------------------------ cube capture

bool vkoViewer::captureCubeFaces() {
    vkoViewport* v = currentViewport;
    const int w = windowWidth;
    if (!v || w < 1 || w != windowHeight) return false;
    const std::string problem = OutputSettings::rasterSizeProblem(w, 6LL * w);
    if (!problem.empty()) {
        platform::ShowMessage(platform::MessageIcon::Error, problem);
        return false;
    }
    RasterImage cube;
    try {
        cube.pixels.resize(size_t(w) * w * 6 * 3);
    } catch (const std::bad_alloc&) {
        platform::ShowMessage(platform::MessageIcon::Error, "ERROR Can't allocate memory for print buffer\n");
        return false;
    }
    cube.width = w;
    cube.height = 6 * w;

    const unsigned char axis = v->isAxisVisibleFlag, ruler = v->isRulerVisibleFlag, border = v->isBorderVisibleFlag;
    v->isAxisVisibleFlag = v->isRulerVisibleFlag = v->isBorderVisibleFlag = 0;
    // A fit before each frame would undo the turns.
    const unsigned char autofit = v->autofit, centred = v->isCentered;
    v->autofit = 0;
    v->isCentered = 1;
    capturingCube = true;
    TransformView(5, 0, 0, 0, 0, false);
    // From the view as it stands to the cube's reference orientation.
    TransformView(0, 0, 0, 30, 0, false);
    TransformView(0, 0, 35.26439f, 0, 0, false);
    TransformView(0, -135, 0, 0, 0, false);
    TransformView(0, 90, 0, 0, 0, false);
    static const float kFaceTurns[6][3] = {{0, 90, 0}, {0, 180, 0}, {0, -90, 0}, {0, 0, 0}, {-90, 0, 0}, {90, 0, 0}};
    bool ok = true;
    const size_t faceBytes = size_t(w) * w * 3;
    for (int face = 0; face < 6 && ok; ++face) {
        TransformView(5, 0, 0, 0, 0, false);
        const float* t = kFaceTurns[face];
        if (t[0] != 0 || t[1] != 0 || t[2] != 0) TransformView(0, t[0], t[1], t[2], 0, false);
        RasterImage shot;
        ok = GrabWindow(shot) && shot.width == w && shot.height == w;
        TransformView(6, 0, 0, 0, 0, false);
        if (ok) std::memcpy(cube.pixels.data() + face * faceBytes, shot.pixels.data(), faceBytes);
    }
    TransformView(6, 0, 0, 0, 0, false);
    capturingCube = false;
    v->autofit = autofit;
    v->isCentered = centred;
    v->isAxisVisibleFlag = axis;
    v->isRulerVisibleFlag = ruler;
    v->isBorderVisibleFlag = border;
    MarkAllViewports(false);
    Redraw();
    return ok && writeRasterFile(OUTPUT_BMP, cube, "cubicpano.bmp", false);
}
