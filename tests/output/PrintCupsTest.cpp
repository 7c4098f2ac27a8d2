// One page printed to a real CUPS queue with a PDF printer.  Runs only
// inside tests/output/cups_print_test.sh, which starts a private cupsd and
// names the queue and the directory its PDF printer writes into.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>
#include <QSet>
#include <QThread>

#include <cstdlib>

#include "PdfTestHelpers.h"
#include "output/PrintJob.h"

namespace {

QSet<QString> pdfFiles(const QString& dir) {
    QSet<QString> files;
    for (const QString& name : QDir(dir).entryList({"*.pdf"}, QDir::Files)) files.insert(name);
    return files;
}

TEST(PrintCups, QueueProducesThePrintedPage) {
    const char* queue = std::getenv("VIEWER_CUPS_PRINTER");
    const char* outDir = std::getenv("VIEWER_CUPS_OUTDIR");
    if (!queue || !outDir) GTEST_SKIP() << "run by cups_print_test.sh, which starts the CUPS queue";
    const QString dir = QString::fromLocal8Bit(outDir);
    const QSet<QString> before = pdfFiles(dir);

    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(QString::fromLocal8Bit(queue));
    ASSERT_TRUE(printer.isValid()) << "Qt does not see queue " << queue;
    ASSERT_EQ(printer.outputFormat(), QPrinter::NativeFormat);
    PrintJob::Options options;
    options.printer = &printer;
    options.abortDialog = false;
    PrintJob job(options);
    ASSERT_TRUE(job.usable());
    const PrintPageGeometry page = job.page();
    bool abort = false;
    const float background[3] = {0, 0, 0.5f};
    ASSERT_TRUE(job.start(background, &abort));
    // A yellow triangle over the lower left half of the picture.
    const float a[2] = {0, 0}, b[2] = {float(page.width), 0}, c[2] = {0, float(page.height)};
    const float yellow[4] = {1, 1, 0, 1};
    job.canvas().fillTriangle(a, b, c, yellow);
    ASSERT_TRUE(job.finish(false));

    // The queue converts the job and writes the PDF; wait for it.
    QString produced;
    QElapsedTimer clock;
    clock.start();
    while (produced.isEmpty() && clock.elapsed() < 120000) {
        for (const QString& name : pdfFiles(dir))
            if (!before.contains(name) && QFileInfo(dir + "/" + name).size() > 0) produced = dir + "/" + name;
        if (produced.isEmpty()) QThread::msleep(250);
    }
    ASSERT_FALSE(produced.isEmpty()) << "no PDF appeared in " << outDir;
    QThread::msleep(500);  // let the printer finish writing it
    const QImage img = pdftest::RenderPage(produced, 20);
    const QString title = pdftest::Info(produced, "Title");
    QFile::remove(produced);
    QFile::remove(produced + ".page.png");

    ASSERT_FALSE(img.isNull()) << "poppler cannot read " << produced.toStdString();
    EXPECT_TRUE(title.contains("KRV Print Job")) << title.toStdString();
    // Picture corners in page pixels at 20 dpi (half an inch of margin
    // at least): upper right dark blue, lower left yellow.
    const int w = img.width(), h = img.height();
    const QColor upperRight = img.pixelColor(w - 14, 14), lowerLeft = img.pixelColor(14, h - 14);
    EXPECT_LT(upperRight.red(), 40);
    EXPECT_GT(upperRight.blue(), 90);
    EXPECT_GT(lowerLeft.red(), 200);
    EXPECT_GT(lowerLeft.green(), 200);
    EXPECT_LT(lowerLeft.blue(), 60);
    EXPECT_EQ(img.pixelColor(3, 3), QColor(255, 255, 255)) << "the margin stays white";
}

}  // namespace
