// Stroke fonts: reading and rejecting .fnt text, the file lookup with its
// built-in fallback, metrics and layout, and the drawing sequence seen by a
// recording renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "platform/ModulePath.h"
#include "render/Graphics.h"
#include "render/StrokeFont.h"

namespace {

using Segment = std::array<int, 4>;
using GlyphMap = std::map<int, std::vector<Segment>>;

// A segment-format font with records for codes 32..lastCode; codes not in
// the map have no strokes.
std::string fontText(int format, const GlyphMap& glyphs, int lastCode = 127) {
    std::string s = std::to_string(format) + "\n";
    for (int code = 32; code <= lastCode; ++code) {
        s += std::to_string(code) + (code > 32 && code < 127 ? std::string(" ") + char(code) : "") + "\n";
        auto it = glyphs.find(code);
        size_t n = it == glyphs.end() ? 0 : it->second.size();
        s += std::to_string(n) + "\n";
        if (n)
            for (const Segment& sg : it->second)
                s += std::to_string(sg[0]) + " " + std::to_string(sg[1]) + " " + std::to_string(sg[2]) + " " +
                     std::to_string(sg[3]) + "\n";
    }
    return s;
}

// Test font: y from -200 to 1000, digits 500 wide, "a" 400, "b" 600, "W"
// 900 (the widest), "-" and "+" 300, "." 50, "!" 100.
GlyphMap testGlyphs() {
    GlyphMap g;
    for (int c = '0'; c <= '9'; ++c) g[c] = {{{100, 0, 600, 700}}};
    g['a'] = {{{50, 0, 450, 500}}};
    g['b'] = {{{0, -200, 600, 1000}}};
    g['W'] = {{{0, 0, 900, 800}}};
    g['-'] = {{{0, 300, 300, 300}}};
    g['+'] = {{{0, 300, 300, 300}, {150, 150, 150, 450}}};
    g['.'] = {{{0, 0, 50, 50}}};
    g['!'] = {{{20, 0, 120, 800}}};
    g['x'] = {{{0, 0, 400, 500}, {0, 500, 400, 0}}};
    return g;
}

StrokeFont loadedTestFont(int format = 0) {
    StrokeFont f;
    EXPECT_TRUE(f.loadFromText(fontText(format, testGlyphs())));
    return f;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Sets or clears an environment variable for one test, restoring it after.
class EnvGuard {
public:
    EnvGuard(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Renderer that logs the text operations and follows the 2D part of the
// model-view matrix, so that drawn lines can be checked where they land.
class RecordingGraphics : public Graphics {
public:
    struct Affine {
        double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;  // x' = a x + c y + tx, y' = b x + d y + ty
    };
    struct Line {
        double x1, y1, x2, y2;
        std::array<float, 3> colour;
    };

    std::vector<std::string> log;
    std::vector<Line> lines;
    std::vector<Affine> stack{Affine{}};
    std::array<float, 3> colour{-1, -1, -1};

    void pushMatrix() override {
        log.push_back("push");
        stack.push_back(stack.back());
    }
    void popMatrix() override {
        log.push_back("pop");
        if (stack.size() > 1) stack.pop_back();
    }
    void translate(float x, float y, float) override {
        Affine& m = stack.back();
        m.tx += m.a * x + m.c * y;
        m.ty += m.b * x + m.d * y;
    }
    void scale(float x, float y, float) override {
        log.push_back("scale " + std::to_string(x) + " " + std::to_string(y));
        Affine& m = stack.back();
        m.a *= x;
        m.b *= x;
        m.c *= y;
        m.d *= y;
    }
    void rotate(float, float, float z, float angle) override {
        log.push_back("rotate " + std::to_string(angle));
        double r = angle * 3.141592653589793 / 180.0 * (z < 0 ? -1 : 1);
        double cs = std::cos(r), sn = std::sin(r);
        Affine& m = stack.back();
        Affine n = m;
        n.a = m.a * cs + m.c * sn;
        n.b = m.b * cs + m.d * sn;
        n.c = -m.a * sn + m.c * cs;
        n.d = -m.b * sn + m.d * cs;
        m = n;
    }
    void setColour(const float rgb[3], float) override {
        colour = {rgb[0], rgb[1], rgb[2]};
        log.push_back("colour " + std::to_string(rgb[0]) + " " + std::to_string(rgb[1]) + " " +
                      std::to_string(rgb[2]));
    }
    void setColourValue(float value) override {
        log.push_back("value " + std::to_string(value));
        colour = {-2, -2, -2};
    }
    void drawLine3D(const float p[3], const float q[3]) override {
        const Affine& m = stack.back();
        lines.push_back({m.a * p[0] + m.c * p[1] + m.tx, m.b * p[0] + m.d * p[1] + m.ty,
                         m.a * q[0] + m.c * q[1] + m.tx, m.b * q[0] + m.d * q[1] + m.ty, colour});
    }
};

// A renderer holding one font.
struct Scene {
    StrokeFont font;
    StrokeFont* fonts[1] = {&font};
    RecordingGraphics g;
    explicit Scene(int format = 0) {
        EXPECT_TRUE(font.loadFromText(fontText(format, testGlyphs())));
        g.fontCount = 1;
        g.fonts = fonts;
    }
    void draw(const char* text, int alignment = 0, float wrap = 0.0f, float colour = 3.0f, float angle = 0.0f) {
        const float anchor[3] = {10.0f, 20.0f, 0.0f};
        StrokeFont::drawText(g, text, anchor, alignment, 0.5f, wrap, angle, 0, colour, false);
    }
    double minX() const {
        double m = 1e30;
        for (auto& l : g.lines) m = std::min({m, l.x1, l.x2});
        return m;
    }
    double maxX() const {
        double m = -1e30;
        for (auto& l : g.lines) m = std::max({m, l.x1, l.x2});
        return m;
    }
};

}  // namespace

// ---- reading ------------------------------------------------------------------

TEST(StrokeFontRead, SegmentFontMetrics) {
    StrokeFont f = loadedTestFont();
    ASSERT_TRUE(f.isLoaded());
    EXPECT_FALSE(f.isMonospaced());
    EXPECT_EQ(f.characterCount(), 96);
    EXPECT_EQ(f.minY(), -200);
    EXPECT_EQ(f.maxY(), 1000);
    EXPECT_EQ(f.widestWidth(), 900);
    EXPECT_EQ(f.digitWidth(), 500);
    EXPECT_FLOAT_EQ(f.letterSpacing(), 90.0f);
    EXPECT_FLOAT_EQ(f.lineHeight(), 1.1f * 1.2f);
    ASSERT_NE(f.glyph('a'), nullptr);
    EXPECT_EQ(f.glyph('a')->xmin, 50);
    EXPECT_EQ(f.glyph('a')->xmax, 450);
    EXPECT_EQ(f.glyph(31), nullptr);
    EXPECT_EQ(f.glyph(128), nullptr);
    // A second load of a loaded font does nothing.
    EXPECT_FALSE(f.loadFromText(fontText(0, {{'a', {{{0, 0, 10, 10}}}}})));
    EXPECT_EQ(f.glyph('a')->xmax, 450);
}

TEST(StrokeFontRead, AdvanceRules) {
    StrokeFont f = loadedTestFont();
    struct Case {
        int code;
        int advance;
    } cases[] = {
        {' ', 500},  // no strokes, space: digit width
        {'c', 900},  // no strokes otherwise: widest
        {'7', 500}, {'+', 500}, {'-', 500}, {'.', 500},  // digit width
        {'a', 400}, {'b', 600}, {'!', 100},              // own width
        {200, 0},                                        // no glyph
    };
    for (const Case& c : cases) EXPECT_EQ(f.advance(c.code), c.advance) << "code " << c.code;

    StrokeFont mono = loadedTestFont(1);
    EXPECT_TRUE(mono.isMonospaced());
    for (int code : {' ', 'c', '7', '-', 'a', 'b', '!'}) EXPECT_EQ(mono.advance(code), 900) << "code " << code;
}

TEST(StrokeFontRead, PolygonFormat) {
    // Format 2: a triangle for "!" (header line: point count, ignored number).
    std::string text = "2\n32\n0\n33 !\n4\n3 0\n0 0\n100 0\n50 900\n34\n0\n";
    StrokeFont f;
    ASSERT_TRUE(f.loadFromText(text));
    EXPECT_TRUE(f.hasPolygons());
    EXPECT_FALSE(f.isMonospaced());
    EXPECT_EQ(f.characterCount(), 3);
    std::vector<float> xy;
    std::vector<int> counts;
    f.glyphStrokes('!', xy, counts);
    ASSERT_EQ(counts, std::vector<int>{3});
    EXPECT_FLOAT_EQ(xy[4], 50.0f / 900.0f);
    EXPECT_FLOAT_EQ(xy[5], 1.0f);
    EXPECT_TRUE(StrokeFont().loadFromText("3\n32\n0\n33\n3\n2 0\n0 0\n0 10\n"));  // odd: monospaced polygons
}

TEST(StrokeFontRead, LenientEndings) {
    // Blank lines after the last record, a last line without its line end,
    // Windows line ends, and records past code 127 (ignored).
    GlyphMap g = testGlyphs();
    std::string crlf;
    for (char c : fontText(0, g, 40)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    std::string past = fontText(0, g) + "128\n1\n0 0 5 5\n";
    std::string cases[] = {fontText(0, g, 40) + "\n\n  \n", "0\n32\n0\n33\n1\n0 0 10 10", crlf, past};
    for (const std::string& text : cases) {
        StrokeFont f;
        EXPECT_TRUE(f.loadFromText(text)) << text.substr(0, 40);
    }
    StrokeFont f;
    ASSERT_TRUE(f.loadFromText(past));
    EXPECT_EQ(f.characterCount(), 96);
}

TEST(StrokeFontRead, DamagedFontsAreRejected) {
    std::string good = fontText(0, testGlyphs(), 40);
    std::string wrongCode = good;
    wrongCode.replace(wrongCode.find("33 !"), 4, "34 !");
    std::string truncated = good.substr(0, good.rfind('\n', good.size() - 2) + 1);  // drops the last segment
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"second record carries code 34", wrongCode},
        {"first record not 32", "0\n33\n0\n"},
        {"truncated glyph", truncated},
        {"missing count line", "0\n32\n0\n33 !\n"},
        {"count line not a number", "0\n32\nx\n"},
        {"item line with three numbers", "0\n32\n0\n33\n1\n1 2 3\n"},
        {"negative count", "0\n32\n-1\n"},
        {"count of 2^31 without the lines", "0\n32\n0\n33\n2147483647\n0 0 10 10\n"},
        {"count above the per-glyph limit", "0\n32\n0\n33\n100001\n0 0 10 10\n"},
        {"coordinate too large", "0\n32\n0\n33\n1\n0 0 10 99999999999999999999\n"},
        {"polygon longer than its record", "2\n32\n0\n33\n2\n3 0\n0 0\n"},
        {"negative polygon count", "2\n32\n0\n33\n2\n-1 0\n0 0\n"},
        {"polygon point with one number", "2\n32\n0\n33\n2\n1 0\n5\n"},
        {"line without an end", "0\n32\n0\n33\n1\n0 0 10 " + std::string(5000, '1') + "\n"},
        {"format line not a number", "serif\n32\n0\n33\n1\n0 0 10 10\n"},
        {"negative format", "-1\n32\n0\n33\n1\n0 0 10 10\n"},
        {"empty text", ""},
        {"nothing above the baseline", "0\n32\n0\n33\n1\n0 0 10 0\n"},
        {"no records", "0\n"},
    };
    for (const Case& c : cases) {
        StrokeFont f;
        EXPECT_FALSE(f.loadFromText(c.text)) << c.what;
        EXPECT_FALSE(f.isLoaded()) << c.what;
        EXPECT_EQ(f.characterCount(), 0) << c.what;
        float w = 0;
        EXPECT_FALSE(f.measure("a", &w, nullptr, nullptr, nullptr, nullptr)) << c.what;
        EXPECT_EQ(f.wordWidth("a", nullptr), -1.0f) << c.what;
    }
}

// ---- finding the file -----------------------------------------------------------

class StrokeFontLookup : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::ScratchDir("strokefont_lookup");
        fontDir = dir + "/fontdir";
        dravDir = dir + "/drav";
        emptyDir = dir + "/empty";
        for (const std::string& d : {fontDir, dravDir, dravDir + "/Utility", emptyDir})
            std::filesystem::create_directories(d);
        // Distinct fonts: "!" 111 wide in DRAV_FONT_DIR, 222 in DRAV_DIR.
        writeFile(fontDir + "/probe.fnt", fontText(0, {{'!', {{{0, 0, 111, 700}}}}}, 40));
        writeFile(dravDir + "/Utility/probe.fnt", fontText(0, {{'!', {{{0, 0, 222, 700}}}}}, 40));
    }
    std::string dir, fontDir, dravDir, emptyDir;
};

