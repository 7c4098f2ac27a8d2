#pragma once
// One frame of a viewer drawn off-screen by the software raster renderer, at
// any size, with no window, no OpenGL and no display; and the program's
// headless output job built on it.
#include <string>

#include "output/RasterImage.h"

class vkoViewer;
class Graphics;

namespace rasterframe {

// The off-screen raster renderer of W x H pixels, copying the state of the
// viewer's current renderer; the caller owns it.  Null when its store cannot
// be held (a message names the size) or memory runs out.
Graphics* CreateRasterRenderer(vkoViewer& viewer, int width, int height, int lineWidthMultiplier);

// Draws one frame of the viewer's layout into a raster renderer of W x H
// pixels (both doubled, and the line widths too, with antialias) and fills
// `image` (rows bottom-up; the antialiased flag set so that the writer
// halves it).  The renderer is installed for the frame and the previous one
// put back, drawing stays as suspended as it was, the layout margins are 0
// during the frame.  False when the renderer cannot be made or draws nothing.
bool RenderFrame(vkoViewer& viewer, int width, int height, bool antialias, int lineWidthMultiplier,
                 RasterImage& image);

// Output type of a file name by its extension (png, jpg/jpeg, bmp, ppm,
// eps, ps, wrl, kvf; any case), -1 when unknown.
int OutputTypeOfFile(const std::string& path);

// The headless output job: one frame of the loaded scene at W x H (below 1:
// the viewer's output size) written to `path`, its type taken from the
// extension.  Returns the exit status: 0 written, 1 with a message on
// standard error.
int WriteOutputFile(vkoViewer& viewer, const std::string& path, int width, int height);

}  // namespace rasterframe
