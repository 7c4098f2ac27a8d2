#pragma once
// Reading our PostScript back as a user's tools would: Ghostscript checks
// that a file runs and renders its page, and a small independent decoder of
// the ASCII85 and run-length formats checks the image data.
#include <string>
#include <vector>

namespace pstest {

// Runs the file on Ghostscript's null device; true when it exits 0.  The
// interpreter's output goes to *log.
bool ghostscriptRuns(const std::string& path, std::string* log = nullptr);

// Renders the (first) page at dpi dots per inch into RGB rows, top row
// first.  epsCrop renders only the bounding box of an EPS.
bool ghostscriptRender(const std::string& path, int dpi, bool epsCrop, int& width, int& height,
                       std::vector<unsigned char>& rgb, std::string* log = nullptr);

// The bytes an ASCII85 text up to "~>" stands for; false on a malformed
// text.
bool decodeAscii85(const std::string& text, std::vector<unsigned char>& out);
// The bytes of run-length packets up to the end mark; false when the data
// ends before it.
bool decodeRunLength(const std::vector<unsigned char>& packets, std::vector<unsigned char>& out);

std::string readText(const std::string& path);

// Fraction of pixels whose channels differ by more than tolerance between
// two RGB pictures of the same size (top row first); when diffPath is given
// and some pixel differs, a PNG of the differences is written there.
double differingFraction(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int width,
                         int height, int tolerance, const std::string& diffPath = {});

}  // namespace pstest
