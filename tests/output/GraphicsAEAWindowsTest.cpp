// The printer renderer: a frame of the golden scenes printed to a PDF page
// and read back by poppler agrees with the raster renderer's picture of the
// same view; the page's settings reach the engine; cancelling while the
// shapes are drawn stops the job.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GoldenScenes.h"
#include "PdfTestHelpers.h"
#include "TestSupport.h"
#include "output/GraphicsAEARaster.h"
#include "output/GraphicsAEAWindows.h"
#include "output/PrintAbortDialog.h"
#include "platform/MessageSink.h"

namespace {

// The printed page and the raster picture: a channel may differ by up to
// kChannelTolerance, and at most kBadFraction of the pixels may differ by
// more.  Edges land on neighbouring pixels (the page rounds vertices to
// whole device pixels and outlines opaque triangles by one pixel), and the
// page shades smooth faces in flat pieces of at most 36 square pixels and
// 0.01 colour distance.
constexpr int kChannelTolerance = 48;
constexpr double kBadFraction = 0.04;
constexpr int kDpi = 300;

// A page whose picture is 479 x 359 pixels at 300 dpi, the aspect of the
// golden scenes.
std::unique_ptr<QPrinter> scenePage(const std::string& path) {
    auto printer = PrintJob::pdfPrinter(QString::fromStdString(path), kDpi);
    printer->setPageSize(QPageSize(QSizeF(2.6, 2.2), QPageSize::Inch, "scene"));
    return printer;
}

class PrintedScene : public ::testing::Test {
protected:
    void SetUp() override {
        kit = std::make_unique<goldenscenes::Kit>();
        ASSERT_TRUE(kit->valid());
        scratch = testsupport::ScratchDir(std::string("printed_") +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    std::unique_ptr<GraphicsAEAWindows> makePrinter(const std::string& path, bool abortDialog = false) {
        auto p = std::make_unique<GraphicsAEAWindows>(kit->viewer->baseRenderer, 0.5f, 0.5f, 0.99f, false, 0,
                                                      scenePage(path), abortDialog);
        kit->prepare(*p);
        p->windowWidth = p->imageWidth;
        p->windowHeight = p->imageHeight;
        return p;
    }

    void drawFrame(Graphics& r) {
        kit->viewport->needsRedraw = 1;
        ASSERT_TRUE(kit->viewport->draw(&r, false));
        r.finishFrame();
    }

    std::unique_ptr<goldenscenes::Kit> kit;
    std::string scratch;
};

TEST_F(PrintedScene, PageAgreesWithTheRasterPicture) {
    if (!pdftest::HavePoppler()) GTEST_SKIP() << "pdftoppm/pdfinfo (poppler-utils) not installed";
    struct Scene {
        const char* name;
        vkoGraphicObj* (goldenscenes::Kit::*build)();
    } scenes[] = {
        {"transparency", &goldenscenes::Kit::transparency},
        {"lit_smooth_sphere", &goldenscenes::Kit::litSmoothSphere},
        {"flat_face_colours", &goldenscenes::Kit::flatFaceColours},
        {"lines_widths", &goldenscenes::Kit::linesWithWidths},
        {"overlay_items", &goldenscenes::Kit::overlayItems},  // 2D lines, a label, an image
    };
    for (const Scene& s : scenes) {
        SCOPED_TRACE(s.name);
        kit = std::make_unique<goldenscenes::Kit>();
        (kit.get()->*s.build)();
        const std::string pdf = scratch + "/" + s.name + ".pdf";
        auto printer = makePrinter(pdf);
        ASSERT_TRUE(printer->usable);
        const int w = printer->imageWidth, h = printer->imageHeight;
        kit->fit(*printer);
        ASSERT_TRUE(printer->isUsable(1));
        drawFrame(*printer);
        ASSERT_TRUE(printer->printed());
        const PrintPageGeometry page = printer->job().page();
        printer.reset();

        GraphicsAEARaster raster(kit->viewer->baseRenderer, w, h, 1.0f, 1, false, 0);
        kit->prepare(raster);
        raster.windowWidth = w;
        raster.windowHeight = h;
        ASSERT_TRUE(raster.usable);
        drawFrame(raster);
        const std::vector<unsigned char> expected = raster.readPixels();
        ASSERT_EQ(expected.size(), size_t(w) * h * 3);

        const QImage sheet = pdftest::RenderPage(QString::fromStdString(pdf), kDpi);
        ASSERT_FALSE(sheet.isNull());
        ASSERT_GE(sheet.width(), page.marginX + w);
        ASSERT_GE(sheet.height(), page.marginY + h);
        // The picture on the sheet, rows bottom-up like the raster's.
        std::vector<unsigned char> got(expected.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QColor c = sheet.pixelColor(page.marginX + x, page.marginY + h - 1 - y);
                unsigned char* p = &got[3 * (size_t(y) * w + x)];
                p[0] = uchar(c.red());
                p[1] = uchar(c.green());
                p[2] = uchar(c.blue());
            }
        // The raster picture is the reference: written as the "golden"
        // file of this comparison, and the page compared with it.
        const std::string reference = scratch + "/" + s.name + ".raster.png";
        {
            QImage img(w, h, QImage::Format_RGB888);
            for (int y = 0; y < h; ++y) memcpy(img.scanLine(h - 1 - y), &expected[size_t(y) * w * 3], size_t(w) * 3);
            ASSERT_TRUE(img.save(QString::fromStdString(reference)));
        }
        std::string why;
        EXPECT_TRUE(testsupport::CompareWithGolden(got.data(), w, h, reference, scratch + "/" + s.name + ".page",
                                                   kChannelTolerance, kBadFraction, &why))
            << why;
    }
}

// The transparent scene on the page: the translucent blue face over the
// opaque red one is drawn blended, not opaque (a plain printer path would
// fill it solid blue).
TEST_F(PrintedScene, TranslucentFaceIsBlendedOnThePage) {
    if (!pdftest::HavePoppler()) GTEST_SKIP() << "pdftoppm/pdfinfo (poppler-utils) not installed";
    kit->transparency();
    const std::string pdf = scratch + "/t.pdf";
    auto printer = makePrinter(pdf);
    kit->fit(*printer);
    ASSERT_TRUE(printer->isUsable(1));
    drawFrame(*printer);
    ASSERT_TRUE(printer->printed());
    const PrintPageGeometry page = printer->job().page();
    const QImage sheet = pdftest::RenderPage(QString::fromStdString(pdf), kDpi);
    ASSERT_FALSE(sheet.isNull());
    int purple = 0, solidBlue = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const QColor c = sheet.pixelColor(page.marginX + x, page.marginY + y);
            purple += c.red() > 100 && c.red() < 160 && c.blue() > 100 && c.blue() < 160 && c.green() < 30;
            solidBlue += c.red() < 30 && c.green() < 30 && c.blue() > 230;
        }
    EXPECT_GT(purple, page.width * page.height / 20) << "blue over red, half transparent";
    EXPECT_EQ(solidBlue, 0);
}

TEST_F(PrintedScene, PageSettingsReachTheEngine) {
    const std::string pdf = scratch + "/settings.pdf";
    auto printer = std::make_unique<GraphicsAEAWindows>(kit->viewer->baseRenderer, 0.5f, 0.5f, 0.99f, false, 0,
                                                        PrintJob::pdfPrinter(QString::fromStdString(pdf), 600), false);
    ASSERT_TRUE(printer->usable);
    const PrintPageGeometry& page = printer->job().page();
    EXPECT_EQ(printer->imageWidth, page.width);
    EXPECT_EQ(printer->imageHeight, page.height);
    EXPECT_EQ(printer->windowWidth, page.width);
    EXPECT_EQ(printer->lineWidthMultiplier, 2);
    EXPECT_NEAR(printer->areaTolerance, 144.0f, 0.1f);
    EXPECT_FLOAT_EQ(printer->toleranceFactor, 0.99f);
    int viewport[4];
    printer->eGetInteger(aegl::VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], page.width);
    EXPECT_EQ(viewport[3], page.height);
    // Nothing was started: no file, and a renderer that is dropped unused
    // prints nothing.
    printer.reset();
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

// Counts the flat triangles that reach the page.
class CountingPrinter : public GraphicsAEAWindows {
public:
    using GraphicsAEAWindows::GraphicsAEAWindows;
    void fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]) override {
        ++filled;
        GraphicsAEAWindows::fillFlatTriangle(a, b, c, rgba);
    }
    int filled = 0;
};

