#include "viewer/RasterFrame.h"

#include <cctype>
#include <cstdio>

#include "viewer/vkoViewer.h"

namespace rasterframe {

int OutputTypeOfFile(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return -1;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jpeg") return OUTPUT_JPG;
    for (int t = 0; t < OutputSettings::kNumTypes; ++t)
        if (ext == OutputSettings::kExtensions[t]) return t;
    return -1;
}

int WriteOutputFile(vkoViewer& viewer, const std::string& path, int width, int height) {
    const int type = OutputTypeOfFile(path);
    if (type < 0) {
        std::fprintf(stderr, "viewer: cannot write %s: unknown file type (png, jpg, bmp, ppm, ps, eps, wrl, kvf)\n",
                     path.c_str());
        return 1;
    }
    OutputSettings& o = viewer.output;
    o.setOutputType(type);
    o.outputFileName = path;  // as given, whatever case its extension has
    if (width > 0 && height > 0) {
        o.outputScalePercent = 100;  // the size asked for, not a scaled one
        o.rasterWidth = width;
        o.rasterHeight = height;
    }
    if (!viewer.writeOutput(true, false, -1, -1)) {
        std::fprintf(stderr, "viewer: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("viewer: wrote %s\n", path.c_str());
    return 0;
}

}  // namespace rasterframe
