#include "GhostscriptHelpers.h"

#include <QImage>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>


namespace pstest {

namespace {

bool runGhostscript(const QStringList& args, std::string* log) {
    QProcess gs;
    gs.setProcessChannelMode(QProcess::MergedChannels);
    gs.start("gs", QStringList{"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE"} + args);
    if (!gs.waitForStarted(10000)) {
        if (log) *log = "gs could not be started";
        return false;
    }
    gs.waitForFinished(120000);
    if (log) *log = gs.readAll().toStdString();
    return gs.exitStatus() == QProcess::NormalExit && gs.exitCode() == 0;
}

}  // namespace

bool ghostscriptRuns(const std::string& path, std::string* log) {
    return runGhostscript({"-sDEVICE=nullpage", QString::fromStdString(path)}, log);
}

bool ghostscriptRender(const std::string& path, int dpi, bool epsCrop, int& width, int& height,
                       std::vector<unsigned char>& rgb, std::string* log) {
    const std::string png = path + ".gs.png";
    QStringList args{"-sDEVICE=png16m", QString("-r%1").arg(dpi), QString::fromStdString("-sOutputFile=" + png)};
    if (epsCrop) args << "-dEPSCrop";
    args << QString::fromStdString(path);
    if (!runGhostscript(args, log)) return false;
    QImage page(QString::fromStdString(png));
    if (page.isNull()) return false;
    page = page.convertToFormat(QImage::Format_RGB888);
    width = page.width();
    height = page.height();
    rgb.resize(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) std::memcpy(&rgb[size_t(y) * width * 3], page.constScanLine(y), size_t(width) * 3);
    return true;
}

bool decodeAscii85(const std::string& text, std::vector<unsigned char>& out) {
    out.clear();
    uint64_t value = 0;
    int n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '~') {
            if (i + 1 >= text.size() || text[i + 1] != '>' || n == 1) return false;
            if (n > 0) {
                for (int k = n; k < 5; ++k) value = value * 85 + 84;
                for (int k = 0; k < n - 1; ++k) out.push_back(uint8_t(value >> (24 - 8 * k)));
            }
            return true;
        }
        if (c == '\n' || c == '\r' || c == ' ') continue;
        if (c == 'z' && n == 0) {
            out.insert(out.end(), 4, 0);
            continue;
        }
        if (c < '!' || c > 'u') return false;
        value = value * 85 + uint64_t(c - '!');
        if (++n == 5) {
            if (value > 0xffffffffu) return false;
            for (int k = 0; k < 4; ++k) out.push_back(uint8_t(value >> (24 - 8 * k)));
            value = 0;
            n = 0;
        }
    }
    return false;
}

bool decodeRunLength(const std::vector<unsigned char>& packets, std::vector<unsigned char>& out) {
    out.clear();
    size_t i = 0;
    while (i < packets.size()) {
        const int length = packets[i++];
        if (length == 128) return true;
        if (length < 128) {
            if (i + size_t(length) + 1 > packets.size()) return false;
            out.insert(out.end(), packets.begin() + long(i), packets.begin() + long(i) + length + 1);
            i += size_t(length) + 1;
        } else {
            if (i >= packets.size()) return false;
            out.insert(out.end(), size_t(257 - length), packets[i++]);
        }
    }
    return false;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double differingFraction(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int width,
                         int height, int tolerance, const std::string& diffPath) {
    if (a.size() < size_t(width) * height * 3 || b.size() < size_t(width) * height * 3) return 1.0;
    long bad = 0;
    QImage diff(width, height, QImage::Format_RGB888);
    diff.fill(Qt::white);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t i = (size_t(y) * width + x) * 3;
            bool differs = false;
            for (int k = 0; k < 3; ++k) differs = differs || std::abs(int(a[i + k]) - int(b[i + k])) > tolerance;
            if (differs) {
                ++bad;
                diff.setPixelColor(x, y, QColor(255, 0, 0));
            }
        }
    if (bad > 0 && !diffPath.empty()) diff.save(QString::fromStdString(diffPath), "PNG");
    return double(bad) / (double(width) * height);
}

}  // namespace pstest
