#pragma once
// Where the picture goes on a printed page, in device pixels, and the
// software renderer's tuning values for the page's resolution.
//
// The page is described the way a printer driver reports it: resolution,
// the printable area and the whole sheet in device pixels, and where the
// printable area starts on the sheet.  The picture keeps the requested
// margins from the sheet's edges (at least the unprintable border), and its
// origin is then given relative to the printable area, which is where a
// painter on the printer has its origin.
class QPrinter;

struct PrinterCaps {
    int dpiX = 0, dpiY = 0;                       // device pixels per inch
    int printableWidth = 0, printableHeight = 0;  // printable area
    int paperWidth = 0, paperHeight = 0;          // the whole sheet
    int offsetX = 0, offsetY = 0;                 // printable area's top-left corner on the sheet

    // The capabilities of a printer as it is set up now (its resolution,
    // paper and margins).
    static PrinterCaps of(const QPrinter& printer);
};

struct PrintPageGeometry {
    int resolution = 0;      // dpi, the same in x and y
    int marginX = 0, marginY = 0;  // picture's top-left corner in the printable area
    int width = 0, height = 0;     // picture size W x H
    int lineWidthMultiplier = 1;
    float colourTolerance = 0.0001f;  // squared RGB distance
    float areaTolerance = 0.0f;       // square device pixels
    float toleranceFactor = 1.0f;     // divisor of the depth-ordering tolerance

    // Geometry for margins in inches and the output tolerance t (0..1; a
    // larger t gives finer shading).  False, with the error message shown,
    // when the x and y resolutions differ; false without a message when the
    // page leaves no room for a picture.
    static bool compute(const PrinterCaps& caps, double marginInchesX, double marginInchesY, float tolerance,
                        PrintPageGeometry* out);

    // A window point (origin bottom left, y up) on the device (origin at the
    // printable area's top left, y down).
    int deviceX(int x) const { return marginX + x; }
    int deviceY(int y) const { return marginY + height - y; }
};
