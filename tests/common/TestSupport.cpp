#include "TestSupport.h"

#include <QGuiApplication>
#include <QImage>

#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace testsupport {

std::string SourcePath(const std::string& relative) { return std::string(VIEWER_SOURCE_DIR) + "/" + relative; }

std::string ScratchDir(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(VIEWER_BINARY_DIR) / "test-scratch" / name;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir.string();
}

bool HaveDisplay() {
    return std::getenv("DISPLAY") != nullptr && QGuiApplication::platformName() == "xcb";
}

namespace {
QImage toImage(const unsigned char* rgb, int width, int height) {
    QImage img(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)  // bottom-up rows to top-down image
        std::memcpy(img.scanLine(height - 1 - y), rgb + static_cast<size_t>(y) * width * 3,
                    static_cast<size_t>(width) * 3);
    return img;
}
}  // namespace

bool CompareWithGolden(const unsigned char* rgb, int width, int height, const std::string& goldenPath,
                       const std::string& outputBase, int channelTolerance, double maxBadFraction,
                       std::string* why) {
    QImage actual = toImage(rgb, width, height);
    const char* update = std::getenv("VIEWER_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        std::filesystem::create_directories(std::filesystem::path(goldenPath).parent_path());
        actual.save(QString::fromStdString(goldenPath), "PNG");
        return true;
    }
    QImage golden(QString::fromStdString(goldenPath));
    auto fail = [&](const std::string& reason) {
        actual.save(QString::fromStdString(outputBase + ".png"), "PNG");
        if (why) *why = reason + " (actual image: " + outputBase + ".png)";
        return false;
    };
    if (golden.isNull()) return fail("golden image missing: " + goldenPath);
    golden = golden.convertToFormat(QImage::Format_RGB888);
    if (golden.width() != width || golden.height() != height)
        return fail("size differs from golden " + goldenPath);
    QImage diff(width, height, QImage::Format_RGB888);
    long bad = 0;
    for (int y = 0; y < height; ++y) {
        const uchar* a = actual.constScanLine(y);
        const uchar* g = golden.constScanLine(y);
        uchar* d = diff.scanLine(y);
        for (int x = 0; x < width; ++x) {
            int worst = 0;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(a[3 * x + c]) - int(g[3 * x + c])));
            bool differs = worst > channelTolerance;
            bad += differs;
            d[3 * x + 0] = differs ? 255 : a[3 * x] / 4;
            d[3 * x + 1] = differs ? 0 : a[3 * x + 1] / 4;
            d[3 * x + 2] = differs ? 0 : a[3 * x + 2] / 4;
        }
    }
    double fraction = double(bad) / (double(width) * height);
    if (fraction > maxBadFraction) {
        diff.save(QString::fromStdString(outputBase + ".diff.png"), "PNG");
        return fail(std::to_string(bad) + " pixels differ from " + goldenPath + " (diff: " + outputBase +
                    ".diff.png)");
    }
    return true;
}

}  // namespace testsupport
