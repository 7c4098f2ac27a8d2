#include "GuiViewer/src/ViewportSplitter.h"

#include <QFrame>

#include "GuiViewer/src/ViewerQtWidget.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/host/ExpectImpl.h"
#include "viewer/vkoViewer.h"

namespace {

// Width, x and y of a caption as fractions of the widget (y from the top).
struct Place {
    float w = 0, x = 0, y = 0;
};

// Caption places and separator spans of one layout.
struct LayoutGeometry {
    Place caption[4];
    bool horizontal = false, vertical = false;
    float a = 0, b = 1;  // horizontal bar, x fractions
    float c = 0, d = 1;  // vertical bar, y fractions
};

LayoutGeometry GeometryOf(int layout) {
    LayoutGeometry g;
    Place* p = g.caption;
    const Place left{0.5f, 0, 0}, right{0.5f, 0.5f, 0};
    switch (layout) {
        case 1:  // side by side
            p[0] = left, p[1] = right;
            g.vertical = true;
            break;
        case 2:  // one above the other
            p[0] = {1, 0, 0}, p[1] = {1, 0, 0.5f};
            g.horizontal = true;
            break;
        case 3:  // left column, right column split
            p[0] = left, p[1] = right, p[2] = {0.5f, 0.5f, 0.5f};
            g.vertical = g.horizontal = true;
            g.a = 0.5f;
            break;
        case 4:  // top row, bottom row split
            p[0] = {1, 0, 0}, p[1] = {0.5f, 0.5f, 0.5f}, p[2] = {0.5f, 0, 0.5f};
            g.horizontal = g.vertical = true;
            g.c = 0.5f;
            break;
        case 5:  // left column split, right column
            p[0] = left, p[1] = right, p[2] = {0.5f, 0, 0.5f};
            g.vertical = g.horizontal = true;
            g.b = 0.5f;
            break;
        case 6:  // top row split, bottom row
            p[0] = left, p[1] = right, p[2] = {1, 0, 0.5f};
            g.horizontal = g.vertical = true;
            g.d = 0.5f;
            break;
        case 7:  // four quarters
            p[0] = left, p[1] = right, p[2] = {0.5f, 0.5f, 0.5f}, p[3] = {0.5f, 0, 0.5f};
            g.horizontal = g.vertical = true;
            break;
        default: break;
    }
    return g;
}

}  // namespace

ViewportSplitter::ViewportSplitter(ViewerQtWidget* parent) : QObject(parent) {
    for (int n = 1; n <= 4; ++n) {
        auto* c = new ViewportCaption(n, parent);
        c->setFixedHeight(kCaptionHeight);
        connect(c, &ViewportCaption::activated, this, &ViewportSplitter::viewportActivated);
        connect(c, &ViewportCaption::maximizationToggled, this, &ViewportSplitter::toggleMaximization);
        connect(c, &ViewportCaption::defaultViewSelected, this, &ViewportSplitter::defaultViewSelected);
        connect(c, &ViewportCaption::customViewSelected, this, &ViewportSplitter::customViewSelected);
        connect(c, &ViewportCaption::rightClick, this, &ViewportSplitter::rightClick);
        captions.push_back(c);
    }
    horizontalBar = new QFrame(parent);
    horizontalBar->setFixedHeight(kGap);
    verticalBar = new QFrame(parent);
    verticalBar->setFixedWidth(kGap);
    for (QFrame* bar : {horizontalBar, verticalBar}) {
        bar->setAutoFillBackground(true);
        bar->hide();
    }
    captions[0]->setActive(true);
    if (vkoViewer* engine = parent ? parent->getViewer() : nullptr) engine->SetViewportInsets(kCaptionHeight, kGap);
}

ViewportCaption* ViewportSplitter::caption(int n) const {
    return n >= 1 && n <= int(captions.size()) ? captions[n - 1] : nullptr;
}

void ViewportSplitter::setActiveViewport(int n) {
    for (int k = 1; k <= 4; ++k) captions[k - 1]->setActive(k == n);
}

void ViewportSplitter::setViewportLabel(int n, const QString& text) {
    if (n < 1 || n > 4) {
        qor::ExpectImpl::expectFail("n >= 1 && n <= 4", "GuiViewer/src/ViewportSplitter.cpp", __LINE__);
        return;
    }
    captions[n - 1]->setText(text);
}

void ViewportSplitter::setViewNames(const QStringList& names) {
    for (ViewportCaption* c : captions) c->setViewNames(names);
}

void ViewportSplitter::setViewportLayout(int value) {
    layout = value;
    captions[0]->setSingleViewport(layout == 0);
    layOut();
}

void ViewportSplitter::setMaximizedViewport(int n) {
    for (int k = 1; k <= 4; ++k) captions[k - 1]->setMaximized(k == n);
    layOut();
}

void ViewportSplitter::resize(int w, int h) {
    width = w;
    height = h;
    layOut();
}

void ViewportSplitter::toggleMaximization(int n) {
    ViewportCaption* c = caption(n);
    emit viewportMaximized(c && c->isMaximized() ? -1 : n);
}

void ViewportSplitter::layOut() {
    if (width < 0 || height < 0) return;
    int m = -1;
    for (int k = 0; k < 4 && m < 0; ++k)
        if (captions[k]->isMaximized()) m = k;
    // A maximized viewport, layout 0 and unknown layouts show one caption
    // over the whole width.
    LayoutGeometry g;
    if (m < 0 && layout >= 1 && layout <= 7)
        g = GeometryOf(layout);
    else
        g.caption[m < 0 ? 0 : m] = {1, 0, 0};
    horizontalBar->setVisible(g.horizontal);
    verticalBar->setVisible(g.vertical);
    for (int k = 0; k < 4; ++k) {
        const Place& p = g.caption[k];
        int w = int(width * double(p.w));
        const int inset = int(p.w * kGap);
        if (p.w != 1 && w >= inset) w -= inset;
        ViewportCaption* c = captions[k];
        c->setFixedWidth(w + 1);
        c->move(int((width + kGap) * double(p.x) + 0.5), int((height + kGap) * double(p.y) + 0.5));
        c->setVisible(p.w != 0);
    }
    horizontalBar->setFixedWidth(int((g.b - g.a) * double(width) + 0.5));
    horizontalBar->move(int(width * double(g.a)), int((height - kGap) * 0.5 + 0.5));
    verticalBar->setFixedHeight(int((g.d - g.c) * double(height) + 0.5));
    verticalBar->move(int((width - kGap) * 0.5 + 0.5), int(height * double(g.c)));
}
