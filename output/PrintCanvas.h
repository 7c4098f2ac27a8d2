#pragma once
// The drawing of one printed page: flat triangles, lines, clip rectangles
// and the background, given in the software renderer's window pixels and
// kept as device-pixel drawing operations until the page is complete.
//
// Nothing reaches the printer while the page is drawn: a job that is
// cancelled half-way sends nothing to the spooler (a print engine cannot
// take back a document it has begun).  replay() paints the page on a
// painter whose origin is the printable area's top left, on a printer, a
// PDF file or an image alike.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <vector>

#include "output/PrintPageGeometry.h"

class QPainter;

class PrintCanvas {
public:
    struct Op {
        enum Kind { Clip, Triangle, Line, Background, Image } kind = Triangle;
        QPoint p[3];       // device pixels; Line uses p[0], p[1]; Clip, Background and Image p[0], p[1] as corners
        QColor colour;     // with the fill's alpha
        int width = 0;     // Line: pen width in device pixels
        QImage image;      // Image: its pixels, top row first
    };

    explicit PrintCanvas(const PrintPageGeometry& page) : page_(page) {}

    // The page's start: the picture's rectangle filled with the background
    // colour, except on a background brighter than 0.998 (luminance), white
    // paper included, where the brush stays hollow and nothing is filled.
    void startPage(const float background[3]);
    bool brushHollow() const { return brushHollow_; }

    // Pixel region x, y, w, h (window pixels): triangles and lines entirely
    // beyond one of its edges are skipped, and what is drawn is clipped to it.
    void setClip(int x, int y, int width, int height);
    // A flat triangle (window pixels, rounded to whole ones) in an RGBA
    // colour; alpha below 1 gives a translucent fill, alpha 0 nothing.
    void fillTriangle(const float a[2], const float b[2], const float c[2], const float rgba[4]);
    // A line of width max(int(width) * multiplier, 1) device pixels.
    void drawLine(float width, const float a[2], const float b[2], const float rgb[3]);
    // An RGBA image (rows bottom first) with its lower left corner at window
    // pixel (x, y), each image pixel zoom x zoom window pixels.
    void drawImage(int x, int y, int width, int height, const unsigned char* rgba, float zoom);

    void replay(QPainter& painter) const;

    const std::vector<Op>& ops() const { return ops_; }
    const PrintPageGeometry& page() const { return page_; }
    // A colour channel 0..1 as a byte (truncated; out-of-range values limited).
    static int channel(float c);

private:
    bool outsideClip(const QPoint* window, int count) const;

    PrintPageGeometry page_;
    std::vector<Op> ops_;
    bool brushHollow_ = true;
    // Clip rectangle in window pixels: x0 <= x <= x1, y0 <= y <= y1.
    int clipX0_ = 0, clipX1_ = 0, clipY0_ = 0, clipY1_ = 0;
    bool clipSet_ = false;
};
