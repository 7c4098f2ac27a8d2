#include "PdfTestHelpers.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace pdftest {

bool HavePoppler() {
    return !QStandardPaths::findExecutable("pdftoppm").isEmpty() &&
           !QStandardPaths::findExecutable("pdfinfo").isEmpty();
}

QImage RenderPage(const QString& pdf, int dpi, bool antialias) {
    const QString base = pdf + ".page";
    QStringList args = {"-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile", "-png"};
    if (!antialias) args << "-aa" << "no" << "-aaVector" << "no";
    args << pdf << base;
    QProcess p;
    p.start("pdftoppm", args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    QImage img(base + ".png");
    return img.convertToFormat(QImage::Format_RGB888);
}

QString Info(const QString& pdf, const QString& field) {
    QProcess p;
    p.start("pdfinfo", {pdf});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        if (!line.startsWith(field + ":")) continue;
        return line.mid(field.size() + 1).trimmed();
    }
    return {};
}

}  // namespace pdftest
