#include "output/PrintJob.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "output/PrintAbortDialog.h"

PrintJob::PrintJob(const Options& options) : options_(options) {
    owner_ = options.owner ? options.owner : QApplication::activeWindow();
    printer_ = options.printer;
    if (!printer_) {
        ownPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        ownPrinter_->setCopyCount(1);
        QPrintDialog dialog(ownPrinter_.get(), owner_.data());
        // One page of the current view: no page range, selection or current page.
        dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintCollateCopies |
                          QAbstractPrintDialog::PrintShowPageSize);
        if (dialog.exec() != QDialog::Accepted) return;  // cancelled: nothing printed, no message
        printer_ = ownPrinter_.get();
    }
    PrintPageGeometry g;
    if (PrintPageGeometry::compute(PrinterCaps::of(*printer_), options.marginInchesX, options.marginInchesY,
                                   options.tolerance, &g))
        geometry_ = g;
}

PrintJob::~PrintJob() {
    if (started()) finish(true);
}

bool PrintJob::start(const float background[3], bool* abortFlag) {
    if (!usable() || started()) return false;
    if (!printer_->isValid()) return false;
    printer_->setDocName(kDocumentName);
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
        // The file is written at the end; make sure now that it can be,
        // leaving a file that is there already as it is until then.
        QFile file(printer_->outputFileName());
        const bool existed = file.exists();
        if (printer_->outputFileName().isEmpty() || !file.open(QIODevice::Append)) return false;
        pdfCreated_ = !existed;
    }
    canvas_.emplace(*geometry_);
    canvas_->startPage(background);
    if (owner_) {
        ownerWasEnabled_ = owner_->isEnabled();
        owner_->setEnabled(false);
    }
    if (options_.abortDialog) {
        // A window of its own, not a child of the owner, which is disabled.
        dialog_ = std::make_unique<PrintAbortDialog>(abortFlag);
        dialog_->show();
        QCoreApplication::processEvents();
    }
    sinceEvents_.start();
    return true;
}

void PrintJob::keepResponsive() {
    if (!dialog_ || sinceEvents_.elapsed() < 30) return;
    QCoreApplication::processEvents();
    sinceEvents_.restart();
}

bool PrintJob::finish(bool aborted) {
    if (!started()) return false;
    dialog_.reset();
    if (owner_) owner_->setEnabled(ownerWasEnabled_);
    bool printed = false, begun = false;
    if (!aborted) {
        QPainter painter;
        if (painter.begin(printer_)) {
            begun = true;
            canvas_->replay(painter);
            printed = painter.end();
        }
    }
    if (!printed && printer_->outputFormat() == QPrinter::PdfFormat && (begun || pdfCreated_))
        QFile::remove(printer_->outputFileName());
    canvas_.reset();
    return printed;
}

std::unique_ptr<QPrinter> PrintJob::pdfPrinter(const QString& path, int dpi) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    printer->setResolution(dpi);
    printer->setFullPage(false);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0));
    return printer;
}
