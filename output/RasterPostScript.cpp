#include "output/RasterPostScript.h"

#include <cmath>
#include <cstdint>

#include "output/PostScriptEncoder.h"
#include "output/PostScriptFile.h"

bool writeRasterPostScript(bool isPostScript, const RasterImage& image, const std::string& path, bool landscape,
                           int marginX, int marginY, int pageWidth, int pageHeight, int resolution, bool flipRows) {
    const int w = image.width, h = image.height;
    if (w < 1 || h < 1 || resolution < 1 || uint64_t(w) * uint64_t(h) * 3 > image.pixels.size()) return false;
    PostScriptFile f;
    if (!f.open(path)) return false;
    const double x = 72.0 / resolution;  // points per pixel
    if (isPostScript) {
        f.print("%%!PS-Adobe-2.0\n");
        if (landscape) {
            f.print("%d 0 translate\n", int(pageHeight * x));
            f.print("90 rotate\n");
        }
    } else {
        // The picture is never turned in an EPS, so its box is where it
        // is drawn, in landscape too.
        f.print("%%!PS-Adobe-2.0 EPSF-3.0\n\n");
        f.print("%%%%BoundingBox: ");
        f.print("%d %d %d %d\n", int(marginX * x), int(marginY * x), int((double(marginX) + w) * x),
                int((double(marginY) + h) * x));
    }
    f.print("%d %d translate\n", int(marginX * x), int(marginY * x));
    // Two decimals are exact for the usual resolutions; any other scale
    // rounded to two would shrink or grow the picture against its box.
    if (std::fabs(x * 100 - std::round(x * 100)) < 1e-9)
        f.print("%0.2f %0.2f scale\n", x, x);
    else
        f.print("%0.6f %0.6f scale\n", x, x);
    f.print("%d %d 8\n", w, h);
    f.print("[1 0 0 1 0 0]\n");
    f.print("currentfile\n");
    f.print("/ASCII85Decode filter\n");
    f.print("/RunLengthDecode filter\n");
    f.print("false\n");
    f.print("3\n");
    f.print("colorimage\n");
    PostScriptEncoder encoder(f);
    if (!encoder.ready()) return false;
    // The page reads the first data row as its bottom row.
    const size_t rowBytes = size_t(w) * 3;
    for (int i = 0; i < h; ++i) {
        const int row = flipRows ? i : h - 1 - i;
        encoder.put(image.pixels.data() + size_t(row) * rowBytes, rowBytes);
    }
    encoder.finish();
    f.print("\nshowpage\n");
    return f.commit();
}
