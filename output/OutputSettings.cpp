#include "output/OutputSettings.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
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

// ------------------------------------------------------------ keys

void OutputSettings::cycleColourMode() { outputColourMode = (outputColourMode >= 0 && outputColourMode < 2) ? outputColourMode + 1 : 0; }

void OutputSettings::cycleType() {
    setOutputType((outputType >= 0 && outputType < kNumTypes - 1) ? outputType + 1 : 0);
}

void OutputSettings::raiseQuality() {
    if (outputType != OUTPUT_JPG) return;
    outputQuality += 5;
    if (outputQuality > 100) outputQuality = 50;
}

void OutputSettings::raiseScale() {
    if (outputType == OUTPUT_PS || outputType == OUTPUT_EPS) return;
    rasterWidth = rasterHeight = -1;
    // Doubling above 400 would pass 800 (and could overflow).
    outputScalePercent = outputScalePercent > 400 ? 100 : outputScalePercent * 2;
}

// ------------------------------------------------------------ description

const char* OutputSettings::typeWord(int type) {
    return (type >= 0 && type < kNumTypes) ? kTypeWords[type] : "UNKNOWN";
}

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, again);
    va_end(again);
    return out;
}

// Each piece replaces the final newline of the text before it.
void appendPiece(std::string& text, const std::string& piece) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    text += piece;
}

}  // namespace

std::string OutputSettings::describe(int windowWidth, int windowHeight) const {
    const int t = outputType;
    std::string text;
    appendPiece(text, format("\nOutput file: name is %s, type is %s\n", outputFileName.c_str(), typeWord(t)));
    if (t != OUTPUT_KVF && t != OUTPUT_VRML) {
        static const char* const modes[3] = {"COLOUR", "BW", "GRAY"};
        appendPiece(text, format(", mode is %s\n", modes[(outputColourMode >= 0 && outputColourMode < 3) ? outputColourMode : 0]));
    }
    if (t == OUTPUT_JPG) appendPiece(text, format(", quality %d\n", outputQuality));
    if (t != OUTPUT_KVF && t != OUTPUT_PS && t != OUTPUT_EPS && t != OUTPUT_VRML) {
        if (!hasRasterSize()) {
            int w = 0, h = 0;
            outputWindowSize(windowWidth, windowHeight, w, h);
            appendPiece(text, format(", %d%%%% (%lld x %lld pixels)\n", outputScalePercent,
                                     (long long)w * outputScalePercent / 100, (long long)h * outputScalePercent / 100));
        } else {
            appendPiece(text, format(", (%d x %d pixels)\n", rasterWidth, rasterHeight));
        }
    }
    if (isRasterType(t) && outputAntialias) appendPiece(text, ", antialiased\n");
    return text;
}

// ------------------------------------------------------------ sizes

void OutputSettings::outputWindowSize(int windowWidth, int windowHeight, int& width, int& height) {
    if (windowWidth < 1 || windowHeight < 1) {
        width = height = 700;
    } else {
        width = windowWidth;
        height = windowHeight;
    }
}

void OutputSettings::rasterOutputSize(int windowWidth, int windowHeight, int requestWidth, int requestHeight,
                                      long long& width, long long& height) const {
    if (hasRasterSize()) {
        // An explicit size is taken as it stands: the scale no longer applies.
        width = rasterWidth;
        height = rasterHeight;
        return;
    }
    int w = 0, h = 0;
    if (requestWidth != -1 && requestHeight != -1) {
        w = requestWidth;
        h = requestHeight;
    } else {
        outputWindowSize(windowWidth, windowHeight, w, h);
    }
    width = (long long)w * outputScalePercent / 100;
    height = (long long)h * outputScalePercent / 100;
}

std::string OutputSettings::rasterSizeProblem(long long width, long long height) {
    // Every buffer of the output path is indexed with ints: 3 bytes a pixel
    // must stay within INT_MAX (about 715 million pixels, 2 GB).
    if (width < 1 || height < 1) return format("ERROR Output size %lld x %lld pixels is empty\n", width, height);
    if (width <= INT_MAX / 3 && height <= INT_MAX / 3 && width * height <= INT_MAX / 3) return {};
    return format("ERROR Output size %lld x %lld pixels is too large\n", width, height);
}

std::string OutputSettings::numberedFileName(const std::string& name, int i) {
    if (i == 0) return name;
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    const std::string number = std::to_string(i);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}
