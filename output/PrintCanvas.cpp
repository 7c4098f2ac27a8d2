#include "output/PrintCanvas.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <cmath>

#include "render/Graphics.h"

int PrintCanvas::channel(float c) {
    if (!(c > 0.0f)) return 0;  // NaN too
    return std::min(int(255.0f * c), 255);
}

void PrintCanvas::startPage(const float background[3]) {
    ops_.clear();
    clipSet_ = false;
    // White paper needs no background; on a background this close to white
    // (hollow brush) a fill would only add ink of the paper's own colour.
    brushHollow_ = Graphics::luminance(background) > 0.998f;
    if (brushHollow_) return;
    Op op;
    op.kind = Op::Background;
    op.p[0] = QPoint(page_.marginX, page_.marginY);
    op.p[1] = QPoint(page_.marginX + page_.width, page_.marginY + page_.height);
    op.colour = QColor(channel(background[0]), channel(background[1]), channel(background[2]));
    ops_.push_back(op);
}

void PrintCanvas::setClip(int x, int y, int width, int height) {
    clipX0_ = x;
    clipX1_ = x + width + 1;
    clipY0_ = y - 1;
    clipY1_ = y + height;
    clipSet_ = true;
    Op op;
    op.kind = Op::Clip;
    op.p[0] = QPoint(page_.deviceX(x), page_.deviceY(y + height));
    op.p[1] = QPoint(page_.deviceX(x + width + 1), page_.deviceY(y) + 1);
    ops_.push_back(op);
}

bool PrintCanvas::outsideClip(const QPoint* w, int n) const {
    if (!clipSet_) return false;
    auto all = [&](auto beyond) {
        for (int i = 0; i < n; ++i)
            if (!beyond(w[i])) return false;
        return true;
    };
    return all([&](QPoint p) { return p.x() < clipX0_; }) || all([&](QPoint p) { return p.x() > clipX1_; }) ||
           all([&](QPoint p) { return p.y() < clipY0_; }) || all([&](QPoint p) { return p.y() > clipY1_; });
}

namespace {
QPoint rounded(const float p[2]) { return QPoint(int(std::lround(p[0])), int(std::lround(p[1]))); }
}  // namespace

void PrintCanvas::fillTriangle(const float a[2], const float b[2], const float c[2], const float rgba[4]) {
    const QPoint w[3] = {rounded(a), rounded(b), rounded(c)};
    if (outsideClip(w, 3)) return;
    const int alpha = rgba[3] >= 1.0f ? 255 : channel(rgba[3]);
    if (alpha == 0) return;
    Op op;
    op.kind = Op::Triangle;
    for (int i = 0; i < 3; ++i) op.p[i] = QPoint(page_.deviceX(w[i].x()), page_.deviceY(w[i].y()));
    op.colour = QColor(channel(rgba[0]), channel(rgba[1]), channel(rgba[2]), alpha);
    ops_.push_back(op);
}

void PrintCanvas::drawLine(float width, const float a[2], const float b[2], const float rgb[3]) {
    const QPoint w[2] = {rounded(a), rounded(b)};
    if (outsideClip(w, 2)) return;
    Op op;
    op.kind = Op::Line;
    op.p[0] = QPoint(page_.deviceX(w[0].x()), page_.deviceY(w[0].y()));
    op.p[1] = QPoint(page_.deviceX(w[1].x()), page_.deviceY(w[1].y()));
    op.colour = QColor(channel(rgb[0]), channel(rgb[1]), channel(rgb[2]));
    op.width = std::max(int(width) * page_.lineWidthMultiplier, 1);
    ops_.push_back(op);
}

void PrintCanvas::drawImage(int x, int y, int width, int height, const unsigned char* rgba, float zoom) {
    if (!rgba || width <= 0 || height <= 0 || !(zoom > 0.0f)) return;
    const int w = std::max(int(std::lround(width * double(zoom))), 1);
    const int h = std::max(int(std::lround(height * double(zoom))), 1);
    const QPoint corners[2] = {QPoint(x, y), QPoint(x + w, y + h)};
    if (outsideClip(corners, 2)) return;
    Op op;
    op.kind = Op::Image;
    op.p[0] = QPoint(page_.deviceX(x), page_.deviceY(y + h));
    op.p[1] = QPoint(page_.deviceX(x + w), page_.deviceY(y));
    op.image = QImage(rgba, width, height, width * 4, QImage::Format_RGBA8888).mirrored();  // a copy
    ops_.push_back(op);
}

namespace {

long long orient(QPoint a, QPoint b, QPoint c) {
    return (long long)(b.x() - a.x()) * (c.y() - a.y()) - (long long)(b.y() - a.y()) * (c.x() - a.x());
}

// Two triangles that share an edge and lie on its two sides: together they
// cover their union once.
bool sideBySide(const PrintCanvas::Op& s, const PrintCanvas::Op& t) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const QPoint p = s.p[i], q = s.p[(i + 1) % 3];
            if (t.p[j] != q || t.p[(j + 1) % 3] != p) continue;  // the edge, walked the other way
            return orient(p, q, s.p[(i + 2) % 3]) * orient(p, q, t.p[(j + 2) % 3]) < 0;
        }
    return false;
}

}  // namespace

void PrintCanvas::replay(QPainter& painter) const {
    painter.save();
    painter.setClipping(false);
    // Translucent pieces of one face (same colour, side by side) are filled
    // as one path: drawn one by one, their shared edges would be covered
    // twice and show as darker seams across the face.
    QPainterPath group;
    group.setFillRule(Qt::WindingFill);
    QColor groupColour;
    const Op* last = nullptr;
    auto flush = [&] {
        if (!last) return;
        painter.setPen(Qt::NoPen);
        painter.setBrush(groupColour);
        painter.drawPath(group);
        group.clear();
        group.setFillRule(Qt::WindingFill);
        last = nullptr;
    };
    for (const Op& op : ops_) {
        if (op.kind == Op::Triangle && op.colour.alpha() < 255) {
            if (last && !(op.colour == groupColour && sideBySide(*last, op))) flush();
            if (!last) groupColour = op.colour;
            group.addPolygon(QPolygonF(QPolygon({op.p[0], op.p[1], op.p[2]})));
            group.closeSubpath();
            last = &op;
            continue;
        }
        flush();
        switch (op.kind) {
        case Op::Background:
            painter.fillRect(QRect(op.p[0], op.p[1] - QPoint(1, 1)), op.colour);
            break;
        case Op::Clip:
            painter.setClipRect(QRect(op.p[0], op.p[1] - QPoint(1, 1)));
            break;
        case Op::Triangle:
            // An opaque triangle is outlined in its own colour (0 = one device
            // pixel) so that neighbours leave no hairline gaps.
            painter.setBrush(op.colour);
            painter.setPen(QPen(op.colour, 0));
            painter.drawPolygon(op.p, 3);
            break;
        case Op::Line:
            painter.setPen(QPen(op.colour, op.width, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(op.p[0], op.p[1]);
            break;
        case Op::Image:
            painter.drawImage(QRect(op.p[0], op.p[1] - QPoint(1, 1)), op.image);
            break;
        }
    }
    flush();
    painter.restore();
}
