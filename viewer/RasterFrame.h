#pragma once
// The program's headless output job: one frame of the loaded scene rendered
// off-screen by the output control (the software raster renderer: no
// window, no OpenGL, no display) into a file whose type follows its name.
#include <string>

class vkoViewer;

namespace rasterframe {

// Output type of a file name by its extension (png, jpg or jpeg, bmp, ppm,
// ps, eps, wrl, kvf; any case), -1 when unknown.
int OutputTypeOfFile(const std::string& path);

// Writes `path` through the viewer's output operation: its type from the
// extension, W x H pixels (below 1: the viewer's output size, the window
// of 700 x 700 without one, times the output scale).  Returns the exit
// status: 0 written, 1 with a message on standard error.
int WriteOutputFile(vkoViewer& viewer, const std::string& path, int width, int height);

}  // namespace rasterframe
