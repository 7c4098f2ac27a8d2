#include "GuiViewer/src/host/ConfigStoreBase.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QSaveFile>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr int kSize = 16;

// Viewport rectangles of the eight layouts in a unit square (y down).
const std::vector<QRectF>& LayoutRects(int layout) {
    static const std::vector<QRectF> rects[8] = {
        {{0, 0, 1, 1}},
        {{0, 0, 0.5, 1}, {0.5, 0, 0.5, 1}},
        {{0, 0, 1, 0.5}, {0, 0.5, 1, 0.5}},
        {{0, 0, 0.5, 1}, {0.5, 0, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}},
        {{0, 0, 1, 0.5}, {0.5, 0.5, 0.5, 0.5}, {0, 0.5, 0.5, 0.5}},
        {{0, 0, 0.5, 0.5}, {0.5, 0, 0.5, 1}, {0, 0.5, 0.5, 0.5}},
        {{0, 0, 0.5, 0.5}, {0.5, 0, 0.5, 0.5}, {0, 0.5, 1, 0.5}},
        {{0, 0, 0.5, 0.5}, {0.5, 0, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}, {0, 0.5, 0.5, 0.5}},
    };
    return rects[layout];
}

void Text(QPainter& p, const QString& text, const QColor& colour, int pixelSize) {
    QFont f = p.font();
    f.setPixelSize(pixelSize);
    f.setBold(true);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, text);
}

// A window frame with a title bar; restore draws two overlapping ones.
void WindowIcon(QPainter& p, bool restore, const QColor& c) {
    p.setPen(QPen(c, 1));
    auto frame = [&](QRect r) {
        p.drawRect(r);
        p.fillRect(QRect(r.x(), r.y(), r.width() + 1, 3), c);
    };
    if (restore) {
        frame(QRect(5, 2, 8, 7));
        p.fillRect(QRect(2, 6, 9, 8), Qt::white);
        frame(QRect(2, 6, 8, 7));
    } else {
        frame(QRect(2, 2, 11, 11));
    }
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    p.setPen(QPen(c, 1.5));
    p.drawLine(from, to);
    QLineF l(to, from);
    QLineF a = l, b = l;
    a.setLength(4);
    b.setLength(4);
    a.setAngle(l.angle() + 30);
    b.setAngle(l.angle() - 30);
    p.drawLine(a);
    p.drawLine(b);
}

void Cube(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 1));
    p.drawRect(QRectF(2.5, 5.5, 8, 8));
    p.drawPolyline(QPolygonF({{2.5, 5.5}, {5.5, 2.5}, {13.5, 2.5}, {13.5, 10.5}, {10.5, 13.5}}));
    p.drawLine(QPointF(10.5, 5.5), QPointF(13.5, 2.5));
}