TEST_F(StrokeFontLookup, FirstMatchingRuleOnly) {
    struct Case {
        const char* what;
        std::optional<std::string> fontDirVar, dravDirVar;
        const char* name;
        int bangWidth;  // 0: the built-in font
    } cases[] = {
        {"DRAV_FONT_DIR has the file", fontDir, dravDir, "probe", 111},
        {"DRAV_FONT_DIR without the file, DRAV_DIR with it", emptyDir, dravDir, "probe", 0},
        {"only DRAV_DIR", std::nullopt, dravDir, "probe", 222},
        {"DRAV_DIR without the file", std::nullopt, emptyDir, "probe", 0},
        {"program directory", std::nullopt, std::nullopt, "sanserif", -1},
        {"program directory without the file", std::nullopt, std::nullopt, "no_such_font", 0},
    };
    for (const Case& c : cases) {
        EnvGuard a("DRAV_FONT_DIR", c.fontDirVar);
        EnvGuard b("DRAV_DIR", c.dravDirVar);
        StrokeFont f;
        ASSERT_TRUE(f.load(c.name)) << c.what;
        EXPECT_EQ(f.isBuiltin(), c.bangWidth == 0) << c.what;
        if (c.bangWidth > 0) {
            EXPECT_EQ(f.glyph('!')->xmax - f.glyph('!')->xmin, c.bangWidth) << c.what;
        }
        if (c.bangWidth == -1) {
            EXPECT_EQ(f.sourcePath(), platform::ModuleDirectory() + "sanserif.fnt") << c.what;
        }
        EXPECT_FALSE(f.load(c.name)) << c.what << ": already loaded";
    }
}

