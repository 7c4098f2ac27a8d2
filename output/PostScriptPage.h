#pragma once
// The drawing records of a vector PostScript or EPS page at 300 device
// pixels per inch: page geometry, the prolog with its procedures, clip
// regions, triangles, lines, points and images.  Coordinates come in as
// window pixels of the image box (origin at its bottom left) and are written
// in points.
#include <string>

#include "output/PostScriptFile.h"

struct PostScriptPageSetup {
    int paperWidth = 8500;    // thousandths of an inch
    int paperHeight = 11000;
    float leftMargin = 0.5f;  // inches
    float bottomMargin = 0.5f;
    bool eps = false;
    bool landscape = false;
    int lineWidthMultiplier = 1;
};

class PostScriptPage {
public:
    static constexpr int kDotsPerInch = 300;
    static constexpr double kPointsPerPixel = 72.0 / kDotsPerInch;

    explicit PostScriptPage(const PostScriptPageSetup& setup);

    // Drawing size in device pixels; at least 1 x 1.
    int width() const { return width_; }
    int height() const { return height_; }
    // Image box in page pixels: left, bottom, right, top (inclusive).
    const int* imageBox() const { return box_; }

    // Opens the file and writes the prolog; the background rectangle only
    // when the colour is not exactly white.  False when the file cannot be
    // created.
    bool open(const std::string& path, const float background[3]);
    bool isOpen() const { return file_.isOpen(); }
    const std::string& path() const { return file_.path(); }

    // Starts a new clip region: every later record is clipped to it.
    void clipRegion(int x, int y, int width, int height);
    // Line width in pixels (written as points, with the multiplier) when it
    // differs from the last one written.
    void lineWidth(float width);
    // Flat triangle; skipped when it lies wholly outside one edge of the clip
    // region.
    void triangle(const float a[2], const float b[2], const float c[2], const float rgb[3]);
    void line(float width, const float a[2], const float b[2], const float rgb[3]);
    void point(float size, const float p[2], const float rgb[3]);
    // RGBA image, first row at the bottom: pixels of alpha 0 and of the key
    // colour (when one is given, red green blue) are not painted, all others
    // are painted opaque; its lower left corner at
    // (originX, originY) and each pixel zoom pixels wide, named after the
    // list kind and object that draw it.  False when no encoder buffer
    // could be had (nothing is written then).
    bool image(int listKind, int objectId, int originX, int originY, float zoom, int width, int height,
               const unsigned char* rgba, const int keyColour[3]);

    // Ends the page and closes the file; false (and no file left) when any
    // part of it could not be written.
    bool finish();
    // Drops the file unfinished.
    void discard() { file_.discard(); }


private:
    bool colourChanged(const float rgb[3]);

    PostScriptFile file_;
    int mx_ = 0, my_ = 0;
    int width_ = 1, height_ = 1;
    int offset_ = 0;
    int box_[4] = {0, 0, 0, 0};
    bool eps_ = false, landscape_ = false;
    int lineWidthMultiplier_ = 1;

    int lastColour_[3] = {-1, -1, -1};  // hundredths; -1 none
    float lastLineWidth_ = -1.0f;
    float currentLineWidth_ = 1.0f;
    bool haveClip_ = false;
    float clip_[4] = {0, 0, 0, 0};  // left, bottom, right, top in points
};