// Draws the icon of one base name (without ".xpm"); false when unknown.
bool Draw(QPainter& p, const QString& base) {
    const QColor ink(20, 20, 20), grey(150, 150, 150), blue(30, 80, 200), red(200, 40, 40);
    if (base == "maximizeview" || base == "maximizeviewD") {
        WindowIcon(p, false, base.endsWith('D') ? grey : ink);
    } else if (base == "restoreview" || base == "restoreviewD") {
        WindowIcon(p, true, base.endsWith('D') ? grey : ink);
    } else if (base.startsWith("layout") && base.size() == 7 && base[6] >= '1' && base[6] <= '8') {
        const QRectF box(1.5, 2.5, 13, 11);
        for (const QRectF& r : LayoutRects(base[6].digitValue() - 1)) {
            QRectF q(box.x() + r.x() * box.width(), box.y() + r.y() * box.height(), r.width() * box.width(),
                     r.height() * box.height());
            p.fillRect(q, QColor(200, 220, 255));
            p.setPen(QPen(ink, 1));
            p.drawRect(q);
        }
    } else if (base == "vh_select") {
        p.setBrush(Qt::white);
        p.setPen(QPen(ink, 1));
        p.drawPolygon(QPolygonF({{4, 2}, {4, 13}, {7, 10}, {9.5, 14.5}, {11, 13.5}, {8.5, 9.5}, {12, 9}}));
    } else if (base == "vh_rotate") {
        p.setPen(QPen(blue, 1.5));
        p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 280 * 16);
        Arrow(p, {12, 9}, {12.5, 5}, blue);
    } else if (base == "vh_pan") {
        for (QPointF d : {QPointF(0, -6), QPointF(0, 6), QPointF(-6, 0), QPointF(6, 0)})
            Arrow(p, {8, 8}, QPointF(8, 8) + d, ink);
    } else if (base == "vh_zoom" || base == "vh_zoombox") {
        if (base == "vh_zoombox") {
            p.setPen(QPen(ink, 1, Qt::DotLine));
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
        }
        p.setPen(QPen(ink, 1.5));
        p.drawEllipse(QRectF(3.5, 3.5, 7, 7));
        p.drawLine(QPointF(9.5, 9.5), QPointF(13.5, 13.5));
    } else if (base == "vh_fit") {
        p.setPen(QPen(ink, 1.5));
        for (QPointF c : {QPointF(2, 2), QPointF(14, 2), QPointF(2, 14), QPointF(14, 14)}) {
            const double sx = c.x() < 8 ? 1 : -1, sy = c.y() < 8 ? 1 : -1;
            p.drawLine(c, c + QPointF(4 * sx, 0));
            p.drawLine(c, c + QPointF(0, 4 * sy));
        }
        p.fillRect(QRectF(6, 6, 4, 4), blue);
    } else if (base == "highlight") {
        p.fillRect(QRectF(3, 3, 10, 10), QColor(255, 220, 0));
        p.setPen(QPen(ink, 1));
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
    } else if (base == "snapToNode") {
        p.setPen(QPen(grey, 1));
        for (int i = 3; i <= 13; i += 5) {
            p.drawLine(i, 2, i, 14);
            p.drawLine(2, i, 14, i);
        }
        p.setBrush(red);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(8, 8), 2.5, 2.5);
    } else if (base == "label") {
        Text(p, "A", ink, 13);
    } else if (base == "viewsync") {
        p.setPen(QPen(ink, 1));
        p.drawRect(QRectF(1.5, 4.5, 5, 6));
        p.drawRect(QRectF(9.5, 4.5, 5, 6));
        Arrow(p, {5, 8}, {11, 8}, blue);
    } else if (base == "persp") {
        p.setPen(QPen(ink, 1));
        p.drawPolygon(QPolygonF({{5, 3}, {11, 3}, {14, 13}, {2, 13}}));
    } else if (base == "ortho") {
        p.setPen(QPen(ink, 1));
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
    } else if (base.size() == 3 && base == base.toLower() &&
               QString("xyztmsar").contains(base[0]) && QString("xyztmsar").contains(base[1]) &&
               QString("xyztmsar").contains(base[2])) {
        // An isometric view: a cube with the up letter (the middle one).
        Cube(p, ink);
        QFont f = p.font();
        f.setPixelSize(7);
        p.setFont(f);
        p.setPen(red);
        p.drawText(QRect(3, 6, 8, 8), Qt::AlignCenter, base.mid(1, 1).toUpper());
    } else if (base.size() >= 6 && (base.endsWith("_plus") || base.endsWith("_minus")) && base.indexOf('_') == 1) {
        Text(p, (base.endsWith("_plus") ? "+" : "-") + base.left(1).toUpper(), blue, 9);
    } else if (base == "vh_singleSelect" || base == "vh_boxSelect" || base == "vh_polygonSelect") {
        // The selection modes: one picked item, a box, a lasso polygon.
        p.setPen(QPen(ink, 1, Qt::DotLine));
        if (base == "vh_boxSelect") p.drawRect(QRectF(1.5, 1.5, 10, 9));
        if (base == "vh_polygonSelect") p.drawPolygon(QPolygonF({{1.5, 4.5}, {7.5, 1.5}, {12.5, 5.5}, {9.5, 11.5}, {3.5, 10.5}}));
        if (base == "vh_singleSelect") p.fillRect(QRectF(2, 2, 6, 6), QColor(255, 220, 0));
        p.setBrush(Qt::white);
        p.setPen(QPen(ink, 1));
        p.drawPolygon(QPolygonF({{8, 6}, {8, 15}, {10.5, 12.5}, {12.5, 15.5}, {13.5, 14.5}, {11.5, 12}, {14.5, 11.5}}));
    } else if (base == "viewerhelp") {
        Text(p, "?", blue, 14);
    } else if (base == "edit") {
        p.setPen(QPen(ink, 2));
        p.drawLine(QPointF(3, 13), QPointF(12, 4));
        p.setPen(QPen(red, 2));
        p.drawLine(QPointF(11, 5), QPointF(13, 3));
    } else if (base == "hide") {
        p.setPen(QPen(ink, 1));
        p.drawEllipse(QRectF(2, 5, 12, 6));
        p.setPen(QPen(red, 1.5));
        p.drawLine(QPointF(2, 14), QPointF(14, 2));
    } else {
        return false;
    }
    return true;
}

}  // namespace

