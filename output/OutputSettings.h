#pragma once
// The image output settings of a viewer and the setters that the tokens,
// the keys and the output code share.
#include <string>

enum OutputType {
    OUTPUT_PNG = 0,
    OUTPUT_KVF = 1,
    OUTPUT_JPG = 2,
    OUTPUT_BMP = 3,
    OUTPUT_PPM = 4,
    OUTPUT_PS = 5,
    OUTPUT_EPS = 6,
    OUTPUT_VRML = 7,
};

struct OutputSettings {
    static constexpr int kNumTypes = 8;
    // Word of each type (PRINTER token, description line) and file extension.
    static const char* const kTypeWords[kNumTypes];
    static const char* const kExtensions[kNumTypes];

    std::string outputFileName = "viewerOutput.png";
    int outputScalePercent = 100;
    int outputQuality = 90;
    bool outputAntialias = true;
    int paperWidth = 8500;
    int paperHeight = 11000;
    int rasterWidth = -1;
    int rasterHeight = -1;
    int outputType = OUTPUT_PNG;
    bool reverseColours = false;
    int outputColourMode = 0;  // 0 colour, 1 black and white, 2 grey

    void setOutputType(int type);
    // Null keeps the current name; a trailing ".<known extension>" is replaced
    // by the extension of the current type.
    void setOutputFileName(const char* name);
    // Type by PRINTER word: "EPS", "BMP", "JPG", "PPM", "VRML", "KVF", "PS";
    // any other word is PNG.
    static int TypeFromWord(const char* word);

    bool setQuality(int quality);          // only 0..100
    bool setScalePercent(int percent);     // at least 1; clears the raster size
    bool setRasterSize(int width, int height);  // both above 9
    // "A4", "LETTER" or "%g %g" inches; false when the text is none of these.
    bool setPaperSize(const char* text);
};