TEST_F(PrintedScene, CancelWhileTheShapesAreDrawnStopsTheJob) {
    platform::MessageRecorder messages;
    const std::string pdf = scratch + "/cancelled.pdf";
    CountingPrinter printer(kit->viewer->baseRenderer, 0.5f, 0.5f, 0.99f, false, 0, scenePage(pdf), true);
    ASSERT_TRUE(printer.usable);
    ASSERT_TRUE(printer.isUsable(1));
    ASSERT_NE(printer.job().abortDialog(), nullptr);
    // Many small opaque squares in window pixels, deferred until finishFrame.
    printer.eMatrixMode(aegl::PROJECTION);
    printer.eLoadIdentity();
    printer.eOrtho(0, printer.imageWidth, 0, printer.imageHeight, -1, 1);
    printer.eMatrixMode(aegl::MODELVIEW);
    printer.eLoadIdentity();
    const int n = 6000;
    for (int i = 0; i < n; ++i) {
        const float x = float(i % 150), y = float((i / 150) % 110), z = float(i) / n - 0.5f;
        printer.eColour(float(i % 7) / 7, 0.5f, 0.5f, 1);
        printer.eBegin(aegl::POLYGON);
        printer.eVertex(x, y, z);
        printer.eVertex(x + 3, y, z);
        printer.eVertex(x + 3, y + 3, z);
        printer.eVertex(x, y + 3, z);
        printer.eEnd();
    }
    // Pressed as soon as the drawing first lets events through; a frame
    // that the same events ask for (a viewer timer) is refused then, and
    // cannot end the page under the drawing.
    QPushButton* cancel = printer.job().abortDialog()->cancelButton();
    bool nestedFrame = true;
    QTimer::singleShot(0, cancel, [&] {
        nestedFrame = printer.isUsable(1);
        printer.finishFrame();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    printer.finishFrame();
    EXPECT_FALSE(nestedFrame);
    EXPECT_TRUE(printer.abortFlag);
    EXPECT_FALSE(printer.printed());
    EXPECT_LT(printer.filled, 2 * n) << "drawing went on after the cancel";
    EXPECT_FALSE(std::filesystem::exists(pdf));
    ASSERT_EQ(messages.entries().size(), 1u);
    EXPECT_EQ(messages.entries()[0].caption, "Print Abort");
    EXPECT_EQ(messages.entries()[0].text, "Print job has been aborted.");
}

}  // namespace
