#pragma once
// A picture on its way to a raster file, and the file writer.
#include <string>
#include <vector>

// RGB, 3 bytes per pixel, rows without gaps.  The writer treats row 0 as the
// top of the picture unless it is asked to flip; the off-screen renderers
// produce bottom-up rows and always ask.
struct RasterImage {
    int width = 0;
    int height = 0;
    int quality = 90;          // JPEG quality 0..100
    bool antialiased = false;  // rendered at twice the size: halve before writing
    std::vector<unsigned char> pixels;
};

// Output types the writer understands (values of the viewer's output type).
enum RasterFileType { RASTER_PNG = 0, RASTER_JPG = 2, RASTER_BMP = 3, RASTER_PPM = 4 };

// Writes `image` to `path` as PNG, JPEG, BMP or PPM.  An antialiased image is
// reduced to half its size (rounded mean of each 2 x 2 block); with flipRows
// the rows are written in reverse order.  Any other type, an image whose
// pixel buffer is smaller than its size says, or any I/O or library failure
// gives false.  The file is written beside `path` and moved over it when
// complete, so a failure leaves an earlier file of that name as it was.
bool writeRasterFile(int type, const RasterImage& image, const std::string& path, bool flipRows);
