#pragma once
// Vector PostScript and EPS output: the software renderer with every
// window-space triangle, line and point written as a PostScript drawing
// command, back to front (nothing here has a depth buffer), on a page of
// 300 device pixels per inch.  Smooth-shaded triangles are cut into flat
// ones until the colour or the size no longer matters at print resolution.
#include <string>

#include "output/GraphicsAEA.h"
#include "output/PostScriptPage.h"

class GraphicsAEAPS : public GraphicsAEA {
public:
    // Paper in thousandths of an inch, margins in inches; tolerance 0..1
    // (higher is finer: smaller flat triangles, tighter depth ordering).
    GraphicsAEAPS(Graphics* from, int paperWidth, int paperHeight, float leftMargin, float bottomMargin,
                  const std::string& fileName, bool isPostScript, bool landscape, float tolerance,
                  int lineWidthMultiplier, bool reverse, int colourMode);
    ~GraphicsAEAPS() override;

    // Opens the file and writes the prolog the first time; false when the
    // name is missing or the file cannot be created.
    bool isUsable(int purpose) override;
    // Draws what is deferred, ends the page and closes the file.
    void finishFrame() override;
    bool emitImage(const ImageRecord& image) override;

    void drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba) override;
    void setPixelRegion(int x, int y, int width, int height) override;
    void fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]) override;
    void drawWideLine(float width, const WinVertex& a, const WinVertex& b) override;
    void drawWidePoint(float size, const WinVertex& v) override;

    // The file was written completely and is in place under its name.
    bool written() const { return written_; }
    const std::string& fileName() const { return fileName_; }

private:
    PostScriptPage page_;
    std::string fileName_;
    bool opened_ = false;
    bool written_ = false;
    const int* keyColour_ = nullptr;  // of the image being drawn
};
