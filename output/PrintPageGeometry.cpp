#include "output/PrintPageGeometry.h"

#include <QPrinter>

#include <algorithm>
#include <cmath>

#include "platform/MessageSink.h"

PrinterCaps PrinterCaps::of(const QPrinter& printer) {
    PrinterCaps caps;
    caps.dpiX = printer.logicalDpiX();
    caps.dpiY = printer.logicalDpiY();
    caps.printableWidth = printer.width();
    caps.printableHeight = printer.height();
    const QRect paper = printer.paperRect(QPrinter::DevicePixel).toAlignedRect();
    const QRect page = printer.pageRect(QPrinter::DevicePixel).toAlignedRect();
    caps.paperWidth = paper.width();
    caps.paperHeight = paper.height();
    caps.offsetX = page.left() - paper.left();
    caps.offsetY = page.top() - paper.top();
    return caps;
}

namespace {

// One axis: the margin from the sheet's edge, at least the unprintable
// border; when the printable area is narrower than what the margins leave,
// the picture is as wide as the printable area and centred on the sheet.
void placeAxis(double marginInches, int resolution, int printable, int paper, int offset, int* margin, int* size) {
    int m = int(marginInches * resolution);
    if (m < offset) m = offset;
    if (printable < paper - 2 * m) m = (paper - printable) / 2;
    *size = paper - 2 * m - 1;
    // Relative to the printable area.  Where the unprintable border is wider
    // on the far side than the margin (or wider on one side than on the
    // other, for a centred picture), the picture would run off the printable
    // area and be cut; it is moved just far enough to lie on it.
    if (*size > printable) *size = printable;
    *margin = std::clamp(m - offset, 0, std::max(printable - *size, 0));
}

}  // namespace

bool PrintPageGeometry::compute(const PrinterCaps& caps, double marginInchesX, double marginInchesY,
                                float tolerance, PrintPageGeometry* out) {
    if (caps.dpiX != caps.dpiY) {
        platform::ShowMessage(platform::MessageIcon::Error, "ERROR: X and Y printer resolutions not same\n");
        return false;
    }
    PrintPageGeometry g;
    const int r = caps.dpiX;
    if (r < 1) return false;
    g.resolution = r;
    placeAxis(marginInchesX, r, caps.printableWidth, caps.paperWidth, caps.offsetX, &g.marginX, &g.width);
    placeAxis(marginInchesY, r, caps.printableHeight, caps.paperHeight, caps.offsetY, &g.marginY, &g.height);
    if (g.width < 1 || g.height < 1) return false;

    const float t = std::clamp(tolerance, 0.0f, 1.0f);
    const double side = (1.0 - t + 0.01) * r;
    g.areaTolerance = float(side * side);
    g.toleranceFactor = std::max(t, 0.1f);
    g.lineWidthMultiplier = std::max((r + 299) / 300, 1);
    *out = g;
    return true;
}
