#pragma once
// One print job on a Qt printer: the printer (chosen in the print dialog or
// given, such as a PDF file), its page geometry, the page being drawn, the
// abort dialog while it is drawn, and sending the page to the printer at
// the end.
//
//   PrintJob job(options);            // the print dialog, unless a printer is given
//   if (job.usable() && job.start(background, &abortFlag)) {
//       ... draw on job.canvas(), calling job.keepResponsive() now and then ...
//       job.finish(abortFlag);         // printed, or nothing at all when aborted
//   }
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

#include "output/PrintCanvas.h"
#include "output/PrintPageGeometry.h"

class QPrinter;
class PrintAbortDialog;

class PrintJob {
public:
    static constexpr const char* kDocumentName = "KRV Print Job";

    struct Options {
        QPrinter* printer = nullptr;  // not owned; none: ask with the print dialog
        bool abortDialog = true;      // show the modeless abort dialog while drawing
        QWidget* owner = nullptr;     // disabled during the job; none: the active window
        double marginInchesX = 0.5, marginInchesY = 0.5;
        float tolerance = 0.99f;
    };

    explicit PrintJob(const Options& options);
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // A printer was chosen and its page suits (equal resolutions, room for
    // a picture).  A cancelled print dialog leaves the job unusable.
    bool usable() const { return geometry_.has_value(); }
    const PrintPageGeometry& page() const { return *geometry_; }
    QPrinter* printer() const { return printer_; }

    // Starts the document and its page: false when the printer cannot take a
    // document (an invalid printer, a PDF file that cannot be written).
    // Shows the abort dialog, which sets *abortFlag, and disables the owner.
    bool start(const float background[3], bool* abortFlag);
    bool started() const { return canvas_.has_value(); }
    PrintCanvas& canvas() { return *canvas_; }
    PrintAbortDialog* abortDialog() const { return dialog_.get(); }

    // Lets the abort dialog react while a long page is drawn (cheap to call
    // often: events are processed at most every 30 ms).
    void keepResponsive();

    // Ends the job: sends the page to the printer, or, when aborted, nothing
    // (a PDF file that start() created is removed again; one that was
    // there before is left as it was).  Closes the abort dialog and
    // enables the owner again.  True when the page was printed.
    bool finish(bool aborted);

    // A printer that writes PDF file `path` at `dpi`, the sheet without
    // unprintable border (the default page size of the locale).
    static std::unique_ptr<QPrinter> pdfPrinter(const QString& path, int dpi = 600);

private:
    Options options_;
    std::unique_ptr<QPrinter> ownPrinter_;
    QPrinter* printer_ = nullptr;
    std::optional<PrintPageGeometry> geometry_;
    std::optional<PrintCanvas> canvas_;
    std::unique_ptr<PrintAbortDialog> dialog_;
    QPointer<QWidget> owner_;
    bool ownerWasEnabled_ = false;
    bool pdfCreated_ = false;  // start() made the (empty) PDF file
    QElapsedTimer sinceEvents_;
};
