#pragma once
// The printer renderer: the software renderer whose shapes, ordered back to
// front, become flat polygons and lines on a printed page (a printer chosen
// in the print dialog, or a given one such as a PDF file).  Translucent
// faces keep their alpha on the page, and images (image items, the logo)
// are placed on it as on the screen.  Points are not printed.
//
// Construction asks for the printer (a cancelled dialog leaves the renderer
// unusable, with no message) and sizes the image to the page; the first
// isUsable starts the document and shows the abort dialog; finishFrame draws
// the deferred shapes and sends the page, or nothing when the user
// cancelled.
#include <memory>

#include "output/GraphicsAEA.h"
#include "output/PrintJob.h"

class QPrinter;

class GraphicsAEAWindows : public GraphicsAEA {
public:
    // Margins in inches, tolerance 0..1 (finer shading when larger).  With
    // `printer` null the print dialog chooses one; abortDialog shows the
    // modeless cancel dialog while the page is drawn.
    GraphicsAEAWindows(Graphics* from, float marginX, float marginY, float tolerance, bool reverse, int colourMode,
                       std::unique_ptr<QPrinter> printer = nullptr, bool abortDialog = true);
    ~GraphicsAEAWindows() override;

    bool isUsable(int purpose) override;
    void finishFrame() override;

    void drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba) override;
    void setPixelRegion(int x, int y, int width, int height) override;
    void fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]) override;
    void drawWideLine(float width, const WinVertex& a, const WinVertex& b) override;
    void drawWidePoint(float size, const WinVertex& v) override;

    // The page went to the printer at the last finishFrame.
    bool printed() const { return printed_; }
    // Also told here at each finishFrame, when set (the renderer's owner
    // may no longer know its type).
    bool* printedFlag = nullptr;
    PrintJob& job() { return *job_; }

private:
    void keepResponsive();

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<PrintJob> job_;
    bool printed_ = false;
    bool drawingPage_ = false;  // inside finishFrame, drawing the deferred shapes
};
