// Printing: the page geometry of a printer, the page's drawing operations,
// PDF output read back with poppler, the abort dialog and the print dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <filesystem>

#include "PdfTestHelpers.h"
#include "TestSupport.h"
#include "output/PrintAbortDialog.h"
#include "output/PrintCanvas.h"
#include "output/PrintJob.h"
#include "output/PrintPageGeometry.h"
#include "platform/MessageSink.h"

namespace {

struct GeometryCase {
    const char* name;
    PrinterCaps caps;
    float tolerance;
    int marginX, marginY, width, height, multiplier;
    float areaTolerance, toleranceFactor;
};

// dpi x, y; printable w, h; paper w, h; offset x, y
const GeometryCase kGeometry[] = {
    {"600dpi_no_border", {600, 600, 5100, 6600, 5100, 6600, 0, 0}, 0.99f, 300, 300, 4499, 5999, 2, 144.0f, 0.99f},
    {"border_wider_than_margin", {300, 300, 2150, 2900, 2550, 3300, 200, 200}, 0.99f, 0, 0, 2149, 2899, 1, 36.0f,
     0.99f},
    // The right and bottom borders are wider than the margins: the picture
    // moves onto the printable area instead of being cut.
    {"far_border_wider_than_margin", {300, 300, 2350, 3200, 2550, 3300, 0, 20}, 1.5f, 101, 130, 2249, 2999, 1, 9.0f,
     1.0f},
    // Narrow printable area with unequal borders: centred on the sheet it
    // would stick out on the right by 24 pixels.
    {"narrow_printable_area", {300, 300, 1900, 3300, 2550, 3300, 300, 0}, 0.05f, 1, 150, 1899, 2999, 1,
     float((1 - 0.05 + 0.01) * 300 * (1 - 0.05 + 0.01) * 300), 0.1f},
};

class PrintGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(PrintGeometry, MarginsSizeAndTolerances) {
    const GeometryCase& c = GetParam();
    PrintPageGeometry g;
    ASSERT_TRUE(PrintPageGeometry::compute(c.caps, 0.5, 0.5, c.tolerance, &g));
    EXPECT_EQ(g.resolution, c.caps.dpiX);
    EXPECT_EQ(g.marginX, c.marginX);
    EXPECT_EQ(g.marginY, c.marginY);
    EXPECT_EQ(g.width, c.width);
    EXPECT_EQ(g.height, c.height);
    EXPECT_EQ(g.lineWidthMultiplier, c.multiplier);
    EXPECT_NEAR(g.areaTolerance, c.areaTolerance, 0.01f * c.areaTolerance);
    EXPECT_FLOAT_EQ(g.toleranceFactor, c.toleranceFactor);
    EXPECT_FLOAT_EQ(g.colourTolerance, 0.0001f);
    // The picture lies on the printable area.
    EXPECT_GE(g.marginX, 0);
    EXPECT_LE(g.marginX + g.width, c.caps.printableWidth);
    EXPECT_LE(g.marginY + g.height, c.caps.printableHeight);
}

INSTANTIATE_TEST_SUITE_P(Pages, PrintGeometry, ::testing::ValuesIn(kGeometry),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrintGeometryErrors, UnequalResolutionsAreRefusedWithAMessage) {
    platform::MessageRecorder messages;
    PrintPageGeometry g;
    EXPECT_FALSE(PrintPageGeometry::compute({600, 300, 5100, 3300, 5100, 3300, 0, 0}, 0.5, 0.5, 0.99f, &g));
    ASSERT_EQ(messages.entries().size(), 1u);
    EXPECT_EQ(messages.entries()[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(messages.entries()[0].caption, "Viewer");
    EXPECT_EQ(messages.entries()[0].text, "ERROR: X and Y printer resolutions not same\n");
    // A page too small for a picture is refused without one.
    messages.clear();
    EXPECT_FALSE(PrintPageGeometry::compute({300, 300, 200, 200, 300, 300, 50, 50}, 0.5, 0.5, 0.99f, &g));
    EXPECT_TRUE(messages.entries().empty());
}

PrintPageGeometry smallPage() {
    PrintPageGeometry g;
    g.resolution = 300;
    g.marginX = 10;
    g.marginY = 20;
    g.width = 100;
    g.height = 80;
    g.lineWidthMultiplier = 2;
    return g;
}

TEST(PrintCanvasTest, BackgroundRectangleOnlyWhereThePaperIsNotTheBackground) {
    struct Case {
        float colour[3];
        bool hollow;
        int red, green, blue;  // of the rectangle, -1: none
    } cases[] = {
        {{1, 1, 1}, true, -1, -1, -1},
        {{0.999f, 0.999f, 0.999f}, true, -1, -1, -1},
        {{0, 0, 0}, false, 0, 0, 0},
        {{0.1f, 0.2f, 0.8f}, false, 25, 51, 204},
    };
    for (const Case& c : cases) {
        PrintCanvas canvas(smallPage());
        canvas.startPage(c.colour);
        EXPECT_EQ(canvas.brushHollow(), c.hollow) << c.colour[0];
        if (c.red < 0) {
            EXPECT_TRUE(canvas.ops().empty()) << c.colour[0];
            continue;
        }
        ASSERT_EQ(canvas.ops().size(), 1u);
        const PrintCanvas::Op& op = canvas.ops()[0];
        EXPECT_EQ(op.kind, PrintCanvas::Op::Background);
        EXPECT_EQ(op.p[0], QPoint(10, 20));
        EXPECT_EQ(op.p[1], QPoint(110, 100));
        EXPECT_EQ(op.colour, QColor(c.red, c.green, c.blue));
    }
}

TEST(PrintCanvasTest, ClipMappingColoursAndLineWidths) {
    PrintCanvas canvas(smallPage());
    const float white[3] = {1, 1, 1};
    canvas.startPage(white);
    canvas.setClip(10, 10, 20, 20);  // window x 10..31, y 9..30
    ASSERT_EQ(canvas.ops().size(), 1u);
    EXPECT_EQ(canvas.ops()[0].p[0], QPoint(20, 70));  // (mx + x, my + H - (y + h))
    EXPECT_EQ(canvas.ops()[0].p[1], QPoint(41, 91));  // (mx + x + w + 1, my + H - y + 1)

    const float opaque[4] = {0.5f, -0.2f, 1.3f, 1.0f};
    const float a[2] = {5, 15}, b[2] = {15.4f, 15}, c[2] = {14.6f, 25};
    canvas.fillTriangle(a, b, c, opaque);  // straddles the left edge: kept
    const float l1[2] = {0, 0}, l2[2] = {9.4f, 40}, l3[2] = {9, 12};
    canvas.fillTriangle(l1, l2, l3, opaque);  // all left of x = 10 after rounding
    const float t1[2] = {12, 31.4f}, t2[2] = {40, 33}, t3[2] = {20, 60};
    canvas.fillTriangle(t1, t2, t3, opaque);  // all above y = 30
    const float translucent[4] = {1, 0, 0, 0.5f}, invisible[4] = {1, 0, 0, 0};
    canvas.fillTriangle(a, b, c, translucent);
    canvas.fillTriangle(a, b, c, invisible);
    const float grey[3] = {0.25f, 0.25f, 0.25f};
    const float p[2] = {12, 12}, q[2] = {20, 20};
    canvas.drawLine(1.5f, p, q, grey);
    canvas.drawLine(0.3f, p, q, grey);
    canvas.drawLine(3.0f, l1, l3, grey);  // beyond the left edge

    const auto& ops = canvas.ops();
    ASSERT_EQ(ops.size(), 5u);
    EXPECT_EQ(ops[1].kind, PrintCanvas::Op::Triangle);
    EXPECT_EQ(ops[1].p[0], QPoint(15, 85));  // rounded, then (mx + x, my + H - y)
    EXPECT_EQ(ops[1].p[1], QPoint(25, 85));
    EXPECT_EQ(ops[1].p[2], QPoint(25, 75));
    EXPECT_EQ(ops[1].colour, QColor(127, 0, 255, 255));  // truncated and limited bytes
    EXPECT_EQ(ops[2].colour, QColor(255, 0, 0, 127));
    EXPECT_EQ(ops[3].kind, PrintCanvas::Op::Line);
    EXPECT_EQ(ops[3].width, 2);  // int(1.5) * multiplier 2
    EXPECT_EQ(ops[3].colour, QColor(63, 63, 63));
    EXPECT_EQ(ops[4].width, 1);  // at least one pixel
}

// ---- whole jobs on PDF files

QColor pixel(const QImage& img, int x, int y) { return img.pixelColor(x, y); }

::testing::AssertionResult near(QColor got, int r, int g, int b, int tolerance) {
    if (std::abs(got.red() - r) <= tolerance && std::abs(got.green() - g) <= tolerance &&
        std::abs(got.blue() - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.red() << ", " << got.green() << ", " << got.blue()
                                         << ") expected (" << r << ", " << g << ", " << b << ")";
}

// A 2 x 2 inch PDF page at 300 dpi with a quarter inch margin: the picture
// is 449 x 449 pixels at (75, 75).
std::unique_ptr<QPrinter> smallPdf(const std::string& path) {
    auto printer = PrintJob::pdfPrinter(QString::fromStdString(path), 300);
    printer->setPageSize(QPageSize(QSizeF(2, 2), QPageSize::Inch));
    return printer;
}

PrintJob::Options pdfOptions(QPrinter* printer) {
    PrintJob::Options o;
    o.printer = printer;
    o.abortDialog = false;
    o.marginInchesX = o.marginInchesY = 0.25;
    return o;
}

TEST(PrintJobPdf, PageReadBackByPopplerShowsTranslucencyClipAndLines) {
    if (!pdftest::HavePoppler()) GTEST_SKIP() << "pdftoppm/pdfinfo (poppler-utils) not installed";
    const std::string dir = testsupport::ScratchDir("print_pdf");
    const std::string path = dir + "/page.pdf";
    auto printer = smallPdf(path);
    PrintJob job(pdfOptions(printer.get()));
    ASSERT_TRUE(job.usable());
    EXPECT_EQ(job.page().marginX, 75);
    EXPECT_EQ(job.page().width, 449);
    bool abort = false;
    const float background[3] = {0.2f, 0.2f, 0.6f};
    ASSERT_TRUE(job.start(background, &abort));
    PrintCanvas& canvas = job.canvas();
    // Window coordinates (y up) of the 449 x 449 picture.
    const float green[4] = {0, 1, 0, 1}, red[4] = {1, 0, 0, 0.5f};
    const float g1[2] = {0, 0}, g2[2] = {300, 0}, g3[2] = {0, 300};
    canvas.fillTriangle(g1, g2, g3, green);
    const float r1[2] = {100, 100}, r2[2] = {440, 100}, r3[2] = {100, 440};
    canvas.fillTriangle(r1, r2, r3, red);  // half over the green one
    const float black[3] = {0, 0, 0};
    const float s1[2] = {20, 400}, s2[2] = {200, 400};
    canvas.drawLine(4, s1, s2, black);
    canvas.setClip(0, 0, 200, 448);  // left part only
    const float w1[2] = {150, 420}, w2[2] = {440, 420}, w3[2] = {150, 440};
    canvas.fillTriangle(w1, w2, w3, green);  // straddles the clip's right edge
    EXPECT_TRUE(job.finish(false));

    EXPECT_EQ(pdftest::Info(QString::fromStdString(path), "Title"), "KRV Print Job");
    EXPECT_EQ(pdftest::Info(QString::fromStdString(path), "Pages"), "1");
    const QImage img = pdftest::RenderPage(QString::fromStdString(path), 300);
    ASSERT_EQ(img.width(), 600);
    ASSERT_EQ(img.height(), 600);
    auto at = [&](int x, int y) { return pixel(img, 75 + x, 75 + 449 - y); };  // window to page pixels
    EXPECT_TRUE(near(pixel(img, 20, 20), 255, 255, 255, 0)) << "the margin stays white";
    EXPECT_TRUE(near(at(400, 30), 51, 51, 153, 2)) << "background";
    EXPECT_TRUE(near(at(30, 30), 0, 255, 0, 2)) << "opaque green";
    EXPECT_TRUE(near(at(120, 120), 128, 128, 0, 3)) << "translucent red over green";
    EXPECT_TRUE(near(at(300, 150), 153, 25, 76, 3)) << "translucent red over the background";
    EXPECT_TRUE(near(at(100, 400), 0, 0, 0, 2)) << "line";
    EXPECT_TRUE(near(at(160, 430), 0, 255, 0, 2)) << "inside the clip";
    EXPECT_TRUE(near(at(260, 428), 51, 51, 153, 2)) << "clipped away";
}

TEST(PrintJobPdf, DocumentThatCannotStartPrintsNothing) {
    const std::string dir = testsupport::ScratchDir("print_nostart");
    auto printer = smallPdf(dir + "/missing/dir/page.pdf");
    PrintJob job(pdfOptions(printer.get()));
    ASSERT_TRUE(job.usable());
    bool abort = false;
    const float white[3] = {1, 1, 1};
    EXPECT_FALSE(job.start(white, &abort));
    EXPECT_FALSE(job.finish(false));
    EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
}

// Cancel in the abort dialog, pressed while the page is being drawn: the job
// ends without output, the message comes once, the owner is usable again.
TEST(PrintJobPdf, CancelInTheAbortDialogEndsTheJobOnce) {
    const std::string dir = testsupport::ScratchDir("print_abort");
    const std::string path = dir + "/page.pdf";
    const std::string kept = dir + "/kept.pdf";
    {
        QFile f(QString::fromStdString(kept));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    for (const std::string& target : {path, kept}) {
        platform::MessageRecorder messages;
        QWidget owner;
        owner.show();
        auto printer = smallPdf(target);
        PrintJob::Options options = pdfOptions(printer.get());
        options.abortDialog = true;
        options.owner = &owner;
        PrintJob job(options);
        bool abort = false;
        const float white[3] = {1, 1, 1};
        ASSERT_TRUE(job.start(white, &abort));
        ASSERT_NE(job.abortDialog(), nullptr);
        EXPECT_TRUE(job.abortDialog()->isVisible());
        EXPECT_FALSE(job.abortDialog()->isModal());
        EXPECT_FALSE(owner.isEnabled());
        QPushButton* cancel = job.abortDialog()->cancelButton();
        QTimer::singleShot(100, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
        QElapsedTimer clock;
        clock.start();
        const float a[2] = {0, 0}, b[2] = {10, 0}, c[2] = {0, 10}, colour[4] = {1, 0, 0, 1};
        int drawn = 0;
        while (!abort && clock.elapsed() < 20000) {
            job.canvas().fillTriangle(a, b, c, colour);
            job.keepResponsive();
            ++drawn;
        }
        EXPECT_TRUE(abort) << "cancel never reached the job";
        QTest::mouseClick(cancel, Qt::LeftButton);  // a second press changes nothing
        EXPECT_FALSE(job.finish(abort));
        EXPECT_TRUE(owner.isEnabled());
        ASSERT_EQ(messages.entries().size(), 1u);
        EXPECT_EQ(messages.entries()[0].icon, platform::MessageIcon::Warning);
        EXPECT_EQ(messages.entries()[0].caption, "Print Abort");
        EXPECT_EQ(messages.entries()[0].text, "Print job has been aborted.");
        if (target == path) {
            EXPECT_FALSE(std::filesystem::exists(path)) << "an aborted job leaves no file";
        } else {
            QFile f(QString::fromStdString(kept));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), QByteArray("earlier")) << "a file that was there is kept as it was";
        }
    }
}

TEST(PrintJobDialog, CancelledPrintDialogLeavesTheJobUnusableWithoutAMessage) {
    if (!testsupport::HaveDisplay()) GTEST_SKIP() << "the print dialog needs a display";
    platform::MessageRecorder messages;
    int rejected = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
            ++rejected;
        }
    });
    closer.start(50);
    PrintJob job(PrintJob::Options{});
    closer.stop();
    EXPECT_EQ(rejected, 1);
    EXPECT_FALSE(job.usable());
    EXPECT_TRUE(messages.entries().empty());
    bool abort = false;
    const float white[3] = {1, 1, 1};
    EXPECT_FALSE(job.start(white, &abort));
}

}  // namespace