ConfigStoreBase* ConfigStoreBase::baseInstance() {
    static ConfigStoreBase store;
    return &store;
}

QStringList ConfigStoreBase::knownIcons() {
    QStringList names = {"maximizeview", "maximizeviewD", "restoreview", "restoreviewD", "vh_select", "vh_rotate",
                         "vh_pan", "vh_zoom", "vh_zoombox", "vh_fit", "highlight", "snapToNode", "label",
                         "viewsync", "persp", "ortho", "viewerhelp", "edit", "hide", "vh_singleSelect",
                         "vh_boxSelect", "vh_polygonSelect"};
    for (int i = 1; i <= 8; ++i) names << QString("layout%1").arg(i);
    for (const char* letters : {"xyz", "tms", "atr"}) {
        const QString l(letters);
        names << l.mid(1, 1) + l.mid(0, 1) + l.mid(2, 1) << l << l.mid(0, 1) + l.mid(2, 1) + l.mid(1, 1);
        for (QChar c : l) names << QString(c) + "_plus" << QString(c) + "_minus";
    }
    names.removeDuplicates();
    for (QString& n : names) n += ".xpm";
    return names;
}

QPixmap ConfigStoreBase::getPixmap(const QString& fileName) {
    auto it = cache_.find(fileName);
    if (it != cache_.end()) return *it;
    QString base = QFileInfo(fileName).fileName();
    if (base.endsWith(".xpm")) base.chop(4);
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        if (!Draw(p, base)) {
            p.setPen(QPen(QColor(120, 120, 120), 1));
            p.drawRect(0, 0, kSize - 1, kSize - 1);
            Text(p, base.left(2), QColor(60, 60, 60), 8);
        }
    }
    cache_.insert(fileName, pixmap);
    return pixmap;
}

QIcon ConfigStoreBase::getIcon(const QString& name) { return QIcon(getPixmap(name)); }

QString ConfigStoreBase::getIconForType(const QString& objectType, bool open) {
    return objectType.toLower().replace(' ', '_') + (open ? "_open" : "") + ".xpm";
}

QString ConfigStoreBase::getIconPath() {
    if (iconDir_.isEmpty()) {
        QString dir = qEnvironmentVariable("QOR_ICON_DIR");
        if (dir.isEmpty()) dir = QDir::tempPath() + QString("/qor-icons-%1").arg(getuid());
        QDir().mkpath(dir);
        iconDir_ = QDir(dir).absolutePath() + "/";
        for (const QString& name : knownIcons()) {
            const QString path = iconDir_ + name;
            if (QFileInfo::exists(path)) continue;
            // Written aside and renamed, so that a program starting at the
            // same time never reads half a file.
            QSaveFile file(path);
            if (file.open(QIODevice::WriteOnly) && getPixmap(name).save(&file, "XPM")) file.commit();
        }
    }
    return iconDir_;
}
