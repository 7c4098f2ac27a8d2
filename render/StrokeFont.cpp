#include "render/StrokeFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/ModulePath.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"

// The font compiled into the library (render/BuiltinFont.cpp), one .fnt line
// per entry.
extern const char* const kBuiltinStrokeFont[];
extern const int kBuiltinStrokeFontCount;

namespace {

constexpr int kInitialMin = 100000;
constexpr int kInitialMax = -100000;
constexpr long kMaxFormat = 1000000;

int lowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// Case-insensitive prefix test; stops at the end of text.
bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (!*text || lowerAscii(static_cast<unsigned char>(*text)) != lowerAscii(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// Reads up to count integers separated by white space from the start of the
// line, as sscanf("%d %d ...") would; what follows them is ignored.  A value
// beyond the coordinate limit stops the scan (the line then fails the
// caller's count check), so no overflow can occur.  Returns how many were read.
int parseInts(const std::string& line, long* out, int count) {
    size_t i = 0;
    const size_t n = line.size();
    int got = 0;
    while (got < count) {
        while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        bool negative = false;
        if (i < n && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
        if (i >= n || line[i] < '0' || line[i] > '9') return got;
        long value = 0;
        while (i < n && line[i] >= '0' && line[i] <= '9') {
            value = value * 10 + (line[i] - '0');
            if (value > StrokeFont::kMaxCoordinate) return got;
            ++i;
        }
        out[got++] = negative ? -value : value;
    }
    return got;
}

}  // namespace

// ---- line sources -----------------------------------------------------------

// One line at a time without its line end.  A line longer than
// kMaxLineLength or a read error marks the source failed and ends it, so a
// file without line breaks (or a device) cannot grow a line without bound.
class StrokeFont::LineSource {
public:
    virtual ~LineSource() = default;
    virtual bool next(std::string& line) = 0;
    bool failed() const { return failed_; }

protected:
    bool failed_ = false;
};

namespace {

class FileLines : public StrokeFont::LineSource {
public:
    explicit FileLines(std::FILE* file) : file_(file) {}
    bool next(std::string& line) override {
        line.clear();
        if (failed_ || done_) return false;
        int c;
        while ((c = std::getc(file_)) != EOF) {
            if (c == '\n') return true;
            if (line.size() >= static_cast<size_t>(StrokeFont::kMaxLineLength)) {
                failed_ = true;
                return false;
            }
            line.push_back(static_cast<char>(c));
        }
        done_ = true;
        if (std::ferror(file_)) {
            failed_ = true;
            return false;
        }
        return !line.empty();  // a last line without a line end
    }

private:
    std::FILE* file_;
    bool done_ = false;
};

class TextLines : public StrokeFont::LineSource {
public:
    explicit TextLines(std::string_view text) : text_(text) {}
    bool next(std::string& line) override {
        line.clear();
        if (failed_ || pos_ >= text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        if (end - pos_ > static_cast<size_t>(StrokeFont::kMaxLineLength)) {
            failed_ = true;
            return false;
        }
        line.assign(text_.substr(pos_, end - pos_));
        pos_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

class ArrayLines : public StrokeFont::LineSource {
public:
    ArrayLines(const char* const* lines, int count) : lines_(lines), count_(count) {}
    bool next(std::string& line) override {
        line.clear();
        if (index_ >= count_ || !lines_[index_]) return false;
        line = lines_[index_++];
        return true;
    }

private:
    const char* const* lines_;
    int count_;
    int index_ = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

// ---- reading ----------------------------------------------------------------

bool StrokeFont::load(const char* name) {
    if (loaded_ || !name) return false;
    std::string path;
    if (const char* fontDir = std::getenv("DRAV_FONT_DIR")) {
        path = std::string(fontDir) + "/" + name + ".fnt";
    } else if (const char* dravDir = std::getenv("DRAV_DIR")) {
        path = std::string(dravDir) + "/Utility/" + name + ".fnt";
    } else {
        std::string programDir = platform::ModuleDirectory();
        // An unknown program directory would make this a path relative to
        // the working directory; the built-in font is the better choice.
        if (!programDir.empty()) path = programDir + name + ".fnt";
    }
    std::unique_ptr<std::FILE, FileCloser> file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
    if (!file) return loadBuiltin();
    FileLines lines(file.get());
    if (!read(lines)) return false;
    source_ = path;
    builtin_ = false;
    return true;
}

bool StrokeFont::loadFromText(std::string_view text) {
    if (loaded_) return false;
    TextLines lines(text);
    if (!read(lines)) return false;
    source_.clear();
    builtin_ = false;
    return true;
}

bool StrokeFont::loadBuiltin() {
    if (loaded_) return false;
    ArrayLines lines(kBuiltinStrokeFont, kBuiltinStrokeFontCount);
    if (!read(lines)) return false;
    source_.clear();
    builtin_ = true;
    return true;
}

// Parses the whole font into locals and commits only a complete one, so a
// damaged font leaves this object unloaded and empty.
bool StrokeFont::read(LineSource& in) {
    std::string line;
    long value[4];
    if (!in.next(line) || parseInts(line, value, 1) != 1) return false;
    const long format = value[0];
    if (format < 0 || format > kMaxFormat) return false;
    const bool monospaced = format % 2 == 1;
    const bool polygons = format > 1;

    std::vector<Glyph> glyphs;
    int minY = kInitialMin, maxY = kInitialMax;
    int widest = 0, digitWidth = 0;

    // Records past code 127 are ignored: the renderer's glyph lists of the
    // next font begin there.
    while (glyphs.size() < static_cast<size_t>(kMaxGlyphs)) {
        if (!in.next(line)) break;  // the end of the file ends the font
        if (isBlank(line)) continue;
        const long expected = kFirstCode + static_cast<long>(glyphs.size());
        if (parseInts(line, value, 1) != 1 || value[0] != expected) return false;
        if (!in.next(line) || parseInts(line, value, 1) != 1) return false;
        const long count = value[0];
        if (count < 0 || count > kMaxItemsPerGlyph) return false;

        Glyph glyph;
        int xmin = kInitialMin, xmax = kInitialMax;
        auto addPoint = [&](long x, long y) {
            glyph.data.push_back(static_cast<int>(x));
            glyph.data.push_back(static_cast<int>(y));
            ++glyph.points;
            xmin = std::min(xmin, static_cast<int>(x));
            xmax = std::max(xmax, static_cast<int>(x));
            minY = std::min(minY, static_cast<int>(y));
            maxY = std::max(maxY, static_cast<int>(y));
        };
        if (!polygons) {
            // Storage grows with the lines actually read, never with the
            // promised count.
            for (long i = 0; i < count; ++i) {
                if (!in.next(line) || parseInts(line, value, 4) != 4) return false;
                addPoint(value[0], value[1]);
                addPoint(value[2], value[3]);
                ++glyph.items;
            }
        } else {
            long left = count;
            while (left > 0) {
                if (!in.next(line) || parseInts(line, value, 1) != 1) return false;
                --left;
                const long n = value[0];
                if (n < 0 || n > left) return false;
                glyph.data.push_back(static_cast<int>(n));
                for (long j = 0; j < n; ++j) {
                    if (!in.next(line) || parseInts(line, value, 2) != 2) return false;
                    addPoint(value[0], value[1]);
                }
                left -= n;
                ++glyph.items;
            }
        }
        if (glyph.points > 0) {
            glyph.xmin = xmin;
            glyph.xmax = xmax;
            widest = std::max(widest, xmax - xmin);
            if (expected >= '0' && expected <= '9') digitWidth = std::max(digitWidth, xmax - xmin);
        }
        glyphs.push_back(std::move(glyph));
    }
    if (in.failed()) return false;
    // The maximum y is the unit of every text size: a font without any
    // point above the baseline has none.
    if (maxY <= 0) return false;

    loaded_ = true;
    monospaced_ = monospaced;
    polygons_ = polygons;
    minY_ = minY;
    maxY_ = maxY;
    widest_ = widest;
    digitWidth_ = digitWidth;
    glyphs_ = std::move(glyphs);
    return true;
}

// ---- metrics ------------------------------------------------------------------

const StrokeFont::Glyph* StrokeFont::glyph(int code) const {
    int index = code - kFirstCode;
    if (index < 0 || index >= static_cast<int>(glyphs_.size())) return nullptr;
    return &glyphs_[static_cast<size_t>(index)];
}

float StrokeFont::lineHeight() const {
    if (maxY_ <= 0) return 0.0f;
    return 1.1f * (1.0f - static_cast<float>(minY_) / static_cast<float>(maxY_));
}

int StrokeFont::advance(int code) const {
    const Glyph* g = glyph(code);
    if (!g) return 0;
    if (monospaced_) return widest_;
    if (!g->hasStrokes()) return code == ' ' ? digitWidth_ : widest_;
    if ((code >= '0' && code <= '9') || code == '+' || code == '-' || code == '.') return digitWidth_;
    return g->xmax - g->xmin;
}

int StrokeFont::lineBreakLength(const char* text) {
    if (!text) return 0;
    if (*text == '\n') return 1;
    return startsWithNoCase(text, "<BR>") ? 4 : 0;
}

int StrokeFont::colourTagLength(const char* text, unsigned char rgb[3]) {
    if (!text || !startsWithNoCase(text, "<COLOR=")) return 0;
    const char* p = text + 7;
    int digits[6];
    for (int i = 0; i < 6; ++i) {
        digits[i] = hexValue(p[i]);
        if (digits[i] < 0) return 0;  // also stops at the end of the text
    }
    if (p[6] != '>') return 0;
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<unsigned char>(digits[2 * c] * 16 + digits[2 * c + 1]);
    return 14;
}

int StrokeFont::colourEndLength(const char* text) {
    return (text && startsWithNoCase(text, "</COLOR>")) ? 8 : 0;
}

namespace {

// Length of the markup tag at text (colour or its end), 0 for none.
int tagLength(const char* text) {
    unsigned char rgb[3];
    if (int n = StrokeFont::colourTagLength(text, rgb)) return n;
    return StrokeFont::colourEndLength(text);
}

}  // namespace

bool StrokeFont::measure(const char* text, float* width, float* minY, float* maxY, float* lineHeight,
                         float* spacing, int* lines) const {
    if (!loaded_) return false;
    const float sp = letterSpacing();
    float widest = 0.0f;
    int lineCount = 0;
    if (text && *text) {
        lineCount = 1;
        float sum = 0.0f;
        int glyphsInLine = 0;
        auto endLine = [&] {
            if (glyphsInLine > 0) widest = std::max(widest, sum - sp);
            sum = 0.0f;
            glyphsInLine = 0;
        };
        for (const char* p = text; *p;) {
            if (int n = lineBreakLength(p)) {
                endLine();
                ++lineCount;
                p += n;
                continue;
            }
            if (int n = tagLength(p)) {
                p += n;
                continue;
            }
            int code = static_cast<unsigned char>(*p++);
            if (glyph(code)) {
                sum += static_cast<float>(advance(code)) + sp;
                ++glyphsInLine;
            }
        }
        endLine();
    }
    const float lh = this->lineHeight();
    if (width) *width = widest;
    if (maxY) *maxY = static_cast<float>(maxY_);
    if (minY) *minY = static_cast<float>(minY_) - static_cast<float>(std::max(0, lineCount - 1)) * lh * maxY_;
    if (lineHeight) *lineHeight = lh;
    if (spacing) *spacing = sp;
    if (lines) *lines = lineCount;
    return true;
}

float StrokeFont::wordWidth(const char* text, int* consumed) const {
    if (consumed) *consumed = 0;
    if (!loaded_) return -1.0f;
    if (!text) return 0.0f;
    const float sp = letterSpacing();
    float w = 0.0f;
    const char* p = text;
    while (*p == ' ') {
        w += static_cast<float>(advance(' ')) + (glyph(' ') ? sp : 0.0f);
        ++p;
    }
    while (*p && *p != ' ' && !lineBreakLength(p)) {
        if (int n = tagLength(p)) {
            p += n;
            continue;
        }
        int code = static_cast<unsigned char>(*p++);
        if (glyph(code)) w += static_cast<float>(advance(code)) + sp;
        if (code == '-') break;
    }
    if (consumed) *consumed = static_cast<int>(p - text);
    return w;
}

std::vector<StrokeFont::Line> StrokeFont::layoutLines(const char* text, float wrapWidth) const {
    std::vector<Line> lines;
    if (!loaded_ || !text) return lines;
    const float unit = static_cast<float>(maxY_);
    const float sp = letterSpacing();
    const bool wrap = wrapWidth > 0.0f && std::isfinite(wrapWidth);
    size_t pos = 0;
    while (text[pos]) {
        while (text[pos] == ' ') ++pos;
        Line line;
        line.begin = pos;
        float sum = 0.0f;  // font units, each character with its spacing
        bool first = true;
        size_t breakLength = 0;
        while (text[pos]) {
            if ((breakLength = static_cast<size_t>(lineBreakLength(text + pos)))) break;
            int consumed = 0;
            float w = wordWidth(text + pos, &consumed);
            if (!first && wrap && (sum + w - sp) / unit > wrapWidth) break;
            sum += w;
            pos += static_cast<size_t>(consumed);
            first = false;
        }
        line.end = pos;
        line.width = sum > 0.0f ? (sum - sp) / unit : 0.0f;
        lines.push_back(line);
        pos += breakLength;
    }
    return lines;
}

void StrokeFont::glyphStrokes(int code, std::vector<float>& xy, std::vector<int>& counts) const {
    xy.clear();
    counts.clear();
    const Glyph* g = glyph(code);
    if (!g || !g->hasStrokes()) return;
    const float unit = static_cast<float>(maxY_);
    auto point = [&](int x, int y) {
        xy.push_back(static_cast<float>(x - g->xmin) / unit);
        xy.push_back(static_cast<float>(y) / unit);
    };
    const std::vector<int>& d = g->data;
    if (!polygons_) {
        for (size_t i = 0; i + 3 < d.size(); i += 4) {
            point(d[i], d[i + 1]);
            point(d[i + 2], d[i + 3]);
            counts.push_back(2);
        }
    } else {
        for (size_t i = 0; i < d.size();) {
            int n = d[i++];
            for (int j = 0; j < n; ++j, i += 2) point(d[i], d[i + 1]);
            counts.push_back(n);
        }
    }
}

// The strokes of one glyph as 3D lines; polygons as closed outlines, since
// the renderer interface has no filled immediate polygon.
void StrokeFont::emitStrokes(Graphics& g, int code) const {
    std::vector<float> xy;
    std::vector<int> counts;
    glyphStrokes(code, xy, counts);
    size_t at = 0;
    for (int n : counts) {
        const float* p = xy.data() + at;
        if (!polygons_) {
            if (n == 2) {
                const float a[3] = {p[0], p[1], 0.0f}, b[3] = {p[2], p[3], 0.0f};
                g.drawLine3D(a, b);
            }
        } else if (n >= 2) {
            const int edges = n == 2 ? 1 : n;  // a two-point polygon is one line
            for (int j = 0; j < edges; ++j) {
                const int k = (j + 1) % n;
                const float a[3] = {p[2 * j], p[2 * j + 1], 0.0f}, b[3] = {p[2 * k], p[2 * k + 1], 0.0f};
                g.drawLine3D(a, b);
            }
        }
        at += static_cast<size_t>(2 * n);
    }
}

// ---- drawing ------------------------------------------------------------------

void StrokeFont::drawText(Graphics& g, const char* text, const float anchor[3], int alignment, float height,
                          float wrapWidth, float angle, int fontIndex, float colour, bool screen, GlyphSink* sink) {
    if (!text || !anchor || fontIndex < 0 || fontIndex >= g.fontCount || !g.fonts) return;
    const StrokeFont* font = g.fonts[fontIndex];
    if (!font || !font->loaded_) return;
    const StrokeFont& f = *font;
    const float unit = static_cast<float>(f.maxY_);
    const float spacing = f.letterSpacing();

    g.pushMatrix();
    const float s = 2.0f * height;
    float wrap = wrapWidth;
    if (screen) {
        g.translate(2.0f * anchor[0] - 1.0f, 2.0f * anchor[1] - 1.0f, 0.0f);
        float ax = 1.0f, ay = 1.0f;
        int w = 0, h = 0;
        g.getWindowSize(&w, &h);
        if (w > 0 && h > 0) {
            if (w > h)
                ax = static_cast<float>(w) / static_cast<float>(h);
            else
                ay = static_cast<float>(h) / static_cast<float>(w);
        }
        float vl = 0, vb = 0, vw = 0, vh = 0;
        g.getViewport(&vl, &vb, &vw, &vh);
        if (vw > 0.0f && vh > 0.0f) {
            if (vw > vh)
                ax *= vw / vh;
            else
                ay *= vh / vw;
        }
        g.scale(s / ax, s / ay, 1.0f);
        // A zero height gives no text unit to wrap in: no wrapping.
        wrap = s != 0.0f ? 2.0f * wrapWidth * ax / std::fabs(s) : 0.0f;
    } else {
        g.translate(anchor[0], anchor[1], anchor[2]);
        g.scale(s, s, 1.0f);
    }
    g.translate(0.0f, -0.5f, 0.0f);
    g.rotate(0.0f, 0.0f, 1.0f, angle);

    auto setBaseColour = [&] {
        if (colour >= 0.0f) {
            // A tag colour set in between is not known to the value cache.
            g.currentColourValue = -1.0f;
            g.setColourValue(colour);
        } else {
            float grey = -colour - 1.0f;
            const float rgb[3] = {grey, grey, grey};
            g.setColour(rgb, g.alpha);
        }
    };
    setBaseColour();

    const float lineStep = f.lineHeight();
    for (const Line& line : f.layoutLines(text, wrap)) {
        float offset = 0.0f;
        if (alignment == 1)
            offset = -line.width / 2.0f;
        else if (alignment == 2)
            offset = -line.width;
        g.translate(offset, 0.0f, 0.0f);
        float moved = 0.0f;
        for (size_t i = line.begin; i < line.end;) {
            const char* p = text + i;
            unsigned char rgb[3];
            if (int n = colourTagLength(p, rgb)) {
                const float c[3] = {rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f};
                g.setColour(c, g.alpha);
                g.currentColourValue = -1.0f;
                i += static_cast<size_t>(n);
                continue;
            }
            if (int n = colourEndLength(p)) {
                setBaseColour();
                i += static_cast<size_t>(n);
                continue;
            }
            int code = static_cast<unsigned char>(*p);
            ++i;
            const Glyph* gl = f.glyph(code);
            if (!gl) continue;
            const float adv = static_cast<float>(f.advance(code));
            float lead = 0.0f;
            if (gl->hasStrokes()) {
                lead = (adv + static_cast<float>(gl->xmin - gl->xmax)) / 2.0f;
                g.translate(lead / unit, 0.0f, 0.0f);
                if (sink)
                    sink->drawGlyph(g, f, fontIndex, code);
                else
                    f.emitStrokes(g, code);
            }
            g.translate((adv - lead + spacing) / unit, 0.0f, 0.0f);
            moved += (adv + spacing) / unit;
        }
        // Back to the line start exactly (the moves include the spacing after
        // the last character), then down one line.
        g.translate(-(offset + moved), -lineStep, 0.0f);
    }
    g.popMatrix();
}

void StrokeFont::drawLabelTexts(Graphics& g, const LabelRecord& label, GlyphSink* sink) {
    for (int t = 0; t < label.numTexts && size_t(t) < label.textStrings.size(); ++t) {
        if (size_t(2 * t + 1) >= label.textPositions.size()) break;
        const float at[3] = {label.textPositions[size_t(2 * t)], label.textPositions[size_t(2 * t + 1)], 0.0f};
        const float size = size_t(t) < label.textSizes.size() ? label.textSizes[size_t(t)] : label.textSize;
        const float angle = size_t(t) < label.textAngles.size() ? label.textAngles[size_t(t)] : 0.0f;
        const int alignment = size_t(t) < label.textAlignments.size() ? label.textAlignments[size_t(t)] : 0;
        drawText(g, label.textStrings[size_t(t)].c_str(), at, alignment, size, 0.0f, angle,
                 label.textFont == 0 ? 0 : std::min(1, g.fontCount - 1), label.textColour, false, sink);
    }
}
