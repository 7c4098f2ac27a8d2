#include "output/OutputSettings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char* const OutputSettings::kTypeWords[kNumTypes] = {"PNG", "KVF", "JPG", "BMP", "PPM", "PS", "EPS", "VRML"};
const char* const OutputSettings::kExtensions[kNumTypes] = {"png", "kvf", "jpg", "bmp", "ppm", "ps", "eps", "wrl"};

void OutputSettings::setOutputType(int type) {
    outputType = type;
    setOutputFileName(nullptr);
}

void OutputSettings::setOutputFileName(const char* name) {
    std::string result = name ? name : outputFileName;
    for (const char* ext : kExtensions) {
        std::string suffix = std::string(".") + ext;
        if (result.size() >= suffix.size() &&
            result.compare(result.size() - suffix.size(), suffix.size(), suffix) == 0) {
            result.resize(result.size() - suffix.size());
            break;
        }
    }
    if (outputType >= 0 && outputType < kNumTypes) result += std::string(".") + kExtensions[outputType];
    outputFileName = result;
}

int OutputSettings::TypeFromWord(const char* word) {
    if (!word) return OUTPUT_PNG;
    static const struct {
        const char* word;
        int type;
    } table[] = {{"EPS", OUTPUT_EPS}, {"BMP", OUTPUT_BMP}, {"JPG", OUTPUT_JPG}, {"PPM", OUTPUT_PPM},
                 {"VRML", OUTPUT_VRML}, {"KVF", OUTPUT_KVF}, {"PS", OUTPUT_PS}};
    for (const auto& e : table)
        if (std::strcmp(word, e.word) == 0) return e.type;
    return OUTPUT_PNG;
}

bool OutputSettings::setQuality(int quality) {
    if (quality < 0 || quality > 100) return false;
    outputQuality = quality;
    return true;
}

bool OutputSettings::setScalePercent(int percent) {
    if (percent < 1) return false;
    outputScalePercent = percent;
    rasterWidth = rasterHeight = -1;
    return true;
}

bool OutputSettings::setRasterSize(int width, int height) {
    if (width <= 9 || height <= 9) return false;
    rasterWidth = width;
    rasterHeight = height;
    return true;
}

bool OutputSettings::setPaperSize(const char* text) {
    if (!text) return false;
    if (std::strcmp(text, "A4") == 0) {
        paperWidth = 8268;
        paperHeight = 11693;
        return true;
    }
    if (std::strcmp(text, "LETTER") == 0) {
        paperWidth = 8500;
        paperHeight = 11000;
        return true;
    }
    float w = 0, h = 0;
    if (std::sscanf(text, "%g %g", &w, &h) != 2) return false;
    // Thousandths of an inch, at least one inch a side; absurd values would
    // overflow the int fields.
    auto thousandths = [](float inches) {
        double v = 1000.0 * inches;
        if (!(v >= 1000.0)) v = 1000.0;
        return static_cast<int>(std::min(v, 1.0e8));
    };
    paperWidth = thousandths(w);
    paperHeight = thousandths(h);
    return true;
}