TEST_F(StrokeFontLookup, DamagedFileIsNotReplacedByTheBuiltinFont) {
    std::string bad = fontText(0, testGlyphs(), 40);
    bad.replace(bad.find("33 !"), 4, "34 !");
    writeFile(fontDir + "/bad.fnt", bad);
    EnvGuard a("DRAV_FONT_DIR", fontDir);
    StrokeFont f;
    EXPECT_FALSE(f.load("bad"));
    EXPECT_FALSE(f.isLoaded());
    EXPECT_FALSE(f.isBuiltin());
}

// ---- measuring and layout ---------------------------------------------------------

TEST(StrokeFontLayout, MeasureLines) {
    StrokeFont f = loadedTestFont();
    const float sp = 90.0f;
    struct Case {
        const char* text;
        float width;
        int lines;
    } cases[] = {
        {"a", 400, 1},
        {"ab", 400 + sp + 600, 1},
        {"a<BR>bb", 600 + sp + 600, 2},  // the width of the second line
        {"bb<br>a", 600 + sp + 600, 2},
        {"a\nbb\n", 600 + sp + 600, 3},
        {"<COLOR=ff0000>a</color>", 400, 1},  // tags take no room
        {"<COLOR=ff00>a", 10 * 900 + 2 * 500 + 400 + 12 * sp, 1},  // not a tag: drawn as text
        {"a\x01\xff", 400, 1},                // characters without a glyph
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        float width = -1, minY = 0, maxY = 0, lineHeight = 0, spacing = 0;
        int lines = -1;
        ASSERT_TRUE(f.measure(c.text, &width, &minY, &maxY, &lineHeight, &spacing, &lines)) << c.text;
        EXPECT_FLOAT_EQ(width, c.width) << c.text;
        EXPECT_EQ(lines, c.lines) << c.text;
        EXPECT_FLOAT_EQ(maxY, 1000.0f) << c.text;
        EXPECT_FLOAT_EQ(spacing, sp) << c.text;
        EXPECT_FLOAT_EQ(lineHeight, 1.32f) << c.text;
        // Extra lines extend the extent downwards.
        EXPECT_FLOAT_EQ(minY, -200.0f - std::max(0, c.lines - 1) * 1.32f * 1000.0f) << c.text;
    }
}

