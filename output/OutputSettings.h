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

    // ---- the output keys (the viewer shows the description after each)
    void cycleColourMode();   // colour, black and white, grey, colour, ...
    void cycleType();         // PNG .. VRML, then PNG; the extension follows
    void raiseQuality();      // JPG only: +5, above 100 back to 50
    void raiseScale();        // not PS/EPS: drops the raster size, doubles; above 800 back to 100
    void toggleAntialias() { outputAntialias = !outputAntialias; }

    bool hasRasterSize() const { return rasterWidth > 0 && rasterHeight > 0; }
    static bool isRasterType(int type) {
        return type == OUTPUT_PNG || type == OUTPUT_JPG || type == OUTPUT_BMP || type == OUTPUT_PPM;
    }
    // The type word, "UNKNOWN" outside the table.
    static const char* typeWord(int type);

    // The one-line description of the next output, ending in one newline.
    // Percent signs are doubled: the text is shown through a formatting call.
    // windowWidth/Height: the drawing size the output would be taken from.
    std::string describe(int windowWidth, int windowHeight) const;

    // Window size for output: the drawing size, or 700 x 700 when either
    // side is unknown (below 1).
    static void outputWindowSize(int windowWidth, int windowHeight, int& width, int& height);
    // Pixel size of an off-screen raster output: the explicit raster size
    // when set, else the requested size (when neither side is -1), else the
    // output window size, times the scale percent.  64-bit, so absurd
    // scales cannot wrap; see rasterSizeProblem.
    void rasterOutputSize(int windowWidth, int windowHeight, int requestWidth, int requestHeight, long long& width,
                          long long& height) const;
    // Empty when a width x height RGB picture (3 bytes a pixel) can be held
    // and indexed with ints; otherwise the message to show, naming the size.
    static std::string rasterSizeProblem(long long width, long long height);

    // Name of file i of a multi-file output: the name itself for 0, else i
    // inserted before the last "." (appended without one): a.wrl, a1.wrl.
    static std::string numberedFileName(const std::string& name, int i);
};
