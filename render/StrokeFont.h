#pragma once
// A stroke font: every printable character is a set of line segments or
// polygons in integer font units, read from a ".fnt" text file (or from the
// font compiled into the library when the file cannot be opened), and the
// text layout drawn with it: colour and line-break markup, word wrapping,
// alignment, scaling and rotation, all through the renderer interface.
//
// Units: glyph coordinates are font units; text units are font units
// divided by the font's maximum y (so a text unit is the tallest glyph's
// height above the baseline).
#include <string>
#include <string_view>
#include <vector>

class Graphics;

struct LabelRecord;

class StrokeFont {
public:
    static constexpr int kFirstCode = 32;
    static constexpr int kMaxGlyphs = 96;  // codes 32..127: the renderer keeps 96 glyph lists per font

    // Limits that keep a damaged file from costing unbounded time or memory.
    static constexpr int kMaxItemsPerGlyph = 100000;
    static constexpr int kMaxCoordinate = 1000000;  // |x|, |y| in font units
    static constexpr int kMaxLineLength = 1024;

    struct Glyph {
        int xmin = 0, xmax = 0;  // over its points; both 0 when it has none
        int items = 0;           // segments, or polygons
        int points = 0;          // points stored in data (2 per segment)
        // Segment fonts: x1 y1 x2 y2 per segment.  Polygon fonts: per
        // polygon its point count n, then n pairs x y.
        std::vector<int> data;
        bool hasStrokes() const { return points > 0; }
    };

    // Draws one glyph at the current origin in text units (x from the
    // glyph's xmin, z = 0).  The OpenGL renderer calls its glyph lists here;
    // without a sink the strokes go through Graphics::drawLine3D.
    class GlyphSink {
    public:
        virtual ~GlyphSink() = default;
        virtual void drawGlyph(Graphics& g, const StrokeFont& font, int fontIndex, int code) = 0;
    };

    // One laid-out line: [begin, end) of the text, width in text units.
    struct Line {
        size_t begin = 0;
        size_t end = 0;
        float width = 0.0f;
    };

    StrokeFont() = default;

    // Finds "<name>.fnt" through DRAV_FONT_DIR, else DRAV_DIR + "/Utility/",
    // else the program's directory (only the first rule that applies), and
    // reads it; when it cannot be opened, the built-in font.  False when the
    // font is already loaded or the file is damaged (the font stays
    // unloaded).
    bool load(const char* name);
    // Reads the .fnt format from memory (the built-in font, tests, fuzzing).
    // False, leaving the font as it was, when the font is already loaded or
    // the text is damaged.
    bool loadFromText(std::string_view text);
    bool loadBuiltin();
    // The file the font came from; empty for the built-in font.
    const std::string& sourcePath() const { return source_; }
    // True when load() fell back to the built-in font.
    bool isBuiltin() const { return builtin_; }

    bool isLoaded() const { return loaded_; }
    bool isMonospaced() const { return monospaced_; }
    bool hasPolygons() const { return polygons_; }
    int minY() const { return minY_; }
    int maxY() const { return maxY_; }
    int widestWidth() const { return widest_; }
    int digitWidth() const { return digitWidth_; }
    int characterCount() const { return static_cast<int>(glyphs_.size()); }
    // The glyph of a character code, or null when the font has none.
    const Glyph* glyph(int code) const;

    float letterSpacing() const { return widest_ / 10.0f; }  // font units
    float lineHeight() const;                                 // text units
    // Advance of a character in font units; 0 for a code without a glyph.
    int advance(int code) const;

    // Widest line in font units (each character advance + spacing, minus one
    // spacing per line; markup tags take no room), the font's y extent with
    // the minimum lowered by one line height per extra line, the line height
    // (text units) and the letter spacing (font units).  False when the font
    // is not loaded.  Any out pointer may be null.
    bool measure(const char* text, float* width, float* minY, float* maxY, float* lineHeight, float* spacing,
                 int* lines = nullptr) const;
    // Width in font units of the leading spaces and the next word (up to a
    // space, a line break or just after "-"), tags skipped; consumed gets the
    // bytes used.  -1 when the font is not loaded.
    float wordWidth(const char* text, int* consumed) const;
    // Breaks text into lines at "\n", "<BR>" and, with a wrap width above 0
    // (text units), between words; leading spaces of a line are skipped.
    std::vector<Line> layoutLines(const char* text, float wrapWidth) const;

    // The strokes of a glyph in text units (x relative to its xmin), as
    // point runs: counts[i] points at xy; each run is one segment (2 points)
    // in a segment font, one polygon in a polygon font.
    void glyphStrokes(int code, std::vector<float>& xy, std::vector<int>& counts) const;

    // Draws text with font fonts[fontIndex] of the renderer.  anchor: world
    // point, or viewport fractions (x, y) for screen text; alignment 0 left,
    // 1 centred, 2 right; height: half the size of one text unit; wrapWidth
    // 0 for none (screen text: a viewport fraction); angle in degrees about
    // z; colour: a colour value, or below 0 the grey -colour - 1.  Nothing
    // is drawn for a bad font index or an unloaded font.
    static void drawText(Graphics& g, const char* text, const float anchor[3], int alignment, float height,
                         float wrapWidth, float angle, int fontIndex, float colour, bool screen,
                         GlyphSink* sink = nullptr);

    // The texts of a 2D label, in the label's own coordinates, each with its
    // size, angle and alignment (or the label's defaults where none is given).
    static void drawLabelTexts(Graphics& g, const LabelRecord& label, GlyphSink* sink = nullptr);

    // Markup at text[0]: a line break ("\n" or "<BR>"), a colour tag
    // ("<COLOR=rrggbb>", rgb filled) or its end ("</COLOR>"); tags match
    // without regard to case.  Each gives the tag's length, 0 for none.
    static int lineBreakLength(const char* text);
    static int colourTagLength(const char* text, unsigned char rgb[3]);
    static int colourEndLength(const char* text);

    // Where read() takes its lines from (file, memory, the built-in table).
    class LineSource;

private:
    bool read(LineSource& in);
    void emitStrokes(Graphics& g, int code) const;

    bool loaded_ = false;
    bool monospaced_ = false;
    bool polygons_ = false;
    bool builtin_ = false;
    int minY_ = 0, maxY_ = 0;
    int widest_ = 0, digitWidth_ = 0;
    std::vector<Glyph> glyphs_;
    std::string source_;
};
