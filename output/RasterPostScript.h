#pragma once
// A raster picture wrapped in a PostScript or EPS page (screen pixels, and
// scenes that vector output cannot show).
#include <string>

#include "output/RasterImage.h"

// Writes `image` as one colour image on a page of pageWidth x pageHeight
// image pixels at `resolution` pixels per inch, its lower left corner at
// (marginX, marginY).  Row 0 of the image is the top of the picture unless
// flipRows is set (bottom-up renderer rows).  PostScript in landscape turns
// the page; EPS never does.  False when the image is empty or smaller than
// its size says, the resolution is not positive, or the file cannot be
// written completely (an earlier file of that name is kept then).
bool writeRasterPostScript(bool isPostScript, const RasterImage& image, const std::string& path, bool landscape,
                           int marginX, int marginY, int pageWidth, int pageHeight, int resolution, bool flipRows);