TEST(StrokeFontLayout, WordWidth) {
    StrokeFont f = loadedTestFont();
    const float sp = 90.0f;
    struct Case {
        const char* text;
        float width;
        int consumed;
    } cases[] = {
        {"ab cd", 400 + 600 + 2 * sp, 2},
        {"  ab", 2 * (500 + sp) + 400 + 600 + 2 * sp, 4},
        {"a-b", 400 + 500 + 2 * sp, 2},  // ends just after "-"
        {"a<color=00FF00>b</COLOR> c", 400 + 600 + 2 * sp, 24},
        {"a<BR>b", 400 + sp, 1},
        {"a\nb", 400 + sp, 1},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        int consumed = -1;
        EXPECT_FLOAT_EQ(f.wordWidth(c.text, &consumed), c.width) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
}

TEST(StrokeFontLayout, WrapsBetweenWords) {
    StrokeFont f = loadedTestFont();
    // "aa" is 0.89 text units wide, "aa aa" 2.46.
    struct Case {
        const char* text;
        float wrap;
        std::vector<std::string> lines;
    } cases[] = {
        {"aa aa aa", 0.0f, {"aa aa aa"}},
        {"aa aa aa", 2.5f, {"aa aa", "aa"}},
        {"aa aa aa", 1.0f, {"aa", "aa", "aa"}},
        {"aa aa aa", 0.1f, {"aa", "aa", "aa"}},  // a first word is always taken
        {"  aa<br>  bb", 0.0f, {"aa", "bb"}},     // leading spaces skipped
        {"aa-aa", 1.0f, {"aa-", "aa"}},
        {"aa\n\naa", 0.0f, {"aa", "", "aa"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const StrokeFont::Line& l : f.layoutLines(c.text, c.wrap))
            got.emplace_back(c.text + l.begin, c.text + l.end);
        EXPECT_EQ(got, c.lines) << c.text << " wrap " << c.wrap;
    }
    auto lines = f.layoutLines("aa aa", 0.0f);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FLOAT_EQ(lines[0].width, (4 * 400 + 500 + 4 * 90) / 1000.0f);
}

// ---- drawing ------------------------------------------------------------------------

TEST(StrokeFontDraw, LowerCaseColourTagColoursTheFollowingCharacter) {
    Scene s;
    s.draw("<color=ff0000>x</COLOR>x", 0, 0.0f, 3.0f);
    // Base colour value, then red for the first x, then the base value again.
    std::vector<std::string> colours;
    for (const std::string& e : s.g.log)
        if (e.rfind("colour", 0) == 0 || e.rfind("value", 0) == 0) colours.push_back(e);
    ASSERT_EQ(colours.size(), 3u);
    EXPECT_EQ(colours[0], "value 3.000000");
    EXPECT_EQ(colours[1], "colour 1.000000 0.000000 0.000000");
    EXPECT_EQ(colours[2], "value 3.000000");
    ASSERT_EQ(s.g.lines.size(), 4u);  // two segments per x
    EXPECT_EQ(s.g.lines[0].colour, (std::array<float, 3>{1, 0, 0}));
    EXPECT_EQ(s.g.lines[1].colour, (std::array<float, 3>{1, 0, 0}));
    EXPECT_NE(s.g.lines[2].colour, (std::array<float, 3>{1, 0, 0}));
}

TEST(StrokeFontDraw, NegativeColourIsGrey) {
    Scene s;
    s.draw("x", 0, 0.0f, -1.5f);
    ASSERT_FALSE(s.g.lines.empty());
    EXPECT_EQ(s.g.lines[0].colour, (std::array<float, 3>{0.5f, 0.5f, 0.5f}));
}

TEST(StrokeFontDraw, PlacementAndAlignment) {
    // Height 0.5: one text unit (1000 font units) is one world unit.  The
    // anchor is (10, 20); the base line sits 0.5 below it.
    struct Case {
        int alignment;
        double left;
    } cases[] = {{0, 10.0}, {1, 10.0 - 0.445}, {2, 10.0 - 0.89}};
    for (const Case& c : cases) {
        Scene s;
        s.draw("ax", c.alignment);  // 400 + 90 + 400 = 890 font units
        EXPECT_NEAR(s.minX(), c.left, 1e-5) << c.alignment;
        EXPECT_NEAR(s.maxX(), c.left + 0.89, 1e-5) << c.alignment;
        // "a" spans y 0..0.5 above the base line at 19.5.
        EXPECT_NEAR(s.g.lines[0].y1, 19.5, 1e-5);
        EXPECT_NEAR(s.g.lines[0].y2, 20.0, 1e-5);
        EXPECT_EQ(std::count(s.g.log.begin(), s.g.log.end(), "push"), 1);
        EXPECT_EQ(std::count(s.g.log.begin(), s.g.log.end(), "pop"), 1);
        EXPECT_EQ(s.g.stack.size(), 1u);
    }
}

TEST(StrokeFontDraw, LinesStackDownAndStartAtTheSameX) {
    Scene s;
    s.draw("a<br>a\na");
    ASSERT_EQ(s.g.lines.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(s.g.lines[i].x1, 10.0, 1e-5) << i;
        EXPECT_NEAR(s.g.lines[i].y1, 19.5 - 1.32 * i, 1e-5) << i;
    }
}

TEST(StrokeFontDraw, GlyphsAreCentredInTheirAdvance) {
    // Monospaced: every glyph advances 900; "a" (400 wide) is centred in it.
    Scene s(1);
    s.draw("aa");
    ASSERT_EQ(s.g.lines.size(), 2u);
    EXPECT_NEAR(s.g.lines[0].x1, 10.0 + 0.25, 1e-5);
    EXPECT_NEAR(s.g.lines[1].x1, 10.0 + 0.99 + 0.25, 1e-5);
}

TEST(StrokeFontDraw, RotationAndScreenScale) {
    Scene s;
    s.g.windowWidth = 400;
    s.g.windowHeight = 200;
    s.g.setViewport(0.0f, 0.0f, 1.0f, 1.0f);
    const float anchor[3] = {0.5f, 0.5f, 0.0f};
    StrokeFont::drawText(s.g, "a", anchor, 0, 0.25f, 0.0f, 90.0f, 0, 1.0f, true);
    EXPECT_NE(std::find(s.g.log.begin(), s.g.log.end(), "scale 0.250000 0.500000"), s.g.log.end());
    EXPECT_NE(std::find(s.g.log.begin(), s.g.log.end(), "rotate 90.000000"), s.g.log.end());
    // Rotated by 90 degrees: "a" now runs upwards, its height along -x.
    ASSERT_EQ(s.g.lines.size(), 1u);
    EXPECT_NEAR(s.g.lines[0].x1 - s.g.lines[0].x2, 0.5 * 0.25, 1e-5);
    EXPECT_NEAR(s.g.lines[0].y2 - s.g.lines[0].y1, 0.4 * 0.5, 1e-5);
}

TEST(StrokeFontDraw, ScreenWrapWidthIsAViewportFraction) {
    // Window 200 x 200, height 0.25 (s = 0.5): "aa aa" is 2.46 text units,
    // 1.23 in window units (-1..1), so a wrap of 0.5 (half the viewport,
    // 1.0 window units) breaks it and a wrap of 0.7 does not.
    for (float wrap : {0.5f, 0.7f}) {
        Scene s;
        s.g.windowWidth = 200;
        s.g.windowHeight = 200;
        s.g.setViewport(0.0f, 0.0f, 1.0f, 1.0f);
        const float anchor[3] = {0.5f, 0.5f, 0.0f};
        StrokeFont::drawText(s.g, "aa aa", anchor, 0, 0.25f, wrap, 0.0f, 0, 1.0f, true);
        double lowest = 1e30;
        for (auto& l : s.g.lines) lowest = std::min({lowest, l.y1, l.y2});
        EXPECT_EQ(lowest < -0.3, wrap == 0.5f) << wrap << " lowest " << lowest;
    }
}

TEST(StrokeFontDraw, NothingForABadFontOrAnUnloadedFont) {
    Scene s;
    const float anchor[3] = {0, 0, 0};
    for (int index : {-1, 1, 5}) StrokeFont::drawText(s.g, "a", anchor, 0, 1, 0, 0, index, 1, false);
    StrokeFont empty;
    StrokeFont* fonts[1] = {&empty};
    RecordingGraphics g;
    g.fontCount = 1;
    g.fonts = fonts;
    StrokeFont::drawText(g, "a", anchor, 0, 1, 0, 0, 0, 1, false);
    EXPECT_TRUE(s.g.log.empty());
    EXPECT_TRUE(g.log.empty());
}

TEST(StrokeFontDraw, GlyphSinkReplacesTheLines) {
    struct Sink : StrokeFont::GlyphSink {
        std::vector<int> codes;
        void drawGlyph(Graphics&, const StrokeFont&, int fontIndex, int code) override {
            EXPECT_EQ(fontIndex, 0);
            codes.push_back(code);
        }
    } sink;
    Scene s;
    const float anchor[3] = {0, 0, 0};
    StrokeFont::drawText(s.g, "a b", anchor, 0, 1, 0, 0, 0, 1, false, &sink);
    EXPECT_EQ(sink.codes, (std::vector<int>{'a', 'b'}));  // the space has no strokes
    EXPECT_TRUE(s.g.lines.empty());
}

// ---- the fonts that ship ------------------------------------------------------------

TEST(StrokeFontShipped, FontsLoadAndMeasureSensibly) {
    EnvGuard a("DRAV_FONT_DIR", testsupport::SourcePath("fonts"));
    EnvGuard b("DRAV_DIR", std::nullopt);
    struct Case {
        const char* name;
        bool builtin;
    } cases[] = {{"serif", false}, {"sanserif", false}, {"(built-in)", true}};
    for (const Case& c : cases) {
        StrokeFont f;
        ASSERT_TRUE(c.builtin ? f.loadBuiltin() : f.load(c.name)) << c.name;
        EXPECT_EQ(f.isBuiltin(), c.builtin) << c.name;
        EXPECT_EQ(f.characterCount(), 96) << c.name;
        EXPECT_FALSE(f.isMonospaced()) << c.name;
        EXPECT_EQ(f.maxY(), 900) << c.name;
        EXPECT_GE(f.minY(), -300) << c.name;
        EXPECT_LE(f.minY(), -150) << c.name;
        EXPECT_GT(f.widestWidth(), 600) << c.name;
        EXPECT_LT(f.widestWidth(), 1200) << c.name;
        EXPECT_GT(f.digitWidth(), 350) << c.name;
        EXPECT_LT(f.digitWidth(), f.widestWidth()) << c.name;
        EXPECT_FALSE(f.glyph(' ')->hasStrokes()) << c.name;
        EXPECT_FALSE(f.glyph(127)->hasStrokes()) << c.name;
        for (int code = 33; code < 127; ++code) EXPECT_TRUE(f.glyph(code)->hasStrokes()) << c.name << " " << code;
        // Proportional: "i" narrower than "m"; capitals reach above lower case.
        EXPECT_LT(f.advance('i'), f.advance('m')) << c.name;
        float width = 0;
        int lines = 0;
        ASSERT_TRUE(f.measure("Hello<BR>World 42", &width, nullptr, nullptr, nullptr, nullptr, &lines));
        EXPECT_EQ(lines, 2);
        EXPECT_GT(width / f.maxY(), 4.0f) << c.name;
        EXPECT_LT(width / f.maxY(), 12.0f) << c.name;
    }
}
