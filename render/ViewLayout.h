#pragma once
// Screen layout shared by the renderers (OpenGL and software): the view
// window of a viewport, and where the ruler's bar, ticks and labels go in a
// viewport's -1..1 square.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

// The view window of a w x h pixel viewport at depth 0: x0, x1, y0, y1 with
// the shorter side spanning -1..1.
inline void ViewWindow(int width, int height, double out[4]) {
    const double w = std::max(1, width), h = std::max(1, height);
    const double a = w / h;
    if (w > h) {
        out[0] = -a, out[1] = a, out[2] = -1, out[3] = 1;
    } else {
        out[0] = -1, out[1] = 1, out[2] = -1 / a, out[3] = 1 / a;
    }
}

struct RulerLayout {
    int subdivisions = 4;
    double length = 0.0;  // world units the bar stands for
    double halfExtent = 0.0;  // the bar spans -halfExtent..halfExtent
    double step = 0.0;        // one subdivision
    double barHeight = 0.0, y0 = 0.0, y1 = 0.0;
    double labelY = 0.0;
    float textHeight = 0.0f;

    // For a W x H window, viewport fractions vw x vh and the view scale;
    // false when there is nothing to draw.
    bool compute(double W, double H, double vw, double vh, float viewScale) {
        if (W <= 0 || H <= 0 || vw <= 0 || vh <= 0 || !(viewScale > 0.0f) || !std::isfinite(viewScale)) return false;
        W_ = W, H_ = H, vw_ = vw, vh_ = vh;
        const double vpw = vw * W, vph = vh * H;
        const double k = vpw / vph > 1.0 ? vpw / vph : 1.0;
        int n = 4;
        while (n > 1 && (1.0 / 3.0) / n * vpw <= 67.0) n /= 2;
        const double c = 2.0 * (1.0 / 3.0) * k / viewScale;
        const double lg = std::log10(c);
        int ip = int(lg);
        if (lg < 0) ip -= 1;
        const double p = std::pow(10.0, ip);
        subdivisions = n;
        length = std::floor(c / p) * p;
        halfExtent = length * viewScale / k / 2.0;
        step = 2.0 * halfExtent / n;
        barHeight = 2.0 * 10.0 / vph;
        y0 = -1.0 + 2.0 * 25.0 / vph;
        y1 = y0 + barHeight;
        labelY = y1 + 2.0 * 20.0 / vph;
        // Labels 8 pixels high.
        float ay = 1.0f;
        if (W <= H) ay = float(H / W);
        if (!(vw > vh)) ay *= float(vh / vw);
        textHeight = float(8.0 * ay / vph);
        return true;
    }

    // Label i: its text (value i * length / n * rulerScale) and its anchor
    // in viewport fractions; odd ticks are lowered by 1.5 bar heights.
    void label(int i, float rulerScale, char* text, size_t size, float anchor[3]) const {
        const double v = i * (length / subdivisions) * double(rulerScale);
        const double av = std::fabs(v);
        if (av >= 4000) std::snprintf(text, size, "%.2e", v);
        else if (av >= 40) std::snprintf(text, size, "%.2f", v);
        else if (av >= 0.04) std::snprintf(text, size, "%.3f", v);
        else std::snprintf(text, size, "%g", v);
        double y = labelY;
        if (subdivisions > 1 && (i % 2) == 1) y -= 1.5 * barHeight;
        const double x = -halfExtent + i * step;
        anchor[0] = float((x + 1.0) / 2.0);
        anchor[1] = float((y + 1.0) / 2.0);
        anchor[2] = 0.0f;
    }

    // Anchor of the unit text after the last (centred) label, whose width
    // is `width` font units in a font of height maxY.
    void unitAnchor(float width, int maxY, const float lastAnchor[3], float out[3]) const {
        float ax = 1.0f;
        if (W_ > H_) ax = float(W_ / H_);
        if (vw_ > vh_) ax *= float(vw_ / vh_);
        const double half = 0.5 * width / maxY * 2.0 * textHeight / ax;
        const double right = halfExtent + half + 2.0 * 4.0 / (vw_ * W_);
        out[0] = float((right + 1.0) / 2.0);
        out[1] = lastAnchor[1];
        out[2] = 0.0f;
    }

private:
    double W_ = 0, H_ = 0, vw_ = 0, vh_ = 0;
};
